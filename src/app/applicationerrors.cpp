#include "applicationerrors.h"

#include "db/database.h"
#include "db/databaseerror.h"
#include "log/log.h"

void ApplicationErrors::handle(const std::exception &e)
{
    const QString text = errorText(e);
    m_log.Logger(QStringLiteral("M-> ") + text);
    const auto *dbError = dynamic_cast<const DatabaseError *>(&e);
    const bool lost = text.toUpper().contains(QStringLiteral("[DBNETLIB]")) || (dbError && dbError->connectionLost());
    if (lost && m_database)
        m_database->close();
}
