#include "DeckViewState.h"

#include "KeyRules.h"
#include "PickerCatalog.h"

#include <QVariantMap>

namespace vexlor {

DeckViewState::DeckViewState(DeckSource* source, QObject* parent)
    : QObject(parent)
    , m_source(source)
{
    if (source) {
        connect(source, &DeckSource::changed, this, [this] {
            ++m_revision;
            emit revisionChanged();
            emit pickerChanged();
        });
    }
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
    if (m_source)
        m_source->startTimers();
    if (!m_show) {
        m_show = true;
        emit showChanged();
    }
    setShowTipDialog(showTipsOnLaunch);
}

QString DeckViewState::assignmentAt(int slot) const
{
    return m_source ? m_source->assignmentAt(slot) : QStringLiteral("info");
}

QColor DeckViewState::background(int slot) const
{
    return m_source ? keyBackground(assignmentAt(slot), *m_source) : palette::idleTile();
}

bool DeckViewState::chromeless(int slot) const
{
    return isChromeless(assignmentAt(slot));
}

void DeckViewState::tap(int slot)
{
    if (!m_source)
        return;
    const TapEffect effect = tapEffect(assignmentAt(slot), *m_source);
    if (effect.infoPageIndex)
        m_source->setInfoPageIndex(*effect.infoPageIndex);
    if (effect.advancePage)
        m_source->advancePage(1);
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
    const auto label = [this](const QString& assignment) {
        return m_source ? m_source->pickerLabel(assignment) : assignment;
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
    if (m_source)
        m_source->assign(assignment, m_editingSlot);
    closePicker();
}

void DeckViewState::closePicker()
{
    setEditingSlot(-1);
    setPickerProviderID(QString());
}

} // namespace vexlor
