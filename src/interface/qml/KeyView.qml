import QtQuick
import Vexlor

// One key of the deck: its surface (fill, sheen, inner edge), its content,
// the press effects and the press gesture. What a tap or a long press does is
// decided by the deck's state; this item only forwards them.
Item {
    id: key
    property color background: "transparent"
    property bool chromeless: false
    property real appearDelay: 0
    property bool show: false
    default property alias content: contentHolder.data
    signal action()
    signal longPressAction()

    readonly property bool isPressed: gesture.pressed
    width: 96
    height: 96

    // Entrance: after the delay, fade in and rise from 8 below.
    property bool entered: false
    Timer {
        interval: Math.round(key.appearDelay * 1000)
        running: key.show && !key.entered
        onTriggered: key.entered = true
    }
    property real entrance: entered ? 1 : 0
    Behavior on entrance { DeckSpring { response: 0.45; dampingFraction: 0.8 } }
    opacity: Math.max(0, Math.min(1, entrance))
    transform: Translate { y: 8 * (1 - key.entrance) }

    // 0 at rest, 1 pressed; drives scale, saturation and shadow.
    property real press: isPressed ? 1 : 0
    Behavior on press { DeckSpring { response: 0.25; dampingFraction: 0.6 } }

    Item {
        id: body
        anchors.fill: parent
        scale: 1 - 0.04 * key.press
        transformOrigin: Item.Center

        SoftShadow {
            anchors.fill: parent
            visible: !key.chromeless
            cornerRadius: 18
            blur: 7 - 5 * key.press
            shadowOpacity: 0.35 - 0.23 * key.press
            offsetY: 4 - 3 * key.press
        }
        Rectangle {
            id: surface
            anchors.fill: parent
            radius: 18
            antialiasing: true
            // Desaturated to 0.82 while pressed.
            readonly property real grey: 0.2126 * key.background.r + 0.7152 * key.background.g + 0.0722 * key.background.b
            readonly property real keep: 1 - 0.18 * key.press
            color: Qt.rgba(grey + (key.background.r - grey) * keep,
                           grey + (key.background.g - grey) * keep,
                           grey + (key.background.b - grey) * keep,
                           key.background.a)
        }
        Rectangle {
            anchors.fill: parent
            radius: 18
            visible: !key.chromeless
            antialiasing: true
            gradient: Gradient {
                GradientStop { position: 0.0; color: Qt.rgba(1, 1, 1, 0.08) }
                GradientStop { position: 0.5; color: Qt.rgba(1, 1, 1, 0) }
            }
            border.width: 1
            border.color: Qt.rgba(1, 1, 1, 0.07)
        }
        Item {
            id: contentHolder
            anchors.fill: parent
        }
    }

    KeyGesture {
        id: gesture
        onTapped: key.action()
        onLongPressed: key.longPressAction()
    }
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.LeftButton
        preventStealing: true
        onPressed: gesture.contact()
        onPositionChanged: gesture.contact()
        onReleased: gesture.release()
        onCanceled: gesture.cancel()
    }
}
