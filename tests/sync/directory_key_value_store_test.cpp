// The directory-backed key-value store: keys as files, whole-value replace,
// key validation, identity, the default location and outside-change reports.

#include "TestSupport.h"
#include "sync/DirectoryKeyValueStore.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>

using namespace vexlor;
using namespace vexlor::test;
using namespace Qt::StringLiterals;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every key reported by the spy's emissions, in order.
QStringList reportedKeys(const QSignalSpy& spy)
{
    QStringList keys;
    for (const auto& args : spy)
        keys += args.at(0).toStringList();
    return keys;
}

std::optional<QByteArray> bytes(const std::optional<QString>& v)
{
    return v ? std::optional(v->toUtf8()) : std::nullopt;
}

} // namespace

class DirectoryKeyValueStoreTest : public QObject {
    Q_OBJECT

private slots:
    void keyIsAFileOfThatName()
    {
        QTemporaryDir tmp;
        const QString dir = tmp.path() + u"/a/b/kvs"_s;
        DirectoryKeyValueStore store(dir);
        QCOMPARE(store.value(u"deck.snapshot.v1"_s).value, std::nullopt);
        QVERIFY(store.value(u"deck.snapshot.v1"_s).error.isEmpty());

        QVERIFY(store.setValue(u"deck.snapshot.v1"_s, "first").ok);
        QVERIFY(store.setValue(u"deck.snapshot.v1"_s, "second").ok);
        QVERIFY(store.synchronize().ok);
        QCOMPARE(readAll(dir + u"/deck.snapshot.v1"_s), QByteArray("second"));
        QCOMPARE(store.value(u"deck.snapshot.v1"_s).value, std::optional(QByteArray("second")));
        // Nothing but the key's file is left behind.
        QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{u"deck.snapshot.v1"_s});

        // A value put there by someone else is read as it stands.
        writeFile(dir, u"other"_s, "from elsewhere");
        QCOMPARE(store.value(u"other"_s).value, std::optional(QByteArray("from elsewhere")));
        // An empty value is a value.
        QVERIFY(store.setValue(u"empty"_s, QByteArray()).ok);
        QCOMPARE(store.value(u"empty"_s).value, std::optional(QByteArray()));
    }

    void refusesUnsafeKeys_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("empty") << QString();
        QTest::newRow("slash") << u"a/b"_s;
        QTest::newRow("parent") << u".."_s;
        QTest::newRow("hidden") << u".hidden"_s;
        QTest::newRow("NUL") << u"a"_s + QChar(0) + u"b"_s;
        QTest::newRow("too long") << QString(256, u'k');
    }
    void refusesUnsafeKeys()
    {
        QFETCH(QString, key);
        QTemporaryDir tmp;
        const QString dir = tmp.path() + u"/kvs"_s;
        QVERIFY(QDir().mkpath(dir));
        const QString before = treeFingerprint(tmp.path());
        DirectoryKeyValueStore store(dir);
        const KeyValueWrite w = store.setValue(key, "x");
        QVERIFY(!w.ok);
        QVERIFY(w.error.contains(u"invalid key"_s));
        QVERIFY(!store.value(key).value);
        QVERIFY(!store.value(key).error.isEmpty());
        QCOMPARE(treeFingerprint(tmp.path()), before);
        for (const QString& ok : {u"deck.snapshot.v1"_s, u"a"_s, QString(255, u'k'), u"schlüssel"_s})
            QVERIFY2(KeyValueStore::isValidKey(ok), qPrintable(ok));
    }

    void readerNeverSeesHalfAValue()
    {
        // Two large values written in turn while another thread reads: every
        // read must be one whole value, never a mix or a truncation.
        QTemporaryDir tmp;
        DirectoryKeyValueStore store(tmp.path());
        const QByteArray a(600000, 'a');
        const QByteArray b(500000, 'b');
        QVERIFY(store.setValue(u"k"_s, a).ok);

        std::atomic<bool> stop{false};
        std::atomic<int> reads{0};
        std::atomic<int> torn{0};
        const QString path = tmp.path() + u"/k"_s;
        QThread* reader = QThread::create([&] {
            while (!stop.load()) {
                const QByteArray got = readAll(path);
                if (got != a && got != b)
                    ++torn;
                ++reads;
            }
        });
        reader->start();
        for (int i = 0; i < 40; ++i)
            QVERIFY(store.setValue(u"k"_s, i % 2 ? a : b).ok);
        // Make sure the reader overlapped at least some writes.
        while (reads.load() < 20)
            QVERIFY(store.setValue(u"k"_s, reads.load() % 2 ? a : b).ok);
        stop = true;
        reader->wait();
        delete reader;
        QCOMPARE(torn.load(), 0);
    }

    void oversizedValuesAreRefused()
    {
        QTemporaryDir tmp;
        DirectoryKeyValueStore store(tmp.path());
        const QByteArray big(DirectoryKeyValueStore::maximumValueBytes + 1, 'x');
        QVERIFY(!store.setValue(u"k"_s, big).ok);
        QVERIFY(!QFile::exists(tmp.path() + u"/k"_s));
        writeFile(tmp.path(), u"k"_s, big);
        const KeyValueRead r = store.value(u"k"_s);
        QVERIFY(!r.value);
        QVERIFY(r.error.contains(u"larger than"_s));
        writeFile(tmp.path(), u"k"_s, big.left(DirectoryKeyValueStore::maximumValueBytes));
        QCOMPARE(store.value(u"k"_s).value->size(), DirectoryKeyValueStore::maximumValueBytes);
    }

    void identityNeedsAWritableDirectory()
    {
        QTemporaryDir tmp;
        DirectoryKeyValueStore creatable(tmp.path() + u"/new/kvs"_s);
        QVERIFY(creatable.hasIdentity());
        QVERIFY(QFileInfo(tmp.path() + u"/new/kvs"_s).isDir());

        const QString blocker = writeFile(tmp.path(), u"blocker"_s, "a file, not a folder");
        DirectoryKeyValueStore blocked(blocker + u"/kvs"_s);
        QVERIFY(!blocked.hasIdentity());
        const KeyValueWrite w = blocked.setValue(u"k"_s, "x");
        QVERIFY(!w.ok);
        QVERIFY(!w.error.isEmpty());
        QVERIFY(!blocked.synchronize().ok);
        QVERIFY(!blocked.value(u"k"_s).value);
        QVERIFY(!blocked.startObserving());

        DirectoryKeyValueStore fileAsDirectory(blocker);
        QVERIFY(!fileAsDirectory.hasIdentity());
        QCOMPARE(readAll(blocker), QByteArray("a file, not a folder"));
    }

    void defaultDirectory_data()
    {
        QTest::addColumn<std::optional<QString>>("kvsDir");
        QTest::addColumn<std::optional<QString>>("dataHome");
        QTest::addColumn<QString>("expected"); // "~" is the test's home
        QTest::newRow("explicit") << std::optional(u"/srv/share/kvs"_s) << std::optional(u"/data"_s)
                                  << u"/srv/share/kvs"_s;
        QTest::newRow("explicit but empty") << std::optional(QString()) << std::optional(u"/data"_s)
                                            << u"/data/vexlor/kvs"_s;
        QTest::newRow("data home") << std::optional<QString>() << std::optional(u"/data"_s) << u"/data/vexlor/kvs"_s;
        QTest::newRow("relative data home") << std::optional<QString>() << std::optional(u"data"_s)
                                            << u"~/.local/share/vexlor/kvs"_s;
        QTest::newRow("nothing set") << std::optional<QString>() << std::optional<QString>()
                                     << u"~/.local/share/vexlor/kvs"_s;
    }
    void defaultDirectory()
    {
        QFETCH(std::optional<QString>, kvsDir);
        QFETCH(std::optional<QString>, dataHome);
        QFETCH(QString, expected);
        QTemporaryDir home;
        ScopedEnv h("HOME", home.path().toUtf8()), k("VEXLOR_KVS_DIR", bytes(kvsDir)), d("XDG_DATA_HOME", bytes(dataHome));
        expected.replace(u"~"_s, home.path());
        QCOMPARE(DirectoryKeyValueStore::defaultDirectory(), expected);
    }

    void reportsOutsideChangesByKey()
    {
        QTemporaryDir tmp;
        DirectoryKeyValueStore watcher(tmp.path());
        DirectoryKeyValueStore other(tmp.path()); // another process, in effect
        QVERIFY(watcher.setValue(u"before"_s, "old").ok);
        QVERIFY(watcher.startObserving());
        QSignalSpy spy(&watcher, &KeyValueStore::changedExternally);

        // Replaced by rename, as this store and file-sync tools do.
        QVERIFY(other.setValue(u"deck.snapshot.v1"_s, "from the other side").ok);
        QTRY_VERIFY_WITH_TIMEOUT(reportedKeys(spy).contains(u"deck.snapshot.v1"_s), 10000);
        const QStringList first = reportedKeys(spy);
        QCOMPARE(QSet<QString>(first.begin(), first.end()), QSet<QString>{u"deck.snapshot.v1"_s});

        // Changed in place.
        spy.clear();
        appendFile(tmp.path() + u"/before"_s, " and more");
        QTRY_VERIFY_WITH_TIMEOUT(reportedKeys(spy).contains(u"before"_s), 10000);

        // Removed.
        spy.clear();
        QVERIFY(QFile::remove(tmp.path() + u"/deck.snapshot.v1"_s));
        QTRY_VERIFY_WITH_TIMEOUT(reportedKeys(spy).contains(u"deck.snapshot.v1"_s), 10000);

        // The store's own writes are not reported: an own write followed by
        // an outside one reports only the outside key.
        spy.clear();
        QVERIFY(watcher.setValue(u"mine"_s, "own write").ok);
        QVERIFY(other.setValue(u"theirs"_s, "outside write").ok);
        QTRY_VERIFY_WITH_TIMEOUT(reportedKeys(spy).contains(u"theirs"_s), 10000);
        QVERIFY2(!reportedKeys(spy).contains(u"mine"_s), qPrintable(reportedKeys(spy).join(u',')));
        // Nor are hidden files, such as another writer's temporary files.
        spy.clear();
        writeFile(tmp.path(), u".partial.tmp"_s, "half");
        QVERIFY(other.setValue(u"marker"_s, "x").ok);
        QTRY_VERIFY_WITH_TIMEOUT(reportedKeys(spy).contains(u"marker"_s), 10000);
        QVERIFY(!reportedKeys(spy).contains(u".partial.tmp"_s));
    }
};

QTEST_GUILESS_MAIN(DirectoryKeyValueStoreTest)
#include "directory_key_value_store_test.moc"
