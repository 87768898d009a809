import QtQuick 2.15
import QtQuick.Controls 2.15
import Pallaster 1.0

// One grid cell: the image's thumbnail with its boxes drawn over it, its row number and name.
// The boxes are the image's own box list, so edits made in the editor show here at once.
Item {
    id: tile

    // The tile's place in the grid; the image's file, name and box list (the roles of its
    // ImageList row) and whether it has a label file.
    property int row: -1
    property bool hasLabelFile: true
    property string imagePath
    property string caption
    property QtObject boxes
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
    property Menu contextMenu: null

    signal clicked()

    // The path and size of the picture last ready. When only the size changes (the columns
    // did), that picture stays, scaled, until the one at the new size is ready: imgPrevious
    // takes it from the pixmap cache the moment imgPicture lets go of it.
    property string readyPath
    property size readySize

    objectName: "tile" + row

    Rectangle {
        id: rcFrame
        objectName: "tileFrame"
        anchors.fill: parent
        anchors.margins: 2
        color: "white"
        // An orange frame marks an image whose edits are not in its label file yet.
        border.width: tile.boxes && tile.boxes.modified ? 3 : 1
        border.color: tile.boxes && tile.boxes.modified ? "darkorange" : "gray"

        Item {
            id: itemContent
            anchors.fill: parent
            anchors.margins: 1

            // Neutral until the thumbnail is ready.
            Rectangle {
                objectName: "tileBlank"
                anchors.fill: parent
                visible: imgPicture.status === Image.Loading && imgPrevious.status !== Image.Ready
                color: "#e4e4e4"
            }
            // Decoded off the GUI thread to fit the tile (JPEG scales while it decodes) and never
            // enlarged: the item scales it to the frame.
            Image {
                id: imgPicture
                objectName: "tileImage"
                anchors.fill: rcImageFrame
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
                anchors.fill: rcImageFrame
                visible: imgPicture.status !== Image.Ready && status === Image.Ready
                fillMode: Image.Stretch
                asynchronous: true
            }
            Label {
                anchors.top: parent.top
                anchors.left: parent.left
                text: tile.row
            }
            // Made only for the tiles that show it: most tiles have a label file.
            Loader {
                anchors.top: parent.top
                anchors.right: parent.right
                active: !tile.hasLabelFile
                sourceComponent: Label {
                    objectName: "lblNoLabels"
                    text: qsTr("no labels")
                    color: "white"
                    padding: 2
                    background: Rectangle {
                        color: "#a0505050"
                    }
                }
            }
            Component {
                id: menuComponent

                Menu {
                    objectName: "tileMenu"
                    MenuItem {
                        text: qsTr("Delete")
                        enabled: tile.hasLabelFile
                        onTriggered: ImageList.removeRow(ImageFilter.sourceRow(tile.row))
                    }
                }
            }
            MouseArea {
                objectName: "mouseFull"
                anchors.fill: parent
                acceptedButtons: Qt.LeftButton | Qt.RightButton
                onClicked: {
                    if (mouse.button === Qt.LeftButton) {
                        tile.clicked()
                        return
                    }
                    // Made on the first right click, not with every tile.
                    if (!tile.contextMenu)
                        tile.contextMenu = menuComponent.createObject(itemContent)
                    tile.contextMenu.x = mouse.x
                    tile.contextMenu.y = mouse.y
                    tile.contextMenu.open()
                }
            }
            ImageFrame {
                id: rcImageFrame
                aspect: tile.aspect
                caption: tile.caption
                problem: tile.failed ? Utils.imageProblem(tile.imagePath) : ""

                // The boxes, polygons and keypoints, drawn by one light item; they react to
                // nothing in the grid.
                BoxOverlay {
                    objectName: "tileBoxes"
                    anchors.fill: parent
                    boxes: tile.boxes
                    categories: Categories
                    showNames: tile.showNames
                }
            }
        }
    }
}
