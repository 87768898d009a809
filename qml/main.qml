import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import QtQuick.Dialogs 1.0
import Pallaster 1.0

// The one window: two folder fields and Load, the grid of image tiles, and the editor a tile
// moves into when it is clicked. Its parts are the inline components at the end.
ApplicationWindow {
    id: window
    width: 640
    height: 480
    visible: true
    title: qsTr("Boxwright")

    // Set once the user has chosen to close with unsaved edits: the close is not asked again.
    property bool closeConfirmed: false

    onClosing: {
        if (closeConfirmed || ImageList.unsavedCount() === 0)
            return
        close.accepted = false
        dlgUnsaved.ask(function () {
            window.closeConfirmed = true
            window.close()
        })
    }

    // At most one box in the whole window is selected: the one whose radio button is checked.
    ButtonGroup {
        id: btnGroupSelected
        exclusive: true
    }

    // The category table: the dataset's classes when its class file names them, else the one
    // category "People". `categoryInfo` maps each id to its entry, for the boxes' colours and
    // names.
    ListModel {
        id: lstCategories
    }
    property var categoryInfo: ({})
    // Twenty colours that stay apart from each other and show over photos; class ids repeat
    // them. Black is left for boxes whose class is not in the table.
    readonly property var categoryPalette: ["#e6194b", "#3cb44b", "#ffe119", "#4363d8", "#f58231",
        "#911eb4", "#46f0f0", "#f032e6", "#bcf60c", "#fabebe", "#008080", "#e6beff", "#9a6324",
        "#fffac8", "#800000", "#aaffc3", "#808000", "#ffd8b1", "#000075", "#808080"]

    function refreshCategories() {
        var classes = ImageList.classNames
        var info = {}
        lstCategories.clear()
        if (classes.length === 0)
            lstCategories.append({ catId: 1, catName: "People", catShortcut: "1", catColor: "blue" })
        for (var i = 0; i < classes.length; ++i) {
            var id = classes[i].catId
            lstCategories.append({
                catId: id,
                catName: classes[i].catName,
                catShortcut: id >= 0 && id <= 9 ? String(id) : "",
                catColor: categoryPalette[((id % categoryPalette.length) + categoryPalette.length)
                                           % categoryPalette.length]
            })
        }
        for (var j = 0; j < lstCategories.count; ++j) {
            var entry = lstCategories.get(j)
            info[entry.catId] = { name: entry.catName, color: entry.catColor }
        }
        categoryInfo = info
    }

    Component.onCompleted: refreshCategories()
    Connections {
        target: ImageList
        function onClassNamesChanged() {
            window.refreshCategories()
        }
    }

    Pane {
        anchors.fill: parent

        ColumnLayout {
            anchors.fill: parent

            GroupBox {
                Layout.fillWidth: true

                GridLayout {
                    anchors.fill: parent
                    columns: 2

                    Label {
                        text: qsTr("Images")
                    }
                    FolderField {
                        id: txtImgsFolder
                        objectName: "txtImgsFolder"
                        dialogTitle: "Choose images folder"
                    }
                    Label {
                        text: qsTr("Rectangles")
                    }
                    FolderField {
                        id: txtTxtFolder
                        objectName: "txtTxtFolder"
                        dialogTitle: "Choose txt folder"
                    }
                    Button {
                        objectName: "btnLoad"
                        text: qsTr("Load")
                        Layout.columnSpan: 2
                        Layout.alignment: Qt.AlignRight
                        enabled: txtImgsFolder.text.length > 0 && txtTxtFolder.text.length > 0
                        onClicked: dlgUnsaved.ask(function () {
                            ImageList.loadYolo(txtTxtFolder.text, txtImgsFolder.text)
                            gridImages.currentIndex = gridImages.count > 0 ? 0 : -1
                            gridImages.forceActiveFocus()
                        })
                    }
                }
            }

            GridLayout {
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
                        objectName: "btnGo"
                        text: qsTr("Go")
                        onClicked: gridImages.goTo(txtGoto.text)
                    }
                }
            }

            Rectangle {
                Layout.fillWidth: true
                Layout.fillHeight: true
                border.width: 1
                border.color: "gray"

                ImageGrid {
                    id: gridImages
                    objectName: "gridImages"
                    anchors.fill: parent
                    anchors.margins: 1
                    columns: spinColumns.value
                    editorHost: popupEditor.host
                    selectionGroup: btnGroupSelected
                    categoryInfo: window.categoryInfo
                }
            }
        }
    }

    UnsavedDialog {
        id: dlgUnsaved
        objectName: "dlgUnsaved"
        x: Math.round((window.width - width) / 2)
        y: Math.round((window.height - height) / 2)
    }

    Editor {
        id: popupEditor
        objectName: "popupEditor"
        width: window.width
        height: window.height
        x: Math.round((window.width - width) / 2)
        categories: lstCategories
        selectionGroup: btnGroupSelected
        grid: gridImages
    }

    // Asked before closing or loading drops edits that are not saved: Save All writes them and
    // goes on only when every file was written, Discard goes on, Cancel stays.
    component UnsavedDialog: Dialog {
        id: dialog

        property var pending: null
        property int count: 0
        property string failures

        // Runs `action` at once when nothing is unsaved, otherwise once the user has chosen.
        function ask(action) {
            count = ImageList.unsavedCount()
            if (count === 0) {
                action()
                return
            }
            pending = action
            failures = ""
            open()
        }
        function goOn() {
            var action = pending
            pending = null
            close()
            action()
        }

        title: qsTr("Unsaved changes")
        width: Math.min(parent ? parent.width - 40 : 480, 480)
        modal: true
        closePolicy: Popup.CloseOnEscape
        standardButtons: Dialog.SaveAll | Dialog.Discard | Dialog.Cancel

        onAccepted: {
            var failed = ImageList.saveUnsaved()
            if (failed.length === 0) {
                goOn()
                return
            }
            count = ImageList.unsavedCount()
            failures = qsTr("These files could not be written:") + "\n" + failed.join("\n")
            open()
        }
        onDiscarded: goOn()
        onRejected: pending = null

        Label {
            objectName: "lblUnsaved"
            width: dialog.availableWidth
            wrapMode: Text.Wrap
            text: (dialog.count === 1 ? qsTr("1 image has unsaved changes.")
                                      : qsTr("%1 images have unsaved changes.").arg(dialog.count))
                  + (dialog.failures.length > 0 ? "\n\n" + dialog.failures : "")
        }
    }

    // A text field for a folder, with a "Select" button that opens a folder dialog starting in
    // the folder the field names.
    component FolderField: RowLayout {
        id: field

        property alias text: input.text
        property string dialogTitle

        Layout.fillWidth: true

        TextField {
            id: input
            Layout.fillWidth: true
            selectByMouse: true
        }
        FileDialog {
            id: dialog
            title: field.dialogTitle
            selectFolder: true
            selectExisting: true
            onAccepted: input.text = Utils.toLocalPath(fileUrl)
        }
        Button {
            text: qsTr("Select")
            onClicked: {
                dialog.folder = input.text.length > 0 ? "file://" + input.text : ""
                dialog.open()
            }
        }
    }

    // The scrolling grid of square tiles, one per ImageList row.
    component ImageGrid: GridView {
        id: grid

        property int columns: 4
        property Item editorHost
        property ButtonGroup selectionGroup
        property var categoryInfo

        // The tile of `row`, brought into view first (so that it exists); null for no such row.
        function tileAt(row) {
            if (row < 0 || row >= count)
                return null
            positionViewAtIndex(row, GridView.Contain)
            var cell = itemAtIndex(row)
            return cell ? cell.tile : null
        }
        // Only a whole number naming an existing row moves the grid.
        function goTo(text) {
            text = text.trim()
            if (!/^[0-9]+$/.test(text))
                return
            var row = parseInt(text, 10)
            if (row < count)
                positionViewAtIndex(row, GridView.Beginning)
        }

        // The size tiles decode their images to fit: a tile's inner area (the cell less 2 + 1
        // pixels of margin on each side), in the window's pixels (the decoder multiplies by the
        // screen's pixel ratio). It follows the cell size at once while the grid is empty and
        // after a short pause otherwise, so that resizing the window does not decode every
        // visible image at each step.
        property size decodeSize: Qt.size(0, 0)

        function updateDecodeSize() {
            var side = Math.max(1, Math.round(cellWidth - 6))
            decodeSize = Qt.size(side, side)
        }

        clip: true
        model: ImageList
        // The current tile, moved by the arrow keys (built in), Home and End, and opened by
        // Enter, is framed above the tiles.
        keyNavigationEnabled: true
        activeFocusOnTab: true
        highlightMoveDuration: 0
        highlight: Component {
            Rectangle {
                objectName: "currentMarker"
                z: 2
                color: "transparent"
                border.width: 3
                border.color: "dodgerblue"
            }
        }
        Keys.onPressed: {
            if (editorHost && editorHost.children.length > 0)
                return // the editor is open: its keys
            if (event.key === Qt.Key_Home || event.key === Qt.Key_End) {
                currentIndex = event.key === Qt.Key_Home ? 0 : count - 1
                positionViewAtIndex(currentIndex, GridView.Contain)
                event.accepted = true
            } else if (event.key === Qt.Key_Return || event.key === Qt.Key_Enter) {
                var tile = tileAt(currentIndex)
                if (tile)
                    tile.clickedInGrid()
                event.accepted = true
            }
        }
        // Tiles only for cells in view: tiles kept beyond it would decode photos no one sees yet,
        // ahead of the ones in view.
        cacheBuffer: 0
        cellWidth: width / columns
        cellHeight: cellWidth
        onCellWidthChanged: count === 0 ? updateDecodeSize() : decodeTimer.restart()
        Component.onCompleted: updateDecodeSize()

        Timer {
            id: decodeTimer
            interval: 150
            onTriggered: grid.updateDecodeSize()
        }
        ScrollBar.vertical: ScrollBar {}

        // An explicit Component: Qt 5.15 crashes creating an inline component whose root has
        // an id and an implicit delegate component of its own.
        delegate: Component {
            Item {
                readonly property Item tile: cellTile

                width: grid.cellWidth
                height: grid.cellHeight

                Item {
                    anchors.fill: parent
                    anchors.margins: 2

                    Tile {
                        id: cellTile
                        onMadeCurrent: {
                            grid.currentIndex = index
                            grid.forceActiveFocus()
                        }
                        row: index
                        decodeSize: grid.decodeSize
                        imagePath: imgFilePath
                        caption: imgBaseFileName
                        boxes: imgBBoxes
                        labelPath: yoloTxtFilePath
                        editorHost: grid.editorHost
                        selectionGroup: grid.selectionGroup
                        categoryInfo: grid.categoryInfo
                    }
                }
            }
        }
    }

    // One image with its boxes. In "multiple" it sits in its grid cell; in "single" it is
    // re-parented into the editor's host and its boxes react to the mouse.
    component Tile: Rectangle {
        id: rcDelegate

        property int row
        // The size the image is decoded to fit in the grid (its thumbnail).
        property size decodeSize
        property string imagePath
        property string caption
        property QtObject boxes
        property string labelPath
        property Item editorHost
        property ButtonGroup selectionGroup
        // Category id to {name, color}.
        property var categoryInfo
        property bool ableToSave: false
        // What the editor's message line says about this image's label file.
        property string message

        // Save and Reset stay enabled, and the message line says why, when the write fails.
        function save() {
            if (boxes.saveTxtFile(labelPath)) {
                ableToSave = false
                message = ""
                return true
            }
            ableToSave = true
            message = qsTr("Could not write %1: %2").arg(labelPath).arg(boxes.saveError)
            return false
        }
        // The write on entering the editor. It never writes over a file that has changed on
        // disk with boxes read before (it reads the file again first, unless there are edits
        // here, which win), and never over a file with lines that are not labels.
        function saveOnOpening() {
            message = ""
            var replaced = false
            if (boxes.changedOnDisk(labelPath)) {
                if (boxes.modified)
                    replaced = true
                else
                    ImageList.yoloReloadRow(row)
            }
            var foreignLine = boxes.firstForeignLine(labelPath)
            if (foreignLine > 0) {
                ableToSave = true
                message = qsTr("%1 has lines that are not labels (the first is line %2). It was "
                               + "not written on opening; only Save will replace it.")
                        .arg(labelPath).arg(foreignLine)
                return
            }
            if (save() && replaced)
                message = qsTr("%1 had changed on disk since it was read; it was replaced by the "
                               + "boxes edited here.").arg(labelPath)
        }
        function reset() {
            ableToSave = false
            message = ""
            ImageList.yoloReloadRow(row)
            boxes.clearHistory()
        }
        // Before an edit of the boxes: the state is recorded for undo, and Save and Reset enabled.
        function beginEdit() {
            boxes.checkpoint()
            ableToSave = true
        }
        // Undo (step -1) or redo (step 1) of the last box edit; each is an edit itself.
        function stepHistory(step) {
            if (step < 0 ? boxes.undo() : boxes.redo())
                ableToSave = true
        }
        // The image's width over its height, 0 while unknown: taken from the thumbnail, then
        // from the editor's image, whose larger size rounds it less.
        property real aspect: 0
        property Menu contextMenu: null
        onImagePathChanged: aspect = 0

        // The image file through the window's decoder (off the GUI thread, at the size asked).
        readonly property string decodedUrl: "image://decoded/" + encodeURIComponent(imagePath)

        function updateSharpSize() {
            if (state !== "single" || !(itemContent.width > 0 && itemContent.height > 0))
                return
            // The size first: a source set first would start decoding at full size.
            imgSharp.sourceSize = Qt.size(Math.floor(itemContent.width),
                                          Math.floor(itemContent.height))
            imgSharp.source = decodedUrl
        }
        function clamp(value, min, max) {
            return value < min ? min : (value > max ? max : value)
        }
        function createBox(category) {
            // An image that failed to load has no painted size to place a box on.
            if (!(rcImageFrame.width > 0 && rcImageFrame.height > 0))
                return
            beginEdit()
            var catId = parseInt(category, 10)
            var cx = clamp(mouseFull.mouseX - rcImageFrame.x, 0, rcImageFrame.width)
                    / rcImageFrame.width
            var cy = clamp(mouseFull.mouseY - rcImageFrame.y, 0, rcImageFrame.height)
                    / rcImageFrame.height
            boxes.appendRow(catId, cx, cy)
        }
        // The tile became the grid's current one (a click on it).
        signal madeCurrent()

        // A left click on the tile: clears a selection if there is one, else opens the tile.
        function clickedInGrid() {
            if (selectionGroup.checkedButton !== null)
                selectionGroup.checkedButton = null
            else if (state !== "single")
                state = "single"
        }
        // Selects the box `step` rows after the selected one of this tile (wrapping), or the
        // first or last when none of its boxes is selected.
        function selectStep(step) {
            var n = boxRepeater.count
            if (n === 0)
                return
            var current = -1
            for (var i = 0; i < n; ++i) {
                if (boxRepeater.itemAt(i) && boxRepeater.itemAt(i).selected)
                    current = i
            }
            var next = current < 0 ? (step > 0 ? 0 : n - 1) : ((current + step) % n + n) % n
            boxRepeater.itemAt(next).select()
        }
        function categoryColor(catId) {
            var entry = categoryInfo[catId]
            return entry ? entry.color : "black"
        }
        function categoryName(catId) {
            var entry = categoryInfo[catId]
            return entry ? entry.name : String(catId)
        }

        objectName: "tile" + row
        anchors.fill: parent
        color: "white"
        // An orange frame marks an image whose edits are not in its label file yet.
        border.width: boxes && boxes.modified ? 3 : 1
        border.color: boxes && boxes.modified ? "darkorange" : "gray"
        state: "multiple"
        states: [
            State {
                name: "multiple"
            },
            State {
                name: "single"
                ParentChange {
                    target: rcDelegate
                    parent: rcDelegate.editorHost
                }
            }
        ]
        onStateChanged: {
            if (state === "single") {
                sharpTimer.restart()
                saveOnOpening()
            } else {
                sharpTimer.stop()
                imgSharp.source = ""
                selectionGroup.checkedButton = null
            }
        }

        Item {
            id: itemContent
            anchors.fill: parent
            anchors.margins: 1

            onWidthChanged: if (rcDelegate.state === "single") sharpTimer.restart()
            onHeightChanged: if (rcDelegate.state === "single") sharpTimer.restart()

            // Neutral until the thumbnail is ready.
            Rectangle {
                anchors.fill: parent
                visible: imgPicture.status === Image.Loading
                color: "#e4e4e4"
            }
            // The thumbnail, decoded off the GUI thread to fit the grid's tile (JPEG scales while
            // it decodes) and never enlarged: the item scales it to the frame. In the editor it
            // stays underneath until the sharp image is ready.
            Image {
                id: imgPicture
                objectName: "tileImage"
                anchors.fill: rcImageFrame
                fillMode: Image.Stretch
                asynchronous: true
                sourceSize: rcDelegate.decodeSize
                source: rcDelegate.decodedUrl
                onStatusChanged: {
                    if (status === Image.Ready && rcDelegate.aspect === 0)
                        rcDelegate.aspect = implicitWidth / implicitHeight
                }
            }
            // The editor's image, decoded at the frame's size once the frame has kept that size
            // for a moment (opening, resizing). It fills the frame exactly, so the boxes stay on
            // it, and it is not kept once the tile is back in the grid.
            Image {
                id: imgSharp
                objectName: "editorImage"
                anchors.fill: rcImageFrame
                visible: status === Image.Ready
                fillMode: Image.Stretch
                asynchronous: true
                cache: false
                onStatusChanged: {
                    if (status === Image.Ready)
                        rcDelegate.aspect = implicitWidth / implicitHeight
                }
            }
            Label {
                anchors.top: parent.top
                anchors.left: parent.left
                text: rcDelegate.row
            }
            // The context menu is made on the first right click, not with every tile.
            Component {
                id: menuComponent

                Menu {
                    objectName: "tileMenu"
                    MenuItem {
                        text: qsTr("Delete")
                        onTriggered: ImageList.removeRow(rcDelegate.row)
                    }
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
                        if (rcDelegate.state === "multiple")
                            rcDelegate.madeCurrent()
                        rcDelegate.clickedInGrid()
                    } else if (rcDelegate.state === "multiple") {
                        if (!rcDelegate.contextMenu)
                            rcDelegate.contextMenu = menuComponent.createObject(itemContent)
                        rcDelegate.contextMenu.x = mouse.x
                        rcDelegate.contextMenu.y = mouse.y
                        rcDelegate.contextMenu.open()
                    }
                }
            }
            Item {
                id: rcImageFrame
                objectName: "imageFrame"
                // The image fitted into the tile with its aspect ratio kept: the painted image.
                readonly property bool widthBound: parent.width <= parent.height * rcDelegate.aspect

                anchors.centerIn: parent
                width: rcDelegate.aspect > 0
                       ? (widthBound ? parent.width : parent.height * rcDelegate.aspect) : 0
                height: rcDelegate.aspect > 0
                        ? (widthBound ? parent.width / rcDelegate.aspect : parent.height) : 0

                Timer {
                    id: sharpTimer
                    interval: 100
                    onTriggered: rcDelegate.updateSharpSize()
                }
                Text {
                    anchors.top: parent.top
                    anchors.left: parent.left
                    text: rcDelegate.caption
                    color: "white"
                    style: Text.Outline
                    styleColor: "black"
                }
                Repeater {
                    id: boxRepeater
                    model: rcDelegate.boxes

                    delegate: PlacedBox {
                        objectName: "box" + index
                        xMax: rcImageFrame.width
                        yMax: rcImageFrame.height
                        iCx: model.cx
                        iCy: model.cy
                        iCw: model.cw
                        iCh: model.ch
                        bboxColor: rcDelegate.categoryColor(model.catId)
                        className: rcDelegate.categoryName(model.catId)
                        group: rcDelegate.selectionGroup
                        z: selected ? 100 : 10
                        enabled: rcDelegate.state === "single"

                        onPressed: select()
                        onHeldChanged: if (!held) checkpointed = false
                        onDimensionsChanged: {
                            // One record of history for a whole drag.
                            if (!checkpointed)
                                rcDelegate.beginEdit()
                            checkpointed = held
                            model.cx = newCx
                            model.cy = newCy
                            model.cw = newCw
                            model.ch = newCh
                        }
                        onDeleteRequested: {
                            rcDelegate.beginEdit()
                            rcDelegate.boxes.deleteRow(index)
                        }
                        onCategoryRequested: {
                            if (catId === model.catId)
                                return
                            rcDelegate.beginEdit()
                            rcDelegate.boxes.setCategory(index, catId)
                        }
                    }
                }
            }
        }
    }

    // A box drawn over the painted image (xMax by yMax) at its model geometry (iC*), selected
    // while its hidden radio button is the group's checked one.
    component PlacedBox: BBox {
        id: placed

        property ButtonGroup group
        property string className
        // Whether the drag going on has recorded the state before it.
        property bool checkpointed: false

        // Asks for the box to be given another category.
        signal categoryRequested(int catId)

        function select() {
            rbSelected.checked = true
        }
        // Moves the box by dx, dy pixels of the painted image, kept inside it as a drag is, and
        // reports the new place as a drag does.
        function nudge(dx, dy) {
            var nx = Math.max(0, Math.min(xMax - width, x + dx))
            var ny = Math.max(0, Math.min(yMax - height, y + dy))
            if (nx === x && ny === y)
                return
            dimensionsChanged(iCx + (nx - x) / xMax, iCy + (ny - y) / yMax, iCw, iCh)
        }

        selected: rbSelected.checked

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
        RadioButton {
            id: rbSelected
            visible: false
            ButtonGroup.group: placed.group
        }
        // The selected box says what it is, in its own colour, just above its top-left corner, or
        // just inside it when the box touches the top of the image.
        Text {
            objectName: "className"
            visible: placed.selected
            y: placed.y >= height ? -height : 1
            text: placed.className
            color: placed.bboxColor
            font.pixelSize: 12
            style: Text.Outline
            styleColor: "white"
        }
    }

    // The modal editor: category swatches (whose keys add boxes), the host a tile moves into,
    // and Reset, Save and Close. It is shown exactly while the host holds a tile.
    component Editor: Popup {
        id: editor

        property ListModel categories
        property ButtonGroup selectionGroup
        readonly property Item host: itemHost
        readonly property Item openTile: itemHost.children.length > 0 ? itemHost.children[0]
                                                                       : null
        // The category key A adds; the first one whenever the editor opens.
        property int currentCatId: 0
        // The grid whose tiles PageUp and PageDown open.
        property Item grid
        // True while one tile is exchanged for the next: the popup stays open.
        property bool switching: false
        // The editor's keys work while it holds exactly one tile and the key list is not shown.
        readonly property bool keysEnabled: itemHost.children.length === 1 && !keyList.visible

        function selectedBox() {
            var button = selectionGroup ? selectionGroup.checkedButton : null
            return button && button.parent && button.parent.nudge ? button.parent : null
        }
        function nudgeSelected(dx, dy) {
            var box = selectedBox()
            if (box)
                box.nudge(dx, dy)
        }
        // As Close and then a click on the tile `step` rows away, if there is one. The open tile
        // goes back to its cell before the grid scrolls, so its cell may go out of view.
        function openNeighbour(step) {
            var tile = openTile
            if (!tile || !grid || tile.row + step < 0 || tile.row + step >= grid.count)
                return
            var row = tile.row + step
            grid.currentIndex = row
            switching = true
            tile.state = "multiple"
            var next = grid.tileAt(row)
            if (next)
                next.state = "single"
            switching = false
        }

        // A click on a swatch: the selected box, if any, takes its category; otherwise the
        // category becomes the current one.
        function chooseCategory(catId) {
            var box = selectedBox()
            if (box)
                box.categoryRequested(catId)
            else
                currentCatId = catId
        }

        function saveAction() {
            console.log("Save")
            openTile.save()
        }
        function closeAction() {
            if (openTile)
                openTile.state = "multiple"
            close()
            if (grid)
                grid.forceActiveFocus()
        }

        modal: true
        dim: true
        closePolicy: Popup.NoAutoClose
        y: 0
        visible: openTile !== null || switching
        onOpenTileChanged: {
            if (openTile && categories.count > 0)
                currentCatId = categories.get(0).catId
        }

        enter: Transition {
            NumberAnimation {
                property: "y"
                from: editor.parent ? editor.parent.height : 0
                to: 0
                duration: 150
                easing.type: Easing.OutExpo
            }
        }
        exit: Transition {
            NumberAnimation {
                property: "y"
                from: 0
                to: editor.parent ? editor.parent.height : 0
                duration: 150
                easing.type: Easing.InExpo
            }
        }

        Shortcut {
            sequence: StandardKey.Save
            enabled: editor.keysEnabled
            onActivated: editor.saveAction()
        }
        Shortcut {
            sequence: "Esc"
            enabled: editor.openTile !== null
            onActivated: editor.closeAction()
        }
        Shortcut {
            sequence: "A"
            enabled: editor.keysEnabled
            onActivated: editor.openTile.createBox(editor.currentCatId)
        }
        // The review keys: the next and previous image, and the selected box's delete, nudge
        // and the next and previous box.
        Shortcut {
            sequence: "PgDown"
            enabled: editor.keysEnabled
            onActivated: editor.openNeighbour(1)
        }
        Shortcut {
            sequence: "PgUp"
            enabled: editor.keysEnabled
            onActivated: editor.openNeighbour(-1)
        }
        Shortcut {
            sequences: ["Del", "Backspace"]
            enabled: editor.keysEnabled
            onActivated: {
                var box = editor.selectedBox()
                if (box)
                    box.deleteRequested()
            }
        }
        Shortcut {
            sequence: "F1"
            enabled: editor.keysEnabled
            onActivated: keyList.open()
        }
        Shortcut {
            sequence: "Ctrl+Z"
            enabled: editor.keysEnabled
            onActivated: editor.openTile.stepHistory(-1)
        }
        Shortcut {
            sequences: ["Ctrl+Shift+Z", "Ctrl+Y"]
            enabled: editor.keysEnabled
            onActivated: editor.openTile.stepHistory(1)
        }
        Shortcut {
            sequence: "Tab"
            enabled: editor.keysEnabled
            onActivated: editor.openTile.selectStep(1)
        }
        Shortcut {
            sequence: "Shift+Tab"
            enabled: editor.keysEnabled
            onActivated: editor.openTile.selectStep(-1)
        }
        Repeater {
            // Arrow keys move the selected box by a pixel, with Shift by ten.
            model: [["Left", -1, 0], ["Right", 1, 0], ["Up", 0, -1], ["Down", 0, 1],
                    ["Shift+Left", -10, 0], ["Shift+Right", 10, 0], ["Shift+Up", 0, -10],
                    ["Shift+Down", 0, 10]]

            delegate: Item {
                Shortcut {
                    sequence: modelData[0]
                    enabled: editor.keysEnabled
                    onActivated: editor.nudgeSelected(modelData[1], modelData[2])
                }
            }
        }

        // F1: the editor's keys and the category keys; any key or click closes it.
        Popup {
            id: keyList
            objectName: "keyList"
            anchors.centerIn: parent
            modal: true
            focus: true
            closePolicy: Popup.CloseOnPressOutside | Popup.CloseOnEscape

            contentItem: Item {
                implicitWidth: keyColumn.implicitWidth
                implicitHeight: keyColumn.implicitHeight
                focus: true
                Keys.onPressed: {
                    keyList.close()
                    event.accepted = true
                }

                MouseArea {
                    anchors.fill: parent
                    onClicked: keyList.close()
                }
                Column {
                    id: keyColumn
                    spacing: 2

                    Repeater {
                        model: [qsTr("PageDown, PageUp: next, previous image"),
                                qsTr("Tab, Shift+Tab: select the next, previous box"),
                                qsTr("Arrows: move the selected box a pixel (with Shift: ten)"),
                                qsTr("Delete, Backspace: delete the selected box"),
                                qsTr("Ctrl+Z: undo; Ctrl+Shift+Z, Ctrl+Y: redo"),
                                qsTr("A: add a box of the current category at the pointer"),
                                qsTr("Ctrl+S: save; Esc: close")]
                        delegate: Label {
                            text: modelData
                        }
                    }
                    Repeater {
                        model: editor.categories
                        delegate: Label {
                            visible: model.catShortcut.length > 0
                            text: qsTr("%1: add a box of %2 at the pointer").arg(model.catShortcut)
                                      .arg(model.catName)
                        }
                    }
                }
            }
        }

        ColumnLayout {
            anchors.fill: parent

            // Every category, on as many lines as they need.
            Flow {
                Layout.fillWidth: true
                spacing: 4

                Repeater {
                    model: editor.categories

                    delegate: CategorySwatch {
                        catId: model.catId
                        catName: model.catName
                        catShortcut: model.catShortcut
                        catColor: model.catColor
                        current: model.catId === editor.currentCatId
                        tile: editor.keysEnabled ? editor.openTile : null
                        onClicked: editor.chooseCategory(catId)
                    }
                }
            }
            Item {
                id: itemHost
                objectName: "itemHost"
                Layout.fillWidth: true
                Layout.fillHeight: true
            }
            Label {
                objectName: "lblMessage"
                Layout.fillWidth: true
                visible: text.length > 0
                text: editor.openTile !== null ? editor.openTile.message : ""
                wrapMode: Text.Wrap
                color: "firebrick"
            }
            RowLayout {
                Layout.fillWidth: true

                Button {
                    objectName: "btnReset"
                    text: qsTr("Reset")
                    enabled: editor.openTile !== null && editor.openTile.ableToSave
                    onClicked: editor.openTile.reset()
                }
                Button {
                    objectName: "btnSave"
                    text: qsTr("Save")
                    enabled: editor.openTile !== null && editor.openTile.ableToSave
                    onClicked: editor.saveAction()
                }
                Item {
                    Layout.fillWidth: true
                }
                Button {
                    objectName: "btnClose"
                    text: qsTr("Close")
                    onClicked: editor.closeAction()
                }
            }
        }
    }

    // A category's colour with its key on it and its name in a tooltip; the key adds a box of
    // this category to `tile` under the pointer.
    component CategorySwatch: Rectangle {
        id: rcCategory

        property int catId
        property string catName
        property string catShortcut
        property color catColor
        property bool current: false
        property Item tile

        signal clicked()

        objectName: "category" + catId
        width: 20
        height: 20
        color: catColor
        // The current category is framed more heavily.
        border.width: current ? 3 : 1
        border.color: "black"
        readonly property string tipText: catShortcut.length > 0
                                          ? "(%1) %2".arg(catShortcut).arg(catName) : catName

        ToolTip.visible: mouseCategory.containsMouse
        ToolTip.text: tipText

        Text {
            anchors.centerIn: parent
            text: rcCategory.catShortcut
            color: Utils.invertColor(rcCategory.catColor)
        }
        MouseArea {
            id: mouseCategory
            anchors.fill: parent
            hoverEnabled: true
            onClicked: rcCategory.clicked()
        }
        Shortcut {
            sequence: rcCategory.catShortcut
            enabled: rcCategory.tile !== null && rcCategory.catShortcut.length > 0
            onActivated: {
                console.log("Activated " + rcCategory.catName)
                rcCategory.tile.createBox(rcCategory.catId)
            }
        }
    }
}
