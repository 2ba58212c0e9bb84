#include "KeyAssignment.h"

#include "PreferencesStore.h"

#include <QCoreApplication>

namespace vexlor {

namespace {

struct CaseInfo {
    KeyAssignment assignment;
    const char16_t* stored;
    const char* label; // translation source
};

// Declaration order; the table is indexed by the enumeration's value.
constexpr CaseInfo kCases[] = {
    {KeyAssignment::claudeStatus, u"claudeStatus", QT_TRANSLATE_NOOP("KeyAssignment", "Status")},
    {KeyAssignment::codexStatus, u"codexStatus", QT_TRANSLATE_NOOP("KeyAssignment", "Status")},
    {KeyAssignment::opencodeStatus, u"opencodeStatus", QT_TRANSLATE_NOOP("KeyAssignment", "Status")},
    {KeyAssignment::kimiStatus, u"kimiStatus", QT_TRANSLATE_NOOP("KeyAssignment", "Status")},
    {KeyAssignment::allAgents, u"allAgents", QT_TRANSLATE_NOOP("KeyAssignment", "All agents")},
    {KeyAssignment::claudeUsed, u"claudeUsed", QT_TRANSLATE_NOOP("KeyAssignment", "% used")},
    {KeyAssignment::claudeLeft, u"claudeLeft", QT_TRANSLATE_NOOP("KeyAssignment", "% left")},
    {KeyAssignment::claudeSpend, u"claudeSpend", QT_TRANSLATE_NOOP("KeyAssignment", "Tokens & cost")},
    {KeyAssignment::claudeSessionUsed, u"claudeSessionUsed", QT_TRANSLATE_NOOP("KeyAssignment", "% used session")},
    {KeyAssignment::claudeSessionLeft, u"claudeSessionLeft", QT_TRANSLATE_NOOP("KeyAssignment", "% left session")},
    {KeyAssignment::codexUsed, u"codexUsed", QT_TRANSLATE_NOOP("KeyAssignment", "% used")},
    {KeyAssignment::codexLeft, u"codexLeft", QT_TRANSLATE_NOOP("KeyAssignment", "% left")},
    {KeyAssignment::codexSessionUsed, u"codexSessionUsed", QT_TRANSLATE_NOOP("KeyAssignment", "% used session")},
    {KeyAssignment::codexSessionLeft, u"codexSessionLeft", QT_TRANSLATE_NOOP("KeyAssignment", "% left session")},
    {KeyAssignment::opencodeUsage, u"opencodeUsage", QT_TRANSLATE_NOOP("KeyAssignment", "Tokens & cost")},
    {KeyAssignment::kimiUsage, u"kimiUsage", QT_TRANSLATE_NOOP("KeyAssignment", "Tokens & cost")},
    {KeyAssignment::info, u"info", QT_TRANSLATE_NOOP("KeyAssignment", "Info pages")},
    {KeyAssignment::clock, u"clock", QT_TRANSLATE_NOOP("KeyAssignment", "Clock")},
    {KeyAssignment::spacer, u"spacer", QT_TRANSLATE_NOOP("KeyAssignment", "Empty")},
};
static_assert(std::size(kCases) == 19);

const CaseInfo& info(KeyAssignment a)
{
    return kCases[static_cast<int>(a)];
}

} // namespace

const QList<KeyAssignment>& allKeyAssignments()
{
    static const QList<KeyAssignment> all = [] {
        QList<KeyAssignment> list;
        for (const CaseInfo& c : kCases)
            list.append(c.assignment);
        return list;
    }();
    return all;
}

QString toString(KeyAssignment assignment)
{
    return QString::fromUtf16(info(assignment).stored);
}

std::optional<KeyAssignment> keyAssignmentFromString(QStringView text)
{
    for (const CaseInfo& c : kCases) {
        if (text == QStringView(c.stored))
            return c.assignment;
    }
    return std::nullopt;
}

QString pickerLabel(KeyAssignment assignment)
{
    return QCoreApplication::translate("KeyAssignment", info(assignment).label);
}

const QList<KeyAssignment>& defaultKeyAssignments()
{
    using K = KeyAssignment;
    static const QList<KeyAssignment> defaults = {
        K::claudeStatus, K::codexStatus, K::opencodeStatus, K::kimiStatus,
        K::claudeUsed, K::codexUsed, K::opencodeUsage, K::kimiUsage,
        K::allAgents, K::claudeSpend, K::clock, K::info,
        K::claudeSessionUsed, K::codexSessionUsed, K::claudeLeft, K::codexLeft,
        K::claudeSessionLeft, K::codexSessionLeft, K::clock, K::info,
        K::info, K::info, K::info, K::info,
    };
    return defaults;
}

KeyAssignment defaultAssignment(qsizetype slot)
{
    const auto& defaults = defaultKeyAssignments();
    return slot >= 0 && slot < defaults.size() ? defaults.at(slot) : KeyAssignment::info;
}

QList<KeyAssignment> loadKeyAssignments(const PreferencesStore& store)
{
    const std::optional<QStringList> stored = store.stringArray(kKeyAssignmentsPreference);
    if (!stored)
        return defaultKeyAssignments();
    QList<KeyAssignment> out;
    out.reserve(stored->size());
    for (qsizetype i = 0; i < stored->size(); ++i)
        out.append(keyAssignmentFromString(stored->at(i)).value_or(defaultAssignment(i)));
    return out;
}

void saveKeyAssignments(PreferencesStore& store, const QList<KeyAssignment>& assignments)
{
    store.setStringArray(kKeyAssignmentsPreference, toStringList(assignments));
}

KeyAssignment assignmentAt(const QList<KeyAssignment>& assignments, qsizetype slot)
{
    if (slot < 0)
        return KeyAssignment::info;
    if (slot >= assignments.size())
        return defaultAssignment(slot);
    return assignments.at(slot);
}

QStringList toStringList(const QList<KeyAssignment>& assignments)
{
    QStringList out;
    out.reserve(assignments.size());
    for (KeyAssignment a : assignments)
        out.append(toString(a));
    return out;
}

} // namespace vexlor
