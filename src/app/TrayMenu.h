#pragma once
// The application's menu: "Hide Deck" / "Show Deck" following the panel's
// visibility (Ctrl+D), a separator and "Quit Vexlor" (Ctrl+Q). It lives in
// the system tray when the desktop has one; otherwise the deck opens it on a
// right click.

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>

namespace vexlor {

class TrayMenu : public QObject {
    Q_OBJECT

public:
    struct Actions {
        std::function<bool()> panelVisible;
        std::function<void()> togglePanel;
        std::function<void()> quit;
    };

    explicit TrayMenu(Actions actions, QObject* parent = nullptr);
    ~TrayMenu() override;

    [[nodiscard]] QMenu* menu() { return &m_menu; }
    [[nodiscard]] QAction* toggleAction() const { return m_toggle; }
    [[nodiscard]] QAction* quitAction() const { return m_quit; }
    // Re-reads the panel's visibility into the toggle item's title.
    void refresh();
    // Opens the menu at the pointer when no tray can show it.
    void popupWithoutTray();

    [[nodiscard]] static QIcon icon();

private:
    Actions m_actions;
    QMenu m_menu;
    QAction* m_toggle = nullptr;
    QAction* m_quit = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
};

} // namespace vexlor
