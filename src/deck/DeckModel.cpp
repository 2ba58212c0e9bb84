#include "DeckModel.h"

#include "VariantList.h"

#include "collection/ProviderCatalog.h"

#include <QCoreApplication>
#include <QTimer>

#include <cmath>

namespace vexlor {

namespace {

template <typename T>
QVariant toVariant(const std::optional<T>& value)
{
    return value ? QVariant::fromValue(*value) : QVariant();
}

Agent idleAgent(const QString& id, const QString& name)
{
    Agent a;
    a.id = id;
    a.name = name;
    a.status = AgentStatus::idle;
    return a;
}

} // namespace

DeckModel::DeckModel(QList<Agent> agents, QList<ProviderUsage> usage, PreferencesStore& store, Clock clock,
                     QObject* parent)
    : QObject(parent)
    , m_agents(std::move(agents))
    , m_agentModel(this)
    , m_localAgents(m_agents)
    , m_fleetCounts(fleet::counts(m_localAgents, {}))
    , m_usage(std::move(usage))
    , m_store(store)
    , m_clock(clock ? std::move(clock) : systemClock())
    , m_now(m_clock())
    , m_keyAssignments(loadKeyAssignments(store))
{
    m_agentModel.setAgents(m_agents);
}

DeckModel::~DeckModel() = default;

QList<Agent> DeckModel::placeholderAgents()
{
    QList<Agent> agents;
    for (const ProviderInfo& p : providerCatalog())
        agents.append(idleAgent(p.id, p.displayName));
    return agents;
}

QList<ProviderUsage> DeckModel::placeholderUsage()
{
    const QString loading = QStringLiteral("loading");
    QList<ProviderUsage> tiles;
    for (const ProviderInfo& p : providerCatalog()) {
        tiles.append(ProviderUsage::captionTile(p.mainTileID(), p.displayName, loading));
        if (p.sessionTile != SessionTileRule::none)
            tiles.append(ProviderUsage::captionTile(p.tileID(u"session"), p.displayName, loading));
    }
    return tiles;
}

std::unique_ptr<DeckModel> DeckModel::placeholder(PreferencesStore& store, Clock clock)
{
    return std::make_unique<DeckModel>(placeholderAgents(), placeholderUsage(), store, std::move(clock));
}

void DeckModel::deckChanged()
{
    emit infoPagesChanged();
    emit currentInfoPageChanged();
}

void DeckModel::setAgents(QList<Agent> agents)
{
    if (agents == m_agents)
        return;
    m_agents = std::move(agents);
    m_agentModel.setAgents(m_agents);
    emit agentsChanged();
    deckChanged();
}

bool DeckModel::showAgents()
{
    setAgents(m_fleetJoined ? fleet::mergeAgents(m_localAgents, m_localHost, m_fleetHosts) : m_localAgents);
    const fleet::Counts counts = fleet::counts(m_localAgents, m_fleetHosts);
    if (counts == m_fleetCounts)
        return false;
    m_fleetCounts = counts;
    return true;
}

void DeckModel::setFleet(const QString& localHost, QList<FleetHostView> hosts)
{
    if (m_fleetJoined && localHost == m_localHost && hosts == m_fleetHosts)
        return;
    m_fleetJoined = true;
    m_localHost = localHost;
    m_fleetHosts = std::move(hosts);
    showAgents();
    emit fleetChanged();
    deckChanged();
    if (m_infoPageIndex != 0 && m_infoPageIndex >= infoPageCount())
        writeInfoPageIndex(0);
}

int DeckModel::fleetOnlineCount() const
{
    return m_fleetCounts.online;
}

int DeckModel::fleetNeedsYouCount() const
{
    return m_fleetCounts.needYou;
}

void DeckModel::update(QList<Agent> agents, QList<ProviderUsage> usage)
{
    m_localAgents = std::move(agents);
    if (showAgents())
        emit fleetChanged();
    if (usage != m_usage) {
        m_usage = std::move(usage);
        emit usageChanged();
        deckChanged();
    }
    if (m_infoPageIndex != 0 && m_infoPageIndex >= infoPageCount())
        writeInfoPageIndex(0);
}

void DeckModel::setNow(Timestamp now)
{
    if (now == m_now)
        return;
    m_now = now;
    emit nowChanged();
}

void DeckModel::startTimers()
{
    if (m_tickTimer)
        return;
    // Children of the model: they stop with it and fire on its (main) thread.
    m_tickTimer = new QTimer(this);
    m_tickTimer->setTimerType(Qt::PreciseTimer); // a clock must not skip seconds
    m_tickTimer->setInterval(1000);
    connect(m_tickTimer, &QTimer::timeout, this, [this] { setNow(m_clock()); });
    m_pageTimer = new QTimer(this);
    m_pageTimer->setTimerType(Qt::CoarseTimer); // a page may turn a little early or late
    m_pageTimer->setInterval(4000);
    connect(m_pageTimer, &QTimer::timeout, this, [this] {
        const int n = infoPageCount();
        writeInfoPageIndex(((m_infoPageIndex + 1) % n + n) % n);
    });
    applyTimerHolds();
}

void DeckModel::holdTimers(bool clock, bool pages)
{
    m_clockHeld = clock;
    m_pagesHeld = pages;
    applyTimerHolds();
}

void DeckModel::applyTimerHolds()
{
    if (!m_tickTimer)
        return;
    if (m_clockHeld) {
        m_tickTimer->stop();
    } else if (!m_tickTimer->isActive()) {
        setNow(m_clock()); // the clock may have been held for a while
        m_tickTimer->start();
    }
    if (m_pagesHeld || m_pageRotationHeld)
        m_pageTimer->stop();
    else if (!m_pageTimer->isActive())
        m_pageTimer->start();
}

void DeckModel::setInfoPageIndex(int index)
{
    if (index == m_infoPageIndex)
        return;
    writeInfoPageIndex(index);
    restartPageTimer();
}

void DeckModel::writeInfoPageIndex(int index)
{
    if (index == m_infoPageIndex)
        return;
    m_infoPageIndex = index;
    emit infoPageIndexChanged();
    emit currentInfoPageChanged();
}

void DeckModel::restartPageTimer()
{
    if (m_pageTimer && !m_pagesHeld && !m_pageRotationHeld)
        m_pageTimer->start(); // a running timer starts its interval again
}

void DeckModel::setPageRotationHeld(bool held)
{
    if (held == m_pageRotationHeld)
        return;
    m_pageRotationHeld = held;
    applyTimerHolds();
    emit pageRotationHeldChanged();
}

bool DeckModel::pageTimerActive() const
{
    return m_pageTimer && m_pageTimer->isActive();
}

QList<InfoPage> DeckModel::infoPages() const
{
    QList<InfoPage> pages;
    pages.reserve(infoPageCount());
    int id = 0;
    pages.append(InfoPage{id++, InfoPage::Summary{}});
    for (const Agent& a : m_agents)
        pages.append(InfoPage{id++, a});
    for (const ProviderUsage& u : m_usage)
        pages.append(InfoPage{id++, u});
    for (const FleetHostView& host : m_fleetHosts)
        pages.append(InfoPage{id++, host});
    return pages;
}

int DeckModel::infoPageCount() const
{
    return static_cast<int>(1 + m_agents.size() + m_usage.size() + m_fleetHosts.size());
}

std::optional<InfoPage> DeckModel::currentInfoPage() const
{
    const int i = m_infoPageIndex;
    if (i < 0 || i >= infoPageCount())
        return std::nullopt;
    if (i == 0)
        return InfoPage{0, InfoPage::Summary{}};
    if (i <= m_agents.size())
        return InfoPage{i, m_agents.at(i - 1)};
    if (i <= m_agents.size() + m_usage.size())
        return InfoPage{i, m_usage.at(i - 1 - m_agents.size())};
    return InfoPage{i, m_fleetHosts.at(i - 1 - m_agents.size() - m_usage.size())};
}

void DeckModel::advancePage(int step)
{
    const int count = infoPageCount();
    const int n = count > 0 ? count : 1;
    // Reduce first so that a stray index or step cannot overflow.
    const long long next = ((static_cast<long long>(m_infoPageIndex) + step) % n + n) % n;
    setInfoPageIndex(static_cast<int>(next));
}

std::optional<int> DeckModel::pageIndexForAgent(const QString& agentID) const
{
    for (qsizetype i = 0; i < m_agents.size(); ++i) {
        if (m_agents.at(i).id == agentID)
            return static_cast<int>(1 + i);
    }
    return std::nullopt;
}

std::optional<int> DeckModel::pageIndexForUsage(const QString& usageID) const
{
    for (qsizetype i = 0; i < m_usage.size(); ++i) {
        if (m_usage.at(i).id == usageID)
            return static_cast<int>(1 + m_agents.size() + i);
    }
    return std::nullopt;
}

std::optional<int> DeckModel::pageIndexForUsagePrefix(const QString& prefix) const
{
    for (qsizetype i = 0; i < m_usage.size(); ++i) {
        if (m_usage.at(i).id.startsWith(prefix))
            return static_cast<int>(1 + m_agents.size() + i);
    }
    return std::nullopt;
}

std::optional<int> DeckModel::pageIndexForFleet() const
{
    const auto first = static_cast<int>(1 + m_agents.size() + m_usage.size());
    for (qsizetype i = 0; i < m_fleetHosts.size(); ++i) {
        if (m_fleetHosts.at(i).needsYou())
            return first + static_cast<int>(i);
    }
    return m_fleetHosts.isEmpty() ? std::nullopt : std::optional(first);
}

std::optional<Agent> DeckModel::agent(const QString& id) const
{
    for (const Agent& a : m_agents) {
        if (a.id == id)
            return a;
    }
    return std::nullopt;
}

std::optional<ProviderUsage> DeckModel::usageTile(const QString& id) const
{
    for (const ProviderUsage& u : m_usage) {
        if (u.id == id)
            return u;
    }
    return std::nullopt;
}

std::optional<ProviderUsage> DeckModel::usageTileWithPrefix(const QString& prefix) const
{
    for (const ProviderUsage& u : m_usage) {
        if (u.id.startsWith(prefix))
            return u;
    }
    return std::nullopt;
}

int DeckModel::workingCount() const
{
    return static_cast<int>(std::count_if(m_agents.cbegin(), m_agents.cend(),
                                          [](const Agent& a) { return a.status == AgentStatus::working; }));
}

int DeckModel::needsYouCount() const
{
    return static_cast<int>(std::count_if(m_agents.cbegin(), m_agents.cend(),
                                          [](const Agent& a) { return a.status == AgentStatus::needsYou; }));
}

void DeckModel::acknowledge(const Agent& agent)
{
    if (agent.status != AgentStatus::needsYou)
        return;
    const auto local = std::find_if(m_localAgents.begin(), m_localAgents.end(),
                                    [&](const Agent& a) { return a.id == agent.id; });
    // In a fleet the hub hears of it only when this machine waits too.
    const bool here = !m_fleetJoined || (local != m_localAgents.end() && local->status == AgentStatus::needsYou);
    if (here && m_onAcknowledge) {
        m_onAcknowledge(agent.id);
    } else if (here && local != m_localAgents.end()) {
        local->status = AgentStatus::working;
        local->startedAt = m_clock();
        if (showAgents())
            emit fleetChanged();
    }
    if (m_fleetJoined) {
        for (const QString& host : fleet::acknowledgeTargets(agent.id, m_fleetHosts))
            emit remoteAcknowledgeRequested(host, agent.id);
    }
}

KeyAssignment DeckModel::assignmentAt(qsizetype slot) const
{
    return vexlor::assignmentAt(m_keyAssignments, slot);
}

void DeckModel::assign(KeyAssignment assignment, qsizetype slot)
{
    if (slot < 0)
        return;
    while (m_keyAssignments.size() <= slot) {
        m_keyAssignments.append(defaultAssignment(m_keyAssignments.size()));
        emit keyAssignmentsChanged();
    }
    if (m_keyAssignments.at(slot) != assignment) {
        m_keyAssignments[slot] = assignment;
        emit keyAssignmentsChanged();
    }
    saveKeyAssignments(m_store, m_keyAssignments);
}

QString DeckModel::elapsedText(Timestamp from, Timestamp to)
{
    const double diff = to - from;
    // Whole seconds, fraction dropped; a start in the future reads as 0.
    const long long s = std::isfinite(diff) && diff > 0 ? static_cast<long long>(std::min(diff, 1e15)) : 0;
    if (s < 3600)
        return QString::asprintf("%lld:%02lld", s / 60, s % 60);
    return QString::asprintf("%lld:%02lld:%02lld", s / 3600, (s / 60) % 60, s % 60);
}

QVariant DeckModel::agentById(const QString& id) const
{
    return toVariant(agent(id));
}

void DeckModel::acknowledgeAgent(const QString& agentID)
{
    if (const std::optional<Agent> a = agent(agentID))
        acknowledge(*a);
}

ProviderUsage DeckModel::placeholderTile(const QString& usageID, bool providerOffline)
{
    const ProviderInfo* provider = providerOfTile(usageID);
    const QString name = provider ? provider->displayName : QString();
    if (providerOffline)
        return ProviderUsage::captionTile(usageID, name, QStringLiteral("not installed"));
    if (usageID.endsWith(u"-spend"))
        return ProviderUsage::captionTile(usageID, name, QStringLiteral("loading"));
    return ProviderUsage::captionTile(usageID, name,
                                      QCoreApplication::translate("DeckModel", "no session data"));
}

KeyFace DeckModel::keyFace(KeyAssignment assignment) const
{
    using Shows = KeyAssignment::Shows;
    KeyFace face;
    switch (assignment.shows()) {
    case Shows::agent:
        if (auto a = agent(assignment.provider()->id)) {
            face.kind = QStringLiteral("agent");
            face.agent = QVariant::fromValue(*a);
        }
        return face;
    case Shows::mainTile:
        if (auto tile = usageTileWithPrefix(assignment.provider()->id)) {
            face.kind = QStringLiteral("usage");
            face.usage = QVariant::fromValue(*tile);
            face.showRemaining = assignment.showRemaining();
        }
        return face;
    case Shows::tile: {
        auto tile = usageTile(assignment.tileID());
        if (!tile) {
            const auto owner = agent(assignment.provider()->id);
            tile = placeholderTile(assignment.tileID(), owner && owner->status == AgentStatus::offline);
        }
        face.kind = QStringLiteral("usage");
        face.usage = QVariant::fromValue(*tile);
        face.showRemaining = assignment.showRemaining();
        return face;
    }
    case Shows::allAgents:
        face.kind = QStringLiteral("allAgents");
        return face;
    case Shows::clock:
        face.kind = QStringLiteral("clock");
        return face;
    case Shows::info:
        face.kind = QStringLiteral("info");
        return face;
    case Shows::fleet:
        face.kind = QStringLiteral("fleet");
        return face;
    case Shows::nothing:
        break;
    }
    return face;
}

QVariant DeckModel::keyFaceByName(const QString& assignment) const
{
    const auto a = keyAssignmentFromString(assignment);
    return QVariant::fromValue(a ? keyFace(*a) : KeyFace{});
}

QVariantList DeckModel::agentList() const
{
    return toVariantList(m_agents);
}

QVariantList DeckModel::infoPageList() const
{
    return toVariantList(infoPages());
}

QVariant DeckModel::currentInfoPageValue() const
{
    return toVariant(currentInfoPage());
}

} // namespace vexlor
