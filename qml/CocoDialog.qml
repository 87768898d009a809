import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// The COCO files to open: an instances file, or the pair of an images array file and an
// annotations array file; and the folder their image files are in.
Dialog {
    id: dialog

    property alias imageFolder: fldImages.text
    // One instances file rather than the pair.
    property bool instances: false

    signal chosen(string imagesFile, string annsFile, string imageFolder)

    title: instances ? qsTr("Open COCO instances file") : qsTr("Open COCO")
    modal: true
    standardButtons: Dialog.Open | Dialog.Cancel
    width: Math.min(parent ? parent.width - 40 : 560, 560)
    onAccepted: chosen(fldImageArray.text, fldAnns.text, fldImages.text)

    Component.onCompleted: standardButton(Dialog.Open).enabled
                           = Qt.binding(function () {
                               return (instances || fldImageArray.text.length > 0)
                                       && fldAnns.text.length > 0
                           })

    GridLayout {
        width: dialog.availableWidth
        columns: 2

        Label {
            visible: !dialog.instances
            text: qsTr("Images file")
        }
        FolderField {
            id: fldImageArray
            visible: !dialog.instances
            objectName: "fldCocoImages"
            selectFolder: false
            nameFilters: [qsTr("JSON files (*.json)"), qsTr("All files (*)")]
            dialogTitle: qsTr("Choose the COCO images file")
        }
        Label {
            text: dialog.instances ? qsTr("Instances file") : qsTr("Annotations file")
        }
        FolderField {
            id: fldAnns
            objectName: "fldCocoAnns"
            selectFolder: false
            nameFilters: [qsTr("JSON files (*.json)"), qsTr("All files (*)")]
            dialogTitle: dialog.instances ? qsTr("Choose the COCO instances file")
                                          : qsTr("Choose the COCO annotations file")
        }
        Label {
            text: qsTr("Image folder")
        }
        FolderField {
            id: fldImages
            objectName: "fldCocoFolder"
            dialogTitle: qsTr("Choose the folder of the COCO images")
        }
    }
}
