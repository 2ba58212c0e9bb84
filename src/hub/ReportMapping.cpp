#include "ReportMapping.h"

#include "collection/ProviderCatalog.h"
#include "collection/TextPrefix.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

namespace vexlor {

namespace {

constexpr qsizetype kMaxModels = 3;
constexpr qsizetype kMaxRows = 12;
constexpr double kOneDay = 86'400;

// Sort keys that stay totally ordered even for a NaN read from a damaged file.
double timeKey(Timestamp t)
{
    return std::isnan(t.seconds()) ? -std::numeric_limits<double>::infinity() : t.seconds();
}

double periodKey(const UsageWindowSnapshot& w)
{
    return w.periodSeconds && !std::isnan(*w.periodSeconds) ? *w.periodSeconds : 0.0;
}

int stateRank(SessionState state)
{
    switch (state) {
    case SessionState::attention:
        return 0;
    case SessionState::working:
        return 1;
    case SessionState::idle:
        break;
    }
    return 2;
}

AgentSession::State rowState(SessionState state)
{
    switch (state) {
    case SessionState::working:
        return AgentSession::State::working;
    case SessionState::attention:
        return AgentSession::State::attention;
    case SessionState::idle:
        break;
    }
    return AgentSession::State::idle;
}

Timestamp sinceOf(const SessionSnapshot& s)
{
    return s.completionAt.value_or(s.activityAt);
}

bool hasText(const std::optional<QString>& s)
{
    return s && !s->isEmpty();
}

QString percentText(double fraction)
{
    return QString::number(roundedPercent(fraction)) + u'%';
}

const UsageWindowSnapshot* firstWindow(const UsageSnapshot& usage, QStringView label)
{
    for (const UsageWindowSnapshot& w : usage.windows) {
        if (w.label == label)
            return &w;
    }
    return nullptr;
}

ProviderUsage figureTile(const QString& id, const QString& name, const ProviderInfo& provider,
                         ProviderUsage::Kind kind, std::optional<QString> secondary = std::nullopt,
                         std::optional<Timestamp> resetsAt = std::nullopt)
{
    ProviderUsage tile;
    tile.id = id;
    tile.name = name;
    tile.tint = provider.palette.tint;
    tile.tileBackground = provider.palette.tileBackground;
    tile.kind = std::move(kind);
    tile.secondaryText = std::move(secondary);
    tile.resetsAt = resetsAt;
    return tile;
}

// The caption of a main tile without a figure.
QString captionOf(const UsageSnapshot& usage)
{
    if (!usage.error)
        return QStringLiteral("loading");
    return usage.failure == UsageFailure::onlineAccessDisabled ? QStringLiteral("online off") : QStringLiteral("no data");
}

AgentStatus statusOf(const ProviderReport& report)
{
    if (!report.installed)
        return AgentStatus::offline;
    const auto any = [&](SessionState state) {
        return std::any_of(report.sessions.cbegin(), report.sessions.cend(),
                           [state](const SessionSnapshot& s) { return s.state == state; });
    };
    if (any(SessionState::working))
        return AgentStatus::working;
    if (any(SessionState::attention))
        return AgentStatus::needsYou;
    return AgentStatus::idle;
}

QStringList modelsOf(const QList<SessionSnapshot>& sessions)
{
    QList<const SessionSnapshot*> byActivity;
    byActivity.reserve(sessions.size());
    for (const SessionSnapshot& s : sessions)
        byActivity.append(&s);
    std::stable_sort(byActivity.begin(), byActivity.end(), [](const SessionSnapshot* a, const SessionSnapshot* b) {
        return timeKey(a->activityAt) > timeKey(b->activityAt);
    });

    QStringList names;
    for (const SessionSnapshot* s : byActivity) {
        if (s->isOpen && hasText(s->model) && !names.contains(*s->model))
            names.append(*s->model);
    }
    if (names.isEmpty()) {
        for (const SessionSnapshot* s : byActivity) {
            if (hasText(s->model)) {
                names.append(*s->model);
                break;
            }
        }
    }
    QStringList shortNames;
    for (qsizetype i = 0; i < names.size() && i < kMaxModels; ++i)
        shortNames.append(shortModelName(names.at(i)));
    return shortNames;
}

QList<AgentSession> rowsOf(const QList<SessionSnapshot>& sessions)
{
    QList<const SessionSnapshot*> open;
    for (const SessionSnapshot& s : sessions) {
        if (s.isOpen)
            open.append(&s);
    }
    std::stable_sort(open.begin(), open.end(), [](const SessionSnapshot* a, const SessionSnapshot* b) {
        const int ra = stateRank(a->state);
        const int rb = stateRank(b->state);
        if (ra != rb)
            return ra < rb;
        return timeKey(sinceOf(*a)) > timeKey(sinceOf(*b));
    });

    QList<AgentSession> rows;
    for (qsizetype i = 0; i < open.size() && i < kMaxRows; ++i) {
        const SessionSnapshot& s = *open.at(i);
        AgentSession row;
        row.id = s.key;
        row.title = hasText(s.title)
            ? *s.title
            : QCoreApplication::translate("ReportMapping", "session %1").arg(leadingCharacters(s.id, 6));
        row.state = rowState(s.state);
        row.since = sinceOf(s);
        rows.append(row);
    }
    return rows;
}

Agent agentOf(const QString& providerID, const QString& displayName, const ProviderReport& report,
              std::optional<Timestamp> startedAt)
{
    Agent agent;
    agent.id = providerID;
    agent.name = displayName;
    agent.status = statusOf(report);
    agent.sessions = static_cast<int>(std::count_if(report.sessions.cbegin(), report.sessions.cend(),
                                                    [](const SessionSnapshot& s) { return s.isOpen; }));
    agent.startedAt = startedAt;
    agent.models = modelsOf(report.sessions);
    agent.openSessions = rowsOf(report.sessions);
    return agent;
}

ProviderUsage weekShareMain(const ProviderInfo& p, const QString& name, const UsageSnapshot& usage)
{
    const UsageWindowSnapshot* week = firstWindow(usage, u"7d");
    if (!week || !week->percent)
        return ProviderUsage::captionTile(p.mainTileID(), name, captionOf(usage));
    std::optional<QString> secondary;
    const UsageWindowSnapshot* fiveHours = firstWindow(usage, u"5h");
    if (fiveHours && fiveHours->percent)
        secondary = QStringLiteral("5h ") + percentText(*fiveHours->percent);
    return figureTile(p.mainTileID(), name, p, ProviderUsage::Percent{*week->percent, QStringLiteral("7d")},
                      secondary, week->resetsAt);
}

ProviderUsage longestShareMain(const ProviderInfo& p, const QString& name, const UsageSnapshot& usage)
{
    QList<UsageWindowSnapshot> windows = usage.windows;
    std::stable_sort(windows.begin(), windows.end(), [](const UsageWindowSnapshot& a, const UsageWindowSnapshot& b) {
        return periodKey(a) > periodKey(b);
    });
    if (windows.isEmpty() || !windows.first().percent)
        return ProviderUsage::captionTile(p.mainTileID(), name, captionOf(usage));
    const UsageWindowSnapshot& longest = windows.first();
    std::optional<QString> secondary;
    if (windows.size() >= 2 && windows.at(1).percent)
        secondary = windows.at(1).label + u' ' + percentText(*windows.at(1).percent);
    return figureTile(p.mainTileID(), name, p, ProviderUsage::Percent{*longest.percent, longest.label}, secondary,
                      longest.resetsAt);
}

ProviderUsage weekTokensMain(const ProviderInfo& p, const QString& name, const UsageSnapshot& usage)
{
    const UsageWindowSnapshot* week = firstWindow(usage, u"7d");
    if (!week || !week->tokens)
        return ProviderUsage::captionTile(p.mainTileID(), name, captionOf(usage));
    if (p.mainTile == MainTileRule::weekTokensWithDay) {
        std::optional<QString> secondary;
        const UsageWindowSnapshot* day = firstWindow(usage, u"24h");
        if (day && day->tokens)
            secondary = QString::asprintf("24h %.1fK", *day->tokens / 1000);
        return figureTile(p.mainTileID(), name, p, ProviderUsage::Tokens{*week->tokens, 0, QStringLiteral("7d")},
                          secondary);
    }
    return figureTile(p.mainTileID(), name, p,
                      ProviderUsage::Tokens{*week->tokens, usage.costUSD.value_or(0), QStringLiteral("7d")});
}

ProviderUsage mainTile(const ProviderInfo& p, const QString& name, const UsageSnapshot& usage)
{
    switch (p.mainTile) {
    case MainTileRule::weekShareWithFiveHours:
        return weekShareMain(p, name, usage);
    case MainTileRule::longestWindowShare:
        return longestShareMain(p, name, usage);
    case MainTileRule::weekTokensWithCost:
    case MainTileRule::weekTokensWithDay:
        break;
    }
    return weekTokensMain(p, name, usage);
}

const UsageWindowSnapshot* shortestWithinDay(const UsageSnapshot& usage)
{
    const UsageWindowSnapshot* shortest = nullptr;
    for (const UsageWindowSnapshot& w : usage.windows) {
        if (!w.periodSeconds || !(*w.periodSeconds > 0) || !(*w.periodSeconds <= kOneDay))
            continue;
        if (!shortest || *w.periodSeconds < *shortest->periodSeconds)
            shortest = &w;
    }
    return shortest;
}

std::optional<ProviderUsage> sessionTile(const ProviderInfo& p, const QString& name, const UsageSnapshot& usage)
{
    const UsageWindowSnapshot* window = nullptr;
    switch (p.sessionTile) {
    case SessionTileRule::none:
        return std::nullopt;
    case SessionTileRule::fiveHours:
        window = firstWindow(usage, u"5h");
        break;
    case SessionTileRule::shortestWithinDay:
        window = shortestWithinDay(usage);
        break;
    }
    if (!window || !window->percent)
        return std::nullopt;
    return figureTile(p.tileID(u"session"), name, p, ProviderUsage::Percent{*window->percent, window->label},
                      std::nullopt, window->resetsAt);
}

std::optional<ProviderUsage> spendTile(const ProviderInfo& p, const QString& name,
                                       const std::optional<SpendSnapshot>& spend)
{
    if (!p.hasSpend || !spend || !(spend->tokens7d > 0))
        return std::nullopt;
    return figureTile(p.tileID(u"spend"), name, p,
                      ProviderUsage::Tokens{spend->tokens7d, spend->cost7d, QStringLiteral("7d")},
                      QString::asprintf("24h $%.2f", spend->cost24h));
}

// A provider the catalogue does not know is counted in tokens with cost.
ProviderInfo unlistedProvider(const QString& providerID)
{
    ProviderInfo p;
    p.id = providerID;
    p.pickerName = "";
    p.palette = providerPalette(providerID);
    return p;
}

} // namespace

QString shortModelName(const QString& model)
{
    static const QRegularExpression dateSuffix(QStringLiteral("-20\\d{6}$"));
    QString name = model.startsWith(u"claude-") ? model.mid(7) : model;
    name.remove(dateSuffix);
    return name;
}

MappedProvider mapReport(const QString& providerID, const QString& displayName, const ProviderReport& report,
                         std::optional<Timestamp> startedAt)
{
    MappedProvider out;
    out.agent = agentOf(providerID, displayName, report, startedAt);

    const ProviderInfo* listed = findProvider(providerID);
    const ProviderInfo provider = listed ? *listed : unlistedProvider(providerID);
    if (!report.installed) {
        out.usage.append(ProviderUsage::captionTile(provider.mainTileID(), displayName, QStringLiteral("not installed")));
        return out;
    }
    out.usage.append(mainTile(provider, displayName, report.usage));
    if (auto session = sessionTile(provider, displayName, report.usage))
        out.usage.append(*session);
    if (auto spend = spendTile(provider, displayName, report.spend))
        out.usage.append(*spend);
    return out;
}

} // namespace vexlor
