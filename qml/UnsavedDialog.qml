import QtQuick 2.15
import QtQuick.Controls 2.15
import Pallaster 1.0

// Asked before closing or loading drops edits that are not saved: Save All writes them and goes
// on only when every file was written, Discard goes on, Cancel stays.
Dialog {
    id: dialog

    property var pending: null
    property int count: 0
    property string failures

    // Runs `action` at once when nothing is unsaved, otherwise once the user has chosen.
    function ask(action) {
        count = ImageList.unsavedCount()
        if (count === 0) {
            action()
            return
        }
        pending = action
        failures = ""
        open()
    }
    function goOn() {
        var action = pending
        pending = null
        close()
        action()
    }

    title: qsTr("Unsaved changes")
    width: Math.min(parent ? parent.width - 40 : 480, 480)
    modal: true
    closePolicy: Popup.CloseOnEscape
    standardButtons: Dialog.SaveAll | Dialog.Discard | Dialog.Cancel

    onAccepted: {
        var failed = ImageList.saveUnsaved()
        if (failed.length === 0) {
            goOn()
            return
        }
        count = ImageList.unsavedCount()
        failures = qsTr("These files could not be written:") + "\n" + failed.join("\n")
        open()
    }
    onDiscarded: goOn()
    onRejected: pending = null

    Label {
        objectName: "lblUnsaved"
        width: dialog.availableWidth
        wrapMode: Text.Wrap
        text: (dialog.count === 1 ? qsTr("1 image has unsaved changes.")
                                  : qsTr("%1 images have unsaved changes.").arg(dialog.count))
              + (dialog.failures.length > 0 ? "\n\n" + dialog.failures : "")
    }
}
