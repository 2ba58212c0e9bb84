pragma ComponentBehavior: Bound
import QtQuick
import Vexlor

// The settings card: online plan limits, the key grid's size and the info
// bar, notifications, the fleet's broker, the tips, a hint and quitting.
// Every value lives in the settings.
Item {
    id: card
    property AppSettings settings
    signal close()
    signal showTips()
    signal quit()
    implicitWidth: 250
    implicitHeight: column.implicitHeight + 32

    readonly property var columnChoices: settings && settings.columnChoices ? settings.columnChoices : [2, 3, 4, 5, 6]
    readonly property var rowChoices: settings && settings.rowChoices ? settings.rowChoices : [1, 2, 3, 4]

    component Pill: Rectangle {
        id: pill
        property int value
        property bool selected
        signal picked(int value)
        width: 26
        height: 22
        radius: 6
        antialiasing: true
        color: selected ? DeckPalette.workingGreen : Qt.rgba(1, 1, 1, 0.08)
        Text {
            anchors.centerIn: parent
            text: qsTr("%1").arg(pill.value)
            color: pill.selected ? Qt.rgba(0, 0, 0, 0.85) : Qt.rgba(1, 1, 1, 0.65)
            font.family: DeckPalette.figureFont
            font.pixelSize: 11
            font.weight: Font.Bold
        }
        MouseArea {
            anchors.fill: parent
            onClicked: pill.picked(pill.value)
        }
    }
    component ChoiceRow: Item {
        id: choice
        property string label
        property var values: []
        property int current
        property string name
        signal picked(int value)
        width: parent ? parent.width : 0
        height: 22
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: choice.label
            color: Qt.rgba(1, 1, 1, 0.55)
            font.pixelSize: 10
            font.weight: Font.Medium
        }
        Row {
            anchors.right: parent.right
            spacing: 4
            Repeater {
                model: choice.values
                Pill {
                    required property int modelData
                    objectName: choice.name + modelData
                    value: modelData
                    selected: modelData === choice.current
                    onPicked: v => choice.picked(v)
                }
            }
        }
    }

    Column {
        id: column
        x: 16
        y: 16
        width: card.width - 32

        // Header
        Item {
            width: parent.width
            height: Math.max(titles.height, 24)
            Column {
                id: titles
                spacing: 2
                Text {
                    text: qsTr("VEXLOR")
                    color: Qt.rgba(1, 1, 1, 0.95)
                    font.pixelSize: 13
                    font.weight: Font.ExtraBold
                }
                Text {
                    text: qsTr("Quorvane")
                    color: Qt.rgba(1, 1, 1, 0.45)
                    font.pixelSize: 9
                    font.weight: Font.Medium
                }
            }
            CardButton {
                objectName: "closeSettings"
                anchors.right: parent.right
                systemImage: "xmark"
                onAction: card.close()
            }
        }
        Item { width: 1; height: 12 }
        HairlineSeparator {}

        // Online plan limits
        Item { width: 1; height: 12 }
        DeckToggleStyle {
            objectName: "onlineSwitch"
            label: qsTr("Online plan limits")
            checked: card.settings ? !!card.settings.onlineAccess : false
            onToggled: value => card.settings.onlineAccess = value
        }
        Item { width: 1; height: 4 }
        WrappedText {
            width: parent.width
            text: Qt.platform.os === "osx"
                  ? qsTr("Fetch Claude/Codex limits with the CLIs' own credentials. May show a one-time Keychain prompt. Off = fully local.")
                  : qsTr("Fetch Claude/Codex limits with the CLIs' own credentials, from the Secret Service or Claude Code's own credentials file. Off = fully local.")
            color: Qt.rgba(1, 1, 1, 0.4)
            size: 8.5
            font.weight: Font.Medium
        }
        Item { width: 1; height: 12 }
        HairlineSeparator {}

        // Key grid
        Item { width: 1; height: 12 }
        Column {
            width: parent.width
            spacing: 8
            Text {
                text: qsTr("Key grid")
                color: Qt.rgba(1, 1, 1, 0.9)
                font.pixelSize: 12
                font.weight: Font.DemiBold
            }
            ChoiceRow {
                label: qsTr("Columns")
                name: "columnPill"
                values: card.columnChoices
                current: card.settings ? card.settings.gridColumns : 0
                onPicked: v => card.settings.gridColumns = v
            }
            ChoiceRow {
                label: qsTr("Rows")
                name: "rowPill"
                values: card.rowChoices
                current: card.settings ? card.settings.gridRows : 0
                onPicked: v => card.settings.gridRows = v
            }
        }
        Item { width: 1; height: 4 }
        DeckToggleStyle {
            objectName: "infoBarSwitch"
            label: qsTr("Info bar")
            checked: card.settings ? !!card.settings.showInfoBar : false
            onToggled: value => card.settings.showInfoBar = value
        }
        Item { width: 1; height: 12 }
        HairlineSeparator {}

        // Desktop
        Item { width: 1; height: 12 }
        DeckToggleStyle {
            objectName: "notifySwitch"
            label: qsTr("Notify when an agent needs you")
            checked: card.settings ? !!card.settings.notifyNeedsYou : false
            onToggled: value => card.settings.notifyNeedsYou = value
        }
        Item { width: 1; height: 8 }
        DeckToggleStyle {
            objectName: "launchAtLoginSwitch"
            label: qsTr("Launch at login")
            checked: card.settings ? !!card.settings.launchAtLogin : false
            onToggled: value => card.settings.launchAtLogin = value
        }
        Item { width: 1; height: 12 }
        HairlineSeparator {}

        // Fleet
        Item { width: 1; height: 12 }
        Text {
            text: qsTr("Fleet broker")
            color: Qt.rgba(1, 1, 1, 0.9)
            font.pixelSize: 12
            font.weight: Font.DemiBold
        }
        Item { width: 1; height: 6 }
        Rectangle {
            width: parent.width
            height: 22
            radius: 6
            antialiasing: true
            color: Qt.rgba(1, 1, 1, 0.08)
            TextInput {
                id: brokerInput
                objectName: "brokerInput"
                anchors.fill: parent
                anchors.leftMargin: 8
                anchors.rightMargin: 8
                verticalAlignment: TextInput.AlignVCenter
                clip: true
                selectByMouse: true
                text: card.settings ? card.settings.fleetBroker : ""
                color: Qt.rgba(1, 1, 1, 0.85)
                font.pixelSize: 10
                font.weight: Font.Medium
                onEditingFinished: {
                    if (card.settings)
                        card.settings.fleetBroker = text
                }
            }
            Text {
                anchors.fill: brokerInput
                verticalAlignment: Text.AlignVCenter
                visible: brokerInput.text.length === 0 && !brokerInput.activeFocus
                text: qsTr("mqtts://user@broker/prefix")
                color: Qt.rgba(1, 1, 1, 0.3)
                font.pixelSize: 10
                font.weight: Font.Medium
            }
        }
        Item { width: 1; height: 4 }
        WrappedText {
            width: parent.width
            text: qsTr("Shares this deck with your other machines from the next start. Empty: this machine alone.")
            color: Qt.rgba(1, 1, 1, 0.4)
            size: 8.5
            font.weight: Font.Medium
        }
        Item { width: 1; height: 12 }
        HairlineSeparator {}

        // Tips
        Item {
            objectName: "tipsRow"
            width: parent.width
            height: 12 + tipsLine.height + 12
            Row {
                id: tipsLine
                y: 12
                spacing: 10
                SymbolIcon {
                    anchors.verticalCenter: parent.verticalCenter
                    name: "lightbulb.fill"
                    size: 11
                    color: DeckPalette.attentionAmber
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("Show Did You Know")
                    color: Qt.rgba(1, 1, 1, 0.9)
                    font.pixelSize: 12
                    font.weight: Font.DemiBold
                }
            }
            SymbolIcon {
                anchors.right: parent.right
                anchors.verticalCenter: tipsLine.verticalCenter
                name: "chevron.right"
                size: 9
                color: Qt.rgba(1, 1, 1, 0.35)
            }
            MouseArea {
                anchors.fill: parent
                onClicked: card.showTips()
            }
        }
        HairlineSeparator {}

        // Hint
        Item { width: 1; height: 12 }
        WrappedText {
            width: parent.width
            text: qsTr("Double-tap or long-press any key to choose what it displays")
            color: Qt.rgba(1, 1, 1, 0.4)
            size: 8.5
            font.weight: Font.Medium
        }
        Item { width: 1; height: 12 }
        HairlineSeparator {}

        // Quit
        Item {
            objectName: "quitRow"
            width: parent.width
            height: 12 + quitLine.height
            Row {
                id: quitLine
                y: 12
                spacing: 10
                SymbolIcon {
                    anchors.verticalCenter: parent.verticalCenter
                    name: "power"
                    size: 11
                    color: DeckPalette.quitRed
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("Quit Vexlor")
                    color: DeckPalette.quitRed
                    font.pixelSize: 12
                    font.weight: Font.DemiBold
                }
            }
            MouseArea {
                anchors.fill: parent
                onClicked: card.quit()
            }
        }
    }
}
