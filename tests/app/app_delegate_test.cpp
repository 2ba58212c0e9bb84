// Start-up on the offscreen platform: first placement, the saved frame under
// "DeckPanel", a frame left on a screen that is gone, and the menu's
// show/hide item following the panel.

#include "AppDelegate.h"
#include "DeckPanel.h"
#include "PanelGeometry.h"
#include "TrayMenu.h"
#include "deck/AppSettings.h"
#include "deck/PreferencesStore.h"

#include <QApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(VexlorPlugin)

using namespace vexlor;

class AppDelegateTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString storePath() const { return m_dir.filePath(QStringLiteral("preferences.json")); }
    static QRectF mainArea() { return QRectF(QGuiApplication::primaryScreen()->availableGeometry()); }

private slots:
    void init()
    {
        QFile::remove(storePath());
    }

    void firstLaunchPlacesTheDeckTopRight()
    {
        PreferencesStore store(storePath());
        store.setBool(AppSettings::kShowTipsOnLaunchKey, false);
        AppSettings settings(store);
        AppDelegate app(store, settings);
        app.applicationDidFinishLaunching();
        QVERIFY(app.panel());
        QVERIFY(app.panel()->isVisible());
        const QRectF frame = app.panel()->frame();
        QCOMPARE(frame.size(), QSizeF(500, app.panel()->contentFittingSize()->height()));
        QCOMPARE(frame.right(), mainArea().right() - panel::cornerMargin);
        QCOMPARE(frame.top(), mainArea().top() + panel::cornerMargin);
        // The frame is saved under "DeckPanel" once it settles.
        QTRY_VERIFY_WITH_TIMEOUT(store.dictionary(AppDelegate::kPanelFrameKey).has_value(), 10000);
        const auto saved = *store.dictionary(AppDelegate::kPanelFrameKey);
        QCOMPARE(saved.value(QStringLiteral("x")).toDouble(), frame.x());
        QCOMPARE(saved.value(QStringLiteral("width")).toDouble(), 500.0);
    }

    void savedFrameIsRestored()
    {
        PreferencesStore store(storePath());
        store.setDoubleDictionary(AppDelegate::kPanelFrameKey, {{QStringLiteral("x"), 40}, {QStringLiteral("y"), 50},
                                                                {QStringLiteral("width"), 500},
                                                                {QStringLiteral("height"), 389}});
        AppSettings settings(store);
        AppDelegate app(store, settings);
        app.applicationDidFinishLaunching();
        QCOMPARE(app.panel()->frame().topLeft(), QPointF(40, 50));
    }

    void frameOnAScreenThatIsGoneMovesToTheMainScreen()
    {
        PreferencesStore store(storePath());
        store.setDoubleDictionary(AppDelegate::kPanelFrameKey, {{QStringLiteral("x"), 5000}, {QStringLiteral("y"), 300},
                                                                {QStringLiteral("width"), 500},
                                                                {QStringLiteral("height"), 389}});
        AppSettings settings(store);
        AppDelegate app(store, settings);
        app.applicationDidFinishLaunching();
        // The fit and the on-screen check run on the next turn of the loop.
        QTRY_COMPARE_WITH_TIMEOUT(app.panel()->frame().right(), mainArea().right() - panel::cornerMargin, 10000);
        QCOMPARE(app.panel()->frame().top(), mainArea().top() + panel::cornerMargin);
    }

    void hideAndShowKeepOnePanel()
    {
        PreferencesStore store(storePath());
        AppSettings settings(store);
        AppDelegate app(store, settings);
        app.applicationDidFinishLaunching();
        DeckPanel* panel = app.panel();
        QAction* toggle = app.menu()->toggleAction();
        QCOMPARE(toggle->text(), QStringLiteral("Hide Deck"));
        QCOMPARE(toggle->shortcut(), QKeySequence(QStringLiteral("Ctrl+D")));
        QCOMPARE(app.menu()->quitAction()->text(), QStringLiteral("Quit Vexlor"));
        QCOMPARE(app.menu()->quitAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));

        toggle->trigger();
        QVERIFY(!panel->isVisible());
        QCOMPARE(toggle->text(), QStringLiteral("Show Deck"));
        toggle->trigger();
        QVERIFY(panel->isVisible());
        QCOMPARE(app.panel(), panel);
        QCOMPARE(toggle->text(), QStringLiteral("Hide Deck"));
    }

    void tuckAndUntuckMoveTheRealWindow()
    {
        PreferencesStore store(storePath());
        AppSettings settings(store);
        AppDelegate app(store, settings);
        app.applicationDidFinishLaunching();
        QTRY_VERIFY_WITH_TIMEOUT(app.panel()->frame().right() == mainArea().right() - panel::cornerMargin, 10000);
        const QRectF placed = app.panel()->frame();
        app.controller().tuck(); // top-right: to the right edge, over the animation
        QTRY_COMPARE_WITH_TIMEOUT(app.panel()->frame().x(), mainArea().right() - panel::sliver, 10000);
        QCOMPARE(app.panel()->frame().y(), placed.y());
        app.controller().untuck();
        QTRY_COMPARE_WITH_TIMEOUT(app.panel()->frame(), placed, 10000);
    }

    void gridChangesRefitThePanel()
    {
        PreferencesStore store(storePath());
        AppSettings settings(store);
        AppDelegate app(store, settings);
        app.applicationDidFinishLaunching();
        const QRectF before = app.panel()->frame();
        settings.setGridColumns(6);
        // Growing is immediate and keeps the top edge.
        QTRY_COMPARE_WITH_TIMEOUT(app.panel()->frame().width(), 724.0, 10000);
        QCOMPARE(app.panel()->frame().top(), before.top());
        settings.setGridColumns(2);
        settings.setShowInfoBar(false);
        QTRY_COMPARE_WITH_TIMEOUT(app.panel()->frame().size(), app.panel()->contentFittingSize().value(), 10000);
        QCOMPARE(app.panel()->frame().width(), 276.0);
    }
};

QTEST_MAIN(AppDelegateTest)
#include "app_delegate_test.moc"
