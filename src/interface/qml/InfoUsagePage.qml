import QtQuick
import Vexlor

// The information bar's page of one usage tile: name and figure, the detail
// and second figure, and for a share its bar at the bottom.
Item {
    id: page
    property var usage
    readonly property color tint: usage ? Qt.rgba(usage.tint.r, usage.tint.g, usage.tint.b, usage.tint.a) : DeckPalette.mutedGrey
    readonly property bool isPercent: !!usage && usage.kind === "percent"

    Column {
        y: 14
        width: parent.width
        spacing: 3
        Row {
            spacing: 8
            Rectangle {
                anchors.verticalCenter: parent.verticalCenter
                width: 8
                height: 8
                radius: 4
                color: page.tint
                antialiasing: true
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: page.usage ? page.usage.name : ""
                color: Qt.rgba(1, 1, 1, 0.95)
                font.pixelSize: 14
                font.weight: Font.ExtraBold
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: page.usage ? page.usage.valueText : ""
                color: page.tint
                font.family: DeckPalette.figureFont
                font.pixelSize: 14
                font.weight: Font.ExtraBold
            }
        }
        Row {
            id: detailRow
            spacing: 8
            readonly property bool hasSecondary: !!page.usage && page.usage.secondaryText !== undefined
            FitText {
                width: Math.min(implicitWidth, page.width - (detailRow.hasSecondary ? secondary.width + 8 : 0))
                alignment: Qt.AlignLeft
                text: page.usage ? page.usage.detailText : ""
                color: Qt.rgba(1, 1, 1, 0.6)
                font.family: DeckPalette.figureFont
                font.pixelSize: 11
                font.weight: Font.DemiBold
                minimumScale: 0.75
            }
            Text {
                id: secondary
                visible: detailRow.hasSecondary
                text: visible ? page.usage.secondaryText : ""
                color: Qt.rgba(1, 1, 1, 0.4)
                font.family: DeckPalette.figureFont
                font.pixelSize: 11
                font.weight: Font.DemiBold
            }
        }
    }
    Item {
        visible: page.isPercent
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 14
        width: 54
        height: 4
        Rectangle {
            anchors.fill: parent
            radius: 2
            color: Qt.rgba(1, 1, 1, 0.15)
        }
        Rectangle {
            height: 4
            radius: 2
            width: page.isPercent ? 54 * KeyTexts.barShare(page.usage, false) : 0
            color: page.tint
        }
    }
}
