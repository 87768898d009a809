import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Pallaster 1.0

// Every class in a list to pick from by typing: the name or number typed filters it, the classes
// used last stand first, and Enter (or a click) chooses one: the selected box takes it, or it
// becomes the current class.
Popup {
    id: picker

    readonly property var entries: Categories.revision,
                                   Categories.pick(txtFilter.text, EditSession.recentCategories)

    function choose(catId) {
        EditSession.chooseCategory(catId)
        close()
    }

    objectName: "classPicker"
    anchors.centerIn: parent
    width: Math.min(parent ? parent.width - 40 : 320, 320)
    height: Math.min(parent ? parent.height - 40 : 400, 400)
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside
    onOpened: {
        txtFilter.text = ""
        lstClasses.currentIndex = 0
        txtFilter.forceActiveFocus()
    }

    ColumnLayout {
        anchors.fill: parent

        TextField {
            id: txtFilter
            objectName: "txtClassFilter"
            Layout.fillWidth: true
            placeholderText: qsTr("Class name or number")
            onTextChanged: lstClasses.currentIndex = 0
            Keys.onDownPressed: lstClasses.incrementCurrentIndex()
            Keys.onUpPressed: lstClasses.decrementCurrentIndex()
            onAccepted: {
                if (lstClasses.currentIndex >= 0 && lstClasses.currentIndex < picker.entries.length)
                    picker.choose(picker.entries[lstClasses.currentIndex].catId)
            }
        }
        ListView {
            id: lstClasses
            objectName: "lstClasses"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            model: picker.entries
            highlightMoveDuration: 0
            highlight: Rectangle {
                color: "#d0e4ff"
            }
            ScrollBar.vertical: ScrollBar {}

            delegate: ItemDelegate {
                width: lstClasses.width
                onClicked: picker.choose(modelData.catId)

                contentItem: RowLayout {
                    Rectangle {
                        implicitWidth: 14
                        implicitHeight: 14
                        color: modelData.catColor
                        border.color: "black"
                    }
                    Label {
                        Layout.fillWidth: true
                        text: "%1  %2".arg(modelData.catId).arg(modelData.catName)
                        elide: Text.ElideRight
                    }
                }
            }
        }
    }
}
