import QtQuick

// Fades its content in and lifts it from 8 below on the entrance spring,
// after a delay in seconds.
Item {
    id: entrance
    property bool show: false
    property real delay: 0
    property bool entered: false
    Timer {
        interval: Math.round(entrance.delay * 1000)
        running: entrance.show && !entrance.entered
        onTriggered: entrance.entered = true
    }
    property real progress: entered ? 1 : 0
    Behavior on progress { DeckSpring { response: 0.45; dampingFraction: 0.8 } }
    opacity: Math.max(0, Math.min(1, progress))
    transform: Translate { y: 8 * (1 - entrance.progress) }
}
