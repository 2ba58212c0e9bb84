// Preferences store: typed reads, durable writes, corrupt files set aside,
// two writers, and writes that cannot reach the disk.
// Deck model: updates and their signals, information pages, lookups,
// acknowledgement, and every formatted text.
// Key assignments: stored values, labels, the default layout, loading from
// the preferences and assigning keys through the deck model.
// App settings: loading rules, a write on every assignment, and a change
// signal only on a real change.

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
#include "deck/DeckModel.h"
#include <QLocale>
#include <QMetaProperty>
#include <QSignalSpy>
#include "deck/KeyAssignment.h"
#include "deck/AppSettings.h"
#include "deck/AutostartEntry.h"

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

ProviderUsage tile(const QString& id, ProviderUsage::Kind kind)
{
    ProviderUsage u = ProviderUsage::captionTile(id, id.section(u'-', 0, 0).toUpper(), u"loading"_qs);
    u.kind = std::move(kind);
    return u;
}

QList<ProviderUsage> tiles(const QStringList& ids)
{
    QList<ProviderUsage> out;
    for (const QString& id : ids)
        out.append(tile(id, ProviderUsage::Unavailable{u"loading"_qs}));
    return out;
}

QList<Agent> agents(const QStringList& ids)
{
    QList<Agent> out;
    for (const QString& id : ids)
        out.append(deckAgent(id, AgentStatus::idle));
    return out;
}

// A gadget property as QML reads it.
QVariant gadgetProperty(const QVariant& gadget, const char* name)
{
    const QMetaObject* mo = gadget.metaType().metaObject();
    if (!mo)
        return {};
    const int i = mo->indexOfProperty(name);
    return i < 0 ? QVariant() : mo->property(i).readOnGadget(gadget.constData());
}

struct Fixture {
    QTemporaryDir tmp;
    PreferencesStore store{tmp.filePath(u"preferences.json"_qs)};
    Timestamp time = Timestamp::fromSeconds(1'000'000);
    Clock clock = [this] { return time; };
};

QString prefsWith(const QTemporaryDir& tmp, const QByteArray& json)
{
    return writeFile(tmp.path(), QStringLiteral("preferences.json"), json);
}

QList<KeyAssignment> parse(const QStringList& names)
{
    QList<KeyAssignment> out;
    for (const QString& n : names)
        out.append(keyAssignmentFromString(n).value());
    return out;
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


    void updateNotifiesOnlyOnChange()
    {
        Fixture f;
        DeckModel model(agents({u"claude"_qs}), tiles({u"claude-usage"_qs}), f.store, f.clock);
        QSignalSpy agentsSpy(&model, &DeckModel::agentsChanged);
        QSignalSpy usageSpy(&model, &DeckModel::usageChanged);
        QSignalSpy pagesSpy(&model, &DeckModel::infoPagesChanged);
        QSignalSpy indexSpy(&model, &DeckModel::infoPageIndexChanged);

        model.update(agents({u"claude"_qs}), tiles({u"claude-usage"_qs}));
        QCOMPARE(agentsSpy.count() + usageSpy.count() + pagesSpy.count() + indexSpy.count(), 0);

        model.update(agents({u"claude"_qs}), tiles({u"claude-usage"_qs, u"claude-session"_qs}));
        QCOMPARE(agentsSpy.count(), 0);
        QCOMPARE(usageSpy.count(), 1);
        QCOMPARE(pagesSpy.count(), 1);

        QList<Agent> changed = agents({u"claude"_qs});
        changed[0].status = AgentStatus::working;
        model.update(changed, model.usage());
        QCOMPARE(agentsSpy.count(), 1);
        QCOMPARE(usageSpy.count(), 1);
        QCOMPARE(model.workingCount(), 1);
        QCOMPARE(model.needsYouCount(), 0);
    }

    void pageIndexFollowsThePageList()
    {
        Fixture f;
        const QStringList five = {u"a-usage"_qs, u"b-usage"_qs, u"c-usage"_qs, u"d-usage"_qs, u"e-usage"_qs};
        DeckModel model(agents({u"a"_qs, u"b"_qs, u"c"_qs}), tiles(five), f.store, f.clock);
        const QList<InfoPage> pages = model.infoPages();
        QCOMPARE(pages.size(), 9);
        QStringList kinds;
        for (qsizetype i = 0; i < pages.size(); ++i) {
            QCOMPARE(pages[i].id, int(i));
            kinds << pages[i].kindName();
        }
        QCOMPARE(kinds.join(u','), u"summary,agent,agent,agent,usage,usage,usage,usage,usage"_qs);

        QSignalSpy indexSpy(&model, &DeckModel::infoPageIndexChanged);
        QSignalSpy currentSpy(&model, &DeckModel::currentInfoPageChanged);
        model.advancePage(-1);
        QCOMPARE(model.infoPageIndex(), 8);
        QCOMPARE(model.currentInfoPage()->kindName(), u"usage"_qs);
        QCOMPARE(std::get<ProviderUsage>(model.currentInfoPage()->content).id, u"e-usage"_qs);
        model.update(agents({u"a"_qs, u"b"_qs, u"c"_qs}), tiles(five.mid(1) << u"f-usage"_qs)); // still nine
        QCOMPARE(model.infoPageIndex(), 8);
        QCOMPARE(indexSpy.count(), 1);
        QCOMPARE(currentSpy.count(), 2); // the index moved, then the pages changed
        model.update(agents({u"a"_qs, u"b"_qs, u"c"_qs}), tiles(five.mid(1))); // eight pages
        QCOMPARE(model.infoPageIndex(), 0);
        QCOMPARE(indexSpy.count(), 2);

        model.advancePage(1);
        QCOMPARE(model.infoPageIndex(), 1);
        QCOMPARE(std::get<Agent>(model.currentInfoPage()->content).id, u"a"_qs);
        model.advancePage(0); // unchanged: no notification
        QCOMPARE(indexSpy.count(), 3);

        model.setInfoPageIndex(-1);
        QVERIFY(!model.currentInfoPage());
        QVERIFY(!model.currentInfoPageValue().isValid());
        model.setInfoPageIndex(99);
        QVERIFY(!model.currentInfoPage());
        model.advancePage(1); // wraps a stray index back into range
        QCOMPARE(model.infoPageIndex(), (99 + 1) % 8);

        DeckModel empty({}, {}, f.store, f.clock);
        QCOMPARE(empty.infoPageCount(), 1);
        empty.advancePage(-1);
        QCOMPARE(empty.infoPageIndex(), 0);
        empty.advancePage(1);
        QCOMPARE(empty.infoPageIndex(), 0);
    }

    void lookups()
    {
        Fixture f;
        DeckModel model(agents({u"claude"_qs, u"codex"_qs, u"opencode"_qs, u"kimi"_qs}),
                        tiles({u"claude-usage"_qs, u"claude-session"_qs, u"codex-usage"_qs}), f.store, f.clock);
        QCOMPARE(model.pageIndexForUsage(u"codex-usage"_qs), std::optional(7));
        QCOMPARE(model.pageIndexForUsage(u"codex"_qs), std::nullopt); // exact ids only
        QCOMPARE(model.pageIndexForUsagePrefix(u"claude"_qs), std::optional(5));
        QCOMPARE(model.pageIndexForUsagePrefix(u"kimi"_qs), std::nullopt);
        QCOMPARE(model.pageIndexForAgent(u"opencode"_qs), std::optional(3));
        QCOMPARE(model.pageIndexForAgent(u"nobody"_qs), std::nullopt);
        QCOMPARE(model.usageTileWithPrefix(u"claude"_qs)->id, u"claude-usage"_qs);
        QCOMPARE(model.agent(u"kimi"_qs)->name, u"KIMI"_qs);
        QVERIFY(!model.agent(u"KIMI"_qs));

        // The QML form: a gadget, or undefined.
        QCOMPARE(gadgetProperty(model.agentById(u"codex"_qs), "name"), QVariant(u"CODEX"_qs));
        QVERIFY(!model.agentById(u"nobody"_qs).isValid());
    }

    void acknowledge()
    {
        Fixture f;
        QList<Agent> list{deckAgent(u"claude"_qs, AgentStatus::needsYou, 1),
                          deckAgent(u"codex"_qs, AgentStatus::idle, 2)};
        DeckModel model(list, {}, f.store, f.clock);
        QSignalSpy spy(&model, &DeckModel::agentsChanged);

        // Not needing the user: nothing, with or without a callback.
        model.acknowledge(list[1]);
        QStringList calls;
        model.setOnAcknowledge([&](const QString& id) { calls << id; });
        model.acknowledge(list[1]);
        QVERIFY(calls.isEmpty());

        // With a callback the hub decides; the model changes nothing.
        model.acknowledgeAgent(u"claude"_qs);
        QCOMPARE(calls, QStringList{u"claude"_qs});
        QCOMPARE(model.agents(), list);
        QCOMPARE(spy.count(), 0);

        // Without one the model marks its own copy as working since now.
        model.setOnAcknowledge({});
        f.time = Timestamp::fromSeconds(2'000'000);
        model.acknowledge(list[0]);
        QCOMPARE(spy.count(), 1);
        QVERIFY(model.agents()[0].status == AgentStatus::working);
        QCOMPARE(model.agents()[0].startedAt, std::optional(f.time));
        QCOMPARE(model.agents()[1], list[1]);

        // An agent the model does not hold: nothing.
        model.acknowledge(deckAgent(u"kimi"_qs, AgentStatus::needsYou));
        QCOMPARE(spy.count(), 1);
    }


    // A fleet on the deck: each agent key merges its provider over the
    // online hosts, and an acknowledgement reaches the hosts that wait.
    void fleetMerge_data()
    {
        using S = AgentSession::State;
        QTest::addColumn<Agent>("local");
        QTest::addColumn<QList<FleetHostView>>("hosts");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("sessions");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QStringList>("hubCalls");
        QTest::addColumn<QStringList>("acks");
        QTest::addColumn<QList<int>>("onlineAndNeedYou");

        const auto claude = [](AgentStatus status, int sessions, QList<AgentSession> rows, QString model = {},
                               double activeAt = 0) {
            Agent a = deckAgent(u"claude"_qs, status, sessions, std::move(rows));
            if (!model.isEmpty())
                a.models = {model};
            for (AgentSession& r : a.openSessions)
                r.since = Timestamp::fromSeconds(activeAt);
            return a;
        };
        const auto host = [](const QString& name, bool online, Agent agent) {
            return FleetHostView{name, online, Timestamp::fromSeconds(1000), {agent}, {}};
        };

        QTest::newRow("a host that needs you outranks working here; its newer model leads")
            << claude(AgentStatus::working, 2, {sessionRow(u"parser"_qs, S::working)}, u"opus-4"_qs, 100)
            << QList{host(u"devbox"_qs, true,
                          claude(AgentStatus::needsYou, 1, {sessionRow(u"Refactor the billing API"_qs, S::attention)},
                                 u"sonnet-4"_qs, 200))}
            << u"needsYou"_qs << 3 << u"sonnet-4"_qs
            << QStringList{u"laptop · parser"_qs, u"devbox · Refactor the billing API"_qs} << QStringList{}
            << QStringList{u"devbox"_qs} << QList{2, 1};
        QTest::newRow("working outranks idle, counts summed, rows here first then by host")
            << claude(AgentStatus::idle, 1, {sessionRow(u"docs"_qs, S::idle)}, u"opus-4"_qs, 300)
            << QList{host(u"a"_qs, true, claude(AgentStatus::working, 2, {sessionRow(u"w"_qs, S::working)}, u"gpt"_qs, 200)),
                     host(u"b"_qs, true, claude(AgentStatus::idle, 3, {sessionRow(u"i"_qs, S::idle)}))}
            << u"working"_qs << 6 << u"opus-4"_qs
            << QStringList{u"laptop · docs"_qs, u"a · w"_qs, u"b · i"_qs} << QStringList{} << QStringList{}
            << QList{3, 0};
        QTest::newRow("not found here is the least urgent")
            << claude(AgentStatus::offline, 0, {})
            << QList{host(u"a"_qs, true, claude(AgentStatus::idle, 1, {}))}
            << u"idle"_qs << 1 << QString() << QStringList{} << QStringList{} << QStringList{} << QList{2, 0};
        QTest::newRow("an offline host counts for nothing")
            << claude(AgentStatus::idle, 1, {sessionRow(u"docs"_qs, S::idle)})
            << QList{host(u"ci"_qs, false, claude(AgentStatus::needsYou, 4, {sessionRow(u"x"_qs, S::attention)}))}
            << u"idle"_qs << 1 << QString() << QStringList{u"docs"_qs} << QStringList{} << QStringList{}
            << QList{1, 0};
        QTest::newRow("acknowledging reaches here and only the online hosts that wait")
            << claude(AgentStatus::needsYou, 1, {sessionRow(u"mine"_qs, S::attention)})
            << QList{host(u"a"_qs, true, claude(AgentStatus::needsYou, 1, {sessionRow(u"x"_qs, S::attention)})),
                     host(u"b"_qs, true, claude(AgentStatus::working, 1, {sessionRow(u"y"_qs, S::working)})),
                     host(u"c"_qs, false, claude(AgentStatus::needsYou, 1, {sessionRow(u"z"_qs, S::attention)}))}
            << u"needsYou"_qs << 3 << QString()
            << QStringList{u"laptop · mine"_qs, u"a · x"_qs, u"b · y"_qs} << QStringList{u"claude"_qs}
            << QStringList{u"a"_qs} << QList{3, 2};
    }

    void fleetMerge()
    {
        QFETCH(Agent, local);
        QFETCH(QList<FleetHostView>, hosts);
        QFETCH(QStringList, hubCalls);
        QFETCH(QStringList, acks);
        QFETCH(QList<int>, onlineAndNeedYou);
        Fixture f;
        DeckModel model({local}, {}, f.store, f.clock);
        QStringList calls;
        model.setOnAcknowledge([&](const QString& id) { calls << id; });
        model.setFleet(u"laptop"_qs, hosts);

        const Agent shown = model.agents().first();
        QTEST(toString(shown.status), "status");
        QTEST(shown.sessions, "sessions");
        QTEST(shown.models.value(0), "model");
        QStringList titles;
        for (const AgentSession& r : shown.openSessions)
            titles << r.title;
        QTEST(titles, "titles");
        QCOMPARE((QList{model.fleetOnlineCount(), model.fleetNeedsYouCount()}), onlineAndNeedYou);
        QCOMPARE(model.localAgents(), QList{local});
        QCOMPARE(model.infoPageCount(), 2 + hosts.size());

        QStringList sent;
        connect(&model, &DeckModel::remoteAcknowledgeRequested, this,
                [&](const QString& host, const QString& provider) { sent << host + u':' + provider; });
        model.acknowledgeAgent(u"claude"_qs);
        QCOMPARE(calls, hubCalls);
        QStringList expectedSent;
        for (const QString& h : acks)
            expectedSent << h + u":claude"_qs;
        QCOMPARE(sent, expectedSent);
    }

    void agentTexts_data()
    {
        using S = AgentSession::State;
        QTest::addColumn<Agent>("agent");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("detail");

        QTest::newRow("idle with 3 open") << deckAgent(u"a"_qs, AgentStatus::idle, 3, {sessionRow(u"T"_qs, S::idle)})
                                          << u"IDLE"_qs << u"3 open"_qs << u"T"_qs;
        QTest::newRow("working, no working rows")
            << deckAgent(u"a"_qs, AgentStatus::working, 2, {sessionRow(u"T"_qs, S::idle), sessionRow(u"U"_qs, S::idle)})
            << u"WORKING"_qs << u"2 active"_qs << u"T +1"_qs;
        QTest::newRow("working rows counted")
            << deckAgent(u"a"_qs, AgentStatus::working, 5, {sessionRow(u"T"_qs, S::working), sessionRow(u"U"_qs, S::idle)})
            << u"WORKING"_qs << u"1 active"_qs << u"T +1"_qs;
        QTest::newRow("working, no rows") << deckAgent(u"a"_qs, AgentStatus::working, 0) << u"WORKING"_qs
                                          << u"0 active"_qs << u"live backend"_qs;
        QTest::newRow("needs you A +2")
            << deckAgent(u"a"_qs, AgentStatus::needsYou, 4,
                         {sessionRow(u"A"_qs, S::attention), sessionRow(u"B"_qs, S::attention), sessionRow(u"C"_qs, S::attention),
                          sessionRow(u"W"_qs, S::working)})
            << u"NEED YOU"_qs << u"3 attention"_qs << u"A +2"_qs;
        QTest::newRow("needs you, no attention rows")
            << deckAgent(u"a"_qs, AgentStatus::needsYou, 2, {sessionRow(u"W"_qs, S::working)}) << u"NEED YOU"_qs
            << u"2 attention"_qs << u"waiting for you"_qs;
        QTest::newRow("offline") << deckAgent(u"a"_qs, AgentStatus::offline, 0) << u"NOT FOUND"_qs << QString()
                                 << u"not installed"_qs;
    }

    void agentTexts()
    {
        QFETCH(Agent, agent);
        QTEST(agent.statusLabel(), "status");
        QTEST(agent.countLine(), "count");
        QTEST(agent.detailLine(), "detail");
        // QML reads the same texts through the gadget.
        QTEST(gadgetProperty(QVariant::fromValue(agent), "countLine").toString(), "count");
    }

    void usageTexts_data()
    {
        QTest::addColumn<ProviderUsage>("usage");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("detail");
        using U = ProviderUsage;
        QTest::newRow("percent rounds half up") << tile(u"a"_qs, U::Percent{0.425, u"7d"_qs}) << u"43%"_qs
                                                << u"7d used"_qs;
        QTest::newRow("half a percent") << tile(u"a"_qs, U::Percent{0.005, u"5h"_qs}) << u"1%"_qs << u"5h used"_qs;
        QTest::newRow("binary-inexact half") << tile(u"a"_qs, U::Percent{0.285, u"5h"_qs}) << u"29%"_qs
                                             << u"5h used"_qs;
        QTest::newRow("just below half") << tile(u"a"_qs, U::Percent{0.0049, u"5h"_qs}) << u"0%"_qs << u"5h used"_qs;
        QTest::newRow("millions") << tile(u"a"_qs, U::Tokens{1'234'567, 12.5, u"7d"_qs}) << u"1.23M"_qs
                                  << u"$12.50 / 7d"_qs;
        QTest::newRow("just under a million") << tile(u"a"_qs, U::Tokens{999'999, 0, u"24h"_qs}) << u"1000K"_qs
                                              << u"24h tokens"_qs;
        // An exact half rounds away from zero, as the percentages do.
        QTest::newRow("exact half thousand") << tile(u"a"_qs, U::Tokens{2'500, 0, u"7d"_qs}) << u"3K"_qs
                                             << u"7d tokens"_qs;
        QTest::newRow("caption") << tile(u"a"_qs, U::Unavailable{u"online off"_qs}) << u"\u2014"_qs
                                 << u"online off"_qs;
    }

    void usageTexts()
    {
        QFETCH(ProviderUsage, usage);
        QTEST(usage.valueText(), "value");
        QTEST(usage.detailText(), "detail");
    }

    void moneyFollowsTheLocale()
    {
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const ProviderUsage u = tile(u"a"_qs, ProviderUsage::Tokens{2'000'000, 1234.5, u"7d"_qs});
        const QString detail = u.detailText();
        const QString value = u.valueText();
        QLocale::setDefault(saved);
        QCOMPARE(detail, u"$1.234,50 / 7d"_qs);
        QCOMPARE(value, u"2.00M"_qs); // key figures keep their decimal point
    }

    void elapsedText_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("59.9 s") << 59.9 << u"0:59"_qs;
        QTest::newRow("75 s") << 75.0 << u"1:15"_qs;
        QTest::newRow("an hour") << 3600.0 << u"1:00:00"_qs;
        QTest::newRow("two days") << 2 * 86400.0 + 61 << u"48:01:01"_qs;
        QTest::newRow("future start") << -30.0 << u"0:00"_qs;
    }

    void elapsedText()
    {
        QFETCH(double, seconds);
        const Timestamp to = Timestamp::fromSeconds(1'700'000'000);
        QTEST(DeckModel::elapsedText(to - seconds, to), "text");
    }

    void gadgetsReachTheInterface()
    {
        ProviderUsage u = tile(u"claude-usage"_qs, ProviderUsage::Percent{0.1, u"7d"_qs});
        u.resetsAt = Timestamp::fromSeconds(42);
        const QVariant v = QVariant::fromValue(u);
        QCOMPARE(gadgetProperty(v, "kind"), QVariant(u"percent"_qs));
        QCOMPARE(gadgetProperty(v, "valueText"), QVariant(u"10%"_qs));
        QCOMPARE(gadgetProperty(v, "resetsAt"), QVariant(42.0));
        QVERIFY(!gadgetProperty(v, "secondaryText").isValid());
        QCOMPARE(gadgetProperty(gadgetProperty(v, "tint"), "name"), QVariant(u"#ff9e9e9e"_qs));
    }

    void loadingAndSlotLookup_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("loaded");
        QTest::addColumn<QList<int>>("slotList");
        QTest::addColumn<QStringList>("shown");

        const QStringList defaults = toStringList(defaultKeyAssignments());
        QTest::newRow("missing") << QByteArray("{}") << defaults << QList<int>{9, 30, -1}
                                 << QStringList{u"claudeSpend"_qs, u"info"_qs, u"info"_qs};
        QTest::newRow("unknown string takes its slot's default")
            << QByteArray(R"({"KeyAssignments": ["codexStatus", "fromAnotherVersion"]})")
            << QStringList{u"codexStatus"_qs, u"codexStatus"_qs} << QList<int>{0, 1, 5}
            << QStringList{u"codexStatus"_qs, u"codexStatus"_qs, u"codexUsed"_qs};
        QTest::newRow("not all strings") << QByteArray(R"({"KeyAssignments": ["clock", 3]})") << defaults
                                         << QList<int>{0} << QStringList{u"claudeStatus"_qs};
        QTest::newRow("empty array stays empty") << QByteArray(R"({"KeyAssignments": []})") << QStringList{}
                                                 << QList<int>{0, 11} << QStringList{u"claudeStatus"_qs, u"info"_qs};
        QTest::newRow("longer than the defaults")
            << QByteArray(R"({"KeyAssignments": ["spacer","spacer","spacer","spacer","spacer","spacer","spacer",
                "spacer","spacer","spacer","spacer","spacer","spacer","spacer","spacer","spacer","spacer","spacer",
                "spacer","spacer","spacer","spacer","spacer","spacer","clock","nope"]})")
            << (QStringList(24, u"spacer"_qs) << u"clock"_qs << u"info"_qs) << QList<int>{24, 25, 26}
            << QStringList{u"clock"_qs, u"info"_qs, u"info"_qs};
    }

    void loadingAndSlotLookup()
    {
        QFETCH(QByteArray, json);
        QFETCH(QStringList, loaded);
        QFETCH(QList<int>, slotList);
        QFETCH(QStringList, shown);
        QTemporaryDir tmp;
        const QString path = prefsWith(tmp, json);
        const QByteArray before = json;
        PreferencesStore store(path);
        DeckModel model({}, {}, store);
        QCOMPARE(model.keyAssignmentNames(), loaded);
        for (qsizetype i = 0; i < slotList.size(); ++i)
            QCOMPARE(toString(model.assignmentAt(slotList[i])), shown[i]);
        QVERIFY(!store.hasUnsavedChanges());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before); // loading writes nothing back
    }

    void assignFillsTheGapWithDefaultsAndWrites_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("slot");
        QTest::addColumn<QStringList>("written");
        QTest::addColumn<int>("signalCount");

        QTest::newRow("slot 6 after two stored entries")
            << QByteArray(R"({"KeyAssignments": ["kimiStatus", "info"]})") << 6
            << QStringList{u"kimiStatus"_qs, u"info"_qs, u"opencodeStatus"_qs, u"kimiStatus"_qs, u"claudeUsed"_qs,
                           u"codexUsed"_qs, u"clock"_qs}
            << 6; // five appends (slots 2 to 6) and the change
        QStringList to25 = toStringList(defaultKeyAssignments());
        to25 << u"info"_qs << u"clock"_qs;
        QTest::newRow("slot 25 with an empty list") << QByteArray(R"({"KeyAssignments": []})") << 25 << to25 << 27;
        QStringList replaced = toStringList(defaultKeyAssignments());
        replaced[3] = u"clock"_qs;
        QTest::newRow("inside the list") << QByteArray("{}") << 3 << replaced << 1;
        QTest::newRow("same value still written") << QByteArray(R"({"KeyAssignments": ["clock"]})") << 0
                                                  << QStringList{u"clock"_qs} << 0;
    }

    void assignFillsTheGapWithDefaultsAndWrites()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, slot);
        QFETCH(QStringList, written);
        QFETCH(int, signalCount);
        QTemporaryDir tmp;
        const QString path = prefsWith(tmp, json);
        PreferencesStore store(path);
        DeckModel model({}, {}, store);
        QSignalSpy spy(&model, &DeckModel::keyAssignmentsChanged);
        model.assign(KeyAssignment::clock(), slot);
        QCOMPARE(spy.count(), signalCount);
        QCOMPARE(model.keyAssignmentNames(), written);
        QCOMPARE(PreferencesStore(path).stringArray(kKeyAssignmentsPreference), std::optional(written));
        QVERIFY(model.keyAssignments() == parse(written));
    }

    void negativeSlotChangesAndWritesNothing()
    {
        QTemporaryDir tmp;
        const QString path = tmp.filePath(u"preferences.json"_qs);
        PreferencesStore store(path);
        DeckModel model({}, {}, store);
        QSignalSpy spy(&model, &DeckModel::keyAssignmentsChanged);
        model.assign(KeyAssignment::clock(), -1);
        QCOMPARE(spy.count(), 0);
        QVERIFY(!QFile::exists(path));
        QVERIFY(model.keyAssignments() == defaultKeyAssignments());
    }

    void loading_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("online");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("infoBar");
        QTest::addColumn<bool>("tips");
        QTest::addColumn<bool>("notify");

        QTest::newRow("empty store") << QByteArray("{}") << false << 4 << 2 << true << true << true;
        QTest::newRow("stored values") << QByteArray(R"({"OnlineAccessEnabled": true, "GridColumns": 6,
            "GridRows": 1, "ShowInfoBar": false, "ShowTipsOnLaunch": false, "NotifyNeedsYou": false})")
                                       << true << 6 << 1 << false << false << false;
        QTest::newRow("columns 7, rows 0") << QByteArray(R"({"GridColumns": 7, "GridRows": 0})") << false << 4 << 2
                                           << true << true << true;
        QTest::newRow("smallest grid") << QByteArray(R"({"GridColumns": 2, "GridRows": 1})") << false << 2 << 1
                                       << true << true << true;
        QTest::newRow("wrong types") << QByteArray(R"({"OnlineAccessEnabled": 1, "GridColumns": "5",
            "GridRows": 3.5, "ShowInfoBar": 0, "ShowTipsOnLaunch": "false", "NotifyNeedsYou": 0})")
                                     << false << 4 << 2 << true << true << true;
    }

    void loading()
    {
        QFETCH(QByteArray, json);
        QTemporaryDir tmp;
        const QString path = writeFile(tmp.path(), QStringLiteral("preferences.json"), json);
        PreferencesStore store(path);
        AppSettings settings(store);
        QTEST(settings.onlineAccess(), "online");
        QTEST(settings.gridColumns(), "columns");
        QTEST(settings.gridRows(), "rows");
        QTEST(settings.showInfoBar(), "infoBar");
        QTEST(settings.showTipsOnLaunch(), "tips");
        QTEST(settings.notifyNeedsYou(), "notify");
        QVERIFY(!store.hasUnsavedChanges()); // nothing is written back at load
    }

    // The launch-at-login switch is an XDG autostart entry that comes and
    // goes with it, and shows what is on disk when looked at again.
    void launchAtLoginIsTheAutostartEntry()
    {
        QTemporaryDir tmp;
        const ScopedEnv config("XDG_CONFIG_HOME", tmp.path().toUtf8());
        const QString entry = tmp.path() + QStringLiteral("/autostart/vexlor.desktop");
        PreferencesStore store(tmp.filePath(QStringLiteral("preferences.json")));
        AppSettings settings(store);
        QVERIFY(!settings.launchAtLogin());
        settings.setLaunchAtLogin(true);
        QFile file(entry);
        QVERIFY(settings.launchAtLogin() && file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY2(text.startsWith("[Desktop Entry]\nType=Application\n") && text.contains("\nExec=/"), text.constData());
        settings.setLaunchAtLogin(false);
        QVERIFY(!QFile::exists(entry) && !settings.launchAtLogin());
        writeFile(tmp.path(), QStringLiteral("autostart/vexlor.desktop"), "[Desktop Entry]\n");
        QSignalSpy changed(&settings, &AppSettings::launchAtLoginChanged);
        settings.refreshLaunchAtLogin();
        QVERIFY(settings.launchAtLogin() && changed.size() == 1);
        // Switched off by the desktop's own startup settings: the switch shows off.
        writeFile(tmp.path(), QStringLiteral("autostart/vexlor.desktop"),
                  "[Desktop Entry]\nExec=vexlor\nX-GNOME-Autostart-enabled = false\n");
        settings.refreshLaunchAtLogin();
        QVERIFY(!settings.launchAtLogin() && changed.size() == 2);
        writeFile(tmp.path(), QStringLiteral("autostart/vexlor.desktop"), "[Desktop Entry]\nHidden=true\n");
        QVERIFY(!autostart::isEnabled(entry));
        writeFile(tmp.path(), QStringLiteral("autostart/vexlor.desktop"), "[Desktop Entry]\n[Other]\nHidden=true\n");
        QVERIFY(autostart::isEnabled(entry));
    }

    // The program's path as the Exec key must carry it, so that the desktop
    // starts this very file at login.
    void autostartExecQuotesThePath_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << "/usr/bin/vexlor" << "/usr/bin/vexlor";
        QTest::newRow("space") << "/opt/my apps/vexlor" << "\"/opt/my apps/vexlor\"";
        QTest::newRow("dollar, quote, backtick") << "/opt/a$b\"c`d/vexlor" << "\"/opt/a\\\\$b\\\\\"c\\\\`d/vexlor\"";
        QTest::newRow("backslash") << "/opt/a\\b/vexlor" << "\"/opt/a\\\\\\\\b/vexlor\"";
        QTest::newRow("percent, unquoted") << "/opt/100%/vexlor" << "/opt/100%%/vexlor";
    }
    void autostartExecQuotesThePath()
    {
        QFETCH(QString, program);
        QFETCH(QString, exec);
        QCOMPARE(autostart::execArgument(program), exec);
        QVERIFY(autostart::entryText(program).contains(QByteArray("\nExec=" + exec.toUtf8() + "\n")));
    }

    void everyAssignmentWritesButOnlyChangesNotify()
    {
        QTemporaryDir tmp;
        const QString path = writeFile(tmp.path(), QStringLiteral("preferences.json"), R"({"GridColumns": 7})");
        PreferencesStore store(path);
        AppSettings settings(store);
        QSignalSpy columns(&settings, &AppSettings::gridColumnsChanged);
        QSignalSpy online(&settings, &AppSettings::onlineAccessChanged);
        bool onlineSeen = false; // a change signal sees the new value
        connect(&settings, &AppSettings::onlineAccessChanged, this, [&] { onlineSeen = settings.onlineAccess(); });

        // Equal to the loaded default: no signal, but the key is written.
        settings.setGridColumns(4);
        QCOMPARE(columns.count(), 0);
        QCOMPARE(PreferencesStore(path).integerValue(AppSettings::kGridColumnsKey), 4);

        settings.setGridColumns(5);
        settings.setOnlineAccess(true);
        settings.setOnlineAccess(true);
        QCOMPARE(columns.count(), 1);
        QCOMPARE(online.count(), 1);
        QVERIFY(onlineSeen);
        PreferencesStore reread(path);
        QCOMPARE(reread.value(AppSettings::kGridColumnsKey), std::optional(QJsonValue(5)));
        QCOMPARE(reread.value(AppSettings::kOnlineAccessKey), std::optional(QJsonValue(true)));
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
