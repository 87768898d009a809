#include "app/commandline.h"
#include "app/datasetactions.h"
#include "app/pipeline.h"
#include "dataset/imagelist.h"
#include "format/cocoinstances.h"
#include "format/fastjson.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

// A COCO instances file in every annotation form: read by both readers alike, written back
// equal, converted by the command line, and the two-file import's report.
class TestCocoInstances : public QObject, protected DatasetFixture
{
    Q_OBJECT

    static QByteArray file(const QByteArray &images, const QByteArray &annotations,
                           const QByteArray &categories = R"([{"id": 1, "name": "person"},
                               {"id": 3, "name": "car"}, {"id": 18, "name": "dog"}])")
    {
        return R"({"info": {"year": 2017}, "licenses": [], "images": )" + images
            + R"(, "annotations": )" + annotations + R"(, "categories": )" + categories + "}";
    }

    // What a read gave: each row as "name:" and its boxes ("class" or "class/points"), then
    // the counts.
    static QString summary(ImageList *list, const coco::Instances &report)
    {
        QStringList rows;
        for (int r = 0; r < list->rowCount(); ++r) {
            QStringList boxes;
            for (const auto &box : list->imageAt(r)->bboxes->boxList())
                boxes << (box->shape().isNull() ? QString::number(box->catId)
                                                : QStringLiteral("%1/%2")
                                                      .arg(box->catId)
                                                      .arg(box->shape().pointCount()));
            rows << list->imageAt(r)->fileName + ":" + boxes.join(',');
        }
        const coco::LeftOut &out = report.leftOut;
        return rows.join(' ')
            + QStringLiteral(" | crowd %1 image %2 category %3 repeated %4 bad %5 joined %6")
                  .arg(out.crowd)
                  .arg(out.unknownImage)
                  .arg(out.unknownCategory)
                  .arg(out.repeatedId)
                  .arg(out.badGeometry)
                  .arg(report.joined);
    }

    static QByteArray everyForm()
    {
        return file(R"([{"id": 7, "file_name": "a.jpg", "width": 640, "height": 480},
                        {"id": 9, "file_name": "b.jpg", "width": 200, "height": 100},
                        {"id": 11, "file_name": "empty.jpg", "width": 320, "height": 240}])",
                    R"([{"id": 1, "image_id": 7, "category_id": 18, "bbox": [64, 48, 128, 96],
                         "segmentation": [], "iscrowd": 0},
                        {"id": 2, "image_id": 7, "category_id": 1, "bbox": [10, 10, 90, 90],
                         "segmentation": [[10, 10, 100, 10, 100, 100, 10, 100, 55.5, 60.25]]},
                        {"id": 3, "image_id": 9, "category_id": 3, "bbox": [0, 0, 60, 60],
                         "segmentation": [[0, 0, 20, 0, 20, 20], [40, 40, 60, 40, 60, 60]]},
                        {"id": 4, "image_id": 9, "category_id": 1, "bbox": [0, 0, 50, 50],
                         "segmentation": {"counts": [5, 10, 5], "size": [100, 200]},
                         "iscrowd": 1}])");
    }

private slots:
    void initTestCase() { model = ImageList::instance(); }
    void init() { newFolder(); }

    void read_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("every form") << everyForm()
                                    << "a.jpg:2,0/5 b.jpg:1/8 empty.jpg: | crowd 1 image 0 "
                                       "category 0 repeated 0 bad 0 joined 1";
        // Classes follow the order of the category ids, whatever order the file lists them in.
        QTest::newRow("categories unordered, with gaps")
            << file(R"([{"id": 1, "file_name": "a.jpg", "width": 10, "height": 10}])",
                    R"([{"id": 1, "image_id": 1, "category_id": 90, "bbox": [1, 1, 2, 2]},
                        {"id": 2, "image_id": 1, "category_id": 5, "bbox": [1, 1, 2, 2]}])",
                    R"([{"id": 90, "name": "z"}, {"id": 5, "name": "y"}, {"id": 2, "name": "x"}])")
            << "a.jpg:2,1 | crowd 0 image 0 category 0 repeated 0 bad 0 joined 0";
        QTest::newRow("hostile ids and numbers")
            << file(R"([{"id": 1, "file_name": "a.jpg", "width": 10, "height": 10},
                        {"id": 1, "file_name": "again.jpg", "width": 10, "height": 10},
                        {"id": 2, "file_name": "nosize.jpg"}])",
                    R"([{"id": 1, "image_id": 1, "category_id": 1, "bbox": [1, 1, 2, 2]},
                        {"id": 1, "image_id": 1, "category_id": 1, "bbox": [1, 1, 2, 2]},
                        {"id": 2, "image_id": 5, "category_id": 1, "bbox": [1, 1, 2, 2]},
                        {"id": 3, "image_id": 1, "category_id": 4, "bbox": [1, 1, 2, 2]},
                        {"id": 4, "image_id": 2, "category_id": 1, "bbox": [1, 1, 2, 2]},
                        {"id": 5, "image_id": 1, "category_id": 1, "bbox": [1, 1, -2, 2]},
                        {"id": 6, "image_id": 1, "category_id": 1, "bbox": [1e300, 1, 2]},
                        {"id": 7, "image_id": 1, "category_id": 1, "bbox": [1, 1, 2, 2],
                         "segmentation": [[1, 1, 2], 5]}])",
                    R"([{"id": 1, "name": "a"}, {"id": 1, "name": "b"}])")
            << "a.jpg:0,0 nosize.jpg: | crowd 0 image 1 category 1 repeated 3 bad 3 joined 0";
        QTest::newRow("annotations before images")
            << QByteArray(R"({"annotations": [{"id": 1, "image_id": 3, "category_id": 2,
                          "bbox": [0, 0, 4, 4]}], "categories": [{"id": 2, "name": "x"}],
                          "images": [{"id": 3, "file_name": "c.jpg", "width": 8, "height": 8}]})")
            << "c.jpg:0 | crowd 0 image 0 category 0 repeated 0 bad 0 joined 0";
    }
    void read()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        writeBytes(path("instances.json"), text);
        QString results[2];
        for (fastjson::Mode mode : {fastjson::Mode::Reference, fastjson::Mode::Fast}) {
            fastjson::setMode(mode);
            coco::Instances report;
            QString error;
            const int fallbacks = fastjson::fallbackCount();
            QVERIFY2(model->openCocoInstances(path("instances.json"), path("img"), report, &error),
                     qPrintable(error));
            QCOMPARE(fastjson::fallbackCount(), fallbacks); // the fast reader kept the file
            results[mode == fastjson::Mode::Fast] = summary(model, report);
        }
        fastjson::setMode(fastjson::Mode::Fast);
        QCOMPARE(results[0], expected);
        QCOMPARE(results[1], expected);
        QCOMPARE(model->origin(), ImageList::Origin::CocoInstances);
        QCOMPARE(model->imageAt(0)->filePath, path("img") + "/" + model->imageAt(0)->fileName);
    }

    void readsEveryValue()
    {
        writeBytes(path("instances.json"), everyForm());
        coco::Instances report;
        QVERIFY(model->openCocoInstances(path("instances.json"), path("img"), report, nullptr));
        const BoxInfo &box = *model->imageAt(0)->bboxes->boxList().at(0);
        QCOMPARE(box.cx, 0.2);
        QCOMPARE(box.cy, 0.2);
        QCOMPARE(box.cw, 0.2);
        QCOMPARE(box.ch, 0.2);
        // A polygon's box is the rectangle of its vertices.
        const BoxInfo &polygon = *model->imageAt(0)->bboxes->boxList().at(1);
        QCOMPARE(float(polygon.shape().at(8)), float(55.5 / 640));
        QCOMPARE(float(polygon.shape().at(9)), float(60.25 / 480));
        QCOMPARE(polygon.cw, 90 / 640.0);
        // Two parts joined at their nearest vertices, (20,20) and (40,40), there and back.
        const ShapePoints &joined = model->imageAt(1)->bboxes->boxList().at(0)->shape();
        QVector<double> values;
        for (int i = 0; i < joined.size(); ++i)
            values << joined.at(i) * (i % 2 ? 100 : 200);
        QCOMPARE(values,
                 (QVector<double>{0, 0, 20, 0, 20, 20, 40, 40, 60, 40, 60, 60, 40, 40, 20, 20}));
        QCOMPARE(model->classNames().size(), 3);
        QCOMPARE(model->classNames().at(2).toMap().value("catName").toString(), QString("dog"));
    }

    void writtenBackEqual()
    {
        writeBytes(path("instances.json"), everyForm());
        coco::Instances first;
        QVERIFY(model->openCocoInstances(path("instances.json"), path("img"), first, nullptr));
        QVector<BoxInfo> before;
        for (int r = 0; r < model->rowCount(); ++r)
            for (const auto &box : model->imageAt(r)->bboxes->boxList())
                before << *box;
        coco::ExportCounts counts;
        QVERIFY(model->exportCocoInstances(path("out.json"), counts, nullptr));
        QCOMPARE(counts.images, 3);
        QCOMPARE(counts.boxes, 3);
        // The original category ids and names go back out.
        const QJsonObject written = QJsonDocument::fromJson(readBytes(path("out.json"))).object();
        QCOMPARE(written.value("categories").toArray().at(2).toObject().value("id").toInt(), 18);
        QCOMPARE(
            written.value("annotations").toArray().at(0).toObject().value("category_id").toInt(),
            18);
        QCOMPARE(written.value("images").toArray().at(1).toObject().value("id").toInt(), 9);

        coco::Instances second;
        QVERIFY(model->openCocoInstances(path("out.json"), path("img"), second, nullptr));
        QCOMPARE(summary(model, second),
                 QString("a.jpg:2,0/5 b.jpg:1/8 empty.jpg: | crowd 0 "
                         "image 0 category 0 repeated 0 bad 0 joined 0"));
        int i = 0;
        for (int r = 0; r < model->rowCount(); ++r) {
            for (const auto &box : model->imageAt(r)->bboxes->boxList()) {
                const BoxInfo &was = before.at(i++);
                QCOMPARE(box->catId, was.catId);
                for (double d :
                     {box->cx - was.cx, box->cy - was.cy, box->cw - was.cw, box->ch - was.ch})
                    QVERIFY(std::abs(d) < 1e-6);
                QCOMPARE(box->shape().size(), was.shape().size());
                for (int k = 0; k < box->shape().size(); ++k)
                    QVERIFY(std::abs(box->shape().at(k) - was.shape().at(k)) < 1e-6);
            }
        }
    }

    void pipeline_data()
    {
        QTest::addColumn<QStringList>("arguments"); // {images} and {dir} are replaced
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("written"); // files of the output, sorted
        QTest::newRow("instances to labels")
            << QStringList{"--export-yolo", "{dir}/out", "{images}", "{dir}/instances.json"} << 0
            << QStringList{"a.txt", "b.txt", "classes.txt", "empty.txt"};
        QTest::newRow("labels to instances")
            << QStringList{"--export-coco", "{dir}/out.json", "{images}", "{dir}/labels"} << 0
            << QStringList{"out.json"};
        QTest::newRow("no images folder")
            << QStringList{"--export-yolo", "{dir}/out", "{dir}/none", "{dir}/instances.json"} << 1
            << QStringList();
        QTest::newRow("not an instances file")
            << QStringList{"--export-yolo", "{dir}/out", "{images}", "{dir}/array.json"} << 1
            << QStringList();
    }
    void pipeline()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QStringList, written);
        writeBytes(path("instances.json"), everyForm());
        writeBytes(path("array.json"), "[]");
        QDir(dir->path()).mkpath("images");
        QDir(dir->path()).mkpath("labels");
        writeBytes(path("labels/a.txt"), "0 0.5 0.5 0.25 0.25\n");
        QImage(64, 48, QImage::Format_RGB32).save(path("images/a.jpg"));
        for (QString &argument : arguments)
            argument.replace("{dir}", dir->path()).replace("{images}", path("images"));
        QVERIFY(isPipelineCommand(arguments));
        const CommandLine line = parseCommandLine(arguments);
        QCOMPARE(runPipeline(line), status);
        const QFileInfo output(line.output);
        QStringList files
            = output.isDir() ? QDir(line.output).entryList(QDir::Files) : QStringList();
        if (output.isFile())
            files << output.fileName();
        QCOMPARE(files, written);
        if (written.contains("classes.txt"))
            QCOMPARE(readBytes(line.output + "/classes.txt"), QByteArray("person\ncar\ndog\n"));
        if (written.contains("b.txt")) // the joined outline of class 1, "car"
            QCOMPARE(readBytes(line.output + "/b.txt").split(' ').size(), 17);
        if (written == QStringList{"out.json"}) {
            // The image's size from its header, the class numbered from 1.
            const QJsonObject coco = QJsonDocument::fromJson(readBytes(line.output)).object();
            QCOMPARE(coco.value("images").toArray().at(0).toObject().value("width").toInt(), 64);
            QCOMPARE(coco.value("annotations").toArray().at(0).toObject().value("bbox").toArray(),
                     (QJsonArray{24, 18, 16, 12}));
        }
        // Nothing half-made is left beside the output.
        QCOMPARE(
            QDir(dir->path()).entryList(QStringList{".out-*"}, QDir::AllEntries | QDir::Hidden),
            QStringList());
    }

    void pairSaysWhatItLeftOut()
    {
        QDir(dir->path()).mkpath("coco");
        writeBytes(path("coco/a.jpg"), "");
        writeBytes(path("images.json"), R"([{"id": 1, "file_name": "a.jpg", "width": 640,
                                             "height": 480}])");
        writeBytes(path("anns.json"),
                   R"([{"image_id": 1, "category_id": 1, "bbox": [0, 0, 200, 200]},
            {"image_id": 1, "category_id": 2, "bbox": [0, 0, 200, 200]},
            {"image_id": 1, "category_id": 3, "bbox": [0, 0, 200, 200]},
            {"image_id": 1, "category_id": 1, "bbox": [0, 0, 10, 10]}])");
        writeBytes(path("instances.json"), everyForm());
        DatasetActions *actions = DatasetActions::instance();
        QCOMPARE(actions->openCoco(path("images.json"), path("anns.json"), path("coco")),
                 QString("Loaded 1 image from coco, 1 box; left out 2 boxes of other categories "
                         "and 1 outside the size limits."));
        // An instances file where the pair belongs, and a pair that keeps nothing: the dataset
        // loaded before stays.
        QCOMPARE(actions->openCoco(path("instances.json"), path("anns.json"), path("coco")),
                 QString("This is a COCO instances file: use Open COCO instances file"));
        QCOMPARE(model->rowCount(), 1);
        actions->openCoco(path("images.json"), path("images.json"), path("coco"));
        QCOMPARE(model->rowCount(), 1);
        QVERIFY(actions->resultIsError());
    }
};

QTEST_GUILESS_MAIN(TestCocoInstances)
#include "tst_cocoinstances.moc"
