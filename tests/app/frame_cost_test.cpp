// The frames the real deck draws, counted (never timed) on the software
// renderer of the offscreen platform: once settled, a deck over an unchanging
// home draws next to nothing, a hidden or tucked deck draws nothing even while
// an agent works, and a working agent's breathing dot does draw, at a low rate.

#include "AppDelegate.h"
#include "DeckPanel.h"
#include "FrameStats.h"
#include "deck/AppSettings.h"
#include "deck/DeckModel.h"
#include "deck/PreferencesStore.h"
#include "TestSupport.h"
#include "fixtures/Fixtures.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(VexlorPlugin)

using namespace vexlor;

namespace {

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
struct Launch {
    QTemporaryDir dir;
    std::vector<std::unique_ptr<test::ScopedEnv>> env; // every agent folder inside `dir`
    PreferencesStore store;
    AppSettings settings{store};
    std::unique_ptr<AppDelegate> app;
    std::unique_ptr<FrameStats> stats;
    int passes = 0;

    explicit Launch(bool working)
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
    ~Launch()
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

} // namespace

class FrameCostTest : public QObject {
    Q_OBJECT

private slots:
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

        Launch l(working);
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
};

QTEST_MAIN(FrameCostTest)
#include "frame_cost_test.moc"
