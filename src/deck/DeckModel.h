#pragma once
// The observable state the deck draws: the agents and usage tiles of the last
// hub pass, the clock, the information page on show and the key layout.
//
// Writers: the hub calls update() after every pass and installs
// setOnAcknowledge(); in a fleet, setFleet() brings the other hosts, whose
// agents then merge into the ones shown (see FleetView.h); the interface
// calls startTimers() once, moves pages, acknowledges agents and assigns
// keys. Every stored field notifies on change only (an update with equal
// content emits nothing). Main thread only.
//
// QML sees the records as gadgets (Agent, ProviderUsage, InfoPage,
// AgentSession, Rgba) inside QVariant / QVariantList; a missing value
// (lookup miss, no current page, no start time) is `undefined`.

#include "Agent.h"
#include "AgentListModel.h"
#include "FleetView.h"
#include "InfoPage.h"
#include "KeyAssignment.h"
#include "PreferencesStore.h"
#include "ProviderUsage.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace vexlor {

// What one key draws for its assignment, found in the model's records.
struct KeyFace {
    Q_GADGET
    // "agent", "usage", "allAgents", "clock", "info", or empty for nothing.
    Q_PROPERTY(QString kind MEMBER kind)
    Q_PROPERTY(QVariant agent MEMBER agent)
    Q_PROPERTY(QVariant usage MEMBER usage)
    Q_PROPERTY(bool showRemaining MEMBER showRemaining)

public:
    QString kind;
    QVariant agent; // Agent, for "agent"
    QVariant usage; // ProviderUsage, for "usage"
    bool showRemaining = false;
    bool operator==(const KeyFace&) const = default;
};

class DeckModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariantList agents READ agentList NOTIFY agentsChanged)
    // The same agents as a list model, for views that draw one row per agent.
    Q_PROPERTY(vexlor::AgentListModel* agentModel READ agentModel CONSTANT)
    // Seconds since 1970; advanced every second once the timers run.
    Q_PROPERTY(double now READ nowSeconds NOTIFY nowChanged)
    Q_PROPERTY(int infoPageIndex READ infoPageIndex WRITE setInfoPageIndex NOTIFY infoPageIndexChanged)
    Q_PROPERTY(QVariantList infoPages READ infoPageList NOTIFY infoPagesChanged)
    Q_PROPERTY(int infoPageCount READ infoPageCount NOTIFY infoPagesChanged)
    Q_PROPERTY(QVariant currentInfoPage READ currentInfoPageValue NOTIFY currentInfoPageChanged)
    Q_PROPERTY(int workingCount READ workingCount NOTIFY agentsChanged)
    Q_PROPERTY(int needsYouCount READ needsYouCount NOTIFY agentsChanged)
    // Stored values of the key layout, slot 0 first (may be shorter or longer
    // than the grid; read keys through assignmentAt()).
    Q_PROPERTY(QStringList keyAssignments READ keyAssignmentNames NOTIFY keyAssignmentsChanged)
    // With a fleet: the hosts on the deck (this one included, 1 without a
    // fleet), how many are online and how many of those need the user.
    Q_PROPERTY(bool fleetJoined READ fleetJoined NOTIFY fleetChanged)
    Q_PROPERTY(int hostCount READ hostCount NOTIFY fleetChanged)
    Q_PROPERTY(int fleetOnlineCount READ fleetOnlineCount NOTIFY fleetChanged)
    Q_PROPERTY(int fleetNeedsYouCount READ fleetNeedsYouCount NOTIFY fleetChanged)
    // While true (the pointer rests on the information bar) the page timer
    // does not move the page.
    Q_PROPERTY(bool pageRotationHeld READ pageRotationHeld WRITE setPageRotationHeld NOTIFY pageRotationHeldChanged)

public:
    using AcknowledgeCallback = std::function<void(const QString& agentID)>;

    // The key layout is read from `store` (which must outlive the model) and
    // every assign() writes it back there. `clock` gives "now".
    DeckModel(QList<Agent> agents, QList<ProviderUsage> usage,
              PreferencesStore& store, Clock clock = systemClock(), QObject* parent = nullptr);
    ~DeckModel() override;

    // What the deck shows before the first pass: the four agents idle and six
    // "loading" tiles in the neutral colours.
    [[nodiscard]] static QList<Agent> placeholderAgents();
    [[nodiscard]] static QList<ProviderUsage> placeholderUsage();
    [[nodiscard]] static std::unique_ptr<DeckModel> placeholder(PreferencesStore& store,
                                                               Clock clock = systemClock());

    // The agents the deck shows: this machine's, merged with the fleet's.
    [[nodiscard]] const QList<Agent>& agents() const { return m_agents; }
    // This machine's agents as the last update() gave them.
    [[nodiscard]] const QList<Agent>& localAgents() const { return m_localAgents; }
    [[nodiscard]] const QList<ProviderUsage>& usage() const { return m_usage; }
    [[nodiscard]] Timestamp now() const { return m_now; }
    [[nodiscard]] int infoPageIndex() const { return m_infoPageIndex; }
    [[nodiscard]] const QList<KeyAssignment>& keyAssignments() const { return m_keyAssignments; }

    // Replaces the agents, then the tiles; an index past the new last page
    // returns to 0.
    void update(QList<Agent> agents, QList<ProviderUsage> usage);
    // Joins the deck to a fleet as `localHost`, with the other hosts as they
    // are now (sorted by name); each gets an information page after the
    // tiles. Changes nothing when equal to what the model has.
    void setFleet(const QString& localHost, QList<FleetHostView> hosts);
    [[nodiscard]] bool fleetJoined() const { return m_fleetJoined; }
    [[nodiscard]] const QList<FleetHostView>& fleetHosts() const { return m_fleetHosts; }
    [[nodiscard]] int hostCount() const { return m_fleetJoined ? int(1 + m_fleetHosts.size()) : 1; }
    [[nodiscard]] int fleetOnlineCount() const;
    [[nodiscard]] int fleetNeedsYouCount() const;
    // Starts the 1-second clock tick and the 4-second page advance; later
    // calls do nothing.
    Q_INVOKABLE void startTimers();
    [[nodiscard]] bool timersStarted() const { return m_tickTimer != nullptr; }
    // Holds the timers while nobody needs them (the clock while the deck is
    // hidden, the page advance while it is hidden or tucked); they run again
    // once let go, the clock brought up to date at once. Holds given before
    // startTimers() apply when the timers start.
    void holdTimers(bool clock, bool pages);

    // A page move from outside the page timer (the user, a key tap) starts
    // the timer's 4 seconds afresh, so the page chosen stays for a while.
    void setInfoPageIndex(int index);
    [[nodiscard]] bool pageRotationHeld() const { return m_pageRotationHeld; }
    void setPageRotationHeld(bool held);
    [[nodiscard]] bool pageTimerActive() const;
    // Summary, then one page per agent, then one per tile, then one per
    // other host of the fleet; ids 0, 1, 2, ...
    [[nodiscard]] QList<InfoPage> infoPages() const;
    [[nodiscard]] int infoPageCount() const;
    [[nodiscard]] std::optional<InfoPage> currentInfoPage() const;
    // Moves by `step` pages, wrapping around; with no pages the index is 0.
    Q_INVOKABLE void advancePage(int step);
    [[nodiscard]] std::optional<int> pageIndexForAgent(const QString& agentID) const;
    [[nodiscard]] std::optional<int> pageIndexForUsage(const QString& usageID) const;
    [[nodiscard]] std::optional<int> pageIndexForUsagePrefix(const QString& prefix) const;
    // The first host page that needs the user, else the first host page.
    [[nodiscard]] std::optional<int> pageIndexForFleet() const;

    [[nodiscard]] std::optional<Agent> agent(const QString& id) const;
    [[nodiscard]] std::optional<ProviderUsage> usageTile(const QString& id) const;
    // The first tile whose id starts with `prefix` ("claude" finds
    // "claude-usage" before "claude-session").
    [[nodiscard]] std::optional<ProviderUsage> usageTileWithPrefix(const QString& prefix) const;
    [[nodiscard]] int workingCount() const;
    [[nodiscard]] int needsYouCount() const;

    // Only for an agent that needs the user: when this machine's agent needs
    // the user, hands its id to the installed callback, or, without one,
    // marks the model's own copy as working now; and asks every online host
    // of the fleet that waits for the user under that provider to
    // acknowledge it (remoteAcknowledgeRequested).
    void acknowledge(const Agent& agent);
    void setOnAcknowledge(AcknowledgeCallback callback) { m_onAcknowledge = std::move(callback); }

    [[nodiscard]] KeyAssignment assignmentAt(qsizetype slot) const;
    // Fills the gap up to `slot` with the defaults of those slots, stores the
    // assignment and writes the whole layout. A negative slot is ignored.
    void assign(KeyAssignment assignment, qsizetype slot);

    // "m:ss" below an hour, "h:mm:ss" from then on; whole seconds, never
    // negative.
    [[nodiscard]] static QString elapsedText(Timestamp from, Timestamp to);

    // What a key with `assignment` draws: the agent of a status key (none when
    // the model has no such agent), the tile of a usage key (a plan key's
    // missing tile draws nothing; a spend or session key shows a placeholder,
    // "not installed" when its provider is offline), or one of the general
    // faces.
    [[nodiscard]] KeyFace keyFace(KeyAssignment assignment) const;
    // The placeholder a spend or session key shows while its tile is missing.
    [[nodiscard]] static ProviderUsage placeholderTile(const QString& usageID, bool providerOffline);

    // QML forms of the operations above (ids and assignments as text;
    // misses as undefined).
    Q_INVOKABLE QVariant keyFaceByName(const QString& assignment) const;
    Q_INVOKABLE QVariant agentById(const QString& id) const;
    Q_INVOKABLE void acknowledgeAgent(const QString& agentID);

    [[nodiscard]] QVariantList agentList() const;
    [[nodiscard]] AgentListModel* agentModel() { return &m_agentModel; }
    [[nodiscard]] double nowSeconds() const { return m_now.seconds(); }
    [[nodiscard]] QVariantList infoPageList() const;
    [[nodiscard]] QVariant currentInfoPageValue() const;
    [[nodiscard]] QStringList keyAssignmentNames() const { return toStringList(m_keyAssignments); }

signals:
    void agentsChanged();
    void usageChanged();
    void nowChanged();
    void infoPageIndexChanged();
    // The page list changed (agents or tiles changed).
    void infoPagesChanged();
    // The page list or the index changed.
    void currentInfoPageChanged();
    void keyAssignmentsChanged();
    void pageRotationHeldChanged();
    void fleetChanged();
    // The user acknowledged `providerID` and `host` has sessions waiting.
    void remoteAcknowledgeRequested(const QString& host, const QString& providerID);

private:
    void setNow(Timestamp now);
    void writeInfoPageIndex(int index);
    void restartPageTimer();
    void setAgents(QList<Agent> agents);
    void deckChanged();
    void applyTimerHolds();
    // Shows the local agents, merged with the fleet's; true when the fleet's
    // counts changed with them.
    bool showAgents();

    QList<Agent> m_agents;
    AgentListModel m_agentModel;
    QList<Agent> m_localAgents;
    QString m_localHost;
    QList<FleetHostView> m_fleetHosts;
    bool m_fleetJoined = false;
    fleet::Counts m_fleetCounts;
    QList<ProviderUsage> m_usage;
    PreferencesStore& m_store;
    Clock m_clock;
    Timestamp m_now;
    int m_infoPageIndex = 0;
    QList<KeyAssignment> m_keyAssignments;
    QTimer* m_tickTimer = nullptr;
    QTimer* m_pageTimer = nullptr;
    bool m_pageRotationHeld = false;
    bool m_clockHeld = false;
    bool m_pagesHeld = false;
    AcknowledgeCallback m_onAcknowledge;
};

} // namespace vexlor
