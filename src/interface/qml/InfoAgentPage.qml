import QtQuick
import Vexlor

// The information bar's page of one agent: status, working time, counts,
// latest model and the titles of its sessions.
Item {
    id: page
    property var agent
    property real now: 0
    property DeckModel model
    readonly property string status: agent ? agent.status : "idle"
    readonly property color statusColor: DeckPalette.statusColor(status)
    readonly property bool hasOpenSessions: !!agent && agent.openSessions.length > 0
    readonly property bool attention: !!agent && agent.attentionSessions.length > 0

    Column {
    anchors.verticalCenter: parent.verticalCenter
    width: parent.width
    spacing: 3

    Row {
        spacing: 8
        GlowDot {
            anchors.verticalCenter: parent.verticalCenter
            size: 9
            color: page.statusColor
            glowOpacity: 0.8
            glowRadius: 3
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: page.agent ? page.agent.name : ""
            color: Qt.rgba(1, 1, 1, 0.95)
            font.pixelSize: 16
            font.weight: Font.ExtraBold
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: page.agent ? page.agent.statusLabel : ""
            color: page.statusColor
            font.pixelSize: 13
            font.weight: Font.Bold
        }
    }
    Row {
        spacing: 8
        Text {
            id: elapsed
            visible: text.length > 0
            // How long the agent has been working without a break.
            text: page.agent ? KeyTexts.agentWorkingTime(page.agent, page.now) : ""
            color: Qt.rgba(1, 1, 1, 0.6)
            font.family: DeckPalette.figureFont
            font.pixelSize: 12
            font.weight: Font.DemiBold
        }
        Text {
            id: count
            text: page.agent ? page.agent.countLine : ""
            visible: text.length > 0
            color: Qt.rgba(1, 1, 1, 0.6)
            font.family: DeckPalette.figureFont
            font.pixelSize: 12
            font.weight: Font.DemiBold
        }
        Text {
            visible: page.status !== "offline" && !!page.agent && page.agent.models.length > 0
            anchors.baseline: count.baseline
            text: visible ? page.agent.models[0] : ""
            textFormat: Text.PlainText
            color: Qt.rgba(1, 1, 1, 0.4)
            font.pixelSize: 11
            font.weight: Font.Medium
        }
    }
    FitText {
        visible: page.hasOpenSessions
        width: page.width
        alignment: Qt.AlignLeft
        text: page.agent ? KeyTexts.sessionTitles(page.agent) : ""
        color: page.attention ? Qt.rgba(1, 0.72, 0.10, 0.85) : Qt.rgba(1, 1, 1, 0.45)
        size: 10.5
        font.weight: Font.Medium
        minimumScale: 0.8
    }
}
}
