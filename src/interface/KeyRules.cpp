#include "KeyRules.h"

#include <QHash>

namespace vexlor {

namespace palette {
QColor workingGreen() { return QColor::fromRgbF(0.22f, 0.87f, 0.45f); }
QColor attentionAmber() { return QColor::fromRgbF(1.00f, 0.72f, 0.10f); }
QColor mutedGrey() { return QColor::fromRgbF(0.62f, 0.62f, 0.62f); }
QColor workingTile() { return QColor::fromRgbF(0.09f, 0.23f, 0.15f); }
QColor attentionTile() { return QColor::fromRgbF(0.29f, 0.20f, 0.05f); }
QColor idleTile() { return QColor::fromRgbF(0.15f, 0.16f, 0.19f); }
QColor offlineTile() { return QColor::fromRgbF(0.10f, 0.10f, 0.12f); }
QColor overviewTile() { return QColor::fromRgbF(0.26f, 0.19f, 0.04f); }
QColor infoTile() { return QColor::fromRgbF(0.18f, 0.13f, 0.30f); }
} // namespace palette

namespace {

// Plan-usage keys find their tile by provider prefix.
const QHash<QString, QString>& usagePrefixKeys()
{
    static const QHash<QString, QString> keys{
        {QStringLiteral("claudeUsed"), QStringLiteral("claude")},
        {QStringLiteral("claudeLeft"), QStringLiteral("claude")},
        {QStringLiteral("codexUsed"), QStringLiteral("codex")},
        {QStringLiteral("codexLeft"), QStringLiteral("codex")},
        {QStringLiteral("opencodeUsage"), QStringLiteral("opencode")},
        {QStringLiteral("kimiUsage"), QStringLiteral("kimi")},
    };
    return keys;
}

// Spend and session keys find their tile by its exact id.
const QHash<QString, QString>& usageIdKeys()
{
    static const QHash<QString, QString> keys{
        {QStringLiteral("claudeSpend"), QStringLiteral("claude-spend")},
        {QStringLiteral("claudeSessionUsed"), QStringLiteral("claude-session")},
        {QStringLiteral("claudeSessionLeft"), QStringLiteral("claude-session")},
        {QStringLiteral("codexSessionUsed"), QStringLiteral("codex-session")},
        {QStringLiteral("codexSessionLeft"), QStringLiteral("codex-session")},
    };
    return keys;
}

QColor statusTile(const QString& status)
{
    if (status == QLatin1String("working"))
        return palette::workingTile();
    if (status == QLatin1String("needsYou"))
        return palette::attentionTile();
    if (status == QLatin1String("offline"))
        return palette::offlineTile();
    return palette::idleTile();
}

// The page to move to, only when it exists and differs from the current one.
std::optional<int> pageChange(std::optional<int> page, const DeckSource& deck)
{
    if (page && *page != deck.infoPageIndex())
        return page;
    return std::nullopt;
}

} // namespace

std::optional<QString> statusKeyProvider(const QString& assignment)
{
    static const QHash<QString, QString> keys{
        {QStringLiteral("claudeStatus"), QStringLiteral("claude")},
        {QStringLiteral("codexStatus"), QStringLiteral("codex")},
        {QStringLiteral("opencodeStatus"), QStringLiteral("opencode")},
        {QStringLiteral("kimiStatus"), QStringLiteral("kimi")},
    };
    const auto it = keys.constFind(assignment);
    if (it == keys.constEnd())
        return std::nullopt;
    return *it;
}

bool isChromeless(const QString& assignment)
{
    return assignment == QLatin1String("spacer");
}

QColor keyBackground(const QString& assignment, const DeckSource& deck)
{
    if (const auto provider = statusKeyProvider(assignment)) {
        const auto agent = deck.agent(*provider);
        return agent ? statusTile(agent->status) : palette::idleTile();
    }
    if (const auto prefix = usagePrefixKeys().constFind(assignment); prefix != usagePrefixKeys().constEnd()) {
        const auto tile = deck.usageWithPrefix(*prefix);
        return tile ? tile->tileBackground : palette::idleTile();
    }
    if (const auto id = usageIdKeys().constFind(assignment); id != usageIdKeys().constEnd()) {
        const auto tile = deck.usage(*id);
        return tile ? tile->tileBackground : palette::idleTile();
    }
    if (assignment == QLatin1String("allAgents"))
        return palette::overviewTile();
    if (assignment == QLatin1String("info") || assignment == QLatin1String("clock"))
        return palette::infoTile();
    if (assignment == QLatin1String("spacer"))
        return QColor(0, 0, 0, 0);
    return palette::idleTile();
}

TapEffect tapEffect(const QString& assignment, const DeckSource& deck)
{
    TapEffect effect;
    if (const auto provider = statusKeyProvider(assignment)) {
        const auto agent = deck.agent(*provider);
        if (!agent)
            return effect;
        effect.infoPageIndex = pageChange(deck.pageIndexOfAgent(agent->id), deck);
        if (agent->openSessions > 0)
            effect.sheetAgentID = agent->id;
    } else if (assignment == QLatin1String("allAgents")) {
        effect.infoPageIndex = pageChange(0, deck);
        effect.showAgentList = true;
    } else if (const auto prefix = usagePrefixKeys().constFind(assignment); prefix != usagePrefixKeys().constEnd()) {
        const auto tile = deck.usageWithPrefix(*prefix);
        if (tile && tile->unavailable && tile->caption == QLatin1String("online off"))
            effect.showOnlinePrompt = true;
        else
            effect.infoPageIndex = pageChange(deck.pageIndexOfUsagePrefix(*prefix), deck);
    } else if (const auto id = usageIdKeys().constFind(assignment); id != usageIdKeys().constEnd()) {
        effect.infoPageIndex = pageChange(deck.pageIndexOfUsage(*id), deck);
    } else if (assignment == QLatin1String("info")) {
        effect.advancePage = true;
    }
    return effect;
}

} // namespace vexlor
