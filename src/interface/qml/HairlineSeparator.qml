import QtQuick

// A thin full-width rule between rows and sections of a card. It is one
// device pixel high with the colour thinned to match: a third of a pixel
// would show on some rows and vanish on others as the rows fall on the grid.
Rectangle {
    width: parent ? parent.width : 0
    height: 1
    color: Qt.rgba(1, 1, 1, 0.12 * 0.5)
}
