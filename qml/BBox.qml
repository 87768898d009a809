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
        property color selectedColor: "green"
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
        drag.target: control
        drag.threshold: 1
        drag.minimumX: 0
        drag.maximumX: control.xMax - control.width
        drag.minimumY: 0
        drag.maximumY: control.yMax - control.height

        onPressed: {
            if (mouse.button === Qt.LeftButton) {
                control.pressed()
            } else if (mouse.button === Qt.RightButton) {
                ctxMnu.x = mouse.x
                ctxMnu.y = mouse.y
                ctxMnu.open()
            }
        }
        drag.onActiveChanged: {
            if (!drag.active)
                control.dimensionsChanged((control.x + control.width / 2) / control.xMax,
                                          (control.y + control.height / 2) / control.yMax,
                                          control.iCw, control.iCh)
        }
    }

    Menu {
        id: ctxMnu
        objectName: "ctxMnu"
        MenuItem {
            objectName: "deleteItem"
            text: qsTr("Delete")
            onTriggered: control.deleteRequested()
        }
    }

    Rectangle {
        id: leftHandle
        objectName: "leftHandle"
        width: control.handleSize
        height: control.handleSize
        visible: control.selected
        color: mouseLeft.containsMouse ? localProps.selectedColor : localProps.color
        anchors.left: parent.left
        anchors.leftMargin: -width / 2
        anchors.verticalCenter: parent.verticalCenter

        MouseArea {
            id: mouseLeft
            objectName: "mouseLeft"
            anchors.fill: parent
            enabled: control.enabled
            hoverEnabled: true
            drag.target: parent
            drag.axis: Drag.XAxis
            drag.threshold: 1
            drag.minimumX: -control.x - control.handleSize / 2
            drag.maximumX: control.width - control.handleSize / 2

            onPressed: control.lastResize = []
            onPositionChanged: {
                if (!drag.active)
                    return
                var hx = leftHandle.x
                var left = control.x + hx + control.handleSize / 2
                var w = control.iCw * control.xMax - hx - control.handleSize / 2
                control.reportResize((left + w / 2) / control.xMax, control.iCy,
                                     w / control.xMax, control.iCh)
            }
        }

        states: State {
            when: mouseLeft.drag.active
            AnchorChanges { target: leftHandle; anchors.left: undefined }
        }
    }

    Rectangle {
        id: rightHandle
        objectName: "rightHandle"
        width: control.handleSize
        height: control.handleSize
        visible: control.selected
        color: mouseRight.containsMouse ? localProps.selectedColor : localProps.color
        anchors.right: parent.right
        anchors.rightMargin: -width / 2
        anchors.verticalCenter: parent.verticalCenter

        MouseArea {
            id: mouseRight
            objectName: "mouseRight"
            anchors.fill: parent
            enabled: control.enabled
            hoverEnabled: true
            drag.target: parent
            drag.axis: Drag.XAxis
            drag.threshold: 1
            drag.minimumX: -control.handleSize / 2
            drag.maximumX: control.xMax - control.x - control.handleSize / 2

            onPressed: control.lastResize = []
            onPositionChanged: {
                if (!drag.active)
                    return
                var w = rightHandle.x + control.handleSize / 2
                control.reportResize((control.x + w / 2) / control.xMax, control.iCy,
                                     w / control.xMax, control.iCh)
            }
        }

        states: State {
            when: mouseRight.drag.active
            AnchorChanges { target: rightHandle; anchors.right: undefined }
        }
    }

    Rectangle {
        id: topHandle
        objectName: "topHandle"
        width: control.handleSize
        height: control.handleSize
        visible: control.selected
        color: mouseTop.containsMouse ? localProps.selectedColor : localProps.color
        anchors.top: parent.top
        anchors.topMargin: -height / 2
        anchors.horizontalCenter: parent.horizontalCenter

        MouseArea {
            id: mouseTop
            objectName: "mouseTop"
            anchors.fill: parent
            enabled: control.enabled
            hoverEnabled: true
            drag.target: parent
            drag.axis: Drag.YAxis
            drag.threshold: 1
            drag.minimumY: -control.y - control.handleSize / 2
            drag.maximumY: control.height - control.handleSize / 2

            onPressed: control.lastResize = []
            onPositionChanged: {
                if (!drag.active)
                    return
                var hy = topHandle.y
                var top = control.y + hy + control.handleSize / 2
                var h = control.iCh * control.yMax - hy - control.handleSize / 2
                control.reportResize(control.iCx, (top + h / 2) / control.yMax,
                                     control.iCw, h / control.yMax)
            }
        }

        states: State {
            when: mouseTop.drag.active
            AnchorChanges { target: topHandle; anchors.top: undefined }
        }
    }

    Rectangle {
        id: bottomHandle
        objectName: "bottomHandle"
        width: control.handleSize
        height: control.handleSize
        visible: control.selected
        color: mouseBottom.containsMouse ? localProps.selectedColor : localProps.color
        anchors.bottom: parent.bottom
        anchors.bottomMargin: -height / 2
        anchors.horizontalCenter: parent.horizontalCenter

        MouseArea {
            id: mouseBottom
            objectName: "mouseBottom"
            anchors.fill: parent
            enabled: control.enabled
            hoverEnabled: true
            drag.target: parent
            drag.axis: Drag.YAxis
            drag.threshold: 1
            drag.minimumY: -control.handleSize / 2
            drag.maximumY: control.yMax - control.y - control.handleSize / 2

            onPressed: control.lastResize = []
            onPositionChanged: {
                if (!drag.active)
                    return
                var h = bottomHandle.y + control.handleSize / 2
                control.reportResize(control.iCx, (control.y + h / 2) / control.yMax,
                                     control.iCw, h / control.yMax)
            }
        }

        states: State {
            when: mouseBottom.drag.active
            AnchorChanges { target: bottomHandle; anchors.bottom: undefined }
        }
    }
}
