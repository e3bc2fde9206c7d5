#include "applicationerrors.h"

#include "db/database.h"
#include "db/databaseerror.h"
#include "log/log.h"

void ApplicationErrors::handle(const std::exception &e)
{
    m_log.Logger(QStringLiteral("M-> ") + errorText(e));
    if (isConnectionLost(e) && m_database)
        m_database->close();
}
