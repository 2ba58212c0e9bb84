pragma ComponentBehavior: Bound
import QtQuick
import Vexlor

// The picker's content inside its card: a header and the rows of the main
// page or of one provider's page, as the deck's state lists them.
Item {
    id: picker
    property DeckState deckState
    readonly property bool onProviderPage: deckState && deckState.pickerProviderID.length > 0
    readonly property var rows: deckState ? deckState.pickerRows : []
    implicitWidth: 250
    implicitHeight: 14 + header.height + 8 + list.height + 14

    // Header: "KEY n SHOWS", or the provider with a way back.
    Row {
        id: header
        x: 14
        y: 14
        spacing: 6
        height: 14
        SymbolIcon {
            visible: picker.onProviderPage
            anchors.verticalCenter: parent.verticalCenter
            name: "chevron.left"
            size: 9
            color: Qt.rgba(1, 1, 1, 0.5)
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: picker.deckState ? picker.deckState.pickerHeader : ""
            color: Qt.rgba(1, 1, 1, 0.5)
            font.pixelSize: 10
            font.weight: Font.Black
            font.letterSpacing: 1.5
        }
    }
    MouseArea {
        anchors.fill: header
        enabled: picker.onProviderPage
        onClicked: picker.deckState.closePickerProvider()
    }

    Flickable {
        id: list
        x: 14
        y: header.y + header.height + 8
        width: picker.width - 28
        height: picker.onProviderPage ? column.implicitHeight : Math.min(240, column.implicitHeight)
        contentHeight: column.implicitHeight
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        interactive: contentHeight > height

        Column {
            id: column
            objectName: "pickerColumn"
            width: list.width
            spacing: 2
            onPositioningComplete: {
                if (picker.scrollPending) {
                    picker.scrollPending = false
                    picker.showSelected()
                }
            }
            Repeater {
                model: picker.rows
                // A section title, or a row to choose.
                delegate: Item {
                    id: rowSlot
                    required property var modelData
                    readonly property var row: modelData
                    readonly property bool isSection: row.kind === "section"
                    width: column.width
                    height: isSection ? sectionLabel.height : pickerRow.height

                    Item {
                        id: sectionLabel
                        visible: rowSlot.isSection
                        width: rowSlot.width
                        height: 10 + sectionText.implicitHeight + 4
                        Text {
                            id: sectionText
                            x: 10
                            y: 10
                            text: rowSlot.row.label
                            color: Qt.rgba(1, 1, 1, 0.35)
                            font.pixelSize: 8
                            font.weight: Font.Black
                            font.letterSpacing: 1.5
                        }
                    }

                    Rectangle {
                        id: pickerRow
                        visible: !rowSlot.isSection
                        width: rowSlot.width
                        height: 7 + label.implicitHeight + 7
                        radius: 8
                        color: rowSlot.row.selected ? Qt.rgba(1, 1, 1, 0.1) : "transparent"
                        antialiasing: true

                        Text {
                            id: label
                            x: 10
                            anchors.verticalCenter: parent.verticalCenter
                            text: rowSlot.row.label || ""
                            color: Qt.rgba(1, 1, 1, rowSlot.row.selected ? 0.95 : 0.7)
                            font.pixelSize: 12
                            font.weight: rowSlot.row.selected ? Font.Bold : Font.Medium
                        }
                        Row {
                            anchors.right: parent.right
                            anchors.rightMargin: 10
                            anchors.verticalCenter: parent.verticalCenter
                            spacing: 6
                            Rectangle {
                                visible: rowSlot.row.kind === "provider" && rowSlot.row.selected
                                anchors.verticalCenter: parent.verticalCenter
                                width: 5
                                height: 5
                                radius: 2.5
                                color: Qt.rgba(0.22, 0.87, 0.45, 1)
                            }
                            SymbolIcon {
                                visible: rowSlot.row.kind === "provider"
                                anchors.verticalCenter: parent.verticalCenter
                                name: "chevron.right"
                                size: 9
                                color: Qt.rgba(1, 1, 1, 0.4)
                            }
                            SymbolIcon {
                                visible: rowSlot.row.kind === "option" && rowSlot.row.selected
                                anchors.verticalCenter: parent.verticalCenter
                                name: "checkmark"
                                size: 10
                                color: Qt.rgba(0.22, 0.87, 0.45, 1)
                            }
                        }
                        MouseArea {
                            anchors.fill: parent
                            onClicked: {
                                if (rowSlot.row.kind === "provider")
                                    picker.deckState.openPickerProvider(rowSlot.row.providerID)
                                else
                                    picker.deckState.choosePickerOption(rowSlot.row.assignment)
                            }
                        }
                    }
                }
            }
        }
    }

    // The list opens with the current choice in view, once the new rows
    // are laid out.
    property bool scrollPending: false
    onRowsChanged: scrollPending = true
    function showSelected() {
        list.contentY = 0
        for (let i = 0; i < column.children.length; ++i) {
            const child = column.children[i]
            if (child.row && child.row.selected) {
                const bottom = child.y + child.height
                if (bottom > list.height)
                    list.contentY = Math.min(bottom - list.height + 4, list.contentHeight - list.height)
                return
            }
        }
    }

    // More rows below the visible ones: a fade and an arrow say so.
    Item {
        objectName: "pickerMoreBelow"
        visible: list.contentY + list.height < list.contentHeight - 1
        x: list.x
        y: list.y + list.height - 22
        width: list.width
        height: 22
        Rectangle {
            anchors.fill: parent
            gradient: Gradient {
                GradientStop { position: 0.0; color: Qt.rgba(0.09, 0.09, 0.09, 0) }
                GradientStop { position: 1.0; color: Qt.rgba(0.09, 0.09, 0.09, 1) }
            }
        }
        SymbolIcon {
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.bottom: parent.bottom
            name: "chevron.down"
            size: 9
            color: Qt.rgba(1, 1, 1, 0.5)
        }
    }
}
