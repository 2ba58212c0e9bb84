import QtQuick

// A text button on a capsule ("Later", "Acknowledge", "NEXT TIP", ...). Given
// less room than its label needs (`maximumWidth`), the label shrinks on one
// line, at most to 0.75 of its size.
Rectangle {
    id: button
    property alias text: label.text
    property alias textColor: label.color
    property alias font: label.font
    property real horizontalInset: 14
    property real verticalInset: 7
    property real maximumWidth: Infinity
    signal clicked()

    implicitWidth: label.implicitWidth + 2 * horizontalInset
    implicitHeight: label.label.implicitHeight + 2 * verticalInset
    width: Math.min(implicitWidth, maximumWidth)
    height: implicitHeight
    radius: height / 2
    antialiasing: true

    FitText {
        id: label
        anchors.centerIn: parent
        width: button.width - 2 * button.horizontalInset
        minimumScale: 0.75
        font.pixelSize: 12
        font.weight: Font.DemiBold
    }
    MouseArea {
        anchors.fill: parent
        onClicked: button.clicked()
    }
}
