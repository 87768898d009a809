import QtQuick 2.15
import QtTest 1.15
import Pallaster 1.0
import PallasterTest 1.0

// The grid's pictures in the real main window: a change of columns shows no grey tile.
TestCase {
    id: testCase
    name: "TilePictures"
    when: windowShown

    property var window: null

    function child(name) {
        var found = findChild(window.contentItem, name)
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

    function test_columnsChangeKeepsPictures_data() {
        return [{ tag: "4 to 3 columns", columns: 3 }, { tag: "4 to 8 columns", columns: 8 }]
    }
    function test_columnsChangeKeepsPictures(data) {
        var folder = TestFiles.newFolder()
        verify(TestFiles.mkpath(folder + "/images"))
        verify(TestFiles.mkpath(folder + "/labels"))
        for (var i = 0; i < 6; ++i) {
            verify(TestFiles.writeImage(folder + "/images/p" + i + ".jpg", 640, 480))
            verify(TestFiles.write(folder + "/labels/p" + i + ".txt", "0 0.5 0.5 0.2 0.2\n"))
        }
        ImageList.loadYolo(folder + "/labels", folder + "/images")
        var grid = child("gridImages")
        tryCompare(grid, "count", 6)
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
            var blank = findChild(tile, "tileBlank")
            blank.visibleChanged.connect(function() { if (blank.visible) ++greyed })
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
}
