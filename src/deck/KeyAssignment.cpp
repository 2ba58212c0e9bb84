#include "KeyAssignment.h"

#include "PreferencesStore.h"
#include "collection/ProviderCatalog.h"

#include <QCoreApplication>

namespace vexlor {

namespace {

struct Row {
    QString name;
    const char* label; // translation source
    KeyAssignment::Shows shows;
    const ProviderInfo* provider = nullptr;
    QString tileID = {};
    bool showRemaining = false;
};

// The general keys come first, in the rows the static accessors name.
enum GeneralRow : qsizetype { allAgentsRow, infoRow, clockRow, spacerRow, fleetRow };

QList<Row> makeRows()
{
    using Shows = KeyAssignment::Shows;
    QList<Row> rows{
        {QStringLiteral("allAgents"), QT_TRANSLATE_NOOP("KeyAssignment", "All agents"), Shows::allAgents},
        {QStringLiteral("info"), QT_TRANSLATE_NOOP("KeyAssignment", "Info pages"), Shows::info},
        {QStringLiteral("clock"), QT_TRANSLATE_NOOP("KeyAssignment", "Clock"), Shows::clock},
        {QStringLiteral("spacer"), QT_TRANSLATE_NOOP("KeyAssignment", "Empty"), Shows::nothing},
        {QStringLiteral("fleet"), QT_TRANSLATE_NOOP("KeyAssignment", "Fleet"), Shows::fleet},
    };
    for (const ProviderInfo& p : providerCatalog()) {
        for (const ProviderKey& key : p.keys) {
            Row row{QString::fromUtf16(key.name), key.label, Shows::agent, &p, QString(), key.showRemaining};
            switch (key.shows) {
            case ProviderKey::Shows::status:
                break;
            case ProviderKey::Shows::mainTile:
                row.shows = Shows::mainTile;
                break;
            case ProviderKey::Shows::tile:
                row.shows = Shows::tile;
                row.tileID = p.tileID(key.tileSuffix);
                break;
            }
            rows.append(row);
        }
    }
    return rows;
}

const QList<Row>& rows()
{
    static const QList<Row> table = makeRows();
    return table;
}

KeyAssignment named(QStringView name)
{
    const auto found = keyAssignmentFromString(name);
    Q_ASSERT(found);
    return found.value_or(KeyAssignment::info());
}

} // namespace

KeyAssignment KeyAssignment::allAgents() { return allKeyAssignments().at(allAgentsRow); }
KeyAssignment KeyAssignment::info() { return allKeyAssignments().at(infoRow); }
KeyAssignment KeyAssignment::clock() { return allKeyAssignments().at(clockRow); }
KeyAssignment KeyAssignment::spacer() { return allKeyAssignments().at(spacerRow); }
KeyAssignment KeyAssignment::fleet() { return allKeyAssignments().at(fleetRow); }

KeyAssignment::Shows KeyAssignment::shows() const { return rows().at(m_row).shows; }
const ProviderInfo* KeyAssignment::provider() const { return rows().at(m_row).provider; }
QString KeyAssignment::tileID() const { return rows().at(m_row).tileID; }
bool KeyAssignment::showRemaining() const { return rows().at(m_row).showRemaining; }

const QList<KeyAssignment>& allKeyAssignments()
{
    static const QList<KeyAssignment> all = [] {
        QList<KeyAssignment> list;
        for (qsizetype i = 0; i < rows().size(); ++i)
            list.append(KeyAssignment(i));
        return list;
    }();
    return all;
}

QString toString(KeyAssignment assignment)
{
    return rows().at(allKeyAssignments().indexOf(assignment)).name;
}

std::optional<KeyAssignment> keyAssignmentFromString(QStringView text)
{
    const QList<Row>& table = rows();
    for (qsizetype i = 0; i < table.size(); ++i) {
        if (table.at(i).name == text)
            return allKeyAssignments().at(i);
    }
    return std::nullopt;
}

QString pickerLabel(KeyAssignment assignment)
{
    return QCoreApplication::translate("KeyAssignment", rows().at(allKeyAssignments().indexOf(assignment)).label);
}

const QList<KeyAssignment>& defaultKeyAssignments()
{
    static const QList<KeyAssignment> defaults = [] {
        QList<KeyAssignment> list;
        for (const char16_t* name : {
                 u"claudeStatus", u"codexStatus", u"opencodeStatus", u"kimiStatus",
                 u"claudeUsed", u"codexUsed", u"opencodeUsage", u"kimiUsage",
                 u"allAgents", u"claudeSpend", u"clock", u"info",
                 u"claudeSessionUsed", u"codexSessionUsed", u"claudeLeft", u"codexLeft",
                 u"claudeSessionLeft", u"codexSessionLeft", u"clock", u"info",
                 u"info", u"info", u"info", u"info"})
            list.append(named(name));
        return list;
    }();
    return defaults;
}

KeyAssignment defaultAssignment(qsizetype slot)
{
    const auto& defaults = defaultKeyAssignments();
    return slot >= 0 && slot < defaults.size() ? defaults.at(slot) : KeyAssignment::info();
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
        return KeyAssignment::info();
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
