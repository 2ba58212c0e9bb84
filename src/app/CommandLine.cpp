#include "CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace vexlor {

namespace {
// The parser's own texts, listed so that our translation carries them too:
// Qt's translations are not always installed.
[[maybe_unused]] constexpr const char* parserTexts[] = {
    QT_TRANSLATE_NOOP("QCommandLineParser", "Usage: %1"),
    QT_TRANSLATE_NOOP("QCommandLineParser", "[options]"),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Options:"),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Displays help on commandline options."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Displays version information."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Displays help including Qt specific options."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Unknown option '%1'."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Unknown options: %1."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Missing value after '%1'."),
    QT_TRANSLATE_NOOP("QCommandLineParser", "Unexpected value after '%1'."),
};

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
    const QCommandLineOption headless(QStringLiteral("headless"),
        QCoreApplication::translate("main", "Run without a deck: print every pass's snapshot as one JSON line on "
                                            "standard output; \"ack PROVIDER\" lines on standard input acknowledge. "
                                            "With --demo: on the demonstration home."));
    const QCommandLineOption passes(QStringLiteral("passes"),
        QCoreApplication::translate("main", "With --screenshot: collector passes to wait for (default 1). "
                                            "With --headless: exit after this many snapshots (default: never)."),
        QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption interval(QStringLiteral("interval"),
        QCoreApplication::translate("main", "With --headless: seconds between passes (default 3; fractions allowed)."),
        QStringLiteral("seconds"), QStringLiteral("3"));
    const QCommandLineOption format(QStringLiteral("format"),
        QCoreApplication::translate("main", "With --headless: print each pass as \"snapshot\" JSON (default), as a "
                                            "\"waybar\" custom-module object, or as a short \"line\" for tmux."),
        QStringLiteral("name"), QStringLiteral("snapshot"));
    const QCommandLineOption columns(QStringLiteral("columns"),
        QCoreApplication::translate("main", "Set the deck's key columns (2 to 6)."), QStringLiteral("n"));
    const QCommandLineOption rows(QStringLiteral("rows"),
        QCoreApplication::translate("main", "Set the deck's key rows (1 to 4)."), QStringLiteral("n"));
    const QCommandLineOption overlay(QStringLiteral("overlay"),
        QCoreApplication::translate("main", "With --screenshot: open a card first (settings, tips, agents, online, "
                                            "or sheet:AGENT such as sheet:claude)."),
        QStringLiteral("card"));
    const QCommandLineOption broker(QStringLiteral("broker"),
        QCoreApplication::translate("main", "Join a fleet of decks through an MQTT broker: "
                                            "mqtts://[user@]host[:port]/prefix (default: the preference "
                                            "FleetBroker, else $VEXLOR_BROKER)."),
        QStringLiteral("url"));
    const QCommandLineOption host(QStringLiteral("host"),
        QCoreApplication::translate("main", "This machine's name in the fleet (default: the preference "
                                            "FleetHostName, else the short host name)."),
        QStringLiteral("name"));
    parser.addOptions({headless, demo, screenshot, passes, interval, format, columns, rows, overlay, broker, host});

    CommandLine line;
    if (!parser.parse(arguments)) {
        line.error = parser.errorText();
        return line;
    }
    if (!parser.positionalArguments().isEmpty()) {
        line.error = QCoreApplication::translate("main", "unexpected argument: %1").arg(parser.positionalArguments().constFirst());
        return line;
    }
    // With an application object the parser also offers --help-all.
    if (parser.isSet(QStringLiteral("help")) || parser.optionNames().contains(QStringLiteral("help-all"))) {
        // Without an application object the parser cannot know our name.
        line.output = parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("vexlor"));
        return line;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        line.output = QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion() + u'\n';
        return line;
    }
    line.headless = parser.isSet(headless);
    line.passesGiven = parser.isSet(passes);
    bool intervalOk = false;
    line.intervalSeconds = parser.value(interval).toDouble(&intervalOk);
    if (!intervalOk || !(line.intervalSeconds >= 0.01) || line.intervalSeconds > 86400)
        line.error = QCoreApplication::translate("main", "--interval needs a number of seconds from 0.01 to 86400");
    if (line.headless && parser.isSet(screenshot))
        line.error = QCoreApplication::translate("main", "--headless cannot be combined with --screenshot");
    // Options that would otherwise be ignored without a word.
    if (line.passesGiven && !line.headless && !parser.isSet(screenshot))
        line.error = QCoreApplication::translate("main", "--passes only works with --screenshot or --headless");
    if (parser.isSet(format)) {
        const QString name = parser.value(format);
        if (name == u"waybar")
            line.format = CommandLine::Format::waybar;
        else if (name == u"line")
            line.format = CommandLine::Format::line;
        else if (name != u"snapshot")
            line.error = QCoreApplication::translate("main", "--format needs snapshot, waybar or line");
        if (!line.headless)
            line.error = QCoreApplication::translate("main", "--format only works with --headless");
    }
    if (parser.isSet(overlay) && !parser.isSet(screenshot))
        line.error = QCoreApplication::translate("main", "--overlay only works with --screenshot");
    line.demo = parser.isSet(demo);
    if (parser.isSet(broker))
        line.broker = parser.value(broker);
    if (parser.isSet(host))
        line.host = parser.value(host);
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
    if (parser.isSet(overlay)) {
        const QString card = parser.value(overlay);
        static const QStringList cards = {QStringLiteral("settings"), QStringLiteral("tips"),
                                          QStringLiteral("agents"), QStringLiteral("online")};
        const bool sheet = card.startsWith(QLatin1String("sheet:")) && card.size() > 6;
        if (cards.contains(card) || sheet)
            line.overlay = card;
        else
            line.error = QCoreApplication::translate(
                "main", "--overlay needs settings, tips, agents, online or sheet:AGENT");
    }
    return line;
}

} // namespace vexlor
