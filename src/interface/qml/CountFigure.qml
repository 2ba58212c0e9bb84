import QtQuick
import Vexlor

// A big number over its caption, for the all-agents key.
Column {
    property int value: 0
    property string caption
    property color tint: "white"
    spacing: 2
    Text {
        anchors.horizontalCenter: parent.horizontalCenter
        text: parent.value
        color: parent.tint
        font.family: DeckPalette.figureFont
        font.pixelSize: 24
        font.weight: Font.ExtraBold
    }
    Text {
        anchors.horizontalCenter: parent.horizontalCenter
        text: parent.caption
        color: Qt.rgba(1, 1, 1, 0.7)
        font.pixelSize: 7
        font.weight: Font.Bold
    }
}
