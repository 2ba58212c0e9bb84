pragma ComponentBehavior: Bound
import QtQuick
import Vexlor

// The root of the panel: the deck frame, the key grid, the information bar,
// the title line, the gear, and the overlays stacked over them.
Item {
    id: deck
    property DeckState deckState
    property AppSettings settings
    property DeckModel model
    // The panel moves the window, tucks it and opens the menu; the view only
    // asks, through the deck state's requests.

    readonly property int columns: settings ? settings.gridColumns : 4
    readonly property int rows: settings ? settings.gridRows : 2
    readonly property bool infoBarShown: settings ? settings.showInfoBar : true
    readonly property bool tucked: deckState ? deckState.tucked : false
    readonly property real gridWidth: columns * 96 + (columns - 1) * 16
    readonly property real gridHeight: rows * 96 + (rows - 1) * 16

    readonly property real deckWidth: 34 + gridWidth + 34
    readonly property real deckHeight: 32 + contentColumn.implicitHeight + 18
    // While a card is open the deck grows to hold it at full size (8 around
    // it); the panel follows, and shrinks back once the card has closed.
    readonly property var overlays: [settingsOverlay, pickerOverlay, onlinePromptOverlay, agentListOverlay,
                                     tipsOverlay, sessionSheetOverlay]
    readonly property var openCards: overlays.filter(o => o.open)
    readonly property real cardRoomWidth: openCards.reduce((w, o) => Math.max(w, o.cardWidth + 16), 0)
    readonly property real cardRoomHeight: openCards.reduce((h, o) => Math.max(h, o.cardHeight + 16), 0)
    readonly property bool cardOpen: openCards.length > 0
    Binding {
        target: deck.deckState
        property: "cardOpen"
        value: deck.cardOpen
        when: deck.deckState !== null
    }

    implicitWidth: Math.ceil(Math.max(deckWidth, cardRoomWidth))
    implicitHeight: Math.ceil(Math.max(deckHeight, cardRoomHeight))

    focus: true
    // Escape closes the card on top (the panel takes focus while one is open).
    Keys.onEscapePressed: {
        if (!deckState)
            return
        if (deckState.sheetAgentID.length > 0)
            deckState.sheetAgentID = ""
        else if (deckState.showTipDialog)
            deckState.showTipDialog = false
        else if (deckState.showAgentList)
            deckState.showAgentList = false
        else if (deckState.showOnlinePrompt)
            deckState.showOnlinePrompt = false
        else if (deckState.editingSlot >= 0)
            deckState.closePicker()
        else if (deckState.showSettings)
            deckState.showSettings = false
    }

    Component.onCompleted: {
        if (deckState)
            deckState.appear(settings ? settings.showTipsOnLaunch : false)
    }

    Item {
        id: frame
        width: deck.implicitWidth
        height: deck.implicitHeight
        anchors.horizontalCenter: parent.horizontalCenter

        // The frame is opaque, so its 1-wide inner edge (white 0.12 to 0.02
        // over the fill) is drawn as an outer shape in the blended colours
        // with the fill inset by one point.
        Rectangle {
            anchors.fill: parent
            radius: 36
            antialiasing: true
            gradient: Gradient {
                GradientStop { position: 0.0; color: Qt.rgba(0.2212, 0.2212, 0.2212, 1) }
                GradientStop { position: 1.0; color: Qt.rgba(0.0739, 0.0739, 0.0739, 1) }
            }
        }
        Rectangle {
            anchors.fill: parent
            anchors.margins: 1
            radius: 35
            antialiasing: true
            gradient: Gradient {
                GradientStop { position: 0.0; color: Qt.rgba(0.115, 0.115, 0.115, 1) }
                GradientStop { position: 1.0; color: Qt.rgba(0.055, 0.055, 0.055, 1) }
            }
        }

        // The background: a double click tucks or restores, a drag moves the
        // panel, a right click opens the menu when there is no tray.
        MouseArea {
            anchors.fill: parent
            acceptedButtons: Qt.LeftButton | Qt.RightButton
            property point pressedAt
            property bool dragging: false
            onPressed: mouse => {
                pressedAt = Qt.point(mouse.x, mouse.y)
                dragging = false
            }
            onPositionChanged: mouse => {
                if (!pressed || !(mouse.buttons & Qt.LeftButton))
                    return
                if (!dragging && Math.abs(mouse.x - pressedAt.x) + Math.abs(mouse.y - pressedAt.y) > 3) {
                    dragging = true
                    deck.deckState.dragStarted()
                }
            }
            onReleased: {
                if (dragging) {
                    dragging = false
                    deck.deckState.dragEnded()
                }
            }
            onCanceled: {
                if (dragging) {
                    dragging = false
                    deck.deckState.dragEnded()
                }
            }
            onClicked: mouse => {
                if (mouse.button === Qt.RightButton)
                    deck.deckState.contextMenuRequested()
            }
            onDoubleClicked: mouse => {
                if (mouse.button === Qt.LeftButton && deck.deckState)
                    deck.deckState.tuckToggleRequested()
            }
        }

        Column {
            id: contentColumn
            x: (frame.width - deck.gridWidth) / 2
            y: 32
            width: deck.gridWidth

            Grid {
                id: grid
                objectName: "keyGrid"
                columns: deck.columns
                rowSpacing: 16
                columnSpacing: 16
                Repeater {
                    id: keys
                    model: deck.deckState ? deck.deckState.keys : null
                    delegate: KeyView {
                        id: keyDelegate
                        required property int index
                        required background
                        required chromeless
                        required property var face
                        objectName: "key" + index
                        show: deck.deckState ? deck.deckState.show : false
                        appearDelay: index * 0.06
                        onAction: deck.deckState.tap(index)
                        onLongPressAction: deck.deckState.longPress(index)
                        KeyContent {
                            face: keyDelegate.face
                            model: deck.model
                            quiet: deck.tucked
                        }
                    }
                }
            }

            Item { width: 1; height: deck.infoBarShown ? 22 : 0 }
            Entrance {
                width: deck.gridWidth
                height: deck.infoBarShown ? 84 : 0
                visible: deck.infoBarShown
                show: deck.deckState ? deck.deckState.show : false
                delay: 0.48
                InfoBarView {
                    anchors.fill: parent
                    model: deck.model
                }
            }
            Item { width: 1; height: 14 }
            Entrance {
                width: deck.gridWidth
                height: title.implicitHeight
                show: deck.deckState ? deck.deckState.show : false
                delay: 0.54
                Text {
                    id: title
                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    text: qsTr("VEXLOR - Quorvane")
                    color: Qt.rgba(1, 1, 1, 0.22)
                    font.pixelSize: 9
                    font.weight: Font.DemiBold
                    font.letterSpacing: 3.5
                    maximumLineCount: 1
                    fontSizeMode: Text.HorizontalFit
                    minimumPixelSize: 4
                }
            }
        }

        GearButton {
            objectName: "gearButton"
            anchors.right: parent.right
            anchors.rightMargin: 12
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 8
            opacity: deck.deckState && deck.deckState.showSettings ? 0 : 1
            onAction: deck.deckState.showSettings = true
        }

        // Overlays, later ones on top.
        Overlay {
            id: settingsOverlay
            objectName: "settingsOverlay"
            open: deck.deckState ? deck.deckState.showSettings : false
            cardOrigin: Item.BottomRight
            cardWidth: 250
            cardHeight: settingsCard.implicitHeight
            onDismissed: deck.deckState.showSettings = false
            SettingsCard {
                id: settingsCard
                anchors.fill: parent
                settings: deck.settings
                onClose: deck.deckState.showSettings = false
                onShowTips: {
                    deck.settings.showTipsOnLaunch = true
                    deck.deckState.showSettings = false
                    deck.deckState.showTipDialog = true
                }
                onQuit: Qt.quit()
            }
        }
        Overlay {
            id: pickerOverlay
            objectName: "pickerOverlay"
            open: deck.deckState ? deck.deckState.editingSlot >= 0 : false
            cardWidth: 250
            cardHeight: picker.implicitHeight
            Behavior on cardHeight { DeckSpring { response: 0.35; dampingFraction: 0.85 } }
            onDismissed: deck.deckState.closePicker()
            AssignmentPicker {
                id: picker
                anchors.fill: parent
                deckState: deck.deckState
            }
        }
        Overlay {
            id: onlinePromptOverlay
            objectName: "onlinePromptOverlay"
            open: deck.deckState ? deck.deckState.showOnlinePrompt : false
            cardWidth: 250
            cardHeight: onlinePrompt.implicitHeight
            onDismissed: deck.deckState.showOnlinePrompt = false
            OnlinePrompt {
                id: onlinePrompt
                anchors.fill: parent
                onClose: deck.deckState.showOnlinePrompt = false
                onGoOnline: {
                    deck.settings.onlineAccess = true
                    deck.deckState.showOnlinePrompt = false
                }
            }
        }
        Overlay {
            id: agentListOverlay
            objectName: "agentListOverlay"
            open: deck.deckState ? deck.deckState.showAgentList : false
            cardWidth: 270
            cardHeight: agentList.implicitHeight
            onDismissed: deck.deckState.showAgentList = false
            AgentList {
                id: agentList
                anchors.fill: parent
                model: deck.model
                onClose: deck.deckState.showAgentList = false
                onOpenAgent: agentID => {
                    deck.deckState.showAgentList = false
                    deck.deckState.sheetAgentID = agentID
                }
            }
        }
        Overlay {
            id: tipsOverlay
            objectName: "tipsOverlay"
            open: deck.deckState ? deck.deckState.showTipDialog : false
            cardWidth: 270
            cardHeight: tipsCard.implicitHeight
            onDismissed: deck.deckState.showTipDialog = false
            DidYouKnowCard {
                id: tipsCard
                anchors.fill: parent
                readonly property int index: deck.deckState ? deck.deckState.currentTipIndex : 0
                tip: KeyTexts.tips[index] || ""
                tipNumber: index + 1
                tipCount: KeyTexts.tips.length
                onClose: deck.deckState.showTipDialog = false
                onDontShow: {
                    deck.settings.showTipsOnLaunch = false
                    deck.deckState.showTipDialog = false
                }
                onNext: deck.deckState.currentTipIndex = KeyTexts.nextTipIndex(index)
            }
        }
        Overlay {
            id: sessionSheetOverlay
            objectName: "sessionSheetOverlay"
            open: deck.deckState ? deck.deckState.sheetAgentID.length > 0 : false
            // Titles get the deck's width, not a fixed 270.
            cardWidth: Math.max(270, deck.deckWidth - 48)
            cardHeight: sessionSheet.implicitHeight
            onDismissed: deck.deckState.sheetAgentID = ""
            SessionSheet {
                id: sessionSheet
                anchors.fill: parent
                model: deck.model
                // Keeps the agent while the sheet fades out.
                property string lastAgentID
                agentID: deck.deckState && deck.deckState.sheetAgentID.length > 0
                         ? deck.deckState.sheetAgentID : lastAgentID
                onAgentIDChanged: lastAgentID = agentID
                onClose: deck.deckState.sheetAgentID = ""
            }
        }

        // While tucked, one click anywhere brings the panel back.
        Rectangle {
            objectName: "tuckedCatcher"
            anchors.fill: parent
            visible: deck.tucked
            radius: 36
            color: Qt.rgba(0, 0, 0, 0.001)
            MouseArea {
                anchors.fill: parent
                onClicked: deck.deckState.untuckRequested()
            }
        }
    }
}
