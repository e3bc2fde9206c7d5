#include "applicationerrors.h"

#include "log/log.h"

void ApplicationErrors::handle(const std::exception &e)
{
    m_log.Logger(QStringLiteral("M-> ") + errorText(e));
}
