import QtQuick 2.15
import Pallaster 1.0

// Over the whole picture view of the editor: hover for the place a key adds a box at. A click
// beside the boxes clears the selection; a drag draws a box of the current class; with the
// polygon tool on, clicks put its points; after a pose box is drawn, clicks place its keypoints.
MouseArea {
    // The picture (points are taken in its coordinates, clamped into it), the band a drag
    // shows, and the polygon tool that takes the clicks while `polygonMode` is on.
    property Item frame
    property Item bandItem
    property Item toolItem
    property bool polygonMode: false

    objectName: "mouseFull"
    hoverEnabled: true
    property point start
    property bool drew: false
    // Esc during the drag: nothing more is drawn until the button is let go.
    property bool cancelled: false

    function framePoint(mouse) {
        return Qt.point(Math.max(0, Math.min(frame.width, mouse.x - frame.x)),
                        Math.max(0, Math.min(frame.height, mouse.y - frame.y)))
    }
    onPressed: {
        drew = false
        cancelled = false
        start = framePoint(mouse)
        // The keypoints of a pose line just drawn, one a click.
        if (EditSession.placingPoint >= 0) {
            EditSession.placeKeypoint(start.x / frame.width,
                                      start.y / frame.height)
            drew = true
            return
        }
        if (polygonMode) {
            toolItem.clicked(start.x, start.y)
            drew = true
            return
        }
        bandItem.x = start.x
        bandItem.y = start.y
        bandItem.width = 0
        bandItem.height = 0
    }
    onPositionChanged: {
        if (polygonMode)
            toolItem.pointer = framePoint(mouse)
        if (!pressed || cancelled || polygonMode)
            return
        var p = framePoint(mouse)
        bandItem.x = Math.min(start.x, p.x)
        bandItem.y = Math.min(start.y, p.y)
        bandItem.width = Math.abs(p.x - start.x)
        bandItem.height = Math.abs(p.y - start.y)
        if (bandItem.width >= 3 || bandItem.height >= 3)
            bandItem.visible = true
    }
    onReleased: {
        if (!bandItem.visible)
            return
        bandItem.visible = false
        drew = true
        EditSession.drawBox(EditSession.currentCatId, bandItem.x, bandItem.y,
                            bandItem.x + bandItem.width, bandItem.y + bandItem.height,
                            frame.width, frame.height)
    }
    onCanceled: bandItem.visible = false
    onClicked: {
        if (!drew)
            EditSession.clearSelection()
    }
}
