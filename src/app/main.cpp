// The entry point: picks the platform, parses the options, prepares the demo
// home when asked, and starts the application delegate.

#include "AppDelegate.h"
#include "CommandLine.h"
#include "DeckPanel.h"
#include "DeckViewState.h"
#include "DemoHome.h"
#include "FleetSetup.h"
#include "FrameStats.h"
#include "HeadlessRunner.h"
#include "QuitOnSignals.h"
#include "SingleInstance.h"
#include "collection/AppVersion.h"
#include "deck/AppSettings.h"
#include "deck/PreferencesStore.h"
#include "sync/FleetSource.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QQuickWindow>
#include <QIcon>
#include <QTranslator>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>
#include <cmath>
#include <cstdio>

Q_IMPORT_QML_PLUGIN(VexlorPlugin)

namespace {

// One line for the user on standard error, after the program's name.
void printError(const QString& text)
{
    std::fprintf(stderr, "vexlor: %s\n", qPrintable(text));
}

// Placing, moving and tucking the panel need global coordinates, which only
// X11 gives; under Wayland prefer XWayland unless the user chose a platform.
void preferX11()
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

// Renders the panel once `passes` collector passes were applied and the
// entrance has settled, then ends the program.
void scheduleScreenshot(vexlor::AppDelegate& app, const QString& path, int passes)
{
    const auto shoot = [&app, path] {
        // Let the entrance springs come to rest first.
        QTimer::singleShot(2600, &app, [&app, path] {
            const QImage image = app.panel() ? app.panel()->grabWindow() : QImage();
            const bool saved = !image.isNull() && image.save(path, "PNG");
            if (!saved)
                printError(QCoreApplication::translate("main", "could not write the screenshot to %1").arg(path));
            QCoreApplication::exit(saved ? 0 : 1);
        });
    };
    QObject::connect(&app, &vexlor::AppDelegate::passCompleted, &app, [seen = 0, passes, shoot]() mutable {
        if (++seen == passes)
            shoot();
    });
}

// The translation for the user's language (LANGUAGE, LC_ALL, LC_MESSAGES,
// LANG), when there is one; English otherwise.
void installTranslation()
{
    static QTranslator translator;
    if (translator.load(QLocale(), QStringLiteral("vexlor"), QStringLiteral("_"), QStringLiteral(":/i18n")))
        QCoreApplication::installTranslator(&translator);
}

// Writes the demonstration home; null, after saying why, when it cannot.
std::unique_ptr<vexlor::DemoHome> prepareDemo()
{
    auto demo = std::make_unique<vexlor::DemoHome>();
    if (demo->prepare())
        return demo;
    printError(QCoreApplication::translate("main", "could not write the demonstration home"));
    return nullptr;
}

// `--headless`: the real hub, collectors, preferences and sync service with no
// interface and no display.
int runHeadless(int argc, char* argv[], const vexlor::CommandLine& line)
{
    QCoreApplication application(argc, argv);
    installTranslation();
    const vexlor::QuitOnSignals quitOnSignals;
    // With --demo the runner reads the demonstration home as it plays.
    std::unique_ptr<vexlor::DemoHome> demo;
    if (line.demo) {
        demo = prepareDemo();
        if (!demo)
            return 1;
        demo->start();
    }
    vexlor::HeadlessRunner::Options options;
    options.passes = line.passesGiven ? line.passes : 0;
    options.interval = std::chrono::milliseconds(std::llround(line.intervalSeconds * 1000));
    options.format = line.format;
    options.fleet = vexlor::makeFleet({line.broker, line.host}, vexlor::PreferencesStore::shared());
    vexlor::HeadlessRunner runner(vexlor::PreferencesStore::shared(), vexlor::AppSettings::shared(), std::move(options));
    runner.start();
    return QCoreApplication::exec();
}

// Opens the card a screenshot should show, as the user would have.
void openOverlay(vexlor::DeckViewState& state, const QString& card)
{
    if (card == QLatin1String("settings"))
        state.setShowSettings(true);
    else if (card == QLatin1String("tips"))
        state.setShowTipDialog(true);
    else if (card == QLatin1String("agents"))
        state.setShowAgentList(true);
    else if (card == QLatin1String("online"))
        state.setShowOnlinePrompt(true);
    else if (card.startsWith(QLatin1String("sheet:")))
        state.setSheetAgentID(card.mid(6));
}

} // namespace

int main(int argc, char* argv[])
{
    QElapsedTimer startedAt;
    startedAt.start();
    QCoreApplication::setApplicationName(QStringLiteral("vexlor"));
    QCoreApplication::setApplicationVersion(vexlor::appVersion());

    // The options are read before any application object exists, so that
    // --help, --version, a bad option and --headless never need a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const vexlor::CommandLine line = vexlor::parseCommandLine(arguments);
    if (line.output || !line.error.isEmpty()) {
        // Help, the version and refusals end here: read once more in the
        // user's language, which needs an application object but no display.
        const QCoreApplication application(argc, argv);
        installTranslation();
        const vexlor::CommandLine translated = vexlor::parseCommandLine(arguments);
        if (translated.output) {
            std::fputs(translated.output->toLocal8Bit().constData(), stdout);
            return 0;
        }
        printError(translated.error);
        return 2;
    }
    if (line.headless)
        return runHeadless(argc, argv, line);

    preferX11();
    vexlor::chooseRenderingPath();
    QApplication application(argc, argv);
    installTranslation();
    QApplication::setApplicationDisplayName(QStringLiteral("Vexlor"));
    // Ties the windows to the desktop entry (the application menu's icon and
    // name; a Wayland compositor's app id) and gives them the program's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("vexlor"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/vexlor/vexlor.svg")));
    QApplication::setQuitOnLastWindowClosed(false);
    const vexlor::QuitOnSignals quitOnSignals;

    // One deck per user: a second start brings the running deck forward and
    // ends. Demo and screenshot runs use their own home or end by themselves,
    // so they run beside the user's deck without the lock (as headless runs do).
    std::unique_ptr<vexlor::SingleInstance> single;
    if (!line.demo && !line.screenshotPath) {
        single = std::make_unique<vexlor::SingleInstance>(vexlor::SingleInstance::defaultRuntimeDirectory());
        if (single->claim() == vexlor::SingleInstance::Claim::alreadyRunning) {
            printError(QCoreApplication::translate("main", "a deck is already running; showing it"));
            if (line.columns || line.rows)
                printError(QCoreApplication::translate("main", "--columns and --rows were not applied to the running "
                                                               "deck; change the grid in its settings, or quit it and "
                                                               "start again"));
            return 0;
        }
    }

    std::unique_ptr<vexlor::DemoHome> demo;
    if (line.demo) {
        demo = prepareDemo();
        if (!demo)
            return 1;
    }

    vexlor::PreferencesStore& store = vexlor::PreferencesStore::shared();
    vexlor::AppSettings& settings = vexlor::AppSettings::shared();
    if (demo) // the demo's own store: open straight onto the deck
        settings.setShowTipsOnLaunch(false);
    if (line.columns)
        settings.setGridColumns(*line.columns);
    if (line.rows)
        settings.setGridRows(*line.rows);

    vexlor::AppDelegate app(store, settings, vexlor::makeFleet({line.broker, line.host}, store));
    if (single)
        QObject::connect(single.get(), &vexlor::SingleInstance::showRequested, &app, &vexlor::AppDelegate::showPanel);
    if (demo)
        demo->start();
    QTimer::singleShot(0, &app, [&app, overlay = line.overlay, startedAt] {
        app.start();
        if (vexlor::FrameStats::requestedByEnvironment() && app.panel())
            (new vexlor::FrameStats(app.panel(), startedAt, &app))->startPrinting();
        if (overlay)
            openOverlay(app.deckState(), *overlay);
    });
    if (line.screenshotPath)
        scheduleScreenshot(app, *line.screenshotPath, line.passes);
    return QApplication::exec();
}
