#include "dataset/imagelist.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using Numbers = QVector<double>;

class TestCocoImport : public QObject, protected DatasetFixture
{
    Q_OBJECT

private:
    QString imageDir() const { return dir->filePath("coco"); }

    static QJsonObject image(int id, const QString &fileName, int width = 640, int height = 480)
    {
        return {{"id", id},       {"file_name", fileName},
                {"width", width}, {"height", height},
                {"license", 3},   {"coco_url", "http://example.org/x.jpg"}};
    }
    static QJsonObject ann(int imageId, int category, const Numbers &bbox, int id = 1)
    {
        QJsonArray numbers;
        for (double n : bbox)
            numbers.append(n);
        return {{"image_id", imageId},
                {"category_id", category},
                {"bbox", numbers},
                {"id", id},
                {"iscrowd", 0},
                {"area", 1.0},
                {"segmentation", QJsonArray{QJsonArray{1, 2, 3, 4}}}};
    }
    void write(const QString &name, const QJsonArray &array)
    {
        writeBytes(path(name), QJsonDocument(array).toJson(QJsonDocument::Compact));
    }
    void touchImages(const QStringList &names)
    {
        for (const QString &name : names)
            writeBytes(imageDir() + "/" + name, "");
    }
    void import()
    {
        model->loadCocoJsonFromDir(path("images.json"), path("anns.json"), imageDir());
    }
    int rowId(int r) const
    {
        // Ids are not a role; the dataset file shows them.
        model->exportJson(dir->filePath("ids.json"));
        return QJsonDocument::fromJson(readBytes(dir->filePath("ids.json")))
            .array()
            .at(r)
            .toObject()
            .value("id")
            .toInt();
    }

private slots:
    void initTestCase() { model = ImageList::instance(); }
    void init()
    {
        newFolder();
        QDir(dir->path()).mkpath("coco");
    }

    void exampleImage()
    {
        touchImages({"000000000042.jpg"});
        write("images.json", {image(42, "000000000042.jpg")});
        write("anns.json",
              {ann(42, 1, {100, 50, 200, 300}), ann(42, 1, {10, 10, 100, 150}),
               ann(42, 1, {0, 0, 400, 200})});
        QSignalSpy reset(model, &QAbstractItemModel::modelReset);
        QSignalSpy completed(model, &ImageList::readFileCompleted);
        import();
        QCOMPARE(reset.count(), 1);
        QCOMPARE(completed.count(), 1);
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(role(0, 0).toString(), QStringLiteral("000000000042.jpg"));
        QCOMPARE(role(0, 1).toString(), imageDir() + "/000000000042.jpg");
        QCOMPARE(role(0, 2).toInt(), 640);
        QCOMPARE(role(0, 3).toInt(), 480);
        QCOMPARE(role(0, 5).toString(), QString());
        QCOMPARE(rowId(0), 42);
        const BBoxList *list = boxes(0);
        QCOMPARE(list->rowCount(), 1);
        const BoxInfo &box = *list->boxList().at(0);
        QCOMPARE(box.catId, 1);
        QCOMPARE(box.cx, (200 * 0.5 + 100) / 640.0);
        QCOMPARE(box.cx, 0.3125);
        QCOMPARE(box.cy, (300 * 0.5 + 50) / 480.0);
        QCOMPARE(box.cw, 0.3125);
        QCOMPARE(box.ch, 0.625);
    }

    void filterBounds_data()
    {
        // A 300 x 100 image: area 30000, so boxes from 3000 to 20000 and at most 1.5 wide.
        QTest::addColumn<Numbers>("bbox");
        QTest::addColumn<bool>("kept");
        QTest::newRow("aspect exactly 1.5") << Numbers{0, 0, 90, 60} << true;
        QTest::newRow("aspect just above") << Numbers{0, 0, 90.001, 60} << false;
        QTest::newRow("area exactly a tenth") << Numbers{0, 0, 50, 60} << true;
        QTest::newRow("area just below a tenth") << Numbers{0, 0, 50, 59.999} << false;
        QTest::newRow("area exactly two thirds") << Numbers{0, 0, 100, 200} << true;
        QTest::newRow("area just above two thirds") << Numbers{0, 0, 100, 200.001} << false;
        QTest::newRow("tall and thin") << Numbers{0, 0, 20, 150} << true;
        QTest::newRow("more than four numbers") << Numbers{10, 20, 60, 60, 999, 999} << true;
        QTest::newRow("three numbers") << Numbers{10, 20, 60} << false;
        QTest::newRow("no numbers") << Numbers{} << false;
    }
    void filterBounds()
    {
        QFETCH(Numbers, bbox);
        QFETCH(bool, kept);
        touchImages({"a.jpg"});
        write("images.json", {image(1, "a.jpg", 300, 100)});
        write("anns.json", {ann(1, 1, bbox)});
        import();
        QCOMPARE(model->rowCount(), kept ? 1 : 0);
        if (kept) {
            const BoxInfo &box = *boxes(0)->boxList().at(0);
            QCOMPARE(box.cx, (bbox[2] * 0.5 + bbox[0]) / 300.0);
            QCOMPARE(box.cy, (bbox[3] * 0.5 + bbox[1]) / 100.0);
            QCOMPARE(box.cw, bbox[2] / 300.0);
            QCOMPARE(box.ch, bbox[3] / 100.0);
        }
    }

    void imagesAndBoxesInFileOrder()
    {
        touchImages({"c.jpg", "a.jpg", "b.jpg", "d.jpg", "e.jpg", "dup.jpg"});
        write("images.json",
              {image(3, "c.jpg"), image(1, "a.jpg"), image(2, "b.jpg"), image(4, "d.jpg"),
               image(5, "missing.jpg"), image(6, "e.jpg"), image(3, "dup.jpg"),
               image(7, "e.jpg", 0, 480), image(8, "e.jpg", 640, -1)});
        write("anns.json",
              {ann(1, 1, {0, 0, 200, 200}), ann(3, 1, {0, 0, 200, 300}),
               ann(2, 2, {0, 0, 200, 200}), ann(1, 1, {10, 10, 300, 300}),
               ann(3, 3, {0, 0, 200, 200}), ann(3, 1, {0, 0, 200, 250}), ann(4, 1, {0, 0, 10, 10}),
               ann(5, 1, {0, 0, 200, 200}), ann(99, 1, {0, 0, 200, 200}),
               ann(7, 1, {0, 0, 200, 200}), ann(8, 1, {0, 0, 200, 200})});
        import();
        // 2 has only category 2, 4 only a too small box, 5 no file, 6 no annotation, 7 and 8
        // no positive size; 3 is there twice, each with both of its boxes.
        QStringList names;
        for (int r = 0; r < model->rowCount(); ++r)
            names << role(r, 0).toString();
        QCOMPARE(names, QStringList({"c.jpg", "a.jpg", "dup.jpg"}));
        QCOMPARE(rowId(0), 3);
        QCOMPARE(rowId(2), 3);
        for (int r : {0, 2}) {
            QCOMPARE(boxes(r)->rowCount(), 2);
            QCOMPARE(boxes(r)->boxList().at(0)->ch, 300 / 480.0);
            QCOMPARE(boxes(r)->boxList().at(1)->ch, 250 / 480.0);
        }
        QCOMPARE(boxes(1)->rowCount(), 2);
        QCOMPARE(boxes(1)->boxList().at(0)->cw, 200 / 640.0);
        QCOMPARE(boxes(1)->boxList().at(1)->cw, 300 / 640.0);
    }

    void badInput_data()
    {
        QTest::addColumn<QByteArray>("imagesText"); // null: no file
        QTest::addColumn<QByteArray>("annsText");
        QTest::addColumn<QStringList>("messages");
        const QByteArray images
            = R"([{"id": 1, "file_name": "a.jpg", "width": 640, "height": 480}])";
        const QByteArray anns = R"([{"image_id": 1, "category_id": 1, "bbox": [0, 0, 200, 200]}])";
        QTest::newRow("both missing") << QByteArray() << QByteArray()
                                      << QStringList{"Images file: 0", "Error: 5", "Anns file  : 0",
                                                     "Error: 5", "Loaded 0 images"};
        QTest::newRow("annotations missing")
            << images << QByteArray()
            << QStringList{QStringLiteral("Images file: %1").arg(images.size()), "Anns file  : 0",
                           "Error: 5", "Loaded 0 images"};
        QTest::newRow("invalid json")
            << QByteArray("[{\"id\": 1,") << anns
            << QStringList{"Images file: 10", "Error: 1",
                           QStringLiteral("Anns file  : %1").arg(anns.size()), "Loaded 0 images"};
        QTest::newRow("object at top level")
            << QByteArray(R"({"images": []})") << anns
            << QStringList{"Images file: 14", QStringLiteral("Anns file  : %1").arg(anns.size()),
                           "Loaded 0 images"};
        QTest::newRow("scalar at top level")
            << images << QByteArray("42")
            << QStringList{QStringLiteral("Images file: %1").arg(images.size()), "Anns file  : 2",
                           "Error: 5", "Loaded 0 images"};
        const QByteArray strings
            = R"([{"id": "1", "file_name": "a.jpg", "width": "640", "height": 480}])";
        QTest::newRow("strings where numbers belong")
            << strings << anns
            << QStringList{QStringLiteral("Images file: %1").arg(strings.size()),
                           QStringLiteral("Anns file  : %1").arg(anns.size()), "Loaded 0 images"};
        QTest::newRow("well formed")
            << images << anns
            << QStringList{QStringLiteral("Images file: %1").arg(images.size()),
                           QStringLiteral("Anns file  : %1").arg(anns.size()), "Loaded 1 images"};
    }
    void badInput()
    {
        QFETCH(QByteArray, imagesText);
        QFETCH(QByteArray, annsText);
        QFETCH(QStringList, messages);
        touchImages({"a.jpg"});
        if (!imagesText.isNull())
            writeBytes(path("images.json"), imagesText);
        if (!annsText.isNull())
            writeBytes(path("anns.json"), annsText);
        // Rows of an earlier load are gone whatever the input.
        writeBytes(path("old.json"), R"([{"id": 5}, {"id": 6}])");
        model->loadJson(path("old.json"));
        QVERIFY(model->rowCount() >= 2);

        for (const QString &message : messages)
            QTest::ignoreMessage(QtDebugMsg, qPrintable(message));
        QSignalSpy completed(model, &ImageList::readFileCompleted);
        QSignalSpy reset(model, &QAbstractItemModel::modelReset);
        import();
        QCOMPARE(completed.count(), 1);
        QCOMPARE(reset.count(), 1);
        QCOMPARE(model->rowCount(), messages.last() == "Loaded 1 images" ? 1 : 0);
    }

    void slotUsesTheBuiltInFolder()
    {
        QVERIFY(QDir::isAbsolutePath(ImageList::cocoImageDir()));
        const QString name
            = QStringLiteral("pallaster-test-%1.jpg").arg(QCoreApplication::applicationPid());
        write("images.json", {image(1, name)});
        write("anns.json", {ann(1, 1, {0, 0, 200, 200})});
        QSignalSpy completed(model, &ImageList::readFileCompleted);
        model->loadCocoJson(path("images.json"), path("anns.json"));
        QCOMPARE(completed.count(), 1);
        QCOMPARE(model->rowCount(), 0); // no such file in the built-in folder
    }
};

QTEST_GUILESS_MAIN(TestCocoImport)
#include "tst_cocoimport.moc"
