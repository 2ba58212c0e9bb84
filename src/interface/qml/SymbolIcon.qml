import QtQuick

// A symbol by its name ("chevron.left", "checkmark", ...), drawn from the SVG
// the program ships for it in the given colour.
Image {
    property string name
    property color color: "white"
    property real size: 10

    source: name.length ? "image://symbol/" + name + "?" + color.toString().substring(1) : ""
    sourceSize.width: Math.ceil(size * 1.4)
    sourceSize.height: Math.ceil(size * 1.4)
    width: size * 1.2
    height: size * 1.2
    fillMode: Image.PreserveAspectFit
    smooth: true
}
