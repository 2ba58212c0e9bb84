import QtQuick
import Vexlor

// The information bar's summary: the three counts on the left, the agents'
// names on the right (they give way first when room is short).
Item {
    id: page
    property QtObject model
    readonly property var agents: model ? model.agents : []

    Column {
        id: counts
        anchors.verticalCenter: parent.verticalCenter
        spacing: 3
        Text {
            text: qsTr("ALL AGENTS")
            color: Qt.rgba(1, 1, 1, 0.95)
            font.pixelSize: 16
            font.weight: Font.ExtraBold
        }
        Row {
            spacing: 12
            CountUnit {
                value: KeyTexts.openSessionTotal(page.agents)
                label: qsTr("OPEN")
                tint: DeckPalette.overviewBlue
            }
            CountUnit {
                value: page.model ? page.model.workingCount : 0
                label: qsTr("WORK")
                tint: DeckPalette.workingGreen
            }
            CountUnit {
                value: page.model ? page.model.needsYouCount : 0
                label: qsTr("NEED YOU")
                tint: DeckPalette.attentionAmber
            }
        }
    }
    FitText {
        id: names
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        width: Math.max(0, Math.min(implicitWidth, page.width - counts.width - 8))
        visible: implicitWidth * fitScale <= width + 0.5 && width > 0
        alignment: Qt.AlignRight
        text: KeyTexts.capitalisedNames(page.agents)
        color: Qt.rgba(1, 1, 1, 0.4)
        size: 8.5
        font.weight: Font.Medium
        minimumScale: 0.8
    }
}
