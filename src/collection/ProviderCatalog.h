#pragma once
// Everything the program knows about each agent tool apart from how its
// files are read: its id and names, its colours, which usage tiles its
// reports become, and the keys a user can put on the deck for it. Every
// layer asks here instead of comparing provider ids, so a further tool is
// one collector folder plus one entry in ProviderCatalog.cpp.
//
// Tile ids follow from the provider id: "<id>-usage" (the main tile, always
// present), "<id>-session" (when the provider has a session rule) and
// "<id>-spend" (when it has spend).

#include "Rgba.h"

#include <QList>
#include <QString>

namespace vexlor {

// How a report's usage becomes the provider's main tile.
enum class MainTileRule {
    // The "7d" window's share, with the "5h" window's share as second figure.
    weekShareWithFiveHours,
    // The longest window's share, with the next one's as second figure.
    longestWindowShare,
    // The "7d" window's tokens with the report's cost.
    weekTokensWithCost,
    // The "7d" window's tokens without cost, with the "24h" tokens as second
    // figure.
    weekTokensWithDay,
};

// Which window, if any, becomes the provider's session tile.
enum class SessionTileRule {
    none,
    // The first "5h" window.
    fiveHours,
    // The window with the shortest period of at most one day.
    shortestWithinDay,
};

// One key a user can choose for a provider, in the order its picker page
// lists them.
struct ProviderKey {
    enum class Shows {
        status,   // the provider's agent
        mainTile, // the first tile whose id starts with the provider id
        tile,     // the tile `tileSuffix` names, or a placeholder
    };
    const char16_t* name; // stored value, such as "claudeUsed"
    const char* label;    // picker label, translation source in "KeyAssignment"
    Shows shows = Shows::status;
    const char16_t* tileSuffix = u""; // Shows::tile: "session" or "spend"
    bool showRemaining = false;       // the share left instead of the share used
};

struct ProviderInfo {
    QString id;          // "claude"; also the start of its session keys and tile ids
    QString displayName; // "CLAUDE"
    const char* pickerName; // "Claude", translation source in "DeckView"
    TilePalette palette;
    // The colour family a published snapshot names for the provider's tiles.
    QString snapshotPalette;
    MainTileRule mainTile = MainTileRule::weekTokensWithCost;
    SessionTileRule sessionTile = SessionTileRule::none;
    bool hasSpend = false;
    QList<ProviderKey> keys;

    [[nodiscard]] QString mainTileID() const { return id + u"-usage"; }
    [[nodiscard]] QString tileID(const char16_t* suffix) const { return id + u'-' + QStringView(suffix); }
    [[nodiscard]] QString translatedPickerName() const;
};

// Every provider in collector order: the order of agents and tiles
// everywhere.
[[nodiscard]] const QList<ProviderInfo>& providerCatalog();
[[nodiscard]] const ProviderInfo* findProvider(QStringView id);
// The provider a tile belongs to: the id before the tile id's first "-".
[[nodiscard]] const ProviderInfo* providerOfTile(QStringView tileID);
// A provider's colours; an id the catalogue does not know is drawn in
// OpenCode's.
[[nodiscard]] TilePalette providerPalette(QStringView providerID);

} // namespace vexlor
