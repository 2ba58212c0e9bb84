import QtQuick
import Vexlor

// The clock key: 24-hour time over the short date, in the user's locale,
// redrawn whenever the model's clock ticks.
Item {
    id: content
    property real now: 0
    readonly property alias timeText: time.text
    readonly property alias dateText: date.text

    Column {
        anchors.centerIn: parent
        spacing: 5
        Text {
            id: time
            anchors.horizontalCenter: parent.horizontalCenter
            text: KeyTexts.clockTime(content.now)
            color: Qt.rgba(1, 1, 1, 0.92)
            font.family: DeckPalette.figureFont
            font.pixelSize: 22
            font.weight: Font.ExtraBold
        }
        Text {
            id: date
            anchors.horizontalCenter: parent.horizontalCenter
            text: KeyTexts.clockDate(content.now)
            color: Qt.rgba(1, 1, 1, 0.45)
            font.pixelSize: 9
            font.weight: Font.Medium
        }
    }
}
