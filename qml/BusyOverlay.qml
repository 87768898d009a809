import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// Covers the window while a long job (a load, an export) runs: the job starts once the
// indicator has been drawn, since it holds the window until it returns.
Popup {
    id: overlay

    property bool running: false
    property var job: null

    // Shows `text` and runs `work` on the next frames.
    function run(text, work) {
        lblBusy.text = text
        job = work
        running = true
        open()
        start.restart()
    }

    modal: true
    closePolicy: Popup.NoAutoClose
    anchors.centerIn: Overlay.overlay

    Timer {
        id: start
        // Long enough for the indicator's frame to be drawn first.
        interval: 50
        onTriggered: {
            var work = overlay.job
            overlay.job = null
            try {
                work()
            } finally {
                overlay.running = false
                overlay.close()
            }
        }
    }

    RowLayout {
        BusyIndicator {
            running: overlay.running
        }
        Label {
            id: lblBusy
        }
    }
}
