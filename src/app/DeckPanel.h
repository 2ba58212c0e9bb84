#pragma once
// The floating deck window: a frameless, always-on-top tool window that never
// takes focus, with a transparent background, shown on every virtual desktop
// and never closed, only hidden and shown. It hosts the QML deck view and is
// the PanelSurface the panel controller moves.

#include "PanelSurface.h"

#include <QQuickView>
#include <QVariantAnimation>
#include <functional>

namespace vexlor {

class DeckPanel : public QQuickView, public PanelSurface {
    Q_OBJECT

public:
    using FrameSaver = std::function<void(const QRectF&)>;

    DeckPanel(QQmlEngine* engine, QWindow* parent = nullptr);

    // Called (coalesced) after the panel moved or resized.
    void setFrameSaver(FrameSaver saver) { m_saveFrame = std::move(saver); }
    // Brings the panel up without taking focus.
    void present();

    [[nodiscard]] QRectF frame() const override;
    void setFrame(const QRectF& frame) override;
    void animateFrame(const QRectF& frame) override;
    [[nodiscard]] std::optional<QSizeF> contentFittingSize() const override;
    [[nodiscard]] std::optional<QRectF> visibleAreaOfScreenHolding(const QRectF& frame) const override;
    [[nodiscard]] std::optional<QRectF> mainScreenVisibleArea() const override;

    // Moving by the background: the panel follows the pointer itself while
    // the button is held (a window manager's move started from a motion
    // event may begin after the release and then never end), stays inside
    // the work area, and stops at the release. The view starts the drag once
    // the pointer moved a few points; it counts from the press.
    [[nodiscard]] bool dragging() const { return m_dragging; }

    void beginDrag();
    void endDrag();
    // While a card is open the panel takes the keyboard, so Escape reaches it.
    void followCardFocus(bool cardOpen);

signals:
    // The deck's own size changed (grid or info bar).
    void contentSizeChanged();
    // A move by the background ended with the button's release.
    void dragFinished();

protected:
    bool event(QEvent* event) override;

private:
    void dragToPointer(QPointF global);
    void connectRoot();
    void makeSticky();

    QVariantAnimation m_animation;
    QTimer* m_saveTimer = nullptr;
    FrameSaver m_saveFrame;
    bool m_dragging = false;
    QPoint m_pressPointer;
    QPoint m_pressOrigin;
};

} // namespace vexlor
