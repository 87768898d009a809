import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Window 2.15
import Pallaster 1.0

// The open image in the editor, with its boxes to select, move, resize and delete. It fits the
// editor at first and zooms (wheel about the pointer, keys about the middle) up to eight screen
// pixels an image pixel; the middle button and the scroll bars pan. A thumbnail shows until the
// sharp copy, decoded at the size shown, is ready.
Item {
    id: picture

    // The size grid thumbnails are decoded at: the placeholder comes from the same cache.
    property size thumbnailSize
    // The picture's size over the size that fits the editor: 1 fits it.
    property real zoom: 1
    readonly property string decodedUrl: EditSession.isOpen
                                         ? "image://decoded/" + encodeURIComponent(EditSession.imagePath)
                                         : ""
    readonly property size imageSize: EditSession.imageSize
    // The rows of the boxes the open image's problems are about, asked once for all boxes.
    readonly property var flaggedBoxes: Health.revision >= 0 && EditSession.isOpen
                                        ? Health.flaggedBoxes(EditSession.row) : []
    // From the file's header; from the decoded picture when the header says nothing.
    readonly property real aspect: {
        if (imageSize.width > 0 && imageSize.height > 0)
            return imageSize.width / imageSize.height
        if (layers.sharp.status === Image.Ready && layers.sharp.implicitHeight > 0)
            return layers.sharp.implicitWidth / layers.sharp.implicitHeight
        if (layers.thumbnail.status === Image.Ready && layers.thumbnail.implicitHeight > 0)
            return layers.thumbnail.implicitWidth / layers.thumbnail.implicitHeight
        // A square frame for an image that cannot be read: its boxes are still shown.
        return failed ? 1 : 0
    }
    readonly property bool failed: layers.thumbnail.status === Image.Error
    // Room around the picture for the handles of boxes on its edges.
    readonly property real margin: 8
    // The frame that fits the editor.
    readonly property real viewWidth: Math.max(0, flick.width - 2 * margin)
    readonly property real viewHeight: Math.max(0, flick.height - 2 * margin)
    readonly property bool widthBound: viewWidth <= viewHeight * aspect
    readonly property real fitWidth: aspect > 0 ? (widthBound ? viewWidth : viewHeight * aspect) : 0
    readonly property real fitHeight: aspect > 0 ? (widthBound ? viewWidth / aspect : viewHeight) : 0
    // The size a fitted picture asks to be decoded at (the Image item turns it into pixels).
    readonly property size fitSize: Qt.size(Math.floor(viewWidth), Math.floor(viewHeight))
    readonly property real maxZoom: imageSize.width > 0 && fitWidth > 0
                                    ? Math.max(1, 8 * imageSize.width / fitWidth) : 8

    // Zooms to `newZoom` keeping the image point under (px, py) of the view where it is.
    function zoomAbout(newZoom, px, py) {
        if (!(rcImageFrame.width > 0))
            return
        var fx = (flick.contentX + px - rcImageFrame.x) / rcImageFrame.width
        var fy = (flick.contentY + py - rcImageFrame.y) / rcImageFrame.height
        zoom = Math.max(1, Math.min(maxZoom, newZoom))
        flick.contentX = Math.max(0, Math.min(flick.contentWidth - flick.width,
                                              rcImageFrame.x + fx * rcImageFrame.width - px))
        flick.contentY = Math.max(0, Math.min(flick.contentHeight - flick.height,
                                              rcImageFrame.y + fy * rcImageFrame.height - py))
    }
    function zoomBy(factor) {
        zoomAbout(zoom * factor, flick.width / 2, flick.height / 2)
    }
    // 100 %: one image pixel a screen pixel.
    function zoomToActualSize() {
        if (imageSize.width > 0 && fitWidth > 0)
            zoomAbout(imageSize.width / fitWidth, flick.width / 2, flick.height / 2)
    }
    function fit() {
        zoom = 1
    }
    // True while a box is being drawn by dragging on the picture, or a polygon point by point.
    readonly property bool drawing: band.visible || polygonTool.drawing
    // The polygon tool is on: clicks put points, boxes are not picked.
    property bool polygonMode: false
    // The selected polygon whose vertices are numbered (the pointer is on it); -1 for none.
    property int numberedBox: -1

    function cancelDrawing() {
        band.visible = false
        mouseFull.cancelled = true
        polygonTool.cancel()
    }
    function setPolygonMode(on) {
        polygonMode = on
        polygonTool.cancel()
    }
    // Enter: the polygon being drawn is closed.
    function closePolygon() {
        polygonTool.close()
    }
    // Backspace: the last point of the polygon being drawn goes; false when none is drawn.
    function takeBackPoint() {
        if (!polygonTool.drawing)
            return false
        polygonTool.takeBack()
        return true
    }
    // Adds a box of `catId` at the last place the pointer was seen over the picture.
    function addBoxAtPointer(catId) {
        EditSession.addBox(catId, mouseFull.mouseX - rcImageFrame.x, mouseFull.mouseY - rcImageFrame.y,
                           rcImageFrame.width, rcImageFrame.height)
    }
    // Arrow keys move by a screen pixel, or by an image pixel once those are larger.
    function nudge(dx, dy) {
        var w = rcImageFrame.width, h = rcImageFrame.height
        if (imageSize.width > 0 && imageSize.width < w) {
            w = imageSize.width
            h = imageSize.height
        }
        EditSession.nudgeSelected(dx, dy, w, h)
    }
    onDecodedUrlChanged: {
        zoom = 1
        polygonTool.cancel()
    }

    // The open image and the ones PageDown and PageUp open next, decoded in the background at
    // the size a fitted picture asks for: the next one is sharp as soon as it is opened.
    Lookahead {
        objectName: "lookahead"
        rows: EditSession.isOpen ? [EditSession.row, EditSession.neighbourRow(1),
                                    EditSession.neighbourRow(-1)] : []
        size: Qt.size(picture.fitSize.width * Screen.devicePixelRatio,
                      picture.fitSize.height * Screen.devicePixelRatio)
    }

    Flickable {
        id: flick
        objectName: "pictureView"
        anchors.fill: parent
        clip: true
        // The left button selects, moves and draws; panning is the middle button's.
        interactive: false
        onContentXChanged: layers.settle()
        onContentYChanged: layers.settle()
        contentWidth: Math.max(width, rcImageFrame.width + 2 * picture.margin)
        contentHeight: Math.max(height, rcImageFrame.height + 2 * picture.margin)
        ScrollBar.horizontal: ScrollBar {}
        ScrollBar.vertical: ScrollBar {}

        Item {
            id: content
            width: flick.contentWidth
            height: flick.contentHeight

            PhotoLayers {
                id: layers
                anchors.fill: parent
                frame: rcImageFrame
                view: flick
                url: picture.decodedUrl
                thumbnailSize: picture.thumbnailSize
                fitSize: picture.fitSize
                imageSize: picture.imageSize
            }
            DrawArea {
                id: mouseFull
                anchors.fill: parent
                frame: rcImageFrame
                bandItem: band
                toolItem: polygonTool
                polygonMode: picture.polygonMode
            }
            ImageFrame {
                id: rcImageFrame
                anchors.centerIn: undefined
                x: Math.max(0, (content.width - width) / 2)
                y: Math.max(0, (content.height - height) / 2)
                width: picture.fitWidth * picture.zoom
                height: picture.fitHeight * picture.zoom
                caption: EditSession.caption
                problem: picture.failed ? Utils.imageProblem(EditSession.imagePath) : ""
                onWidthChanged: layers.settle()
                onHeightChanged: layers.settle()

                // Polygons and keypoints as they are, and a model's predictions dashed, beneath
                // the box items: over the part of the picture in view only, so that its texture
                // stays the size of the view.
                BoxOverlay {
                    readonly property real viewLeft: Math.max(0, flick.contentX - rcImageFrame.x)
                    readonly property real viewTop: Math.max(0, flick.contentY - rcImageFrame.y)

                    objectName: "shapes"
                    x: viewLeft
                    y: viewTop
                    width: Math.max(0, Math.min(rcImageFrame.width, flick.contentX + flick.width
                                                - rcImageFrame.x) - viewLeft)
                    height: Math.max(0, Math.min(rcImageFrame.height, flick.contentY + flick.height
                                                 - rcImageFrame.y) - viewTop)
                    area: Qt.rect(-viewLeft, -viewTop, rcImageFrame.width, rcImageFrame.height)
                    boxes: EditSession.boxes
                    categories: Categories
                    selectedBox: EditSession.selectedBox
                    predictions: Predictions
                    imageRow: EditSession.row
                    fillShapes: EditSession.fillShapes
                    vertexHandles: true
                    numberVertices: picture.numberedBox >= 0
                    predictionTags: true
                    highlight: Predictions.revision >= 0
                               ? Predictions.predictionOf(EditSession.row, Predictions.current) : -1
                }
                Repeater {
                    id: boxRepeater
                    objectName: "boxRepeater"
                    model: EditSession.boxes

                    delegate: PlacedBox {
                        enabled: !picture.polygonMode && EditSession.placingPoint < 0
                        onShowsNumbersChanged: picture.numberedBox = showsNumbers ? index : -1
                        flagged: picture.flaggedBoxes.indexOf(index) >= 0
                        xMax: rcImageFrame.width
                        yMax: rcImageFrame.height
                        onClickedWithoutMove: boxPicker.selectedClicked()
                    }
                }
                BoxPicker {
                    id: boxPicker
                    boxes: boxRepeater
                    z: 150
                }
                PolygonTool {
                    id: polygonTool
                    objectName: "polygonTool"
                    anchors.fill: parent
                    z: 210
                }
                // The box being drawn, in the current class's colour.
                Rectangle {
                    id: band
                    objectName: "drawBand"
                    visible: false
                    z: 200
                    color: "transparent"
                    border.width: 2
                    border.color: Categories.revision, Categories.colorOf(EditSession.currentCatId)
                }
            }
        }
    }
    // While Space is held the left button pans too.
    property bool spaceHeld: false
    focus: true
    Keys.onPressed: {
        if (event.key === Qt.Key_Space) {
            if (!event.isAutoRepeat)
                spaceHeld = true
            event.accepted = true
        }
    }
    Keys.onReleased: {
        if (event.key === Qt.Key_Space && !event.isAutoRepeat) {
            spaceHeld = false
            event.accepted = true
        }
    }

    // The wheel zooms about the pointer; the middle button (or the left with Space held) pans.
    MouseArea {
        objectName: "zoomArea"
        anchors.fill: parent
        acceptedButtons: picture.spaceHeld ? Qt.LeftButton | Qt.MiddleButton : Qt.MiddleButton
        cursorShape: picture.spaceHeld || pressed ? Qt.ClosedHandCursor : Qt.ArrowCursor
        property point last

        onWheel: {
            var steps = wheel.angleDelta.y / 120
            if (steps !== 0)
                picture.zoomAbout(picture.zoom * Math.pow(1.25, steps), wheel.x, wheel.y)
        }
        onPressed: last = Qt.point(mouse.x, mouse.y)
        onPositionChanged: {
            flick.contentX = Math.max(0, Math.min(flick.contentWidth - flick.width,
                                                  flick.contentX - (mouse.x - last.x)))
            flick.contentY = Math.max(0, Math.min(flick.contentHeight - flick.height,
                                                  flick.contentY - (mouse.y - last.y)))
            last = Qt.point(mouse.x, mouse.y)
        }
    }
}
