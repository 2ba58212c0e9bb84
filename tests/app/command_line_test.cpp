// The program's options: defaults, the screenshot pair and the values that
// are refused.
// The headless runner in-process, with collectors that answer at once: a pass
// that never suspends must still end a `--passes` run.
// One deck per user: the lock file and local socket in the runtime folder.

#include "CommandLine.h"

#include <QTest>
#include "HeadlessRunner.h"
#include "deck/AppSettings.h"
#include "deck/PreferencesStore.h"
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>
#include "SingleInstance.h"
#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSysInfo>

using namespace vexlor;

namespace {
CommandLine parse(const QStringList& options)
{
    return parseCommandLine(QStringList{QStringLiteral("vexlor")} + options);
}
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

class CommandLineTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;

private slots:
    void demoScreenshotAfterPasses()
    {
        const CommandLine line = parse({QStringLiteral("--demo"), QStringLiteral("--screenshot"),
                                        QStringLiteral("/tmp/deck.png"), QStringLiteral("--passes"), QStringLiteral("3"),
                                        QStringLiteral("--columns"), QStringLiteral("6"), QStringLiteral("--rows"),
                                        QStringLiteral("4")});
        QVERIFY(line.demo);
        QCOMPARE(line.screenshotPath, std::optional<QString>(QStringLiteral("/tmp/deck.png")));
        QCOMPARE(line.passes, 3);
        QCOMPARE(line.columns, std::optional<int>(6));
        QCOMPARE(line.rows, std::optional<int>(4));
        QVERIFY(line.error.isEmpty());

        const CommandLine defaults = parse({});
        QVERIFY(!defaults.demo && !defaults.screenshotPath && !defaults.columns && !defaults.overlay);
        QCOMPARE(defaults.passes, 1);
        QVERIFY(defaults.error.isEmpty());
    }

    void overlayCards_data()
    {
        QTest::addColumn<QString>("card");
        for (const char* card : {"settings", "tips", "agents", "online", "sheet:claude"})
            QTest::newRow(card) << QString::fromLatin1(card);
    }
    void overlayCards()
    {
        QFETCH(QString, card);
        const CommandLine line = parse({QStringLiteral("--screenshot"), QStringLiteral("/tmp/d.png"),
                                        QStringLiteral("--overlay"), card});
        QCOMPARE(line.overlay, std::optional<QString>(card));
        QVERIFY(line.error.isEmpty());
    }

    void refusedValues_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("no passes") << QStringList{QStringLiteral("--passes"), QStringLiteral("0")};
        QTest::newRow("passes not a number") << QStringList{QStringLiteral("--passes"), QStringLiteral("two")};
        QTest::newRow("one column") << QStringList{QStringLiteral("--columns"), QStringLiteral("1")};
        QTest::newRow("seven columns") << QStringList{QStringLiteral("--columns"), QStringLiteral("7")};
        QTest::newRow("five rows") << QStringList{QStringLiteral("--rows"), QStringLiteral("5")};
        QTest::newRow("no rows") << QStringList{QStringLiteral("--rows"), QStringLiteral("0")};
        QTest::newRow("unknown card") << QStringList{QStringLiteral("--overlay"), QStringLiteral("picker")};
        QTest::newRow("sheet without agent") << QStringList{QStringLiteral("--overlay"), QStringLiteral("sheet:")};
        // Ignored without the option they go with.
        QTest::newRow("card without screenshot") << QStringList{QStringLiteral("--overlay"), QStringLiteral("tips")};
        QTest::newRow("passes alone") << QStringList{QStringLiteral("--passes"), QStringLiteral("2")};
        QTest::newRow("unknown format") << QStringList{QStringLiteral("--headless"), QStringLiteral("--format"), QStringLiteral("xml")};
        QTest::newRow("format without headless") << QStringList{QStringLiteral("--format"), QStringLiteral("waybar")};
        QTest::newRow("headless screenshot") << QStringList{QStringLiteral("--headless"), QStringLiteral("--screenshot"),
                                                            QStringLiteral("/tmp/d.png")};
    }
    void refusedValues()
    {
        QFETCH(QStringList, options);
        QVERIFY(!parse(options).error.isEmpty());
    }

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


    void secondStartShowsTheFirst()
    {
        QTemporaryDir runtime;
        QVERIFY(runtime.isValid());
        SingleInstance first(runtime.path());
        QSignalSpy shown(&first, &SingleInstance::showRequested);
        QVERIFY(first.claim() == SingleInstance::Claim::primary);
        QVERIFY(QFile::exists(first.lockPath()));

        {
            SingleInstance second(runtime.path());
            QSignalSpy secondShown(&second, &SingleInstance::showRequested);
            QVERIFY(second.claim() == SingleInstance::Claim::alreadyRunning);
            QVERIFY(shown.wait(10000));
            QCOMPARE(shown.size(), 1);
            QCOMPARE(secondShown.size(), 0);
            QVERIFY(QFile::exists(first.lockPath()));
        }
    }

    void lockIsReleasedWithTheDeck()
    {
        QTemporaryDir runtime;
        std::optional<SingleInstance> first(std::in_place, runtime.path());
        QVERIFY(first->claim() == SingleInstance::Claim::primary);
        first.reset();
        QVERIFY(SingleInstance(runtime.path()).claim() == SingleInstance::Claim::primary);
    }

    void staleLockOfACrashedDeckIsTakenOver()
    {
        QTemporaryDir runtime;
        // A process that has ended: its pid names nobody now.
        QProcess ended;
        ended.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("echo $$")});
        QVERIFY(ended.waitForFinished(10000));
        const QByteArray pid = ended.readAllStandardOutput().trimmed();
        QVERIFY(pid.toLongLong() > 0);

        const QString lockPath = runtime.path() + QStringLiteral("/vexlor.lock");
        QFile lock(lockPath);
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(pid + "\nvexlor\n" + QSysInfo::machineHostName().toUtf8() + '\n');
        lock.close();
        // A socket file left behind by the crash as well.
        QFile leftover(runtime.path() + QStringLiteral("/vexlor.socket"));
        QVERIFY(leftover.open(QIODevice::WriteOnly));
        leftover.close();

        SingleInstance deck(runtime.path());
        QSignalSpy shown(&deck, &SingleInstance::showRequested);
        QVERIFY(deck.claim() == SingleInstance::Claim::primary);
        qint64 owner = 0;
        QString host;
        QString application;
        QVERIFY(QLockFile(lockPath).getLockInfo(&owner, &host, &application));
        QCOMPARE(owner, QCoreApplication::applicationPid());

        // And it answers on the socket that replaced the leftover file.
        SingleInstance second(runtime.path());
        QVERIFY(second.claim() == SingleInstance::Claim::alreadyRunning);
        QVERIFY(shown.wait(10000));
    }

    void liveLockOfAnotherProcessIsRespected()
    {
        QTemporaryDir runtime;
        // A running process that is not listening: the start is turned away
        // (no second deck) even though nobody answered. The lock names the
        // program the pid runs, as a real one does.
        QProcess sleeper;
        sleeper.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(sleeper.waitForStarted(10000));
        QFile lock(runtime.path() + QStringLiteral("/vexlor.lock"));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(sleeper.processId()) + "\nsleep\n" + QSysInfo::machineHostName().toUtf8() + '\n');
        lock.close();
        SingleInstance deck(runtime.path());
        QVERIFY(deck.claim() == SingleInstance::Claim::alreadyRunning);
        QVERIFY(QFile::exists(lock.fileName()));
        sleeper.kill();
        sleeper.waitForFinished(5000);
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "command_line_test.moc"
