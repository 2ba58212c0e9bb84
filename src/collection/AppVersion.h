#pragma once
// The program's version, from the project's build files, and the User-Agent
// its HTTPS requests carry.

#include <QByteArray>
#include <QString>

namespace vexlor {

[[nodiscard]] QString appVersion();
// "Vexlor/<version>".
[[nodiscard]] QByteArray userAgent();

} // namespace vexlor
