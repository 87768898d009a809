import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Pallaster 1.0

// One bar per class of the dataset, the most boxes first: its boxes (the bar) and images. A
// click shows only the images of that class; a second click shows all again.
Pane {
    id: panel

    padding: 6

    ColumnLayout {
        anchors.fill: parent

        Label {
            text: qsTr("Classes")
            font.bold: true
        }
        // Which file named the classes: the dataset file given, or the one found near the labels.
        Label {
            objectName: "lblClassFile"
            Layout.fillWidth: true
            visible: ImageList.classFile.length > 0
            text: qsTr("Names from %1").arg(ImageList.classFile)
            elide: Text.ElideMiddle
            color: "dimgray"
            font.pointSize: 8
        }
        ListView {
            id: lstBars
            objectName: "lstClassBars"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            spacing: 2
            model: ClassCounts
            ScrollBar.vertical: ScrollBar {}
            delegate: ItemDelegate {
                id: bar
                objectName: "classBar" + model.catId
                width: lstBars.width
                height: 34
                padding: 2
                highlighted: ImageFilter.classes.length === 1 && ImageFilter.classes[0] === model.catId
                onClicked: ImageFilter.classes = highlighted ? [] : [model.catId]

                contentItem: Item {
                    Rectangle {
                        anchors.left: parent.left
                        anchors.bottom: parent.bottom
                        height: 6
                        width: ClassCounts.maxBoxes > 0
                               ? Math.max(2, parent.width * model.boxes / ClassCounts.maxBoxes) : 0
                        color: model.color
                    }
                    Label {
                        anchors.left: parent.left
                        anchors.right: lblCount.left
                        anchors.top: parent.top
                        elide: Text.ElideRight
                        text: model.name
                    }
                    Label {
                        id: lblCount
                        anchors.right: parent.right
                        anchors.top: parent.top
                        color: bar.highlighted ? bar.palette.highlightedText : "dimgray"
                        text: (model.boxes === 1 ? qsTr("1 box") : qsTr("%1 boxes").arg(model.boxes)) + " · "
                              + (model.images === 1 ? qsTr("1 image") : qsTr("%1 images").arg(model.images))
                    }
                }
            }
        }
    }
}
