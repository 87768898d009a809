import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// The images folder and the labels folder, and Load, enabled while both name something.
GroupBox {
    id: bar

    property alias imagesFolder: txtImgsFolder.text
    property alias labelsFolder: txtTxtFolder.text

    // Load was clicked with both folders named.
    signal loadRequested()

    GridLayout {
        anchors.fill: parent
        columns: 2

        Label {
            text: qsTr("Images")
        }
        FolderField {
            id: txtImgsFolder
            objectName: "txtImgsFolder"
            dialogTitle: "Choose images folder"
            onAccepted: btnLoad.clicked()
        }
        Label {
            text: qsTr("Rectangles")
        }
        FolderField {
            id: txtTxtFolder
            objectName: "txtTxtFolder"
            dialogTitle: "Choose txt folder"
            onAccepted: btnLoad.clicked()
        }
        Button {
            id: btnLoad
            objectName: "btnLoad"
            text: qsTr("Load")
            Layout.columnSpan: 2
            Layout.alignment: Qt.AlignRight
            enabled: txtImgsFolder.text.length > 0 && txtTxtFolder.text.length > 0
            onClicked: {
                if (enabled)
                    bar.loadRequested()
            }
        }
    }
}
