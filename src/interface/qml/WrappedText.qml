import QtQuick

// Wrapping text at a size in points that need not be whole (8.5): the font
// takes the next whole size and the block is scaled to match.
Item {
    id: block
    property alias text: label.text
    property alias color: label.color
    property alias font: label.font
    property real size: 12
    readonly property real sizeScale: size / Math.ceil(size)
    implicitHeight: label.implicitHeight * sizeScale

    Text {
        id: label
        width: block.width / block.sizeScale
        wrapMode: Text.Wrap
        font.pixelSize: Math.ceil(block.size)
        scale: block.sizeScale
        transformOrigin: Item.TopLeft
    }
}
