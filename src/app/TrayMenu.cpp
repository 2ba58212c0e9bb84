#include "TrayMenu.h"

#include <QGuiApplication>
#include <QCursor>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <algorithm>

namespace vexlor {

TrayMenu::TrayMenu(Actions actions, QObject* parent)
    : QObject(parent)
    , m_actions(std::move(actions))
{
    m_menu.setTitle(tr("Vexlor"));
    // No shortcuts: a tray menu's shortcuts reach nothing on Linux desktops.
    m_toggle = m_menu.addAction(tr("Hide Deck"));
    connect(m_toggle, &QAction::triggered, this, [this] {
        if (m_actions.togglePanel)
            m_actions.togglePanel();
        refresh();
    });
    m_menu.addSeparator();
    m_quit = m_menu.addAction(tr("Quit Vexlor"));
    connect(m_quit, &QAction::triggered, this, [this] {
        if (m_actions.quit)
            m_actions.quit();
    });
    connect(&m_menu, &QMenu::aboutToShow, this, &TrayMenu::refresh);

    // A platform without windows (screenshots, tests) has no tray to ask.
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal")) {
        m_tray = new QSystemTrayIcon(icon(), this);
        m_tray->setToolTip(tr("Vexlor"));
        m_tray->setContextMenu(&m_menu);
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            // Every left click toggles; a second one soon after the first
            // comes as a double click.
            const bool leftClick = reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick;
            if (leftClick && m_actions.togglePanel) {
                m_actions.togglePanel();
                refresh();
            }
        });
        m_tray->show();
    }
    refresh();
}

TrayMenu::~TrayMenu()
{
    // The icon refers to the menu, so it goes first.
    delete m_tray;
}

void TrayMenu::refresh()
{
    const bool visible = m_actions.panelVisible && m_actions.panelVisible();
    m_toggle->setText(visible ? tr("Hide Deck") : tr("Show Deck"));
}

void TrayMenu::setAttention(bool attention)
{
    if (attention == m_attention)
        return;
    m_attention = attention;
    if (m_tray) {
        m_tray->setIcon(icon(attention));
        m_tray->setToolTip(attention ? tr("Vexlor: an agent needs you") : tr("Vexlor"));
    }
}

void TrayMenu::popupWithoutTray()
{
    if (m_tray && QSystemTrayIcon::isSystemTrayAvailable())
        return;
    refresh();
    m_menu.popup(QCursor::pos());
}

QIcon TrayMenu::icon(bool attention)
{
    QSvgRenderer renderer(QStringLiteral(":/vexlor/vexlor.svg"));
    QIcon icon;
    for (const int side : {16, 22, 32, 48, 64}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        if (attention) {
            // An amber badge in the top-right corner, ringed in black so it
            // reads on light and dark panels alike.
            const double d = side * 0.5;
            painter.setPen(QPen(Qt::black, std::max(1.0, side / 16.0)));
            painter.setBrush(QColor::fromRgbF(1.0f, 0.72f, 0.10f));
            painter.drawEllipse(QRectF(side - d - 0.5, 0.5, d, d));
        }
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace vexlor
