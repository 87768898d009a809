import QtQuick 2.15

// The painted image: centred in its parent, as large as the picture fitted into it with its
// aspect ratio kept (nothing while the aspect is 0, unknown), with the image's name at its top
// left. Boxes placed on it use its width and height.
Item {
    id: frame

    // The image's width over its height; 0 while unknown.
    property real aspect: 0
    property string caption
    // Why the picture cannot be shown; the frame is then drawn neutral, with this text on it.
    property string problem
    readonly property bool widthBound: parent.width <= parent.height * aspect

    objectName: "imageFrame"
    anchors.centerIn: parent
    width: aspect > 0 ? (widthBound ? parent.width : parent.height * aspect) : 0
    height: aspect > 0 ? (widthBound ? parent.width / aspect : parent.height) : 0

    Rectangle {
        anchors.fill: parent
        visible: frame.problem.length > 0
        color: "#d0d0d0"
        border.color: "#a0a0a0"

        Text {
            objectName: "imageProblem"
            anchors.fill: parent
            anchors.margins: 4
            text: frame.problem
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            color: "firebrick"
        }
    }
    Text {
        anchors.top: parent.top
        anchors.left: parent.left
        text: frame.caption
        color: "white"
        style: Text.Outline
        styleColor: "black"
    }
}
