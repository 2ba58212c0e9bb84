import QtQuick
import Vexlor

// A switch row of the settings card: the label, flexible space and the
// switch; a click anywhere on the row flips the value.
Item {
    id: toggle
    property string label
    property bool checked: false
    // Sent with the new value; the owner stores it.
    signal toggled(bool value)

    implicitHeight: Math.max(text.height, 21)
    width: parent ? parent.width : implicitWidth

    property real on: checked ? 1 : 0
    Behavior on on { DeckSpring { response: 0.25; dampingFraction: 0.7 } }

    Text {
        id: text
        anchors.verticalCenter: parent.verticalCenter
        // A long label wraps beside the switch.
        width: Math.min(implicitWidth, toggle.width - 36 - 8)
        wrapMode: Text.Wrap
        text: toggle.label
        color: Qt.rgba(1, 1, 1, 0.9)
        font.pixelSize: 12
        font.weight: Font.DemiBold
    }
    Rectangle {
        objectName: "switchTrack"
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        width: 36
        height: 21
        radius: height / 2
        antialiasing: true
        readonly property real k: Math.max(0, Math.min(1, toggle.on))
        // White at 0.18 when off, opaque green when on.
        color: Qt.rgba(1 - 0.78 * k, 1 - 0.13 * k, 1 - 0.55 * k, 0.18 + 0.82 * k)
        // The knob with its small shadow.
        Rectangle {
            x: 2.5 + (36 - 21) * toggle.on
            y: 2.5 + 1
            width: 16
            height: 16
            radius: 8
            color: Qt.rgba(0, 0, 0, 0.3)
            antialiasing: true
        }
        Rectangle {
            x: 2.5 + (36 - 21) * toggle.on
            y: 2.5
            width: 16
            height: 16
            radius: 8
            color: "white"
            antialiasing: true
        }
    }
    MouseArea {
        anchors.fill: parent
        onClicked: toggle.toggled(!toggle.checked)
    }
}
