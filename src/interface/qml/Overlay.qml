import QtQuick

// One overlay over the deck: a dimming layer in the deck's shape that closes
// it on a click, and a card centred on the deck that enters and leaves by
// scaling from 0.92 with a fade, on the standard spring.
Item {
    id: overlay
    property bool open: false
    property real cardWidth: 250
    property real cardHeight: 160
    // Where the card scales from; the settings card uses Item.BottomRight.
    property int cardOrigin: Item.Center
    default property alias content: card.content
    property alias card: card
    signal dismissed()

    property real progress: open ? 1 : 0
    Behavior on progress { DeckSpring { response: 0.4; dampingFraction: 0.8 } }
    readonly property real shown: Math.max(0, Math.min(1, progress))
    // The deck grows to hold an open card; only while it has not yet grown
    // (or the work area is too small) is the card scaled down, and never
    // below 0.85, where its buttons stay easy to hit.
    readonly property real fitScale: Math.max(0.85, Math.min(1, (height - 16) / Math.max(1, cardHeight),
                                                             (width - 16) / Math.max(1, cardWidth)))

    visible: shown > 0.001
    anchors.fill: parent

    Rectangle {
        anchors.fill: parent
        radius: 36
        color: "black"
        opacity: 0.45 * overlay.shown
        antialiasing: true
        MouseArea {
            anchors.fill: parent
            acceptedButtons: Qt.LeftButton
            onClicked: overlay.dismissed()
        }
    }

    CardFrame {
        id: card
        width: overlay.cardWidth
        height: overlay.cardHeight
        anchors.centerIn: parent
        opacity: overlay.shown
        scale: 0.92 + 0.08 * overlay.progress
        transformOrigin: overlay.cardOrigin
        transform: Scale {
            origin.x: overlay.cardWidth / 2
            origin.y: overlay.cardHeight / 2
            xScale: overlay.fitScale
            yScale: overlay.fitScale
        }
        // Clicks on the card stay on the card.
        MouseArea { anchors.fill: parent; z: -1 }
    }
}
