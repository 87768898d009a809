#include "dataset/imagelist.h"
#include "edit/editsession.h"
#include "testutil.h"

#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

class TestDatasetJson : public QObject, protected DatasetFixture
{
    Q_OBJECT

private:
    void clearModel() { model->loadYolo(path("no-such-folder"), QString()); }
    static bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

private slots:
    void initTestCase() { model = ImageList::instance(); }
    void init()
    {
        newFolder();
        clearModel();
    }

    void emptyDataset()
    {
        model->exportJson(path("empty.json"));
        QCOMPARE(readBytes(path("empty.json")), QByteArray("[\n]\n"));
        QSignalSpy reset(model, &QAbstractItemModel::modelReset);
        model->loadJson(path("empty.json"));
        QCOMPARE(reset.count(), 1);
        QCOMPARE(model->rowCount(), 0);
    }

    // The file as it is written: indented, keys in order; a box's shape in members of its own
    // after the box's, so that a reader that knows only boxes reads the box.
    void exactBytes_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("boxes") << QByteArray(
            R"([{"id": 7, "fileName": "a.jpg", "filePath": "/d/a.jpg",
            "width": 640, "height": 480,
            "bboxes": [{"catId": 1, "cx": 0.5, "cy": 0.25, "cw": 0.125, "ch": 0.1}]},
            {"id": 8, "fileName": "b", "filePath": "/d/b.jpg", "width": 0, "height": 0, "bboxes": []}])")
                               << QByteArray("[\n"
                                             "    {\n"
                                             "        \"bboxes\": [\n"
                                             "            {\n"
                                             "                \"catId\": 1,\n"
                                             "                \"ch\": 0.1,\n"
                                             "                \"cw\": 0.125,\n"
                                             "                \"cx\": 0.5,\n"
                                             "                \"cy\": 0.25\n"
                                             "            }\n"
                                             "        ],\n"
                                             "        \"fileName\": \"a.jpg\",\n"
                                             "        \"filePath\": \"/d/a.jpg\",\n"
                                             "        \"height\": 480,\n"
                                             "        \"id\": 7,\n"
                                             "        \"width\": 640\n"
                                             "    },\n"
                                             "    {\n"
                                             "        \"bboxes\": [\n"
                                             "        ],\n"
                                             "        \"fileName\": \"b\",\n"
                                             "        \"filePath\": \"/d/b.jpg\",\n"
                                             "        \"height\": 0,\n"
                                             "        \"id\": 8,\n"
                                             "        \"width\": 0\n"
                                             "    }\n"
                                             "]\n");
        QTest::newRow("a polygon") << QByteArray(R"([{"id": 1, "bboxes": [{"catId": 2, "cx": 9,
            "kind": "polygon", "pointDims": 2, "points": [0.1, 0.2, 0.5, 0.2, 0.5, 0.6]}]}])")
                                   << QByteArray("[\n"
                                                 "    {\n"
                                                 "        \"bboxes\": [\n"
                                                 "            {\n"
                                                 "                \"catId\": 2,\n"
                                                 "                \"ch\": 0.39999999999999997,\n"
                                                 "                \"cw\": 0.4,\n"
                                                 "                \"cx\": 0.3,\n"
                                                 "                \"cy\": 0.4,\n"
                                                 "                \"kind\": \"polygon\",\n"
                                                 "                \"pointDims\": 2,\n"
                                                 "                \"points\": [\n"
                                                 "                    0.1,\n"
                                                 "                    0.2,\n"
                                                 "                    0.5,\n"
                                                 "                    0.2,\n"
                                                 "                    0.5,\n"
                                                 "                    0.6\n"
                                                 "                ]\n"
                                                 "            }\n"
                                                 "        ],\n"
                                                 "        \"fileName\": \"\",\n"
                                                 "        \"filePath\": \"\",\n"
                                                 "        \"height\": 0,\n"
                                                 "        \"id\": 1,\n"
                                                 "        \"width\": 0\n"
                                                 "    }\n"
                                                 "]\n");
        QTest::newRow("review state and note")
            << QByteArray("[{\"id\": 3, \"reviewState\": \"needs-work\", \"reviewNote\": "
                          "\"box \\\"x\\\"\"}, {\"id\": 4, \"reviewState\": \"reviewed\", "
                          "\"reviewNote\": \"\"}, {\"id\": 5, \"reviewState\": \"\"}]")
            << QByteArray(
                   "[\n"
                   "    {\n        \"bboxes\": [\n        ],\n        \"fileName\": \"\",\n"
                   "        \"filePath\": \"\",\n        \"height\": 0,\n        \"id\": 3,\n"
                   "        \"reviewNote\": \"box \\\"x\\\"\",\n"
                   "        \"reviewState\": \"needs-work\",\n        \"width\": 0\n    },\n"
                   "    {\n        \"bboxes\": [\n        ],\n        \"fileName\": \"\",\n"
                   "        \"filePath\": \"\",\n        \"height\": 0,\n        \"id\": 4,\n"
                   "        \"reviewState\": \"reviewed\",\n        \"width\": 0\n    },\n"
                   "    {\n        \"bboxes\": [\n        ],\n        \"fileName\": \"\",\n"
                   "        \"filePath\": \"\",\n        \"height\": 0,\n        \"id\": 5,\n"
                   "        \"width\": 0\n    }\n"
                   "]\n");
    }
    void exactBytes()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        writeBytes(path("in.json"), input);
        model->loadJson(path("in.json"));
        model->exportJson(path("out.json"));
        QCOMPARE(readBytes(path("out.json")), expected);
    }

    void roundTripIsExact()
    {
        // Rows from a YOLO load, with unsaved edits and awkward values.
        QDir(dir->path()).mkpath("labels");
        writeBytes(path("labels/a.txt"), "1 0.123457 0.5 0.1 0.1\n-3 1e-05 2.5 0 -0.25");
        writeBytes(path("labels/b.txt"), "");
        writeBytes(path("labels/c d é.txt"), "80 0.999999 0.000001 0.3 0.7");
        writeBytes(path("labels/shapes.txt"),
                   "0 0.1 0.2 0.333333 0.2 0.3 0.4\n1 0.5 0.5 0.2 0.2 0.5 0.45 2");
        model->loadYolo(path("labels"), path("images"));
        const_cast<BBoxList *>(boxes(0))->setData(boxes(0)->index(0, 0), 0.1 + 0.2, 1);
        const_cast<BBoxList *>(boxes(0))->appendRow(2, 1.0 / 3.0, 2.0 / 3.0);

        struct Row
        {
            QString name, path;
            QVector<BoxInfo> boxes;
        };
        QVector<Row> before;
        for (int r = 0; r < model->rowCount(); ++r) {
            Row row{role(r, 0).toString(), role(r, 1).toString(), {}};
            for (const auto &b : boxes(r)->boxList())
                row.boxes << *b;
            before << row;
        }
        model->exportJson(path("set.json"));
        clearModel();
        model->loadJson(path("set.json"));
        QCOMPARE(model->rowCount(), before.size());
        for (int r = 0; r < before.size(); ++r) {
            QCOMPARE(role(r, 0).toString(), before[r].name);
            // A plain path, and the size from the image's header where it has one.
            QCOMPARE(role(r, 1).toString(), ImageList::plainPath(before[r].path));
            QCOMPARE(role(r, 2).toInt(),
                     qMax(0, QImageReader(role(r, 1).toString()).size().width()));
            QCOMPARE(role(r, 5).toString(), QString());
            QCOMPARE(boxes(r)->rowCount(), before[r].boxes.size());
            for (int b = 0; b < before[r].boxes.size(); ++b) {
                const BoxInfo &x = *boxes(r)->boxList().at(b), &y = before[r].boxes[b];
                QCOMPARE(x.catId, y.catId);
                QVERIFY(sameBits(x.cx, y.cx));
                QVERIFY(sameBits(x.cy, y.cy));
                QVERIFY(sameBits(x.cw, y.cw));
                QVERIFY(sameBits(x.ch, y.ch));
                QVERIFY(x.shape() == y.shape());
            }
        }
        // The ids the YOLO load gave (1, 2, 3) come back too.
        model->exportJson(path("again.json"));
        QCOMPARE(readBytes(path("again.json")), readBytes(path("set.json")));
    }

    void loadingAppends()
    {
        writeBytes(path("in.json"), R"([{"id": 1, "fileName": "a"}, {"id": 2, "fileName": "b"}])");
        model->loadJson(path("in.json"));
        QSignalSpy reset(model, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
        QSignalSpy completed(model, &ImageList::readFileCompleted);
        model->loadJson(path("in.json"));
        QCOMPARE(reset.count(), 1);
        QCOMPARE(inserted.count(), 0);
        QCOMPARE(completed.count(), 0);
        QStringList names;
        for (int r = 0; r < model->rowCount(); ++r)
            names << role(r, 0).toString();
        QCOMPARE(names, QStringList({"a", "b", "a", "b"}));
    }

    void lenientReading_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("firstName");
        QTest::addColumn<int>("firstBoxes");
        QTest::addColumn<BoxInfo>("firstBox");
        QTest::newRow("box without catId")
            << QByteArray(R"([{"bboxes": [{"cx": 0.5, "cy": 0.5, "cw": 0.1, "ch": 0.2}]}])") << 1
            << "" << 1 << BoxInfo{0, 0.5, 0.5, 0.1, 0.2};
        QTest::newRow("box with only catId") << QByteArray(R"([{"bboxes": [{"catId": 4}]}])") << 1
                                             << "" << 1 << BoxInfo{4, 0, 0, 0, 0};
        QTest::newRow("box that is not an object")
            << QByteArray(R"([{"bboxes": [3, "x", null]}])") << 1 << "" << 3 << BoxInfo{};
        QTest::newRow("image that is not an object")
            << QByteArray(R"([17, {"fileName": "b"}])") << 2 << "" << 0 << BoxInfo{};
        QTest::newRow("mistyped members")
            << QByteArray(R"([{"id": "3", "fileName": 5, "width": 1.5, "bboxes": {"catId": 1}}])")
            << 1 << "" << 0 << BoxInfo{};
        QTest::newRow("strings for numbers in a box")
            << QByteArray(R"([{"fileName": "x", "bboxes": [{"catId": "1", "cx": "0.5"}]}])") << 1
            << "x" << 1 << BoxInfo{};
        QTest::newRow("missing file path kept")
            << QByteArray(R"([{"fileName": "x", "filePath": "/no/such.jpg"}])") << 1 << "x" << 0
            << BoxInfo{};
        QTest::newRow("top-level object") << QByteArray(R"({"a": 1})") << 0 << "" << 0 << BoxInfo{};
        QTest::newRow("invalid json") << QByteArray(R"([{"id": 1},)") << 0 << "" << 0 << BoxInfo{};
        QTest::newRow("truncated")
            << QByteArray("[{\"id\": 1, \"fileName\": \"a") << 0 << "" << 0 << BoxInfo{};
        QTest::newRow("empty file") << QByteArray("") << 0 << "" << 0 << BoxInfo{};
        QTest::newRow("too deep") << QByteArray(2000, '[') + QByteArray(2000, ']') << 0 << "" << 0
                                  << BoxInfo{};
    }
    void lenientReading()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, rows);
        QFETCH(QString, firstName);
        QFETCH(int, firstBoxes);
        QFETCH(BoxInfo, firstBox);
        writeBytes(path("keep.json"), R"([{"id": 1, "fileName": "kept"}])");
        model->loadJson(path("keep.json"));
        writeBytes(path("in.json"), json);
        QSignalSpy reset(model, &QAbstractItemModel::modelReset);
        model->loadJson(path("in.json"));
        QCOMPARE(reset.count(), 1);
        QCOMPARE(model->rowCount(), 1 + rows);
        QCOMPARE(role(0, 0).toString(), QStringLiteral("kept"));
        if (rows == 0)
            return;
        QCOMPARE(role(1, 0).toString(), firstName);
        QCOMPARE(role(1, 2).toInt(), 0);
        QCOMPARE(boxes(1)->rowCount(), firstBoxes);
        if (firstBoxes > 0) {
            const BoxInfo &box = *boxes(1)->boxList().at(0);
            QCOMPARE(box.catId, firstBox.catId);
            QCOMPARE(box.cx, firstBox.cx);
            QCOMPARE(box.cy, firstBox.cy);
            QCOMPARE(box.cw, firstBox.cw);
            QCOMPARE(box.ch, firstBox.ch);
        }
    }

    void missingFileAddsNothing()
    {
        writeBytes(path("keep.json"), R"([{"id": 1}])");
        model->loadJson(path("keep.json"));
        QSignalSpy reset(model, &QAbstractItemModel::modelReset);
        model->loadJson(path("missing.json"));
        QCOMPARE(reset.count(), 1);
        QCOMPARE(model->rowCount(), 1);
    }

    void secondExportReplacesTheFile()
    {
        writeBytes(path("in.json"),
                   R"([{"id": 1, "fileName": "a long name to make a long file"}])");
        model->loadJson(path("in.json"));
        model->exportJson(path("out.json"));
        const QByteArray first = readBytes(path("out.json"));
        clearModel();
        model->exportJson(path("out.json"));
        QCOMPARE(readBytes(path("out.json")), QByteArray("[\n]\n"));
        QVERIFY(first.size() > 4);
    }

    void exportToMissingFolderWritesNothing()
    {
        model->exportJson(path("gone/out.json"));
        QVERIFY(!QFileInfo::exists(path("gone")));
    }

    void toJsonArray()
    {
        BBoxList list;
        QCOMPARE(list.toJsonArray(), QJsonArray());
        list.appendBox(3, 0.1, 0.2, 0.3, 0.4);
        const QJsonArray array = list.toJsonArray();
        QCOMPARE(array.size(), 1);
        const QJsonObject box = array.at(0).toObject();
        QCOMPARE(box.keys(), QStringList({"catId", "ch", "cw", "cx", "cy"}));
        QVERIFY(box.value("catId").isDouble());
        QCOMPARE(box.value("catId").toInt(), 3);
        QCOMPARE(box.value("cw").toDouble(), 0.3);
    }

    // A dataset opened from its JSON file keeps its class names and sizes, and Save in the
    // editor writes that file again: reopened, it has the edit.
    void editsSavedToTheirFile()
    {
        QDir(dir->path()).mkpath("labels");
        QDir(dir->path()).mkpath("images");
        writeBytes(path("labels/classes.txt"), "cat\ndog\n");
        writeBytes(path("labels/a.txt"), "1 0.5 0.5 0.2 0.2\n");
        QImage(40, 30, QImage::Format_RGB32).save(path("images/a.jpg"));
        model->loadYolo(path("labels"), path("images"));
        QVERIFY(model->writeJson(path("set.json"), nullptr));
        QCOMPARE(model->openJsonFile(path("set.json")), 1);
        QCOMPARE(model->origin(), ImageList::Origin::DatasetJson);
        QCOMPARE(model->classNameTable(), (QStringList{"cat", "dog"}));
        QCOMPARE(role(0, 2).toInt(), 40);

        EditSession *session = EditSession::instance();
        session->open(0);
        session->moveBox(0, 0.25, 0.5, 0.2, 0.2, false);
        QCOMPARE(model->unsavedCount(), 1);
        QVERIFY(session->save());
        QCOMPARE(session->message(), QString());
        QCOMPARE(model->unsavedCount(), 0);
        session->close();

        model->loadYolo(path("no-such-folder"), QString());
        QCOMPARE(model->openJsonFile(path("set.json")), 1);
        QCOMPARE(boxes(0)->boxList().at(0)->cx, 0.25);
        QCOMPARE(model->classNameTable(), (QStringList{"cat", "dog"}));
        // A file that names no images replaces nothing.
        writeBytes(path("none.json"), "[]");
        QCOMPARE(model->openJsonFile(path("none.json")), 0);
        QCOMPARE(model->rowCount(), 1);
    }
};

QTEST_GUILESS_MAIN(TestDatasetJson)
#include "tst_datasetjson.moc"
