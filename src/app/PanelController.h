#pragma once
// Owns the deck panel's geometry once the panel exists: fits it to the deck's
// size (growing at once, shrinking after a 0.5 s pause), keeps it on its
// screen's work area, and tucks it to the nearer side edge so only
// a sliver stays visible, or brings it back.

#include "PanelSurface.h"

#include <QObject>
#include <QRectF>
#include <QTimer>
#include <optional>

namespace vexlor {

class PanelController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isTucked READ isTucked NOTIFY isTuckedChanged)
    Q_PROPERTY(bool hasPanel READ hasPanel NOTIFY panelChanged)

public:
    explicit PanelController(QObject* parent = nullptr);

    // The surface must outlive the controller or be detached with nullptr.
    void attach(PanelSurface* panel);

    [[nodiscard]] bool hasPanel() const { return m_panel != nullptr; }
    [[nodiscard]] bool isTucked() const { return m_tucked; }
    [[nodiscard]] std::optional<QRectF> restoreFrame() const { return m_restoreFrame; }
    [[nodiscard]] double sliver() const;
    [[nodiscard]] bool hasPendingResize() const { return m_pendingResize.isActive(); }

    Q_INVOKABLE void toggleTuck();
    Q_INVOKABLE void tuck();
    Q_INVOKABLE void untuck();
    // The deck's size changed: grow at once if needed, fit exactly later.
    Q_INVOKABLE void contentSizeChanged();
    Q_INVOKABLE void fitToContent();
    void keepOnScreen();

signals:
    void isTuckedChanged();
    void restoreFrameChanged();
    void panelChanged();

private:
    [[nodiscard]] std::optional<QRectF> referenceArea() const;
    void setTucked(bool tucked);

    PanelSurface* m_panel = nullptr;
    bool m_tucked = false;
    std::optional<QRectF> m_restoreFrame;
    QTimer m_pendingResize;
};

// Start-up placement: the saved frame when there is one, otherwise the
// top-right corner of the main screen's visible area.
[[nodiscard]] QRectF firstPanelFrame(const PanelSurface& panel, const QSizeF& size, std::optional<QRectF> saved);
// Where the panel must go when its frame is not entirely on the screen that
// holds it (or on the main screen when it is on none): the top-right corner of
// the main screen, same size. None when it may stay.
[[nodiscard]] std::optional<QRectF> startupOnScreenFrame(const PanelSurface& panel);

} // namespace vexlor
