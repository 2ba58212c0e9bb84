import QtQuick
import Vexlor

// The information bar's page of another host of the fleet: its name and
// state, when it was last heard from, its agents with their counts, and its
// plan figures (which only this page shows). An offline host is greyed out.
Item {
    id: page
    objectName: "hostPage"
    property var host
    property real now: 0
    readonly property bool online: !!host && host.online
    readonly property color statusColor: DeckPalette.statusColor(host ? KeyTexts.hostStatusName(host) : "offline")
    readonly property var agents: host ? KeyTexts.installedAgents(host) : []
    readonly property var tiles: host ? KeyTexts.shownTiles(host) : []
    opacity: online ? 1 : 0.45

    Column {
        anchors.verticalCenter: parent.verticalCenter
        width: parent.width
        spacing: 4

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
                id: name
                objectName: "hostName"
                anchors.verticalCenter: parent.verticalCenter
                text: page.host ? page.host.host : ""
                textFormat: Text.PlainText
                color: Qt.rgba(1, 1, 1, 0.95)
                font.pixelSize: 16
                font.weight: Font.ExtraBold
            }
            Text {
                objectName: "hostStatus"
                anchors.baseline: name.baseline
                text: page.host ? KeyTexts.hostStatus(page.host) : ""
                color: page.statusColor
                font.pixelSize: 13
                font.weight: Font.Bold
            }
            Text {
                objectName: "hostSeen"
                anchors.baseline: name.baseline
                // Ticks with the model's clock only while this page is shown.
                text: page.host ? KeyTexts.seenText(page.host.seenAt, page.now) : ""
                color: Qt.rgba(1, 1, 1, 0.45)
                font.family: DeckPalette.figureFont
                font.pixelSize: 10
                font.weight: Font.DemiBold
            }
        }
        Row {
            id: agentRow
            spacing: 10
            scale: Math.min(1, page.width / Math.max(1, implicitWidth))
            transformOrigin: Item.Left
            Repeater {
                model: page.agents
                delegate: Row {
                    id: chip
                    required property var modelData
                    spacing: 4
                    GlowDot {
                        anchors.verticalCenter: parent.verticalCenter
                        size: 6
                        color: DeckPalette.statusColor(chip.modelData.status)
                        glowRadius: 0
                    }
                    Text {
                        text: chip.modelData.name
                        color: Qt.rgba(1, 1, 1, 0.9)
                        font.pixelSize: 10
                        font.weight: Font.Bold
                    }
                    Text {
                        text: chip.modelData.countLine
                        color: Qt.rgba(1, 1, 1, 0.6)
                        font.family: DeckPalette.figureFont
                        font.pixelSize: 10
                        font.weight: Font.DemiBold
                    }
                }
            }
        }
        Row {
            spacing: 10
            visible: page.tiles.length > 0
            scale: Math.min(1, page.width / Math.max(1, implicitWidth))
            transformOrigin: Item.Left
            Repeater {
                model: page.tiles
                delegate: Text {
                    required property var modelData
                    text: modelData.name + " " + modelData.valueText + " " + modelData.detailText
                    textFormat: Text.PlainText
                    color: Qt.rgba(modelData.tint.r, modelData.tint.g, modelData.tint.b, 1)
                    font.family: DeckPalette.figureFont
                    font.pixelSize: 10
                    font.weight: Font.DemiBold
                }
            }
        }
    }
}
