#include "model/bboxlist.h"
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
                                              {4, "ch"}};
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
        QVERIFY(!list.data(list.index(0, 0), 5).isValid());
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
};

QTEST_GUILESS_MAIN(TestBBoxList)
#include "tst_bboxlist.moc"
