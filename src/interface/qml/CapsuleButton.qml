import QtQuick

// A text button on a capsule ("Later", "Acknowledge", "NEXT TIP", ...).
Rectangle {
    id: button
    property alias text: label.text
    property alias textColor: label.color
    property alias font: label.font
    property real horizontalInset: 14
    property real verticalInset: 7
    signal clicked()

    implicitWidth: label.implicitWidth + 2 * horizontalInset
    implicitHeight: label.implicitHeight + 2 * verticalInset
    width: implicitWidth
    height: implicitHeight
    radius: height / 2
    antialiasing: true

    Text {
        id: label
        anchors.centerIn: parent
        font.pixelSize: 12
        font.weight: Font.DemiBold
    }
    MouseArea {
        anchors.fill: parent
        onClicked: button.clicked()
    }
}
