import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Pallaster 1.0

// Shown while a model's predictions are compared with the labels: how many images disagree and
// how, the thresholds (a change matches every image again), which disagreements the grid shows
// and whether the most suspect images come first.
ColumnLayout {
    id: bar

    // A threshold from 0.05 to 1 in steps of 0.05, shown as "0.50".
    component Threshold: SpinBox {
        from: 5
        to: 100
        stepSize: 5
        editable: true
        focusPolicy: Qt.NoFocus
        Layout.preferredWidth: 110
        textFromValue: function (value) { return (value / 100).toFixed(2) }
        valueFromText: function (text) { return Math.round(parseFloat(text) * 100) }
    }

    visible: Predictions.folder.length > 0

    Label {
        objectName: "lblDisagreements"
        Layout.fillWidth: true
        wrapMode: Text.Wrap
        text: Predictions.summary
        color: Predictions.imagesWithDisagreements > 0 ? "#6a1b9a" : palette.text
    }
    RowLayout {
        Layout.fillWidth: true

        Label {
            text: qsTr("Confidence")
        }
        Threshold {
            objectName: "spinConfidence"
            value: Math.round(Predictions.confidenceThreshold * 100)
            onValueModified: Predictions.confidenceThreshold = value / 100
        }
        Label {
            text: qsTr("IoU")
        }
        Threshold {
            objectName: "spinIou"
            value: Math.round(Predictions.iouThreshold * 100)
            onValueModified: Predictions.iouThreshold = value / 100
        }
        ComboBox {
            objectName: "cmbDisagreement"
            focusPolicy: Qt.NoFocus
            Layout.preferredWidth: 170
            // The filter's kinds: -1 none, -2 any, then each kind.
            readonly property var kinds: [-1, -2, 0, 1, 2, 3]
            model: [qsTr("All images"), qsTr("Disagreements"), qsTr("Missing labels"),
                    qsTr("Spurious labels"), qsTr("Wrong class"), qsTr("Mislocated")]
            currentIndex: kinds.indexOf(ImageFilter.disagreementKind)
            onActivated: ImageFilter.disagreementKind = kinds[index]
        }
        CheckBox {
            objectName: "chkSuspectFirst"
            focusPolicy: Qt.NoFocus
            text: qsTr("Most suspect first")
            checked: ImageFilter.suspectFirst
            onToggled: ImageFilter.suspectFirst = checked
        }
        CheckBox {
            objectName: "chkShowPredictions"
            focusPolicy: Qt.NoFocus
            text: qsTr("Show (H)")
            checked: Predictions.shown
            onToggled: Predictions.shown = checked
        }
        Item {
            Layout.fillWidth: true
        }
        Button {
            objectName: "btnClosePredictions"
            focusPolicy: Qt.NoFocus
            text: qsTr("Close")
            onClicked: Predictions.close()
        }
    }
}
