// The sync service's rules: deduplication, the write interval with its one
// delayed flush, the size limit, failures and their log lines, and the
// reading side. Time and the delayed flush are driven by hand. Then the
// fleet kept in a shared sync folder: what it takes from the folder.

#include "FakeKeyValueStore.h"
#include "TestSupport.h"
#include "sync/DirectoryKeyValueStore.h"
#include "sync/DeckSyncService.h"
#include "sync/FolderFleet.h"
#include "sync/SnapshotJson.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vexlor;
using namespace vexlor::test;
using namespace Qt::StringLiterals;

namespace {

constexpr double kStart = 1740837909.0;

DeckSnapshot snapshot(const QString& title, double capturedAt = kStart, qint64 version = 1)
{
    DeckSnapshot s;
    s.version = version;
    s.capturedAt = Timestamp::fromSeconds(capturedAt);
    SnapshotAgent a;
    a.id = u"claude"_s;
    a.name = u"CLAUDE"_s;
    a.status = SnapshotAgentStatus::working;
    a.sessions = 1;
    a.openSessions = QList<SnapshotAgentSession>{{u"claude:1"_s, title, SnapshotAgentSession::State::working, {}}};
    s.content.agents = {a};
    SnapshotUsage u;
    u.id = u"claude-usage"_s;
    u.name = u"CLAUDE"_s;
    u.palette = SnapshotPalette::claude;
    u.kind = SnapshotUsage::Percent{0.5, u"5h"_s};
    s.content.usage = {u};
    return s;
}

QString titleIn(const QByteArray& stored)
{
    const auto d = SnapshotJson::decode(stored);
    return d.snapshot ? d.snapshot->content.agents.value(0).openSessions.value_or(QList<SnapshotAgentSession>{})
                            .value(0).title
                      : QString();
}

// A service over a fake store, a hand-moved clock, a captured log and a
// scheduler that only records what it was asked to run.
struct Rig {
    struct Scheduled {
        std::chrono::milliseconds delay;
        QPointer<QObject> guard;
        std::function<void()> task;
    };

    FakeKeyValueStore* store = new FakeKeyValueStore;
    std::unique_ptr<DeckSyncService> service;
    double elapsed = 0; // seconds since kStart
    QStringList log;
    QList<Scheduled> scheduled;

    explicit Rig(double interval = 30)
        : service(std::make_unique<DeckSyncService>(std::unique_ptr<KeyValueStore>(store), interval))
    {
        service->setClock([this] { return Timestamp::fromSeconds(kStart + elapsed); });
        service->setLogSink([this](const QString& line) { log.append(line); });
        service->setScheduler([this](std::chrono::milliseconds delay, QObject* guard, std::function<void()> task) {
            scheduled.append({delay, guard, std::move(task)});
        });
    }

    void publishAt(double at, const QString& title)
    {
        elapsed = at;
        service->publish(snapshot(title, kStart + at));
    }

    // Runs the oldest scheduled task at the given time, as the timer would.
    void fireAt(double at)
    {
        elapsed = at;
        QVERIFY(!scheduled.isEmpty());
        const Scheduled s = scheduled.takeFirst();
        if (s.guard)
            s.task();
    }

    [[nodiscard]] QStringList writtenTitles() const
    {
        QStringList titles;
        for (const auto& w : store->writes)
            titles.append(titleIn(w.second));
        return titles;
    }
};

} // namespace

class DeckSyncServiceTest : public QObject {
    Q_OBJECT

private slots:
    void firstPublishWritesAtOnce()
    {
        Rig rig;
        rig.publishAt(0, u"first"_s);
        QCOMPARE(rig.writtenTitles(), QStringList{u"first"_s});
        QCOMPARE(rig.store->writes[0].first, u"deck.snapshot.v1"_s);
        QCOMPARE(rig.store->synchronizeCount, 1);
        QCOMPARE(rig.log, QStringList{u"[DeckSync] published %1 B"_s.arg(rig.store->writes[0].second.size())});
        QVERIFY(rig.scheduled.isEmpty());
        QCOMPARE(rig.service->lastWriteAt(), std::optional(Timestamp::fromSeconds(kStart)));
    }

    void unchangedContentIsNotWritten()
    {
        Rig rig;
        rig.publishAt(0, u"a"_s);
        rig.publishAt(40, u"a"_s); // new capture time, same content
        QCOMPARE(rig.store->writes.size(), 1);
        QVERIFY(rig.scheduled.isEmpty());
        QCOMPARE(rig.service->lastWriteAt(), std::optional(Timestamp::fromSeconds(kStart)));

        // A repeat of the written content leaves a pending snapshot pending.
        rig.publishAt(41, u"b"_s);
        QCOMPARE(rig.store->writes.size(), 2);
        rig.publishAt(43, u"c"_s);
        rig.publishAt(44, u"b"_s);
        QVERIFY(rig.service->pendingSnapshot());
        QCOMPARE(rig.service->pendingSnapshot()->content.agents[0].openSessions->at(0).title, u"c"_s);
        rig.fireAt(71);
        QCOMPARE(rig.writtenTitles(), (QStringList{u"a"_s, u"b"_s, u"c"_s}));

        // A fleet member writes unchanged content again after a while, so
        // that the others can tell it is still there.
        rig.service->setRewriteUnchangedAfter(300);
        rig.publishAt(300, u"c"_s);
        QCOMPARE(rig.store->writes.size(), 3);
        rig.publishAt(371, u"c"_s);
        QCOMPARE(rig.writtenTitles(), (QStringList{u"a"_s, u"b"_s, u"c"_s, u"c"_s}));
    }

    void laterWritesWaitForTheIntervalAndCarryTheNewest()
    {
        Rig rig;
        rig.publishAt(0, u"t0"_s);
        rig.publishAt(2, u"t2"_s);
        rig.publishAt(5, u"t5"_s);
        rig.publishAt(12, u"t12"_s);
        QCOMPARE(rig.writtenTitles(), QStringList{u"t0"_s});
        QCOMPARE(rig.scheduled.size(), 1);
        QCOMPARE(rig.scheduled[0].delay, std::chrono::milliseconds(28000));
        QVERIFY(rig.service->isFlushScheduled());

        rig.fireAt(30);
        QCOMPARE(rig.writtenTitles(), (QStringList{u"t0"_s, u"t12"_s}));
        QVERIFY(!rig.service->isFlushScheduled());
        QVERIFY(!rig.service->pendingSnapshot());
        QCOMPARE(rig.service->lastWriteAt(), std::optional(Timestamp::fromSeconds(kStart + 30)));

        // The next change after that flush waits a full interval again.
        rig.publishAt(31, u"t31"_s);
        QCOMPARE(rig.scheduled.size(), 1);
        QCOMPARE(rig.scheduled[0].delay, std::chrono::milliseconds(29000));
        QCOMPARE(rig.store->writes.size(), 2);

        // Past the interval a publish writes at once and drops the pending flush.
        rig.publishAt(75, u"t75"_s);
        QCOMPARE(rig.writtenTitles(), (QStringList{u"t0"_s, u"t12"_s, u"t75"_s}));
        QVERIFY(!rig.service->pendingSnapshot());
        QVERIFY(!rig.service->isFlushScheduled());
    }

    void staleDelayedFlushDoesNotWriteEarly()
    {
        // The delayed flush is late (busy main thread) and a publish past the
        // interval writes first; the late flush must not write again at once.
        Rig rig;
        rig.publishAt(0, u"a"_s);
        rig.publishAt(2, u"b"_s);
        rig.publishAt(40, u"c"_s);
        QCOMPARE(rig.writtenTitles(), (QStringList{u"a"_s, u"c"_s}));
        rig.publishAt(41, u"d"_s);
        rig.fireAt(41); // the late task from t=2
        QCOMPARE(rig.store->writes.size(), 2);
        QCOMPARE(rig.scheduled.size(), 1); // the one asked for at t=41
        rig.fireAt(70);
        QCOMPARE(rig.writtenTitles(), (QStringList{u"a"_s, u"c"_s, u"d"_s}));
    }

    void delayedFlushAfterTheServiceIsGoneDoesNothing()
    {
        Rig rig;
        rig.publishAt(0, u"a"_s);
        rig.publishAt(1, u"b"_s);
        QCOMPARE(rig.scheduled.size(), 1);
        auto task = rig.scheduled[0].task;
        rig.service.reset();
        task(); // must not touch the destroyed service
    }

    void clockSetBackNeverWaitsLongerThanTheInterval()
    {
        Rig rig;
        rig.publishAt(0, u"a"_s);
        rig.publishAt(-3600, u"b"_s);
        QCOMPARE(rig.scheduled.size(), 1);
        QCOMPARE(rig.scheduled[0].delay, std::chrono::milliseconds(30000));
    }

    void oversizedSnapshotIsSkippedSilently()
    {
        // The title length whose snapshot encodes to exactly the limit.
        const qsizetype base = SnapshotJson::encode(snapshot(QString())).bytes->size();
        const qsizetype atLimit = DeckSyncService::maximumSnapshotBytes - base;
        QCOMPARE(SnapshotJson::encode(snapshot(QString(atLimit, u'x'))).bytes->size(),
                 DeckSyncService::maximumSnapshotBytes);
        Rig rig;
        rig.publishAt(0, QString(atLimit, u'x')); // the limit is inclusive
        QCOMPARE(rig.store->writes.size(), 1);
        rig.log.clear();
        rig.publishAt(40, QString(atLimit + 1, u'y'));
        QCOMPARE(rig.store->writes.size(), 1);
        QVERIFY(rig.log.isEmpty());
        QCOMPARE(rig.service->lastWriteAt(), std::optional(Timestamp::fromSeconds(kStart)));
        QCOMPARE(rig.service->lastPublishedContent()->agents[0].openSessions->at(0).title, QString(atLimit, u'x'));
        // The next differing snapshot is written at once.
        rig.publishAt(41, u"next"_s);
        QCOMPARE(rig.store->writes.size(), 2);
        QCOMPARE(titleIn(rig.store->writes.last().second), u"next"_s);
    }

    void encodeFailureDropsTheSnapshot()
    {
        Rig rig;
        DeckSnapshot bad = snapshot(u"bad"_s);
        bad.content.usage[0].kind = SnapshotUsage::Percent{std::nan(""), u"5h"_s};
        rig.service->publish(bad);
        QVERIFY(rig.store->writes.isEmpty());
        QCOMPARE(rig.log.size(), 1);
        QVERIFY2(rig.log[0].startsWith(u"[DeckSync] encode failed: "_s), qPrintable(rig.log[0]));
        QVERIFY(!rig.service->pendingSnapshot());
        QVERIFY(!rig.service->lastWriteAt());
        rig.publishAt(1, u"good"_s);
        QCOMPARE(rig.writtenTitles(), QStringList{u"good"_s});
    }

    void failedWriteIsRetriedOncePerInterval()
    {
        Rig rig;
        rig.store->failWritesWith = u"disk full"_s;
        rig.publishAt(0, u"a"_s);
        QCOMPARE(rig.log, QStringList{u"[DeckSync] write failed: disk full"_s});
        QVERIFY(!rig.service->lastPublishedContent());
        QVERIFY(rig.service->pendingSnapshot());
        QCOMPARE(rig.scheduled.size(), 1);
        QCOMPARE(rig.scheduled[0].delay, std::chrono::milliseconds(30000));

        rig.publishAt(3, u"a"_s); // passes go on; no write attempt in between
        QCOMPARE(rig.log.size(), 1);
        QCOMPARE(rig.scheduled.size(), 1);

        rig.store->failWritesWith.clear();
        rig.fireAt(30);
        QCOMPARE(rig.writtenTitles(), QStringList{u"a"_s});
        QVERIFY(rig.log.last().startsWith(u"[DeckSync] published "_s));
    }

    void realTimerDeliversTheDelayedFlush()
    {
        // The default scheduler with a short interval: the newest snapshot is
        // written in the end, whether at once on a slow machine or delayed.
        auto* store = new FakeKeyValueStore;
        DeckSyncService service(std::unique_ptr<KeyValueStore>(store), 0.05);
        service.setLogSink([](const QString&) {});
        service.publish(snapshot(u"a"_s));
        service.publish(snapshot(u"b"_s));
        QTRY_COMPARE_WITH_TIMEOUT(titleIn(store->values.value(u"deck.snapshot.v1"_s)), u"b"_s, 10000);
        QVERIFY(!service.pendingSnapshot());
    }

    void changeNotificationsForOtherKeysAreIgnored()
    {
        Rig rig;
        int delivered = 0;
        rig.service->setOnChange([&](const DeckSnapshot&) { ++delivered; });
        QVERIFY(rig.service->observeStore());
        QVERIFY(rig.store->observing);
        rig.store->values.insert(u"deck.snapshot.v1"_s, *SnapshotJson::encode(snapshot(u"x"_s)).bytes);

        rig.service->handleExternalChange(QStringList{u"other"_s, u"keys"_s});
        QCoreApplication::processEvents();
        QCOMPARE(delivered, 0);

        rig.service->handleExternalChange(std::nullopt); // no list: fetch
        QTRY_COMPARE(delivered, 1);

        // Through the store's own notification.
        rig.store->changeFromOutside(u"deck.snapshot.v1"_s,
                                     *SnapshotJson::encode(snapshot(u"y"_s, kStart + 10)).bytes);
        QTRY_COMPARE(delivered, 2);
        QCOMPARE(rig.service->lastReceivedAt(), std::optional(Timestamp::fromSeconds(kStart + 10)));
    }

    void fetchChecksVersionAndAge_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("delivered");
        QTest::addColumn<QString>("logLine");
        auto encoded = [](qint64 version, double at) {
            return *SnapshotJson::encode(snapshot(u"t"_s, at, version)).bytes;
        };
        QTest::newRow("version 1") << encoded(1, kStart + 1) << true << QString();
        QTest::newRow("version 2") << encoded(2, kStart + 1) << false
                                   << u"[DeckSync] ignoring snapshot v2; this build speaks v1"_s;
        QTest::newRow("version 3, unknown shape") << QByteArray(R"({"version":3,"tiles":[]})") << false
                                                  << u"[DeckSync] ignoring snapshot v3; this build speaks v1"_s;
        QTest::newRow("same capture time") << encoded(1, kStart) << false << QString();
        QTest::newRow("older capture time") << encoded(1, kStart - 1) << false << QString();
        QTest::newRow("undecodable") << QByteArray("{\"version\":1") << false << u"[DeckSync] decode failed: "_s;
    }
    void fetchChecksVersionAndAge()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, delivered);
        QFETCH(QString, logLine);
        Rig rig;
        QList<DeckSnapshot> received;
        rig.service->setOnChange([&](const DeckSnapshot& s) { received.append(s); });

        // Something captured at kStart was received already.
        rig.store->values.insert(u"deck.snapshot.v1"_s, *SnapshotJson::encode(snapshot(u"t"_s, kStart)).bytes);
        rig.service->fetch();
        QCOMPARE(received.size(), 1);

        rig.store->values.remove(u"deck.snapshot.v1"_s);
        if (!stored.isEmpty())
            rig.store->values.insert(u"deck.snapshot.v1"_s, stored);
        rig.service->fetch();
        QCOMPARE(received.size(), delivered ? 2 : 1);
        if (logLine.isEmpty()) {
            QVERIFY(rig.log.isEmpty());
        } else {
            QCOMPARE(rig.log.size(), 1);
            QVERIFY2(rig.log[0].startsWith(logLine), qPrintable(rig.log[0]));
        }
    }

    void unreadableStoreIsLogged()
    {
        Rig rig;
        rig.store->failReadsWith = u"permission denied"_s;
        rig.service->setOnChange([](const DeckSnapshot&) { QFAIL("nothing to deliver"); });
        rig.service->fetch();
        QCOMPARE(rig.log, QStringList{u"[DeckSync] read failed: permission denied"_s});
    }

    void writesThroughTheDirectoryStore()
    {
        QTemporaryDir dir;
        const QString kvs = dir.path() + u"/shared/kvs"_s;
        DeckSyncService service(std::make_unique<DirectoryKeyValueStore>(kvs), 30);
        QStringList log;
        service.setLogSink([&](const QString& line) { log.append(line); });
        service.publish(snapshot(u"on disk"_s));
        QFile file(kvs + u"/deck.snapshot.v1"_s);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(titleIn(bytes), u"on disk"_s);
        QCOMPARE(log, QStringList{u"[DeckSync] published %1 B"_s.arg(bytes.size())});

        // A regular file where the directory's parent should be: no process,
        // not even one with every permission, can create the directory.
        const QString blocker = dir.path() + u"/blocker"_s;
        QVERIFY(QFile(blocker).open(QIODevice::WriteOnly));
        DeckSyncService blocked(std::make_unique<DirectoryKeyValueStore>(blocker + u"/kvs"_s), 30);
        log.clear();
        blocked.setLogSink([&](const QString& line) { log.append(line); });
        blocked.publish(snapshot(u"a"_s));
        QCOMPARE(log.size(), 2);
        QCOMPARE(log[0], u"[DeckSync] cannot create the sync folder %1/kvs: Not a directory"_s.arg(blocker));
        QVERIFY2(log[1].startsWith(u"[DeckSync] write failed: "_s), qPrintable(log[1]));
        QVERIFY(!blocked.lastPublishedContent());
        QVERIFY(blocked.isFlushScheduled());
    }

    // Another host's deck in the shared folder is taken only whole, within
    // the size limit and of a version this build speaks; anything else is
    // one log line and no host (or the last good one). A file completed
    // later is read then. Other names in the folder are not hosts.
    void folderFleetTakesOnlyWholeDecks_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("logged"); // empty: no line
        QTest::addColumn<int>("held");       // 0: no host; 1: online; -1: offline
        const double now = Timestamp::now().seconds();
        const QByteArray whole = *SnapshotJson::encode(snapshot(u"a"_s, now - 5)).bytes;
        const QString alpha = u"alpha@deck.snapshot.v1"_s;
        QTest::newRow("whole") << alpha << whole << QString() << 1;
        QTest::newRow("ten minutes old") << alpha << *SnapshotJson::encode(snapshot(u"a"_s, now - 601)).bytes << QString() << -1;
        QTest::newRow("at the size limit") << alpha << whole + QByteArray(900000 - whole.size(), ' ') << QString() << 1;
        QTest::newRow("over the size limit") << alpha << whole + QByteArray(900001 - whole.size(), ' ')
                                             << u"[Fleet] ignoring the deck from alpha: larger than 900000 bytes"_s << 0;
        QTest::newRow("garbage") << alpha << QByteArray("\xff\x00{\"version\":", 13) << u"[Fleet] ignoring the deck from alpha"_s << 0;
        QTest::newRow("half written") << alpha << whole.left(whole.size() / 2) << u"[Fleet] ignoring the deck from alpha"_s << 0;
        QTest::newRow("newer version") << alpha << *SnapshotJson::encode(snapshot(u"a"_s, now, 2)).bytes
                                       << u"[Fleet] ignoring the deck from alpha: snapshot v2"_s << 0;
        QTest::newRow("own deck") << u"me@deck.snapshot.v1"_s << whole << QString() << 0;
        QTest::newRow("plain deck key") << u"deck.snapshot.v1"_s << whole << QString() << 0;
        QTest::newRow("conflict copy") << u"alpha@deck.snapshot.sync-conflict-20261207-101010-ABCDEFG.v1"_s << whole
                                       << QString() << 0;
    }
    void folderFleetTakesOnlyWholeDecks()
    {
        QFETCH(QString, key);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, logged);
        QFETCH(int, held);
        QTemporaryDir dir;
        writeFile(dir.path(), key, bytes);
        FolderFleet fleet(std::make_unique<DirectoryKeyValueStore>(dir.path()), {u"me"_s, systemClock()});
        QStringList log;
        fleet.setLogSink([&log](const QString& line) { log.append(line); });
        fleet.start();
        QCOMPARE(fleet.hosts().size(), held ? 1 : 0);
        if (held)
            QCOMPARE(fleet.hosts()[0].online, held > 0);
        QCOMPARE(log.size(), logged.isEmpty() ? 0 : 1);
        if (!logged.isEmpty())
            QVERIFY2(log[0].startsWith(logged), qPrintable(log[0]));

        const QByteArray later = *SnapshotJson::encode(snapshot(u"later"_s, Timestamp::now().seconds())).bytes;
        if (!logged.isEmpty()) {
            // The writer finishes the file in place.
            writeFile(dir.path(), key, later);
            QTRY_COMPARE_WITH_TIMEOUT(fleet.hosts().size(), 1, 10000);
        } else if (held) {
            // A bad file over a good deck keeps the good one.
            writeFile(dir.path(), key, later.left(later.size() - 1));
            QTRY_COMPARE_WITH_TIMEOUT(log.size(), 1, 10000);
            QCOMPARE(fleet.hosts().size(), 1);
        }
    }

    // A request to acknowledge is acted on once: not again when the same
    // file comes back, not when older than ten minutes or than this host's
    // start, and not for anything but a known provider. Each file is taken.
    void folderFleetActsOnEachRequestOnce()
    {
        QTemporaryDir dir;
        double now = kStart;
        FolderFleet fleet(std::make_unique<DirectoryKeyValueStore>(dir.path()),
                          {u"me"_s, [&now] { return Timestamp::fromSeconds(now); }});
        QStringList log;
        fleet.setLogSink([&log](const QString& line) { log.append(line); });
        QSignalSpy acks(&fleet, &FleetSource::acknowledgeRequested);
        fleet.start();
        const auto at = [](double t) { return SnapshotJson::formatTimestamp(Timestamp::fromSeconds(t))->toUtf8(); };
        const QString path = dir.path() + u"/me@ack.alpha.v1"_s;
        const auto request = [&](const QByteArray& json) {
            writeFile(dir.path(), u"me@ack.alpha.v1"_s, json);
            QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(path) || !log.isEmpty(), 10000);
        };
        request("{\"claude\":\"" + at(kStart + 1) + "\",\"kimi\":\"" + at(kStart - 5) + "\"}");
        request("{\"claude\":\"" + at(kStart + 1) + "\"}");
        now = kStart + 700;
        request("{\"claude\":\"" + at(now + 2) + "\",\"codex\":\"" + at(kStart + 50) + "\"}");
        QCOMPARE(acks.size(), 2);
        QCOMPARE(acks[0][0].toString(), u"claude"_s);
        QCOMPARE(acks[1][0].toString(), u"claude"_s);
        QVERIFY(log.isEmpty());
        request("{\"rm -rf\":\"" + at(now + 3) + "\"}");
        QCOMPARE(log.size(), 1);
        QVERIFY2(log[0].startsWith(u"[Fleet] ignoring acknowledgement requests from alpha"_s), qPrintable(log[0]));
        QCOMPARE(acks.size(), 2);
    }
};

QTEST_GUILESS_MAIN(DeckSyncServiceTest)
#include "deck_sync_service_test.moc"
