import QtQuick
import Vexlor

// The tips card: one tip at a time, its number, "DONT SHOW ANYMORE" and
// "NEXT TIP". A new tip rises from 4 below while fading in; the old one
// sinks and fades out.
Item {
    id: card
    property string tip
    property int tipNumber: 1
    property int tipCount: 6
    signal close()
    signal dontShow()
    signal next()
    implicitWidth: 270
    implicitHeight: column.implicitHeight + 32

    property string leavingTip
    property real change: 1
    property string shownTip
    onTipChanged: {
        if (shownTip.length > 0 && tip !== shownTip) {
            leavingTip = shownTip
            tipSpring.restart()
        }
        shownTip = tip
    }
    Component.onCompleted: shownTip = tip
    DeckSpring {
        id: tipSpring
        target: card
        property: "change"
        from: 0
        to: 1
        response: 0.35
        dampingFraction: 0.85
        onStopped: card.leavingTip = ""
    }

    Column {
        id: column
        x: 16
        y: 16
        width: card.width - 32

        Item {
            width: parent.width
            height: 24
            Row {
                anchors.verticalCenter: parent.verticalCenter
                spacing: 8
                SymbolIcon {
                    anchors.verticalCenter: parent.verticalCenter
                    name: "lightbulb.fill"
                    size: 13
                    color: DeckPalette.attentionAmber
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("DID YOU KNOW")
                    color: Qt.rgba(1, 1, 1, 0.6)
                    font.pixelSize: 10
                    font.weight: Font.ExtraBold
                    font.letterSpacing: 1.5
                }
            }
            CardButton {
                objectName: "closeTips"
                anchors.right: parent.right
                systemImage: "xmark"
                onAction: card.close()
            }
        }
        Item { width: 1; height: 12 }
        Item {
            width: parent.width
            height: Math.max(tipText.implicitHeight, leaving.visible ? leaving.implicitHeight : 0)
            Behavior on height { DeckSpring { response: 0.35; dampingFraction: 0.85 } }
            Text {
                id: leaving
                width: parent.width
                visible: card.leavingTip.length > 0
                wrapMode: Text.Wrap
                text: card.leavingTip
                color: Qt.rgba(1, 1, 1, 0.9)
                font.pixelSize: 12
                font.weight: Font.DemiBold
                opacity: Math.max(0, 1 - card.change)
                y: 4 * card.change
            }
            Text {
                id: tipText
                objectName: "tipText"
                width: parent.width
                wrapMode: Text.Wrap
                text: card.tip
                color: Qt.rgba(1, 1, 1, 0.9)
                font.pixelSize: 12
                font.weight: Font.DemiBold
                opacity: Math.max(0, Math.min(1, card.change))
                y: 4 * (1 - card.change)
            }
        }
        Item { width: 1; height: 10 }
        Text {
            objectName: "tipCounter"
            text: qsTr("%1 / %2").arg(card.tipNumber).arg(card.tipCount)
            color: Qt.rgba(1, 1, 1, 0.35)
            font.family: DeckPalette.figureFont
            font.pixelSize: 9
            font.weight: Font.Bold
        }
        Item { width: 1; height: 14 }
        Item {
            width: parent.width
            height: Math.max(dontShow.height, next.height)
            CapsuleButton {
                id: dontShow
                objectName: "dontShowButton"
                anchors.verticalCenter: parent.verticalCenter
                horizontalInset: 12
                maximumWidth: parent.width - next.width - 8
                text: qsTr("DONT SHOW ANYMORE")
                color: Qt.rgba(1, 1, 1, 0.08)
                textColor: Qt.rgba(1, 1, 1, 0.68)
                font.pixelSize: 11
                font.weight: Font.DemiBold
                onClicked: card.dontShow()
            }
            CapsuleButton {
                id: next
                objectName: "nextTipButton"
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("NEXT TIP")
                color: DeckPalette.workingGreen
                textColor: Qt.rgba(0, 0, 0, 0.85)
                font.pixelSize: 12
                font.weight: Font.Bold
                onClicked: card.next()
            }
        }
    }
}
