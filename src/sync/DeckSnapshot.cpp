#include "DeckSnapshot.h"

#include "collection/ProviderCatalog.h"

using namespace Qt::StringLiterals;

namespace vexlor {

SnapshotPalette SnapshotUsage::paletteFor(const QString& id, const Kind& kind)
{
    if (std::holds_alternative<Unavailable>(kind))
        return SnapshotPalette::neutral;
    const ProviderInfo* provider = providerOfTile(id);
    const auto palette = provider ? snapshotPaletteFromString(provider->snapshotPalette) : std::nullopt;
    return palette.value_or(SnapshotPalette::opencode);
}

QString toString(SnapshotAgentStatus status)
{
    switch (status) {
    case SnapshotAgentStatus::working: return u"working"_s;
    case SnapshotAgentStatus::needsYou: return u"needsYou"_s;
    case SnapshotAgentStatus::idle: return u"idle"_s;
    case SnapshotAgentStatus::offline: return u"offline"_s;
    }
    return u"offline"_s;
}

QString toString(SnapshotAgentSession::State state)
{
    switch (state) {
    case SnapshotAgentSession::State::working: return u"working"_s;
    case SnapshotAgentSession::State::attention: return u"attention"_s;
    case SnapshotAgentSession::State::idle: return u"idle"_s;
    }
    return u"idle"_s;
}

QString toString(SnapshotPalette palette)
{
    switch (palette) {
    case SnapshotPalette::claude: return u"claude"_s;
    case SnapshotPalette::codex: return u"codex"_s;
    case SnapshotPalette::kimi: return u"kimi"_s;
    case SnapshotPalette::opencode: return u"opencode"_s;
    case SnapshotPalette::neutral: return u"neutral"_s;
    }
    return u"neutral"_s;
}

std::optional<SnapshotAgentStatus> snapshotAgentStatusFromString(QStringView text)
{
    for (auto s : {SnapshotAgentStatus::working, SnapshotAgentStatus::needsYou, SnapshotAgentStatus::idle,
                   SnapshotAgentStatus::offline}) {
        if (text == toString(s))
            return s;
    }
    return std::nullopt;
}

std::optional<SnapshotAgentSession::State> snapshotSessionStateFromString(QStringView text)
{
    using State = SnapshotAgentSession::State;
    for (auto s : {State::working, State::attention, State::idle}) {
        if (text == toString(s))
            return s;
    }
    return std::nullopt;
}

std::optional<SnapshotPalette> snapshotPaletteFromString(QStringView text)
{
    for (auto p : {SnapshotPalette::claude, SnapshotPalette::codex, SnapshotPalette::kimi, SnapshotPalette::opencode,
                   SnapshotPalette::neutral}) {
        if (text == toString(p))
            return p;
    }
    return std::nullopt;
}

} // namespace vexlor
