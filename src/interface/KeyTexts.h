#pragma once
// The texts and figures the key contents, the information bar and the agent
// overlays show, decided here so the QML only draws them: the reset
// countdown, the remaining share of a plan window, the bar's filled share,
// the clock, the all-agents and session-sheet lines, and the tips.
//
// The free functions are pure; `KeyTexts` offers them to QML as a singleton
// taking the deck model's records (Agent, ProviderUsage) as they reach QML.

#include "deck/Agent.h"
#include "deck/FleetView.h"
#include "deck/ProviderUsage.h"

#include <QLocale>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QtQml/qqmlregistration.h>
#include <optional>

namespace vexlor::keytext {

// "↺ now", "↺ 1m", "↺ 3h 5m", "↺ 2d 5h", ... for a reset `seconds` away
// (whole seconds, fraction already dropped).
[[nodiscard]] QString countdownText(long long seconds);
// The countdown to `resetsAt`, only when it is later than `now`.
[[nodiscard]] std::optional<QString> resetCountdown(double nowSeconds, std::optional<double> resetsAtSeconds);

// What is left of a used share, as a whole percentage (0.375 gives 63).
[[nodiscard]] long long remainingPercent(double usedFraction);
// The share of a usage bar drawn in the tile's tint, from 0 to 1: the used
// or the remaining share of a percent tile; 0 for the other kinds.
[[nodiscard]] double barShare(const ProviderUsage& usage, bool showRemaining);
// The key's big figure: "63%" for a remaining share, otherwise valueText().
[[nodiscard]] QString usageValue(const ProviderUsage& usage, bool showRemaining);
// The key's second line: "5h left" or detailText(), followed by " • " and the
// countdown when the reset is still ahead.
[[nodiscard]] QString usageSecondary(const ProviderUsage& usage, bool showRemaining, double nowSeconds);

// The summary page's guidance while no agent is installed (every agent
// offline): where Vexlor looked, with the home folder as "~", and how to see
// it at work. Empty once any agent is found, or with no agents at all.
[[nodiscard]] QString firstRunHint(const QList<Agent>& agents, const QStringList& folders, const QString& home);
// The folders the collectors read, from the environment.
[[nodiscard]] QStringList agentFolders();

// "14:05" (24-hour, two-digit hour and minute) and "Mon 7 Dec" in `locale`.
[[nodiscard]] QString clockTime(double nowSeconds, const QLocale& locale);
[[nodiscard]] QString clockDate(double nowSeconds, const QLocale& locale);

// "Claude · Codex": each name capitalised, joined by " · ".
[[nodiscard]] QString capitalisedNames(const QStringList& names);
// The all-agents list's second line of an agent.
[[nodiscard]] QString agentListDetail(const Agent& agent);
// The agent page's session line: the attention titles, or all open titles.
[[nodiscard]] QString sessionTitles(const Agent& agent);
// The session sheet's header: "CLAUDE NEEDS YOU" or "CODEX WORKING".
[[nodiscard]] QString sheetTitle(const Agent& agent);
// Sessions the sheet has no row for (never negative).
[[nodiscard]] int hiddenSessionCount(const Agent& agent);
[[nodiscard]] bool needsAttention(const Agent& agent);
// The times, each saying what it counts. The agent page: "working 3:25",
// from the agent's start time. A sheet row: "working 3:25" from when the
// session began working (the same start as its agent's while it works
// alone), "waiting 0:06" since its turn ended, "idle 1:03:35" since its last
// activity. Empty when the time is unknown.
[[nodiscard]] QString agentWorkingTime(const Agent& agent, double nowSeconds);
[[nodiscard]] QString sessionTime(const AgentSession& session, double nowSeconds);

// A host page's age line: "seen 12 s ago", "seen 4 min ago", "seen 2 h
// ago", "seen 3 d ago" (never negative).
[[nodiscard]] QString seenText(double seenAtSeconds, double nowSeconds);
// A host page's state: "OFFLINE", or the status label of its most urgent
// agent ("NEED YOU", "WORKING", "IDLE"; "NOT FOUND" with no agent found).
[[nodiscard]] QString hostStatus(const FleetHostView& host);
// The status (as Agent::status names it) a host page is coloured by.
[[nodiscard]] QString hostStatusName(const FleetHostView& host);
// The agents a host page lists: those installed there.
[[nodiscard]] QList<Agent> installedAgents(const FleetHostView& host);
// The plan tiles a host page shows: those with a figure.
[[nodiscard]] QList<ProviderUsage> shownTiles(const FleetHostView& host);

// The six tips of the tips card, in order, and the one after `index`.
[[nodiscard]] QStringList tips();
[[nodiscard]] int nextTipIndex(int index);

} // namespace vexlor::keytext

namespace vexlor {

class KeyTexts : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QStringList tips READ tips CONSTANT)

public:
    using QObject::QObject;

    [[nodiscard]] static QStringList tips() { return keytext::tips(); }

    // `usage` and `agent` are the model's records as QML holds them.
    Q_INVOKABLE static QString countdown(double nowSeconds, const QVariant& resetsAtSeconds);
    Q_INVOKABLE static QString usageValue(const QVariant& usage, bool showRemaining);
    Q_INVOKABLE static double barShare(const QVariant& usage, bool showRemaining);
    Q_INVOKABLE static QString usageSecondary(const QVariant& usage, bool showRemaining, double nowSeconds);
    Q_INVOKABLE static QString firstRunHint(const QVariantList& agents);
    Q_INVOKABLE static QString clockTime(double nowSeconds);
    Q_INVOKABLE static QString clockDate(double nowSeconds);
    Q_INVOKABLE static QString capitalisedNames(const QVariantList& agents);
    Q_INVOKABLE static int openSessionTotal(const QVariantList& agents);
    Q_INVOKABLE static QString agentListDetail(const QVariant& agent);
    Q_INVOKABLE static QString sessionTitles(const QVariant& agent);
    Q_INVOKABLE static QString sheetTitle(const QVariant& agent);
    Q_INVOKABLE static int hiddenSessionCount(const QVariant& agent);
    Q_INVOKABLE static bool needsAttention(const QVariant& agent);
    Q_INVOKABLE static QString agentWorkingTime(const QVariant& agent, double nowSeconds);
    Q_INVOKABLE static QString sessionTime(const QVariant& session, double nowSeconds);
    Q_INVOKABLE static int nextTipIndex(int index) { return keytext::nextTipIndex(index); }
    // `host` is a FleetHostView as QML holds it.
    Q_INVOKABLE static QString seenText(double seenAtSeconds, double nowSeconds)
    {
        return keytext::seenText(seenAtSeconds, nowSeconds);
    }
    Q_INVOKABLE static QString hostStatus(const QVariant& host);
    Q_INVOKABLE static QString hostStatusName(const QVariant& host);
    Q_INVOKABLE static QVariantList installedAgents(const QVariant& host);
    Q_INVOKABLE static QVariantList shownTiles(const QVariant& host);
    // "3 HOSTS".
    Q_INVOKABLE static QString hostsLine(int count);
};

} // namespace vexlor
