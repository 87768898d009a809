import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import Pallaster 1.0

// The modal editor of the image open in the edit session: category swatches, the picture with
// its boxes, the message line and Reset, Save and Close. Shown exactly while an image is open.
Popup {
    id: editor

    // The size grid thumbnails are decoded at, for the placeholder picture.
    property alias thumbnailSize: picture.thumbnailSize
    // How many images the grid shows, for "12 / 128".
    readonly property int currentCatId: EditSession.currentCatId
    readonly property var categories: Categories
    // The editor's keys work while an image is open and the key list is not shown.
    readonly property bool keysEnabled: EditSession.isOpen && !keyHelp.visible
                                        && !classPicker.visible && !keysSuspended
    // Set while a dialog of the window's is over the editor.
    property bool keysSuspended: false

    // Shift+V: the open image needs work; its note is to be asked for.
    signal noteRequested(int row)

    // The editor's keys, one row a command: its key sequences, its line in the F1 list (rows
    // without one share the line of the row before) and the command run() carries out.
    readonly property var keyTable: [
        { sequences: ["PgDown"], help: qsTr("PageDown, PageUp: next, previous image"),
          command: "next" },
        { sequences: ["PgUp"], help: "", command: "previous" },
        { sequences: ["Tab"], help: qsTr("Tab, Shift+Tab: select the next, previous box"),
          command: "selectNext" },
        { sequences: ["Shift+Tab"], help: "", command: "selectPrevious" },
        { sequences: ["Left"], help: qsTr("Arrows: move the selected box a pixel (with Shift: ten)"),
          command: "nudge", dx: -1, dy: 0 },
        { sequences: ["Right"], help: "", command: "nudge", dx: 1, dy: 0 },
        { sequences: ["Up"], help: "", command: "nudge", dx: 0, dy: -1 },
        { sequences: ["Down"], help: "", command: "nudge", dx: 0, dy: 1 },
        { sequences: ["Shift+Left"], help: "", command: "nudge", dx: -10, dy: 0 },
        { sequences: ["Shift+Right"], help: "", command: "nudge", dx: 10, dy: 0 },
        { sequences: ["Shift+Up"], help: "", command: "nudge", dx: 0, dy: -10 },
        { sequences: ["Shift+Down"], help: "", command: "nudge", dx: 0, dy: 10 },
        { sequences: ["Del", "Backspace"], help: qsTr("Delete, Backspace: delete the selected box (Backspace: the last point of a polygon being drawn)"),
          command: "delete" },
        { sequences: ["P"], help: qsTr("P: the polygon tool, or boxes again: click points, the first point or Enter closes, Esc cancels; Ctrl+click or double-click on an edge adds a vertex, Ctrl+click on a vertex takes it out"),
          command: "polygonTool" },
        { sequences: ["Return", "Enter"], help: "", command: "closePolygon" },
        { sequences: ["K"], help: qsTr("K: the selected keypoint not labelled, hidden, visible, in turn; a pose box drawn: click its keypoints in order (Esc leaves the rest unlabelled)"),
          command: "visibility" },
        { sequences: ["F"], help: qsTr("F: fill polygons in their class colour, or outlines only (also in the grid)"),
          command: "fill" },
        { sequences: ["Ctrl+Z"], help: qsTr("Ctrl+Z: undo; Ctrl+Shift+Z, Ctrl+Y: redo"),
          command: "undo" },
        { sequences: ["Ctrl+Shift+Z", "Ctrl+Y"], help: "", command: "redo" },
        { sequences: ["A"], help: qsTr("A: add a box of the current category at the pointer"),
          command: "add" },
        { sequences: [StandardKey.Save], help: qsTr("Ctrl+S: save; Esc: close"), command: "save" },
        { sequences: ["C"], help: qsTr("C: pick a class by name or number"), command: "pick" },
        { sequences: ["Ctrl++", "Ctrl+="],
          help: qsTr("Wheel, Ctrl+plus, Ctrl+minus: zoom; Ctrl+0: fit; Ctrl+1: 100 %; middle button or Space and drag: pan"),
          command: "zoomIn" },
        { sequences: ["Ctrl+-"], help: "", command: "zoomOut" },
        { sequences: ["Ctrl+0"], help: "", command: "fit" },
        { sequences: ["Ctrl+1"], help: "", command: "actualSize" },
        { sequences: ["N"], help: qsTr("N, Shift+N: next, previous disagreement with the predictions (most suspect images first)"),
          command: "nextDisagreement" },
        { sequences: ["Shift+N"], help: "", command: "previousDisagreement" },
        { sequences: ["Y"], help: qsTr("Y: accept the prediction (a label is added, takes its class or box, or a spurious label is deleted)"),
          command: "accept" },
        { sequences: ["T"], help: qsTr("T: the label of a wrong class takes the prediction's class"),
          command: "takeClass" },
        { sequences: ["X"], help: qsTr("X: dismiss the disagreement (kept for this dataset and predictions folder)"),
          command: "dismiss" },
        { sequences: ["H"], help: qsTr("H: show or hide the predictions (also in the grid)"),
          command: "togglePredictions" },
        { sequences: ["V"], help: qsTr("V: mark the image reviewed (saving it) and open the next not reviewed; Shift+V: needs work, with a note; U: the next not reviewed"),
          command: "reviewed" },
        { sequences: ["Shift+V"], help: "", command: "needsWork" },
        { sequences: ["U"], help: "", command: "nextToReview" },
        { sequences: ["F1"], help: "", command: "help" },
        // Mouse only: listed, no key.
        { sequences: [], command: "",
          help: qsTr("Drag where no box is: draw a box; click: the smallest box under the pointer, again: the next larger") }
    ]

    function run(key) {
        switch (key.command) {
        case "next": EditSession.openNeighbour(1); break
        case "previous": EditSession.openNeighbour(-1); break
        case "selectNext": EditSession.selectStep(1); break
        case "selectPrevious": EditSession.selectStep(-1); break
        case "nudge": picture.nudge(key.dx, key.dy); break
        case "delete":
            if (!picture.takeBackPoint())
                EditSession.deleteSelected()
            break
        case "polygonTool": picture.setPolygonMode(!picture.polygonMode); break
        case "fill": EditSession.fillShapes = !EditSession.fillShapes; break
        case "visibility": EditSession.cycleVisibility(); break
        case "closePolygon": picture.closePolygon(); break
        case "undo": EditSession.undo(); break
        case "redo": EditSession.redo(); break
        case "add": picture.addBoxAtPointer(EditSession.currentCatId); break
        case "save": EditSession.save(); break
        case "pick": classPicker.open(); break
        case "zoomIn": picture.zoomBy(1.25); break
        case "zoomOut": picture.zoomBy(0.8); break
        case "fit": picture.fit(); break
        case "actualSize": picture.zoomToActualSize(); break
        case "help": keyHelp.open(); break
        case "nextDisagreement":
        case "previousDisagreement":
            if (!Predictions.step(key.command === "nextDisagreement" ? 1 : -1))
                keyMessage = qsTr("No more disagreements")
            break
        case "accept": keyMessage = Predictions.accept(Predictions.current); break
        case "takeClass": keyMessage = Predictions.takeClass(Predictions.current); break
        case "dismiss": keyMessage = Predictions.dismiss(Predictions.current); break
        case "togglePredictions": Predictions.shown = !Predictions.shown; break
        case "needsWork": noteRequested(EditSession.row); break
        case "reviewed":
        case "nextToReview":
            if (!(key.command === "reviewed" ? Review.markReviewedAndNext() : Review.openNextToReview()))
                keyMessage = qsTr("No image after this one is left to review")
            break
        }
    }
    // What the last key about the predictions or the review did; cleared when another image
    // opens.
    property string keyMessage
    Connections {
        target: EditSession
        function onOpenChanged() { editor.keyMessage = "" }
    }

    // Closing the image closes the popup; its closed() comes once it has slid out.
    function closeAction() {
        if (EditSession.placingPoint >= 0)
            EditSession.stopPlacing()
        else if (picture.drawing)
            picture.cancelDrawing()
        else
            EditSession.close()
    }

    modal: true
    dim: true
    // Its picture takes the keys its shortcuts leave (Space). Opened from the grid's Enter,
    // the grid would keep the focus, and with it the keys, unless the picture takes it.
    focus: true
    onOpened: picture.forceActiveFocus()
    closePolicy: Popup.NoAutoClose
    y: 0
    visible: EditSession.isOpen

    enter: Transition {
        NumberAnimation {
            property: "y"
            from: editor.parent ? editor.parent.height : 0
            to: 0
            duration: 150
            easing.type: Easing.OutExpo
        }
    }
    exit: Transition {
        NumberAnimation {
            property: "y"
            from: 0
            to: editor.parent ? editor.parent.height : 0
            duration: 150
            easing.type: Easing.InExpo
        }
    }

    Repeater {
        model: editor.keyTable
        delegate: Item {
            Shortcut {
                sequences: modelData.sequences
                enabled: editor.keysEnabled
                onActivated: editor.run(modelData)
            }
        }
    }
    Shortcut {
        sequence: "Esc"
        // With a list shown, Esc closes the list.
        enabled: EditSession.isOpen && !keyHelp.visible && !classPicker.visible
        onActivated: editor.closeAction()
    }
    KeyHelp {
        id: keyHelp
        keys: editor.keyTable
    }
    ClassPicker {
        id: classPicker
    }

    ColumnLayout {
        anchors.fill: parent

        EditorHeader {
            Layout.fillWidth: true
            keyMessage: editor.keyMessage
        }
        RowLayout {
            Layout.fillWidth: true

            ClassBar {
                Layout.fillWidth: true
                keysEnabled: editor.keysEnabled
                onAddRequested: picture.addBoxAtPointer(catId)
            }
            // The drawing tools: boxes by dragging, polygons point by point (P).
            Repeater {
                model: [qsTr("Box"), qsTr("Polygon")]
                delegate: ToolButton {
                    objectName: index === 0 ? "btnBoxTool" : "btnPolygonTool"
                    focusPolicy: Qt.NoFocus
                    text: modelData
                    checkable: true
                    checked: picture.polygonMode === (index === 1)
                    onClicked: picture.setPolygonMode(index === 1)
                }
            }
            Button {
                objectName: "btnClasses"
                text: qsTr("Classes…")
                focusPolicy: Qt.NoFocus
                onClicked: classPicker.open()
            }
        }
        EditorPicture {
            id: picture
            objectName: "editorPicture"
            Layout.fillWidth: true
            Layout.fillHeight: true
        }
        Label {
            objectName: "lblMessage"
            Layout.fillWidth: true
            visible: text.length > 0
            text: EditSession.message
            wrapMode: Text.Wrap
            color: "firebrick"
        }
        RowLayout {
            Layout.fillWidth: true

            Button {
                objectName: "btnReset"
                // The keys stay with the picture (Space pans there).
                focusPolicy: Qt.NoFocus
                text: qsTr("Reset")
                enabled: EditSession.ableToSave
                onClicked: EditSession.reset()
            }
            Button {
                objectName: "btnSave"
                focusPolicy: Qt.NoFocus
                text: qsTr("Save")
                enabled: EditSession.ableToSave
                onClicked: EditSession.save()
            }
            // What a trainer would trip on in this image (its boxes framed in red), in the row of
            // the buttons so that the picture keeps its place; Fix cuts boxes to the image and
            // deletes exact duplicates, as one edit.
            Label {
                id: lblProblems
                objectName: "lblProblems"
                Layout.fillWidth: true
                readonly property string all: Health.revision >= 0 && EditSession.isOpen
                                              ? Health.problemText(EditSession.row) : ""
                readonly property var lines: all.length > 0 ? all.split("\n") : []
                text: lines.length === 0 ? "" : lines.length === 1 ? lines[0]
                      : qsTr("%1 (and %2 more)").arg(lines[0]).arg(lines.length - 1)
                elide: Text.ElideRight
                color: "#b02020"
                ToolTip.visible: lines.length > 1 && hoverProblems.hovered
                ToolTip.text: all
                HoverHandler {
                    id: hoverProblems
                }
            }
            Button {
                objectName: "btnFixImage"
                focusPolicy: Qt.NoFocus
                visible: Health.revision >= 0 && EditSession.isOpen && Health.fixableIn(EditSession.row) > 0
                text: qsTr("Fix")
                onClicked: Health.fixImage(EditSession.row)
            }
            Button {
                objectName: "btnClose"
                focusPolicy: Qt.NoFocus
                text: qsTr("Close")
                onClicked: editor.closeAction()
            }
        }
    }
}
