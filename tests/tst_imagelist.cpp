#include "app/utils.h"
#include "dataset/imagelist.h"
#include "testutil.h"

#include <QAbstractItemModelTester>
#include <QPointer>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestImageList : public QObject, protected DatasetFixture
{
    Q_OBJECT

private:
    std::unique_ptr<StatusTipHidingProxy> proxy;
    std::unique_ptr<QAbstractItemModelTester> tester;

    QString labels() const { return path("labels"); }
    QString images() const { return path("images"); }

    // Three label files a, b, c loaded in name order (the listing order is not sorted, so the
    // rows are checked by name).
    void loadThree()
    {
        QDir(dir->path()).mkpath("labels");
        QDir(dir->path()).mkpath("images");
        for (const char *name : {"a", "b", "c"})
            writeBytes(QStringLiteral("%1/%2.txt").arg(labels(), QLatin1String(name)),
                       "1 0.5 0.5 0.2 0.2");
        writeBytes(images() + "/a.jpg", "not really a jpeg");
        model->loadYolo(labels(), images());
        QCOMPARE(model->rowCount(), 3);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(!ImageList::hasInstance());
        model = ImageList::instance();
        QCOMPARE(ImageList::instance(), model);
        proxy = std::make_unique<StatusTipHidingProxy>();
        proxy->setSourceModel(model);
        tester = std::make_unique<QAbstractItemModelTester>(
            proxy.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    void init()
    {
        newFolder();
        model->loadYolo(path("nothing"), QString());
    }

    void freshModel()
    {
        QCOMPARE(model->rowCount(), 0);
        const QHash<int, QByteArray> expected{
            {0, "imgBaseFileName"}, {1, "imgFilePath"}, {2, "imgWidth"},
            {3, "imgHeight"},       {4, "imgBBoxes"},   {5, "yoloTxtFilePath"},
            {6, "imgHasLabelFile"}, {7, "imgUnsaved"},  {Qt::UserRole, "imgRow"}};
        QCOMPARE(model->roleNames(), expected);
    }

    void metaObjectMethods()
    {
        const QMetaObject &mo = ImageList::staticMetaObject;
        QCOMPARE(mo.className(), "ImageList");
        verifyMethods(mo, {"readFileCompleted()", "classNamesChanged()"}, QMetaMethod::Signal);
        verifyMethods(mo,
                      {"loadCocoJson(QString,QString)", "loadJson(QString)",
                       "loadYolo(QString,QString)", "exportJson(QString)", "exportYolo(QString)",
                       "yoloReloadRow(int)", "removeRow(int)",
                       // what closing and Load ask before dropping edits
                       "unsavedCount()", "saveUnsaved()"},
                      QMetaMethod::Slot);
        // The class names of the last YOLO load, and what the window tells of the dataset.
        QVERIFY(mo.indexOfProperty("classNames") >= mo.propertyOffset());
        QVERIFY(mo.indexOfProperty("notice") >= mo.propertyOffset());
        QCOMPARE(mo.enumeratorCount(), mo.enumeratorOffset());
    }

    void dataOfRoles()
    {
        loadThree();
        const int row = rowOf("a");
        const QModelIndex index = model->index(row, 0);
        QCOMPARE(model->data(index, 0).toString(), QStringLiteral("a"));
        QCOMPARE(model->data(index, 1).toString(), "/" + images() + "/a.jpg");
        QCOMPARE(model->data(index, 2).userType(), int(QMetaType::Int));
        QCOMPARE(model->data(index, 2).toInt(), 0);
        QCOMPARE(model->data(index, 3).toInt(), 0);
        const QVariant boxes = model->data(index, 4);
        QCOMPARE(QByteArray(boxes.typeName()), QByteArray("BBoxList*"));
        auto *list = qobject_cast<BBoxList *>(boxes.value<QObject *>());
        QVERIFY(list);
        QCOMPARE(list->rowCount(), 1);
        QCOMPARE(QQmlEngine::objectOwnership(list), QQmlEngine::CppOwnership);
        QVERIFY(list->parent() == nullptr);
        // QML can call the box list's slots through the object it receives.
        QVERIFY(QMetaObject::invokeMethod(list, "appendRow", Q_ARG(int, 1), Q_ARG(double, 0.2),
                                          Q_ARG(double, 0.3)));
        QCOMPARE(list->rowCount(), 2);
        QCOMPARE(model->data(index, 5).toString(), labels() + "/a.txt");
        QCOMPARE(model->data(index, 6), QVariant(true));
        QCOMPARE(model->data(index, 7), QVariant(true)); // the row appended above
        QVERIFY(!model->data(index, 8).isValid());
        QVERIFY(!model->data(index, -1).isValid());
        QVERIFY(!model->data(QModelIndex(), 0).isValid());
    }

    void removeRowOutside_data()
    {
        QTest::addColumn<int>("row");
        QTest::newRow("minus one") << -1;
        QTest::newRow("row count") << 3;
    }
    void removeRowOutside()
    {
        QFETCH(int, row);
        loadThree();
        QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
        model->removeRow(row);
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(removed.count(), 0);
        QCOMPARE(QDir(labels()).entryList(QDir::Files).size(), 3);
    }

    void removeRowDeletesLabelFile()
    {
        loadThree();
        const int row = rowOf("a");
        QPointer<BBoxList> removedList = boxListAt(model, row);
        QList<QPointer<BBoxList>> others;
        for (int r = 0; r < 3; ++r)
            if (r != row)
                others << boxListAt(model, r);
        QStringList namesAfter;
        for (int r = 0; r < 3; ++r)
            if (r != row)
                namesAfter << model->data(model->index(r, 0), 0).toString();

        const QDir trashInfo(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                             + "/Trash/info");
        const QStringList infoBefore = trashInfo.entryList(QDir::Files);
        QSignalSpy aboutToRemove(model, &QAbstractItemModel::rowsAboutToBeRemoved);
        QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
        model->removeRow(row);
        QCOMPARE(aboutToRemove.count(), 1);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(1).toInt(), row);
        QCOMPARE(removed.at(0).at(2).toInt(), row);
        QCOMPARE(model->rowCount(), 2);
        QVERIFY(trashInfo.entryList(QDir::Files) != infoBefore);
        QVERIFY(!QFile::exists(labels() + "/a.txt"));
        QVERIFY(QFile::exists(images() + "/a.jpg"));
        for (const auto &other : others)
            QVERIFY(!other.isNull());
        QStringList names;
        for (int r = 0; r < 2; ++r)
            names << model->data(model->index(r, 0), 0).toString();
        QCOMPARE(names, namesAfter);

        // The file went to the trash: while the dataset is loaded, file and row come back.
        QCOMPARE(model->restoreRemoved(), row);
        QCOMPARE(readBytes(labels() + "/a.txt"), QByteArray("1 0.5 0.5 0.2 0.2"));
        // Nor does the trash still list it.
        QCOMPARE(trashInfo.entryList(QDir::Files), infoBefore);
        QCOMPARE(boxListAt(model, row), removedList.data());
        QCOMPARE(model->restoreRemoved(), -1);
        model->removeRow(row);
        model->loadYolo(QString(), QString());
        QVERIFY(removedList.isNull());
    }

    // Where no trash can be made, the file is deleted as before, and the window is told it
    // cannot come back.
    void removeRowWithoutTrash()
    {
        loadThree();
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(images() + "/a.jpg/data"));
        const int row = rowOf("b");
        model->removeRow(row);
        qputenv("XDG_DATA_HOME", dataHome);
        QCOMPARE(model->rowCount(), 2);
        QVERIFY(!QFile::exists(labels() + "/b.txt"));
        QVERIFY(model->notice().contains("deleted for good"));
        QCOMPARE(model->restoreRemoved(), -1);
        QCOMPARE(model->rowCount(), 2);
    }

    void removeRowKeepsRowWhenFileCannotGo()
    {
        loadThree();
        QVERIFY(QFile::remove(labels() + "/b.txt"));
        QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
        model->removeRow(rowOf("b"));
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(removed.count(), 0);
        QVERIFY(model->notice().contains("no longer there"));
    }

    void cleanupTestCase()
    {
        tester.reset();
        proxy.reset();
        QPointer<ImageList> guard(model);
        delete model;
        QVERIFY(!ImageList::hasInstance());
    }
};

QTEST_GUILESS_MAIN(TestImageList)
#include "tst_imagelist.moc"
