import QtQuick
import Vexlor

// The information bar's summary: the three counts on the left, the agents'
// names on the right (they give way first when room is short).
Item {
    id: page
    property DeckModel model
    readonly property var agents: model ? model.agents : []
    // While no agent is installed the page says where Vexlor looked instead.
    readonly property string hint: KeyTexts.firstRunHint(agents)

    Column {
        objectName: "firstRunHint"
        visible: page.hint.length > 0
        anchors.verticalCenter: parent.verticalCenter
        width: parent.width
        spacing: 4
        Text {
            text: qsTr("NO AGENTS FOUND")
            color: DeckPalette.attentionAmber
            font.pixelSize: 12
            font.weight: Font.ExtraBold
            font.letterSpacing: 1
        }
        Text {
            width: parent.width
            text: page.hint
            color: Qt.rgba(1, 1, 1, 0.8)
            font: hintAtFullSize.font
            wrapMode: Text.Wrap
            maximumLineCount: 4
            elide: Text.ElideRight
            fontSizeMode: Text.VerticalFit
            // Shrinks only when the hint at full size would not fit; measured
            // apart, since a fitted text's own height follows the space given.
            height: Math.min(hintAtFullSize.implicitHeight, page.height - 24)
            minimumPixelSize: 8
        }
    }
    Text {
        id: hintAtFullSize
        visible: false
        width: parent.width
        text: page.hint
        font.pixelSize: 10
        font.weight: Font.Medium
        wrapMode: Text.Wrap
        maximumLineCount: 4
    }
    Column {
        id: counts
        visible: page.hint.length === 0
        anchors.verticalCenter: parent.verticalCenter
        // On a narrow bar the counts shrink to fit rather than run on.
        scale: Math.min(1, page.width / Math.max(1, implicitWidth))
        transformOrigin: Item.Left
        spacing: 3
        Row {
            spacing: 8
            Text {
                id: allAgents
                text: qsTr("ALL AGENTS")
                color: Qt.rgba(1, 1, 1, 0.95)
                font.pixelSize: 16
                font.weight: Font.ExtraBold
            }
            // With a fleet: how many hosts the counts cover.
            Text {
                objectName: "hostCount"
                visible: !!page.model && page.model.hostCount > 1
                anchors.baseline: allAgents.baseline
                text: visible ? KeyTexts.hostsLine(page.model.hostCount) : ""
                color: DeckPalette.overviewBlue
                font.pixelSize: 10
                font.weight: Font.Bold
            }
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
        visible: page.hint.length === 0 && implicitWidth * fitScale <= width + 0.5 && width > 0
        alignment: Qt.AlignRight
        text: KeyTexts.capitalisedNames(page.agents)
        color: Qt.rgba(1, 1, 1, 0.4)
        size: 8.5
        font.weight: Font.Medium
        minimumScale: 0.8
    }
}
