import QtQuick
import Vexlor

// A whole number and its label side by side, for the information bar.
Row {
    id: unit
    property int value: 0
    property string label
    property color tint: "white"
    spacing: 5
    Text {
        id: number
        text: unit.value
        color: unit.tint
        font.family: DeckPalette.figureFont
        font.pixelSize: 17
        font.weight: Font.ExtraBold
    }
    Text {
        anchors.baseline: number.baseline
        text: unit.label
        color: Qt.rgba(1, 1, 1, 0.65)
        font.pixelSize: 8
        font.weight: Font.Bold
    }
}
