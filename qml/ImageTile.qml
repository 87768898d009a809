import QtQuick 2.15
import QtQuick.Controls 2.15
import Pallaster 1.0

// One grid cell: the image's thumbnail with its boxes drawn over it, its tile number and name.
// The boxes are the image's own box list, so edits made in the editor show here at once. The
// grid makes a tile each time one scrolls into view: everything but the pictures is drawn by
// one TileFace.
MouseArea {
    id: tile

    // The tile's place in the grid; the image's file, name and box list (the roles of its
    // ImageList row) and whether it has a label file.
    property int row: -1
    // The image's ImageList row, its review state (ReviewStates.Shown) and what it needs.
    property int imageRow: -1
    property int reviewState: 0
    property string note
    property bool hasLabelFile: true
    property string imagePath
    property string caption
    property QtObject boxes
    // The kinds of problem the image has, one bit each; 0 for none.
    property int problems: 0
    // The size the thumbnail is decoded to fit.
    property size decodeSize
    // Whether the boxes carry their class names.
    property bool showNames: false
    readonly property bool failed: imgPicture.status === Image.Error
    // The picture shown: the one at decodeSize, or the one before it while that is decoded.
    readonly property Image shown: imgPicture.status === Image.Ready ? imgPicture : imgPrevious
    // The image's width over its height, 0 until the thumbnail is decoded; an image that cannot
    // be read gets a square frame, so its boxes still show.
    readonly property real aspect: shown.status === Image.Ready && shown.implicitHeight > 0
                                   ? shown.implicitWidth / shown.implicitHeight
                                   : (failed ? 1 : 0)

    // A left click; a right click asks for the tile's menu at (x, y).
    signal activated()
    signal menuRequested(real x, real y)

    // The path and size of the picture last ready. When only the size changes (the columns
    // did), that picture stays, scaled, until the one at the new size is ready: imgPrevious
    // takes it from the pixmap cache the moment imgPicture lets go of it.
    property string readyPath
    property size readySize

    acceptedButtons: Qt.LeftButton | Qt.RightButton
    hoverEnabled: note.length > 0
    ToolTip.visible: containsMouse && note.length > 0
    ToolTip.text: note
    ToolTip.delay: 300
    onClicked: {
        if (mouse.button === Qt.LeftButton)
            activated()
        else
            menuRequested(mouse.x, mouse.y)
    }

    // Decoded off the GUI thread to fit the tile (JPEG scales while it decodes) and never
    // enlarged: the face places it and the item scales it to its frame.
    Image {
        id: imgPicture
        objectName: "tileImage"
        fillMode: Image.Stretch
        asynchronous: true
        sourceSize: tile.decodeSize
        source: "image://decoded/" + encodeURIComponent(tile.imagePath)
        onStatusChanged: {
            if (status === Image.Loading && tile.readyPath === tile.imagePath) {
                imgPrevious.sourceSize = tile.readySize
                imgPrevious.source = "image://decoded/" + encodeURIComponent(tile.readyPath)
                return
            }
            imgPrevious.source = ""
            tile.readyPath = status === Image.Ready ? tile.imagePath : ""
            tile.readySize = sourceSize
        }
    }
    Image {
        id: imgPrevious
        visible: imgPicture.status !== Image.Ready && status === Image.Ready
        fillMode: Image.Stretch
        asynchronous: true
    }
    TileFace {
        objectName: "tileFace"
        anchors.fill: parent
        picture: imgPicture
        previous: imgPrevious
        aspect: tile.aspect
        blank: imgPicture.status === Image.Loading && imgPrevious.status !== Image.Ready
        problem: tile.failed ? Utils.imageProblem(tile.imagePath) : ""
        number: tile.row
        caption: tile.caption
        hasLabelFile: tile.hasLabelFile
        flagged: tile.problems !== 0
        reviewState: tile.reviewState
        boxes: tile.boxes
        categories: Categories
        showNames: tile.showNames
        predictions: Predictions
        imageRow: tile.imageRow
        fillShapes: EditSession.fillShapes
    }
}
