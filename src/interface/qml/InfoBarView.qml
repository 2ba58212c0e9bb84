import QtQuick

// The information bar under the keys: the page card, 84 high across the
// grid's width.
Item {
    id: bar
    property QtObject model
    implicitHeight: 84

    Rectangle {
        anchors.fill: parent
        radius: 14
        color: Qt.rgba(0.05, 0.055, 0.07, 1)
        border.width: 1
        border.color: Qt.rgba(1, 1, 1, 0.06)
        antialiasing: true
    }
}
