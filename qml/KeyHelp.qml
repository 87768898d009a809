import QtQuick 2.15
import QtQuick.Controls 2.15
import Pallaster 1.0

// The editor's keys, from the same table that makes its shortcuts, and the category keys. Any
// key or click closes it.
Popup {
    id: keyList

    // Rows of the editor's key table; those with help text are listed.
    property var keys: []

    objectName: "keyList"
    anchors.centerIn: parent
    modal: true
    focus: true
    closePolicy: Popup.CloseOnPressOutside | Popup.CloseOnEscape

    contentItem: Item {
        implicitWidth: keyColumn.implicitWidth
        implicitHeight: keyColumn.implicitHeight
        focus: true
        Keys.onPressed: {
            keyList.close()
            event.accepted = true
        }

        MouseArea {
            anchors.fill: parent
            onClicked: keyList.close()
        }
        Column {
            id: keyColumn
            spacing: 2

            Repeater {
                model: keyList.keys
                delegate: Label {
                    visible: modelData.help.length > 0
                    text: modelData.help
                }
            }
            Repeater {
                model: Categories
                delegate: Label {
                    visible: model.catShortcut.length > 0
                    text: qsTr("%1: add a box of %2 at the pointer").arg(model.catShortcut)
                              .arg(model.catName)
                }
            }
        }
    }
}
