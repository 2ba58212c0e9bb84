import QtQuick

// A thin full-width rule between rows and sections of a card.
Rectangle {
    width: parent ? parent.width : 0
    height: 0.33
    color: Qt.rgba(1, 1, 1, 0.12)
}
