#pragma once
// What one key of the deck's grid shows, the default layout of the largest
// grid (6 x 4 = 24 slots) and how the layout is kept in the preferences.
//
// Every assignment is stored as its name ("claudeStatus", "clock", ...); it is
// what "KeyAssignments" holds and what the interface passes around as text.
// The list itself lives in DeckModel (keyAssignments / assignment(at) /
// assign(to)); the helpers here are the rules it follows.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace vexlor {

class PreferencesStore;

struct ProviderInfo;

// One choice from the table of keys: the general keys (all agents, info,
// clock, spacer, fleet), then every provider's keys as the provider catalogue lists
// them. A value always names a row of that table.
class KeyAssignment {
public:
    // What a key with this assignment draws.
    enum class Shows {
        agent,     // the provider's agent
        mainTile,  // the first tile whose id starts with the provider id
        tile,      // the tile `tileID()` names, or a placeholder for it
        allAgents, // the overview of every agent
        info,      // the information pages' key
        clock,
        nothing,   // the spacer
        fleet,     // how many hosts of the fleet are online and need the user
    };

    [[nodiscard]] static KeyAssignment allAgents();
    [[nodiscard]] static KeyAssignment info();
    [[nodiscard]] static KeyAssignment clock();
    [[nodiscard]] static KeyAssignment spacer();
    [[nodiscard]] static KeyAssignment fleet();

    [[nodiscard]] Shows shows() const;
    // The provider a provider key belongs to; null for the general keys.
    [[nodiscard]] const ProviderInfo* provider() const;
    // Shows::tile: the tile's exact id ("claude-session"); empty otherwise.
    [[nodiscard]] QString tileID() const;
    // The share left of a percent tile instead of the share used.
    [[nodiscard]] bool showRemaining() const;

    bool operator==(const KeyAssignment&) const = default;

private:
    friend const QList<KeyAssignment>& allKeyAssignments();
    explicit KeyAssignment(qsizetype row)
        : m_row(row)
    {
    }
    qsizetype m_row = 0;
};

inline const QString kKeyAssignmentsPreference = QStringLiteral("KeyAssignments");

// Every assignment: the general keys, then each provider's keys.
[[nodiscard]] const QList<KeyAssignment>& allKeyAssignments();
// The stored value: the assignment's name.
[[nodiscard]] QString toString(KeyAssignment assignment);
// Exact and case-sensitive; any other text gives no value.
[[nodiscard]] std::optional<KeyAssignment> keyAssignmentFromString(QStringView text);
// The short, translated label a picker shows under the provider's name.
[[nodiscard]] QString pickerLabel(KeyAssignment assignment);

// The 24 entries of the default layout, slot 0 first.
[[nodiscard]] const QList<KeyAssignment>& defaultKeyAssignments();
// Entry `slot` of the default layout, or `info` outside 0...23.
[[nodiscard]] KeyAssignment defaultAssignment(qsizetype slot);

// The layout as stored under "KeyAssignments": the defaults when the key is
// missing or not an array of strings; otherwise one entry per stored string,
// an unknown string replaced by the default of its slot. Nothing is written.
[[nodiscard]] QList<KeyAssignment> loadKeyAssignments(const PreferencesStore& store);
void saveKeyAssignments(PreferencesStore& store, const QList<KeyAssignment>& assignments);

// The entry a key at `slot` shows: `info` for a negative slot, the default of
// the slot beyond the list's end, the stored entry otherwise.
[[nodiscard]] KeyAssignment assignmentAt(const QList<KeyAssignment>& assignments, qsizetype slot);

[[nodiscard]] QStringList toStringList(const QList<KeyAssignment>& assignments);

} // namespace vexlor
