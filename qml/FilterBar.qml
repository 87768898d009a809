import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Pallaster 1.0

// Above the grid: the name search, the class filter, the state filters and how many images of
// the dataset the grid shows.
RowLayout {
    id: bar

    // Whether the class list is open (its counts are kept while it is).
    readonly property bool choosingClasses: popClasses.visible

    // Enter or Down in the search: the keys go back to the grid.
    signal done()

    TextField {
        id: txtSearch
        objectName: "txtSearch"
        Layout.preferredWidth: 180
        placeholderText: qsTr("Search names")
        selectByMouse: true
        text: ImageFilter.search
        onTextEdited: ImageFilter.search = text
        onAccepted: bar.done()
        Keys.onDownPressed: bar.done()
    }
    Button {
        id: btnClasses
        objectName: "btnClasses"
        focusPolicy: Qt.NoFocus
        text: ImageFilter.classes.length === 0 ? qsTr("Any class")
              : ImageFilter.classes.length === 1
                ? qsTr("Has %1").arg(Categories.revision >= 0 ? Categories.nameOf(ImageFilter.classes[0]) : "")
                : qsTr("Has one of %1 classes").arg(ImageFilter.classes.length)
        onClicked: popClasses.open()

        Popup {
            id: popClasses
            objectName: "popClasses"
            y: btnClasses.height
            width: 260
            height: Math.min(360, lstClasses.contentHeight + 2 * padding + 40)

            ColumnLayout {
                anchors.fill: parent

                ListView {
                    id: lstClasses
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    clip: true
                    model: ClassCounts
                    ScrollBar.vertical: ScrollBar {}
                    delegate: CheckDelegate {
                        width: lstClasses.width
                        text: model.name + " (" + model.images + ")"
                        checked: ImageFilter.classes.indexOf(model.catId) >= 0
                        onClicked: ImageFilter.toggleClass(model.catId)
                    }
                }
                Button {
                    Layout.alignment: Qt.AlignRight
                    text: qsTr("Any class")
                    onClicked: {
                        ImageFilter.classes = []
                        popClasses.close()
                    }
                }
            }
        }
    }
    CheckBox {
        focusPolicy: Qt.NoFocus
        objectName: "chkUnsaved"
        text: qsTr("unsaved")
        checked: ImageFilter.unsavedOnly
        onToggled: ImageFilter.unsavedOnly = checked
    }
    CheckBox {
        focusPolicy: Qt.NoFocus
        objectName: "chkNoBoxes"
        text: qsTr("no boxes")
        checked: ImageFilter.noBoxesOnly
        onToggled: ImageFilter.noBoxesOnly = checked
    }
    CheckBox {
        focusPolicy: Qt.NoFocus
        objectName: "chkNoLabelFile"
        text: qsTr("no label file")
        checked: ImageFilter.noLabelFileOnly
        onToggled: ImageFilter.noLabelFileOnly = checked
    }
    CheckBox {
        focusPolicy: Qt.NoFocus
        objectName: "chkImageMissing"
        text: qsTr("image missing")
        checked: ImageFilter.imageMissingOnly
        onToggled: ImageFilter.imageMissingOnly = checked
    }
    Item {
        Layout.fillWidth: true
    }
    Label {
        objectName: "lblShown"
        text: ImageFilter.summary
    }
    Button {
        objectName: "btnClearFilters"
        focusPolicy: Qt.NoFocus
        text: qsTr("Clear")
        visible: ImageFilter.active
        onClicked: ImageFilter.clear()
    }
}
