import QtQuick 2.15
import Pallaster 1.0

// Over the editor's picture: a press picks the smallest box under the pointer (a click on the
// selected box at the same place, the next larger). When that box is the one the press would
// reach, the press goes on to it, so it can be dragged at once; otherwise it only selects.
MouseArea {
    id: boxPicker

    // The Repeater of the box items over the same picture.
    property Repeater boxes

    objectName: "boxPicker"
    anchors.fill: parent

    // The box item the press would reach: the highest, the last of equals.
    function topBoxAt(x, y) {
        var top = null
        for (var i = 0; i < boxPicker.boxes.count; ++i) {
            var b = boxPicker.boxes.itemAt(i)
            if (b && x >= b.x && x <= b.x + b.width && y >= b.y
                    && y <= b.y + b.height && (!top || b.z >= top.z))
                top = b
        }
        return top
    }
    // Whether (x, y) is on one of the edge or corner handles of the box item `b`.
    function onHandle(b, x, y) {
        var half = b.handleSize / 2
        var mids = [[b.x, b.y + b.height / 2], [b.x + b.width, b.y + b.height / 2],
                    [b.x + b.width / 2, b.y], [b.x + b.width / 2, b.y + b.height],
                    [b.x, b.y], [b.x + b.width, b.y], [b.x, b.y + b.height],
                    [b.x + b.width, b.y + b.height]]
        for (var i = 0; i < mids.length; ++i) {
            if (Math.abs(x - mids[i][0]) <= half && Math.abs(y - mids[i][1]) <= half)
                return true
        }
        return false
    }

    // Where the last press was, and whether a click there now goes on to the next
    // larger box.
    property point lastPress: Qt.point(-100, -100)
    property bool cycle: false

    // The selected box was clicked without being moved.
    function selectedClicked() {
        if (cycle)
            EditSession.select(EditSession.boxAt(lastPress.x / width,
                                                 lastPress.y / height,
                                                 EditSession.selectedBox))
        cycle = false
    }

    onPressed: {
        mouse.accepted = false
        var samePlace = Math.abs(mouse.x - lastPress.x) <= 3
                && Math.abs(mouse.y - lastPress.y) <= 3
        lastPress = Qt.point(mouse.x, mouse.y)
        cycle = false
        var top = topBoxAt(mouse.x, mouse.y)
        var selectedItem = boxPicker.boxes.itemAt(EditSession.selectedBox)
        // The selected box keeps the press (to be dragged, or clicked again to
        // go on to a larger box), as do its handles.
        if (selectedItem && (onHandle(selectedItem, mouse.x, mouse.y)
                             || top === selectedItem)) {
            cycle = samePlace && top === selectedItem
            return
        }
        var row = EditSession.boxAt(mouse.x / width, mouse.y / height)
        if (row < 0)
            return
        EditSession.select(row)
        mouse.accepted = !top || top.index !== row
    }
}
