pragma ComponentBehavior: Bound
import QtQuick
import Vexlor

// The open sessions of one agent, where the user acknowledges the ones that
// wait for them.
Item {
    id: sheet
    property DeckModel model
    property string agentID
    // Read again whenever the agents change.
    readonly property var agent: model && agentID.length > 0 ? agentIn(model.agents, agentID) : undefined
    function agentIn(agents, id) {
        return agents.find(a => a.id === id)
    }
    readonly property var sessions: agent ? agent.openSessions : []
    readonly property bool needsAttention: agent !== undefined && KeyTexts.needsAttention(agent)
    readonly property int hiddenCount: agent !== undefined ? KeyTexts.hiddenSessionCount(agent) : 0
    readonly property color statusColor: DeckPalette.statusColor(agent ? agent.status : "idle")
    signal close()
    implicitWidth: 270
    implicitHeight: column.implicitHeight + 32

    Column {
        id: column
        x: 16
        y: 16
        width: sheet.width - 32

        Item {
            width: parent.width
            height: 24
            Row {
                anchors.verticalCenter: parent.verticalCenter
                spacing: 8
                GlowDot {
                    anchors.verticalCenter: parent.verticalCenter
                    size: 8
                    color: sheet.statusColor
                    glowOpacity: 0.8
                    glowRadius: 3
                }
                Text {
                    objectName: "sheetTitle"
                    anchors.verticalCenter: parent.verticalCenter
                    text: sheet.agent !== undefined ? KeyTexts.sheetTitle(sheet.agent) : ""
                    color: Qt.rgba(1, 1, 1, 0.6)
                    font.pixelSize: 10
                    font.weight: Font.ExtraBold
                    font.letterSpacing: 1.5
                }
            }
            CardButton {
                objectName: "closeSheet"
                anchors.right: parent.right
                systemImage: "xmark"
                onAction: sheet.close()
            }
        }
        Item { width: 1; height: 8 }

        Repeater {
            model: sheet.sessions
            delegate: Column {
                id: row
                required property var modelData
                required property int index
                width: column.width
                HairlineSeparator { visible: row.index > 0 }
                Item {
                    objectName: "sessionRow"
                    width: parent.width
                    height: 8 + title.height + 8
                    Rectangle {
                        x: 0
                        y: title.y + title.baselineOffset - 6 - 2 + 1
                        width: 6
                        height: 6
                        radius: 3
                        color: DeckPalette.sessionColor(row.modelData.state)
                        antialiasing: true
                    }
                    Text {
                        id: title
                        objectName: "sessionTitle"
                        x: 14
                        y: 8
                        width: parent.width - 14 - (elapsed.visible ? elapsed.implicitWidth + 8 : 0)
                        text: row.modelData.title
                        textFormat: Text.PlainText
                        elide: Text.ElideRight
                        maximumLineCount: 1
                        color: Qt.rgba(1, 1, 1, 0.92)
                        font.pixelSize: 12
                        font.weight: Font.DemiBold
                    }
                    Text {
                        id: elapsed
                        visible: text.length > 0
                        anchors.right: parent.right
                        anchors.baseline: title.baseline
                        text: sheet.model ? KeyTexts.sessionTime(row.modelData, sheet.model.now) : ""
                        color: Qt.rgba(1, 1, 1, 0.45)
                        font.family: DeckPalette.figureFont
                        font.pixelSize: 10
                        font.weight: Font.DemiBold
                    }
                }
            }
        }

        Item { width: 1; height: 6; visible: hidden.visible }
        Text {
            id: hidden
            objectName: "hiddenSessions"
            visible: sheet.hiddenCount > 0
            text: qsTr("%1 more").arg(sheet.hiddenCount)
            color: Qt.rgba(1, 1, 1, 0.35)
            font.pixelSize: 9
            font.weight: Font.DemiBold
        }

        Text {
            objectName: "noSessions"
            visible: sheet.sessions.length === 0
            text: qsTr("No open sessions right now.")
            color: Qt.rgba(1, 1, 1, 0.5)
            font.pixelSize: 10
            font.weight: Font.Medium
        }
        Item { width: 1; height: 12; visible: sheet.sessions.length === 0 }

        Item { width: 1; height: 4 }
        Item {
            width: parent.width
            height: later.height
            CapsuleButton {
                id: later
                objectName: "laterButton"
                maximumWidth: parent.width - (acknowledge.visible ? acknowledge.width + 8 : 0)
                text: sheet.needsAttention ? qsTr("Later") : qsTr("Close")
                color: Qt.rgba(1, 1, 1, 0.08)
                textColor: Qt.rgba(1, 1, 1, 0.7)
                font.pixelSize: 12
                font.weight: Font.DemiBold
                onClicked: sheet.close()
            }
            CapsuleButton {
                id: acknowledge
                objectName: "acknowledgeButton"
                visible: sheet.needsAttention
                anchors.right: parent.right
                text: qsTr("Acknowledge")
                color: DeckPalette.attentionAmber
                textColor: Qt.rgba(0, 0, 0, 0.85)
                font.pixelSize: 12
                font.weight: Font.Bold
                onClicked: {
                    if (sheet.model && sheet.agent !== undefined)
                        sheet.model.acknowledgeAgent(sheet.agentID)
                    sheet.close()
                }
            }
        }
    }
}
