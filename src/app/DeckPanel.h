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

signals:
    // The deck's own size changed (grid or info bar).
    void contentSizeChanged();
    void contextMenuRequested();

private:
    void connectRoot();
    void makeSticky();

    QVariantAnimation m_animation;
    QTimer* m_saveTimer = nullptr;
    FrameSaver m_saveFrame;
};

} // namespace vexlor
