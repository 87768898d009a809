import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Pallaster 1.0

// Asks what an image needs (one line, may be empty) and marks it "needs work" with it; Esc
// cancels.
Popup {
    id: dialog

    property int row: -1

    function ask(imageRow) {
        row = imageRow
        txtNote.text = Review.noteOf(imageRow)
        open()
        txtNote.forceActiveFocus()
        txtNote.selectAll()
    }

    parent: Overlay.overlay
    x: Math.round((parent.width - width) / 2)
    y: Math.round((parent.height - height) / 3)
    width: 420
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape

    ColumnLayout {
        anchors.fill: parent

        Label {
            text: qsTr("What does this image need?")
        }
        TextField {
            id: txtNote
            objectName: "txtNote"
            Layout.fillWidth: true
            selectByMouse: true
            placeholderText: qsTr("a box missing, a class to check…")
            onAccepted: {
                Review.mark(dialog.row, 2, text)
                dialog.close()
            }
        }
    }
}
