import QtQuick 2.15
import QtQuick.Dialogs 1.0
import Pallaster 1.0

// The file dialogs of the menu: a dataset JSON file to open or to write, a folder to export the
// label files to, a folder of a model's predictions.
Item {
    signal openJsonChosen(string path)
    signal saveJsonChosen(string path)
    signal exportChosen(string folder)
    signal exportCocoChosen(string path)
    signal predictionsChosen(string folder)

    function openJson() {
        dlgOpenJson.open()
    }
    function saveJson() {
        dlgSaveJson.open()
    }
    function exportLabels() {
        dlgExport.open()
    }
    function exportCoco() {
        dlgExportCoco.open()
    }
    function openPredictions() {
        dlgPredictions.open()
    }

    FileDialog {
        id: dlgOpenJson
        title: qsTr("Open dataset JSON")
        selectExisting: true
        nameFilters: [qsTr("JSON files (*.json)"), qsTr("All files (*)")]
        onAccepted: openJsonChosen(Utils.toLocalPath(fileUrl))
    }
    FileDialog {
        id: dlgSaveJson
        title: qsTr("Save dataset JSON")
        selectExisting: false
        nameFilters: [qsTr("JSON files (*.json)"), qsTr("All files (*)")]
        onAccepted: saveJsonChosen(Utils.toLocalPath(fileUrl))
    }
    FileDialog {
        id: dlgExport
        title: qsTr("Export YOLO labels to a folder")
        selectFolder: true
        onAccepted: exportChosen(Utils.toLocalPath(fileUrl))
    }
    FileDialog {
        id: dlgPredictions
        title: qsTr("Open a folder of predictions")
        selectFolder: true
        onAccepted: predictionsChosen(Utils.toLocalPath(fileUrl))
    }
    FileDialog {
        id: dlgExportCoco
        title: qsTr("Export COCO instances file")
        selectExisting: false
        nameFilters: [qsTr("JSON files (*.json)"), qsTr("All files (*)")]
        onAccepted: exportCocoChosen(Utils.toLocalPath(fileUrl))
    }
}
