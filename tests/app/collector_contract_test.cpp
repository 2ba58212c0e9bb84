// What every collector promises, checked for all four over the demonstration
// home: no report without the tool, passes that overlap agree, the pass reads
// off the calling thread while the event loop keeps turning, and the tool's
// folder is left exactly as it was; and where each tool's folder is looked
// for.
// The demonstration home read by the real collectors through the real hub:
// at first Claude needs the user and Codex works; as the script plays,
// sessions start, finish and ask for the user.

#include "DemoHome.h"
#include "deck/PreferencesStore.h"
#include "TestSupport.h"
#include "providers/claude/ClaudeCollector.h"
#include "providers/codex/CodexCollector.h"
#include "providers/kimi/KimiCodeCollector.h"
#include "providers/opencode/OpenCodeCollector.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include "DeckAssembly.h"
#include "hub/CollectorHub.h"
#include "deck/DeckModel.h"
#include "sync/DeckSyncContracts.h"
#include <QCoreApplication>
#include <QTemporaryDir>

using namespace vexlor;
using namespace vexlor::test;
using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<AgentCollector> makeCollector(const QString& agent)
{
    if (agent == u"claude")
        return std::make_unique<ClaudeCollector>();
    if (agent == u"codex")
        return std::make_unique<CodexCollector>();
    if (agent == u"kimi")
        return std::make_unique<KimiCodeCollector>();
    return std::make_unique<OpenCodeCollector>();
}

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

class CollectorContractTest : public QObject {
    Q_OBJECT

    DemoHome m_home;

private slots:
    void initTestCase() { QVERIFY(m_home.prepare()); }

    void contract_data()
    {
        QTest::addColumn<QString>("agent");
        QTest::addColumn<QByteArray>("variable");
        QTest::newRow("claude") << QStringLiteral("claude") << QByteArray("CLAUDE_CONFIG_DIR");
        QTest::newRow("codex") << QStringLiteral("codex") << QByteArray("CODEX_HOME");
        QTest::newRow("kimi") << QStringLiteral("kimi") << QByteArray("KIMI_CODE_DATA_DIR");
        QTest::newRow("opencode") << QStringLiteral("opencode") << QByteArray("OPENCODE_DATA_DIR");
    }
    void contract()
    {
        QFETCH(QString, agent);
        QFETCH(QByteArray, variable);
        {
            ScopedEnv absent(variable.constData(), QFile::encodeName(m_home.root() + u"/absent"));
            QCOMPARE(pass(*makeCollector(agent)), ProviderReport{});
        }

        const QString folder = m_home.root() + u'/' + agent;
        const QString before = treeFingerprint(folder);
        QVERIFY(!before.isEmpty());
        auto collector = makeCollector(agent);
        CollectorContext context;
        context.attentionSince = Timestamp::now() - 3600;

        int ticks = 0;
        QTimer timer;
        timer.setInterval(0);
        connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
        timer.start();
        std::optional<ProviderReport> a, b;
        bool pending = false;
        auto both = [&]() -> QCoro::Task<int> {
            auto first = collector->collect(context);
            auto second = collector->collect(context);
            pending = !first.isReady();
            a = co_await std::move(first);
            b = co_await std::move(second);
            co_return 0;
        };
        QVERIFY(runTask(both()));
        QVERIFY(a && b);
        QVERIFY(a->installed);
        QVERIFY(!a->sessions.isEmpty());
        // The clock is real, so only what does not carry the pass's time.
        QCOMPARE(a->sessions, b->sessions);
        QCOMPARE(a->usage.windows, b->usage.windows);
        QCOMPARE(pass(*collector, context).sessions, a->sessions);
        // A worker that is done before the pass awaits it never suspends the
        // pass, so only a pending pass can show the loop turning.
        if (pending)
            QVERIFY2(ticks > 0, "the event loop did not run while the pass read its files");
        QCOMPARE(treeFingerprint(folder), before);
    }

    // Where each tool's folder and the preferences are looked for. A row is
    // "location|variables|path": "NAME=value" sets, "NAME" unsets; "~" is home.
    void locationsFollowTheEnvironment_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QStringList>("variables");
        QTest::addColumn<QString>("expected");
        for (const char* row : {"claude|CLAUDE_CONFIG_DIR=~/x|~/x", "claude|CLAUDE_CONFIG_DIR=/elsewhere/c|/elsewhere/c",
                                "claude|CLAUDE_CONFIG_DIR|~/.claude", "claude|CLAUDE_CONFIG_DIR=|",
                                "codex|CODEX_HOME=/c|/c/sessions", "codex auth|CODEX_HOME=/c|/c/auth.json",
                                "codex|CODEX_HOME=~/elsewhere|~/elsewhere/sessions", "codex|CODEX_HOME=|~/.codex/sessions",
                                "kimi|KIMI_CODE_DATA_DIR=~/elsewhere/kimi|~/elsewhere/kimi", "kimi|KIMI_CODE_DATA_DIR|~/.kimi-code",
                                "opencode|OPENCODE_DATA_DIR=~/oc XDG_DATA_HOME=/xdg|~/oc/opencode.db",
                                "opencode|OPENCODE_DATA_DIR XDG_DATA_HOME=/xdg|/xdg/opencode/opencode.db",
                                "opencode|OPENCODE_DATA_DIR XDG_DATA_HOME=~/data|~/data/opencode/opencode.db",
                                "opencode|OPENCODE_DATA_DIR XDG_DATA_HOME|~/.local/share/opencode/opencode.db",
                                "preferences|XDG_CONFIG_HOME=/somewhere/config|/somewhere/config/vexlor/preferences.json",
                                "preferences|XDG_CONFIG_HOME=relative/config|~/.config/vexlor/preferences.json"}) {
            const QStringList p = QString::fromUtf8(row).split(u'|');
            QTest::newRow(row) << p[0] << p[1].split(u' ') << p[2];
        }
    }
    void locationsFollowTheEnvironment()
    {
        QFETCH(QString, location);
        QFETCH(QStringList, variables);
        QFETCH(QString, expected);
        std::vector<std::unique_ptr<ScopedEnv>> scoped;
        for (const QString& v : variables) {
            const qsizetype eq = v.indexOf(u'=');
            scoped.push_back(std::make_unique<ScopedEnv>(
                v.left(eq).toUtf8().constData(), eq < 0 ? std::nullopt : std::optional(v.mid(eq + 1).toUtf8())));
        }
        const QMap<QString, std::function<QString()>> locate{
            {u"claude"_s, [] { return ClaudeCollector().configDirectory(); }},
            {u"codex"_s, [] { return CodexCollector().sessionsDirectory(); }},
            {u"codex auth"_s, [] { return CodexCollector().authFilePath(); }},
            {u"kimi"_s, [] { return KimiCodeCollector().dataDirectory(); }},
            {u"opencode"_s, [] { return OpenCodeCollector().databasePath(); }},
            {u"preferences"_s, [] { return PreferencesStore::defaultPath(); }},
        };
        QCOMPARE(locate[location](), expected.startsWith(u'~') ? QDir::homePath() + expected.mid(1) : expected);
        if (expected.isEmpty()) // no folder at all: nothing to report
            QCOMPARE(pass(*makeCollector(location)), ProviderReport{});
    }

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

QTEST_MAIN(CollectorContractTest)
#include "collector_contract_test.moc"
