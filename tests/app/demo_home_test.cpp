// The demonstration home read by the real collectors through the real hub:
// at first Claude needs the user and Codex works; as the script plays,
// sessions start, finish and ask for the user.

#include "DemoHome.h"
#include "TestSupport.h"
#include "DeckAssembly.h"
#include "hub/CollectorHub.h"
#include "deck/DeckModel.h"
#include "deck/PreferencesStore.h"
#include "sync/DeckSyncContracts.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace vexlor;

namespace {

struct CountingPublisher : DeckSyncPublishing {
    int published = 0;
    void publish(const DeckSnapshot&) override { ++published; }
};

void runPass(CollectorHub& hub)
{
    QVERIFY(vexlor::test::runTask([&]() -> QCoro::Task<bool> {
        co_await hub.refresh();
        co_return true;
    }()));
}

QString statusOf(const DeckModel& model, const char* id)
{
    const auto agent = model.agent(QString::fromLatin1(id));
    return agent ? toString(agent->status) : QStringLiteral("missing");
}

} // namespace

class DemoHomeTest : public QObject {
    Q_OBJECT

private slots:
    void theDemoComesAliveThroughTheCollectors()
    {
        DemoHome demo;
        QVERIFY(demo.prepare());
        QVERIFY(QDir(demo.root()).exists());
        QCOMPARE(qEnvironmentVariable("CLAUDE_CONFIG_DIR"), demo.root() + QStringLiteral("/claude"));
        QCOMPARE(qEnvironmentVariable("OPENCODE_DATA_DIR"), demo.root() + QStringLiteral("/opencode"));
        QVERIFY(qEnvironmentVariable("XDG_CONFIG_HOME").startsWith(demo.root()));

        PreferencesStore store(demo.root() + QStringLiteral("/config/vexlor/preferences.json"));
        auto model = DeckModel::placeholder(store);
        CollectorHub::Options options;
        options.collectors = DeckAssembly::agentCollectors();
        CountingPublisher sync;
        CollectorHub hub(model.get(), store, &sync, std::move(options));

        runPass(hub);
        QCOMPARE(sync.published, 1);
        QCOMPARE(statusOf(*model, "claude"), QStringLiteral("needsYou")); // a permission request
        QCOMPARE(statusOf(*model, "codex"), QStringLiteral("working"));
        QCOMPARE(statusOf(*model, "opencode"), QStringLiteral("idle"));
        QCOMPARE(statusOf(*model, "kimi"), QStringLiteral("idle"));
        QCOMPARE(model->agent(QStringLiteral("claude"))->openSessions.size(), 3);
        const auto codexUsage = model->usageTile(QStringLiteral("codex-usage"));
        QVERIFY(codexUsage);
        QVERIFY(std::holds_alternative<ProviderUsage::Percent>(codexUsage->kind));

        demo.advance(); // a new prompt for Claude, OpenCode's user writes
        demo.advance(); // Kimi gets to work
        runPass(hub);
        QCOMPARE(statusOf(*model, "claude"), QStringLiteral("working"));
        QCOMPARE(statusOf(*model, "opencode"), QStringLiteral("working"));
        QCOMPARE(statusOf(*model, "kimi"), QStringLiteral("working"));

        demo.advance(); // 3
        demo.advance(); // 4: Claude's turn ends
        demo.advance(); // 5: OpenCode finishes (Codex too, seen at its next listing)
        runPass(hub);
        QCOMPARE(statusOf(*model, "claude"), QStringLiteral("needsYou"));
        QCOMPARE(statusOf(*model, "opencode"), QStringLiteral("needsYou"));

        // The status files name this process: the sessions live as long as it does.
        QFile status(demo.root() + QStringLiteral("/claude/sessions/0b7c52e4-91d2-4c1e-9a57-3f1e6b2d8a10.json"));
        QVERIFY(status.open(QIODevice::ReadOnly));
        QVERIFY(status.readAll().contains(QByteArray::number(QCoreApplication::applicationPid())));
    }
};

QTEST_GUILESS_MAIN(DemoHomeTest)
#include "demo_home_test.moc"
