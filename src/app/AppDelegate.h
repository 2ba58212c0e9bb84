#pragma once
// Start-up and the application's life: makes the deck model and the panel
// controller, then, when launching has finished, shows the floating panel and
// only after that starts collecting. Owns the menu and the panel.

#include "PanelController.h"

#include <QObject>
#include <QPointer>
#include <QQmlEngine>
#include <memory>

namespace vexlor {

class AppSettings;
class CollectorHub;
class DeckAssembly;
class FleetSource;
class DeckModel;
class DeckPanel;
class DeckViewState;
class DesktopNotifier;
class FleetFeed;
class PreferencesStore;
class TrayMenu;

class AppDelegate : public QObject {
    Q_OBJECT

public:
    inline static const QString kPanelFrameKey = QStringLiteral("DeckPanel");

    AppDelegate(PreferencesStore& store, AppSettings& settings, QObject* parent = nullptr);
    // Joins a fleet through `fleet` (null: none).
    AppDelegate(PreferencesStore& store, AppSettings& settings, std::unique_ptr<FleetSource> fleet,
                QObject* parent = nullptr);
    ~AppDelegate() override;

    // Shows the panel, then starts the hub.
    void start();
    void showPanel();
    void togglePanel();
    void keepPanelOnScreen();

    [[nodiscard]] DeckPanel* panel() const { return m_panel.get(); }
    [[nodiscard]] PanelController& controller() { return m_controller; }
    [[nodiscard]] DeckModel& model();
    [[nodiscard]] DeckViewState& deckState() { return *m_state; }
    [[nodiscard]] TrayMenu* menu() const { return m_menu.get(); }
    [[nodiscard]] CollectorHub& hub();
    [[nodiscard]] DesktopNotifier* notifier() const { return m_notifier.get(); }
    // Shows the deck with the session sheet of `agentID` open.
    void showSessions(const QString& agentID);
    [[nodiscard]] bool panelVisible() const;

signals:
    // After the hub applied one pass to the model.
    void passCompleted();
    void panelVisibilityChanged(bool visible);

private:
    void makePanel();
    void holdModelTimers();

    PreferencesStore& m_store;
    AppSettings& m_settings;
    std::unique_ptr<DeckAssembly> m_parts;
    DeckModel& m_model;
    PanelController m_controller;
    QQmlEngine m_engine;
    std::unique_ptr<DeckViewState> m_state;
    std::unique_ptr<DeckPanel> m_panel;
    std::unique_ptr<TrayMenu> m_menu;
    std::unique_ptr<DesktopNotifier> m_notifier;
    // The other hosts on this deck, when the program joined a fleet.
    std::unique_ptr<FleetFeed> m_fleetFeed;
};

} // namespace vexlor
