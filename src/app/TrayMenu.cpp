#include "TrayMenu.h"

#include "SymbolImageProvider.h"

#include <QCursor>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace vexlor {

TrayMenu::TrayMenu(Actions actions, QObject* parent)
    : QObject(parent)
    , m_actions(std::move(actions))
{
    m_menu.setTitle(tr("Vexlor"));
    m_toggle = m_menu.addAction(tr("Hide Deck"));
    m_toggle->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    m_toggle->setShortcutContext(Qt::ApplicationShortcut);
    connect(m_toggle, &QAction::triggered, this, [this] {
        if (m_actions.togglePanel)
            m_actions.togglePanel();
        refresh();
    });
    m_menu.addSeparator();
    m_quit = m_menu.addAction(tr("Quit Vexlor"));
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quit->setShortcutContext(Qt::ApplicationShortcut);
    connect(m_quit, &QAction::triggered, this, [this] {
        if (m_actions.quit)
            m_actions.quit();
    });
    connect(&m_menu, &QMenu::aboutToShow, this, &TrayMenu::refresh);

    m_tray = new QSystemTrayIcon(icon(), this);
    m_tray->setToolTip(tr("Vexlor"));
    m_tray->setContextMenu(&m_menu);
    m_tray->show();
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

void TrayMenu::popupWithoutTray()
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        return;
    refresh();
    m_menu.popup(QCursor::pos());
}

QIcon TrayMenu::icon()
{
    QByteArray source = SymbolImageProvider::symbolSource(QStringLiteral("rectangle.grid.2x2.fill"));
    source.replace("currentColor", "#9aa3b5");
    QSvgRenderer renderer(source);
    QIcon icon;
    for (const int side : {16, 22, 32, 48, 64}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace vexlor
