import QtQuick
import Vexlor

// The small round button of a card's header ("xmark"): runs its action when
// the press ends, even when the pointer was dragged off it.
Item {
    id: button
    property string systemImage: "xmark"
    readonly property bool isPressed: area.pressed
    signal action()
    width: 24
    height: 24

    property real press: isPressed ? 1 : 0
    Behavior on press { DeckSpring { response: 0.25; dampingFraction: 0.6 } }

    Rectangle {
        anchors.fill: parent
        radius: width / 2
        color: Qt.rgba(1, 1, 1, 0.08)
        antialiasing: true
        scale: 1 - 0.12 * button.press
        SymbolIcon {
            anchors.centerIn: parent
            name: button.systemImage
            size: 10
            color: "white"
            opacity: 0.45 + (0.9 - 0.45) * button.press
        }
    }
    MouseArea {
        id: area
        anchors.fill: parent
        preventStealing: true
        onReleased: button.action()
    }
}
