import QtQuick 2.15
import QtTest 1.15
import "qrc:/"

Item {
    id: root
    width: 400
    height: 300

    // The painted image area the box lives in, with a margin so drags past its borders stay
    // inside the window.
    Item {
        id: area
        x: 100
        y: 100
        width: 100
        height: 50

        // The model values the box is bound to, written back from its signal as the main
        // window does.
        QtObject {
            id: model
            property real cx: 0.5
            property real cy: 0.5
            property real cw: 0.2
            property real ch: 0.2
        }

        BBox {
            id: box
            xMax: area.width
            yMax: area.height
            iCx: model.cx
            iCy: model.cy
            iCw: model.cw
            iCh: model.ch
            onDimensionsChanged: {
                model.cx = newCx
                model.cy = newCy
                model.cw = newCw
                model.ch = newCh
            }
        }
        // Bindings that survive the body drag's own writes to x and y.
        Binding { target: box; property: "x"; value: model.cx * area.width - model.cw * area.width / 2 }
        Binding { target: box; property: "y"; value: model.cy * area.height - model.ch * area.height / 2 }
        Binding { target: box; property: "width"; value: model.cw * area.width }
        Binding { target: box; property: "height"; value: model.ch * area.height }
    }

    TestCase {
    id: testCase
    name: "BBox"
    when: windowShown

    SignalSpy { id: dimensionsSpy; target: box; signalName: "dimensionsChanged" }
    SignalSpy { id: pressedSpy; target: box; signalName: "pressed" }
    SignalSpy { id: deleteSpy; target: box; signalName: "deleteRequested" }

    function init() {
        model.cx = 0.5
        model.cy = 0.5
        model.cw = 0.2
        model.ch = 0.2
        box.selected = false
        box.enabled = true
        box.bboxColor = "blue"
        dimensionsSpy.clear()
        pressedSpy.clear()
        deleteSpy.clear()
        mouseMove(root, 5, 5)
    }

    function handle(name) {
        var h = findChild(box, name)
        verify(h, name)
        return h
    }

    // Drags from one point of the area to another in small steps, as a hand does.
    function drag(fromX, fromY, toX, toY, steps) {
        mousePress(area, fromX, fromY, Qt.LeftButton)
        for (var i = 1; i <= steps; ++i)
            mouseMove(area, fromX + (toX - fromX) * i / steps, fromY + (toY - fromY) * i / steps)
        mouseRelease(area, toX, toY, Qt.LeftButton)
    }

    function lastArgs() {
        verify(dimensionsSpy.count > 0)
        return dimensionsSpy.signalArguments[dimensionsSpy.count - 1]
    }

    function test_bodyDragStopsAtTheBorder() {
        model.cw = 0.2
        model.ch = 0.2
        compare(box.width, 20)
        compare(box.height, 10)
        mousePress(area, 50, 25, Qt.LeftButton)
        compare(pressedSpy.count, 1)
        for (var i = 1; i <= 20; ++i)
            mouseMove(area, 50 + 10 * i, 25 + 10 * i)
        compare(box.x, 80)
        compare(box.y, 40)
        compare(dimensionsSpy.count, 0)
        mouseRelease(area, 250, 225, Qt.LeftButton)
        compare(dimensionsSpy.count, 1)
        var args = dimensionsSpy.signalArguments[0]
        fuzzyCompare(args[0], 0.9, 1e-12)
        fuzzyCompare(args[1], 0.9, 1e-12)
        compare(args[2], 0.2)
        compare(args[3], 0.2)
        compare(box.x, 80)
        compare(box.y, 40)
    }

    function test_clickEmitsOnlyPressed() {
        mouseClick(area, 50, 25, Qt.LeftButton)
        compare(pressedSpy.count, 1)
        compare(dimensionsSpy.count, 0)
        compare(deleteSpy.count, 0)
        compare(box.x, 40)
    }

    function test_handles_data() {
        // area 100 x 50; the box spans x 40..60 and y 20..30
        return [
            { tag: "left to the limit", handle: "leftHandle", from: [40, 25], to: [-60, 25],
              expected: [0.3, 0.5, 0.6, 0.2], left: 0, top: 20, width: 60, height: 10 },
            { tag: "right onto the left edge", handle: "rightHandle", from: [60, 25], to: [0, 25],
              expected: [0.4, 0.5, 0, 0.2], left: 40, top: 20, width: 0, height: 10 },
            { tag: "right to the limit", handle: "rightHandle", from: [60, 25], to: [190, 25],
              expected: [0.7, 0.5, 0.6, 0.2], left: 40, top: 20, width: 60, height: 10 },
            { tag: "top to the limit", handle: "topHandle", from: [50, 20], to: [50, -80],
              expected: [0.5, 0.3, 0.2, 0.6], left: 40, top: 0, width: 20, height: 30 },
            { tag: "bottom onto the top edge", handle: "bottomHandle", from: [50, 30], to: [50, -40],
              expected: [0.5, 0.4, 0.2, 0], left: 40, top: 20, width: 20, height: 0 },
            { tag: "bottom to the limit", handle: "bottomHandle", from: [50, 30], to: [50, 130],
              expected: [0.5, 0.7, 0.2, 0.6], left: 40, top: 20, width: 20, height: 30 },
        ]
    }
    function test_handles(data) {
        box.selected = true
        var h = handle(data.handle)
        verify(h.visible)
        drag(data.from[0], data.from[1], data.to[0], data.to[1], 20)
        verify(dimensionsSpy.count > 2, "emitted while dragging: " + dimensionsSpy.count)
        var args = lastArgs()
        for (var i = 0; i < 4; ++i)
            fuzzyCompare(args[i], data.expected[i], 1e-9)
        fuzzyCompare(box.x, data.left, 1e-9)
        fuzzyCompare(box.y, data.top, 1e-9)
        fuzzyCompare(box.width, data.width, 1e-9)
        fuzzyCompare(box.height, data.height, 1e-9)
        compare(pressedSpy.count, 0)
    }

    function test_handleDragEmitsIntermediatePositions() {
        box.selected = true
        mousePress(area, 60, 25, Qt.LeftButton)
        var widths = []
        for (var i = 1; i <= 5; ++i) {
            mouseMove(area, 60 + 2 * i, 25)
            widths.push(model.cw)
        }
        mouseRelease(area, 70, 25, Qt.LeftButton)
        verify(dimensionsSpy.count >= 4, "count " + dimensionsSpy.count)
        // The right edge follows the pointer move by move, not only at the end.
        for (i = 1; i < widths.length; ++i)
            verify(widths[i] > widths[i - 1], JSON.stringify(widths))
        // 10 units of travel less what the first move spends crossing the drag threshold
        verify(model.cw > 0.27 && model.cw <= 0.3, model.cw)
        // Released, the handle snaps back onto the middle of its moved edge.
        var h = handle("rightHandle")
        var centre = h.mapToItem(area, h.width / 2, h.height / 2)
        fuzzyCompare(centre.x, box.x + box.width, 1e-9)
        fuzzyCompare(centre.y, box.y + box.height / 2, 1e-9)
    }

    function test_leftHandleGrabbedOffCentreFollowsWithoutJump() {
        box.selected = true
        // Grab the handle 3 units left of its centre; the first 2 units cross the threshold.
        mousePress(area, 37, 25, Qt.LeftButton)
        mouseMove(area, 36, 25)
        mouseMove(area, 35, 25)
        mouseMove(area, 30, 25)
        fuzzyCompare(box.x, 35, 1e-9)
        mouseMove(area, 27, 25)
        fuzzyCompare(box.x, 32, 1e-9)
        mouseRelease(area, 27, 25, Qt.LeftButton)
        // The left edge moved with the pointer, the right edge stayed.
        fuzzyCompare(box.x, 32, 1e-9)
        fuzzyCompare(box.x + box.width, 60, 1e-9)
    }

    function test_contextMenuDelete() {
        // Made by the first right click.
        compare(findChild(box, "ctxMnu"), null)
        mousePress(area, 47, 23, Qt.RightButton)
        var menu = findChild(box, "ctxMnu")
        verify(menu)
        tryCompare(menu, "opened", true)
        compare(menu.x, 7)
        compare(menu.y, 3)
        mouseRelease(area, 47, 23, Qt.RightButton)
        compare(pressedSpy.count, 0)
        var item = menu.itemAt(0)
        compare(item.text, "Delete")
        mouseClick(item)
        compare(deleteSpy.count, 1)
        compare(pressedSpy.count, 0)
        compare(dimensionsSpy.count, 0)
        tryCompare(menu, "visible", false)
    }

    function test_unselectedAppearance() {
        compare(String(box.color), "#00000000")
        compare(box.border.width, 1)
        compare(String(box.border.color), "#0000ff")
        var names = ["leftHandle", "rightHandle", "topHandle", "bottomHandle"]
        for (var i = 0; i < names.length; ++i)
            verify(!handle(names[i]).visible)
    }

    function test_selectedAppearance() {
        box.selected = true
        fuzzyCompare(box.color.a, 0.3, 0.01)
        compare(box.color.r, 0)
        compare(box.color.b, 1)
        compare(String(box.border.color), "#ff0000")
        var midpoints = { leftHandle: [40, 25], rightHandle: [60, 25], topHandle: [50, 20], bottomHandle: [50, 30] }
        for (var name in midpoints) {
            var h = handle(name)
            verify(h.visible)
            compare(h.width, 12)
            compare(h.height, 12)
            var centre = h.mapToItem(area, 6, 6)
            compare(centre.x, midpoints[name][0], name)
            compare(centre.y, midpoints[name][1], name)
            compare(String(h.color), "#ff0000", name)
            mouseMove(area, midpoints[name][0], midpoints[name][1])
            tryVerify(function() { return String(h.color) === "#008000" }, 1000, name + " hovered")
            mouseMove(root, 5, 5)
            tryVerify(function() { return String(h.color) === "#ff0000" }, 1000, name + " left")
        }
    }

    function test_categoryColour() {
        box.bboxColor = "black"
        compare(String(box.border.color), "#000000")
        box.selected = true
        compare(String(box.border.color), "#ff0000")
    }

    function test_disabledIgnoresTheMouse() {
        box.selected = true
        box.enabled = false
        drag(50, 25, 90, 45, 10)
        drag(40, 25, 0, 25, 10)
        drag(60, 25, 90, 25, 10)
        mousePress(area, 50, 25, Qt.RightButton)
        mouseRelease(area, 50, 25, Qt.RightButton)
        compare(pressedSpy.count, 0)
        compare(dimensionsSpy.count, 0)
        // The menu is made on demand: a disabled box has none, or none open.
        var menu = findChild(box, "ctxMnu")
        verify(menu === null || !menu.opened)
        compare(box.x, 40)
        compare(box.width, 20)
    }
}
}
