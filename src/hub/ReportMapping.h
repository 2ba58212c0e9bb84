#pragma once
// Turns one provider's report into what the deck shows: its agent tile and
// one to three usage tiles. A pure function of its inputs; the hub calls it
// once per provider on every pass and appends the results in collector order.
//
// Tiles per provider, in order: the main usage tile (always, "<id>-usage";
// a caption tile "loading" / "no data" / "online off" / "not installed" when
// there is no figure), then "claude-session" / "codex-session" when a short
// window has a share, then "claude-spend" when Claude has 7-day tokens.

#include "collection/Records.h"
#include "deck/Agent.h"
#include "deck/ProviderUsage.h"

#include <QList>
#include <QString>
#include <optional>

namespace vexlor {

struct MappedProvider {
    Agent agent;
    QList<ProviderUsage> usage;
    bool operator==(const MappedProvider&) const = default;
};

// `startedAt` is the hub's record of since when the provider has been working
// (already updated for this pass); it becomes the agent's start time as is.
[[nodiscard]] MappedProvider mapReport(const QString& providerID, const QString& displayName,
                                       const ProviderReport& report, std::optional<Timestamp> startedAt);

// "claude-sonnet-4-5-20250929" -> "sonnet-4-5"; other names lose only a
// trailing "-20" + six digits date suffix.
[[nodiscard]] QString shortModelName(const QString& model);

} // namespace vexlor
