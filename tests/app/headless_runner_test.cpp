// The headless runner in-process, with collectors that answer at once: a pass
// that never suspends must still end a `--passes` run.

#include "HeadlessRunner.h"
#include "deck/AppSettings.h"
#include "deck/PreferencesStore.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace vexlor;

namespace {

// Finishes its report without suspending, as a real collector does when its
// worker is done before the pass awaits it.
class ImmediateCollector : public AgentCollector {
public:
    explicit ImmediateCollector(QString id) : m_id(std::move(id)) {}
    QString providerID() const override { return m_id; }
    QString displayName() const override { return m_id.toUpper(); }
    QCoro::Task<ProviderReport> collect(CollectorContext) override
    {
        ++*m_calls;
        co_return ProviderReport{};
    }
    std::shared_ptr<int> calls() const { return m_calls; }

private:
    QString m_id;
    std::shared_ptr<int> m_calls = std::make_shared<int>(0);
};

} // namespace

class HeadlessRunnerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Preferences and the sync folder stay inside this test's folder.
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path() + u"/config"));
        qputenv("VEXLOR_KVS_DIR", QFile::encodeName(m_home.path() + u"/kvs"));
    }

    void runEndsAfterPassesThatNeverSuspend_data()
    {
        QTest::addColumn<int>("passes");
        QTest::newRow("one pass") << 1;
        QTest::newRow("three passes") << 3;
    }

    void runEndsAfterPassesThatNeverSuspend()
    {
        QFETCH(int, passes);
        auto collector = std::make_unique<ImmediateCollector>(QStringLiteral("claude"));
        const std::shared_ptr<int> calls = collector->calls();

        HeadlessRunner::Options options;
        options.passes = passes;
        options.interval = std::chrono::milliseconds(10);
        options.collectors.push_back(std::move(collector));
        QTemporaryDir home;
        PreferencesStore store(home.filePath(QStringLiteral("preferences.json")));
        AppSettings settings(store);
        HeadlessRunner runner(store, settings, std::move(options));
        runner.start();

        // Started before the loop runs, exactly as the program does; a lost
        // exit request would leave exec() running until this watchdog.
        bool timedOut = false;
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [&timedOut] {
            timedOut = true;
            QCoreApplication::exit(7);
        });
        watchdog.start(10000);
        const int code = QCoreApplication::exec();
        QVERIFY2(!timedOut, "the run did not end after its passes");
        QCOMPARE(code, 0);
        QCOMPARE(*calls, passes);
    }

private:
    QTemporaryDir m_home;
};

QTEST_GUILESS_MAIN(HeadlessRunnerTest)
#include "headless_runner_test.moc"
