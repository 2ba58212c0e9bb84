// Start-up on the offscreen platform: first placement, the saved frame under
// "DeckPanel", a frame left on a screen that is gone, and the menu's
// show/hide item following the panel.
// The panel controller's arithmetic on a fake window and screen (Qt's
// downward y): tuck targets, untuck clamps, fitting that keeps the top edge,
// keeping on screen, the debounced shrink, and start-up placement.
// The frames the real deck draws, counted (never timed) on the software
// renderer of the offscreen platform: once settled, a deck over an unchanging
// home draws next to nothing, a hidden or tucked deck draws nothing even while
// an agent works, and a working agent's breathing dot does draw, at a low rate.
// Desktop notifications through a real D-Bus daemon: a private session bus
// started here, a notification server on it that records what it is asked,
// and the notifier driven through the attention of passes.

#include "AppDelegate.h"
#include "DeckPanel.h"
#include "PanelGeometry.h"
#include "TrayMenu.h"
#include "deck/AppSettings.h"
#include "deck/PreferencesStore.h"

#include <QApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>
#include "PanelController.h"
#include <QSignalSpy>
#include "FrameStats.h"
#include "deck/DeckModel.h"
#include "TestSupport.h"
#include "fixtures/Fixtures.h"
#include <QDateTime>
#include <QDir>
#include <QFile>
#include "DesktopNotifier.h"
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QStandardPaths>

Q_IMPORT_QML_PLUGIN(VexlorPlugin)

using namespace vexlor;

namespace {

// The application as main() builds it, over a preferences file written
// beforehand with an optional saved frame and the launch tips setting.
struct Launch {
    PreferencesStore store;
    AppSettings settings{store};
    AppDelegate app{store, settings};

    explicit Launch(const QString& path, std::optional<QRectF> savedFrame = std::nullopt, bool tips = true)
        : store(prepared(path, savedFrame, tips))
    {
        app.start();
    }

    static QString prepared(const QString& path, std::optional<QRectF> frame, bool tips)
    {
        PreferencesStore before(path);
        if (frame)
            before.setDoubleDictionary(AppDelegate::kPanelFrameKey,
                                       {{QStringLiteral("x"), frame->x()}, {QStringLiteral("y"), frame->y()},
                                        {QStringLiteral("width"), frame->width()},
                                        {QStringLiteral("height"), frame->height()}});
        if (!tips)
            before.setBool(AppSettings::kShowTipsOnLaunchKey, false);
        return path;
    }
};

struct FakePanel : PanelSurface {
    QRectF current;
    std::optional<QSizeF> fitting;
    QList<QRectF> screens{QRectF(0, 0, 1440, 900)}; // available areas; first is main
    QList<QRectF> animatedTo;
    QList<QRectF> setTo;

    QRectF frame() const override { return current; }
    void setFrame(const QRectF& f) override
    {
        setTo.append(f);
        current = f;
    }
    void animateFrame(const QRectF& f) override
    {
        animatedTo.append(f);
        current = f;
    }
    mutable int measured = 0;
    std::optional<QSizeF> contentFittingSize() const override
    {
        ++measured;
        return fitting;
    }
    std::optional<QRectF> visibleAreaOfScreenHolding(const QRectF& f) const override
    {
        std::optional<QRectF> best;
        double bestArea = 0;
        for (const auto& s : screens) {
            const QRectF o = f.intersected(s);
            if (o.width() * o.height() > bestArea) {
                bestArea = o.width() * o.height();
                best = s;
            }
        }
        return best;
    }
    std::optional<QRectF> mainScreenVisibleArea() const override
    {
        return screens.isEmpty() ? std::nullopt : std::optional(screens.first());
    }
};

// A fake panel at `frame` with a controller attached to it.
struct Rig {
    FakePanel panel;
    PanelController controller;
    explicit Rig(const QRectF& frame, QList<QRectF> screens = {QRectF(0, 0, 1440, 900)})
    {
        panel.current = frame;
        panel.screens = std::move(screens);
        controller.attach(&panel);
    }
};

// A Claude session of this very process that says it is working, for as long
// as the test runs.
void writeWorkingClaude(const QString& claudeDir)
{
    const QString id = QStringLiteral("3b1f0c2e-8d4a-4f6b-9e7c-5a2d1c0b9f8e");
    const double now = double(QDateTime::currentMSecsSinceEpoch());
    QVERIFY(fixtures::writeFile(claudeDir + QStringLiteral("/sessions/") + id + QStringLiteral(".json"),
                                fixtures::claudeStatus(id, QCoreApplication::applicationPid(), QStringLiteral("working"),
                                                       {}, QStringLiteral("/home/t/parser"), now, now)));
    QVERIFY(fixtures::writeFile(claudeDir + QStringLiteral("/projects/-home-t-parser/") + id + QStringLiteral(".jsonl"),
                                fixtures::claudeLine("user", now / 1000 - 5)));
}

// The application as main() builds it, on a scratch home whose agents'
// folders are empty but for an optional working Claude session. Three rows,
// so that a clock key and an info key show; no tips card and no information
// bar, whose page slides are frames of their own.
struct DrawingLaunch {
    QTemporaryDir dir;
    std::vector<std::unique_ptr<test::ScopedEnv>> env; // every agent folder inside `dir`
    PreferencesStore store;
    AppSettings settings{store};
    std::unique_ptr<AppDelegate> app;
    std::unique_ptr<FrameStats> stats;
    int passes = 0;

    explicit DrawingLaunch(bool working)
        : store(dir.filePath(QStringLiteral("preferences.json")))
    {
        settings.setShowTipsOnLaunch(false);
        settings.setShowInfoBar(false);
        settings.setGridRows(3);
        for (const auto& [name, folder] : fixtures::Home{dir.path()}.variables())
            env.push_back(std::make_unique<test::ScopedEnv>(name.constData(), QFile::encodeName(folder)));
        if (working)
            writeWorkingClaude(dir.filePath(QStringLiteral("claude")));
        app = std::make_unique<AppDelegate>(store, settings);
        QObject::connect(app.get(), &AppDelegate::passCompleted, app.get(), [this] { ++passes; });
        app->start();
        stats = std::make_unique<FrameStats>(app->panel());
    }
    ~DrawingLaunch()
    {
        stats.reset();
        app.reset();
    }

    // Frames drawn while the event loop runs for `ms`.
    qint64 framesOver(int ms)
    {
        const qint64 before = stats->frames();
        QTest::qWait(ms);
        return stats->frames() - before;
    }
    // Lets the entrance, a tuck or a pass's changes come to rest: waits for a
    // whole second without a frame, for at most `tries` seconds.
    void settle(int tries = 30)
    {
        for (int i = 0; i < tries && framesOver(1000) > 0; ++i) {
        }
    }
};

class FakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit FakeNotificationServer(QDBusConnection bus)
        : m_bus(std::move(bus))
    {
    }
    struct Call {
        uint replaces = 0;
        QString summary, body;
        QStringList actions;
    };
    QList<Call> notified;
    QList<uint> closed;

    void emitSignal(const QString& name, const QVariantList& args)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                         QStringLiteral("org.freedesktop.Notifications"), name);
        signal.setArguments(args);
        m_bus.send(signal);
    }

public slots:
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body"), QStringLiteral("body-markup")}; }
    uint Notify(const QString&, uint replaces, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap&, int)
    {
        notified.append({replaces, summary, body, actions});
        return replaces ? replaces : ++m_lastId;
    }
    void CloseNotification(uint id)
    {
        closed.append(id);
        emitSignal(QStringLiteral("NotificationClosed"), {id, 3u});
    }

private:
    QDBusConnection m_bus;
    uint m_lastId = 40;
};

QList<Agent> claudeWaitingOn(const QStringList& titles)
{
    Agent claude;
    claude.id = QStringLiteral("claude");
    claude.name = QStringLiteral("CLAUDE");
    claude.status = titles.isEmpty() ? AgentStatus::idle : AgentStatus::needsYou;
    for (const QString& title : titles)
        claude.openSessions.append({QStringLiteral("claude:") + title, title, AgentSession::State::attention, {}});
    Agent codex;
    codex.id = QStringLiteral("codex");
    return {claude, codex};
}

} // namespace

class AppDelegateTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString storePath() const { return m_dir.filePath(QStringLiteral("preferences.json")); }
    static QRectF mainArea() { return QRectF(QGuiApplication::primaryScreen()->availableGeometry()); }

private slots:
    void init()
    {
        QFile::remove(storePath());
    }

    void firstLaunchPlacesTheDeckTopRight()
    {
        Launch l(storePath(), std::nullopt, false);
        QVERIFY(l.app.panel());
        QVERIFY(l.app.panel()->isVisible());
        const QRectF frame = l.app.panel()->frame();
        QCOMPARE(frame.size(), QSizeF(500, l.app.panel()->contentFittingSize()->height()));
        QCOMPARE(frame.right(), mainArea().right() - panel::cornerMargin);
        QCOMPARE(frame.top(), mainArea().top() + panel::cornerMargin);
        // The frame is saved under "DeckPanel" once it settles.
        QTRY_VERIFY_WITH_TIMEOUT(l.store.dictionary(AppDelegate::kPanelFrameKey).has_value(), 10000);
        const auto saved = *l.store.dictionary(AppDelegate::kPanelFrameKey);
        QCOMPARE(saved.value(QStringLiteral("x")).toDouble(), frame.x());
        QCOMPARE(saved.value(QStringLiteral("width")).toDouble(), 500.0);
    }

    void savedFrameIsRestoredUnlessItsScreenIsGone()
    {
        {
            Launch restored(storePath(), QRectF(40, 50, 500, 389));
            QCOMPARE(restored.app.panel()->frame().topLeft(), QPointF(40, 50));
        }
        QFile::remove(storePath());
        Launch gone(storePath(), QRectF(5000, 300, 500, 389));
        // The fit and the on-screen check run on the next turn of the loop.
        QTRY_COMPARE_WITH_TIMEOUT(gone.app.panel()->frame().right(), mainArea().right() - panel::cornerMargin, 10000);
        QCOMPARE(gone.app.panel()->frame().top(), mainArea().top() + panel::cornerMargin);
    }

    void hideAndShowKeepOnePanel()
    {
        Launch l(storePath());
        DeckPanel* panel = l.app.panel();
        QAction* toggle = l.app.menu()->toggleAction();
        QCOMPARE(toggle->text(), QStringLiteral("Hide Deck"));
        // No shortcut is shown that the desktop would not deliver.
        QVERIFY(toggle->shortcut().isEmpty() && l.app.menu()->quitAction()->shortcut().isEmpty());

        toggle->trigger();
        QVERIFY(!panel->isVisible());
        QCOMPARE(toggle->text(), QStringLiteral("Show Deck"));
        toggle->trigger();
        QVERIFY(panel->isVisible());
        QCOMPARE(l.app.panel(), panel);
        QCOMPARE(toggle->text(), QStringLiteral("Hide Deck"));
    }

    void tuckAndUntuckMoveTheRealWindow()
    {
        Launch l(storePath());
        QTRY_VERIFY_WITH_TIMEOUT(l.app.panel()->frame().right() == mainArea().right() - panel::cornerMargin, 10000);
        const QRectF placed = l.app.panel()->frame();
        l.app.controller().tuck(); // top-right: to the right edge, over the animation
        QTRY_COMPARE_WITH_TIMEOUT(l.app.panel()->frame().x(), mainArea().right() - panel::sliver, 10000);
        QCOMPARE(l.app.panel()->frame().y(), placed.y());
        l.app.controller().untuck();
        QTRY_COMPARE_WITH_TIMEOUT(l.app.panel()->frame(), placed, 10000);
    }

    void gridChangesRefitThePanel()
    {
        // Without the launch tips: an open card would widen a narrow deck.
        Launch l(storePath(), std::nullopt, false);
        const QRectF before = l.app.panel()->frame();
        l.settings.setGridColumns(6);
        // Growing is immediate and keeps the top edge.
        QTRY_COMPARE_WITH_TIMEOUT(l.app.panel()->frame().width(), 724.0, 10000);
        QCOMPARE(l.app.panel()->frame().top(), before.top());
        l.settings.setGridColumns(2);
        l.settings.setShowInfoBar(false);
        QTRY_COMPARE_WITH_TIMEOUT(l.app.panel()->frame().size(), l.app.panel()->contentFittingSize().value(), 10000);
        QCOMPARE(l.app.panel()->frame().width(), 276.0);
    }

    void tuckGoesToTheNearerEdge_data()
    {
        QTest::addColumn<QRectF>("frame");
        QTest::addColumn<QList<QRectF>>("screens");
        QTest::addColumn<double>("expectedX");
        const QList<QRectF> one{QRectF(0, 0, 1440, 900)}; // centre 720
        QTest::newRow("left half, 300 wide") << QRectF(100, 200, 300, 200) << one << -234.0;
        QTest::newRow("right half") << QRectF(1000, 200, 300, 200) << one << 1440.0 - 66;
        QTest::newRow("centre on the screen's centre goes right") << QRectF(570, 50, 300, 200) << one << 1374.0;
        QTest::newRow("area not starting at zero")
            << QRectF(1500, 100, 400, 300) << (QList<QRectF>(one) << QRectF(1440, 24, 1920, 1056))
            << 1440 - 400 + 66.0;
    }
    void tuckGoesToTheNearerEdge()
    {
        QFETCH(QRectF, frame);
        QFETCH(QList<QRectF>, screens);
        QFETCH(double, expectedX);
        Rig rig(frame, screens);
        QSignalSpy tucked(&rig.controller, &PanelController::isTuckedChanged);
        rig.controller.tuck();
        QVERIFY(rig.controller.isTucked());
        QCOMPARE(tucked.count(), 1);
        QCOMPARE(rig.controller.restoreFrame(), std::optional<QRectF>(frame));
        QCOMPARE(rig.panel.animatedTo, QList<QRectF>{QRectF(expectedX, frame.y(), frame.width(), frame.height())});
    }

    void untuckRestoresTheSavedFrameClampedToTheScreen()
    {
        Rig rig(QRectF(100, 200, 300, 200));
        rig.controller.tuck();
        rig.controller.untuck();
        QVERIFY(!rig.controller.isTucked());
        QCOMPARE(rig.panel.current, QRectF(100, 200, 300, 200));
        QVERIFY(rig.controller.restoreFrame()); // kept, not cleared

        // The visible area shrank: the saved frame would end 200 beyond it.
        Rig right(QRectF(1000, 200, 300, 200));
        right.controller.tuck();
        right.panel.screens = {QRectF(0, 0, 1100, 900)};
        right.controller.untuck();
        QCOMPARE(right.panel.current, QRectF(1100 - 300, 200, 300, 200));

        // Nothing saved: the current frame is brought back inside the area.
        Rig unsaved(QRectF(-200, 100, 300, 200));
        unsaved.controller.untuck();
        QCOMPARE(unsaved.panel.current.x(), 0.0);
    }

    void fitKeepsTheTopEdgeAndStaysOnScreen()
    {
        Rig rig(QRectF(900, 100, 500, 389));
        // Nothing measured yet, or an empty measure: no move.
        rig.controller.fitToContent();
        rig.panel.fitting = QSizeF(500, 0);
        rig.controller.fitToContent();
        QVERIFY(rig.panel.setTo.isEmpty() && rig.panel.animatedTo.isEmpty());

        rig.panel.fitting = QSizeF(500, 501); // a row more
        rig.controller.fitToContent();
        QCOMPARE(rig.panel.setTo, QList<QRectF>{QRectF(900, 100, 500, 501)});
        QVERIFY(rig.panel.animatedTo.isEmpty()); // still on screen

        // A wider deck would reach beyond the right edge of the work area.
        rig.panel.fitting = QSizeF(724, 501);
        rig.controller.fitToContent();
        QCOMPARE(rig.panel.setTo.last(), QRectF(900, 100, 724, 501));
        QCOMPARE(rig.panel.animatedTo.last(), QRectF(1440 - 724, 100, 724, 501));
    }

    void keepOnScreenKeepsTheWholeDeckInsideTheWorkArea()
    {
        const QRectF area(0, 30, 1440, 870); // a top bar of 30
        const QRectF size(0, 0, 500, 400);
        QCOMPARE(panel::keptOnScreen(size.translated(-100, 0), area).topLeft(), QPointF(0, 30));
        QCOMPARE(panel::keptOnScreen(size.translated(1000, 0), area).topLeft(), QPointF(940, 30));
        QCOMPARE(panel::keptOnScreen(size.translated(10, -50), area).topLeft(), QPointF(10, 30));
        QCOMPARE(panel::keptOnScreen(size.translated(10, 600), area).topLeft(), QPointF(10, 500));
        // Larger than the area: the top-left corner (keys, drag area) stays reachable.
        QCOMPARE(panel::keptOnScreen(QRectF(10, 500, 500, 1000), area).topLeft(), QPointF(10, 30));
        QCOMPARE(panel::keptOnScreen(QRectF(0, 100, 1600, 200), area).x(), 0.0);
    }

    void growingIsImmediateShrinkingWaits()
    {
        Rig rig(QRectF(900, 100, 500, 389));
        rig.panel.fitting = QSizeF(500, 501);
        rig.controller.contentSizeChanged();
        QCOMPARE(rig.panel.current, QRectF(900, 100, 500, 501)); // at once
        QVERIFY(rig.controller.hasPendingResize());

        rig.panel.fitting = QSizeF(500, 277);
        rig.controller.contentSizeChanged();
        QCOMPARE(rig.panel.current.height(), 501.0); // not yet
        QVERIFY(rig.controller.hasPendingResize());
        QTRY_COMPARE_WITH_TIMEOUT(rig.panel.current, QRectF(900, 100, 500, 277), 10000);
        QVERIFY(!rig.controller.hasPendingResize());
    }

    void whileTuckedNothingMovesUntilUntucked()
    {
        Rig rig(QRectF(900, 100, 500, 389));
        rig.controller.tuck();
        const QRectF tucked = rig.panel.current;
        rig.panel.fitting = QSizeF(656 + 68, 600);
        rig.controller.contentSizeChanged();
        rig.controller.fitToContent();
        rig.controller.keepOnScreen();
        QCOMPARE(rig.panel.current, tucked);
        QVERIFY(rig.panel.setTo.isEmpty());

        rig.controller.untuck();
        rig.controller.contentSizeChanged();
        QCOMPARE(rig.panel.current.size(), QSizeF(724, 600));
    }

    void startupPlacement()
    {
        FakePanel panel;
        panel.screens = {QRectF(0, 27, 1280, 773)};
        // First launch: top right with the margins; later, the saved frame.
        QCOMPARE(firstPanelFrame(panel, QSizeF(500, 389), std::nullopt), QRectF(1280 - 500 - 8, 35, 500, 389));
        const QRectF saved(40, 60, 500, 389);
        QCOMPARE(firstPanelFrame(panel, QSizeF(500, 389), saved), saved);

        // A saved frame on a screen that is gone moves to the main screen.
        panel.screens = {QRectF(0, 0, 1280, 800)};
        panel.current = QRectF(2000, 100, 500, 389);
        QCOMPARE(startupOnScreenFrame(panel), std::optional<QRectF>(QRectF(772, 8, 500, 389)));
        // Partly off its screen counts as off as well.
        panel.current = QRectF(1000, 100, 500, 389);
        QVERIFY(startupOnScreenFrame(panel));
        panel.current = QRectF(700, 100, 500, 389);
        QVERIFY(!startupOnScreenFrame(panel));
        // On a second screen that is still there, it stays.
        panel.screens.append(QRectF(1280, 0, 1920, 1080));
        panel.current = QRectF(2000, 100, 500, 389);
        QVERIFY(!startupOnScreenFrame(panel));
    }

    void initTestCase() { chooseRenderingPath(); }

    void framesOnlyForNews_data()
    {
        QTest::addColumn<bool>("working");
        QTest::addColumn<QString>("deck");
        QTest::addColumn<int>("atLeast");
        QTest::addColumn<int>("atMost");
        // Over 3 s: the info key's page number (every 4 s) and the clock's
        // minute may draw a frame each, the clock's seconds none; the
        // breathing dot steps about 20 times a second (60 in 3 s), where a dot
        // on the animation driver would draw 180.
        QTest::newRow("unchanging home") << false << "shown" << 0 << 2;
        QTest::newRow("working agent, hidden deck") << true << "hidden" << 0 << 0;
        QTest::newRow("working agent, tucked deck") << true << "tucked" << 0 << 2;
        QTest::newRow("working agent breathes") << true << "shown" << 5 << 100;
    }
    void framesOnlyForNews()
    {
        QFETCH(bool, working);
        QFETCH(QString, deck);
        QFETCH(int, atLeast);
        QFETCH(int, atMost);

        DrawingLaunch l(working);
        QVERIFY(l.app->panel()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(l.passes >= 2, 30000);
        const auto claude = l.app->model().agent(QStringLiteral("claude"));
        QVERIFY(claude);
        QVERIFY(claude->status == (working ? AgentStatus::working : AgentStatus::offline));
        QTRY_VERIFY_WITH_TIMEOUT(l.stats->frames() > 0, 10000);

        if (deck == QLatin1String("hidden")) {
            l.app->togglePanel();
            QVERIFY(!l.app->panel()->isVisible());
        } else if (deck == QLatin1String("tucked")) {
            l.app->controller().tuck();
            QVERIFY(l.app->controller().isTucked());
        }
        if (!working || deck != QLatin1String("shown"))
            l.settle();
        else
            QTest::qWait(1500); // the entrance
        const qint64 frames = l.framesOver(3000);
        QVERIFY2(frames >= atLeast && frames <= atMost,
                 qPrintable(QStringLiteral("%1 frames in 3 s").arg(frames)));
    }

    void announcesReplacesClosesAndShows()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            QSKIP("dbus-daemon is not installed");
        QProcess daemon;
        daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                     QStringLiteral("--print-address=1")});
        QVERIFY(daemon.waitForReadyRead(10000));
        const QString address = QString::fromUtf8(daemon.readLine().trimmed());
        {
            QDBusConnection serverBus = QDBusConnection::connectToBus(address, QStringLiteral("server"));
            QVERIFY(serverBus.isConnected());
            FakeNotificationServer server(serverBus);
            QVERIFY(serverBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                             QDBusConnection::ExportAllSlots));
            QVERIFY(serverBus.registerService(QStringLiteral("org.freedesktop.Notifications")));

            auto owned = std::make_unique<DesktopNotifier>(QDBusConnection::connectToBus(address, QStringLiteral("client")));
            DesktopNotifier& notifier = *owned;
            QSignalSpy shows(&notifier, &DesktopNotifier::showRequested);
            // Attention present at start-up, and the same again: nothing.
            notifier.follow(claudeWaitingOn({QStringLiteral("old")}));
            notifier.follow(claudeWaitingOn({QStringLiteral("old")}));
            notifier.follow(claudeWaitingOn({QStringLiteral("old"), QStringLiteral("Fix login")}));
            QTRY_COMPARE(server.notified.size(), 1);
            QCOMPARE(server.notified[0].replaces, 0u);
            QCOMPARE(server.notified[0].summary, QStringLiteral("Claude needs you"));
            QCOMPARE(server.notified[0].body, QStringLiteral("Fix login +1 more"));
            QVERIFY(server.notified[0].actions.contains(QStringLiteral("show")));

            // Another session while it is open: the same notification, replaced;
            // the server reads markup, so the title arrives escaped.
            notifier.follow(claudeWaitingOn({QStringLiteral("old"), QStringLiteral("Fix login"), QStringLiteral("Tests <b> & co")}));
            QTRY_COMPARE(server.notified.size(), 2);
            QCOMPARE(server.notified[1].replaces, 41u);
            QCOMPARE(server.notified[1].body, QStringLiteral("Tests &lt;b&gt; &amp; co +2 more"));

            // Acknowledged: its sessions leave attention and the notice closes.
            notifier.follow(claudeWaitingOn({}));
            QTRY_COMPARE(server.closed, QList<uint>{41u});

            // A new notice after that is a new one; its "Show" asks for the deck.
            notifier.follow(claudeWaitingOn({QStringLiteral("Deploy")}));
            QTRY_COMPARE(server.notified.size(), 3);
            QCOMPARE(server.notified[2].replaces, 0u);
            server.emitSignal(QStringLiteral("ActionInvoked"), {42u, QStringLiteral("show")});
            QTRY_COMPARE(shows.size(), 1);
            QCOMPARE(shows[0][0].toString(), QStringLiteral("claude"));

            // Quitting withdraws the notice that is still open.
            owned.reset();
            QTRY_COMPARE(server.closed, (QList<uint>{41u, 42u}));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("server"));
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        daemon.kill();
        daemon.waitForFinished(5000);
    }
};

QTEST_MAIN(AppDelegateTest)
#include "app_delegate_test.moc"
