import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// One bounding box over an image: the user binds x, y, width, height, xMax, yMax and iC* to the
// model; every move or resize comes back as normalised values through dimensionsChanged.
Rectangle {
    id: control

    property color bboxColor: "blue"
    property color bboxSelected: "red"
    property real handleSize: 12
    property bool selected: false
    property real iCx: 0
    property real iCy: 0
    property real iCw: 0
    property real iCh: 0
    property real xMax: 0
    property real yMax: 0
    // True while the pointer holds the box or one of its handles: the reports of one drag
    // belong together.
    property bool held: false

    // Asked for a Ctrl+click or double click at (x, y) in the box: true when it was used (a
    // vertex put on a polygon's edge), and the press moves nothing.
    property var modifierClick: function (x, y) { return false }
    // The pointer is over the box.
    readonly property bool hovered: mouseDrag.containsMouse

    signal pressed()
    signal deleteRequested()
    signal dimensionsChanged(real newCx, real newCy, real newCw, real newCh)

    // A handle's new geometry is reported once for every pointer move that changes it. The
    // handle's own x or y is no trigger: the left and top handles keep their place relative to
    // the box while the box itself follows the model, so their coordinates stop changing.
    property var lastResize: []
    function reportResize(newCx, newCy, newCw, newCh) {
        var values = [newCx, newCy, newCw, newCh]
        if (values.toString() === lastResize.toString())
            return
        lastResize = values
        dimensionsChanged(newCx, newCy, newCw, newCh)
    }

    QtObject {
        id: localProps
        property color color: control.selected ? control.bboxSelected : control.bboxColor
        property color hoverColor: "green"
        // Made on the first right click: most boxes (every box in the grid) never need one.
        property Menu menu: null
    }

    function openMenu(x, y) {
        if (!localProps.menu)
            localProps.menu = menuComponent.createObject(control)
        localProps.menu.x = x
        localProps.menu.y = y
        localProps.menu.open()
    }

    color: selected ? Qt.rgba(bboxColor.r, bboxColor.g, bboxColor.b, 0.3) : "transparent"
    border.width: 1
    border.color: localProps.color

    MouseArea {
        id: mouseDrag
        objectName: "mouseDrag"
        anchors.fill: parent
        acceptedButtons: Qt.LeftButton | Qt.RightButton
        enabled: control.enabled
        hoverEnabled: true
        // A press a modifier click used moves nothing.
        property bool used: false
        drag.target: used ? null : control
        drag.threshold: 1
        drag.minimumX: 0
        drag.maximumX: control.xMax - control.width
        drag.minimumY: 0
        drag.maximumY: control.yMax - control.height

        onReleased: {
            control.held = false
            used = false
        }
        onCanceled: {
            control.held = false
            used = false
        }
        onDoubleClicked: control.modifierClick(mouse.x, mouse.y)
        onPressed: {
            used = mouse.button === Qt.LeftButton && (mouse.modifiers & Qt.ControlModifier)
                    && control.modifierClick(mouse.x, mouse.y)
            if (used)
                return
            if (mouse.button === Qt.LeftButton) {
                control.held = true
                control.pressed()
            } else if (mouse.button === Qt.RightButton) {
                control.openMenu(mouse.x, mouse.y)
            }
        }
        drag.onActiveChanged: {
            if (!drag.active)
                control.dimensionsChanged((control.x + control.width / 2) / control.xMax,
                                          (control.y + control.height / 2) / control.yMax,
                                          control.iCw, control.iCh)
        }
    }

    Component {
        id: menuComponent

        Menu {
            objectName: "ctxMnu"
            MenuItem {
                objectName: "deleteItem"
                text: qsTr("Delete")
                onTriggered: control.deleteRequested()
            }
        }
    }

    Handle { objectName: "leftHandle"; areaName: "mouseLeft"; edge: Qt.LeftEdge }
    Handle { objectName: "rightHandle"; areaName: "mouseRight"; edge: Qt.RightEdge }
    Handle { objectName: "topHandle"; areaName: "mouseTop"; edge: Qt.TopEdge }
    Handle { objectName: "bottomHandle"; areaName: "mouseBottom"; edge: Qt.BottomEdge }

    // A square on the middle of one edge that drags that edge. At rest it is anchored to its
    // edge; while dragged, that anchor is released so the drag can move it along its axis, and
    // it snaps back to the edge (which has followed the model) when the drag ends.
    component Handle: Rectangle {
        id: handle

        property int edge: Qt.LeftEdge
        property alias areaName: area.objectName
        readonly property bool horizontal: edge === Qt.LeftEdge || edge === Qt.RightEdge
        readonly property real half: control.handleSize / 2

        width: control.handleSize
        height: control.handleSize
        visible: control.selected
        color: area.containsMouse ? localProps.hoverColor : localProps.color

        anchors.left: edge === Qt.LeftEdge ? parent.left : undefined
        anchors.right: edge === Qt.RightEdge ? parent.right : undefined
        anchors.top: edge === Qt.TopEdge ? parent.top : undefined
        anchors.bottom: edge === Qt.BottomEdge ? parent.bottom : undefined
        anchors.verticalCenter: horizontal ? parent.verticalCenter : undefined
        anchors.horizontalCenter: horizontal ? undefined : parent.horizontalCenter
        anchors.leftMargin: -half
        anchors.rightMargin: -half
        anchors.topMargin: -half
        anchors.bottomMargin: -half

        // The new edge and size from the handle's position (its top-left corner), the other
        // axis passed through from the model.
        function report() {
            var w, h
            switch (edge) {
            case Qt.LeftEdge:
                w = control.iCw * control.xMax - x - half
                control.reportResize((control.x + x + half + w / 2) / control.xMax, control.iCy,
                                     w / control.xMax, control.iCh)
                break
            case Qt.RightEdge:
                w = x + half
                control.reportResize((control.x + w / 2) / control.xMax, control.iCy,
                                     w / control.xMax, control.iCh)
                break
            case Qt.TopEdge:
                h = control.iCh * control.yMax - y - half
                control.reportResize(control.iCx, (control.y + y + half + h / 2) / control.yMax,
                                     control.iCw, h / control.yMax)
                break
            case Qt.BottomEdge:
                h = y + half
                control.reportResize(control.iCx, (control.y + h / 2) / control.yMax,
                                     control.iCw, h / control.yMax)
                break
            }
        }

        MouseArea {
            id: area
            anchors.fill: parent
            enabled: control.enabled
            hoverEnabled: true
            drag.target: handle
            drag.axis: handle.horizontal ? Drag.XAxis : Drag.YAxis
            drag.threshold: 1
            // Left and top travel from the image's border to the opposite edge of the box,
            // right and bottom from the opposite edge to the image's border.
            drag.minimumX: handle.edge === Qt.LeftEdge ? -control.x - handle.half : -handle.half
            drag.maximumX: handle.edge === Qt.LeftEdge ? control.width - handle.half
                                                       : control.xMax - control.x - handle.half
            drag.minimumY: handle.edge === Qt.TopEdge ? -control.y - handle.half : -handle.half
            drag.maximumY: handle.edge === Qt.TopEdge ? control.height - handle.half
                                                      : control.yMax - control.y - handle.half

            onPressed: {
                control.held = true
                control.lastResize = []
            }
            onReleased: control.held = false
            onCanceled: control.held = false
            onPositionChanged: {
                if (drag.active)
                    handle.report()
            }
        }

        states: State {
            when: area.drag.active
            AnchorChanges {
                target: handle
                anchors.left: undefined
                anchors.right: undefined
                anchors.top: undefined
                anchors.bottom: undefined
            }
        }
    }
}
