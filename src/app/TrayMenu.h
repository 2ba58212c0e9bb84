#pragma once
// The application's menu: "Hide Deck" / "Show Deck" following the panel's
// visibility, a separator and "Quit Vexlor". It lives in the system tray when
// the desktop has one (a left click on the icon shows or hides the deck, the
// icon carries an amber badge while an agent needs the user); otherwise the
// deck opens it on a right click.

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
    // Badges the icon while an agent needs the user.
    void setAttention(bool attention);
    [[nodiscard]] bool attention() const { return m_attention; }
    [[nodiscard]] QSystemTrayIcon* trayIcon() const { return m_tray; }

    [[nodiscard]] static QIcon icon(bool attention = false);

private:
    Actions m_actions;
    QMenu m_menu;
    QAction* m_toggle = nullptr;
    QAction* m_quit = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    bool m_attention = false;
};

} // namespace vexlor
