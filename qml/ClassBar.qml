import QtQuick 2.15
import Pallaster 1.0

// Every category as a swatch, on as many lines as they need. A click chooses the category (the
// selected box takes it, or it becomes the current one); a digit key adds a box of it.
Flow {
    id: bar

    property bool keysEnabled: false

    signal addRequested(int catId)

    spacing: 4

    Repeater {
        model: Categories

        delegate: ClassSwatch {
            catId: model.catId
            catName: model.catName
            catShortcut: model.catShortcut
            catColor: model.catColor
            current: model.catId === EditSession.currentCatId
            keysEnabled: bar.keysEnabled
            onClicked: EditSession.chooseCategory(catId)
            onKeyActivated: bar.addRequested(catId)
        }
    }
}
