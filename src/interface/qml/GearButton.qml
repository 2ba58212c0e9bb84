import QtQuick

// The small gear in the deck's bottom-right corner; runs its action when the
// press ends.
Item {
    id: button
    signal action()
    width: 30
    height: 30
    property real press: area.pressed ? 1 : 0
    Behavior on press { DeckSpring { response: 0.25; dampingFraction: 0.6 } }

    SymbolIcon {
        anchors.centerIn: parent
        name: "gearshape.fill"
        size: 13
        color: "white"
        opacity: 0.28 + (0.85 - 0.28) * button.press
        scale: 1 - 0.12 * button.press
    }
    MouseArea {
        id: area
        anchors.fill: parent
        onReleased: button.action()
    }
}
