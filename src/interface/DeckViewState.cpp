#include "DeckViewState.h"

#include "KeyRules.h"
#include "PickerCatalog.h"

#include <QVariantMap>

namespace vexlor {

DeckViewState::DeckViewState(DeckModel* model, AppSettings* settings, QObject* parent)
    : QObject(parent)
    , m_model(model)
    , m_keys(model, this)
{
    // The picker's rows carry the labels and the selection of the keys.
    if (model)
        connect(model, &DeckModel::keyAssignmentsChanged, this, &DeckViewState::pickerChanged);
    if (!settings) {
        m_keys.setSlotCount(4 * 2);
        return;
    }
    const QPointer<AppSettings> grid(settings);
    const auto followGrid = [this, grid] {
        if (grid)
            m_keys.setSlotCount(grid->gridColumns() * grid->gridRows());
    };
    connect(settings, &AppSettings::gridColumnsChanged, this, followGrid);
    connect(settings, &AppSettings::gridRowsChanged, this, followGrid);
    followGrid();
}

#define VEXLOR_SETTER(setter, member, signal)  \
    void DeckViewState::setter(decltype(member) value) \
    {                                               \
        if (member == value)                        \
            return;                                 \
        member = value;                             \
        emit signal();                              \
    }

VEXLOR_SETTER(setShowSettings, m_showSettings, showSettingsChanged)
VEXLOR_SETTER(setShowOnlinePrompt, m_showOnlinePrompt, showOnlinePromptChanged)
VEXLOR_SETTER(setShowAgentList, m_showAgentList, showAgentListChanged)
VEXLOR_SETTER(setShowTipDialog, m_showTipDialog, showTipDialogChanged)
VEXLOR_SETTER(setCurrentTipIndex, m_currentTipIndex, currentTipIndexChanged)
VEXLOR_SETTER(setTucked, m_tucked, tuckedChanged)
VEXLOR_SETTER(setCardOpen, m_cardOpen, cardOpenChanged)
#undef VEXLOR_SETTER

void DeckViewState::setSheetAgentID(const QString& value)
{
    if (m_sheetAgentID == value)
        return;
    m_sheetAgentID = value;
    emit sheetAgentIDChanged();
}

void DeckViewState::setEditingSlot(int slot)
{
    if (m_editingSlot == slot)
        return;
    m_editingSlot = slot;
    emit editingSlotChanged();
    emit pickerChanged();
}

void DeckViewState::setPickerProviderID(const QString& id)
{
    if (m_pickerProviderID == id)
        return;
    m_pickerProviderID = id;
    emit pickerProviderIDChanged();
    emit pickerChanged();
}

void DeckViewState::appear(bool showTipsOnLaunch)
{
    if (!m_show) {
        m_show = true;
        emit showChanged();
    }
    setShowTipDialog(showTipsOnLaunch);
}

QString DeckViewState::assignmentAt(int slot) const
{
    return m_model ? toString(m_model->assignmentAt(slot)) : QStringLiteral("info");
}

void DeckViewState::tap(int slot)
{
    if (!m_model)
        return;
    const TapEffect effect = tapEffect(assignmentAt(slot), *m_model);
    if (effect.infoPageIndex)
        m_model->setInfoPageIndex(*effect.infoPageIndex);
    if (effect.advancePage)
        m_model->advancePage(1);
    if (effect.sheetAgentID)
        setSheetAgentID(*effect.sheetAgentID);
    if (effect.showAgentList)
        setShowAgentList(true);
    if (effect.showOnlinePrompt)
        setShowOnlinePrompt(true);
}

void DeckViewState::longPress(int slot)
{
    setEditingSlot(slot);
}

QString DeckViewState::pickerHeader() const
{
    return vexlor::pickerHeader(m_editingSlot, m_pickerProviderID);
}

QVariantList DeckViewState::pickerRows() const
{
    QVariantList out;
    if (m_editingSlot < 0)
        return out;
    const QString current = assignmentAt(m_editingSlot);
    const auto label = [](const QString& assignment) {
        const auto value = keyAssignmentFromString(assignment);
        return value ? vexlor::pickerLabel(*value) : assignment;
    };
    for (const auto& row : vexlor::pickerRows(current, m_pickerProviderID, label)) {
        QVariantMap map;
        map[QStringLiteral("kind")] = row.kind == PickerRow::Kind::option    ? QStringLiteral("option")
                                      : row.kind == PickerRow::Kind::section ? QStringLiteral("section")
                                                                             : QStringLiteral("provider");
        map[QStringLiteral("label")] = row.label;
        map[QStringLiteral("selected")] = row.selected;
        map[QStringLiteral("assignment")] = row.assignment;
        map[QStringLiteral("providerID")] = row.providerID;
        out.append(map);
    }
    return out;
}

void DeckViewState::openPickerProvider(const QString& providerID)
{
    if (findPickerProvider(providerID))
        setPickerProviderID(providerID);
}

void DeckViewState::closePickerProvider()
{
    setPickerProviderID(QString());
}

void DeckViewState::choosePickerOption(const QString& assignment)
{
    if (m_editingSlot < 0)
        return;
    const auto value = keyAssignmentFromString(assignment);
    if (m_model && value)
        m_model->assign(*value, m_editingSlot);
    closePicker();
}

void DeckViewState::closePicker()
{
    setEditingSlot(-1);
    setPickerProviderID(QString());
}

} // namespace vexlor
