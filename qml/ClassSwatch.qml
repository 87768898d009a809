import QtQuick 2.15
import QtQuick.Controls 2.15
import Pallaster 1.0

// A category's colour with its key on it and its name in a tooltip. The key, while
// `keysEnabled`, asks for a box of this category.
Rectangle {
    id: rcCategory

    property int catId
    property string catName
    property string catShortcut
    property color catColor
    property bool current: false
    property bool keysEnabled: false
    readonly property string tipText: catShortcut.length > 0
                                      ? "(%1) %2".arg(catShortcut).arg(catName) : catName

    signal clicked()
    signal keyActivated()

    objectName: "category" + catId
    width: 20
    height: 20
    color: catColor
    // The current category is framed more heavily.
    border.width: current ? 3 : 1
    border.color: "black"

    ToolTip.visible: mouseCategory.containsMouse
    ToolTip.text: tipText

    Text {
        anchors.centerIn: parent
        text: rcCategory.catShortcut
        color: Utils.invertColor(rcCategory.catColor)
        // An outline keeps the digit readable where the inverted colour is close to the swatch's.
        style: Text.Outline
        styleColor: rcCategory.catColor.hslLightness > 0.5 ? "black" : "white"
    }
    MouseArea {
        id: mouseCategory
        anchors.fill: parent
        hoverEnabled: true
        onClicked: rcCategory.clicked()
    }
    Shortcut {
        sequence: rcCategory.catShortcut
        enabled: rcCategory.keysEnabled && rcCategory.catShortcut.length > 0
        onActivated: rcCategory.keyActivated()
    }
}
