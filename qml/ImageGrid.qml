import QtQuick 2.15
import QtQuick.Controls 2.15
import Pallaster 1.0

// The scrolling grid of square tiles, one per image the filter shows, in its order. The current
// tile (arrow keys, Home, End, a click) is framed; Enter or a click asks for it to be opened.
GridView {
    id: grid

    property int columns: 4
    // While true (the editor is open) the grid's keys do nothing.
    property bool keysBlocked: false
    // N: every tile's boxes carry their class names.
    property bool showNames: false

    // `row` is the image's ImageList row.
    signal openRequested(int row)
    // Ctrl+Z: the label file deleted last is to be put back.
    signal restoreRequested()
    // Shift+V: the image of `row` needs work; its note is to be asked for.
    signal noteRequested(int row)

    // A number names a tile, anything else an image by name (ImageFilter.find); false when
    // nothing matches.
    function goTo(text) {
        var row = ImageFilter.find(text)
        if (row < 0)
            return false
        currentIndex = row
        positionViewAtIndex(row, GridView.Beginning)
        return true
    }
    // Makes `row` current and shows it.
    function showRow(row) {
        if (row < 0 || row >= count)
            return
        currentIndex = row
        positionViewAtIndex(row, GridView.Contain)
    }

    // The size tiles decode their images to fit: a tile's inner area (the cell less 2 + 1
    // pixels of margin on each side), in the window's pixels (the decoder multiplies by the
    // screen's pixel ratio). It follows the cell size at once while the grid is empty and after
    // a short pause otherwise, so that resizing the window does not decode every visible image
    // at each step.
    property size decodeSize: Qt.size(0, 0)

    function updateDecodeSize() {
        var side = Math.max(1, Math.round(cellWidth - 6))
        decodeSize = Qt.size(side, side)
    }

    clip: true
    model: ImageFilter
    reuseItems: true
    keyNavigationEnabled: !keysBlocked
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
        if (keysBlocked)
            return
        if (event.key === Qt.Key_Home || event.key === Qt.Key_End) {
            showRow(event.key === Qt.Key_Home ? 0 : count - 1)
            event.accepted = true
        } else if (event.key === Qt.Key_N && event.modifiers === Qt.NoModifier) {
            showNames = !showNames
            event.accepted = true
        } else if (event.key === Qt.Key_V && currentIndex >= 0
                   && (event.modifiers === Qt.NoModifier || event.modifiers === Qt.ShiftModifier)) {
            // V: reviewed, and on to the next tile not reviewed; Shift+V: needs work.
            var row = ImageFilter.sourceRow(currentIndex)
            if (event.modifiers === Qt.ShiftModifier) {
                noteRequested(row)
            } else {
                var next = Review.nextToReview(row)
                Review.mark(row, 1)
                showRow(ImageFilter.shownRow(next))
            }
            event.accepted = true
        } else if (event.key === Qt.Key_U && event.modifiers === Qt.NoModifier) {
            showRow(ImageFilter.shownRow(Review.nextToReview(ImageFilter.sourceRow(currentIndex))))
            event.accepted = true
        } else if (event.key === Qt.Key_F && event.modifiers === Qt.NoModifier) {
            EditSession.fillShapes = !EditSession.fillShapes
            event.accepted = true
        } else if (event.key === Qt.Key_H && event.modifiers === Qt.NoModifier) {
            Predictions.shown = !Predictions.shown
            event.accepted = true
        } else if (event.key === Qt.Key_Z && event.modifiers === Qt.ControlModifier) {
            restoreRequested()
            event.accepted = true
        } else if (event.key === Qt.Key_Return || event.key === Qt.Key_Enter) {
            if (currentIndex >= 0)
                openRequested(ImageFilter.sourceRow(currentIndex))
            event.accepted = true
        }
    }
    // Tiles only for cells in view: tiles kept beyond it would decode photos no one sees yet,
    // ahead of the ones in view.
    cacheBuffer: 0
    // Set here rather than bound, so that a change of columns can lay the grid out anew at once.
    cellWidth: 0
    cellHeight: cellWidth
    onWidthChanged: cellWidth = width / Math.max(1, columns)

    // Through a change of columns the grid stays where it was: the first tile of the row at the
    // top stays at the top, and the current tile stays in view when it was.
    property int laidOutColumns: 0
    onColumnsChanged: {
        var before = laidOutColumns
        laidOutColumns = columns
        var cell = cellWidth
        if (before <= 0 || count === 0 || !(cell > 0)) {
            cellWidth = width / Math.max(1, columns)
            return
        }
        var first = Math.min(Math.round((contentY - originY) / cell) * before, count - 1)
        var currentRow = Math.floor(currentIndex / before)
        var currentShown = currentIndex >= 0 && currentRow * cell + originY >= contentY - 1
                && (currentRow + 1) * cell + originY <= contentY + height + 1
        // The tiles in view keep their places through a change of size until the view settles,
        // the first of them where it was: laid out anew from the top, every tile is where its
        // index says, and a tile further down is placed by its index.
        positionViewAtBeginning()
        cellWidth = width / Math.max(1, columns)
        forceLayout()
        positionViewAtIndex(first, GridView.Beginning)
        if (currentShown)
            positionViewAtIndex(currentIndex, GridView.Contain)
    }
    onCellWidthChanged: count === 0 ? updateDecodeSize() : decodeTimer.restart()
    Component.onCompleted: {
        laidOutColumns = columns
        cellWidth = width / Math.max(1, columns)
        updateDecodeSize()
    }

    // The current image stays current through a change of filters while it is shown.
    property int keptSourceRow: -1
    Connections {
        target: ImageFilter
        function onFilterAboutToChange() {
            grid.keptSourceRow = ImageFilter.sourceRow(grid.currentIndex)
        }
        function onFilterChanged() {
            var row = ImageFilter.shownRow(grid.keptSourceRow)
            grid.currentIndex = row >= 0 ? row : (grid.count > 0 ? 0 : -1)
            if (row >= 0)
                grid.positionViewAtIndex(row, GridView.Contain)
        }
    }

    Timer {
        id: decodeTimer
        interval: 150
        onTriggered: grid.updateDecodeSize()
    }
    ScrollBar.vertical: ScrollBar {}

    // Plain bindings to the roles rather than required properties: Qt 5.15 warns that a reused
    // delegate's required properties broke their bindings whenever the model is reset.
    delegate: ImageTile {
        id: tile
        row: index
        hasLabelFile: model.imgHasLabelFile
        imagePath: model.imgFilePath
        caption: model.imgBaseFileName
        boxes: model.imgBBoxes
        imageRow: model.imgRow
        reviewState: Review.revision >= 0 ? Review.stateOf(imageRow) : 0
        note: reviewState === 2 ? Review.noteOf(imageRow) : ""
        problems: Health.revision >= 0 ? Health.maskOf(imageRow) : 0
        width: grid.cellWidth
        height: grid.cellHeight
        decodeSize: grid.decodeSize
        showNames: grid.showNames
        onActivated: {
            grid.currentIndex = row
            grid.forceActiveFocus()
            grid.openRequested(ImageFilter.sourceRow(row))
        }
        onMenuRequested: {
            grid.forceActiveFocus() // Ctrl+Z puts back what the menu deletes
            tileMenu.row = row
            tileMenu.hasLabelFile = hasLabelFile
            tileMenu.popup(tile, x, y)
        }
    }

    // The current tile follows the image open in the editor. Back to a dataset reviewed
    // before, the first image not reviewed is current, unless the reviewer has moved already.
    Connections {
        target: EditSession
        function onOpenChanged() {
            var shown = ImageFilter.shownRow(EditSession.row)
            if (EditSession.isOpen && shown >= 0)
                grid.currentIndex = shown
        }
    }
    Connections {
        target: Review
        function onMarksRead() {
            if (grid.currentIndex <= 0 && !EditSession.isOpen)
                grid.showRow(Math.max(0, ImageFilter.shownRow(Review.nextToReview(-1))))
        }
    }

    // One menu for every tile, opened by a right click on one.
    Menu {
        id: tileMenu
        objectName: "tileMenu"
        // The tile it was opened on: its row in the grid.
        property int row: -1
        property bool hasLabelFile: true

        MenuItem {
            text: qsTr("Delete")
            enabled: tileMenu.hasLabelFile
            onTriggered: ImageList.removeRow(ImageFilter.sourceRow(tileMenu.row))
        }
    }
}
