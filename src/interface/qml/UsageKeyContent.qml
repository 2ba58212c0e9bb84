import QtQuick
import Vexlor

// A usage key: the tile's name at the top; its figure, bar and second line
// (with the reset countdown) at the bottom.
Item {
    id: content
    property var usage
    property bool showRemaining: false
    property real now: 0

    readonly property color tint: usage ? Qt.rgba(usage.tint.r, usage.tint.g, usage.tint.b, usage.tint.a) : DeckPalette.mutedGrey
    readonly property bool isPercent: !!usage && usage.kind === "percent"
    readonly property real lineWidth: width - 12
    readonly property alias valueText: value.text
    readonly property alias secondaryText: secondary.text
    readonly property alias barFillWidth: fill.width

    Row {
        y: 12
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 5
        Rectangle {
            anchors.verticalCenter: parent.verticalCenter
            width: 7
            height: 7
            radius: 3.5
            color: content.tint
            antialiasing: true
        }
        FitText {
            anchors.verticalCenter: parent.verticalCenter
            width: Math.min(implicitWidth, content.lineWidth - 12)
            text: content.usage ? content.usage.name : ""
            color: Qt.rgba(1, 1, 1, 0.95)
            font.pixelSize: 11
            font.weight: Font.Bold
            minimumScale: 0.7
        }
    }

    Column {
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        width: content.lineWidth
        FitText {
            id: value
            objectName: "usageValue"
            width: parent.width
            text: content.usage ? KeyTexts.usageValue(content.usage, content.showRemaining) : ""
            color: content.tint
            font.family: DeckPalette.figureFont
            font.pixelSize: 24
            font.weight: Font.ExtraBold
            minimumScale: 0.6
        }
        Item {
            objectName: "usageBar"
            anchors.horizontalCenter: parent.horizontalCenter
            width: 62
            height: 4
            Rectangle {
                anchors.fill: parent
                radius: 2
                color: content.isPercent ? Qt.rgba(1, 1, 1, 0.15) : content.tint
                opacity: content.isPercent ? 1 : 0.55
            }
            Rectangle {
                id: fill
                objectName: "usageBarFill"
                visible: content.isPercent
                height: 4
                radius: 2
                width: content.isPercent ? 62 * KeyTexts.barShare(content.usage, content.showRemaining) : 0
                color: content.tint
            }
        }
        Item { width: 1; height: 6 }
        FitText {
            id: secondary
            objectName: "usageSecondary"
            width: parent.width
            text: content.usage ? KeyTexts.usageSecondary(content.usage, content.showRemaining, content.now) : ""
            color: Qt.rgba(1, 1, 1, 0.7)
            font.family: DeckPalette.figureFont
            size: 8.5
            font.weight: Font.DemiBold
            minimumScale: 0.65
        }
        Item { width: 1; height: 10 }
    }
}
