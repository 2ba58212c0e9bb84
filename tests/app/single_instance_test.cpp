// One deck per user: the lock file and local socket in the runtime folder.

#include "SingleInstance.h"

#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace vexlor;

class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
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

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
