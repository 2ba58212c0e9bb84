#include "KeyTexts.h"

#include "deck/DeckModel.h"
#include "providers/claude/ClaudeCollector.h"
#include "providers/codex/CodexCollector.h"
#include "providers/kimi/KimiCodeCollector.h"
#include "providers/opencode/OpenCodeCollector.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <algorithm>
#include <cmath>

namespace vexlor::keytext {

namespace {

// The context is the one the translation tools give this namespace.
QString tr(const char* source)
{
    return QCoreApplication::translate("vexlor::keytext", source);
}

} // namespace

QString countdownText(long long s)
{
    if (s < 1)
        return tr("↺ now");
    if (s >= 86400) {
        const long long hours = s / 3600;
        if (hours % 24 == 0)
            return tr("↺ %1d").arg(s / 86400);
        return tr("↺ %1d %2h").arg(s / 86400).arg(hours % 24);
    }
    if (s >= 3600) {
        const long long minutes = s / 60;
        if (minutes % 60 == 0)
            return tr("↺ %1h").arg(s / 3600);
        return tr("↺ %1h %2m").arg(s / 3600).arg(minutes % 60);
    }
    return tr("↺ %1m").arg(s < 120 ? 1 : s / 60);
}

std::optional<QString> resetCountdown(double nowSeconds, std::optional<double> resetsAtSeconds)
{
    if (!resetsAtSeconds || !std::isfinite(*resetsAtSeconds) || !(*resetsAtSeconds > nowSeconds))
        return std::nullopt;
    const double ahead = std::trunc(*resetsAtSeconds - nowSeconds);
    // A reset centuries away is still "days"; keep the arithmetic in range.
    return countdownText(static_cast<long long>(std::min(ahead, 1e15)));
}

long long remainingPercent(double usedFraction)
{
    // An over-used window has nothing left, not a negative share.
    return std::max(0LL, roundedPercent(1.0 - usedFraction));
}

double barShare(const ProviderUsage& usage, bool showRemaining)
{
    const auto* p = std::get_if<ProviderUsage::Percent>(&usage.kind);
    if (!p || !std::isfinite(p->fraction))
        return 0;
    // A share outside 0...1 (an over-used window) fills the bar, never more.
    const double share = showRemaining ? 1.0 - p->fraction : p->fraction;
    return std::clamp(share, 0.0, 1.0);
}

QString usageValue(const ProviderUsage& usage, bool showRemaining)
{
    const auto* p = std::get_if<ProviderUsage::Percent>(&usage.kind);
    if (showRemaining && p)
        return QString::number(remainingPercent(p->fraction)) + u'%';
    return usage.valueText();
}

QString usageSecondary(const ProviderUsage& usage, bool showRemaining, double nowSeconds)
{
    const auto* p = std::get_if<ProviderUsage::Percent>(&usage.kind);
    QString text = showRemaining && p ? tr("%1 left").arg(p->window) : usage.detailText();
    std::optional<double> reset;
    if (usage.resetsAt)
        reset = usage.resetsAt->seconds();
    if (const auto countdown = resetCountdown(nowSeconds, reset))
        text += QStringLiteral(" • ") + *countdown;
    return text;
}

QString firstRunHint(const QList<Agent>& agents, const QStringList& folders, const QString& home)
{
    if (agents.isEmpty())
        return {};
    for (const Agent& agent : agents) {
        if (agent.status != AgentStatus::offline)
            return {};
    }
    QStringList shown;
    for (const QString& folder : folders) {
        const bool inHome = !home.isEmpty() && home != QLatin1String("/")
            && (folder == home || folder.startsWith(home + u'/'));
        shown.append(inHome ? u'~' + folder.mid(home.size()) : folder);
    }
    return tr("No agents found in %1. Run vexlor --demo to see what Vexlor shows.")
        .arg(shown.join(QStringLiteral(", ")));
}

QStringList agentFolders()
{
    return {ClaudeCollector::configDirectoryFromEnvironment(), CodexCollector::homeFromEnvironment(),
            OpenCodeCollector::defaultDataDirectory(), KimiCodeCollector::defaultDataDirectory()};
}

QString clockTime(double nowSeconds, const QLocale& locale)
{
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(nowSeconds * 1000)));
    // Two-digit hour of the 24-hour day whatever the locale's own habit; the
    // separator follows the locale.
    QString format = locale.timeFormat(QLocale::ShortFormat);
    qsizetype hour = format.indexOf(QLatin1Char('h'), 0, Qt::CaseInsensitive);
    qsizetype minute = format.indexOf(QLatin1Char('m'));
    QString separator = QStringLiteral(":");
    if (hour >= 0 && minute > hour) {
        qsizetype end = hour;
        while (end < format.size() && format.at(end).toLower() == QLatin1Char('h'))
            ++end;
        separator = format.mid(end, minute - end);
        if (separator.isEmpty() || separator.size() > 3)
            separator = QStringLiteral(":");
    }
    return locale.toString(at.time(), QStringLiteral("HH") + separator + QStringLiteral("mm"));
}

QString clockDate(double nowSeconds, const QLocale& locale)
{
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(nowSeconds * 1000)));
    return locale.toString(at.date(), QStringLiteral("ddd d MMM"));
}

QString seenText(double seenAtSeconds, double nowSeconds)
{
    const double age = nowSeconds - seenAtSeconds;
    const long long s = std::isfinite(age) && age > 0 ? static_cast<long long>(std::min(age, 1e12)) : 0;
    if (s < 60)
        return tr("seen %1 s ago").arg(s);
    if (s < 3600)
        return tr("seen %1 min ago").arg(s / 60);
    if (s < 86400)
        return tr("seen %1 h ago").arg(s / 3600);
    return tr("seen %1 d ago").arg(s / 86400);
}

QString hostStatusName(const FleetHostView& host)
{
    if (!host.online)
        return QStringLiteral("offline");
    for (const AgentStatus status : {AgentStatus::needsYou, AgentStatus::working, AgentStatus::idle}) {
        if (std::any_of(host.agents.cbegin(), host.agents.cend(), [&](const Agent& a) { return a.status == status; }))
            return toString(status);
    }
    return toString(AgentStatus::offline);
}

QString hostStatus(const FleetHostView& host)
{
    if (!host.online)
        return tr("OFFLINE");
    Agent probe;
    probe.status = agentStatusFromString(hostStatusName(host)).value_or(AgentStatus::offline);
    return probe.statusLabel();
}

QList<Agent> installedAgents(const FleetHostView& host)
{
    QList<Agent> out;
    for (const Agent& a : host.agents) {
        if (a.status != AgentStatus::offline)
            out.append(a);
    }
    return out;
}

QList<ProviderUsage> shownTiles(const FleetHostView& host)
{
    QList<ProviderUsage> out;
    for (const ProviderUsage& u : host.usage) {
        if (!std::holds_alternative<ProviderUsage::Unavailable>(u.kind))
            out.append(u);
    }
    return out;
}

QString capitalisedNames(const QStringList& names)
{
    QStringList out;
    out.reserve(names.size());
    for (const QString& name : names)
        out.append(name.left(1).toUpper() + name.mid(1).toLower());
    return out.join(QStringLiteral(" · "));
}

QString agentListDetail(const Agent& agent)
{
    if (agent.status == AgentStatus::offline)
        return tr("not installed");
    if (agent.models.isEmpty())
        return tr("no recent model");
    return agent.models.join(QStringLiteral(" · "));
}

QString sessionTitles(const Agent& agent)
{
    QList<AgentSession> rows = agent.attentionSessions();
    if (rows.isEmpty())
        rows = agent.openSessions;
    QStringList titles;
    for (const AgentSession& s : rows)
        titles.append(s.title);
    return titles.join(QStringLiteral(" · "));
}

QString sheetTitle(const Agent& agent)
{
    if (needsAttention(agent))
        return tr("%1 NEEDS YOU").arg(agent.name);
    return tr("%1 %2").arg(agent.name, agent.statusLabel());
}

int hiddenSessionCount(const Agent& agent)
{
    return std::max(0, agent.sessions - static_cast<int>(agent.openSessions.size()));
}

bool needsAttention(const Agent& agent)
{
    return !agent.attentionSessions().isEmpty();
}

QString agentWorkingTime(const Agent& agent, double nowSeconds)
{
    if (!agent.startedAt || agent.startedAt->isDistantPast())
        return {};
    return tr("working %1").arg(DeckModel::elapsedText(*agent.startedAt, Timestamp::fromSeconds(nowSeconds)));
}

QString sessionTime(const AgentSession& session, double nowSeconds)
{
    if (!session.since || session.since->isDistantPast())
        return {};
    const QString time = DeckModel::elapsedText(*session.since, Timestamp::fromSeconds(nowSeconds));
    switch (session.state) {
    case AgentSession::State::working:
        return tr("working %1").arg(time);
    case AgentSession::State::attention:
        return tr("waiting %1").arg(time);
    case AgentSession::State::idle:
        break;
    }
    return tr("idle %1").arg(time);
}

QStringList tips()
{
    return {
        tr("Double-tap the frame to tuck the deck to the nearest screen edge. Click the visible strip to bring it back."),
        tr("Long-press any key to choose what that button displays."),
        tr("Tap an agent status key to see the open sessions behind its count."),
        tr("Tap ALL AGENTS for a compact overview of every provider Vexlor can see."),
        tr("Tap the info key or the info-bar arrows to cycle through status and usage pages."),
        tr("Online plan limits stay off until you enable them in Settings."),
    };
}

int nextTipIndex(int index)
{
    const int count = 6;
    return ((index + 1) % count + count) % count;
}

} // namespace vexlor::keytext

namespace vexlor {

namespace {

ProviderUsage usageOf(const QVariant& value)
{
    return value.value<ProviderUsage>();
}

Agent agentOf(const QVariant& value)
{
    return value.value<Agent>();
}

std::optional<double> secondsOf(const QVariant& value)
{
    bool ok = false;
    const double s = value.toDouble(&ok);
    return value.isValid() && !value.isNull() && ok ? std::optional(s) : std::nullopt;
}

} // namespace

QString KeyTexts::hostStatus(const QVariant& host)
{
    return keytext::hostStatus(host.value<FleetHostView>());
}

QString KeyTexts::hostStatusName(const QVariant& host)
{
    return keytext::hostStatusName(host.value<FleetHostView>());
}

QVariantList KeyTexts::installedAgents(const QVariant& host)
{
    QVariantList out;
    for (const Agent& a : keytext::installedAgents(host.value<FleetHostView>()))
        out.append(QVariant::fromValue(a));
    return out;
}

QVariantList KeyTexts::shownTiles(const QVariant& host)
{
    QVariantList out;
    for (const ProviderUsage& u : keytext::shownTiles(host.value<FleetHostView>()))
        out.append(QVariant::fromValue(u));
    return out;
}

QString KeyTexts::hostsLine(int count)
{
    return QCoreApplication::translate("vexlor::keytext", "%1 HOSTS").arg(count);
}

QString KeyTexts::countdown(double nowSeconds, const QVariant& resetsAtSeconds)
{
    return keytext::resetCountdown(nowSeconds, secondsOf(resetsAtSeconds)).value_or(QString());
}

QString KeyTexts::usageValue(const QVariant& usage, bool showRemaining)
{
    return keytext::usageValue(usageOf(usage), showRemaining);
}

double KeyTexts::barShare(const QVariant& usage, bool showRemaining)
{
    return keytext::barShare(usageOf(usage), showRemaining);
}

QString KeyTexts::usageSecondary(const QVariant& usage, bool showRemaining, double nowSeconds)
{
    return keytext::usageSecondary(usageOf(usage), showRemaining, nowSeconds);
}

QString KeyTexts::firstRunHint(const QVariantList& agents)
{
    QList<Agent> list;
    for (const QVariant& a : agents)
        list.append(agentOf(a));
    return keytext::firstRunHint(list, keytext::agentFolders(), QDir::homePath());
}

QString KeyTexts::clockTime(double nowSeconds)
{
    return keytext::clockTime(nowSeconds, QLocale());
}

QString KeyTexts::clockDate(double nowSeconds)
{
    return keytext::clockDate(nowSeconds, QLocale());
}

QString KeyTexts::capitalisedNames(const QVariantList& agents)
{
    QStringList names;
    for (const QVariant& a : agents)
        names.append(agentOf(a).name);
    return keytext::capitalisedNames(names);
}

int KeyTexts::openSessionTotal(const QVariantList& agents)
{
    int total = 0;
    for (const QVariant& a : agents)
        total += agentOf(a).sessions;
    return total;
}

QString KeyTexts::agentListDetail(const QVariant& agent)
{
    return keytext::agentListDetail(agentOf(agent));
}

QString KeyTexts::sessionTitles(const QVariant& agent)
{
    return keytext::sessionTitles(agentOf(agent));
}

QString KeyTexts::sheetTitle(const QVariant& agent)
{
    return keytext::sheetTitle(agentOf(agent));
}

int KeyTexts::hiddenSessionCount(const QVariant& agent)
{
    return keytext::hiddenSessionCount(agentOf(agent));
}

bool KeyTexts::needsAttention(const QVariant& agent)
{
    return keytext::needsAttention(agentOf(agent));
}

QString KeyTexts::agentWorkingTime(const QVariant& agent, double nowSeconds)
{
    return keytext::agentWorkingTime(agentOf(agent), nowSeconds);
}

QString KeyTexts::sessionTime(const QVariant& session, double nowSeconds)
{
    return keytext::sessionTime(session.value<AgentSession>(), nowSeconds);
}

} // namespace vexlor
