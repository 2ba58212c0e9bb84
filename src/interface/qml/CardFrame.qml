import QtQuick

// The shared style of every card over the deck: white level 0.09, a 1-wide
// edge of white at 0.1, a soft shadow 8 down.
Item {
    id: card
    default property alias content: inner.data

    SoftShadow {
        anchors.fill: parent
        cornerRadius: 16
        blur: 18
        shadowOpacity: 0.5
        offsetY: 8
    }
    Rectangle {
        anchors.fill: parent
        radius: 16
        color: Qt.rgba(0.09, 0.09, 0.09, 1)
        border.width: 1
        border.color: Qt.rgba(1, 1, 1, 0.1)
        antialiasing: true
    }
    Item {
        id: inner
        anchors.fill: parent
    }
}
