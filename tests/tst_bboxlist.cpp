#include "dataset/bboxlist.h"
#include "format/yololabels.h"
#include "testutil.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include <cstdio>

// Makes indexes for rows a view would never pass.
class ProbeList : public BBoxList
{
public:
    QModelIndex createIndexForTest(int row) const { return createIndex(row, 0); }
};

class TestBBoxList : public QObject
{
    Q_OBJECT

private slots:
    void freshList()
    {
        BBoxList list;
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(list.rowCount(), 0);
        const QHash<int, QByteArray> expected{{0, "catId"},
                                              {1, "cx"},
                                              {2, "cy"},
                                              {3, "cw"},
                                              {4, "ch"},
                                              {BBoxList::Kind, "kind"},
                                              {BBoxList::Points, "points"},
                                              {BBoxList::Confidence, "confidence"},
                                              {BBoxList::PointDims, "pointDims"}};
        QCOMPARE(list.roleNames(), expected);
        QVERIFY(list.parent() == nullptr);
    }

    void metaObjectMethods()
    {
        const QMetaObject &mo = BBoxList::staticMetaObject;
        QCOMPARE(mo.className(), "BBoxList");
        // The notify signals of the two properties; the three slots, the checks the editor makes
        // before writing on opening, and the class change.
        verifyMethods(mo, {"modifiedChanged()", "saveErrorChanged()"}, QMetaMethod::Signal);
        verifyMethods(mo,
                      {"saveTxtFile(QString)", "appendRow(int,double,double)", "deleteRow(int)",
                       "changedOnDisk(QString)", "firstForeignLine(QString)",
                       "setCategory(int,int)"},
                      QMetaMethod::Slot);
        QCOMPARE(mo.method(mo.indexOfSlot("saveTxtFile(QString)")).returnType(),
                 int(QMetaType::Bool));
        QCOMPARE(mo.propertyCount() - mo.propertyOffset(), 2);
        QCOMPARE(mo.property(mo.indexOfProperty("modified")).notifySignal().methodSignature(),
                 QByteArray("modifiedChanged()"));
    }

    void appendRow()
    {
        BBoxList list;
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
        list.appendRow(1, 0.5, 0.5);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.at(0).at(1).toInt(), 0);
        QCOMPARE(inserted.at(0).at(2).toInt(), 0);
        const QModelIndex row0 = list.index(0, 0);
        QCOMPARE(list.data(row0, 0).userType(), int(QMetaType::Int));
        QCOMPARE(list.data(row0, 0).toInt(), 1);
        QCOMPARE(list.data(row0, 1).toDouble(), 0.5);
        QCOMPARE(list.data(row0, 2).toDouble(), 0.5);
        QCOMPARE(list.data(row0, 3).toDouble(), 0.1);
        QCOMPARE(list.data(row0, 4).toDouble(), 0.1);
        QCOMPARE(list.data(row0, 1).userType(), int(QMetaType::Double));
        QCOMPARE(list.data(row0, Qt::DisplayRole).toInt(), 1);

        // Unclamped values, always at the end.
        list.appendRow(-3, 2.0, -1.0);
        list.appendRow(7, 0.1, 0.2);
        QCOMPARE(inserted.count(), 3);
        QCOMPARE(inserted.at(2).at(1).toInt(), 2);
        QCOMPARE(list.data(list.index(1, 0), 0).toInt(), -3);
        QCOMPARE(list.data(list.index(1, 0), 1).toDouble(), 2.0);
        QCOMPARE(list.data(list.index(2, 0), 0).toInt(), 7);
    }

    void appendBoxTakesAllValues()
    {
        BBoxList list;
        QSignalSpy aboutToInsert(&list, &QAbstractItemModel::rowsAboutToBeInserted);
        list.appendBox(3, 0.1, 0.2, 0.3, 0.4);
        QCOMPARE(aboutToInsert.count(), 1);
        QCOMPARE(list.boxList().at(0)->ch, 0.4);
        QCOMPARE(list.data(list.index(0, 0), 3).toDouble(), 0.3);
    }

    void setData_data()
    {
        QTest::addColumn<int>("role");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<double>("stored");
        QTest::newRow("cx") << 1 << QVariant(0.25) << true << 0.25;
        QTest::newRow("cy text number") << 2 << QVariant("0.75") << true << 0.75;
        QTest::newRow("cy not a number") << 2 << QVariant("abc") << true << 0.0;
        QTest::newRow("cw int") << 3 << QVariant(2) << true << 2.0;
        QTest::newRow("ch same as before") << 4 << QVariant(0.1) << true << 0.1;
        QTest::newRow("catId") << 0 << QVariant(7) << false << 0.0;
        QTest::newRow("role 5") << 5 << QVariant(7) << false << 0.0;
        QTest::newRow("role -1") << -1 << QVariant(7) << false << 0.0;
    }
    void setData()
    {
        QFETCH(int, role);
        QFETCH(QVariant, value);
        QFETCH(bool, accepted);
        QFETCH(double, stored);
        BBoxList list;
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        list.appendRow(2, 0.5, 0.5);
        list.appendRow(3, 0.5, 0.5);
        const BoxInfo before = *list.boxList().at(1);
        QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
        QCOMPARE(list.setData(list.index(1, 0), value, role), accepted);
        const BoxInfo &after = *list.boxList().at(1);
        if (!accepted) {
            QCOMPARE(changed.count(), 0);
            QCOMPARE(after.catId, before.catId);
            QCOMPARE(after.cx, before.cx);
            QCOMPARE(after.ch, before.ch);
            return;
        }
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), list.index(1, 0));
        QCOMPARE(changed.at(0).at(1).toModelIndex(), list.index(1, 0));
        QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int>{role});
        QCOMPARE(list.data(list.index(1, 0), role).toDouble(), stored);
        // The other row is untouched.
        QCOMPARE(list.data(list.index(0, 0), role).toDouble(), role >= 3 ? 0.1 : 0.5);
    }

    void rowsOutsideTheList()
    {
        ProbeList list;
        list.appendRow(1, 0.5, 0.5);
        QSignalSpy changed(&list, &QAbstractItemModel::dataChanged);
        QVERIFY(!list.data(list.index(0, 0), 6).isValid());
        QVERIFY(!list.data(QModelIndex(), 0).isValid());
        QVERIFY(!list.data(list.createIndexForTest(1), 1).isValid());
        QVERIFY(!list.data(list.createIndexForTest(-5), 1).isValid());
        QVERIFY(!list.setData(list.createIndexForTest(1), 0.3, 1));
        QVERIFY(!list.setData(QModelIndex(), 0.3, 1));
        QCOMPARE(changed.count(), 0);
    }

    void deleteRow_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("removes");
        QTest::newRow("only row") << 1 << 0 << true;
        QTest::newRow("middle row") << 3 << 1 << true;
        QTest::newRow("last row") << 3 << 2 << true;
        QTest::newRow("minus one") << 2 << -1 << false;
        QTest::newRow("count") << 2 << 2 << false;
    }
    void deleteRow()
    {
        QFETCH(int, count);
        QFETCH(int, index);
        QFETCH(bool, removes);
        BBoxList list;
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 0; i < count; ++i)
            list.appendRow(i, 0.1 * i, 0.5);
        QSignalSpy aboutToRemove(&list, &QAbstractItemModel::rowsAboutToBeRemoved);
        QSignalSpy removed(&list, &QAbstractItemModel::rowsRemoved);
        list.deleteRow(index);
        QCOMPARE(list.rowCount(), removes ? count - 1 : count);
        QCOMPARE(aboutToRemove.count(), removes ? 1 : 0);
        QCOMPARE(removed.count(), removes ? 1 : 0);
        if (removes) {
            QCOMPARE(removed.at(0).at(1).toInt(), index);
            QCOMPARE(removed.at(0).at(2).toInt(), index);
        }
        // The remaining rows keep their order, the ones after the removed row moved up.
        int expected = 0;
        for (int row = 0; row < list.rowCount(); ++row, ++expected) {
            if (removes && expected == index)
                ++expected;
            QCOMPARE(list.data(list.index(row, 0), 0).toInt(), expected);
        }
    }

    void clearIsOneReset()
    {
        BBoxList list;
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        list.appendRow(1, 0.5, 0.5);
        list.appendRow(1, 0.5, 0.5);
        QSignalSpy reset(&list, &QAbstractItemModel::modelReset);
        list.clear();
        QCOMPARE(reset.count(), 1);
        QCOMPARE(list.rowCount(), 0);
    }

    void listsShareTheRoleTable()
    {
        BBoxList a, b;
        QVERIFY(a.roleNames().isSharedWith(b.roleNames()));
    }
    // Every edit marks the list as holding unsaved changes, with one notification; reading the
    // file and saving it clear the mark; a loader's appendBox is no edit.
    void modifiedFollowsEdits_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<bool>("modified");
        QTest::newRow("move") << "setData cx" << true;
        QTest::newRow("resize") << "setData ch" << true;
        QTest::newRow("category") << "setData catId" << false;
        QTest::newRow("append") << "appendRow" << true;
        QTest::newRow("delete") << "deleteRow 0" << true;
        QTest::newRow("delete nothing") << "deleteRow 5" << false;
        QTest::newRow("loader's append") << "appendBox" << false;
        QTest::newRow("class change") << "setCategory 0 3" << true;
        QTest::newRow("same class") << "setCategory 0 1" << false;
        QTest::newRow("class of no row") << "setCategory 5 3" << false;
        QTest::newRow("insert") << "insertBox 1" << true;
        QTest::newRow("insert beyond the end") << "insertBox 2" << false;
        QTest::newRow("geometry") << "setGeometry 0" << true;
        QTest::newRow("geometry of no row") << "setGeometry 1" << false;
    }
    void modifiedFollowsEdits()
    {
        QFETCH(QString, edit);
        QFETCH(bool, modified);
        QTemporaryDir dir;
        const QString file = dir.filePath("a.txt");
        writeBytes(file, "1 0.5 0.5 0.1 0.1");
        BBoxList list;
        list.loadTxtFile(file);
        QVERIFY(!list.isModified());
        QSignalSpy changed(&list, &BBoxList::modifiedChanged);
        const QModelIndex row = list.index(0, 0);
        if (edit == "setData cx")
            list.setData(row, 0.25, 1);
        else if (edit == "setData ch")
            list.setData(row, 0.25, 4);
        else if (edit == "setData catId")
            list.setData(row, 7, 0);
        else if (edit == "appendRow")
            list.appendRow(1, 0.2, 0.2);
        else if (edit == "deleteRow 0")
            list.deleteRow(0);
        else if (edit == "deleteRow 5")
            list.deleteRow(5);
        else if (edit.startsWith("setCategory"))
            list.setCategory(edit.split(' ')[1].toInt(), edit.split(' ')[2].toInt());
        else if (edit.startsWith("insertBox"))
            QCOMPARE(list.insertBox(edit.split(' ')[1].toInt(), BoxInfo{2, 0.1, 0.1, 0.1, 0.1}),
                     modified);
        else if (edit.startsWith("setGeometry"))
            QCOMPARE(list.setGeometry(edit.split(' ')[1].toInt(), 0.2, 0.3, 0.4, 0.5), modified);
        else
            list.appendBox(1, 0.1, 0.1, 0.1, 0.1);
        QCOMPARE(list.isModified(), modified);
        QCOMPARE(changed.count(), modified ? 1 : 0);
        // A second edit of the same kind does not notify again.
        if (modified) {
            list.appendRow(1, 0.3, 0.3);
            QCOMPARE(changed.count(), 1);
        }

        // Reading the file again (as Reset does) clears the mark.
        list.clear();
        list.loadTxtFile(file);
        QVERIFY(!list.isModified());
        list.appendRow(1, 0.3, 0.3);
        QVERIFY(list.isModified());
        // A failed save keeps it, a successful one clears it.
        expectSaveMessages(file + "/x");
        QVERIFY(!list.saveTxtFile(file + "/x"));
        QVERIFY(list.isModified());
        QVERIFY(!list.saveError().isEmpty());
        expectSaveMessages(file);
        QVERIFY(list.saveTxtFile(file));
        QVERIFY(!list.isModified());
        QCOMPARE(list.saveError(), QString());
    }

    // Another program writing, replacing or creating the file after it was read or written
    // here is noticed; this list's own save is not, and neither is a removal (there is nothing
    // to read again).
    void changedOnDisk_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("rewritten, other size") << "rewrite";
        QTest::newRow("replaced, same size") << "replace";
        QTest::newRow("created where there was none") << "create";
    }
    void changedOnDisk()
    {
        QFETCH(QString, change);
        QTemporaryDir dir;
        const QString file = dir.filePath("a.txt");
        if (change != "create")
            writeBytes(file, "1 0.5 0.5 0.1 0.1");
        BBoxList list;
        QVERIFY(!list.changedOnDisk(file)); // never read: nothing to compare with
        list.loadTxtFile(file);
        QVERIFY(!list.changedOnDisk(file));
        if (change == "rewrite") {
            QFile f(file);
            QVERIFY(f.open(QIODevice::Append));
            f.write("\n2 0.5 0.5 0.1 0.1");
        } else if (change == "replace") {
            writeBytes(dir.filePath("new.txt"), "9 0.5 0.5 0.1 0.1");
            QVERIFY(::rename(qPrintable(dir.filePath("new.txt")), qPrintable(file)) == 0);
        } else {
            writeBytes(file, "");
        }
        QVERIFY(list.changedOnDisk(file));
        expectSaveMessages(file);
        QVERIFY(list.saveTxtFile(file));
        QVERIFY(!list.changedOnDisk(file));
        QVERIFY(!list.changedOnDisk(QString()));
        QVERIFY(QFile::remove(file));
        QVERIFY(!list.changedOnDisk(file));
    }

    // The shape roles of a line, with the tester judging the roles it knows.
    void shapeRoles_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("role");
        QTest::addColumn<QVariant>("expected");
        const QByteArray box = "1 0.5 0.5 0.2 0.2", polygon = "4 0.1 0.2 0.5 0.8 0.3 0.4";
        // Three keypoints: an even number of fields, keypoints without a kpt_shape.
        const QByteArray pose = "0 0.5 0.5 0.4 0.4 0.45 0.55 2 0 0 0 0.5 0.5 1";
        QTest::newRow("box kind") << box << int(BBoxList::Kind) << QVariant("box");
        QTest::newRow("box points") << box << int(BBoxList::Points) << QVariant(QVariantList{});
        QTest::newRow("box dims") << box << int(BBoxList::PointDims) << QVariant(0);
        QTest::newRow("box without confidence") << box << int(BBoxList::Confidence) << QVariant();
        QTest::newRow("confidence") << box + " 0.87" << int(BBoxList::Confidence) << QVariant(0.87);
        QTest::newRow("text is no confidence")
            << box + " 0.87 x" << int(BBoxList::Confidence) << QVariant();
        QTest::newRow("polygon kind") << polygon << int(BBoxList::Kind) << QVariant("polygon");
        QTest::newRow("polygon points") << polygon << int(BBoxList::Points)
                                        << QVariant(QVariantList{0.1, 0.2, 0.5, 0.8, 0.3, 0.4});
        QTest::newRow("polygon dims") << polygon << int(BBoxList::PointDims) << QVariant(2);
        QTest::newRow("polygon box left") << polygon << int(BBoxList::Cx) << QVariant(0.3);
        QTest::newRow("polygon box height") << polygon << int(BBoxList::Ch) << QVariant(0.6);
        QTest::newRow("pose kind") << pose << int(BBoxList::Kind) << QVariant("keypoints");
        QTest::newRow("pose points")
            << pose << int(BBoxList::Points)
            << QVariant(QVariantList{0.45, 0.55, 2.0, 0.0, 0.0, 0.0, 0.5, 0.5, 1.0});
        QTest::newRow("pose dims") << pose << int(BBoxList::PointDims) << QVariant(3);
        QTest::newRow("pose box") << pose << int(BBoxList::Cw) << QVariant(0.4);
    }
    void shapeRoles()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, role);
        QFETCH(QVariant, expected);
        BBoxList list;
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        list.setLoaded({yolo::parseLabels(line), {}, {}, {}});
        const QVariant value = list.data(list.index(0, 0), role);
        if (expected.userType() == QMetaType::Double)
            QVERIFY(qAbs(value.toDouble() - expected.toDouble()) < 1e-12);
        else
            QCOMPARE(value, expected);
    }

    // Edits of shapes, and the file they leave. A polygon's box stays the bounding rectangle of
    // its vertices; keypoints without a label stay where they are; new boxes take the file's
    // kind; a line deleted and put back comes back whole.
    void shapeEdits_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("kptCount"); // the dataset's kpt_shape, 3 values per point
        QTest::addColumn<QString>("edit");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QByteArray>("written");
        const QByteArray tri = "0 0.1 0.1 0.3 0.1 0.3 0.2";
        const QByteArray pose = "0 0.5 0.5 0.2 0.2 0.5 0.5 2 0.3 0.3 0";
        QTest::newRow("move a polygon") << tri << 0 << "setGeometry 0 0.3 0.25 0.2 0.1" << true
                                        << QByteArray("0 0.2 0.2 0.4 0.2 0.4 0.3");
        QTest::newRow("resize a polygon") << tri << 0 << "setGeometry 0 0.3 0.2 0.4 0.2" << true
                                          << QByteArray("0 0.1 0.1 0.5 0.1 0.5 0.3");
        // One axis alone: the other's values stay where they are.
        QTest::newRow("polygon taller only") << tri << 0 << "setGeometry 0 0.2 0.2 0.2 0.2" << true
                                             << QByteArray("0 0.1 0.1 0.3 0.1 0.3 0.3");
        QTest::newRow("polygon wider only") << tri << 0 << "setGeometry 0 0.3 0.15 0.4 0.1" << true
                                            << QByteArray("0 0.1 0.1 0.5 0.1 0.5 0.2");
        QTest::newRow("pose taller only") << pose << 2 << "setGeometry 0 0.5 0.6 0.2 0.4" << true
                                          << QByteArray("0 0.5 0.6 0.2 0.4 0.5 0.6 2 0.3 0.3 0");
        QTest::newRow("a line of zero width only moves")
            << QByteArray("0 0.5 0.1 0.5 0.3 0.5 0.2") << 0 << "setGeometry 0 0.6 0.2 0.1 0.2"
            << true << QByteArray("0 0.55 0.1 0.55 0.3 0.55 0.2");
        QTest::newRow("setData on a polygon")
            << tri << 0 << "setData 1 0.3" << true << QByteArray("0 0.2 0.1 0.4 0.1 0.4 0.2");
        QTest::newRow("move a pose, unlabelled point stays")
            << pose << 2 << "setGeometry 0 0.6 0.5 0.2 0.2" << true
            << QByteArray("0 0.6 0.5 0.2 0.2 0.6 0.5 2 0.3 0.3 0");
        QTest::newRow("resize a box")
            << QByteArray("1 0.5 0.5 0.2 0.2 0.9") << 0 << "setGeometry 0 0.4 0.4 0.1 0.1" << true
            << QByteArray("1 0.4 0.4 0.1 0.1 0.9");
        QTest::newRow("vertex, clamped, box follows")
            << tri << 0 << "setPoint 0 2 0.5 1.5" << true << QByteArray("0 0.1 0.1 0.3 0.1 0.5 1");
        QTest::newRow("unlabelled keypoint placed is visible")
            << pose << 2 << "setPoint 0 1 0.4 0.45" << true
            << QByteArray("0 0.5 0.5 0.2 0.2 0.5 0.5 2 0.4 0.45 2");
        QTest::newRow("vertex beyond the last")
            << tri << 0 << "setPoint 0 3 0.5 0.5" << false << tri;
        QTest::newRow("negative vertex") << tri << 0 << "setPoint 0 -1 0.5 0.5" << false << tri;
        QTest::newRow("vertex of no row") << tri << 0 << "setPoint 1 0 0.5 0.5" << false << tri;
        QTest::newRow("a box has no points")
            << QByteArray("1 0.5 0.5 0.2 0.2") << 0 << "setPoint 0 0 0.5 0.5" << false
            << QByteArray("1 0.5 0.5 0.2 0.2");
        QTest::newRow("new box in a polygon file") << tri << 0 << "appendRow" << true
                                                   << tri
                + "\n2 0.45 0.45 0.55 0.45 0.55 0.55 "
                  "0.45 0.55";
        QTest::newRow("new box in a pose file")
            << pose << 2 << "appendRow" << true << pose + "\n2 0.5 0.5 0.1 0.1 0 0 0 0 0 0";
        QTest::newRow("new box in an empty file of a pose dataset")
            << QByteArray() << 1 << "appendRow" << true << QByteArray("2 0.5 0.5 0.1 0.1 0 0 0");
        QTest::newRow("new box in a box file")
            << QByteArray("1 0.5 0.5 0.2 0.2") << 0 << "appendRow" << true
            << QByteArray("1 0.5 0.5 0.2 0.2\n2 0.5 0.5 0.1 0.1");
        QTest::newRow("box inserted in a polygon file")
            << tri << 0 << "insertBox" << true
            << "2 0.45 0.45 0.55 0.45 0.55 0.55 0.45 0.55\n" + tri;
        QTest::newRow("polygon deleted and put back") << QByteArray("1 0.5 0.5 0.2 0.2\n")
                + tri << 0 << "reinsert 1" << true << QByteArray("1 0.5 0.5 0.2 0.2\n") + tri;
        QTest::newRow("line replaced whole")
            << tri << 2 << "setBox" << true << QByteArray("5 0.5 0.5 0.2 0.2 0.5 0.5 2 0.3 0.3 0");
    }
    void shapeEdits()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, kptCount);
        QFETCH(QString, edit);
        QFETCH(bool, accepted);
        QFETCH(QByteArray, written);
        const KeypointShape kpt{kptCount, kptCount ? 3 : 0};
        BBoxList list;
        QAbstractItemModelTester tester(&list,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        BBoxList::LoadedFile loaded{yolo::parseLabels(file, nullptr, kpt), {}, {}, kpt};
        list.setLoaded(loaded);
        const QStringList args = edit.split(' ');
        const auto arg = [&args](int i) { return args.at(i).toDouble(); };
        bool ok = true;
        if (args[0] == "setGeometry")
            ok = list.setGeometry(int(arg(1)), arg(2), arg(3), arg(4), arg(5));
        else if (args[0] == "setData")
            ok = list.setData(list.index(0, 0), arg(2), int(arg(1)));
        else if (args[0] == "setPoint")
            ok = list.setPoint(int(arg(1)), int(arg(2)), arg(3), arg(4));
        else if (args[0] == "appendRow")
            list.appendRow(2, 0.5, 0.5);
        else if (args[0] == "insertBox")
            ok = list.insertBox(0, BoxInfo{2, 0.5, 0.5, 0.1, 0.1});
        else if (args[0] == "setBox")
            ok = list.setBox(0, yolo::parseLabels(written).at(0));
        else if (args[0] == "reinsert") {
            const BoxInfo kept = *list.boxList().at(int(arg(1)));
            list.deleteRow(int(arg(1)));
            ok = list.insertBox(int(arg(1)), kept);
        }
        QCOMPARE(ok, accepted);
        QCOMPARE(list.isModified(), accepted);
        QCOMPARE(yolo::formatLabels(list.boxList(), list.foreignLines()), written);
        for (const auto &box : list.boxList()) {
            if (box->kind() != ShapeKind::Polygon)
                continue;
            BoxInfo fitted = *box;
            shape::fitBox(fitted);
            QCOMPARE(box->cx, fitted.cx);
            QCOMPARE(box->cy, fitted.cy);
            QCOMPARE(box->cw, fitted.cw);
            QCOMPARE(box->ch, fitted.ch);
        }
    }
};

QTEST_GUILESS_MAIN(TestBBoxList)
#include "tst_bboxlist.moc"
