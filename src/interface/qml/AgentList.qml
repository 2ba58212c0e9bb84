pragma ComponentBehavior: Bound
import QtQuick
import Vexlor

// The all-agents list: one row per agent with its status, models and open
// session count.
Item {
    id: list
    property DeckModel model
    signal close()
    // A row was tapped: show that agent's sessions.
    signal openAgent(string agentID)
    implicitWidth: 270
    implicitHeight: column.implicitHeight + 32

    Column {
        id: column
        x: 16
        y: 16
        width: list.width - 32

        Item {
            width: parent.width
            height: 24
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("AGENTS")
                color: Qt.rgba(1, 1, 1, 0.5)
                font.pixelSize: 10
                font.weight: Font.ExtraBold
                font.letterSpacing: 1.5
            }
            CardButton {
                objectName: "closeAgentList"
                anchors.right: parent.right
                systemImage: "xmark"
                onAction: list.close()
            }
        }
        Item { width: 1; height: 6 }
        Repeater {
            model: list.model ? list.model.agentModel : null
            delegate: Column {
                id: row
                required property int index
                required property var agent
                required property string agentId
                required property string name
                required property string status
                required property string statusLabel
                required property int sessions
                readonly property color statusColor: DeckPalette.statusColor(status)
                width: column.width
                HairlineSeparator { visible: row.index > 0 }
                Item {
                    width: parent.width
                    height: 9 + info.height + 9
                    MouseArea {
                        objectName: "agentRow"
                        anchors.fill: parent
                        cursorShape: Qt.PointingHandCursor
                        onClicked: list.openAgent(row.agentId)
                    }
                    GlowDot {
                        anchors.verticalCenter: parent.verticalCenter
                        size: 8
                        color: row.statusColor
                        glowOpacity: 0.8
                        glowRadius: 3
                    }
                    Column {
                        id: info
                        x: 18
                        anchors.verticalCenter: parent.verticalCenter
                        width: parent.width - 18 - (sessions.visible ? sessions.width + 10 : 0)
                        spacing: 2
                        Row {
                            spacing: 8
                            Text {
                                id: name
                                text: row.name
                                color: Qt.rgba(1, 1, 1, 0.95)
                                font.pixelSize: 12
                                font.weight: Font.Bold
                            }
                            Text {
                                anchors.baseline: name.baseline
                                text: row.statusLabel
                                color: row.statusColor
                                font.pixelSize: 9
                                font.weight: Font.Bold
                            }
                        }
                        FitText {
                            objectName: "agentDetail"
                            width: Math.min(implicitWidth, info.width)
                            elide: true
                            alignment: Qt.AlignLeft
                            text: KeyTexts.agentListDetail(row.agent)
                            color: Qt.rgba(1, 1, 1, 0.5)
                            font.pixelSize: 10
                            font.weight: Font.Medium
                            minimumScale: 0.8
                        }
                    }
                    Text {
                        id: sessions
                        objectName: "agentSessions"
                        visible: row.sessions > 0
                        anchors.right: parent.right
                        anchors.verticalCenter: parent.verticalCenter
                        text: row.sessions
                        color: Qt.rgba(1, 1, 1, 0.6)
                        font.family: DeckPalette.figureFont
                        font.pixelSize: 12
                        font.weight: Font.ExtraBold
                    }
                }
            }
        }
    }
}
