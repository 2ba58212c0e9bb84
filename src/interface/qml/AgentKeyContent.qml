import QtQuick
import Vexlor

// An agent's key: the breathing status dot and name at the top; the status,
// the latest model, the count line and the detail line at the bottom.
Item {
    id: content
    property var agent
    // Set while the deck is tucked away: the dot holds still.
    property bool quiet: false
    // 0...1: drives the glow and, for an agent that needs the user, the dot's
    // opacity. It breathes only while the agent works or needs the user and
    // someone can see it; otherwise the dot rests at 0.
    readonly property real pulse: breathing.value

    readonly property string status: agent ? agent.status : "idle"
    readonly property color statusColor: DeckPalette.statusColor(status)
    readonly property bool offline: status === "offline"
    readonly property bool hasOpenSessions: !!agent && agent.openSessions.length > 0
    readonly property real lineWidth: width - 12

    Breathing {
        id: breathing
        running: (content.status === "working" || content.status === "needsYou")
                 && !content.quiet && content.visible
                 && content.Window.window !== null && content.Window.window.visible
    }

    Row {
        id: header
        y: 12
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 5
        GlowDot {
            objectName: "statusDot"
            anchors.verticalCenter: parent.verticalCenter
            size: 7
            color: content.statusColor
            glowOpacity: 0.9
            glowRadius: 2 + 4 * content.pulse
            dotOpacity: content.status === "needsYou" ? 1 - 0.5 * content.pulse : 1
        }
        FitText {
            anchors.verticalCenter: parent.verticalCenter
            width: Math.min(implicitWidth, content.lineWidth - 12)
            text: content.agent ? content.agent.name : ""
            color: Qt.rgba(1, 1, 1, 0.95)
            font.pixelSize: 11
            font.weight: Font.Bold
            minimumScale: 0.7
        }
    }

    // The status sits at the same height on every key, whichever lines
    // follow it.
    Column {
        y: 32
        anchors.horizontalCenter: parent.horizontalCenter
        width: content.lineWidth
        FitText {
            objectName: "statusLabel"
            width: parent.width
            text: content.agent ? content.agent.statusLabel : ""
            color: content.statusColor
            font.pixelSize: 14
            font.weight: Font.ExtraBold
            minimumScale: 0.7
        }
        Item {
            width: 1
            height: 1
            visible: modelLine.visible
        }
        FitText {
            id: modelLine
            objectName: "modelLine"
            visible: !content.offline && !!content.agent && content.agent.models.length > 0
            width: parent.width
            text: visible ? content.agent.models[0] : ""
            color: Qt.rgba(1, 1, 1, 0.5)
            size: 8.5
            font.weight: Font.Medium
            minimumScale: 0.85
            elide: true
        }
        Text {
            objectName: "countLine"
            visible: text.length > 0
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: content.agent ? content.agent.countLine : ""
            color: Qt.rgba(1, 1, 1, 0.85)
            font.family: DeckPalette.figureFont
            font.pixelSize: 9
            font.weight: Font.DemiBold
        }
        Item {
            width: 1
            height: 2
            visible: detailLine.visible
        }
        FitText {
            id: detailLine
            objectName: "detailLine"
            visible: content.offline || content.hasOpenSessions
            width: parent.width
            text: content.agent ? content.agent.detailLine : ""
            color: Qt.rgba(1, 1, 1, 0.38)
            size: 7.5
            font.weight: Font.Medium
            minimumScale: 0.9
            elide: true
        }
    }
}
