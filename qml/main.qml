import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import QtQuick.Dialogs 1.0
import Pallaster 1.0

// The one window: the folders and Load, the view bar, the grid of image tiles and the editor
// of the image open in the edit session. Its parts are documents of their own.
ApplicationWindow {
    id: window
    width: 640
    height: 480
    visible: true
    title: qsTr("Boxwright")

    // Set once the user has chosen to close with unsaved edits: the close is not asked again.
    property bool closeConfirmed: false

    onClosing: {
        if (closeConfirmed || ImageList.unsavedCount() === 0)
            return
        close.accepted = false
        dlgUnsaved.ask(function () {
            window.closeConfirmed = true
            window.close()
        })
    }

    Pane {
        anchors.fill: parent

        ColumnLayout {
            anchors.fill: parent

            FolderBar {
                id: folderBar
                Layout.fillWidth: true
                onLoadRequested: dlgUnsaved.ask(function () {
                    ImageList.loadYolo(folderBar.labelsFolder, folderBar.imagesFolder)
                    gridImages.currentIndex = gridImages.count > 0 ? 0 : -1
                    gridImages.forceActiveFocus()
                    if (EditSession.recoveryCount > 0)
                        dlgRestore.open()
                })
            }

            GridLayout {
                Layout.fillWidth: true
                columns: 2

                Label {
                    text: qsTr("Columns")
                }
                RowLayout {
                    Layout.fillWidth: true

                    SpinBox {
                        id: spinColumns
                        objectName: "spinColumns"
                        from: 1
                        to: 10
                        value: 4
                        editable: true
                    }
                    Item {
                        Layout.fillWidth: true
                    }
                    Label {
                        text: qsTr("Goto")
                    }
                    TextField {
                        id: txtGoto
                        objectName: "txtGoto"
                        selectByMouse: true
                        onAccepted: gridImages.goTo(text)
                    }
                    Button {
                        objectName: "btnGo"
                        text: qsTr("Go")
                        onClicked: gridImages.goTo(txtGoto.text)
                    }
                }
            }

            Label {
                objectName: "lblNotice"
                Layout.fillWidth: true
                visible: text.length > 0
                text: ImageList.notice
                wrapMode: Text.Wrap
                color: "firebrick"
            }

            Rectangle {
                Layout.fillWidth: true
                Layout.fillHeight: true
                border.width: 1
                border.color: "gray"

                ImageGrid {
                    id: gridImages
                    objectName: "gridImages"
                    anchors.fill: parent
                    anchors.margins: 1
                    columns: spinColumns.value
                    keysBlocked: EditSession.isOpen
                    onOpenRequested: EditSession.open(row)
                    onRestoreRequested: showRow(ImageList.restoreRemoved())
                }
            }
        }
    }

    // The grid's current tile follows the image open in the editor, and is in view when it
    // closes.
    Connections {
        target: EditSession
        function onOpenChanged() {
            if (EditSession.isOpen)
                gridImages.currentIndex = EditSession.row
        }
    }

    UnsavedDialog {
        id: dlgUnsaved
        objectName: "dlgUnsaved"
        x: Math.round((window.width - width) / 2)
        y: Math.round((window.height - height) / 2)
    }

    RestoreDialog {
        id: dlgRestore
        objectName: "dlgRestore"
        x: Math.round((window.width - width) / 2)
        y: Math.round((window.height - height) / 2)
    }

    Editor {
        id: popupEditor
        objectName: "popupEditor"
        width: window.width
        height: window.height
        x: Math.round((window.width - width) / 2)
        thumbnailSize: gridImages.decodeSize
        imageCount: gridImages.count
        onClosed: {
            gridImages.showRow(gridImages.currentIndex)
            gridImages.forceActiveFocus()
        }
    }
}
