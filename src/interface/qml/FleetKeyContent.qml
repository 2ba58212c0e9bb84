import QtQuick
import Vexlor

// The fleet key: how many hosts are online and how many of them need the
// user, between a title and a caption.
Item {
    id: content
    property DeckModel model

    Text {
        id: title
        y: 12
        anchors.horizontalCenter: parent.horizontalCenter
        text: qsTr("FLEET")
        color: Qt.rgba(1, 1, 1, 0.95)
        font.pixelSize: 11
        font.weight: Font.Bold
    }
    Row {
        spacing: 14
        anchors.horizontalCenter: parent.horizontalCenter
        y: title.y + title.height + (caption.y - title.y - title.height - height) / 2
        CountFigure {
            objectName: "onlineFigure"
            value: content.model ? content.model.fleetOnlineCount : 1
            caption: qsTr("ONLINE")
            tint: DeckPalette.workingGreen
        }
        CountFigure {
            objectName: "hostsNeedYouFigure"
            value: content.model ? content.model.fleetNeedsYouCount : 0
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
        text: content.model && content.model.fleetJoined ? qsTr("%1 hosts").arg(content.model.hostCount)
                                                          : qsTr("no fleet")
        color: Qt.rgba(1, 1, 1, 0.38)
        size: 7.5
        font.weight: Font.Medium
    }
}
