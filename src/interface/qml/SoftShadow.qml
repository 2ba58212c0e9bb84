pragma ComponentBehavior: Bound
import QtQuick

// A blurred drop shadow from plain translucent rounded rectangles, stacked so
// that their opacities add up towards the centre. Draws the same on every
// scene graph backend.
Item {
    id: shadow
    property real cornerRadius: 0
    property real blur: 8          // how far the shadow spreads
    property real shadowOpacity: 0.3
    property real offsetX: 0
    property real offsetY: 0
    readonly property int steps: 5

    Repeater {
        model: shadow.steps
        Rectangle {
            required property int index
            readonly property real spread: shadow.blur * (index + 1) / shadow.steps - shadow.blur / 2
            x: shadow.offsetX - spread
            y: shadow.offsetY - spread
            width: shadow.width + 2 * spread
            height: shadow.height + 2 * spread
            radius: Math.max(0, shadow.cornerRadius + spread)
            color: "black"
            opacity: shadow.shadowOpacity / shadow.steps * 1.6
            antialiasing: true
        }
    }
}
