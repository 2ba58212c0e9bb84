#include "ProviderCatalog.h"

#include <QCoreApplication>

namespace vexlor {

namespace {

using Shows = ProviderKey::Shows;

QList<ProviderInfo> makeCatalog()
{
    return {
        {QStringLiteral("claude"), QStringLiteral("CLAUDE"), QT_TRANSLATE_NOOP("DeckView", "Claude"),
         {Rgba::rgb(1.00, 0.62, 0.26), Rgba::rgb(0.25, 0.13, 0.06)}, QStringLiteral("claude"),
         MainTileRule::weekShareWithFiveHours, SessionTileRule::fiveHours, true,
         {
             {u"claudeStatus", QT_TRANSLATE_NOOP("KeyAssignment", "Status"), Shows::status},
             {u"claudeUsed", QT_TRANSLATE_NOOP("KeyAssignment", "% used"), Shows::mainTile},
             {u"claudeLeft", QT_TRANSLATE_NOOP("KeyAssignment", "% left"), Shows::mainTile, u"", true},
             {u"claudeSessionUsed", QT_TRANSLATE_NOOP("KeyAssignment", "% used session"), Shows::tile, u"session"},
             {u"claudeSessionLeft", QT_TRANSLATE_NOOP("KeyAssignment", "% left session"), Shows::tile, u"session",
              true},
             {u"claudeSpend", QT_TRANSLATE_NOOP("KeyAssignment", "Tokens & cost"), Shows::tile, u"spend"},
         }},
        {QStringLiteral("codex"), QStringLiteral("CODEX"), QT_TRANSLATE_NOOP("DeckView", "Codex"),
         {Rgba::rgb(0.35, 0.78, 0.98), Rgba::rgb(0.06, 0.15, 0.25)}, QStringLiteral("codex"),
         MainTileRule::longestWindowShare, SessionTileRule::shortestWithinDay, false,
         {
             {u"codexStatus", QT_TRANSLATE_NOOP("KeyAssignment", "Status"), Shows::status},
             {u"codexUsed", QT_TRANSLATE_NOOP("KeyAssignment", "% used"), Shows::mainTile},
             {u"codexLeft", QT_TRANSLATE_NOOP("KeyAssignment", "% left"), Shows::mainTile, u"", true},
             {u"codexSessionUsed", QT_TRANSLATE_NOOP("KeyAssignment", "% used session"), Shows::tile, u"session"},
             {u"codexSessionLeft", QT_TRANSLATE_NOOP("KeyAssignment", "% left session"), Shows::tile, u"session",
              true},
         }},
        {QStringLiteral("opencode"), QStringLiteral("OPENCODE"), QT_TRANSLATE_NOOP("DeckView", "OpenCode"),
         {Rgba::rgb(0.72, 0.60, 0.99), Rgba::rgb(0.15, 0.11, 0.27)}, QStringLiteral("opencode"),
         MainTileRule::weekTokensWithCost, SessionTileRule::none, false,
         {
             {u"opencodeStatus", QT_TRANSLATE_NOOP("KeyAssignment", "Status"), Shows::status},
             {u"opencodeUsage", QT_TRANSLATE_NOOP("KeyAssignment", "Tokens & cost"), Shows::mainTile},
         }},
        {QStringLiteral("kimi"), QStringLiteral("KIMI"), QT_TRANSLATE_NOOP("DeckView", "Kimi"),
         {Rgba::rgb(0.95, 0.35, 0.65), Rgba::rgb(0.28, 0.08, 0.16)}, QStringLiteral("kimi"),
         MainTileRule::weekTokensWithDay, SessionTileRule::none, false,
         {
             {u"kimiStatus", QT_TRANSLATE_NOOP("KeyAssignment", "Status"), Shows::status},
             {u"kimiUsage", QT_TRANSLATE_NOOP("KeyAssignment", "Tokens & cost"), Shows::mainTile},
         }},
    };
}

// Ids the catalogue does not know are drawn like OpenCode, the catalogue's
// plain token counter.
constexpr qsizetype kOtherColoursEntry = 2;

} // namespace

QString ProviderInfo::translatedPickerName() const
{
    return QCoreApplication::translate("DeckView", pickerName);
}

const QList<ProviderInfo>& providerCatalog()
{
    static const QList<ProviderInfo> catalog = makeCatalog();
    return catalog;
}

const ProviderInfo* findProvider(QStringView id)
{
    for (const ProviderInfo& p : providerCatalog()) {
        if (p.id == id)
            return &p;
    }
    return nullptr;
}

const ProviderInfo* providerOfTile(QStringView tileID)
{
    const qsizetype dash = tileID.indexOf(u'-');
    return findProvider(dash < 0 ? tileID : tileID.left(dash));
}

TilePalette providerPalette(QStringView providerID)
{
    if (const ProviderInfo* p = findProvider(providerID))
        return p->palette;
    return providerCatalog().at(kOtherColoursEntry).palette;
}

} // namespace vexlor
