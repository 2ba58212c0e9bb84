import QtQuick
import Vexlor

// Asks before the program fetches plan limits from the vendors' servers.
Item {
    id: prompt
    signal close()
    signal goOnline()
    implicitWidth: 250
    implicitHeight: column.implicitHeight + 32

    Column {
        id: column
        x: 16
        y: 16
        width: prompt.width - 32
        Text {
            text: qsTr("ALLOW ONLINE ACCESS?")
            color: Qt.rgba(1, 1, 1, 0.5)
            font.pixelSize: 10
            font.weight: Font.ExtraBold
            font.letterSpacing: 1.5
        }
        Item { width: 1; height: 8 }
        Text {
            width: parent.width
            wrapMode: Text.Wrap
            text: Qt.platform.os === "osx"
                  ? qsTr("Plan limits only exist on the vendors' servers. Vexlor would fetch them with the CLIs' own credentials — a one-time Keychain prompt may appear. Everything else stays local.")
                  : qsTr("Plan limits only exist on the vendors' servers. Vexlor would fetch them with the CLIs' own credentials — read from the Secret Service or from Claude Code's own credentials file. Everything else stays local.")
            color: Qt.rgba(1, 1, 1, 0.6)
            font.pixelSize: 10
            font.weight: Font.Medium
        }
        Item { width: 1; height: 12 }
        Item {
            width: parent.width
            height: notNow.height
            CapsuleButton {
                id: notNow
                objectName: "notNowButton"
                text: qsTr("Not now")
                color: Qt.rgba(1, 1, 1, 0.08)
                textColor: Qt.rgba(1, 1, 1, 0.7)
                font.pixelSize: 12
                font.weight: Font.DemiBold
                onClicked: prompt.close()
            }
            CapsuleButton {
                objectName: "goOnlineButton"
                anchors.right: parent.right
                text: qsTr("Go online")
                color: DeckPalette.workingGreen
                textColor: Qt.rgba(0, 0, 0, 0.85)
                font.pixelSize: 12
                font.weight: Font.Bold
                onClicked: prompt.goOnline()
            }
        }
    }
}
