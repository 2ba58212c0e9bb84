#include "AppVersion.h"

namespace vexlor {

QString appVersion()
{
    return QStringLiteral(VEXLOR_VERSION);
}

QByteArray userAgent()
{
    return QByteArrayLiteral("Vexlor/" VEXLOR_VERSION);
}

} // namespace vexlor
