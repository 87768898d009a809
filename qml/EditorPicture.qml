import QtQuick 2.15
import Pallaster 1.0

// The open image at the size of the editor, with its boxes to select, move, resize and delete.
// A thumbnail shows until the sharp copy, decoded at the size shown, is ready.
Item {
    id: picture

    // The size grid thumbnails are decoded at: the placeholder comes from the same cache.
    property size thumbnailSize
    readonly property string decodedUrl: EditSession.isOpen
                                         ? "image://decoded/" + encodeURIComponent(EditSession.imagePath)
                                         : ""
    // From the file's header; from the decoded picture when the header says nothing.
    readonly property real aspect: {
        var size = EditSession.imageSize
        if (size.width > 0 && size.height > 0)
            return size.width / size.height
        if (imgSharp.status === Image.Ready && imgSharp.implicitHeight > 0)
            return imgSharp.implicitWidth / imgSharp.implicitHeight
        if (imgThumb.status === Image.Ready && imgThumb.implicitHeight > 0)
            return imgThumb.implicitWidth / imgThumb.implicitHeight
        // A square frame for an image that cannot be read: its boxes are still shown.
        return failed ? 1 : 0
    }
    readonly property bool failed: imgThumb.status === Image.Error

    // Adds a box of `catId` at the last place the pointer was seen over the picture.
    function addBoxAtPointer(catId) {
        EditSession.addBox(catId, mouseFull.mouseX - rcImageFrame.x, mouseFull.mouseY - rcImageFrame.y,
                           rcImageFrame.width, rcImageFrame.height)
    }
    function nudge(dx, dy) {
        EditSession.nudgeSelected(dx, dy, rcImageFrame.width, rcImageFrame.height)
    }
    // The sharp copy is decoded once the frame has kept its size for a moment (opening,
    // resizing), and let go when the editor closes.
    function updateSharp() {
        if (!EditSession.isOpen || !(rcImageFrame.width > 0 && rcImageFrame.height > 0)) {
            imgSharp.source = ""
            return
        }
        // The size first: a source set first would start decoding at full size.
        imgSharp.sourceSize = Qt.size(Math.floor(rcImageFrame.width),
                                      Math.floor(rcImageFrame.height))
        imgSharp.source = decodedUrl
    }

    onDecodedUrlChanged: {
        imgSharp.source = ""
        sharpTimer.restart()
    }
    Timer {
        id: sharpTimer
        interval: 100
        onTriggered: picture.updateSharp()
    }

    Rectangle {
        anchors.fill: rcImageFrame
        visible: imgThumb.status !== Image.Ready && imgSharp.status !== Image.Ready
        color: "#e4e4e4"
    }
    Image {
        id: imgThumb
        anchors.fill: rcImageFrame
        visible: imgSharp.status !== Image.Ready
        fillMode: Image.Stretch
        asynchronous: true
        sourceSize: picture.thumbnailSize
        source: picture.decodedUrl
    }
    Image {
        id: imgSharp
        objectName: "editorImage"
        anchors.fill: rcImageFrame
        visible: status === Image.Ready
        fillMode: Image.Stretch
        asynchronous: true
        cache: false
    }
    // Hover for the place a key adds a box at; a click beside the boxes clears the selection.
    MouseArea {
        id: mouseFull
        objectName: "mouseFull"
        anchors.fill: parent
        hoverEnabled: true
        onClicked: EditSession.clearSelection()
    }
    ImageFrame {
        id: rcImageFrame
        aspect: picture.aspect
        caption: EditSession.caption
        problem: picture.failed ? Utils.imageProblem(EditSession.imagePath) : ""
        onWidthChanged: sharpTimer.restart()
        onHeightChanged: sharpTimer.restart()

        Repeater {
            model: EditSession.boxes

            delegate: PlacedBox {
                xMax: rcImageFrame.width
                yMax: rcImageFrame.height
            }
        }
    }
}
