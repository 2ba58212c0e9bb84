#pragma once
// What one key of the deck's grid shows, the default layout of the largest
// grid (6 x 4 = 24 slots) and how the layout is kept in the preferences.
//
// The stored value of every case is its own name ("claudeStatus", ...); it is
// what "KeyAssignments" holds and what the interface passes around as text.
// The list itself lives in DeckModel (keyAssignments / assignment(at) /
// assign(to)); the helpers here are the rules it follows.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace vexlor {

class PreferencesStore;

enum class KeyAssignment {
    claudeStatus,
    codexStatus,
    opencodeStatus,
    kimiStatus,
    allAgents,
    claudeUsed,
    claudeLeft,
    claudeSpend,
    claudeSessionUsed,
    claudeSessionLeft,
    codexUsed,
    codexLeft,
    codexSessionUsed,
    codexSessionLeft,
    opencodeUsage,
    kimiUsage,
    info,
    clock,
    spacer,
};

inline const QString kKeyAssignmentsPreference = QStringLiteral("KeyAssignments");

// Every case, in declaration order (the order pickers list them).
[[nodiscard]] const QList<KeyAssignment>& allKeyAssignments();
// The stored value: the case name.
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
