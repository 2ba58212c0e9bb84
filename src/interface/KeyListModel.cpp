#include "KeyListModel.h"

#include "KeyRules.h"

namespace vexlor {

KeyListModel::KeyListModel(DeckModel* model, QObject* parent)
    : QAbstractListModel(parent)
    , m_model(model)
{
    if (model) {
        connect(model, &DeckModel::agentsChanged, this, &KeyListModel::refresh);
        connect(model, &DeckModel::usageChanged, this, &KeyListModel::refresh);
        connect(model, &DeckModel::keyAssignmentsChanged, this, &KeyListModel::refresh);
        // The fleet key's background follows the fleet.
        connect(model, &DeckModel::fleetChanged, this, &KeyListModel::refresh);
    }
}

int KeyListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant KeyListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& row = m_rows.at(index.row());
    switch (role) {
    case AssignmentRole:
        return row.assignment;
    case BackgroundRole:
        return row.background;
    case ChromelessRole:
        return row.chromeless;
    case FaceRole:
        return QVariant::fromValue(row.face);
    default:
        return {};
    }
}

QHash<int, QByteArray> KeyListModel::roleNames() const
{
    return {
        {AssignmentRole, "assignment"},
        {BackgroundRole, "background"},
        {ChromelessRole, "chromeless"},
        {FaceRole, "face"},
    };
}

KeyListModel::Row KeyListModel::rowAt(int slot) const
{
    Row row;
    if (!m_model) {
        row.assignment = QStringLiteral("info");
        row.background = palette::idleTile();
        return row;
    }
    const KeyAssignment key = m_model->assignmentAt(slot);
    row.assignment = toString(key);
    row.background = keyBackground(row.assignment, *m_model);
    row.chromeless = isChromeless(row.assignment);
    row.face = m_model->keyFace(key);
    return row;
}

void KeyListModel::setSlotCount(int count)
{
    count = std::max(count, 0);
    if (count == slotCount())
        return;
    // A new grid is a new set of keys (each makes its entrance again).
    beginResetModel();
    m_rows.clear();
    for (int slot = 0; slot < count; ++slot)
        m_rows.append(rowAt(slot));
    endResetModel();
    emit slotCountChanged();
}

void KeyListModel::refresh()
{
    for (int slot = 0; slot < slotCount(); ++slot) {
        Row fresh = rowAt(slot);
        Row& row = m_rows[slot];
        QList<int> changed;
        if (fresh.assignment != row.assignment)
            changed.append(AssignmentRole);
        if (fresh.background != row.background)
            changed.append(BackgroundRole);
        if (fresh.chromeless != row.chromeless)
            changed.append(ChromelessRole);
        if (!(fresh.face == row.face))
            changed.append(FaceRole);
        if (changed.isEmpty())
            continue;
        row = std::move(fresh);
        const QModelIndex at = index(slot);
        emit dataChanged(at, at, changed);
    }
}

} // namespace vexlor
