// What every collector promises, checked for all four over the demonstration
// home: no report without the tool, passes that overlap agree, the pass reads
// off the calling thread while the event loop keeps turning, and the tool's
// folder is left exactly as it was.

#include "DemoHome.h"
#include "TestSupport.h"
#include "providers/claude/ClaudeCollector.h"
#include "providers/codex/CodexCollector.h"
#include "providers/kimi/KimiCodeCollector.h"
#include "providers/opencode/OpenCodeCollector.h"

#include <QFile>
#include <QTest>

using namespace vexlor;
using namespace vexlor::test;

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
};

QTEST_MAIN(CollectorContractTest)
#include "collector_contract_test.moc"
