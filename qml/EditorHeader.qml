import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Pallaster 1.0

// The editor's top line: the open image's place among those the grid shows, its name and its
// review state; at the right, the disagreement with the predictions under review.
RowLayout {
    // What the last key about the predictions or the review did; empty for nothing.
    property string keyMessage

    Label {
        objectName: "lblPosition"
        Layout.fillWidth: true
        elide: Text.ElideMiddle
        // Its place among the images the grid shows ("–" once an edit took it out of them).
        readonly property int shown: EditSession.isOpen && ImageFilter.count >= 0
                                     ? ImageFilter.shownRow(EditSession.row) : -1
        readonly property int review: Review.revision >= 0 ? Review.stateOf(EditSession.row) : 0
        readonly property var reviewWords: ["", qsTr(" · reviewed"), qsTr(" · needs work: %1"),
                                            qsTr(" · changed since review")]
        text: EditSession.isOpen ? "%1 / %2 · %3".arg(shown >= 0 ? shown + 1 : "–").arg(ImageFilter.count)
                                   .arg(Utils.fileName(EditSession.imagePath))
                                   + (review === 2 ? reviewWords[2].arg(Review.noteOf(EditSession.row))
                                                   : reviewWords[review]) : ""
    }
    // The disagreement under review ("2 of 3: wrong class: dog 0.91, labelled cat"), or
    // what the last key about it did.
    Label {
        objectName: "lblDisagreement"
        readonly property int count: Predictions.revision >= 0 && EditSession.isOpen
                                     ? Predictions.findingCount(EditSession.row) : 0
        visible: text.length > 0
        color: "#6a1b9a"
        readonly property string finding: count === 0 || Predictions.current < 0 ? ""
            : qsTr("%1 of %2: %3").arg(Predictions.current + 1).arg(count)
              .arg(Predictions.findingText(EditSession.row, Predictions.current))
        text: [keyMessage, finding].filter(function (t) { return t.length > 0 })
              .join(" · ")
    }
}
