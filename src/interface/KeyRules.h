#pragma once
// What a key is, by its assignment: its background, whether it has chrome,
// and what a tap on it does. Pure rules over the deck model's records.

#include "deck/DeckModel.h"

#include <QColor>
#include <QString>
#include <optional>

namespace vexlor {

namespace palette {
[[nodiscard]] QColor workingTile();
[[nodiscard]] QColor attentionTile();
[[nodiscard]] QColor idleTile();
[[nodiscard]] QColor offlineTile();
[[nodiscard]] QColor overviewTile();
[[nodiscard]] QColor infoTile();
} // namespace palette

[[nodiscard]] bool isChromeless(const QString& assignment);
[[nodiscard]] QColor keyBackground(const QString& assignment, const DeckModel& deck);

// What a tap changes; everything absent or false changes nothing.
struct TapEffect {
    std::optional<int> infoPageIndex;
    bool advancePage = false;
    std::optional<QString> sheetAgentID;
    bool showAgentList = false;
    bool showOnlinePrompt = false;
    bool operator==(const TapEffect&) const = default;
};

[[nodiscard]] TapEffect tapEffect(const QString& assignment, const DeckModel& deck);

} // namespace vexlor
