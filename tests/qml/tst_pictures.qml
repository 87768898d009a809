import QtQuick 2.15
import QtTest 1.15
import Pallaster 1.0
import PallasterTest 1.0

// The pictures of the real main window: a change of columns shows no grey tile, and the image
// PageDown or PageUp opens was decoded before the key.
TestCase {
    id: testCase
    name: "Pictures"
    when: windowShown

    property var window: null

    function child(name) {
        var found = findChild(window.contentItem, name)
        if (!found)
            found = findChild(window, name)
        verify(found, name)
        return found
    }

    function init() {
        var component = Qt.createComponent("qrc:/main.qml")
        compare(component.status, Component.Ready, component.errorString())
        window = component.createObject(null)
        verify(window)
    }
    function cleanup() {
        window.destroy()
        window = null
        wait(0)
    }

    // Writes `count` photos, each with one box, and loads them; returns their folder.
    function loadPhotos(count) {
        var folder = TestFiles.newFolder()
        verify(TestFiles.mkpath(folder + "/images"))
        verify(TestFiles.mkpath(folder + "/labels"))
        for (var i = 0; i < count; ++i) {
            verify(TestFiles.writeImage(folder + "/images/p" + i + ".jpg", 640, 480))
            verify(TestFiles.write(folder + "/labels/p" + i + ".txt", "0 0.5 0.5 0.2 0.2\n"))
        }
        ImageList.loadYolo(folder + "/labels", folder + "/images")
        tryCompare(child("gridImages"), "count", count)
        return folder
    }

    function test_columnsChangeKeepsPictures_data() {
        return [{ tag: "4 to 3 columns", columns: 3 }, { tag: "4 to 8 columns", columns: 8 }]
    }
    function test_columnsChangeKeepsPictures(data) {
        loadPhotos(6)
        var grid = child("gridImages")
        var tiles = []
        for (var r = 0; r < 6; ++r) {
            var tile = grid.itemAtIndex(r)
            verify(tile, "tile " + r)
            tiles.push(tile)
            tryCompare(findChild(tile, "tileImage"), "status", Image.Ready)
        }
        // Any tile turning grey between now and the pictures at the new size is counted, at
        // the moment it turns.
        var greyed = 0
        var before = grid.decodeSize.width
        tiles.forEach(function(tile) {
            var face = findChild(tile, "tileFace")
            face.blankChanged.connect(function() { if (face.blank) ++greyed })
        })
        child("spinColumns").value = data.columns
        tryVerify(function() { return grid.decodeSize.width !== before })
        tiles.forEach(function(tile) {
            var picture = findChild(tile, "tileImage")
            tryCompare(picture, "status", Image.Ready)
            compare(picture.sourceSize, grid.decodeSize)
            verify(tile.aspect > 1.3 && tile.aspect < 1.4, tile.aspect)
        })
        compare(greyed, 0)
    }

    // The file of the image a key opens is removed once the editor has decoded it ahead: the
    // editor still shows it sharp, so what it shows is what was decoded before the key.
    function test_neighboursDecodedAhead_data() {
        return [{ tag: "PageDown", key: Qt.Key_PageDown, from: 2, to: 3 },
                { tag: "PageUp", key: Qt.Key_PageUp, from: 2, to: 1 },
                { tag: "back to the one before", key: Qt.Key_PageUp, from: 2, after: 1, to: 2 }]
    }
    function test_neighboursDecodedAhead(data) {
        var folder = loadPhotos(5)
        EditSession.open(data.from)
        tryCompare(child("popupEditor"), "opened", true)
        var sharp = child("editorImage")
        tryCompare(sharp, "status", Image.Ready)
        if (data.after !== undefined) {
            EditSession.openNeighbour(data.after)
            tryCompare(sharp, "status", Image.Ready)
        }
        var lookahead = child("lookahead")
        tryVerify(function() { return lookahead.readyCount() === 3 })
        verify(TestFiles.remove(folder + "/images/p" + data.to + ".jpg"))
        window.requestActivate()
        tryCompare(window, "active", true)
        keyClick(data.key)
        tryCompare(EditSession, "row", data.to)
        tryCompare(sharp, "status", Image.Ready)
        compare(sharp.sourceSize.width, Math.floor(child("editorPicture").viewWidth))
        EditSession.close()
    }
}
