import QtQuick
import Vexlor

// The info key: the symbol over the number of the information page showing.
Item {
    id: content
    property DeckModel model
    readonly property alias pageText: label.text

    Column {
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 12
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 0
        SymbolIcon {
            anchors.horizontalCenter: parent.horizontalCenter
            name: "info.circle"
            size: 30
            color: DeckPalette.infoViolet
        }
        Text {
            id: label
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("INFO %1/%2").arg(content.model ? content.model.infoPageIndex + 1 : 1)
                                    .arg(content.model ? content.model.infoPageCount : 0)
            color: Qt.rgba(1, 1, 1, 0.85)
            font.family: DeckPalette.figureFont
            font.pixelSize: 9
            font.weight: Font.Bold
        }
    }
}
