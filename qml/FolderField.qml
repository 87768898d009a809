import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import QtQuick.Dialogs 1.0
import Pallaster 1.0

// A text field for a folder, with a "Select" button that opens a folder dialog starting in the
// folder the field names.
RowLayout {
    id: field

    property alias text: input.text
    property string dialogTitle

    // Enter in the field.
    signal accepted()

    Layout.fillWidth: true

    TextField {
        id: input
        Layout.fillWidth: true
        selectByMouse: true
        onAccepted: field.accepted()
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
