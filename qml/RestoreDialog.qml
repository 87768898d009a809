import QtQuick 2.15
import QtQuick.Controls 2.15
import Pallaster 1.0

// Asked after Load when a recovery file holds edits of this labels folder that never reached
// their files (the program ended without asking): Restore brings them back unsaved, Discard
// drops them.
Dialog {
    id: dialog

    title: qsTr("Unsaved changes found")
    width: Math.min(parent ? parent.width - 40 : 480, 480)
    modal: true
    closePolicy: Popup.NoAutoClose

    footer: DialogButtonBox {
        Button {
            objectName: "btnRestore"
            text: qsTr("Restore")
            DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole
        }
        Button {
            objectName: "btnDiscardRecovery"
            text: qsTr("Discard")
            DialogButtonBox.buttonRole: DialogButtonBox.DestructiveRole
            onClicked: {
                EditSession.discardRecovery()
                dialog.close()
            }
        }
    }
    onAccepted: EditSession.restoreRecovery()

    Label {
        objectName: "lblRestore"
        width: dialog.availableWidth
        wrapMode: Text.Wrap
        text: EditSession.recoveryCount === 1
              ? qsTr("Restore 1 image with unsaved changes?")
              : qsTr("Restore %1 images with unsaved changes?").arg(EditSession.recoveryCount)
    }
}
