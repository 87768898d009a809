import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Pallaster 1.0

// Under the folders: the grid's columns, showing images without labels, the review's progress
// and its filter, and Goto.
GridLayout {
    id: bar

    // How many tiles share a row of the grid.
    property alias tileColumns: spinColumns.value

    signal goRequested(string text)

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
        CheckBox {
            objectName: "chkShowUnlabelled"
            text: qsTr("Show images without labels")
            checked: ImageList.showUnlabelled
            onToggled: Dataset.showUnlabelled(checked)
        }
        // How far the review is, and a filter by review state.
        Label {
            objectName: "lblReview"
            leftPadding: 8
            // A width of its own, so that the fields after it stay where they are as it changes.
            Layout.preferredWidth: 230
            elide: Text.ElideRight
            text: Review.summary
            color: "#2e7d32"
        }
        ComboBox {
            objectName: "cmbReview"
            focusPolicy: Qt.NoFocus
            Layout.preferredWidth: 130
            model: [qsTr("Any state"), qsTr("Not reviewed"), qsTr("Reviewed"), qsTr("Needs work")]
            currentIndex: ImageFilter.reviewState + 1
            onActivated: ImageFilter.reviewState = index - 1
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
            Layout.preferredWidth: 110
            selectByMouse: true
            onAccepted: bar.goRequested(text)
        }
        Button {
            objectName: "btnGo"
            text: qsTr("Go")
            onClicked: bar.goRequested(txtGoto.text)
        }
    }
}
