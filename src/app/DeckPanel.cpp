#include "DeckPanel.h"

#include "PanelGeometry.h"

#include <QMouseEvent>
#include <QGuiApplication>
#include <QQuickItem>
#include <QScreen>
#include <QTimer>
#include <cmath>
#include <cstring>

#ifdef VEXLOR_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace vexlor {

namespace {
QRect toWindowRect(const QRectF& r)
{
    return QRect(qRound(r.x()), qRound(r.y()), qRound(r.width()), qRound(r.height()));
}
} // namespace

DeckPanel::DeckPanel(QQmlEngine* engine, QWindow* parent)
    : QQuickView(engine, parent)
{
    setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
    setColor(Qt::transparent);
    setResizeMode(QQuickView::SizeRootObjectToView);
    setTitle(QStringLiteral("Vexlor"));

    QEasingCurve easing(QEasingCurve::BezierSpline);
    easing.addCubicBezierSegment(QPointF(0.2, 0.9), QPointF(0.3, 1.0), QPointF(1.0, 1.0));
    m_animation.setEasingCurve(easing);
    m_animation.setDuration(panel::animationMs);
    connect(&m_animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { setGeometry(toWindowRect(value.toRectF())); });

    // Saving follows every move and resize, once things settle, so that an
    // animation does not write the store on every frame.
    m_saveTimer = new QTimer(this);
    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(250);
    connect(m_saveTimer, &QTimer::timeout, this, [this] {
        if (m_saveFrame)
            m_saveFrame(frame());
    });
    for (auto signal : {&QWindow::xChanged, &QWindow::yChanged, &QWindow::widthChanged, &QWindow::heightChanged})
        connect(this, signal, m_saveTimer, qOverload<>(&QTimer::start));

    connect(this, &QQuickView::statusChanged, this, [this](QQuickView::Status status) {
        if (status == QQuickView::Ready)
            connectRoot();
    });
}

void DeckPanel::connectRoot()
{
    QQuickItem* root = rootObject();
    if (!root)
        return;
    connect(root, &QQuickItem::implicitWidthChanged, this, &DeckPanel::contentSizeChanged);
    connect(root, &QQuickItem::implicitHeightChanged, this, &DeckPanel::contentSizeChanged);
}

void DeckPanel::followCardFocus(bool open)
{
    // The deck never takes the keyboard from other programs, except while a
    // card is open, so that Escape can close it.
    if (open == !flags().testFlag(Qt::WindowDoesNotAcceptFocus))
        return;
    setFlag(Qt::WindowDoesNotAcceptFocus, !open);
    if (open && isVisible() && QGuiApplication::platformName() != QLatin1String("offscreen"))
        requestActivate();
}

void DeckPanel::beginDrag()
{
    // The drag counts from the press, so the few points moved before the
    // view recognised a drag are not lost.
    m_animation.stop();
    m_dragging = true;
}

void DeckPanel::dragToPointer(QPointF global)
{
    if (!m_dragging)
        return;
    const QPoint wanted = m_pressOrigin + (global.toPoint() - m_pressPointer);
    QRectF target{QPointF(wanted), QSizeF(size())};
    if (const auto area = visibleAreaOfScreenHolding(target))
        target = panel::keptOnScreen(target, *area);
    if (target.topLeft().toPoint() != position())
        setPosition(target.topLeft().toPoint());
}

void DeckPanel::endDrag()
{
    if (!m_dragging)
        return;
    m_dragging = false;
    emit dragFinished();
}

// The pointer's positions are taken from the events themselves (root
// coordinates from the X server), never from the window's own idea of where
// it is, which lags behind while it moves.
bool DeckPanel::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        m_pressPointer = mouse->globalPosition().toPoint();
        m_pressOrigin = position();
        return QQuickView::event(event);
    }
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPointF global = mouse->globalPosition();
        const bool held = mouse->buttons() & Qt::LeftButton;
        const bool handled = QQuickView::event(event); // may start the drag
        if (m_dragging && held)
            dragToPointer(global);
        return handled;
    }
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (m_dragging)
            dragToPointer(mouse->globalPosition());
        const bool handled = QQuickView::event(event);
        endDrag();
        return handled;
    }
    default:
        return QQuickView::event(event);
    }
}

void DeckPanel::present()
{
    if (!isVisible()) {
        show();
        makeSticky();
    }
    // Without a window system (offscreen) there is nothing to raise above.
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        raise();
}

QRectF DeckPanel::frame() const
{
    return QRectF(geometry());
}

void DeckPanel::setFrame(const QRectF& target)
{
    m_animation.stop();
    setGeometry(toWindowRect(target));
}

void DeckPanel::animateFrame(const QRectF& target)
{
    m_animation.stop();
    if (!isVisible()) {
        setGeometry(toWindowRect(target));
        return;
    }
    m_animation.setStartValue(frame());
    m_animation.setEndValue(target);
    m_animation.start();
}

std::optional<QSizeF> DeckPanel::contentFittingSize() const
{
    const QQuickItem* root = rootObject();
    if (!root)
        return std::nullopt;
    return QSizeF(std::ceil(root->implicitWidth()), std::ceil(root->implicitHeight()));
}

std::optional<QRectF> DeckPanel::visibleAreaOfScreenHolding(const QRectF& target) const
{
    QScreen* best = nullptr;
    double bestArea = 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRectF overlap = target.intersected(QRectF(screen->geometry()));
        const double area = overlap.width() * overlap.height();
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    if (!best)
        return std::nullopt;
    return QRectF(best->availableGeometry());
}

std::optional<QRectF> DeckPanel::mainScreenVisibleArea() const
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::nullopt;
    return QRectF(screen->availableGeometry());
}

void DeckPanel::makeSticky()
{
#ifdef VEXLOR_HAVE_XCB
    // On X11 a window shows on every desktop when it asks the window manager
    // for the sticky state and for desktop 0xFFFFFFFF (all desktops).
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    const auto atom = [connection](const char* name) {
        auto cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(strlen(name)), name);
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        return result;
    };
    const xcb_window_t window = static_cast<xcb_window_t>(winId());
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const auto send = [&](xcb_atom_t type, uint32_t d0, uint32_t d1) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = type;
        event.data.data32[0] = d0;
        event.data.data32[1] = d1;
        event.data.data32[2] = 0;
        event.data.data32[3] = 1; // source: an application
        xcb_send_event(connection, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
    };
    const uint32_t allDesktops = 0xFFFFFFFFu;
    const xcb_atom_t desktop = atom("_NET_WM_DESKTOP");
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, desktop, XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
    send(desktop, allDesktops, 0);
    send(atom("_NET_WM_STATE"), 1 /* add */, atom("_NET_WM_STATE_STICKY"));
    xcb_flush(connection);
#endif
}

} // namespace vexlor
