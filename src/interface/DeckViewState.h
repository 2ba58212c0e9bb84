#pragma once
// The deck view's state and decisions: which overlays are open, which key's
// picker is showing which page, and what a tap or long press on a key does.
// QML draws from it and forwards gestures to it; it owns no drawing.

#include "KeyListModel.h"
#include "deck/AppSettings.h"
#include "deck/DeckModel.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

namespace vexlor {

class DeckViewState : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(DeckState)
    QML_UNCREATABLE("made by the application")
    Q_PROPERTY(bool show READ show NOTIFY showChanged)
    Q_PROPERTY(bool showSettings READ showSettings WRITE setShowSettings NOTIFY showSettingsChanged)
    Q_PROPERTY(int editingSlot READ editingSlot NOTIFY editingSlotChanged)
    Q_PROPERTY(QString pickerProviderID READ pickerProviderID NOTIFY pickerProviderIDChanged)
    Q_PROPERTY(bool showOnlinePrompt READ showOnlinePrompt WRITE setShowOnlinePrompt NOTIFY showOnlinePromptChanged)
    Q_PROPERTY(bool showAgentList READ showAgentList WRITE setShowAgentList NOTIFY showAgentListChanged)
    Q_PROPERTY(QString sheetAgentID READ sheetAgentID WRITE setSheetAgentID NOTIFY sheetAgentIDChanged)
    Q_PROPERTY(bool showTipDialog READ showTipDialog WRITE setShowTipDialog NOTIFY showTipDialogChanged)
    Q_PROPERTY(int currentTipIndex READ currentTipIndex WRITE setCurrentTipIndex NOTIFY currentTipIndexChanged)
    // The keys of the grid, one row per slot, slot 0 first.
    Q_PROPERTY(vexlor::KeyListModel* keys READ keys CONSTANT)
    Q_PROPERTY(QString pickerHeader READ pickerHeader NOTIFY pickerChanged)
    // The panel is tucked to a screen edge (set by the panel's owner).
    Q_PROPERTY(bool tucked READ tucked WRITE setTucked NOTIFY tuckedChanged)
    // A card is open over the deck (set by the view).
    Q_PROPERTY(bool cardOpen READ cardOpen WRITE setCardOpen NOTIFY cardOpenChanged)
    Q_PROPERTY(QVariantList pickerRows READ pickerRows NOTIFY pickerChanged)

public:
        // The keys follow the grid of `settings` (4 × 2 without settings).
    explicit DeckViewState(DeckModel* model, AppSettings* settings = nullptr, QObject* parent = nullptr);

    [[nodiscard]] bool show() const { return m_show; }
    [[nodiscard]] bool showSettings() const { return m_showSettings; }
    [[nodiscard]] int editingSlot() const { return m_editingSlot; } // -1: none
    [[nodiscard]] QString pickerProviderID() const { return m_pickerProviderID; } // empty: none
    [[nodiscard]] bool showOnlinePrompt() const { return m_showOnlinePrompt; }
    [[nodiscard]] bool showAgentList() const { return m_showAgentList; }
    [[nodiscard]] QString sheetAgentID() const { return m_sheetAgentID; } // empty: none
    [[nodiscard]] bool showTipDialog() const { return m_showTipDialog; }
    [[nodiscard]] int currentTipIndex() const { return m_currentTipIndex; }
    [[nodiscard]] KeyListModel* keys() { return &m_keys; }
    [[nodiscard]] QString pickerHeader() const;
    [[nodiscard]] bool tucked() const { return m_tucked; }
    void setTucked(bool value);
    [[nodiscard]] bool cardOpen() const { return m_cardOpen; }
    void setCardOpen(bool value);
    [[nodiscard]] QVariantList pickerRows() const;

    void setShowSettings(bool value);
    void setShowOnlinePrompt(bool value);
    void setShowAgentList(bool value);
    void setSheetAgentID(const QString& value);
    void setShowTipDialog(bool value);
    void setCurrentTipIndex(int value);

    // The view was first shown: make the entrance, and open the tips card
    // when the user wants it at launch. The application starts the model's
    // timers once the view shows.
    Q_INVOKABLE void appear(bool showTipsOnLaunch);

    [[nodiscard]] QString assignmentAt(int slot) const;

    Q_INVOKABLE void tap(int slot);
    Q_INVOKABLE void longPress(int slot);

    Q_INVOKABLE void openPickerProvider(const QString& providerID);
    Q_INVOKABLE void closePickerProvider();
    Q_INVOKABLE void choosePickerOption(const QString& assignment);
    Q_INVOKABLE void closePicker();

signals:
    void showChanged();
    void showSettingsChanged();
    void editingSlotChanged();
    void pickerProviderIDChanged();
    void showOnlinePromptChanged();
    void showAgentListChanged();
    void sheetAgentIDChanged();
    void showTipDialogChanged();
    void currentTipIndexChanged();
    void pickerChanged();
    void tuckedChanged();
    void cardOpenChanged();

    // Requests the view makes of the panel around it; the panel's owner acts.
    // A drag on the deck's background started (the pointer moved a few
    // points with the button down) or ended at the release.
    void dragStarted();
    void dragEnded();
    void contextMenuRequested();
    // A double click on the background, and a click on a tucked deck.
    void tuckToggleRequested();
    void untuckRequested();

private:
    void setEditingSlot(int slot);
    void setPickerProviderID(const QString& id);

    QPointer<DeckModel> m_model;
    KeyListModel m_keys;
    bool m_show = false;
    bool m_showSettings = false;
    int m_editingSlot = -1;
    QString m_pickerProviderID;
    bool m_showOnlinePrompt = false;
    bool m_showAgentList = false;
    QString m_sheetAgentID;
    bool m_showTipDialog = false;
    int m_currentTipIndex = 0;
    bool m_tucked = false;
    bool m_cardOpen = false;
};

} // namespace vexlor
