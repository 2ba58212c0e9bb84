#include "AutostartEntry.h"

#include "collection/FileRoutines.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace vexlor::autostart {

namespace {
constexpr qint64 maxEntryBytes = 64 * 1024;
}

QString entryPath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/autostart/vexlor.desktop");
}

QString execArgument(const QString& program)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    static const QString escapedInQuotes = QStringLiteral("\"`$\\");
    QString argument;
    if (std::any_of(program.begin(), program.end(), [](QChar c) { return reserved.contains(c); })) {
        argument += u'"';
        for (const QChar c : program) {
            if (escapedInQuotes.contains(c))
                argument += u'\\';
            argument += c;
        }
        argument += u'"';
    } else {
        argument = program;
    }
    // The value is a string first: its own escapes apply before the quoting.
    QString value;
    for (const QChar c : argument) {
        if (c == u'\\')
            value += QStringLiteral("\\\\");
        else if (c == u'\n')
            value += QStringLiteral("\\n");
        else if (c == u'\t')
            value += QStringLiteral("\\t");
        else if (c == u'\r')
            value += QStringLiteral("\\r");
        else if (c == u'%')
            value += QStringLiteral("%%");
        else
            value += c;
    }
    return value;
}

QByteArray entryText(const QString& program)
{
    return "[Desktop Entry]\nType=Application\nName=Vexlor\n"
           "Comment=A floating deck that shows what your AI coding agents are doing\n"
           "Comment[de]=Ein schwebendes Deck, das zeigt, was deine KI-Coding-Agenten gerade tun\n"
           "Exec=" + execArgument(program).toUtf8() + "\nIcon=vexlor\nTerminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool isEnabled(const QString& path)
{
    const auto bytes = readBounded(path, maxEntryBytes, Overflow::refuse).bytes;
    if (!bytes) // an entry too big or unreadable here still starts something
        return QFile::exists(path);
    bool inEntry = false;
    for (const QByteArray& raw : bytes->split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry)
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = line.first(eq).trimmed();
        const QByteArray value = line.sliced(eq + 1).trimmed();
        if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return false;
    }
    return true;
}

} // namespace vexlor::autostart
