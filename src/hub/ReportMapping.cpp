#include "ReportMapping.h"

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

ProviderUsage figureTile(const QString& id, const QString& name, const QString& providerID,
                         ProviderUsage::Kind kind, std::optional<QString> secondary = std::nullopt,
                         std::optional<Timestamp> resetsAt = std::nullopt)
{
    const TilePalette palette = providerPalette(providerID);
    ProviderUsage tile;
    tile.id = id;
    tile.name = name;
    tile.tint = palette.tint;
    tile.tileBackground = palette.tileBackground;
    tile.kind = std::move(kind);
    tile.secondaryText = std::move(secondary);
    tile.resetsAt = resetsAt;
    return tile;
}

QString plainCaption(const UsageSnapshot& usage)
{
    return usage.error ? QStringLiteral("no data") : QStringLiteral("loading");
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

ProviderUsage claudeMain(const QString& name, const UsageSnapshot& usage)
{
    const UsageWindowSnapshot* week = firstWindow(usage, u"7d");
    if (!week || !week->percent) {
        QString caption = QStringLiteral("loading");
        if (usage.error)
            caption = *usage.error == u"online access disabled" ? QStringLiteral("online off") : QStringLiteral("no data");
        return ProviderUsage::captionTile(QStringLiteral("claude-usage"), name, caption);
    }
    std::optional<QString> secondary;
    const UsageWindowSnapshot* fiveHours = firstWindow(usage, u"5h");
    if (fiveHours && fiveHours->percent)
        secondary = QStringLiteral("5h ") + percentText(*fiveHours->percent);
    return figureTile(QStringLiteral("claude-usage"), name, QStringLiteral("claude"),
                      ProviderUsage::Percent{*week->percent, QStringLiteral("7d")}, secondary, week->resetsAt);
}

ProviderUsage codexMain(const QString& name, const UsageSnapshot& usage)
{
    QList<UsageWindowSnapshot> windows = usage.windows;
    std::stable_sort(windows.begin(), windows.end(), [](const UsageWindowSnapshot& a, const UsageWindowSnapshot& b) {
        return periodKey(a) > periodKey(b);
    });
    if (windows.isEmpty() || !windows.first().percent)
        return ProviderUsage::captionTile(QStringLiteral("codex-usage"), name, plainCaption(usage));
    const UsageWindowSnapshot& longest = windows.first();
    std::optional<QString> secondary;
    if (windows.size() >= 2 && windows.at(1).percent)
        secondary = windows.at(1).label + u' ' + percentText(*windows.at(1).percent);
    return figureTile(QStringLiteral("codex-usage"), name, QStringLiteral("codex"),
                      ProviderUsage::Percent{*longest.percent, longest.label}, secondary, longest.resetsAt);
}

ProviderUsage tokensMain(const QString& providerID, const QString& name, const UsageSnapshot& usage)
{
    const QString id = providerID + u"-usage";
    const UsageWindowSnapshot* week = firstWindow(usage, u"7d");
    if (!week || !week->tokens)
        return ProviderUsage::captionTile(id, name, plainCaption(usage));
    if (providerID == u"kimi") {
        std::optional<QString> secondary;
        const UsageWindowSnapshot* day = firstWindow(usage, u"24h");
        if (day && day->tokens)
            secondary = QString::asprintf("24h %.1fK", *day->tokens / 1000);
        return figureTile(id, name, providerID, ProviderUsage::Tokens{*week->tokens, 0, QStringLiteral("7d")},
                          secondary);
    }
    return figureTile(id, name, providerID,
                      ProviderUsage::Tokens{*week->tokens, usage.costUSD.value_or(0), QStringLiteral("7d")});
}

std::optional<ProviderUsage> claudeSession(const QString& name, const UsageSnapshot& usage)
{
    const UsageWindowSnapshot* fiveHours = firstWindow(usage, u"5h");
    if (!fiveHours || !fiveHours->percent)
        return std::nullopt;
    return figureTile(QStringLiteral("claude-session"), name, QStringLiteral("claude"),
                      ProviderUsage::Percent{*fiveHours->percent, QStringLiteral("5h")}, std::nullopt,
                      fiveHours->resetsAt);
}

std::optional<ProviderUsage> codexSession(const QString& name, const UsageSnapshot& usage)
{
    const UsageWindowSnapshot* shortest = nullptr;
    for (const UsageWindowSnapshot& w : usage.windows) {
        if (!w.periodSeconds || !(*w.periodSeconds > 0) || !(*w.periodSeconds <= kOneDay))
            continue;
        if (!shortest || *w.periodSeconds < *shortest->periodSeconds)
            shortest = &w;
    }
    if (!shortest || !shortest->percent)
        return std::nullopt;
    return figureTile(QStringLiteral("codex-session"), name, QStringLiteral("codex"),
                      ProviderUsage::Percent{*shortest->percent, shortest->label}, std::nullopt,
                      shortest->resetsAt);
}

std::optional<ProviderUsage> claudeSpend(const QString& name, const std::optional<SpendSnapshot>& spend)
{
    if (!spend || !(spend->tokens7d > 0))
        return std::nullopt;
    return figureTile(QStringLiteral("claude-spend"), name, QStringLiteral("claude"),
                      ProviderUsage::Tokens{spend->tokens7d, spend->cost7d, QStringLiteral("7d")},
                      QString::asprintf("24h $%.2f", spend->cost24h));
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

    if (!report.installed) {
        out.usage.append(ProviderUsage::captionTile(providerID + u"-usage", displayName, QStringLiteral("not installed")));
        return out;
    }

    const UsageSnapshot& usage = report.usage;
    std::optional<ProviderUsage> session;
    if (providerID == u"claude") {
        out.usage.append(claudeMain(displayName, usage));
        session = claudeSession(displayName, usage);
    } else if (providerID == u"codex") {
        out.usage.append(codexMain(displayName, usage));
        session = codexSession(displayName, usage);
    } else {
        out.usage.append(tokensMain(providerID, displayName, usage));
    }
    if (session)
        out.usage.append(*session);
    if (providerID == u"claude") {
        if (auto spend = claudeSpend(displayName, report.spend))
            out.usage.append(*spend);
    }
    return out;
}

} // namespace vexlor
