import QtQuick
import Vexlor

// The information bar under the keys: the page card showing the model's
// current page, a click to advance, and the arrows with the page counter.
// A page change slides the new page in from the right while the old one
// slides out to the left, both fading, on the page spring.
Item {
    id: bar
    property DeckModel model
    implicitHeight: 84

    // A bar that is switched off follows no page, so a page turn draws
    // nothing there.
    readonly property var page: model && visible ? model.currentInfoPage : undefined
    readonly property int pageCount: model ? model.infoPageCount : 0
    readonly property string counterText: visible ? qsTr("%1/%2").arg(model ? model.infoPageIndex + 1 : 1)
                                                                 .arg(pageCount > 0 ? pageCount : 1) : ""

    // The page on its way out and how far the change has come (1 = done).
    property var leavingPage
    property real change: 1
    property int shownId: -1
    // The pages as they were when `shownId` was shown (a value read from
    // `page` would follow it to the new page).
    property var shownPages: []

    onPageChanged: {
        const id = page !== undefined && page !== null ? page.id : -1
        // A bar nobody sees changes page without sliding: no frames for it.
        const seen = visible && Window.window !== null && Window.window.visible
        if (id !== shownId && shownId >= 0 && shownId < shownPages.length && id !== -1 && seen) {
            leavingPage = shownPages[shownId]
            pageSpring.restart()
        }
        shownId = id
        shownPages = model ? model.infoPages : []
    }
    Component.onCompleted: {
        shownId = page !== undefined && page !== null ? page.id : -1
        shownPages = model ? model.infoPages : []
    }

    DeckSpring {
        id: pageSpring
        target: bar
        property: "change"
        from: 0
        to: 1
        response: 0.45
        dampingFraction: 0.8
        onStopped: bar.leavingPage = undefined
    }

    // The page stays put while the pointer rests on the bar, so what the user
    // reads or works does not move away.
    HoverHandler { id: hover }
    Binding {
        target: bar.model
        property: "pageRotationHeld"
        value: hover.hovered
        when: bar.model !== null && bar.model !== undefined
        restoreMode: Binding.RestoreNone
    }

    function advance(step) {
        if (model)
            model.advancePage(step)
    }

    Rectangle {
        id: card
        objectName: "pageCard"
        anchors.fill: parent
        radius: 14
        color: Qt.rgba(0.05, 0.055, 0.07, 1)
        border.width: 1
        border.color: Qt.rgba(1, 1, 1, 0.06)
        antialiasing: true
        clip: true

        MouseArea {
            anchors.fill: parent
            onClicked: bar.advance(1)
        }

        Item {
            id: pageArea
            x: 20
            width: card.width - 20 - 66
            height: card.height
            readonly property real travel: card.width
            // Pages never run under the arrows and the counter.
            clip: true

            InfoPageContent {
                objectName: "leavingPage"
                width: pageArea.width
                height: pageArea.height
                visible: bar.leavingPage !== undefined
                page: bar.leavingPage
                model: bar.model
                x: -pageArea.travel * bar.change
                opacity: Math.max(0, 1 - bar.change)
            }
            InfoPageContent {
                objectName: "currentPage"
                width: pageArea.width
                height: pageArea.height
                page: bar.page
                model: bar.model
                x: pageArea.travel * (1 - bar.change)
                opacity: Math.max(0, Math.min(1, bar.change))
            }
        }

        Column {
            anchors.right: parent.right
            anchors.rightMargin: 12
            anchors.verticalCenter: parent.verticalCenter
            spacing: 2
            StepperChevron {
                objectName: "pageUp"
                anchors.horizontalCenter: parent.horizontalCenter
                systemImage: "chevron.up"
                onAction: bar.advance(-1)
            }
            Text {
                objectName: "pageCounter"
                anchors.horizontalCenter: parent.horizontalCenter
                text: bar.counterText
                color: Qt.rgba(1, 1, 1, 0.32)
                font.family: DeckPalette.figureFont
                font.pixelSize: 8
                font.weight: Font.Bold
            }
            StepperChevron {
                objectName: "pageDown"
                anchors.horizontalCenter: parent.horizontalCenter
                systemImage: "chevron.down"
                onAction: bar.advance(1)
            }
        }
    }
}
