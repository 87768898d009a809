import QtQuick 2.15
import QtQuick.Controls 2.15
import Pallaster 1.0

// The window's menu: the dataset files (COCO, the dataset JSON, a YOLO export) and what the
// window shows besides the grid.
MenuBar {
    id: bar

    property alias classPanelShown: actClassPanel.checked

    signal openCocoRequested()
    signal openInstancesRequested()
    signal exportCocoRequested()
    signal openJsonRequested()
    signal saveJsonRequested()
    signal exportRequested()
    signal quitRequested()

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
            objectName: "actShowUnlabelled"
            text: qsTr("Show images &without labels")
            checkable: true
            checked: ImageList.showUnlabelled
            onToggled: Dataset.showUnlabelled(checked)
        }
    }
}
