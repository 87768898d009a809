import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import QtQuick.Dialogs 1.0
import Pallaster 1.0

// A text field for a folder (or a file), with a "Select" button that opens a dialog starting in
// the folder the field names.
RowLayout {
    id: field

    property alias text: input.text
    property string dialogTitle
    property bool selectFolder: true
    property var nameFilters: []

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
        selectFolder: field.selectFolder
        selectExisting: true
        nameFilters: field.nameFilters
        onAccepted: input.text = Utils.toLocalPath(fileUrl)
    }
    Button {
        text: qsTr("Select")
        onClicked: {
            var start = field.selectFolder ? input.text : input.text.replace(/\/[^\/]*$/, "")
            dialog.folder = start.length > 0 ? "file://" + start : ""
            dialog.open()
        }
    }
}
