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

namespace {

// The application as main() builds it, over a preferences file written
// beforehand with an optional saved frame and the launch tips setting.
struct Launch {
    PreferencesStore store;
    AppSettings settings{store};
    AppDelegate app{store, settings};

    explicit Launch(const QString& path, std::optional<QRectF> savedFrame = std::nullopt, bool tips = true)
        : store(prepared(path, savedFrame, tips))
    {
        app.start();
    }

    static QString prepared(const QString& path, std::optional<QRectF> frame, bool tips)
    {
        PreferencesStore before(path);
        if (frame)
            before.setDoubleDictionary(AppDelegate::kPanelFrameKey,
                                       {{QStringLiteral("x"), frame->x()}, {QStringLiteral("y"), frame->y()},
                                        {QStringLiteral("width"), frame->width()},
                                        {QStringLiteral("height"), frame->height()}});
        if (!tips)
            before.setBool(AppSettings::kShowTipsOnLaunchKey, false);
        return path;
    }
};

} // namespace

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
        Launch l(storePath(), std::nullopt, false);
        QVERIFY(l.app.panel());
        QVERIFY(l.app.panel()->isVisible());
        const QRectF frame = l.app.panel()->frame();
        QCOMPARE(frame.size(), QSizeF(500, l.app.panel()->contentFittingSize()->height()));
        QCOMPARE(frame.right(), mainArea().right() - panel::cornerMargin);
        QCOMPARE(frame.top(), mainArea().top() + panel::cornerMargin);
        // The frame is saved under "DeckPanel" once it settles.
        QTRY_VERIFY_WITH_TIMEOUT(l.store.dictionary(AppDelegate::kPanelFrameKey).has_value(), 10000);
        const auto saved = *l.store.dictionary(AppDelegate::kPanelFrameKey);
        QCOMPARE(saved.value(QStringLiteral("x")).toDouble(), frame.x());
        QCOMPARE(saved.value(QStringLiteral("width")).toDouble(), 500.0);
    }

    void savedFrameIsRestoredUnlessItsScreenIsGone()
    {
        {
            Launch restored(storePath(), QRectF(40, 50, 500, 389));
            QCOMPARE(restored.app.panel()->frame().topLeft(), QPointF(40, 50));
        }
        QFile::remove(storePath());
        Launch gone(storePath(), QRectF(5000, 300, 500, 389));
        // The fit and the on-screen check run on the next turn of the loop.
        QTRY_COMPARE_WITH_TIMEOUT(gone.app.panel()->frame().right(), mainArea().right() - panel::cornerMargin, 10000);
        QCOMPARE(gone.app.panel()->frame().top(), mainArea().top() + panel::cornerMargin);
    }

    void hideAndShowKeepOnePanel()
    {
        Launch l(storePath());
        DeckPanel* panel = l.app.panel();
        QAction* toggle = l.app.menu()->toggleAction();
        QCOMPARE(toggle->text(), QStringLiteral("Hide Deck"));
        // No shortcut is shown that the desktop would not deliver.
        QVERIFY(toggle->shortcut().isEmpty() && l.app.menu()->quitAction()->shortcut().isEmpty());

        toggle->trigger();
        QVERIFY(!panel->isVisible());
        QCOMPARE(toggle->text(), QStringLiteral("Show Deck"));
        toggle->trigger();
        QVERIFY(panel->isVisible());
        QCOMPARE(l.app.panel(), panel);
        QCOMPARE(toggle->text(), QStringLiteral("Hide Deck"));
    }

    void tuckAndUntuckMoveTheRealWindow()
    {
        Launch l(storePath());
        QTRY_VERIFY_WITH_TIMEOUT(l.app.panel()->frame().right() == mainArea().right() - panel::cornerMargin, 10000);
        const QRectF placed = l.app.panel()->frame();
        l.app.controller().tuck(); // top-right: to the right edge, over the animation
        QTRY_COMPARE_WITH_TIMEOUT(l.app.panel()->frame().x(), mainArea().right() - panel::sliver, 10000);
        QCOMPARE(l.app.panel()->frame().y(), placed.y());
        l.app.controller().untuck();
        QTRY_COMPARE_WITH_TIMEOUT(l.app.panel()->frame(), placed, 10000);
    }

    void gridChangesRefitThePanel()
    {
        // Without the launch tips: an open card would widen a narrow deck.
        Launch l(storePath(), std::nullopt, false);
        const QRectF before = l.app.panel()->frame();
        l.settings.setGridColumns(6);
        // Growing is immediate and keeps the top edge.
        QTRY_COMPARE_WITH_TIMEOUT(l.app.panel()->frame().width(), 724.0, 10000);
        QCOMPARE(l.app.panel()->frame().top(), before.top());
        l.settings.setGridColumns(2);
        l.settings.setShowInfoBar(false);
        QTRY_COMPARE_WITH_TIMEOUT(l.app.panel()->frame().size(), l.app.panel()->contentFittingSize().value(), 10000);
        QCOMPARE(l.app.panel()->frame().width(), 276.0);
    }
};

QTEST_MAIN(AppDelegateTest)
#include "app_delegate_test.moc"
