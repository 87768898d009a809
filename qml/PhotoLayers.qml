import QtQuick 2.15
import QtQuick.Window 2.15
import Pallaster 1.0

// The editor's picture: a thumbnail until the sharp copy is ready, and the sharp copy decoded at
// the size shown. Laid over `frame` (the painted image, a sibling) inside the Flickable `view`.
Item {
    id: layers

    property Item frame
    property Flickable view
    // The decoder's URL of the image; empty while nothing is open.
    property string url
    property size thumbnailSize
    // The size a picture that fits the view is decoded at: the box it is fitted into, so that
    // images decoded ahead of opening (before their frame exists) match the request exactly.
    property size fitSize
    // The image file's own size; invalid when its header says nothing.
    property size imageSize
    readonly property Image thumbnail: imgThumb
    readonly property Image sharp: imgSharp

    // The frame moved or changed size: decode again once it has stayed so for a moment.
    function settle() {
        sharpTimer.restart()
    }

    // The sharp copy is decoded once the frame has kept its size and place for a moment
    // (opening, zoom, panning, resizing), never beyond the file's own size nor the screen's
    // pixels, and let go when the editor closes. Zoomed in further than that, the part in view
    // is decoded on its own at the size shown: never more than twice the screen's pixels in all.
    function update() {
        if (layers.url.length === 0 || !(frame.width > 0 && frame.height > 0)) {
            imgSharp.source = ""
            imgRegion.source = ""
            return
        }
        var w = frame.width, h = frame.height
        var limit = Math.min(1, imageSize.width > 0 ? imageSize.width / w : 1,
                             Math.sqrt(Screen.width * Screen.height / (w * h)))
        // The size first: a source set first would start decoding at full size. The decoder
        // never enlarges, so a fitted picture asks for the whole box it fits into.
        var fitted = w <= fitSize.width + 1 && h <= fitSize.height + 1
        imgSharp.sourceSize = fitted ? fitSize : Qt.size(Math.floor(w * limit), Math.floor(h * limit))
        imgSharp.source = layers.url
        // The part in view only when the whole copy is coarser than the picture shows it: never
        // while the picture fits, when the whole copy is the frame's own size.
        var shownWidth = imageSize.width > 0 ? Math.min(w, imageSize.width) : w
        if (fitted || !(shownWidth > w * limit + 1)) {
            imgRegion.source = ""
            return
        }
        var x0 = Math.max(0, view.contentX - frame.x)
        var y0 = Math.max(0, view.contentY - frame.y)
        var x1 = Math.min(w, view.contentX + view.width - frame.x)
        var y1 = Math.min(h, view.contentY + view.height - frame.y)
        if (x1 <= x0 || y1 <= y0)
            return
        var sx = imageSize.width / w, sy = imageSize.height / h
        var region = [Math.floor(x0 * sx), Math.floor(y0 * sy), Math.ceil((x1 - x0) * sx),
                      Math.ceil((y1 - y0) * sy)]
        var regionUrl = layers.url + "?region=" + region.join(",")
        if (regionUrl === String(imgRegion.source))
            return
        imgRegion.source = ""
        imgRegion.area = Qt.rect(region[0] / imageSize.width, region[1] / imageSize.height,
                                 region[2] / imageSize.width, region[3] / imageSize.height)
        imgRegion.sourceSize = Qt.size(Math.ceil(x1 - x0), Math.ceil(y1 - y0))
        imgRegion.source = regionUrl
    }

    // A new image is asked for at once, as soon as its frame is laid out: it may have been
    // decoded ahead.
    onUrlChanged: {
        imgSharp.source = ""
        imgRegion.source = ""
        sharpTimer.stop()
        Qt.callLater(layers.update)
    }
    Timer {
        id: sharpTimer
        interval: 100
        onTriggered: layers.update()
    }

    Rectangle {
        x: layers.frame.x
        y: layers.frame.y
        width: layers.frame.width
        height: layers.frame.height
        visible: imgThumb.status !== Image.Ready && imgSharp.status !== Image.Ready
        color: "#e4e4e4"
    }
    Image {
        id: imgThumb
        x: layers.frame.x
        y: layers.frame.y
        width: layers.frame.width
        height: layers.frame.height
        visible: imgSharp.status !== Image.Ready
        fillMode: Image.Stretch
        asynchronous: true
        sourceSize: layers.thumbnailSize
        source: layers.url
    }
    Image {
        id: imgSharp
        objectName: "editorImage"
        x: layers.frame.x
        y: layers.frame.y
        width: layers.frame.width
        height: layers.frame.height
        visible: status === Image.Ready
        fillMode: Image.Stretch
        asynchronous: true
        cache: false
    }
    // The part in view of a photo zoomed in beyond what one copy of it can hold.
    Image {
        id: imgRegion
        objectName: "regionImage"
        // Fractions of the image.
        property rect area
        x: layers.frame.x + area.x * layers.frame.width
        y: layers.frame.y + area.y * layers.frame.height
        width: area.width * layers.frame.width
        height: area.height * layers.frame.height
        visible: status === Image.Ready
        fillMode: Image.Stretch
        asynchronous: true
        cache: false
    }
}
