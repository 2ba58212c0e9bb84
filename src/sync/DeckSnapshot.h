#pragma once
// The compact, versioned picture of the deck that is published for other
// devices: every agent tile and every usage tile, without colours or layout.
// Plain values compared member by member; the sync service compares contents
// to skip writes that would change nothing.

#include "collection/Timestamp.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

namespace vexlor {

struct Agent;
struct ProviderUsage;

enum class SnapshotAgentStatus { working, needsYou, idle, offline };
enum class SnapshotPalette { claude, codex, kimi, opencode, neutral };

struct SnapshotAgentSession {
    enum class State { working, attention, idle };

    QString id; // session key
    QString title;
    State state = State::idle;
    std::optional<Timestamp> since;

    bool operator==(const SnapshotAgentSession&) const = default;
};

struct SnapshotAgent {
    QString id; // provider id
    QString name;
    SnapshotAgentStatus status = SnapshotAgentStatus::offline;
    qint64 sessions = 0;
    std::optional<Timestamp> startedAt;
    QStringList models;
    // Always present in snapshots built here; absent only when an older
    // writer left it out.
    std::optional<QList<SnapshotAgentSession>> openSessions;

    bool operator==(const SnapshotAgent&) const = default;
};

struct SnapshotUsage {
    struct Percent {
        double fraction = 0; // used share, 0..1
        QString window;
        bool operator==(const Percent&) const = default;
    };
    struct Tokens {
        double count = 0;
        double cost = 0; // US dollars
        QString window;
        bool operator==(const Tokens&) const = default;
    };
    struct Unavailable {
        QString caption;
        bool operator==(const Unavailable&) const = default;
    };
    using Kind = std::variant<Percent, Tokens, Unavailable>;

    QString id; // tile id such as "codex-usage"
    QString name;
    SnapshotPalette palette = SnapshotPalette::neutral;
    Kind kind = Unavailable{};
    std::optional<QString> secondaryText;
    std::optional<Timestamp> resetsAt;

    bool operator==(const SnapshotUsage&) const = default;

    // "neutral" for unavailable tiles; otherwise the family the provider
    // catalogue gives the tile's provider, "opencode" for a provider it does
    // not know.
    [[nodiscard]] static SnapshotPalette paletteFor(const QString& id, const Kind& kind);
};

struct DeckSnapshotContent {
    QList<SnapshotAgent> agents;
    QList<SnapshotUsage> usage;

    bool operator==(const DeckSnapshotContent&) const = default;
};

struct DeckSnapshot {
    // The format version this build writes; readers accept this and older.
    static constexpr qint64 currentVersion = 1;

    qint64 version = currentVersion;
    Timestamp capturedAt;
    DeckSnapshotContent content;

    bool operator==(const DeckSnapshot&) const = default;

    // Version 1, captured at `capturedAt`, with every agent and usage tile in
    // the given order. Agents always get a list of open sessions (possibly
    // empty); tiles get a palette derived from their id and kind instead of
    // their colours.
    [[nodiscard]] static DeckSnapshot from(const QList<Agent>& agents, const QList<ProviderUsage>& usage,
                                           Timestamp capturedAt);
};

[[nodiscard]] QString toString(SnapshotAgentStatus status);
[[nodiscard]] QString toString(SnapshotAgentSession::State state);
[[nodiscard]] QString toString(SnapshotPalette palette);
// Exact, case-sensitive; unknown strings give no value.
[[nodiscard]] std::optional<SnapshotAgentStatus> snapshotAgentStatusFromString(QStringView text);
[[nodiscard]] std::optional<SnapshotAgentSession::State> snapshotSessionStateFromString(QStringView text);
[[nodiscard]] std::optional<SnapshotPalette> snapshotPaletteFromString(QStringView text);

} // namespace vexlor
