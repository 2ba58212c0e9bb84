pragma ComponentBehavior: Bound
import QtQuick

// A status dot with a soft glow of its own colour, drawn from plain
// translucent circles so it looks the same on every renderer.
Item {
    id: dot
    property real size: 7
    property color color: "white"
    property real glowRadius: 2
    property real glowOpacity: 0.9
    property real dotOpacity: 1
    width: size
    height: size

    Repeater {
        model: 3
        Rectangle {
            required property int index
            readonly property real spread: dot.glowRadius * (index + 1) / 3
            anchors.centerIn: parent
            width: dot.size + 2 * spread
            height: width
            radius: width / 2
            color: dot.color
            opacity: dot.glowOpacity * dot.dotOpacity * 0.22
            antialiasing: true
        }
    }
    Rectangle {
        anchors.fill: parent
        radius: width / 2
        color: dot.color
        opacity: dot.dotOpacity
        antialiasing: true
    }
}
