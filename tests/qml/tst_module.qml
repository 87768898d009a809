import QtQuick 2.15
import QtTest 1.15
import Pallaster 1.0

TestCase {
    name: "Module"

    function test_utils() {
        compare(Utils.osName, "windows")
        compare(Utils.isDebug, false)
        compare(Utils.baseName("a.b.txt"), "a.b")
        compare(Utils.fileName("/x/y/z.txt"), "z.txt")
        compare(Utils.toLocalPath("file:///tmp/a b"), "/tmp/a b")
        compare(Utils.safeName(" a:b "), "a_b")
        compare(Utils.invertColor("blue"), Qt.rgba(1, 1, 0, 1))
    }

    function test_imageList() {
        compare(ImageList.rowCount(), 0)
        verify(typeof ImageList.loadYolo === "function")
        verify(typeof ImageList.removeRow === "function")
        ImageList.removeRow(0)
        compare(ImageList.rowCount(), 0)
    }

    function test_mainDocumentLoads() {
        var component = Qt.createComponent("qrc:/main.qml")
        compare(component.status, Component.Ready, component.errorString())
        var window = component.createObject(null, {visible: false})
        verify(window)
        compare(window.title, "Boxwright")
        window.destroy()
    }
}
