import QtQuick 2.15
import QtQml 2.15
import Pallaster 1.0

// One keypoint of a selected pose line, to drag (a polygon's vertices are drawn and dragged by
// its box): each drag is one undo step; a press makes it the selected keypoint. It sits on its
// point, `at` (fractions of the picture `xMax` by `yMax`), in the coordinates of the box item
// `box` that holds it.
Rectangle {
    id: handle

    property Item box
    property int row
    property int point
    property point at
    property real xMax
    property real yMax
    // A keypoint not labelled yet: hollow until it is dragged.
    property bool unlabelled: false
    readonly property real half: width / 2
    property bool continuing: false

    objectName: "vertex" + point
    width: 9
    height: 9
    radius: 2
    color: unlabelled ? "transparent" : "white"
    border.width: 2
    // The keypoint K acts on.
    border.color: EditSession.selectedBox === row && EditSession.selectedPoint === point ? "red"
                                                                                         : "black"

    // Bound to the point except while dragged, when the drag moves it.
    Binding on x {
        when: !area.drag.active
        restoreMode: Binding.RestoreNone
        value: handle.at.x * handle.xMax - handle.box.x - handle.half
    }
    Binding on y {
        when: !area.drag.active
        restoreMode: Binding.RestoreNone
        value: handle.at.y * handle.yMax - handle.box.y - handle.half
    }

    MouseArea {
        id: area
        anchors.fill: parent
        anchors.margins: -2
        drag.target: handle
        drag.threshold: 1
        // Inside the picture.
        drag.minimumX: -handle.box.x - handle.half
        drag.maximumX: handle.xMax - handle.box.x - handle.half
        drag.minimumY: -handle.box.y - handle.half
        drag.maximumY: handle.yMax - handle.box.y - handle.half

        onPressed: {
            EditSession.selectedPoint = handle.point
            handle.continuing = false
        }
        onPositionChanged: {
            if (!drag.active)
                return
            EditSession.movePoint(handle.row, handle.point,
                                  (handle.box.x + handle.x + handle.half) / handle.xMax,
                                  (handle.box.y + handle.y + handle.half) / handle.yMax,
                                  handle.continuing)
            handle.continuing = true
        }
    }
}
