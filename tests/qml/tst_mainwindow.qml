import QtQuick 2.15
import QtQuick.Controls 2.15
import QtTest 1.15
import Pallaster 1.0
import PallasterTest 1.0

// Drives the real main window (qrc:/main.qml) over a small dataset written for each test.
TestCase {
    id: testCase
    name: "MainWindow"
    when: windowShown

    property var window: null
    property string folder: ""
    property string images: folder + "/images"
    property string labels: folder + "/labels"

    function child(name) {
        var found = findChild(window.contentItem, name)
        if (!found)
            found = findChild(window, name)
        verify(found, name)
        return found
    }
    // The grid's tile of `row` (made again for rows scrolled away, since the grid reuses them).
    function tileAt(row) {
        var tile = child("gridImages").itemAtIndex(row)
        verify(tile, "tile " + row)
        return tile
    }
    function tileOf(name) {
        var row = rowOf(name)
        verify(row >= 0, name)
        return tileAt(row)
    }
    function isOpen(tile) {
        return EditSession.isOpen && EditSession.row === tile.row
    }
    function frameColor(tile) {
        return String(findChild(tile, "tileFace").frameColor)
    }
    function rowOf(name) {
        for (var r = 0; r < ImageList.rowCount(); ++r)
            if (ImageList.data(ImageList.index(r, 0), 0) === name)
                return r
        return -1
    }
    function label(name) {
        return TestFiles.read(labels + "/" + name + ".txt")
    }
    // The picture an image's boxes are placed on: the editor's frame while the image is open
    // there, else the rectangle of its tile's picture.
    function frameOf(tile) {
        if (!isOpen(tile))
            return findChild(tile, "tileFace").imageRect
        var frame = findChild(child("editorPicture"), "imageFrame")
        verify(frame)
        return frame
    }
    function boxOf(tile, i) {
        return findChild(frameOf(tile), "box" + i)
    }
    // The six significant digits of the label file's number format.
    function g6(v) {
        return String(Number(v.toPrecision(6)))
    }

    // Writes a dataset: every entry is a name, its image size and its label file text.
    function makeDataset(entries) {
        folder = TestFiles.newFolder()
        verify(TestFiles.mkpath(images))
        verify(TestFiles.mkpath(labels))
        for (var i = 0; i < entries.length; ++i) {
            var e = entries[i]
            if (e.width > 0)
                verify(TestFiles.writeImage(images + "/" + e.name + ".jpg", e.width, e.height))
            verify(TestFiles.write(labels + "/" + e.name + ".txt", e.text))
        }
    }
    function load() {
        child("txtImgsFolder").text = images
        child("txtTxtFolder").text = labels
        var btn = child("btnLoad")
        verify(btn.enabled)
        mouseClick(btn)
        waitUntilLoaded()
    }
    // A load runs once the busy indicator is shown.
    function waitUntilLoaded() {
        tryCompare(child("busyOverlay"), "running", false)
        compare(child("gridImages").count, ImageList.rowCount())
    }
    function open(tile) {
        mouseClick(tile, tile.width / 2, tile.height / 2)
        tryVerify(function() { return isOpen(tile) })
        tryCompare(child("popupEditor"), "opened", true)
        // The picture is loaded and laid out before anything is placed on it.
        tryVerify(function() { return frameOf(tile).width > 0 })
    }
    function pressKey(key) {
        window.requestActivate()
        tryCompare(window, "active", true)
        keyClick(key)
    }

    function init() {
        // Edits left unsaved by an earlier test would make Load ask first.
        ImageList.loadYolo("", "")
        Dataset.setDatasetFile("")
        ImageList.showUnlabelled = false
        ImageFilter.clear()
        var component = Qt.createComponent("qrc:/main.qml")
        compare(component.status, Component.Ready, component.errorString())
        window = component.createObject(null)
        verify(window)
        window.requestActivate()
        tryCompare(window, "active", true)
        makeDataset([
            { name: "wide", width: 200, height: 100, text: "1 0.50 0.5 0.2 0.4\n" },
            { name: "tall", width: 100, height: 200, text: "" },
            { name: "other", width: 100, height: 100, text: "7 0.25 0.25 0.1 0.1" },
        ])
    }
    function cleanup() {
        window.destroy()
        window = null
        wait(0)
    }

    function test_loadNeedsBothFolders() {
        var btn = child("btnLoad")
        var imgs = child("txtImgsFolder")
        var txts = child("txtTxtFolder")
        verify(!btn.enabled)
        imgs.text = "x"
        verify(!btn.enabled)
        txts.text = "/does/not/exist"
        verify(btn.enabled)
        imgs.text = ""
        verify(!btn.enabled)
        // Enter in a folder field loads, once both are filled.
        child("txtImgsFolder").text = images
        child("txtTxtFolder").text = labels
        mouseClick(child("txtTxtFolder"), 10, 10)
        keyClick(Qt.Key_Return)
        tryCompare(child("gridImages"), "count", 3)
        load()
        compare(child("gridImages").count, 3)
        compare(ImageList.rowCount(), 3)
    }

    function test_openingWritesNothing() {
        load()
        var tile = tileOf("wide")
        verify(!isOpen(tile))
        open(tile)
        compare(label("wide"), "1 0.50 0.5 0.2 0.4\n")
        verify(!child("btnSave").enabled)
        verify(!child("btnReset").enabled)
        // Boxes react only in the editor, and are placed on the painted picture.
        var box = boxOf(tile, 0)
        verify(box.enabled)
        var frame = frameOf(tile)
        fuzzyCompare(frame.width / frame.height, 2, 0.02)
        fuzzyCompare(box.width, 0.2 * frame.width, 1e-6)
        fuzzyCompare(box.x, 0.4 * frame.width, 1e-6)
        compare(String(box.bboxColor), "#0000ff")
    }

    function test_categoryKeyAddsABox_data() {
        return [
            { tag: "over the picture", fx: 0.25, fy: 0.75, ex: -1, ey: -1 },
            { tag: "left of the picture", fx: -1, fy: 0.5, ex: 0, ey: -1 },
        ]
    }
    function test_categoryKeyAddsABox(data) {
        load()
        var tile = tileOf("tall")
        open(tile)
        compare(label("tall"), "")
        var frame = frameOf(tile)
        var content = frame.parent
        var px = data.fx >= 0 ? Math.round(frame.x + data.fx * frame.width) : Math.round(frame.x / 2)
        var py = Math.round(frame.y + data.fy * frame.height)
        mouseMove(content, px, py)
        pressKey(Qt.Key_1)
        tryVerify(function() { return boxOf(tile, 0) !== null })
        verify(child("btnSave").enabled)
        verify(child("btnReset").enabled)
        var cx = data.ex >= 0 ? data.ex : (px - frame.x) / frame.width
        var cy = data.ey >= 0 ? data.ey : (py - frame.y) / frame.height
        mouseClick(child("btnSave"))
        compare(label("tall"), "1 " + g6(cx) + " " + g6(cy) + " 0.1 0.1")
        verify(!child("btnSave").enabled)
        verify(!child("btnReset").enabled)
    }

    function test_moveResizeDeleteAndReset() {
        load()
        var tile = tileOf("wide")
        open(tile)
        var frame = frameOf(tile)
        var box = boxOf(tile, 0)

        // Move the box 10 % of the picture to the right.
        var step = frame.width / 100
        var cxStart = 0.5 * frame.width, cyStart = 0.5 * frame.height
        mousePress(frame, cxStart, cyStart)
        for (var i = 1; i <= 11; ++i)
            mouseMove(frame, cxStart + i * step, cyStart)
        mouseRelease(frame, cxStart + 11 * step, cyStart)
        verify(box.selected)
        verify(child("btnSave").enabled)
        mouseClick(child("btnSave"))
        var fields = label("wide").split(" ")
        compare(fields.length, 5)
        fuzzyCompare(Number(fields[1]), 0.6, 0.011)
        compare(fields[2], "0.5")
        compare(fields[3], "0.2")

        // Pull the right edge 5 % further.
        var right = box.x + box.width, middle = box.y + box.height / 2
        mousePress(frame, right, middle)
        for (i = 1; i <= 6; ++i)
            mouseMove(frame, right + i * step, middle)
        mouseRelease(frame, right + 6 * step, middle)
        mouseClick(child("btnSave"))
        fields = label("wide").split(" ")
        fuzzyCompare(Number(fields[3]), 0.25, 0.011)

        // Delete it from its menu, then take it back with Reset.
        mousePress(frame, box.x + box.width / 2, middle, Qt.RightButton)
        mouseRelease(frame, box.x + box.width / 2, middle, Qt.RightButton)
        var menu = findChild(box, "ctxMnu")
        tryCompare(menu, "opened", true)
        mouseClick(menu.itemAt(0))
        var list = ImageList.data(ImageList.index(rowOf("wide"), 0), 4)
        tryVerify(function() { return list.rowCount() === 0 })
        verify(child("btnReset").enabled)
        var saved = label("wide")
        mouseClick(child("btnReset"))
        tryVerify(function() { return boxOf(tile, 0) !== null })
        compare(label("wide"), saved)
        verify(!child("btnReset").enabled)
        mouseClick(child("btnSave"))
        compare(label("wide"), saved)
    }

    function test_deleteWritesAnEmptyFile() {
        load()
        var tile = tileOf("other")
        open(tile)
        var box = boxOf(tile, 0)
        compare(String(box.bboxColor), "#000000") // category 7 is not in the table
        var frame = frameOf(tile)
        mousePress(frame, box.x + box.width / 2, box.y + box.height / 2, Qt.RightButton)
        mouseRelease(frame, box.x + box.width / 2, box.y + box.height / 2, Qt.RightButton)
        var menu = findChild(box, "ctxMnu")
        tryCompare(menu, "opened", true)
        mouseClick(menu.itemAt(0))
        mouseClick(child("btnSave"))
        compare(label("other"), "")
    }

    function test_closeAndEscapeDoNotWrite_data() {
        return [ { tag: "Close", escape: false }, { tag: "Esc", escape: true } ]
    }
    function test_closeAndEscapeDoNotWrite(data) {
        load()
        var tile = tileOf("tall")
        open(tile)
        var frame = frameOf(tile)
        mouseMove(frame.parent, frame.x + frame.width / 2, frame.y + frame.height / 2)
        pressKey(Qt.Key_1)
        tryVerify(function() { return boxOf(tile, 0) !== null })
        var added = "1 " + g6(boxOf(tile, 0).iCx) + " " + g6(boxOf(tile, 0).iCy) + " 0.1 0.1"
        if (data.escape)
            pressKey(Qt.Key_Escape)
        else
            mouseClick(child("btnClose"))
        tryCompare(EditSession, "isOpen", false)
        tryCompare(child("popupEditor"), "visible", false)
        compare(label("tall"), "")
        // Still shown on the tile, and written when the tile is opened again.
        compare(findChild(tile, "tileFace").boxes.rowCount(), 1)
        open(tile)
        compare(label("tall"), added)
    }

    function test_leftClickWithSelectionOnlyClearsIt() {
        load()
        var tile = tileOf("wide")
        open(tile)
        var frame = frameOf(tile)
        var box = boxOf(tile, 0)
        mouseClick(frame, box.x + box.width / 2, box.y + box.height / 2)
        verify(box.selected)
        mouseClick(frame, 5, 5)
        verify(!box.selected)
        verify(isOpen(tile))
        verify(!child("btnSave").enabled)
        // Closing with a selection clears it too.
        mouseClick(frame, box.x + box.width / 2, box.y + box.height / 2)
        verify(box.selected)
        mouseClick(child("btnClose"))
        tryCompare(EditSession, "isOpen", false)
        verify(!box.selected)
    }

    function test_saveKeyWritesWithoutChanges() {
        load()
        var tile = tileOf("wide")
        open(tile)
        verify(TestFiles.write(labels + "/wide.txt", "changed on disk"))
        window.requestActivate()
        tryCompare(window, "active", true)
        keySequence(StandardKey.Save)
        tryVerify(function() { return label("wide") === "1 0.5 0.5 0.2 0.4\n" })
    }

    function test_tileMenuDelete_data() {
        return [ { tag: "label file removed", fileThere: true },
                 { tag: "label file already gone", fileThere: false } ]
    }
    function test_tileMenuDelete(data) {
        load()
        var tile = tileOf("other")
        var row = tile.row
        var text = label("other")
        if (!data.fileThere)
            verify(TestFiles.remove(labels + "/other.txt"))
        // The keys were elsewhere: the right click gives them to the grid, for Ctrl+Z.
        child("txtSearch").forceActiveFocus()
        mouseClick(tile, 10, 10, Qt.RightButton)
        var menu = child("tileMenu")
        tryCompare(menu, "opened", true)
        mouseClick(menu.itemAt(0))
        tryCompare(menu, "visible", false)
        compare(ImageList.rowCount(), data.fileThere ? 2 : 3)
        compare(rowOf("other") >= 0, !data.fileThere)
        compare(child("gridImages").count, ImageList.rowCount())
        compare(child("lblShown").text, ImageList.rowCount() + " images")
        verify(!TestFiles.exists(labels + "/other.txt"))
        verify(TestFiles.exists(images + "/other.jpg"))
        // The file went to the trash (the test's own), and Ctrl+Z in the grid puts file and tile
        // back in their place.
        var grid = child("gridImages")
        keyClick(Qt.Key_Z, Qt.ControlModifier)
        compare(ImageList.rowCount(), 3)
        compare(grid.count, 3)
        if (!data.fileThere)
            return
        verify(TestFiles.env("XDG_DATA_HOME").length > 0)
        compare(rowOf("other"), row)
        compare(label("other"), text)
        compare(grid.currentIndex, row)
        keyClick(Qt.Key_Z, Qt.ControlModifier) // nothing more to put back
        compare(ImageList.rowCount(), 3)
    }

    function test_noTileMenuInTheEditor() {
        load()
        var tile = tileOf("wide")
        open(tile)
        mouseClick(tile, 10, 10, Qt.RightButton)
        wait(50)
        var menu = child("tileMenu")
        verify(menu === null || !menu.opened)
    }

    function test_columnsAndGo() {
        var entries = []
        for (var i = 0; i < 120; ++i)
            entries.push({ name: "img" + (100 + i), width: 8, height: 8, text: "" })
        makeDataset(entries)
        load()
        var grid = child("gridImages")
        var spin = child("spinColumns")
        compare(spin.value, 4)
        fuzzyCompare(grid.cellWidth, grid.width / 4, 1e-9)
        compare(grid.cellHeight, grid.cellWidth)
        spin.value = 1
        compare(grid.cellWidth, grid.width)
        spin.value = 0
        compare(spin.value, 1)
        spin.value = 11
        compare(spin.value, 10)
        spin.value = 4

        child("txtGoto").text = "24"
        mouseClick(child("btnGo"))
        tryVerify(function() { return grid.indexAt(grid.contentX + 5, grid.contentY + 5) === 24 })
        // Enter in the field goes too.
        grid.positionViewAtBeginning()
        mouseClick(child("txtGoto"))
        keyClick(Qt.Key_Return)
        tryVerify(function() { return grid.indexAt(grid.contentX + 5, grid.contentY + 5) === 24 })
        // Not a row: nothing moves.
        var y = grid.contentY
        child("txtGoto").text = "abc"
        mouseClick(child("btnGo"))
        child("txtGoto").text = "400"
        mouseClick(child("btnGo"))
        compare(grid.contentY, y)

        // A change of columns keeps the top row's first tile at the top.
        var top = grid.indexAt(grid.contentX + 5, grid.contentY + 5)
        verify(top > 0)
        for (var columns of [8, 3, 5]) {
            spin.value = columns
            tryVerify(function() { return grid.indexAt(grid.contentX + 5, grid.contentY + 5)
                                          === Math.floor(top / columns) * columns },
                      1000, columns + " columns")
        }
    }
    // --- Class names, colours and every class at hand ---

    // The dataset of init() with a class file naming twelve classes, c0 to c11.
    function loadWithClasses() {
        var names = []
        for (var i = 0; i < 12; ++i)
            names.push("c" + i)
        verify(TestFiles.write(labels + "/classes.txt", names.join("\n") + "\n\n"))
        load()
    }
    // Swatches are made by a repeater in the popup: found among its content's items.
    function swatch(id) {
        var found = findChild(child("popupEditor").contentItem, "category" + id)
        verify(found, "category" + id)
        return found
    }
    function pointAtPicture(tile) {
        var frame = frameOf(tile)
        mouseMove(frame.parent, frame.x + frame.width / 2, frame.y + frame.height / 2)
    }

    function test_withoutClassFileOneCategory() {
        load()
        compare(child("popupEditor").categories.count, 1)
        compare(swatch(1).tipText, "(1) People")
        compare(String(swatch(1).catColor), "#0000ff")
        // Class 7 is not in the table: black.
        var drawn = findChild(tileOf("other"), "tileFace").boxes
        compare(drawn.data(drawn.index(0, 0), 0), 7)
        compare(String(Categories.colorOf(7)), "#000000")
    }

    function test_classFileGivesEveryClassAColourAndSwatch() {
        loadWithClasses()
        compare(ImageList.rowCount(), 3) // classes.txt is not a tile
        var categories = child("popupEditor").categories
        compare(categories.count, 12)
        compare(swatch(0).tipText, "(0) c0")
        compare(swatch(9).tipText, "(9) c9")
        compare(swatch(10).catShortcut, "")
        compare(swatch(10).tipText, "c10")
        // Each class its own palette colour; none black.
        var colours = {}
        for (var i = 0; i < categories.count; ++i) {
            var colour = String(categories.get(i).catColor)
            verify(colour !== "#000000")
            verify(!colours[colour], colour)
            colours[colour] = true
        }
        compare(Categories.colorOf(1), swatch(1).catColor)
        compare(Categories.colorOf(7), swatch(7).catColor)
    }

    function test_digitAndAKeysAddBoxesOfTheirClass() {
        loadWithClasses()
        var tile = tileOf("tall")
        open(tile)
        compare(child("popupEditor").currentCatId, 0)
        verify(swatch(0).current)
        pointAtPicture(tile)
        pressKey(Qt.Key_2)
        tryVerify(function() { return tile.boxes.rowCount() === 1 })
        compare(boxOf(tile, 0).bboxColor, swatch(2).catColor)
        // A swatch click with no box selected makes its class the one A adds.
        mouseClick(swatch(11))
        compare(child("popupEditor").currentCatId, 11)
        verify(swatch(11).current && !swatch(0).current)
        pointAtPicture(tile)
        pressKey(Qt.Key_A)
        tryVerify(function() { return tile.boxes.rowCount() === 2 })
        mouseClick(child("btnSave"))
        var lines = label("tall").split("\n")
        compare(lines.length, 2)
        compare(lines[0].split(" ")[0], "2")
        compare(lines[1].split(" ")[0], "11")
        // Opening again starts from the first class.
        mouseClick(child("btnClose"))
        tryCompare(child("popupEditor"), "visible", false)
        open(tileOf("wide"))
        compare(child("popupEditor").currentCatId, 0)
    }

    function test_swatchClickReclassesTheSelectedBox() {
        loadWithClasses()
        var tile = tileOf("wide")
        open(tile)
        var box = boxOf(tile, 0)
        var name = findChild(box, "className")
        verify(name.visible)
        compare(name.text, "c1")
        mouseClick(box, box.width / 2, box.height / 2)
        tryCompare(box, "selected", true)
        verify(!child("btnSave").enabled)
        mouseClick(swatch(5))
        tryCompare(name, "text", "c5")
        compare(box.bboxColor, swatch(5).catColor)
        compare(child("popupEditor").currentCatId, 0) // the current class stays
        verify(child("btnSave").enabled)
        verify(tile.boxes.modified)
        mouseClick(child("btnSave"))
        compare(label("wide"), "5 0.5 0.5 0.2 0.4\n")
    }

    // C opens the class list: typing filters it by name or number, Enter gives the selected box
    // the first match (one undo step) or makes it the current class; the classes used last
    // come first.
    function test_classPicker() {
        loadWithClasses()
        var tile = tileOf("wide")
        open(tile)
        var picker = child("classPicker")
        pressKey(Qt.Key_C)
        tryCompare(picker, "opened", true)
        compare(picker.entries.length, 12)
        keyClick(Qt.Key_1)
        keyClick(Qt.Key_1)
        compare(picker.entries.length, 1) // c11, class 11
        keyClick(Qt.Key_Return)
        tryCompare(picker, "visible", false)
        compare(EditSession.currentCatId, 11)
        // With a box selected, the box takes the class.
        pressKey(Qt.Key_Tab)
        pressKey(Qt.Key_C)
        tryCompare(picker, "opened", true)
        compare(picker.entries[0].catId, 11)
        keyClick(Qt.Key_C)
        keyClick(Qt.Key_7)
        compare(picker.entries.length, 1)
        keyClick(Qt.Key_Return)
        tryCompare(picker, "visible", false)
        compare(EditSession.boxes.data(EditSession.boxes.index(0, 0), 0), 7)
        compare(EditSession.currentCatId, 11)
        pressKey(Qt.Key_C)
        tryCompare(picker, "opened", true)
        compare(picker.entries[0].catId, 7)
        compare(picker.entries[1].catId, 11)
        keyClick(Qt.Key_Escape)
        tryCompare(picker, "visible", false)
        verify(EditSession.isOpen)
        keyClick(Qt.Key_Z, Qt.ControlModifier)
        compare(EditSession.boxes.data(EditSession.boxes.index(0, 0), 0), 1)
    }

    function test_imagesInOtherFormats_data() {
        return [ { tag: "png", file: "p.png" }, { tag: "JPG", file: "p.JPG" },
                 { tag: "jpeg", file: "p.jpeg" } ]
    }
    function test_imagesInOtherFormats(data) {
        makeDataset([])
        verify(TestFiles.writeImage(images + "/" + data.file, 160, 80))
        verify(TestFiles.write(labels + "/p.txt", "0 0.5 0.5 0.5 0.5\n"))
        load()
        var tile = tileOf("p")
        compare(tile.imagePath, "/" + images + "/" + data.file)
        tryCompare(findChild(tile, "tileImage"), "status", Image.Ready)
        fuzzyCompare(frameOf(tile).width / frameOf(tile).height, 2, 0.02)
    }

    // An image that cannot be read says why, in the tile and the editor, and its boxes stay in
    // sight on a square frame.
    function test_unreadableImageSaysSo_data() {
        return [ { tag: "missing", file: "", problem: "Image not found: lost.jpg" },
                 { tag: "not an image", file: "lost.jpg", problem: "Cannot read lost.jpg" } ]
    }
    function test_unreadableImageSaysSo(data) {
        makeDataset([{ name: "lost", width: 0, height: 0, text: "1 0.5 0.5 0.2 0.4\n" }])
        if (data.file.length > 0)
            verify(TestFiles.write(images + "/" + data.file, "not a picture"))
        load()
        var tile = tileOf("lost")
        tryVerify(function() { return frameOf(tile).width > 0 })
        compare(frameOf(tile).width, frameOf(tile).height)
        var face = findChild(tile, "tileFace")
        verify(face.problem.indexOf(data.problem) === 0, face.problem)
        compare(findChild(tile, "tileImage").width, frameOf(tile).width)
        open(tile)
        var problem = findChild(child("editorPicture"), "imageProblem")
        tryVerify(function() { return problem.visible })
        verify(problem.text.indexOf(data.problem) === 0, problem.text)
        var box = boxOf(tile, 0)
        fuzzyCompare(box.width, 0.2 * frameOf(tile).width, 1e-6)
        verify(box.visible && box.height > 0)
    }

    // --- Review keys in the editor ---

    function test_pageKeysOpenTheNextAndPreviousImage() {
        var entries = []
        for (var i = 0; i < 40; ++i)
            entries.push({ name: "img" + (100 + i), width: 40, height: 30,
                           text: "1 0.5 0.5 0.2 0.2\n" })
        makeDataset(entries)
        load()
        var editor = child("popupEditor")
        var first = tileAt(0)
        open(first)
        // Edit the first image, then move on: it goes back unsaved, the next one is written.
        editBox(first)
        verify(TestFiles.write(labels + "/" + first.caption + ".txt", "1 0.5 0.5 0.2 0.2\n"))
        compare(child("lblPosition").text, "1 / 40 · " + first.caption + ".jpg")
        pressKey(Qt.Key_PageUp) // nothing before the first
        compare(EditSession.row, 0)
        compare(message(), "This is the first image.")
        var secondName = tileAt(1).caption
        verify(TestFiles.write(labels + "/" + secondName + ".txt", "1 0.5 0.5 0.2 0.2"))
        pressKey(Qt.Key_PageDown)
        tryCompare(EditSession, "row", 1)
        verify(editor.visible)
        var firstBoxes = ImageList.data(ImageList.index(0, 0), 4)
        verify(firstBoxes.modified)
        compare(firstBoxes.rowCount(), 2)
        compare(EditSession.caption, secondName)
        compare(label(secondName), "1 0.5 0.5 0.2 0.2") // written on opening
        // Far down the grid and back: tiles that scrolled out of view come back.
        for (var k = 2; k < 40; ++k)
            pressKey(Qt.Key_PageDown)
        tryCompare(EditSession, "row", 39)
        pressKey(Qt.Key_PageDown) // nothing after the last
        compare(EditSession.row, 39)
        compare(message(), "This is the last image.")
        verify(child("lblPosition").text.indexOf("40 / 40 · ") === 0)
        var grid = child("gridImages")
        mouseClick(child("btnClose"))
        tryCompare(editor, "visible", false)
        // The grid shows the tile that was open.
        var cell = grid.itemAtIndex(39)
        verify(cell)
        verify(cell.y + cell.height <= grid.contentY + grid.height + 1 && cell.y >= grid.contentY - 1)
        open(tileAt(39))
        for (k = 38; k >= 0; --k)
            pressKey(Qt.Key_PageUp)
        tryCompare(EditSession, "row", 0)
        // The edit made before is still there, and opening wrote it.
        compare(EditSession.boxes.rowCount(), 2)
        compare(label(EditSession.caption).trim().split("\n").length, 2)
    }

    function test_deleteNudgeAndTabKeys() {
        makeDataset([{ name: "boxes", width: 200, height: 100,
                       text: "1 0.2 0.5 0.1 0.2\n1 0.5 0.5 0.1 0.2\n1 0.94 0.5 0.1 0.2\n" }])
        load()
        var tile = tileOf("boxes")
        open(tile)
        var frame = frameOf(tile)
        // Tab selects in row order, wrapping; Shift+Tab goes back.
        pressKey(Qt.Key_Tab)
        tryVerify(function() { return boxOf(tile, 0).selected })
        pressKey(Qt.Key_Tab)
        verify(boxOf(tile, 1).selected && !boxOf(tile, 0).selected)
        pressKey(Qt.Key_Tab)
        pressKey(Qt.Key_Tab)
        verify(boxOf(tile, 0).selected)
        keyClick(Qt.Key_Backtab, Qt.ShiftModifier)
        verify(boxOf(tile, 2).selected)
        verify(!child("btnSave").enabled)
        // Arrows move the selected box by one painted pixel, Shift+arrows by ten, never out.
        pressKey(Qt.Key_Left)
        var list = tile.boxes
        var cx = function(row) { return list.data(list.index(row, 0), 1) }
        fuzzyCompare(cx(2), 0.94 - 1 / 200, 1e-9) // an image pixel: the image is shown larger
        verify(child("btnSave").enabled)
        keyClick(Qt.Key_Right, Qt.ShiftModifier)
        fuzzyCompare(cx(2), 0.95, 1e-9) // the right edge of the image stops it
        keyClick(Qt.Key_Up, Qt.ShiftModifier)
        fuzzyCompare(list.data(list.index(2, 0), 2), 0.5 - 10 / 100, 1e-9)
        pressKey(Qt.Key_Down)
        fuzzyCompare(list.data(list.index(2, 0), 2), 0.5 - 9 / 100, 1e-9)
        // Delete and Backspace delete the selected box.
        pressKey(Qt.Key_Delete)
        tryVerify(function() { return list.rowCount() === 2 })
        pressKey(Qt.Key_Tab)
        pressKey(Qt.Key_Backspace)
        tryVerify(function() { return list.rowCount() === 1 })
        mouseClick(child("btnSave"))
        compare(label("boxes"), "1 0.5 0.5 0.1 0.2\n")
    }

    // Each arrow moves the selected box one painted pixel its way, with Shift ten.
    function test_arrowKeysMoveTheSelectedBox_data() {
        var rows = []
        var arrows = [["Left", Qt.Key_Left, -1, 0], ["Right", Qt.Key_Right, 1, 0],
                      ["Up", Qt.Key_Up, 0, -1], ["Down", Qt.Key_Down, 0, 1]]
        for (var i = 0; i < arrows.length; ++i) {
            var a = arrows[i]
            rows.push({ tag: a[0], key: a[1], modifiers: Qt.NoModifier, dx: a[2], dy: a[3] })
            rows.push({ tag: "Shift+" + a[0], key: a[1], modifiers: Qt.ShiftModifier,
                        dx: 10 * a[2], dy: 10 * a[3] })
        }
        return rows
    }
    function test_arrowKeysMoveTheSelectedBox(data) {
        makeDataset([{ name: "box", width: 200, height: 100, text: "1 0.5 0.5 0.1 0.2\n" }])
        load()
        var tile = tileOf("box")
        open(tile)
        var frame = frameOf(tile)
        pressKey(Qt.Key_Tab)
        keyClick(data.key, data.modifiers)
        // The 200 x 100 image is shown larger than it is: a step is an image pixel.
        verify(frame.width > 200)
        var list = EditSession.boxes
        fuzzyCompare(list.data(list.index(0, 0), 1), 0.5 + data.dx / 200, 1e-9)
        fuzzyCompare(list.data(list.index(0, 0), 2), 0.5 + data.dy / 100, 1e-9)
    }

    // Every kind of edit is undone and redone by the keys, one drag a single step.
    function test_undoAndRedo() {
        loadWithClasses()
        var tile = tileOf("wide")
        open(tile)
        var frame = frameOf(tile)
        var list = tile.boxes
        var state = function() {
            var rows = []
            for (var r = 0; r < list.rowCount(); ++r) {
                var i = list.index(r, 0)
                rows.push([list.data(i, 0), g6(list.data(i, 1)), g6(list.data(i, 2)),
                           g6(list.data(i, 3)), g6(list.data(i, 4))].join(" "))
            }
            return rows.join("|")
        }
        var states = [state()]
        // A move: many reports, one step.
        var step = frame.width / 100
        mousePress(frame, frame.width / 2, frame.height / 2)
        for (var k = 1; k <= 6; ++k)
            mouseMove(frame, frame.width / 2 + k * step, frame.height / 2)
        mouseRelease(frame, frame.width / 2 + 6 * step, frame.height / 2)
        states.push(state())
        // A resize by the right handle, then a nudge.
        var box = boxOf(tile, 0)
        var right = box.x + box.width, middle = box.y + box.height / 2
        mousePress(frame, right, middle)
        for (k = 1; k <= 4; ++k)
            mouseMove(frame, right + k * step, middle)
        mouseRelease(frame, right + 4 * step, middle)
        states.push(state())
        pressKey(Qt.Key_Up)
        states.push(state())
        // A class change, an added box and a deletion.
        mouseClick(swatch(3))
        states.push(state())
        pointAtPicture(tile)
        pressKey(Qt.Key_5)
        tryVerify(function() { return list.rowCount() === 2 })
        states.push(state())
        pressKey(Qt.Key_Tab)
        pressKey(Qt.Key_Delete)
        tryVerify(function() { return list.rowCount() === 1 })
        states.push(state())
        for (k = 1; k < states.length; ++k)
            verify(states[k] !== states[k - 1], "edit " + k + " changed nothing")

        mouseClick(child("btnSave"))
        verify(!child("btnSave").enabled)
        for (k = states.length - 2; k >= 0; --k) {
            keyClick(Qt.Key_Z, Qt.ControlModifier)
            compare(state(), states[k])
        }
        verify(child("btnSave").enabled) // an undo is an edit
        keyClick(Qt.Key_Z, Qt.ControlModifier) // nothing left
        compare(state(), states[0])
        keyClick(Qt.Key_Y, Qt.ControlModifier)
        compare(state(), states[1])
        keyClick(Qt.Key_Z, Qt.ControlModifier | Qt.ShiftModifier)
        compare(state(), states[2])
        mouseClick(child("btnSave"))
        compare(label("wide"), states[2].replace(/\|/g, "\n") + "\n")
        // A new edit drops what could be redone; Reset starts the history again.
        pressKey(Qt.Key_Tab)
        pressKey(Qt.Key_Delete)
        keyClick(Qt.Key_Y, Qt.ControlModifier)
        compare(list.rowCount(), 0)
        mouseClick(child("btnReset"))
        tryVerify(function() { return list.rowCount() === 1 })
        keyClick(Qt.Key_Z, Qt.ControlModifier)
        compare(state(), states[2])
        verify(!child("btnSave").enabled)
    }

    function test_gridKeys() {
        var entries = []
        for (var i = 0; i < 40; ++i)
            entries.push({ name: "img" + (100 + i), width: 8, height: 8, text: "" })
        makeDataset(entries)
        load()
        var grid = child("gridImages")
        // Load hands the keys to the grid.
        verify(grid.activeFocus)
        compare(grid.currentIndex, 0)
        keyClick(Qt.Key_Right)
        compare(grid.currentIndex, 1)
        // A click makes a tile current (and opens it, as always); closing leaves it current.
        var tile = tileAt(5)
        open(tile)
        mouseClick(child("btnClose"))
        tryCompare(child("popupEditor"), "visible", false)
        compare(grid.currentIndex, 5)
        verify(grid.activeFocus)
        var marker = findChild(grid, "currentMarker")
        verify(marker && marker.visible)
        keyClick(Qt.Key_Right)
        compare(grid.currentIndex, 6)
        keyClick(Qt.Key_Down)
        compare(grid.currentIndex, 10)
        keyClick(Qt.Key_Left)
        compare(grid.currentIndex, 9)
        // N: class names on every tile's boxes, and off again.
        keyClick(Qt.Key_N)
        verify(findChild(tileAt(grid.currentIndex), "tileFace").showNames)
        keyClick(Qt.Key_N)
        verify(!findChild(tileAt(grid.currentIndex), "tileFace").showNames)
        keyClick(Qt.Key_End)
        compare(grid.currentIndex, 39)
        tryVerify(function() { return grid.contentY > 0 }) // scrolled to it
        keyClick(Qt.Key_Home)
        compare(grid.currentIndex, 0)
        keyClick(Qt.Key_Down)
        keyClick(Qt.Key_Return)
        tryCompare(child("popupEditor"), "opened", true)
        compare(EditSession.row, 4)
        // In the editor the grid's keys do nothing.
        keyClick(Qt.Key_End)
        compare(grid.currentIndex, 4)
        keyClick(Qt.Key_PageDown)
        tryCompare(EditSession, "row", 5)
        compare(grid.currentIndex, 5) // the marker follows the open image
        keyClick(Qt.Key_Escape)
        tryCompare(child("popupEditor"), "visible", false)
        // A text field keeps its keys.
        var goTo = child("txtGoto")
        mouseClick(goTo)
        keyClick(Qt.Key_2)
        keyClick(Qt.Key_Left)
        keyClick(Qt.Key_Home)
        compare(goTo.text, "2")
        compare(grid.currentIndex, 5)
    }

    function test_f1ListsTheKeys() {
        loadWithClasses()
        var tile = tileOf("wide")
        open(tile)
        var list = findChild(child("popupEditor").contentItem, "keyList")
        verify(list === null || !list.visible)
        keyClick(Qt.Key_F1)
        list = child("keyList")
        tryCompare(list, "opened", true)
        // While it shows, keys only close it.
        var boxes = tile.boxes.rowCount()
        pointAtPicture(tile)
        keyClick(Qt.Key_1)
        tryCompare(list, "visible", false)
        compare(tile.boxes.rowCount(), boxes)
        keyClick(Qt.Key_F1)
        tryCompare(list, "opened", true)
        mouseClick(list.contentItem)
        tryCompare(list, "visible", false)
    }

    // A click picks the smallest box under the pointer, again at the same place the next larger;
    // a drag then moves the box picked.
    function test_clickPicksTheSmallestBox() {
        makeDataset([{ name: "nested", width: 200, height: 200,
                       text: "2 0.5 0.5 0.1 0.1\n1 0.5 0.5 0.8 0.8\n1 0.2 0.2 0.1 0.1\n" }])
        load()
        var tile = tileOf("nested")
        open(tile)
        var frame = frameOf(tile)
        var cx = frame.width / 2, cy = frame.height / 2
        var picks = [0, 1, 0]
        for (var i = 0; i < picks.length; ++i) {
            mouseClick(frame, cx, cy)
            tryCompare(EditSession, "selectedBox", picks[i], 1000, "click " + i)
        }
        mouseClick(frame, 0.2 * frame.width, 0.2 * frame.height)
        compare(EditSession.selectedBox, 2)
        mouseClick(frame, cx, cy)
        compare(EditSession.selectedBox, 0)
        var list = EditSession.boxes
        mousePress(frame, cx, cy)
        for (var k = 1; k <= 5; ++k)
            mouseMove(frame, cx + k * 4, cy)
        mouseRelease(frame, cx + 20, cy)
        // The drag threshold takes a few pixels of the way.
        fuzzyCompare(list.data(list.index(0, 0), 1), 0.5 + 20 / frame.width, 5 / frame.width)
        compare(list.data(list.index(1, 0), 1), 0.5)
    }

    // A corner handle drags the two edges meeting there, the opposite corner staying put.
    function test_cornerHandles_data() {
        return [ { tag: "top left", handle: "topLeftHandle", dx: -10, dy: -10 },
                 { tag: "bottom right", handle: "bottomRightHandle", dx: 10, dy: 10 } ]
    }
    function test_cornerHandles(data) {
        load()
        var tile = tileOf("wide")
        open(tile)
        var frame = frameOf(tile)
        pressKey(Qt.Key_Tab)
        var box = boxOf(tile, 0)
        var handle = findChild(box, data.handle)
        tryVerify(function() { return handle.visible })
        var left = box.x, top = box.y, right = box.x + box.width, bottom = box.y + box.height
        var hx = handle.width / 2, hy = handle.height / 2
        mousePress(handle, hx, hy)
        for (var i = 1; i <= 5; ++i)
            mouseMove(handle, hx + data.dx * i, hy + data.dy * i)
        mouseRelease(handle, hx + data.dx * 5, hy + data.dy * 5)
        var list = EditSession.boxes
        var row = list.index(0, 0)
        var w = list.data(row, 3) * frame.width, h = list.data(row, 4) * frame.height
        var x0 = list.data(row, 1) * frame.width - w / 2, y0 = list.data(row, 2) * frame.height - h / 2
        // Grown by the drag (less the threshold) at the dragged corner only.
        if (data.dx < 0) {
            fuzzyCompare(x0 + w, right, 1e-6)
            fuzzyCompare(y0 + h, bottom, 1e-6)
            verify(x0 < left - 40 && y0 < top - 40)
        } else {
            fuzzyCompare(x0, left, 1e-6)
            fuzzyCompare(y0, top, 1e-6)
            verify(x0 + w > right + 40 && y0 + h > bottom + 40)
        }
        keyClick(Qt.Key_Z, Qt.ControlModifier)
        compare(list.data(row, 3), 0.2)
    }

    // A polygon is drawn as itself; selected, its vertices can be dragged, each drag one undo
    // step, and Save writes it back as a polygon.
    function test_polygonVertexDrag() {
        var line = "3 0.2 0.2 0.6 0.2 0.6 0.6 0.2 0.6"
        makeDataset([{ name: "seg", width: 200, height: 200, text: line + "\n" }])
        load()
        var tile = tileOf("seg")
        open(tile)
        compare(label("seg"), line + "\n")
        var frame = frameOf(tile)
        // Drawn by the shapes item (its painting is tested on its own) under a box without an
        // outline.
        var shapes = findChild(child("editorPicture"), "shapes")
        compare(shapes.boxes, EditSession.boxes)
        compare(boxOf(tile, 0).border.width, 0)
        var box = boxOf(tile, 0)
        compare(box.kind, "polygon")
        pressKey(Qt.Key_Tab)
        // Its vertices are drawn by the shapes item and dragged through the box.
        tryVerify(function() { return findChild(box, "vertexDrag").enabled })
        compare(shapes.vertexHandles, true)
        var w = frame.width, h = frame.height
        mousePress(frame, 0.2 * w + 2, 0.6 * h - 2)
        for (var i = 1; i <= 5; ++i)
            mouseMove(frame, 0.2 * w - i * 4, 0.6 * h + i * 4)
        mouseRelease(frame, 0.2 * w - 20, 0.6 * h + 20)
        var points = EditSession.boxes.data(EditSession.boxes.index(0, 0), 11)
        verify(points[6] < 0.2 && points[7] > 0.6, points)
        compare(points.slice(0, 6).join(" "), "0.2 0.2 0.6 0.2 0.6 0.6")
        mouseClick(child("btnSave"))
        var fields = label("seg").split(" ")
        compare(fields.length, 9)
        compare(fields.slice(0, 7).join(" "), "3 0.2 0.2 0.6 0.2 0.6 0.6")
        keyClick(Qt.Key_Z, Qt.ControlModifier)
        mouseClick(child("btnSave"))
        compare(label("seg"), line + "\n")
    }

    // The polygon tool: clicks put points (outside the picture, on its edge), Backspace takes
    // the last back, Enter closes; the saved line is the polygon, and a vertex Ctrl+clicked on
    // an edge and then out again leaves it as it was. One undo step each.
    function test_polygonToolDrawsByClicks() {
        var line = "3 0.2 0.2 0.6 0.2 0.6 0.6 0.2 0.6"
        makeDataset([{ name: "seg", width: 200, height: 200, text: line + "\n" }])
        load()
        var tile = tileOf("seg")
        open(tile)
        var frame = frameOf(tile)
        var w = frame.width, h = frame.height
        pressKey(Qt.Key_P)
        for (var p of [[0.7, 0.1], [0.9, 0.1], [0.5, 0.5], [1.3, 0.5]])
            mouseClick(frame, p[0] * w, p[1] * h)
        pressKey(Qt.Key_Backspace)
        mouseClick(frame, 0.9, 0.4 * h) // the left edge: x 0
        pressKey(Qt.Key_Return)
        var list = EditSession.boxes
        compare(list.rowCount(), 2)
        compare(EditSession.selectedBox, 1)
        mouseClick(child("btnSave"))
        var fields = label("seg").split("\n")[1].split(" ")
        compare(fields.length, 9)
        compare(fields[0], String(EditSession.currentCatId))
        var expected = [0.7, 0.1, 0.9, 0.1, 0.5, 0.5, 0, 0.4]
        for (var i = 0; i < 8; ++i)
            fuzzyCompare(Number(fields[i + 1]), expected[i], 0.01)
        // Back to boxes; a vertex put on the edge from (0.7, 0.1) to (0.9, 0.1), then out.
        pressKey(Qt.Key_P)
        var box = boxOf(tile, 1)
        mouseClick(box, 0.8 * w - box.x, 0.1 * h - box.y, Qt.LeftButton, Qt.ControlModifier)
        compare(list.data(list.index(1, 0), 11).length, 10)
        mouseClick(frame, 0.8 * w + 1, 0.1 * h + 1, Qt.LeftButton, Qt.ControlModifier)
        compare(list.data(list.index(1, 0), 11).length, 8)
        keyClick(Qt.Key_Z, Qt.ControlModifier)
        keyClick(Qt.Key_Z, Qt.ControlModifier)
        keyClick(Qt.Key_Z, Qt.ControlModifier)
        compare(list.rowCount(), 1)
    }

    // A drag where no box is draws one of the current class, cut to the picture, selected, one
    // undo step; Esc during the drag draws nothing.
    function test_drawByDragging_data() {
        return [ { tag: "inside", x0: 0.1, y0: 0.2, x1: 0.4, y1: 0.6, escape: false },
                 { tag: "up and left, past the edge", x0: 0.3, y0: 0.5, x1: -0.2, y1: -0.3,
                   escape: false },
                 { tag: "Esc cancels", x0: 0.1, y0: 0.2, x1: 0.4, y1: 0.6, escape: true } ]
    }
    function test_drawByDragging(data) {
        load()
        var tile = tileOf("tall")
        open(tile)
        var frame = frameOf(tile)
        var w = frame.width, h = frame.height
        mousePress(frame, data.x0 * w, data.y0 * h)
        for (var i = 1; i <= 5; ++i)
            mouseMove(frame, (data.x0 + (data.x1 - data.x0) * i / 5) * w,
                      (data.y0 + (data.y1 - data.y0) * i / 5) * h)
        if (data.escape)
            keyClick(Qt.Key_Escape)
        mouseRelease(frame, data.x1 * w, data.y1 * h)
        var list = EditSession.boxes
        verify(EditSession.isOpen)
        if (data.escape) {
            compare(list.rowCount(), 0)
            return
        }
        compare(list.rowCount(), 1)
        compare(EditSession.selectedBox, 0)
        var clamp = function(v) { return Math.max(0, Math.min(1, v)) }
        var left = clamp(Math.min(data.x0, data.x1)), right = clamp(Math.max(data.x0, data.x1))
        var top = clamp(Math.min(data.y0, data.y1)), bottom = clamp(Math.max(data.y0, data.y1))
        var row = list.index(0, 0)
        fuzzyCompare(list.data(row, 1), (left + right) / 2, 2 / w)
        fuzzyCompare(list.data(row, 3), right - left, 2 / w)
        fuzzyCompare(list.data(row, 2), (top + bottom) / 2, 2 / h)
        fuzzyCompare(list.data(row, 4), bottom - top, 2 / h)
        keyClick(Qt.Key_Z, Qt.ControlModifier)
        compare(list.rowCount(), 0)
    }

    // The wheel zooms about the pointer: the image point under it stays there, and the boxes
    // stay on the picture. Ctrl+1 shows image pixels 1:1, Ctrl+0 fits, 800 % at the most.
    function test_zoom() {
        makeDataset([{ name: "big", width: 1600, height: 1200, text: "1 0.25 0.5 0.1 0.2\n" }])
        load()
        var tile = tileOf("big")
        open(tile)
        var picture = child("editorPicture")
        var frame = frameOf(tile)
        var fitWidth = frame.width
        var px = picture.width * 0.3, py = picture.height * 0.4
        var imagePoint = function() {
            var p = picture.mapToItem(frame, px, py)
            return Qt.point(p.x / frame.width, p.y / frame.height)
        }
        var before = imagePoint()
        mouseWheel(picture, px, py, 0, 360)
        tryVerify(function() { return frame.width > fitWidth * 1.5 })
        var after = imagePoint()
        fuzzyCompare(after.x, before.x, 1e-3)
        fuzzyCompare(after.y, before.y, 1e-3)
        var box = boxOf(tile, 0)
        fuzzyCompare(box.x, 0.2 * frame.width, 1e-6)
        fuzzyCompare(box.height, 0.2 * frame.height, 1e-6)
        keyClick(Qt.Key_1, Qt.ControlModifier)
        compare(frame.width, 1600)
        // Space held, the left button pans; the middle button always does.
        var view = child("pictureView")
        var x = view.contentX, y = view.contentY
        keyPress(Qt.Key_Space)
        mousePress(picture, 200, 200)
        mouseMove(picture, 150, 170)
        mouseRelease(picture, 150, 170)
        keyRelease(Qt.Key_Space)
        compare(view.contentX, x + 50)
        compare(view.contentY, y + 30)
        mousePress(picture, 150, 170, Qt.MiddleButton)
        mouseMove(picture, 200, 200, -1, Qt.MiddleButton)
        mouseRelease(picture, 200, 200, Qt.MiddleButton)
        compare(view.contentX, x)
        compare(view.contentY, y)
        compare(EditSession.boxes.rowCount(), 1) // panning drew nothing
        keyClick(Qt.Key_0, Qt.ControlModifier)
        compare(frame.width, fitWidth)
        for (var i = 0; i < 30; ++i)
            keyClick(Qt.Key_Plus, Qt.ControlModifier)
        fuzzyCompare(frame.width, 8 * 1600, 1e-6)
        // Zoomed in that far, the part in view is decoded on its own, no larger than the view,
        // and the whole picture is not decoded beyond its own size.
        var region = child("regionImage")
        tryCompare(region, "status", Image.Ready, 5000)
        verify(region.implicitWidth <= Math.ceil(view.width) + 1, region.implicitWidth)
        verify(region.implicitHeight <= Math.ceil(view.height) + 1, region.implicitHeight)
        verify(region.implicitWidth >= view.width / 8 - 1)
        verify(child("editorImage").sourceSize.width <= 1600)
    }

    // --- Decoding at the size shown ---

    function test_imagesDecodeAtTheSizeShown() {
        makeDataset([{ name: "photo", width: 1600, height: 1200,
                       text: "1 0.25 0.5 0.1 0.2\n" }])
        load()
        var tile = tileOf("photo")
        var thumb = findChild(tile, "tileImage")
        var sharp = child("editorImage")
        tryCompare(thumb, "status", Image.Ready)
        // Decoded to fit the tile, never larger than the photo, aspect ratio kept.
        var grid = child("gridImages")
        compare(thumb.sourceSize, grid.decodeSize)
        verify(thumb.implicitWidth <= grid.decodeSize.width)
        verify(thumb.implicitHeight <= grid.decodeSize.height)
        verify(thumb.implicitWidth === grid.decodeSize.width
               || thumb.implicitHeight === grid.decodeSize.height)
        fuzzyCompare(thumb.implicitWidth / thumb.implicitHeight, 4 / 3, 0.01)
        compare(sharp.status, Image.Null)

        var loads = 0
        sharp.statusChanged.connect(function() { if (sharp.status === Image.Loading) ++loads })
        open(tile)
        var frame = frameOf(tile)
        var box = boxOf(tile, 0)
        var height = frame.height
        fuzzyCompare(box.x, 0.2 * frame.width, 1e-6)
        tryCompare(sharp, "status", Image.Ready)
        // Decoded once, at the editor's size, and drawn exactly over the frame the boxes use,
        // whose aspect ratio is now the photo's own.
        compare(loads, 1)
        verify(sharp.implicitWidth > thumb.implicitWidth * 2)
        verify(Math.abs(sharp.implicitWidth - frame.width) <= 1)
        verify(Math.abs(sharp.implicitHeight - frame.height) <= 1)
        compare(sharp.width, frame.width)
        compare(sharp.height, frame.height)
        fuzzyCompare(frame.width / frame.height, 4 / 3, 0.004)
        fuzzyCompare(box.x, 0.2 * frame.width, 1e-6)
        fuzzyCompare(box.height, 0.2 * frame.height, 1e-6)

        // A smaller window: decoded again at the new size once the size has settled.
        window.height = window.height - 100
        tryVerify(function() { return frame.height < height - 50 })
        tryVerify(function() { return loads === 2 && sharp.status === Image.Ready })
        verify(Math.abs(sharp.implicitWidth - frame.width) <= 1)
        fuzzyCompare(box.x, 0.2 * frame.width, 1e-6)

        // Back in the grid the sharp image is let go.
        mouseClick(child("btnClose"))
        tryCompare(EditSession, "isOpen", false)
        compare(sharp.status, Image.Null)
        compare(thumb.status, Image.Ready)
    }

    // --- Never losing a label or an edit ---

    function message() {
        var line = child("lblMessage")
        return line.visible ? line.text : ""
    }
    function editBox(tile) {
        // Adds a box under the middle of the picture, as the category key does.
        var frame = frameOf(tile)
        mouseMove(frame.parent, frame.x + frame.width / 2, frame.y + frame.height / 2)
        pressKey(Qt.Key_1)
        tryVerify(function() { return tile.boxes.modified })
    }
    function closeEditor(tile) {
        mouseClick(child("btnClose"))
        tryCompare(EditSession, "isOpen", false)
        tryCompare(child("popupEditor"), "visible", false)
    }

    function test_openingKeepsFieldsAfterTheFifth() {
        var polygon = "45 0.782016 0.986521 0.937078 0.874167 0.957297 0.883912 0.992661 0.91"
                + "\n3 0.5 0.5 0.2 0.2 0.0107346"
        makeDataset([{ name: "poly", width: 100, height: 100, text: polygon }])
        load()
        open(tileOf("poly"))
        compare(label("poly"), polygon)
        compare(message(), "")
    }

    // Opening writes nothing; an edit changes its own line and no other byte.
    function test_openingDoesNotWriteFilesWithForeignLines() {
        var notes = "0 0.5 0.5 0.2 0.2\r\nreviewed by A.\r\n"
        makeDataset([{ name: "notes", width: 100, height: 100, text: notes }])
        load()
        var tile = tileOf("notes")
        open(tile)
        compare(label("notes"), notes)
        compare(message(), "")
        verify(!child("btnSave").enabled)
        EditSession.setCategory(0, 3)
        verify(child("btnSave").enabled)
        mouseClick(child("btnSave"))
        compare(label("notes"), "3 0.5 0.5 0.2 0.2\r\nreviewed by A.\r\n")
        compare(message(), "")
        verify(!child("btnSave").enabled)
    }

    // A file that cannot be written in a folder that can: every try says why, Save stays on.
    function test_failedWritesAreShown() {
        load()
        var tile = tileOf("wide")
        // The label file has become a link out of the dataset, which is never written through.
        verify(TestFiles.write(folder + "/outside.txt", "1 0.50 0.5 0.2 0.4\n"))
        verify(TestFiles.remove(labels + "/wide.txt"))
        verify(TestFiles.link(folder + "/outside.txt", labels + "/wide.txt"))
        open(tile)
        compare(message(), "")
        editBox(tile)
        mouseClick(child("btnSave"))
        verify(message().indexOf("Could not write " + labels + "/wide.txt: link points outside")
               === 0, message())
        verify(child("btnSave").enabled)
        verify(child("btnReset").enabled)
        // The boxes are still there, and a Save that fails again says so again.
        compare(EditSession.boxes.rowCount(), 2)
        mouseClick(child("btnSave"))
        verify(message().indexOf("Could not write") === 0, message())
        verify(child("btnSave").enabled)
        // Once the link is gone, Save writes and the message goes.
        verify(TestFiles.remove(labels + "/wide.txt"))
        mouseClick(child("btnSave"))
        compare(message(), "")
        compare(label("wide").indexOf("1 "), 0)
        compare(TestFiles.read(folder + "/outside.txt"), "1 0.50 0.5 0.2 0.4\n")
        verify(!child("btnSave").enabled)
    }

    // A labels folder that cannot be written is said once; opening then writes nothing and
    // enables nothing, while an edit still enables Save and Save still says what went wrong.
    function test_labelsFolderThatCannotBeWritten() {
        load()
        var tile = tileOf("wide")
        verify(TestFiles.removeFolder(labels))
        verify(TestFiles.write(labels, "not a folder"))
        open(tile)
        compare(message(), "")
        verify(!child("btnSave").enabled)
        verify(!child("btnReset").enabled)
        closeEditor(tile)
        var other = tileOf("other")
        open(other)
        compare(message(), "")
        verify(!child("btnSave").enabled)
        editBox(other)
        verify(child("btnSave").enabled)
        mouseClick(child("btnSave"))
        verify(message().indexOf("Could not write " + labels + "/other.txt") === 0, message())
        // The folder back: Save writes.
        verify(TestFiles.remove(labels))
        verify(TestFiles.mkpath(labels))
        mouseClick(child("btnSave"))
        compare(message(), "")
        compare(label("other").split("\n").length, 2)
    }

    function test_fileChangedOnDisk_data() {
        return [ { tag: "no edits: read again", edited: false },
                 { tag: "edits win", edited: true } ]
    }
    function test_fileChangedOnDisk(data) {
        load()
        var tile = tileOf("tall")
        if (data.edited) {
            open(tile)
            editBox(tile)
            closeEditor(tile)
        }
        verify(TestFiles.write(labels + "/tall.txt", "1 0.25 0.25 0.100000 0.1\n"))
        open(tile)
        if (data.edited) {
            compare(tile.boxes.rowCount(), 1)
            verify(label("tall").indexOf("0.25 0.25") < 0, label("tall"))
            verify(message().indexOf("changed on disk") >= 0, message())
        } else {
            compare(label("tall"), "1 0.25 0.25 0.100000 0.1\n")
            tryVerify(function() { return boxOf(tile, 0) !== null })
            fuzzyCompare(boxOf(tile, 0).iCx, 0.25, 1e-12)
            compare(message(), "")
        }
    }

    function test_unsavedTilesAreMarked() {
        load()
        var tile = tileOf("tall")
        compare(frameColor(tile), "#808080")
        open(tile)
        editBox(tile)
        closeEditor(tile)
        compare(frameColor(tile), "#ff8c00")
        compare(ImageList.unsavedCount(), 1)
        // The mark is the model's: a tile made again for the row shows it too.
        var grid = child("gridImages")
        var spin = child("spinColumns")
        spin.value = 1
        grid.positionViewAtEnd()
        grid.positionViewAtBeginning()
        spin.value = 4
        tryVerify(function() { return tileOf("tall") !== null })
        compare(frameColor(tileOf("tall")), "#ff8c00")
        compare(frameColor(tileOf("wide")), "#808080")
        // Saving repaints the tile at once: what it shows, not only its property, is grey again.
        var face = findChild(tileOf("tall"), "tileFace")
        var shot = TestFiles.newFolder() + "/tile.png"
        var edge = function() {
            var grabbed = false
            verify(face.grabToImage(function(result) { grabbed = result.saveToFile(shot) }))
            tryVerify(function() { return grabbed })
            return TestFiles.pixelColor(shot, 2, Math.floor(face.height / 2))
        }
        compare(edge(), "#ff8c00")
        open(tileOf("tall")) // opening writes the edits kept from the earlier visit
        closeEditor(tileOf("tall"))
        compare(ImageList.unsavedCount(), 0)
        compare(edge(), "#808080")
    }

    // Closing the window with unsaved edits asks; Cancel stays, Discard closes without
    // writing, Save All writes and closes.
    function test_closingWithUnsavedEdits_data() {
        return [ { tag: "Cancel", button: Dialog.Cancel, closes: false, written: false },
                 { tag: "Discard", button: Dialog.Discard, closes: true, written: false },
                 { tag: "Save All", button: Dialog.SaveAll, closes: true, written: true } ]
    }
    function test_closingWithUnsavedEdits(data) {
        load()
        var tile = tileOf("tall")
        open(tile)
        editBox(tile)
        closeEditor(tile)
        var dialog = child("dlgUnsaved")
        window.close()
        tryCompare(dialog, "opened", true)
        verify(window.visible)
        compare(child("lblUnsaved").text, "1 image has unsaved changes.")
        mouseClick(dialog.standardButton(data.button))
        tryCompare(dialog, "visible", false)
        tryCompare(window, "visible", !data.closes)
        compare(label("tall") !== "", data.written)
    }

    function test_saveAllThatFailsStays() {
        load()
        var tile = tileOf("tall")
        open(tile)
        editBox(tile)
        closeEditor(tile)
        // The label file has become a link out of the dataset: it is never written through.
        verify(TestFiles.write(folder + "/outside.txt", "keep"))
        verify(TestFiles.remove(labels + "/tall.txt"))
        verify(TestFiles.link(folder + "/outside.txt", labels + "/tall.txt"))
        var dialog = child("dlgUnsaved")
        window.close()
        tryCompare(dialog, "opened", true)
        mouseClick(dialog.standardButton(Dialog.SaveAll))
        tryVerify(function() { return child("lblUnsaved").text.indexOf("tall.txt") >= 0 })
        verify(child("lblUnsaved").text.indexOf("link points outside the labels folder") >= 0)
        tryCompare(dialog, "opened", true)
        verify(window.visible)
        compare(TestFiles.read(folder + "/outside.txt"), "keep")
        mouseClick(dialog.standardButton(Dialog.Cancel))
        tryCompare(dialog, "visible", false)
        verify(window.visible)
    }

    function test_loadWithUnsavedEdits() {
        load()
        var tile = tileOf("tall")
        open(tile)
        editBox(tile)
        closeEditor(tile)
        var dialog = child("dlgUnsaved")
        mouseClick(child("btnLoad"))
        tryCompare(dialog, "opened", true)
        mouseClick(dialog.standardButton(Dialog.Cancel))
        tryCompare(dialog, "visible", false)
        compare(ImageList.unsavedCount(), 1)
        mouseClick(child("btnLoad"))
        tryCompare(dialog, "opened", true)
        mouseClick(dialog.standardButton(Dialog.Discard))
        tryCompare(dialog, "visible", false)
        waitUntilLoaded()
        compare(ImageList.unsavedCount(), 0)
        compare(label("tall"), "")
        compare(ImageList.data(ImageList.index(rowOf("tall"), 0), 4).rowCount(), 0)
        // With nothing unsaved, Load loads at once.
        mouseClick(child("btnLoad"))
        verify(!dialog.visible)
    }

    // View → Split offers the dataset file's splits and opens the one chosen, asking first
    // about unsaved edits as Load does; the title says which split is shown.
    function test_splitMenu() {
        verify(TestFiles.mkpath(folder + "/more/images"))
        verify(TestFiles.mkpath(folder + "/more/labels"))
        verify(TestFiles.writeImage(folder + "/more/images/more.jpg", 60, 40))
        verify(TestFiles.write(folder + "/more/labels/more.txt", "0 0.5 0.5 0.2 0.2\n"))
        verify(TestFiles.write(folder + "/test.txt", "./images/wide.jpg\n./more/images/more.jpg\n"))
        verify(TestFiles.write(folder + "/data.yaml",
                               "train: images\nval: [images, more/images]\ntest: test.txt\n"))
        var menu = child("mnuSplit")
        verify(!menu.enabled)
        Dataset.setDatasetFile(folder + "/data.yaml")
        verify(menu.enabled)
        compare(menu.count, 3)
        var item = {}
        for (var i = 0; i < menu.count; ++i)
            item[menu.itemAt(i).text] = menu.itemAt(i)
        compare(Object.keys(item), ["train", "val", "test"])
        // What a click does: the item checks itself, then triggers.
        function choose(menuItem) {
            menuItem.toggle()
            menuItem.triggered()
        }
        var title = "Boxwright — " + folder.substring(folder.lastIndexOf("/") + 1) + " · "
        compare(window.title, "Boxwright")

        choose(item.train)
        waitUntilLoaded()
        compare(window.title, title + "train")
        compare(child("txtImgsFolder").text, images)
        compare(child("gridImages").count, 3)
        var tile = tileOf("tall")
        open(tile)
        editBox(tile)
        closeEditor(tile)
        var dialog = child("dlgUnsaved")
        choose(item.val)
        tryCompare(dialog, "opened", true)
        mouseClick(dialog.standardButton(Dialog.Cancel))
        tryCompare(dialog, "visible", false)
        compare(window.title, title + "train")
        verify(item.train.checked && !item.val.checked)
        choose(item.val)
        tryCompare(dialog, "opened", true)
        mouseClick(dialog.standardButton(Dialog.Discard))
        waitUntilLoaded()
        compare(window.title, title + "val")
        verify(!item.train.checked && item.val.checked)
        compare(child("gridImages").count, 4)
        compare(child("txtImgsFolder").text, "")

        choose(item.test)
        waitUntilLoaded()
        compare(window.title, title + "test")
        compare(child("gridImages").count, 2)
        compare(tileAt(1).caption, "more")
        compare(tileAt(1).boxes.rowCount(), 1)
    }

    // The filter bar narrows the grid and says how far; PageDown in the editor follows the
    // images shown; an image without labels gets a marked tile that opening leaves without a
    // file; the menu's export leaves its result above the grid.
    function test_filtersUnlabelledAndExport() {
        verify(TestFiles.writeImage(images + "/extra.jpg", 40, 30))
        load()
        child("gridImages").currentIndex = rowOf("tall")
        mouseClick(child("chkNoBoxes"))
        compare(child("lblShown").text, "1 of 3 images")
        compare(tileAt(0).caption, "tall")
        ImageFilter.clear()
        compare(child("gridImages").currentIndex, rowOf("tall")) // still the current image
        ImageFilter.classes = [1, 7]
        compare(child("gridImages").count, 2)
        open(tileAt(0))
        var first = EditSession.caption
        pressKey(Qt.Key_PageDown)
        tryVerify(function() { return EditSession.caption !== first })
        verify(EditSession.caption !== "tall")
        compare(child("lblPosition").text.indexOf("2 / 2 · "), 0)
        mouseClick(child("btnClose"))
        tryCompare(child("popupEditor"), "visible", false)
        ImageFilter.clear()

        mouseClick(child("chkShowUnlabelled"))
        compare(child("gridImages").count, 4)
        var tile = tileOf("extra")
        verify(!findChild(tile, "tileFace").hasLabelFile)
        open(tile)
        verify(!TestFiles.exists(labels + "/extra.txt"))
        mouseClick(child("btnClose"))
        tryCompare(child("popupEditor"), "visible", false)

        verify(TestFiles.mkpath(folder + "/out"))
        findChild(window, "dialogs").exportChosen(folder + "/out")
        tryCompare(child("busyOverlay"), "running", false)
        compare(child("lblResult").text, "Wrote 4 label files to " + folder + "/out")
        compare(TestFiles.read(folder + "/out/extra.txt"), "")
    }
}
