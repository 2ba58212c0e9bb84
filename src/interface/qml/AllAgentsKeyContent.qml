import QtQuick
import Vexlor

// The all-agents key: open sessions and agents that need the user, between a
// title and a caption.
Item {
    id: content
    property DeckModel model
    readonly property var agents: model ? model.agents : []

    Text {
        id: title
        y: 12
        anchors.horizontalCenter: parent.horizontalCenter
        text: qsTr("ALL AGENTS")
        color: Qt.rgba(1, 1, 1, 0.95)
        font.pixelSize: 11
        font.weight: Font.Bold
    }
    Row {
        spacing: 14
        anchors.horizontalCenter: parent.horizontalCenter
        // Centred in the space between the title and the caption.
        y: title.y + title.height + (caption.y - title.y - title.height - height) / 2
        CountFigure {
            objectName: "openFigure"
            value: KeyTexts.openSessionTotal(content.agents)
            caption: qsTr("OPEN")
            tint: DeckPalette.overviewBlue
        }
        CountFigure {
            objectName: "needYouFigure"
            value: content.model ? content.model.needsYouCount : 0
            caption: qsTr("NEED YOU")
            tint: DeckPalette.attentionAmber
        }
    }
    FitText {
        id: caption
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 10
        anchors.horizontalCenter: parent.horizontalCenter
        width: implicitWidth
        text: qsTr("tap overview")
        color: Qt.rgba(1, 1, 1, 0.38)
        size: 7.5
        font.weight: Font.Medium
    }
}
