import QtQuick
import Vexlor

// The information bar's up and down arrows: the action runs when the press
// ends, even when the pointer was dragged off the arrow.
Item {
    id: button
    property string systemImage: "chevron.up"
    readonly property bool isPressed: area.pressed
    signal action()
    width: 22
    height: 15

    property real press: isPressed ? 1 : 0
    Behavior on press { DeckSpring { response: 0.25; dampingFraction: 0.6 } }

    SymbolIcon {
        anchors.centerIn: parent
        name: button.systemImage
        size: 9
        color: "white"
        opacity: 0.35 + (0.9 - 0.35) * button.press
        scale: 1 - 0.14 * button.press
    }
    MouseArea {
        id: area
        anchors.fill: parent
        preventStealing: true
        onReleased: button.action()
    }
}
