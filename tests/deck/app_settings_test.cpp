// App settings: loading rules, a write on every assignment, and a change
// signal only on a real change.

#include "TestSupport.h"
#include "deck/AppSettings.h"
#include "deck/PreferencesStore.h"

#include <QSignalSpy>
#include <QTest>

using namespace vexlor;
using namespace vexlor::test;

class AppSettingsTest : public QObject {
    Q_OBJECT

private slots:
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

QTEST_GUILESS_MAIN(AppSettingsTest)
#include "app_settings_test.moc"
