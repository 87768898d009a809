import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQml.Models 2.15
import Pallaster 1.0

// The window's menu: the dataset files (COCO, the dataset JSON, a YOLO export) and what the
// window shows besides the grid.
MenuBar {
    id: bar

    property alias classPanelShown: actClassPanel.checked
    property alias problemsPanelShown: actProblems.checked

    signal openCocoRequested()
    signal openInstancesRequested()
    signal exportCocoRequested()
    signal openPredictionsRequested()
    signal openJsonRequested()
    signal saveJsonRequested()
    signal exportRequested()
    signal quitRequested()
    // One of the dataset file's splits was chosen.
    signal splitRequested(string name)
    // One of the datasets opened last was chosen (an entry of Dataset.recent).
    signal recentRequested(var entry)

    Menu {
        title: qsTr("&File")
        width: 300
        Action {
            objectName: "actOpenInstances"
            text: qsTr("Open COCO &instances file…")
            onTriggered: bar.openInstancesRequested()
        }
        Action {
            objectName: "actOpenCoco"
            text: qsTr("Open &COCO…")
            onTriggered: bar.openCocoRequested()
        }
        Menu {
            id: recentMenu
            objectName: "mnuRecent"
            title: qsTr("Open &Recent")
            enabled: Dataset.recent.length > 0

            Instantiator {
                model: Dataset.recent
                delegate: MenuItem {
                    text: modelData.title
                    onTriggered: bar.recentRequested(modelData)
                }
                onObjectAdded: recentMenu.insertItem(index, object)
                onObjectRemoved: recentMenu.removeItem(object)
            }
        }
        Action {
            objectName: "actOpenPredictions"
            text: qsTr("Open &predictions…")
            enabled: ImageFilter.total > 0
            onTriggered: bar.openPredictionsRequested()
        }
        Action {
            objectName: "actOpenJson"
            text: qsTr("&Open dataset JSON…")
            onTriggered: bar.openJsonRequested()
        }
        Action {
            objectName: "actSaveJson"
            text: qsTr("&Save dataset JSON…")
            enabled: ImageFilter.total > 0
            onTriggered: bar.saveJsonRequested()
        }
        Action {
            objectName: "actExport"
            text: qsTr("&Export YOLO labels…")
            enabled: ImageFilter.total > 0
            onTriggered: bar.exportRequested()
        }
        Action {
            objectName: "actExportCoco"
            text: qsTr("Export COCO i&nstances file…")
            enabled: ImageFilter.total > 0
            onTriggered: bar.exportCocoRequested()
        }
        MenuSeparator {}
        Action {
            text: qsTr("&Quit")
            shortcut: StandardKey.Quit
            onTriggered: bar.quitRequested()
        }
    }
    Menu {
        title: qsTr("&View")
        width: 260
        Action {
            id: actClassPanel
            objectName: "actClassPanel"
            text: qsTr("&Class counts")
            checkable: true
        }
        Action {
            id: actProblems
            objectName: "actProblems"
            text: qsTr("&Problems")
            checkable: true
        }
        Action {
            objectName: "actShowUnlabelled"
            text: qsTr("Show images &without labels")
            checkable: true
            checked: ImageList.showUnlabelled
            onToggled: Dataset.showUnlabelled(checked)
        }
        Menu {
            id: splitMenu
            objectName: "mnuSplit"
            title: qsTr("&Split")
            enabled: Dataset.splits.length > 0

            // The splits the dataset file names, the one shown checked; the check follows the
            // split shown, not the click, since opening another may be cancelled.
            Instantiator {
                model: Dataset.splits
                delegate: MenuItem {
                    objectName: "actSplit_" + modelData
                    text: modelData
                    checkable: true
                    checked: Dataset.split === modelData
                    onTriggered: {
                        checked = Qt.binding(function () { return Dataset.split === modelData })
                        bar.splitRequested(modelData)
                    }
                }
                onObjectAdded: splitMenu.insertItem(index, object)
                onObjectRemoved: splitMenu.removeItem(object)
            }
        }
    }
}
