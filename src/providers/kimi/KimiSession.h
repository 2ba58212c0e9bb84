#pragma once
// One Kimi Code session as the deck sees it: the fields of its state file that
// matter, and the snapshot they make at a given moment.

#include "collection/Records.h"

#include <QByteArrayView>
#include <optional>

namespace vexlor {

// What a Kimi Code state file says. Members that are missing or of the wrong
// type are absent; an unreadable or broken file gives the empty state.
struct KimiSessionState {
    Timestamp updatedAt = Timestamp::distantPast();
    std::optional<QString> title;
    std::optional<QString> lastPrompt;
    std::optional<QString> workDir;
    bool operator==(const KimiSessionState&) const = default;
};

[[nodiscard]] KimiSessionState parseKimiSessionState(QByteArrayView stateJson);

// Working while the state was updated less than this many seconds ago.
inline constexpr double kimiWorkingSeconds = 90;

// Open in every case (working or idle), never in attention.
[[nodiscard]] SessionSnapshot kimiSessionSnapshot(const QString& sessionId, const KimiSessionState& state, Timestamp now);

} // namespace vexlor
