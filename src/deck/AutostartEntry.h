#pragma once
// The XDG autostart entry that starts the deck at login:
// $XDG_CONFIG_HOME/autostart/vexlor.desktop (~/.config when unset).

#include <QByteArray>
#include <QString>

namespace vexlor::autostart {

[[nodiscard]] QString entryPath();

// The entry's text for `program`, its path written as an Exec key needs it:
// quoted when it holds a reserved character, with the escapes inside quotes,
// the string escapes and "%%" for a percent sign.
[[nodiscard]] QByteArray entryText(const QString& program);
[[nodiscard]] QString execArgument(const QString& program);

// Whether the entry at `path` starts a program at login: it is there and
// was not switched off by the desktop (Hidden=true, or GNOME's
// X-GNOME-Autostart-enabled=false).
[[nodiscard]] bool isEnabled(const QString& path);

} // namespace vexlor::autostart
