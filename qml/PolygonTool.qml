import QtQuick 2.15
import Pallaster 1.0

// The polygon being drawn point by point over the picture (this item covers it): a click adds
// a point, a line follows the pointer, a click on the first point or close() ends it (three
// points at least) as a polygon of the current class, takeBack() removes the last point and
// cancel() the whole. Points are kept as fractions of the picture, clamped into it.
Item {
    id: tool

    // Fractions of the picture, x y pairs.
    property var points: []
    // Where the pointer is, in this item's coordinates; (-1, -1) while it is elsewhere.
    property point pointer: Qt.point(-1, -1)
    readonly property bool drawing: points.length > 0
    readonly property color colour: Categories.revision, Categories.colorOf(EditSession.currentCatId)
    // How near the first point a click closes the polygon, in pixels.
    readonly property real reach: 8

    function clicked(x, y) {
        var n = points.length
        if (n >= 6 && Math.hypot(x - points[0] * width, y - points[1] * height) <= reach) {
            close()
            return
        }
        points = points.concat([Math.max(0, Math.min(1, x / width)),
                                Math.max(0, Math.min(1, y / height))])
    }
    function takeBack() {
        points = points.slice(0, Math.max(0, points.length - 2))
    }
    function close() {
        if (points.length < 6)
            return false
        EditSession.addPolygon(EditSession.currentCatId, points)
        points = []
        return true
    }
    function cancel() {
        points = []
    }

    onPointsChanged: canvas.requestPaint()
    onPointerChanged: if (drawing) canvas.requestPaint()
    onWidthChanged: canvas.requestPaint()

    Canvas {
        id: canvas
        anchors.fill: parent
        renderStrategy: Canvas.Cooperative
        onPaint: {
            var ctx = getContext("2d")
            ctx.clearRect(0, 0, width, height)
            var p = tool.points
            if (p.length === 0)
                return
            ctx.lineWidth = 2
            ctx.strokeStyle = tool.colour
            ctx.beginPath()
            ctx.moveTo(p[0] * width, p[1] * height)
            for (var i = 2; i < p.length; i += 2)
                ctx.lineTo(p[i] * width, p[i + 1] * height)
            // The rubber line to the pointer.
            if (tool.pointer.x >= 0)
                ctx.lineTo(tool.pointer.x, tool.pointer.y)
            ctx.stroke()
            ctx.fillStyle = "white"
            for (var k = 0; k < p.length; k += 2) {
                var r = k === 0 ? 5 : 3
                ctx.fillRect(p[k] * width - r, p[k + 1] * height - r, 2 * r, 2 * r)
                ctx.strokeRect(p[k] * width - r, p[k + 1] * height - r, 2 * r, 2 * r)
            }
        }
    }
}
