#include "AppDelegate.h"

#include "DeckAssembly.h"
#include "sync/FleetSource.h"
#include "DeckPanel.h"
#include "DeckViewState.h"
#include "DesktopNotifier.h"
#include "FleetFeed.h"
#include "PanelGeometry.h"
#include "SymbolImageProvider.h"
#include "TrayMenu.h"
#include "hub/CollectorHub.h"
#include "deck/AppSettings.h"
#include "deck/DeckModel.h"
#include "deck/PreferencesStore.h"

#include <QCoreApplication>
#include <QQuickItem>
#include <QTimer>

namespace vexlor {

namespace {
std::optional<QRectF> savedFrame(const PreferencesStore& store)
{
    const auto saved = store.dictionary(AppDelegate::kPanelFrameKey);
    if (!saved)
        return std::nullopt;
    const QRectF frame(saved->value(QStringLiteral("x")).toDouble(), saved->value(QStringLiteral("y")).toDouble(),
                       saved->value(QStringLiteral("width")).toDouble(),
                       saved->value(QStringLiteral("height")).toDouble());
    if (!(frame.width() > 0) || !(frame.height() > 0))
        return std::nullopt;
    return frame;
}
} // namespace

AppDelegate::AppDelegate(PreferencesStore& store, AppSettings& settings, QObject* parent)
    : AppDelegate(store, settings, nullptr, parent)
{
}

namespace {
DeckAssembly::Options withFleet(std::unique_ptr<FleetSource> fleet)
{
    DeckAssembly::Options options;
    options.fleet = std::move(fleet);
    return options;
}
} // namespace

AppDelegate::AppDelegate(PreferencesStore& store, AppSettings& settings, std::unique_ptr<FleetSource> fleet,
                         QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_settings(settings)
    , m_parts(std::make_unique<DeckAssembly>(store, settings, withFleet(std::move(fleet))))
    , m_model(m_parts->model())
{
    m_engine.addImportPath(QStringLiteral("qrc:/"));
    m_engine.addImageProvider(QStringLiteral("symbol"), new SymbolImageProvider);
    // The settings card's quit row ends the program at once (Qt.quit()).
    connect(&m_engine, &QQmlEngine::quit, QCoreApplication::instance(), &QCoreApplication::quit,
            Qt::QueuedConnection);
    if (FleetSource* fleet = m_parts->fleet())
        m_fleetFeed = std::make_unique<FleetFeed>(*fleet, m_model);
    m_state = std::make_unique<DeckViewState>(&m_model, &m_settings);
    // The clock and the pages run once the deck has first been shown.
    connect(m_state.get(), &DeckViewState::showChanged, &m_model, &DeckModel::startTimers);
    // The launch-at-login switch shows whether the autostart entry is there now.
    connect(m_state.get(), &DeckViewState::showSettingsChanged, this, [this] {
        if (m_state->showSettings())
            m_settings.refreshLaunchAtLogin();
    });
}

AppDelegate::~AppDelegate()
{
    // The panel goes first, while the menu and state it reports to still exist.
    m_controller.attach(nullptr);
    if (m_panel)
        m_panel->disconnect(this);
    m_panel.reset();
}

void AppDelegate::start()
{
    m_menu = std::make_unique<TrayMenu>(TrayMenu::Actions{
        [this] { return panelVisible(); },
        [this] { togglePanel(); },
        [] { QCoreApplication::quit(); },
    });
    const auto followAttention = [this] {
        if (m_menu)
            m_menu->setAttention(m_model.needsYouCount() > 0);
    };
    connect(&m_model, &DeckModel::agentsChanged, this, followAttention);
    followAttention();
    showPanel();
    connect(&hub(), &CollectorHub::passApplied, this, &AppDelegate::passCompleted, Qt::UniqueConnection);
    if (!m_notifier) {
        m_notifier = std::make_unique<DesktopNotifier>();
        connect(m_notifier.get(), &DesktopNotifier::showRequested, this, &AppDelegate::showSessions);
        connect(&hub(), &CollectorHub::passApplied, this,
                [this] { m_notifier->follow(m_model.agents(), m_settings.notifyNeedsYou()); });
    }
    hub().start();
}

bool AppDelegate::panelVisible() const
{
    return m_panel && m_panel->isVisible();
}

void AppDelegate::showPanel()
{
    if (!m_panel)
        makePanel();
    m_panel->present();
    QTimer::singleShot(0, this, [this] {
        m_controller.fitToContent();
        keepPanelOnScreen();
    });
}

void AppDelegate::showSessions(const QString& agentID)
{
    showPanel();
    if (m_controller.isTucked())
        m_controller.untuck();
    m_state->setSheetAgentID(agentID);
}

void AppDelegate::togglePanel()
{
    if (panelVisible())
        m_panel->hide();
    else
        showPanel();
}

void AppDelegate::makePanel()
{
    m_panel = std::make_unique<DeckPanel>(&m_engine);
    // The view's requests, connected before it loads so none is missed.
    DeckPanel* panel = m_panel.get();
    connect(m_state.get(), &DeckViewState::dragStarted, panel, &DeckPanel::beginDrag);
    connect(m_state.get(), &DeckViewState::dragEnded, panel, &DeckPanel::endDrag);
    connect(m_state.get(), &DeckViewState::cardOpenChanged, panel,
            [this, panel] { panel->followCardFocus(m_state->cardOpen()); });
    connect(m_state.get(), &DeckViewState::contextMenuRequested, this, [this] {
        if (m_menu)
            m_menu->popupWithoutTray();
    });
    connect(m_state.get(), &DeckViewState::tuckToggleRequested, &m_controller, &PanelController::toggleTuck);
    connect(m_state.get(), &DeckViewState::untuckRequested, &m_controller, &PanelController::untuck);
    m_state->setTucked(m_controller.isTucked());
    connect(&m_controller, &PanelController::isTuckedChanged, m_state.get(),
            [this] { m_state->setTucked(m_controller.isTucked()); });
    m_panel->setInitialProperties({
        {QStringLiteral("deckState"), QVariant::fromValue<QObject*>(m_state.get())},
        {QStringLiteral("settings"), QVariant::fromValue<QObject*>(&m_settings)},
        {QStringLiteral("model"), QVariant::fromValue<QObject*>(&m_model)},
    });
    m_panel->setSource(QUrl(QStringLiteral("qrc:/Vexlor/qml/DeckView.qml")));

    const QSizeF fitting = m_panel->contentFittingSize().value_or(QSizeF(500, 380));
    m_panel->setFrame(firstPanelFrame(*m_panel, fitting, savedFrame(m_store)));
    m_panel->setFrameSaver([this](const QRectF& current) {
        // A tucked deck is saved where it will come back to, so that a quit
        // while tucked starts the next run in the same place.
        const QRectF frame = m_controller.isTucked() && m_controller.restoreFrame() ? *m_controller.restoreFrame()
                                                                                      : current;
        m_store.setDoubleDictionary(kPanelFrameKey, {{QStringLiteral("x"), frame.x()},
                                                     {QStringLiteral("y"), frame.y()},
                                                     {QStringLiteral("width"), frame.width()},
                                                     {QStringLiteral("height"), frame.height()}});
    });
    connect(m_panel.get(), &DeckPanel::contentSizeChanged, &m_controller, &PanelController::contentSizeChanged);
    connect(m_panel.get(), &DeckPanel::dragFinished, &m_controller, &PanelController::keepOnScreen);
    connect(m_panel.get(), &QWindow::visibleChanged, this, [this](bool visible) {
        if (m_menu)
            m_menu->refresh();
        holdModelTimers();
        emit panelVisibilityChanged(visible);
    });
    connect(&m_controller, &PanelController::isTuckedChanged, this, &AppDelegate::holdModelTimers);
    m_controller.attach(m_panel.get());
}

// Nobody reads a hidden deck, and a tucked one shows only its edge: the
// clock stops while hidden, the pages stop turning while hidden or tucked.
void AppDelegate::holdModelTimers()
{
    const bool hidden = !panelVisible();
    m_model.holdTimers(hidden, hidden || m_controller.isTucked());
}

void AppDelegate::keepPanelOnScreen()
{
    if (!m_panel)
        return;
    if (const auto target = startupOnScreenFrame(*m_panel))
        m_panel->setFrame(*target);
}

DeckModel& AppDelegate::model()
{
    return m_model;
}

CollectorHub& AppDelegate::hub()
{
    return m_parts->hub();
}

} // namespace vexlor
