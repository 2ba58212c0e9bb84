// The panel controller's arithmetic on a fake window and screen (Qt's
// downward y): tuck targets, untuck clamps, fitting that keeps the top edge,
// keeping on screen, the debounced shrink, and start-up placement.

#include "PanelController.h"
#include "PanelGeometry.h"

#include <QSignalSpy>
#include <QTest>

using namespace vexlor;

namespace {

struct FakePanel : PanelSurface {
    QRectF current;
    std::optional<QSizeF> fitting;
    QList<QRectF> screens{QRectF(0, 0, 1440, 900)}; // available areas; first is main
    QList<QRectF> animatedTo;
    QList<QRectF> setTo;

    QRectF frame() const override { return current; }
    void setFrame(const QRectF& f) override
    {
        setTo.append(f);
        current = f;
    }
    void animateFrame(const QRectF& f) override
    {
        animatedTo.append(f);
        current = f;
    }
    mutable int measured = 0;
    std::optional<QSizeF> contentFittingSize() const override
    {
        ++measured;
        return fitting;
    }
    std::optional<QRectF> visibleAreaOfScreenHolding(const QRectF& f) const override
    {
        std::optional<QRectF> best;
        double bestArea = 0;
        for (const auto& s : screens) {
            const QRectF o = f.intersected(s);
            if (o.width() * o.height() > bestArea) {
                bestArea = o.width() * o.height();
                best = s;
            }
        }
        return best;
    }
    std::optional<QRectF> mainScreenVisibleArea() const override
    {
        return screens.isEmpty() ? std::nullopt : std::optional(screens.first());
    }
};

} // namespace

class PanelControllerTest : public QObject {
    Q_OBJECT

private slots:
    void tuckGoesToTheNearerEdge_data()
    {
        QTest::addColumn<QRectF>("frame");
        QTest::addColumn<double>("expectedX");
        // 1440 wide: centre 720.
        QTest::newRow("left half, 300 wide") << QRectF(100, 200, 300, 200) << -234.0;
        QTest::newRow("right half") << QRectF(1000, 200, 300, 200) << 1440.0 - 66;
        QTest::newRow("centre exactly on the screen's centre goes right") << QRectF(570, 50, 300, 200) << 1374.0;
    }
    void tuckGoesToTheNearerEdge()
    {
        QFETCH(QRectF, frame);
        QFETCH(double, expectedX);
        FakePanel panel;
        panel.current = frame;
        PanelController controller;
        controller.attach(&panel);
        QSignalSpy tucked(&controller, &PanelController::isTuckedChanged);
        controller.tuck();
        QVERIFY(controller.isTucked());
        QCOMPARE(tucked.count(), 1);
        QCOMPARE(controller.restoreFrame(), std::optional<QRectF>(frame));
        QCOMPARE(panel.animatedTo.size(), 1);
        QCOMPARE(panel.animatedTo.first(), QRectF(expectedX, frame.y(), frame.width(), frame.height()));
    }

    void tuckOnAnAreaThatDoesNotStartAtZero()
    {
        FakePanel panel;
        panel.screens = {QRectF(0, 0, 1440, 900), QRectF(1440, 24, 1920, 1056)};
        panel.current = QRectF(1500, 100, 400, 300);
        PanelController controller;
        controller.attach(&panel);
        controller.tuck();
        QCOMPARE(panel.current.x(), 1440 - 400 + 66.0);
    }

    void untuckRestoresTheSavedFrame()
    {
        FakePanel panel;
        panel.current = QRectF(100, 200, 300, 200);
        PanelController controller;
        controller.attach(&panel);
        controller.tuck();
        controller.untuck();
        QVERIFY(!controller.isTucked());
        QCOMPARE(panel.current, QRectF(100, 200, 300, 200));
        QVERIFY(controller.restoreFrame()); // kept, not cleared
        controller.toggleTuck();
        QVERIFY(controller.isTucked());
        controller.toggleTuck();
        QVERIFY(!controller.isTucked());
    }

    void untuckClampsToTheChangedScreen()
    {
        FakePanel panel;
        panel.current = QRectF(1000, 200, 300, 200);
        PanelController controller;
        controller.attach(&panel);
        controller.tuck();
        // The visible area shrank: the saved frame would end 200 beyond it.
        panel.screens = {QRectF(0, 0, 1100, 900)};
        controller.untuck();
        QCOMPARE(panel.current, QRectF(1100 - 300 + 36, 200, 300, 200));
    }

    void untuckWithoutSavedFrameUsesTheCurrentOne()
    {
        FakePanel panel;
        panel.current = QRectF(-200, 100, 300, 200);
        PanelController controller;
        controller.attach(&panel);
        controller.untuck();
        QCOMPARE(panel.current.x(), -36.0);
    }

    void fitKeepsTheTopEdgeAndStaysOnScreen()
    {
        FakePanel panel;
        panel.current = QRectF(900, 100, 500, 389);
        panel.fitting = QSizeF(500, 501); // a row more
        PanelController controller;
        controller.attach(&panel);
        controller.fitToContent();
        QCOMPARE(panel.setTo, QList<QRectF>{QRectF(900, 100, 500, 501)});
        QVERIFY(panel.animatedTo.isEmpty()); // still on screen

        // A wider deck would reach beyond the right edge plus the overhang.
        panel.fitting = QSizeF(724, 501);
        controller.fitToContent();
        QCOMPARE(panel.setTo.last(), QRectF(900, 100, 724, 501));
        QCOMPARE(panel.animatedTo.last(), QRectF(1440 - 724 + 36, 100, 724, 501));
    }

    void fitIgnoresAnUnmeasuredDeck()
    {
        FakePanel panel;
        panel.current = QRectF(10, 10, 500, 389);
        PanelController controller;
        controller.attach(&panel);
        controller.fitToContent(); // no content yet
        panel.fitting = QSizeF(0, 0);
        controller.fitToContent();
        panel.fitting = QSizeF(500, 0);
        controller.fitToContent();
        QVERIFY(panel.setTo.isEmpty());
        QVERIFY(panel.animatedTo.isEmpty());
    }

    void keepOnScreenClampsBothAxesWithTheOverhang()
    {
        const QRectF area(0, 30, 1440, 870); // a top bar of 30
        const QRectF size(0, 0, 500, 400);
        QCOMPARE(panel::keptOnScreen(size.translated(-100, 0), area).topLeft(), QPointF(-36, 0));
        QCOMPARE(panel::keptOnScreen(size.translated(1000, 0), area).topLeft(), QPointF(976, 0));
        QCOMPARE(panel::keptOnScreen(size.translated(10, -50), area).topLeft(), QPointF(10, -6));
        QCOMPARE(panel::keptOnScreen(size.translated(10, 600), area).topLeft(), QPointF(10, 536));
        // Taller than the area and both overhangs: the top edge stays reachable.
        QCOMPARE(panel::keptOnScreen(QRectF(10, 500, 500, 1000), area).topLeft(), QPointF(10, -6));
        // Wider than everything: the right-hand bound wins, as x clamps left first.
        QCOMPARE(panel::keptOnScreen(QRectF(0, 100, 1600, 200), area).x(), 1440 - 1600 + 36.0);
    }

    void growingIsImmediateShrinkingWaits()
    {
        FakePanel panel;
        panel.current = QRectF(900, 100, 500, 389);
        PanelController controller;
        controller.attach(&panel);

        panel.fitting = QSizeF(500, 501);
        controller.contentSizeChanged();
        QCOMPARE(panel.current, QRectF(900, 100, 500, 501)); // at once
        QVERIFY(controller.hasPendingResize());

        panel.fitting = QSizeF(500, 277);
        controller.contentSizeChanged();
        QCOMPARE(panel.current.height(), 501.0); // not yet
        QVERIFY(controller.hasPendingResize());
        QTRY_COMPARE_WITH_TIMEOUT(panel.current, QRectF(900, 100, 500, 277), 10000);
        QVERIFY(!controller.hasPendingResize());
    }

    void aNewChangeRestartsTheDelay()
    {
        FakePanel panel;
        panel.current = QRectF(900, 100, 500, 389);
        panel.fitting = QSizeF(500, 277);
        PanelController controller;
        controller.attach(&panel);
        controller.contentSizeChanged();
        controller.contentSizeChanged(); // replaces the fit scheduled first
        QCOMPARE(panel.measured, 2);     // the two grow checks
        QTRY_COMPARE_WITH_TIMEOUT(panel.current.height(), 277.0, 10000);
        QTest::qWait(700);
        QCOMPARE(panel.measured, 3); // one delayed fit, not two
        QCOMPARE(panel.setTo.size(), 1);
    }

    void whileTuckedNothingMovesUntilUntucked()
    {
        FakePanel panel;
        panel.current = QRectF(900, 100, 500, 389);
        PanelController controller;
        controller.attach(&panel);
        controller.tuck();
        const QRectF tucked = panel.current;
        panel.fitting = QSizeF(656 + 68, 600);
        controller.contentSizeChanged();
        controller.fitToContent();
        controller.keepOnScreen();
        QCOMPARE(panel.current, tucked);
        QVERIFY(panel.setTo.isEmpty());

        controller.untuck();
        controller.contentSizeChanged();
        QCOMPARE(panel.current.size(), QSizeF(724, 600));
    }

    void withoutPanelNothingHappens()
    {
        PanelController controller;
        controller.tuck();
        controller.untuck();
        controller.fitToContent();
        controller.contentSizeChanged(); // still schedules
        QVERIFY(!controller.isTucked());
        QVERIFY(controller.hasPendingResize());
        QVERIFY(!controller.restoreFrame());
    }

    void attachingTheSamePanelAgainChangesNothing()
    {
        FakePanel panel;
        PanelController controller;
        QSignalSpy changed(&controller, &PanelController::panelChanged);
        controller.attach(&panel);
        controller.attach(&panel);
        QCOMPARE(changed.count(), 1);
    }

    void firstPlacementIsTopRightWithMargins()
    {
        FakePanel panel;
        panel.screens = {QRectF(0, 27, 1280, 773)};
        QCOMPARE(firstPanelFrame(panel, QSizeF(500, 389), std::nullopt), QRectF(1280 - 500 - 8, 35, 500, 389));
        const QRectF saved(40, 60, 500, 389);
        QCOMPARE(firstPanelFrame(panel, QSizeF(500, 389), saved), saved);
    }

    void savedFrameOnAScreenThatIsGoneMovesToTheMainScreen()
    {
        FakePanel panel;
        panel.screens = {QRectF(0, 0, 1280, 800)};
        panel.current = QRectF(2000, 100, 500, 389); // was on a second screen
        QCOMPARE(startupOnScreenFrame(panel), std::optional<QRectF>(QRectF(772, 8, 500, 389)));
        // Partly off its screen counts as off as well.
        panel.current = QRectF(1000, 100, 500, 389);
        QVERIFY(startupOnScreenFrame(panel));
        panel.current = QRectF(700, 100, 500, 389);
        QVERIFY(!startupOnScreenFrame(panel));
        // On a second screen that is still there, it stays.
        panel.screens.append(QRectF(1280, 0, 1920, 1080));
        panel.current = QRectF(2000, 100, 500, 389);
        QVERIFY(!startupOnScreenFrame(panel));
    }
};

QTEST_GUILESS_MAIN(PanelControllerTest)
#include "panel_controller_test.moc"
