// Preferences store: typed reads, durable writes, corrupt files set aside,
// two writers, and writes that cannot reach the disk.

#include "TestSupport.h"
#include "deck/PreferencesStore.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLockFile>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <cmath>

using namespace vexlor;
using namespace vexlor::test;

namespace {

constexpr int kChildWrites = 60;

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList setAside(const QString& dir)
{
    return QDir(dir).entryList({QStringLiteral("preferences.json.corrupt-*")}, QDir::Files, QDir::Name);
}

// The child half of the two-process test: writes its own keys into the file
// named by the environment while the parent writes others.
int runChildWriter()
{
    const QString path = qEnvironmentVariable("VEXLOR_PREFS_CHILD");
    PreferencesStore store(path);
    for (int i = 0; i < kChildWrites; ++i)
        store.setInteger(QStringLiteral("child-%1").arg(i), i);
    return store.hasUnsavedChanges() ? 1 : 0;
}

} // namespace

class PreferencesStoreTest : public QObject {
    Q_OBJECT

private slots:
    void typedReadsTellMissingAndWrongTypesApart()
    {
        QTemporaryDir tmp;
        const QString path = writeFile(tmp.path(), QStringLiteral("preferences.json"), R"({
            "flag": true, "off": false, "count": 4, "wholeDouble": 5.0, "fraction": 4.5,
            "huge": 1e12, "text": "4", "list": ["a", "b"], "mixed": ["a", 1], "empty": [],
            "dict": {"k": 1.5, "t": "x"}, "null": null})");
        PreferencesStore store(path);

        QVERIFY(store.boolValue(QStringLiteral("flag")));
        QVERIFY(!store.boolValue(QStringLiteral("count")));
        QCOMPARE(store.integerValue(QStringLiteral("wholeDouble")), 5);
        QCOMPARE(store.integerValue(QStringLiteral("fraction")), 0);
        QCOMPARE(store.integerValue(QStringLiteral("huge")), 0);

        // A stored false, a value of another type and a missing key differ.
        QCOMPARE(store.value(QStringLiteral("off")), std::optional(QJsonValue(false)));
        QCOMPARE(store.value(QStringLiteral("missing")), std::nullopt);

        QCOMPARE(store.stringArray(QStringLiteral("list")), std::optional(QStringList{u"a"_qs, u"b"_qs}));
        QCOMPARE(store.stringArray(QStringLiteral("mixed")), std::nullopt);

        const auto dict = store.dictionary(QStringLiteral("dict"));
        QVERIFY(dict);
        QCOMPARE(dict->value(u"k"_qs).toDouble(), 1.5);
        QVERIFY(dict->value(u"t"_qs).isString()); // values come back as stored
        QCOMPARE(store.dictionary(QStringLiteral("list")), std::nullopt);
    }

    void writesAreVisibleAtOnceAndSurviveARestart()
    {
        QTemporaryDir tmp;
        const QString path = tmp.path() + u"/nested/vexlor/preferences.json";
        {
            PreferencesStore store(path);
            store.setBool(u"OnlineAccessEnabled"_qs, true);
            store.setInteger(u"GridColumns"_qs, 6);
            store.setStringArray(u"KeyAssignments"_qs, {u"clock"_qs, u"info"_qs});
            store.setDoubleDictionary(u"CollectorAcknowledged"_qs,
                                      {{u"claude:a"_qs, 1700000000.25}, {u"bad"_qs, std::nan("")}});
            store.setInteger(u"GridColumns"_qs, 3); // replaces the earlier value
            QVERIFY(!store.hasUnsavedChanges());
        }
        PreferencesStore again(path);
        QVERIFY(again.boolValue(u"OnlineAccessEnabled"_qs));
        QCOMPARE(again.integerValue(u"GridColumns"_qs), 3);
        QCOMPARE(again.stringArray(u"KeyAssignments"_qs), std::optional(QStringList{u"clock"_qs, u"info"_qs}));
        const auto acks = again.dictionary(u"CollectorAcknowledged"_qs);
        QVERIFY(acks);
        QCOMPARE(acks->keys(), QStringList{u"claude:a"_qs}); // a NaN cannot be stored as JSON
        QCOMPARE(acks->value(u"claude:a"_qs).toDouble(), 1700000000.25);

        // Only the document itself is left behind: no temporary or lock files.
        QCOMPARE(entries(QFileInfo(path).absolutePath()), QStringList{u"preferences.json"_qs});
        QJsonParseError error{};
        QVERIFY(QJsonDocument::fromJson(readAll(path), &error).isObject());
    }

    void corruptFileIsSetAsideAndDefaultsUsed_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("not json") << QByteArray("GridColumns = 5\n");
        QTest::newRow("array at top level") << QByteArray(R"(["GridColumns", 5])");
        QTest::newRow("empty file") << QByteArray();
    }

    void corruptFileIsSetAsideAndDefaultsUsed()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir tmp;
        const QString path = writeFile(tmp.path(), QStringLiteral("preferences.json"), content);

        PreferencesStore store(path);
        QCOMPARE(store.integerValue(u"GridColumns"_qs), 0);
        QCOMPARE(store.value(u"GridColumns"_qs), std::nullopt);
        const QStringList aside = setAside(tmp.path());
        QCOMPARE(aside.size(), 1);
        QCOMPARE(readAll(tmp.filePath(aside.first())), content);

        // Writing afterwards makes a fresh document and leaves the copy alone.
        store.setInteger(u"GridRows"_qs, 3);
        QCOMPARE(PreferencesStore(path).integerValue(u"GridRows"_qs), 3);
        QCOMPARE(setAside(tmp.path()), aside);
        QCOMPARE(readAll(tmp.filePath(aside.first())), content);
    }

    void repeatedCorruptionNeverOverwritesAnEarlierCopy()
    {
        QTemporaryDir tmp;
        const QString path = writeFile(tmp.path(), QStringLiteral("preferences.json"), "first");
        PreferencesStore a(path);
        writeFile(tmp.path(), QStringLiteral("preferences.json"), "second");
        PreferencesStore b(path); // same second: needs a distinct name
        const QStringList aside = setAside(tmp.path());
        QCOMPARE(aside.size(), 2);
        QStringList contents{QString::fromLatin1(readAll(tmp.filePath(aside[0]))),
                             QString::fromLatin1(readAll(tmp.filePath(aside[1])))};
        contents.sort();
        QCOMPARE(contents, (QStringList{u"first"_qs, u"second"_qs}));
    }

    void fileCorruptedAfterLoadingIsSetAsideOnTheNextWrite()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath(u"preferences.json"_qs);
        PreferencesStore store(path);
        store.setInteger(u"GridColumns"_qs, 5);
        writeFile(tmp.path(), QStringLiteral("preferences.json"), "{garbage");
        store.setBool(u"ShowInfoBar"_qs, false);

        QCOMPARE(setAside(tmp.path()).size(), 1);
        QCOMPARE(readAll(tmp.filePath(setAside(tmp.path()).first())), QByteArray("{garbage"));
        PreferencesStore again(path);
        QCOMPARE(again.integerValue(u"GridColumns"_qs), 5); // what the store knew is kept
        QCOMPARE(again.value(u"ShowInfoBar"_qs), std::optional(QJsonValue(false)));
    }

    void twoStoresOnOneFileKeepEachOthersKeys()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath(u"preferences.json"_qs);
        PreferencesStore first(path);
        PreferencesStore second(path); // loaded before either writes
        first.setInteger(u"GridColumns"_qs, 6);
        second.setBool(u"OnlineAccessEnabled"_qs, true);
        QCOMPARE(second.integerValue(u"GridColumns"_qs), 6); // merged on write
        first.setStringArray(u"KeyAssignments"_qs, {u"clock"_qs});

        PreferencesStore third(path);
        QCOMPARE(third.integerValue(u"GridColumns"_qs), 6);
        QVERIFY(third.boolValue(u"OnlineAccessEnabled"_qs));
        QCOMPARE(third.stringArray(u"KeyAssignments"_qs), std::optional(QStringList{u"clock"_qs}));

        // The same key: the later write wins.
        second.setInteger(u"GridColumns"_qs, 2);
        first.reload();
        QCOMPARE(first.integerValue(u"GridColumns"_qs), 2);
    }

    void twoProcessesWritingAtOnceLoseNothing()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath(u"preferences.json"_qs);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"VEXLOR_PREFS_CHILD"_qs, path);
        child.setProcessEnvironment(env);
        child.setProgram(QCoreApplication::applicationFilePath());
        child.start();
        QVERIFY(child.waitForStarted());

        PreferencesStore store(path);
        for (int i = 0; i < kChildWrites; ++i)
            store.setInteger(QStringLiteral("parent-%1").arg(i), i);
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        QVERIFY(!store.hasUnsavedChanges());

        PreferencesStore result(path);
        for (int i = 0; i < kChildWrites; ++i) {
            QCOMPARE(result.value(QStringLiteral("parent-%1").arg(i)), std::optional(QJsonValue(i)));
            QCOMPARE(result.value(QStringLiteral("child-%1").arg(i)), std::optional(QJsonValue(i)));
        }
        QCOMPARE(setAside(tmp.path()), QStringList());
    }

    void unwritableLocationKeepsChangesInMemoryAndRetries()
    {
        QTemporaryDir tmp;
        // A regular file where the folder should be: no write can succeed,
        // whatever the user's rights.
        const QString blocker = writeFile(tmp.path(), QStringLiteral("config"), "not a folder");
        const QString path = blocker + u"/vexlor/preferences.json";
        PreferencesStore store(path);
        store.setBool(u"OnlineAccessEnabled"_qs, true);
        QVERIFY(store.boolValue(u"OnlineAccessEnabled"_qs));
        QVERIFY(store.hasUnsavedChanges());
        QCOMPARE(readAll(blocker), QByteArray("not a folder"));

        QVERIFY(QFile::remove(blocker));
        store.setInteger(u"GridRows"_qs, 3);
        QVERIFY(!store.hasUnsavedChanges());
        PreferencesStore again(path);
        QVERIFY(again.boolValue(u"OnlineAccessEnabled"_qs)); // the earlier change was kept
        QCOMPARE(again.integerValue(u"GridRows"_qs), 3);
    }

    void symbolicLinkStaysALink()
    {
        QTemporaryDir tmp;
        const QString target = writeFile(tmp.path(), QStringLiteral("dotfiles/preferences.json"), R"({"GridRows": 1})");
        const QString path = tmp.filePath(u"config/preferences.json"_qs);
        QVERIFY(QDir().mkpath(tmp.filePath(u"config"_qs)));
        QVERIFY(QFile::link(target, path));
        PreferencesStore store(path);
        QCOMPARE(store.integerValue(u"GridRows"_qs), 1);
        store.setInteger(u"GridColumns"_qs, 5);
        QVERIFY(QFileInfo(path).isSymLink());
        PreferencesStore viaTarget(target);
        QCOMPARE(viaTarget.integerValue(u"GridColumns"_qs), 5);
        QCOMPARE(viaTarget.integerValue(u"GridRows"_qs), 1);
    }

    void lockHeldElsewhereLeavesTheFileAlone()
    {
        QTemporaryDir tmp;
        const QString path = writeFile(tmp.path(), QStringLiteral("preferences.json"), R"({"GridRows": 1})");
        const QByteArray before = readAll(path);
        QLockFile other(path + u".lock");
        QVERIFY(other.tryLock(0));
        PreferencesStore store(path);
        store.setInteger(u"GridRows"_qs, 4);
        QCOMPARE(store.integerValue(u"GridRows"_qs), 4);
        QVERIFY(store.hasUnsavedChanges());
        QCOMPARE(readAll(path), before);
        other.unlock();
        store.setBool(u"ShowInfoBar"_qs, true);
        QCOMPARE(PreferencesStore(path).integerValue(u"GridRows"_qs), 4);
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("VEXLOR_PREFS_CHILD"))
        return runChildWriter();
    PreferencesStoreTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "preferences_store_test.moc"
