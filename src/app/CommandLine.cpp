#include "CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace vexlor {

namespace {
std::optional<int> positiveInt(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value > 0 ? std::optional(value) : std::nullopt;
}
} // namespace

CommandLine parseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "main", "A floating deck that shows what your AI coding agents are doing."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption demo(QStringLiteral("demo"),
        QCoreApplication::translate("main", "Run on a built-in demonstration home instead of your own data."));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
        QCoreApplication::translate("main", "Render the deck to a PNG file and exit."), QStringLiteral("file"));
    const QCommandLineOption passes(QStringLiteral("passes"),
        QCoreApplication::translate("main", "With --screenshot: collector passes to wait for (default 1)."),
        QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption columns(QStringLiteral("columns"),
        QCoreApplication::translate("main", "Set the deck's key columns (2 to 6)."), QStringLiteral("n"));
    const QCommandLineOption rows(QStringLiteral("rows"),
        QCoreApplication::translate("main", "Set the deck's key rows (1 to 4)."), QStringLiteral("n"));
    parser.addOptions({demo, screenshot, passes, columns, rows});
    parser.process(arguments);

    CommandLine line;
    line.demo = parser.isSet(demo);
    if (parser.isSet(screenshot))
        line.screenshotPath = parser.value(screenshot);
    if (const auto n = positiveInt(parser.value(passes)))
        line.passes = *n;
    else
        line.error = QCoreApplication::translate("main", "--passes needs a whole number above 0");
    if (parser.isSet(columns)) {
        line.columns = positiveInt(parser.value(columns));
        if (!line.columns || *line.columns < 2 || *line.columns > 6)
            line.error = QCoreApplication::translate("main", "--columns needs a number from 2 to 6");
    }
    if (parser.isSet(rows)) {
        line.rows = positiveInt(parser.value(rows));
        if (!line.rows || *line.rows > 4)
            line.error = QCoreApplication::translate("main", "--rows needs a number from 1 to 4");
    }
    return line;
}

} // namespace vexlor
