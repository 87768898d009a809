import QtQuick 2.15
import Pallaster 1.0

// A box of the open image in the editor, placed over the painted picture (xMax by yMax) at its
// model geometry, selected through the edit session; its edits go to the session.
BBox {
    id: placed

    required property int index
    required property int catId
    required property real cx
    required property real cy
    required property real cw
    required property real ch
    // "box", "polygon" or "keypoints"; the points of a shape (x y pairs, or x y v for keypoints
    // of three values), and the confidence of a prediction's line.
    required property string kind
    required property var points
    required property int pointDims
    required property var confidence
    // Whether the drag going on has already made its edit: its further reports join that one.
    property bool continuing: false
    // Whether the box has moved since it was last pressed.
    property bool moved: false

    // One of the image's problems is about this box.
    property bool flagged: false

    // Pressed and let go without a move.
    signal clickedWithoutMove()

    objectName: "box" + index
    iCx: cx
    iCy: cy
    iCw: cw
    iCh: ch
    bboxColor: Categories.revision, Categories.colorOf(catId)
    selected: EditSession.selectedBox === index
    z: selected ? 100 : 10
    // A polygon is drawn as itself beneath; its box shows only while it is selected.
    border.width: kind === "polygon" && !selected ? 0 : 1

    onPressed: {
        moved = false
        EditSession.select(index)
    }
    onHeldChanged: {
        if (held)
            return
        continuing = false
        // A move ends after the button is let go: look once it has been reported.
        Qt.callLater(function() {
            if (!placed.moved)
                placed.clickedWithoutMove()
        })
    }
    onDimensionsChanged: {
        moved = true
        EditSession.moveBox(index, newCx, newCy, newCw, newCh, continuing)
        continuing = held
    }
    onDeleteRequested: EditSession.deleteBox(index)
    // Ctrl+click or a double click on an edge of the selected polygon puts a vertex there.
    modifierClick: function (x, y) {
        return kind === "polygon" && selected
                && EditSession.insertVertexAt(index, (placed.x + x) / xMax, (placed.y + y) / yMax,
                                              xMax, yMax)
    }

    // Binding objects rather than plain bindings: dragging the body writes x and y itself,
    // which would break a plain binding for good.
    Binding {
        target: placed
        property: "width"
        value: placed.iCw * placed.xMax
    }
    Binding {
        target: placed
        property: "height"
        value: placed.iCh * placed.yMax
    }
    Binding {
        target: placed
        property: "x"
        value: (placed.iCx - placed.iCw / 2) * placed.xMax
    }
    Binding {
        target: placed
        property: "y"
        value: (placed.iCy - placed.iCh / 2) * placed.yMax
    }
    // Every box says what it is in a tag of its colour, just above its top-left corner, or just
    // inside it when the box touches the top of the image.
    Rectangle {
        y: placed.y >= height ? -height : 0
        width: lblClass.implicitWidth + 6
        height: lblClass.implicitHeight + 2
        color: placed.bboxColor
        opacity: placed.selected ? 1 : 0.85

        Text {
            id: lblClass
            objectName: "className"
            anchors.centerIn: parent
            text: (Categories.revision, Categories.nameOf(placed.catId))
                  + (typeof placed.confidence === "number" ? " " + placed.confidence.toFixed(2) : "")
            color: placed.bboxColor.hslLightness > 0.55 ? "black" : "white"
            font.pixelSize: 11
        }
    }
    // The polygon's vertices are numbered while the pointer is on it.
    readonly property bool showsNumbers: selected && kind === "polygon"
                                         && (hovered || vertexDrag.containsMouse)
    // The keypoints of the selected pose line, each to drag.
    Repeater {
        model: placed.selected && placed.kind === "keypoints" && placed.pointDims > 0
               ? placed.points.length / placed.pointDims : 0

        delegate: VertexHandle {
            box: placed
            row: placed.index
            point: index
            at: Qt.point(placed.points[index * placed.pointDims],
                         placed.points[index * placed.pointDims + 1])
            unlabelled: placed.pointDims === 3 && placed.points[index * 3 + 2] === 0
            xMax: placed.xMax
            yMax: placed.yMax
            z: 20
        }
    }
    // The selected polygon's vertices, drawn by the shapes beneath (an outline of hundreds follows
    // a drag at once): a press within a few pixels of one drags it, Ctrl+click takes it out;
    // a press anywhere else goes on to the box.
    MouseArea {
        id: vertexDrag
        objectName: "vertexDrag"
        enabled: placed.selected && placed.kind === "polygon"
        anchors.fill: parent
        anchors.margins: -6
        hoverEnabled: true
        z: 20
        property int dragging: -1
        property bool continuing: false
        function at(mouse) {
            var p = mapToItem(placed.parent, mouse.x, mouse.y)
            return Qt.point(Math.max(0, Math.min(1, p.x / placed.xMax)),
                            Math.max(0, Math.min(1, p.y / placed.yMax)))
        }
        onPressed: {
            var p = at(mouse)
            var vertex = EditSession.vertexAt(placed.index, p.x, p.y, placed.xMax, placed.yMax)
            dragging = -1
            if (vertex < 0) {
                mouse.accepted = false
                return
            }
            if (mouse.modifiers & Qt.ControlModifier) {
                EditSession.removeVertex(placed.index, vertex)
                return
            }
            dragging = vertex
            continuing = false
        }
        onPositionChanged: {
            if (!pressed || dragging < 0)
                return
            var p = at(mouse)
            EditSession.movePoint(placed.index, dragging, p.x, p.y, continuing)
            continuing = true
        }
        onReleased: dragging = -1
    }
    // An oriented box (four corners) turns about its middle by its handle above.
    Rectangle {
        id: turnHandle
        objectName: "turnHandle"
        visible: placed.selected && placed.kind === "polygon" && placed.points.length === 8
        x: placed.width / 2 - width / 2
        y: -28
        width: 12
        height: 12
        radius: 6
        color: "white"
        border.width: 2
        border.color: "black"
        property real last: 0
        property bool continuing: false

        MouseArea {
            anchors.fill: parent
            anchors.margins: -3
            cursorShape: Qt.SizeAllCursor
            function angle(mouse) {
                var p = mapToItem(placed, mouse.x, mouse.y)
                return Math.atan2(p.y - placed.height / 2, p.x - placed.width / 2)
            }
            onPressed: {
                turnHandle.last = angle(mouse)
                turnHandle.continuing = false
            }
            onPositionChanged: {
                var now = angle(mouse)
                EditSession.rotateBox(placed.index, now - turnHandle.last, placed.xMax,
                                      placed.yMax, turnHandle.continuing)
                turnHandle.last = now
                turnHandle.continuing = true
            }
        }
    }
    // Corners drag two edges at once.
    CornerHandle { box: placed; atLeft: true; atTop: true }
    CornerHandle { box: placed; atLeft: false; atTop: true }
    CornerHandle { box: placed; atLeft: true; atTop: false }
    CornerHandle { box: placed; atLeft: false; atTop: false }

    // Red on white, so that it stands apart from a red class's own frame.
    Rectangle {
        objectName: "problemFrame"
        visible: placed.flagged
        anchors.fill: parent
        anchors.margins: -5
        color: "transparent"
        border.width: 2
        border.color: "#d02020"

        Rectangle {
            anchors.fill: parent
            anchors.margins: 2
            color: "transparent"
            border.width: 1
            border.color: "white"
        }
    }
}
