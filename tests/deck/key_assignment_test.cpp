// Key assignments: stored values, labels, the default layout, loading from
// the preferences and assigning keys through the deck model.
// App settings: loading rules, a write on every assignment, and a change
// signal only on a real change.

#include "TestSupport.h"
#include "deck/DeckModel.h"
#include "deck/KeyAssignment.h"
#include "deck/PreferencesStore.h"

#include <QSignalSpy>
#include <QTest>
#include "deck/AppSettings.h"

using namespace vexlor;
using namespace vexlor::test;

namespace {

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

class KeyAssignmentTest : public QObject {
    Q_OBJECT

private slots:
    void defaultLayout()
    {
        QCOMPARE(defaultKeyAssignments().size(), 24);
        QCOMPARE(toString(defaultAssignment(0)), u"claudeStatus"_qs);
        // Past either end of the layout a slot shows the information pages.
        QCOMPARE(toString(defaultAssignment(24)), u"info"_qs);
        QCOMPARE(toString(defaultAssignment(-1)), u"info"_qs);
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

QTEST_GUILESS_MAIN(KeyAssignmentTest)
#include "key_assignment_test.moc"
