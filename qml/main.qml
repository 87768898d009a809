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
    width: 1024
    height: 720
    visible: true
    title: Dataset.split.length > 0
           ? qsTr("Boxwright — %1 · %2").arg(Dataset.datasetName).arg(Dataset.split)
           : qsTr("Boxwright")

    // Set once the user has chosen to close with unsaved edits: the close is not asked again.
    property bool closeConfirmed: false
    // The predictions the command line named are compared with the first dataset loaded.
    property bool startPredictionsOpened: false

    // A new dataset is in the grid: the first tile is current, and edits a crash left behind
    // are offered back.
    function loaded() {
        gridImages.currentIndex = gridImages.count > 0 ? 0 : -1
        gridImages.forceActiveFocus()
        if (Dataset.startPredictions.length > 0 && !startPredictionsOpened && gridImages.count > 0) {
            startPredictionsOpened = true
            Dataset.openPredictions(Dataset.startPredictions)
        }
        if (EditSession.recoveryCount > 0)
            dlgRestore.open()
    }
    // Runs `work` (which replaces the dataset) once unsaved edits are saved or dropped, under
    // the busy indicator.
    function replaceDataset(text, work) {
        dlgUnsaved.ask(function () {
            busy.run(text, function () {
                work()
                window.loaded()
            })
        })
    }
    function loadFolders() {
        replaceDataset(qsTr("Loading %1…").arg(folderBar.labelsFolder), function () {
            Dataset.openYolo(folderBar.labelsFolder, folderBar.imagesFolder)
        })
    }

    // The split `name` of the dataset file, with its folders in the folder bar when it is one.
    function openSplit(name) {
        if (name === Dataset.split)
            return
        replaceDataset(qsTr("Loading %1…").arg(name), function () {
            Dataset.openSplit(name)
            if (Dataset.split !== name)
                return
            folderBar.imagesFolder = Dataset.splitImages
            folderBar.labelsFolder = Dataset.splitLabels
        })
    }

    // A dataset of File → Open Recent, opened as it was.
    function openRecent(entry) {
        if (entry.labels === undefined) {
            replaceDataset(qsTr("Loading %1…").arg(entry.title), function () { Dataset.openRecent(entry) })
            return
        }
        folderBar.imagesFolder = entry.images
        folderBar.labelsFolder = entry.labels
        loadFolders()
    }

    Component.onCompleted: {
        folderBar.imagesFolder = Dataset.startImages
        if (Dataset.startInstances.length > 0) {
            replaceDataset(qsTr("Loading %1…").arg(Dataset.startInstances), function () {
                Dataset.openCocoInstances(Dataset.startInstances, Dataset.startImages)
            })
        } else if (Dataset.startSplit.length > 0) {
            openSplit(Dataset.startSplit)
        } else if (Dataset.startLabels.length > 0) {
            folderBar.labelsFolder = Dataset.startLabels
            loadFolders()
        }
    }

    menuBar: DatasetMenu {
        id: menu
        onOpenCocoRequested: {
            dlgCoco.instances = false
            dlgCoco.imageFolder = folderBar.imagesFolder
            dlgCoco.open()
        }
        onOpenInstancesRequested: {
            dlgCoco.instances = true
            dlgCoco.imageFolder = folderBar.imagesFolder
            dlgCoco.open()
        }
        onExportCocoRequested: dialogs.exportCoco()
        onOpenPredictionsRequested: dialogs.openPredictions()
        onOpenJsonRequested: dialogs.openJson()
        onSaveJsonRequested: dialogs.saveJson()
        onExportRequested: dialogs.exportLabels()
        onSplitRequested: window.openSplit(name)
        onRecentRequested: window.openRecent(entry)
        onQuitRequested: window.close()
    }

    DatasetDialogs {
        id: dialogs
        objectName: "dialogs"
        onOpenJsonChosen: window.replaceDataset(qsTr("Loading %1…").arg(path), function () {
            Dataset.openJson(path)
        })
        onSaveJsonChosen: busy.run(qsTr("Writing %1…").arg(path), function () {
            Dataset.saveJson(path)
        })
        onExportChosen: busy.run(qsTr("Writing label files to %1…").arg(folder), function () {
            Dataset.exportYolo(folder)
        })
        onExportCocoChosen: busy.run(qsTr("Writing %1…").arg(path), function () {
            Dataset.exportCoco(path)
        })
        onPredictionsChosen: Dataset.openPredictions(folder)
    }

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
                onLoadRequested: window.loadFolders()
            }

            ViewBar {
                id: viewBar
                Layout.fillWidth: true
                onGoRequested: gridImages.goTo(text)
            }

            FilterBar {
                id: filterBar
                Layout.fillWidth: true
                onDone: gridImages.forceActiveFocus()
            }

            PredictionBar {
                Layout.fillWidth: true
            }

            Label {
                objectName: "lblResult"
                Layout.fillWidth: true
                visible: text.length > 0
                text: Dataset.result
                wrapMode: Text.Wrap
                color: Dataset.resultIsError ? "firebrick" : palette.text
            }

            Label {
                objectName: "lblNotice"
                Layout.fillWidth: true
                visible: text.length > 0
                text: ImageList.notice
                wrapMode: Text.Wrap
                color: "firebrick"
            }

            RowLayout {
                Layout.fillWidth: true
                Layout.fillHeight: true

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
                        columns: viewBar.tileColumns
                        keysBlocked: EditSession.isOpen
                        onOpenRequested: EditSession.open(row)
                        onRestoreRequested: showRow(ImageFilter.shownRow(ImageList.restoreRemoved()))
                        onNoteRequested: dlgNote.ask(row)
                    }
                    Label {
                        objectName: "lblEmpty"
                        anchors.centerIn: parent
                        width: parent.width - 40
                        horizontalAlignment: Text.AlignHCenter
                        wrapMode: Text.Wrap
                        visible: gridImages.count === 0 && text.length > 0
                        color: "dimgray"
                        text: ImageFilter.total === 0 ? ImageList.emptyReason
                              : ImageFilter.noLabelFileOnly && !ImageList.showUnlabelled
                                ? qsTr("No image passes the filters. Images without a label file are shown with “Show images without labels”.")
                                : qsTr("No image passes the filters.")
                    }
                }
                ClassPanel {
                    objectName: "classPanel"
                    Layout.preferredWidth: 260
                    Layout.fillHeight: true
                    visible: menu.classPanelShown
                }
                ProblemsPanel {
                    objectName: "problemsPanel"
                    Layout.preferredWidth: 280
                    Layout.fillHeight: true
                    visible: menu.problemsPanelShown
                }
            }
        }
    }

    // Counted while someone looks at the counts.
    Binding {
        target: ClassCounts
        property: "active"
        value: menu.classPanelShown || filterBar.choosingClasses
    }

    BusyOverlay {
        id: busy
        objectName: "busyOverlay"
    }

    CocoDialog {
        id: dlgCoco
        objectName: "dlgCoco"
        x: Math.round((window.width - width) / 2)
        y: Math.round((window.height - height) / 2)
        onChosen: window.replaceDataset(qsTr("Loading %1…").arg(annsFile), function () {
            if (instances)
                Dataset.openCocoInstances(annsFile, imageFolder)
            else
                Dataset.openCoco(imagesFile, annsFile, imageFolder)
        })
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

    NoteDialog {
        id: dlgNote
        objectName: "dlgNote"
        z: 10
    }

    Editor {
        id: popupEditor
        objectName: "popupEditor"
        // The whole window, menu bar included.
        parent: Overlay.overlay
        width: window.width
        height: window.height
        x: Math.round((window.width - width) / 2)
        thumbnailSize: gridImages.decodeSize
        keysSuspended: dlgNote.visible
        onNoteRequested: dlgNote.ask(row)
        onClosed: {
            gridImages.showRow(gridImages.currentIndex)
            gridImages.forceActiveFocus()
        }
    }
}
