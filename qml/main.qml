import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import QtQuick.Dialogs 1.0
import Pallaster 1.0

ApplicationWindow {
    id: window
    width: 640
    height: 480
    visible: true
    title: qsTr("Boxwright")

    // At most one box in the whole window is selected: the one whose radio button is checked.
    ButtonGroup {
        id: btnGroupSelected
        exclusive: true
    }

    function folderUrl(path) {
        return path.length > 0 ? "file://" + path : ""
    }

    Pane {
        id: paneMain
        anchors.fill: parent

        ColumnLayout {
            id: layoutMain
            anchors.fill: parent

            GroupBox {
                id: grpFolders
                Layout.fillWidth: true

                GridLayout {
                    anchors.fill: parent
                    columns: 2

                    Label {
                        text: qsTr("Images")
                    }
                    RowLayout {
                        Layout.fillWidth: true

                        TextField {
                            id: txtImgsFolder
                            objectName: "txtImgsFolder"
                            Layout.fillWidth: true
                            selectByMouse: true
                        }
                        FileDialog {
                            id: dlgImgsFolder
                            title: "Choose images folder"
                            selectFolder: true
                            selectExisting: true
                            onAccepted: txtImgsFolder.text = Utils.toLocalPath(fileUrl)
                        }
                        Button {
                            id: btnImgsFolder
                            text: qsTr("Select")
                            onClicked: {
                                dlgImgsFolder.folder = window.folderUrl(txtImgsFolder.text)
                                dlgImgsFolder.open()
                            }
                        }
                    }

                    Label {
                        text: qsTr("Rectangles")
                    }
                    RowLayout {
                        Layout.fillWidth: true

                        TextField {
                            id: txtTxtFolder
                            objectName: "txtTxtFolder"
                            Layout.fillWidth: true
                            selectByMouse: true
                        }
                        FileDialog {
                            id: dlgTxtFolder
                            title: "Choose txt folder"
                            selectFolder: true
                            selectExisting: true
                            onAccepted: txtTxtFolder.text = Utils.toLocalPath(fileUrl)
                        }
                        Button {
                            id: btnTxtFolder
                            text: qsTr("Select")
                            onClicked: {
                                dlgTxtFolder.folder = window.folderUrl(txtTxtFolder.text)
                                dlgTxtFolder.open()
                            }
                        }
                    }

                    Button {
                        id: btnLoad
                        objectName: "btnLoad"
                        text: qsTr("Load")
                        Layout.columnSpan: 2
                        Layout.alignment: Qt.AlignRight
                        enabled: txtImgsFolder.length > 0 && txtTxtFolder.length > 0
                        onClicked: ImageList.loadYolo(txtTxtFolder.text, txtImgsFolder.text)
                    }
                }
            }

            GridLayout {
                id: layoutView
                Layout.fillWidth: true
                columns: 2

                Label {
                    text: qsTr("Columns")
                }
                RowLayout {
                    Layout.fillWidth: true

                    SpinBox {
                        id: spinColumns
                        objectName: "spinColumns"
                        from: 1
                        to: 10
                        value: 4
                    }
                    Item {
                        Layout.fillWidth: true
                    }
                    Label {
                        text: qsTr("Goto")
                    }
                    TextField {
                        id: txtGoto
                        objectName: "txtGoto"
                        selectByMouse: true
                    }
                    Button {
                        id: btnGo
                        objectName: "btnGo"
                        text: qsTr("Go")
                        onClicked: {
                            // Only a whole number naming an existing row moves the grid.
                            var text = txtGoto.text.trim()
                            if (!/^[0-9]+$/.test(text))
                                return
                            var row = parseInt(text, 10)
                            if (row < gridImages.count)
                                gridImages.positionViewAtIndex(row, GridView.Beginning)
                        }
                    }
                }
            }

            Rectangle {
                id: rcGridFrame
                Layout.fillWidth: true
                Layout.fillHeight: true
                border.width: 1
                border.color: "gray"

                GridView {
                    id: gridImages
                    objectName: "gridImages"
                    anchors.fill: parent
                    anchors.margins: 1
                    clip: true
                    model: ImageList
                    cellWidth: width / Math.ceil(spinColumns.value)
                    cellHeight: cellWidth
                    ScrollBar.vertical: ScrollBar {}

                    delegate: Item {
                        id: cellDelegate
                        width: gridImages.cellWidth
                        height: gridImages.cellHeight

                        Item {
                            id: cellInset
                            anchors.fill: parent
                            anchors.margins: 2

                            Rectangle {
                                id: rcDelegate
                                objectName: "tile" + index
                                anchors.fill: parent
                                color: "white"
                                border.width: 1
                                border.color: "gray"
                                state: "multiple"

                                property bool ableToSave: false

                                function save() {
                                    ableToSave = false
                                    imgBBoxes.saveTxtFile(yoloTxtFilePath)
                                }
                                function reset() {
                                    ableToSave = false
                                    ImageList.yoloReloadRow(index)
                                }
                                function clamp(value, min, max) {
                                    return value < min ? min : (value > max ? max : value)
                                }
                                function createBox(category) {
                                    // An image that failed to load has no painted size to
                                    // place a box on.
                                    if (!(rcImageFrame.width > 0 && rcImageFrame.height > 0))
                                        return
                                    ableToSave = true
                                    var catId = parseInt(category, 10)
                                    var cx = clamp(mouseFull.mouseX - rcImageFrame.x, 0,
                                                   rcImageFrame.width) / rcImageFrame.width
                                    var cy = clamp(mouseFull.mouseY - rcImageFrame.y, 0,
                                                   rcImageFrame.height) / rcImageFrame.height
                                    imgBBoxes.appendRow(catId, cx, cy)
                                }

                                states: [
                                    State {
                                        name: "multiple"
                                    },
                                    State {
                                        name: "single"
                                        ParentChange {
                                            target: rcDelegate
                                            parent: itemHost
                                        }
                                    }
                                ]
                                onStateChanged: {
                                    if (state === "single")
                                        save()
                                    else
                                        btnGroupSelected.checkedButton = null
                                }

                                Item {
                                    id: itemContent
                                    anchors.fill: parent
                                    anchors.margins: 1

                                    Image {
                                        id: imgPicture
                                        anchors.fill: parent
                                        fillMode: Image.PreserveAspectFit
                                        source: "file://" + imgFilePath
                                    }

                                    Label {
                                        id: lblIndex
                                        anchors.top: parent.top
                                        anchors.left: parent.left
                                        text: index
                                    }

                                    Shortcut {
                                        sequence: "Esc"
                                        enabled: rcDelegate.state === "single"
                                        onActivated: {
                                            rcDelegate.state = "multiple"
                                            popupEditor.close()
                                        }
                                    }

                                    Menu {
                                        id: ctxMnu
                                        objectName: "tileMenu"
                                        MenuItem {
                                            text: qsTr("Delete")
                                            onTriggered: ImageList.removeRow(index)
                                        }
                                    }

                                    MouseArea {
                                        id: mouseFull
                                        objectName: "mouseFull"
                                        anchors.fill: parent
                                        acceptedButtons: Qt.LeftButton | Qt.RightButton
                                        hoverEnabled: true
                                        onClicked: {
                                            if (mouse.button === Qt.LeftButton) {
                                                if (btnGroupSelected.checkedButton !== null) {
                                                    btnGroupSelected.checkedButton = null
                                                    return
                                                }
                                                if (rcDelegate.state === "single")
                                                    return
                                                rcDelegate.state = "single"
                                            } else if (mouse.button === Qt.RightButton
                                                       && rcDelegate.state === "multiple") {
                                                ctxMnu.x = mouse.x
                                                ctxMnu.y = mouse.y
                                                ctxMnu.open()
                                            }
                                        }
                                    }

                                    Item {
                                        id: rcImageFrame
                                        objectName: "imageFrame"
                                        anchors.centerIn: parent
                                        width: imgPicture.paintedWidth
                                        height: imgPicture.paintedHeight

                                        Text {
                                            id: txtCaption
                                            anchors.top: parent.top
                                            anchors.left: parent.left
                                            text: imgBaseFileName
                                            color: "white"
                                            style: Text.Outline
                                            styleColor: "black"
                                        }

                                        Repeater {
                                            id: rptBoxes
                                            model: imgBBoxes

                                            delegate: BBox {
                                                id: bbox
                                                objectName: "box" + index
                                                xMax: rcImageFrame.width
                                                yMax: rcImageFrame.height
                                                iCx: model.cx
                                                iCy: model.cy
                                                iCw: model.cw
                                                iCh: model.ch
                                                bboxColor: window.categoryColor(model.catId)
                                                selected: rbSelected.checked
                                                z: selected ? 100 : 10
                                                enabled: rcDelegate.state === "single"

                                                // Binding objects rather than plain bindings:
                                                // dragging the body writes x and y itself,
                                                // which would break a plain binding for good.
                                                Binding {
                                                    target: bbox
                                                    property: "width"
                                                    value: model.cw * rcImageFrame.width
                                                }
                                                Binding {
                                                    target: bbox
                                                    property: "height"
                                                    value: model.ch * rcImageFrame.height
                                                }
                                                Binding {
                                                    target: bbox
                                                    property: "x"
                                                    value: model.cx * rcImageFrame.width
                                                           - model.cw * rcImageFrame.width / 2
                                                }
                                                Binding {
                                                    target: bbox
                                                    property: "y"
                                                    value: model.cy * rcImageFrame.height
                                                           - model.ch * rcImageFrame.height / 2
                                                }

                                                RadioButton {
                                                    id: rbSelected
                                                    visible: false
                                                    ButtonGroup.group: btnGroupSelected
                                                }

                                                onPressed: rbSelected.checked = true
                                                onDimensionsChanged: {
                                                    rcDelegate.ableToSave = true
                                                    model.cx = newCx
                                                    model.cy = newCy
                                                    model.cw = newCw
                                                    model.ch = newCh
                                                }
                                                onDeleteRequested: {
                                                    rcDelegate.ableToSave = true
                                                    imgBBoxes.deleteRow(index)
                                                }
                                            }
                                        }
                                    }
                                }
                            }
                        }
                    }
                }
            }
        }
    }

    ListModel {
        id: lstCategories
        ListElement {
            catId: 1
            catName: "People"
            catShortcut: "1"
            catColor: "blue"
        }
    }

    function categoryColor(catId) {
        for (var i = 0; i < lstCategories.count; ++i) {
            if (lstCategories.get(i).catId === catId)
                return lstCategories.get(i).catColor
        }
        return "black"
    }

    function hostedTile() {
        return itemHost.children.length > 0 ? itemHost.children[0] : null
    }

    function saveAction() {
        console.log("Save")
        hostedTile().save()
    }

    Popup {
        id: popupEditor
        objectName: "popupEditor"
        modal: true
        dim: true
        closePolicy: Popup.NoAutoClose
        width: window.width
        height: window.height
        x: Math.round((window.width - width) / 2)
        y: 0
        visible: itemHost.children.length > 0

        enter: Transition {
            NumberAnimation {
                property: "y"
                from: window.height
                to: 0
                duration: 150
                easing.type: Easing.OutExpo
            }
        }
        exit: Transition {
            NumberAnimation {
                property: "y"
                from: 0
                to: window.height
                duration: 150
                easing.type: Easing.InExpo
            }
        }

        Shortcut {
            sequence: StandardKey.Save
            enabled: itemHost.children.length === 1
            onActivated: window.saveAction()
        }

        ColumnLayout {
            anchors.fill: parent

            Row {
                id: rowCategories
                spacing: 4

                Repeater {
                    model: lstCategories

                    delegate: Rectangle {
                        id: rcCategory
                        objectName: "category" + catId
                        width: 20
                        height: 20
                        color: catColor
                        border.width: 1
                        border.color: "black"

                        Text {
                            anchors.centerIn: parent
                            text: catShortcut
                            color: Utils.invertColor(catColor)
                        }

                        MouseArea {
                            id: mouseCategory
                            anchors.fill: parent
                            hoverEnabled: true
                        }

                        ToolTip.visible: mouseCategory.containsMouse
                        ToolTip.text: "(%1) %2".arg(catShortcut).arg(catName)

                        Shortcut {
                            sequence: catShortcut
                            enabled: itemHost.children.length === 1
                            onActivated: {
                                console.log("Activated " + catName)
                                window.hostedTile().createBox(catId)
                            }
                        }
                    }
                }
            }

            Item {
                id: itemHost
                objectName: "itemHost"
                Layout.fillWidth: true
                Layout.fillHeight: true
            }

            RowLayout {
                Layout.fillWidth: true

                Button {
                    id: btnReset
                    objectName: "btnReset"
                    text: qsTr("Reset")
                    enabled: itemHost.children.length > 0 && itemHost.children[0].ableToSave
                    onClicked: window.hostedTile().reset()
                }
                Button {
                    id: btnSave
                    objectName: "btnSave"
                    text: qsTr("Save")
                    enabled: itemHost.children.length > 0 && itemHost.children[0].ableToSave
                    onClicked: window.saveAction()
                }
                Item {
                    Layout.fillWidth: true
                }
                Button {
                    id: btnClose
                    objectName: "btnClose"
                    text: qsTr("Close")
                    onClicked: {
                        var tile = window.hostedTile()
                        if (tile)
                            tile.state = "multiple"
                        popupEditor.close()
                    }
                }
            }
        }
    }
}
