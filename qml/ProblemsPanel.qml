import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Pallaster 1.0

// One row per kind of problem the dataset has, with its images and boxes. A click shows only
// the images with that problem (PageDown in the editor then steps through them); Fix… cuts boxes
// to their image or deletes exact duplicates, after saying how many it changes.
Pane {
    id: panel

    padding: 6

    ColumnLayout {
        anchors.fill: parent

        Label {
            text: qsTr("Problems")
            font.bold: true
        }
        Label {
            objectName: "lblProblemsSummary"
            Layout.fillWidth: true
            text: Health.summary
            color: "dimgray"
            wrapMode: Text.Wrap
        }
        ListView {
            id: lstProblems
            objectName: "lstProblems"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            spacing: 2
            model: Health
            ScrollBar.vertical: ScrollBar {}
            delegate: ItemDelegate {
                id: row
                objectName: "problem_" + model.name
                width: lstProblems.width
                // Kinds the dataset does not have take no room.
                visible: model.images > 0
                height: visible ? 52 : 0
                padding: 2
                highlighted: ImageFilter.problemKind === model.kind
                onClicked: ImageFilter.problemKind = highlighted ? -1 : model.kind

                contentItem: Item {
                    Label {
                        anchors.left: parent.left
                        anchors.right: btnFix.left
                        anchors.top: parent.top
                        elide: Text.ElideRight
                        text: model.title
                    }
                    Label {
                        anchors.left: parent.left
                        anchors.bottom: parent.bottom
                        color: row.highlighted ? row.palette.highlightedText : "dimgray"
                        text: (model.images === 1 ? qsTr("1 image") : qsTr("%1 images").arg(model.images))
                              + (model.boxes > 0 ? " · " + (model.boxes === 1 ? qsTr("1 box")
                                                                               : qsTr("%1 boxes").arg(model.boxes))
                                                 : "")
                    }
                    Button {
                        id: btnFix
                        objectName: "btnFix_" + model.name
                        anchors.right: parent.right
                        anchors.verticalCenter: parent.verticalCenter
                        visible: Health.canFix(model.kind)
                        width: visible ? implicitWidth : 0
                        text: qsTr("Fix…")
                        onClicked: {
                            dlgFix.kind = model.kind
                            dlgFix.open()
                        }
                    }
                }
            }
        }
    }

    Dialog {
        id: dlgFix
        objectName: "dlgFix"
        property int kind: -1
        parent: Overlay.overlay
        x: Math.round((parent.width - width) / 2)
        y: Math.round((parent.height - height) / 2)
        width: Math.min(parent.width - 40, 480)
        modal: true
        title: qsTr("Fix problems")
        standardButtons: Dialog.Ok | Dialog.Cancel
        onAccepted: Health.fixAll(kind)

        Label {
            width: dlgFix.availableWidth
            wrapMode: Text.Wrap
            text: dlgFix.visible ? Health.fixQuestion(dlgFix.kind) : ""
        }
    }
}
