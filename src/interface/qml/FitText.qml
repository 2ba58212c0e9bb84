import QtQuick

// One line of text that, when it does not fit its width, is scaled down as a
// whole, at most to `minimumScale`; it is never cut or wrapped. `size` gives
// a size in points that need not be whole (8.5): the font takes the next
// whole size and the line is scaled to match. With `elide` a line still too
// long at `minimumScale` ends in an ellipsis instead of running past.
Item {
    id: fit
    property alias text: label.text
    property alias color: label.color
    property alias font: label.font
    property real size: 0
    property real minimumScale: 1
    // Qt.AlignLeft, Qt.AlignHCenter or Qt.AlignRight: where the line sits and
    // which point it shrinks towards.
    property int alignment: Qt.AlignHCenter
    property bool elide: false
    readonly property real sizeScale: size > 0 ? size / Math.ceil(size) : 1
    readonly property real naturalWidth: label.implicitWidth * sizeScale
    readonly property real fitScale: naturalWidth > 0 && width > 0
        ? Math.max(minimumScale, Math.min(1, width / naturalWidth)) : 1
    readonly property alias label: label

    implicitWidth: naturalWidth
    implicitHeight: label.implicitHeight * sizeScale * fitScale

    Text {
        id: label
        // Titles and names may come from other hosts: never markup.
        textFormat: Text.PlainText
        wrapMode: Text.NoWrap
        maximumLineCount: 1
        width: fit.elide && fit.width > 0 ? Math.min(implicitWidth, fit.width / (fit.sizeScale * fit.fitScale))
                                          : implicitWidth
        elide: fit.elide ? Text.ElideRight : Text.ElideNone
        font.pixelSize: fit.size > 0 ? Math.ceil(fit.size) : 12
        anchors.verticalCenter: parent.verticalCenter
        x: fit.alignment === Qt.AlignLeft ? 0
           : fit.alignment === Qt.AlignRight ? fit.width - width
           : (fit.width - width) / 2
        scale: fit.sizeScale * fit.fitScale
        transformOrigin: fit.alignment === Qt.AlignLeft ? Item.Left
                         : fit.alignment === Qt.AlignRight ? Item.Right : Item.Center
    }
}
