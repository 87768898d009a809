import QtQuick 2.15
import QtQml 2.15

// A square on one corner of a selected box that drags the two edges meeting there at once. It
// reports as the edge handles do, through the box's reportResize, while the drag goes on.
Rectangle {
    id: handle

    // The box (a BBox) whose corner this is, and which corner.
    property Item box
    property bool atLeft: true
    property bool atTop: true
    readonly property real half: width / 2

    objectName: (atTop ? "top" : "bottom") + (atLeft ? "Left" : "Right") + "Handle"
    width: box.handleSize
    height: box.handleSize
    visible: box.selected
    color: area.containsMouse ? "green" : box.bboxSelected

    Binding on x {
        when: !area.drag.active
        restoreMode: Binding.RestoreNone
        value: (handle.atLeft ? 0 : handle.box.width) - handle.half
    }
    Binding on y {
        when: !area.drag.active
        restoreMode: Binding.RestoreNone
        value: (handle.atTop ? 0 : handle.box.height) - handle.half
    }

    function report() {
        var b = box
        var w = atLeft ? b.iCw * b.xMax - x - half : x + half
        var h = atTop ? b.iCh * b.yMax - y - half : y + half
        var l = atLeft ? b.x + x + half : b.x
        var t = atTop ? b.y + y + half : b.y
        b.reportResize((l + w / 2) / b.xMax, (t + h / 2) / b.yMax, w / b.xMax, h / b.yMax)
    }

    MouseArea {
        id: area
        anchors.fill: parent
        enabled: handle.box.enabled
        hoverEnabled: true
        drag.target: handle
        drag.threshold: 1
        // From the picture's border to the opposite edges of the box.
        drag.minimumX: handle.atLeft ? -handle.box.x - handle.half : -handle.half
        drag.maximumX: handle.atLeft ? handle.box.width - handle.half
                                   : handle.box.xMax - handle.box.x - handle.half
        drag.minimumY: handle.atTop ? -handle.box.y - handle.half : -handle.half
        drag.maximumY: handle.atTop ? handle.box.height - handle.half
                                  : handle.box.yMax - handle.box.y - handle.half

        onPressed: {
            handle.box.held = true
            handle.box.lastResize = []
        }
        onReleased: handle.box.held = false
        onCanceled: handle.box.held = false
        onPositionChanged: {
            if (drag.active)
                handle.report()
        }
    }
}
