#include "app/commandline.h"
#include "app/datasetactions.h"
#include "dataset/classcounts.h"
#include "dataset/imagefilter.h"
#include "dataset/imagelist.h"
#include "dataset/naturalorder.h"
#include "edit/editsession.h"
#include "edit/recoveryjournal.h"
#include "testutil.h"

#include <QAbstractItemModelTester>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

// What the window does with the whole dataset: rows in name order, images without labels,
// the grid's filters and the class counts, the menu's actions and the command line.
class TestDatasetViews : public QObject, public DatasetFixture
{
    Q_OBJECT

private:
    DatasetActions *actions = nullptr;
    ImageFilter *filter = nullptr;

    QStringList shown() const
    {
        QStringList result;
        for (int r = 0; r < filter->rowCount(); ++r)
            result << filter->data(filter->index(r, 0), 0).toString();
        return result;
    }
    // a: classes 0 and 1; b: class 2; c: no boxes; d: class 1, no image; e: an image only.
    void makeDataset()
    {
        QDir(path(".")).mkpath("labels");
        QDir(path(".")).mkpath("images");
        writeBytes(path("labels/a.txt"), "0 0.5 0.5 0.2 0.2\r\n1 0.2 0.2 0.1 0.1\r\n");
        writeBytes(path("labels/b.txt"), "# reviewed\n2 0.5 0.5 0.4 0.4\n");
        writeBytes(path("labels/c.txt"), "");
        writeBytes(path("labels/d.txt"), "1 0.3 0.3 0.2 0.2\n1 0.6 0.6 0.2 0.2\n");
        for (const char *name : {"a", "b", "c", "e"})
            QVERIFY(QImage(40, 30, QImage::Format_RGB32)
                        .save(path(QStringLiteral("images/%1.jpg").arg(name))));
    }

private slots:
    void initTestCase()
    {
        model = ImageList::instance();
        actions = DatasetActions::instance();
        filter = actions->filter();
    }
    void init()
    {
        newFolder();
        filter->clear();
        model->setShowUnlabelled(false);
    }
    void cleanup() { model->loadYolo(QString(), QString()); }

    void naturalOrder_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order");
        QTest::newRow("numbers by value") << "img2"
                                          << "img10" << -1;
        QTest::newRow("longer number") << "img100"
                                       << "img99" << 1;
        QTest::newRow("beyond 64 bits") << "x123456789012345678901234"
                                        << "x123456789012345678901235" << -1;
        QTest::newRow("letters without case") << "apple"
                                              << "Banana" << -1;
        QTest::newRow("case only: upper first") << "Img"
                                                << "img" << -1;
        QTest::newRow("leading zeros: fewer first") << "img1"
                                                    << "img01" << -1;
        QTest::newRow("zero padding sorts as the number") << "000999"
                                                          << "001000" << -1;
        QTest::newRow("prefix first") << "frame"
                                      << "frame1" << -1;
        QTest::newRow("runs after a number") << "a1b2"
                                             << "a1b10" << -1;
        QTest::newRow("equal") << "same_7"
                               << "same_7" << 0;
        QTest::newRow("non-ASCII by code") << "é1"
                                           << "z1" << 1;
    }
    void naturalOrder()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        QCOMPARE(qBound(-1, natural::compare(a, b), 1), order);
        QCOMPARE(qBound(-1, natural::compare(b, a), 1), -order);
    }

    // Rows come in natural order whatever the listing's, ids numbered in it.
    void rowsInNameOrder()
    {
        QDir(path(".")).mkpath("labels");
        for (const char *name : {"img10", "img2", "IMG3", "img1", "a_0"})
            writeBytes(path(QStringLiteral("labels/%1.txt").arg(name)), "");
        model->loadYolo(path("labels"), path("images"));
        QCOMPARE(names(), QStringList({"a_0", "img1", "img2", "IMG3", "img10"}));
        QCOMPARE(role(4, 1).toString(), "/" + path("images") + "/img10.jpg");
    }

    // Goto: a name (with or without its extension) before a tile number, then the start of a
    // name, then a part of one.
    void find_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("row");
        QTest::newRow("tile number") << "2" << 2;
        QTest::newRow("beyond the last") << "9" << -1;
        QTest::newRow("a name made of digits") << "007" << 1;
        QTest::newRow("name with extension") << "img10.jpg" << 3;
        QTest::newRow("start of a name") << "IMG1" << 2;
        QTest::newRow("part of a name") << "ame" << 4;
        QTest::newRow("nothing") << "zzz" << -1;
    }
    void find()
    {
        QFETCH(QString, text);
        QFETCH(int, row);
        QDir(path(".")).mkpath("labels");
        for (const char *name : {"5", "007", "img1", "img10", "name"})
            writeBytes(path(QStringLiteral("labels/%1.txt").arg(name)), "");
        model->loadYolo(path("labels"), path("images"));
        QCOMPARE(names(), QStringList({"5", "007", "img1", "img10", "name"}));
        QCOMPARE(filter->find(text), row);
    }

    // Each filter, alone and together, over rows with and without classes, boxes, label files
    // and images; the tester watches the proxy through every change.
    void filters_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QVariantList>("classes");
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("none") << "" << QVariantList() << ""
                              << QStringList({"a", "b", "c", "d", "e"});
        QTest::newRow("name, any case") << "B" << QVariantList() << "" << QStringList({"b"});
        QTest::newRow("one class") << "" << QVariantList({1}) << "" << QStringList({"a", "d"});
        QTest::newRow("two classes") << "" << QVariantList({2, 0}) << "" << QStringList({"a", "b"});
        QTest::newRow("a class no one has") << "" << QVariantList({79}) << "" << QStringList();
        QTest::newRow("no boxes") << "" << QVariantList() << "noBoxesOnly"
                                  << QStringList({"c", "e"});
        QTest::newRow("no label file")
            << "" << QVariantList() << "noLabelFileOnly" << QStringList({"e"});
        QTest::newRow("image missing")
            << "" << QVariantList() << "imageMissingOnly" << QStringList({"d"});
        QTest::newRow("class and name") << "d" << QVariantList({1}) << "" << QStringList({"d"});
        QTest::newRow("unsaved") << "" << QVariantList() << "unsavedOnly" << QStringList();
    }
    void filters()
    {
        QFETCH(QString, search);
        QFETCH(QVariantList, classes);
        QFETCH(QString, flag);
        QFETCH(QStringList, expected);
        makeDataset();
        model->setShowUnlabelled(true);
        model->loadYolo(path("labels"), path("images"));
        StatusTipHidingProxy watched;
        watched.setSourceModel(filter);
        QAbstractItemModelTester tester(&watched,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(filter->filterRole(), 0); // the name
        filter->setSearch(search);
        filter->setClasses(classes);
        if (!flag.isEmpty())
            QVERIFY(filter->setProperty(flag.toLatin1(), true));
        QCOMPARE(shown(), expected);
        QCOMPARE(filter->summary(),
                 flag.isEmpty() && search.isEmpty() && classes.isEmpty()
                     ? QStringLiteral("5 images")
                     : QStringLiteral("%1 of 5 images").arg(expected.size()));
        filter->clear();
        QCOMPARE(shown().size(), 5);
    }

    // Edits reach the filters and the counts: the rows they change come and go, PageDown
    // follows the rows shown, and an image that an edit took out still has neighbours.
    void editsReachFiltersAndCounts()
    {
        makeDataset();
        model->loadYolo(path("labels"), path("images"));
        EditSession *session = EditSession::instance();
        ClassCounts *counts = actions->counts();
        counts->setActive(true);
        const auto count = [&](int catId) {
            for (int r = 0; r < counts->rowCount(); ++r) {
                const QModelIndex i = counts->index(r, 0);
                if (counts->data(i, ClassCounts::CatId).toInt() == catId)
                    return QStringLiteral("%1/%2")
                        .arg(counts->data(i, ClassCounts::Boxes).toInt())
                        .arg(counts->data(i, ClassCounts::Images).toInt());
            }
            return QStringLiteral("-");
        };
        QCOMPARE(counts->data(counts->index(0, 0), ClassCounts::CatId).toInt(), 1); // most boxes
        QCOMPARE(count(1), "3/2");
        filter->setNoBoxesOnly(true);
        QCOMPARE(shown(), QStringList({"c"}));
        filter->setNoBoxesOnly(false);
        filter->setClasses({1});
        QCOMPARE(shown(), QStringList({"a", "d"}));
        session->open(rowOf("a"));
        QCOMPARE(session->neighbourRow(1), rowOf("d")); // b and c are not shown
        QCOMPARE(session->neighbourRow(-1), -1);
        session->setCategory(1, 2); // a's only class-1 box becomes class 2
        QCOMPARE(shown(), QStringList({"d"}));
        QCOMPARE(session->neighbourRow(1), rowOf("d"));
        counts->recount();
        QCOMPARE(count(1), "2/1");
        QCOMPARE(count(2), "2/2");
        filter->setClasses({});
        filter->setUnsavedOnly(true);
        QCOMPARE(shown(), QStringList({"a"}));
        expectSaveMessages(path("labels/a.txt"));
        QVERIFY(session->save());
        QCOMPARE(shown(), QStringList());
        session->close();
        counts->setActive(false);
    }

    // An image without a label file gets a row when asked for; opening it writes nothing, Save
    // writes an empty file, and turning the rows off keeps one with edits.
    void imagesWithoutLabels()
    {
        makeDataset();
        model->loadYolo(path("labels"), path("images"));
        QCOMPARE(names(), QStringList({"a", "b", "c", "d"}));
        model->setShowUnlabelled(true);
        QCOMPARE(names(), QStringList({"a", "b", "c", "d", "e"}));
        const int e = rowOf("e");
        QCOMPARE(role(e, 6), QVariant(false));
        QCOMPARE(role(e, 1).toString(), "/" + path("images") + "/e.jpg");
        EditSession *session = EditSession::instance();
        session->open(e);
        QVERIFY(!QFile::exists(path("labels/e.txt")));
        QVERIFY(session->ableToSave());
        expectSaveMessages(path("labels/e.txt"));
        QVERIFY(session->save());
        QCOMPARE(readBytes(path("labels/e.txt")), QByteArray());
        QCOMPARE(role(e, 6), QVariant(true));
        session->close();
        QFile::remove(path("labels/e.txt"));
        model->loadYolo(path("labels"), path("images"));
        session->open(rowOf("e"));
        session->addBox(0, 20, 15, 40, 30);
        session->close();
        // The recovery file of the edit outlasts the rows' new layout.
        session->journal()->writeNow();
        const QString recovery = RecoveryJournal::pathFor(path("labels"));
        QVERIFY(QFile::exists(recovery));
        model->setShowUnlabelled(false);
        QCOMPARE(names(), QStringList({"a", "b", "c", "d", "e"})); // e has edits
        QVERIFY(QFile::exists(recovery));
        QVERIFY(!QFile::exists(path("labels/e.txt")));
        QCOMPARE(model->saveUnsaved(), QStringList());
        QVERIFY(readBytes(path("labels/e.txt")).startsWith("0 0.5 0.5 "));
    }

    // The menu's actions on real-shaped files, and the line each leaves for the window.
    void menuActions_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("result");
        QTest::addColumn<bool>("error");
        QTest::newRow("load") << "yolo"
                              << "Loaded 4 images from yolo" << false;
        QTest::newRow("coco pair") << "coco"
                                   << "Loaded 2 images from coco, 2 boxes." << false;
        QTest::newRow("json round trip") << "json"
                                         << "Loaded 4 images from json" << false;
        QTest::newRow("export") << "export"
                                << "Wrote 4 label files to %1/out" << false;
        QTest::newRow("export to no folder") << "export nowhere"
                                             << "The folder %1/nowhere does not exist." << true;
        QTest::newRow("not JSON") << "bad json"
                                  << "%1/bad.json is not JSON: illegal value at byte 1." << true;
        QTest::newRow("empty labels") << "empty"
                                      << "No label files in %1/empty" << true;
        QTest::newRow("swapped")
            << "swapped"
            << "No label files in %1/images. This folder holds images: are the two folders swapped?"
            << true;
    }
    void menuActions()
    {
        QFETCH(QString, action);
        QFETCH(QString, result);
        QFETCH(bool, error);
        makeDataset();
        QString said;
        if (action == "coco") {
            // Two images with a kept box each, one without, one whose file is missing.
            QJsonArray images, anns;
            for (int id = 1; id <= 4; ++id)
                images.append(QJsonObject{
                    {"id", id},
                    {"file_name", QStringLiteral("%1.jpg").arg(id, 12, 10, QLatin1Char('0'))},
                    {"width", 640},
                    {"height", 480}});
            for (int id : {1, 2, 4})
                anns.append(QJsonObject{{"image_id", id},
                                        {"category_id", 1},
                                        {"bbox", QJsonArray{100, 100, 200, 250}}});
            writeBytes(path("images.json"), QJsonDocument(images).toJson());
            writeBytes(path("anns.json"), QJsonDocument(anns).toJson(QJsonDocument::Compact));
            QDir(path(".")).mkpath("coco");
            for (int id : {1, 2, 3})
                writeBytes(path(QStringLiteral("coco/%1.jpg").arg(id, 12, 10, QLatin1Char('0'))),
                           "");
            said = actions->openCoco(path("images.json"), path("anns.json"), path("coco"));
        } else if (action == "json") {
            model->loadYolo(path("labels"), path("images"));
            QCOMPARE(actions->saveJson(path("set.json")), "Wrote 4 images to " + path("set.json"));
            said = actions->openJson(path("set.json"));
            QCOMPARE(actions->result(), said);
            QCOMPARE(model->rowCount(), 4); // replaced, not added to
            said = actions->saveJson(path("again.json"));
            result = "Wrote 4 images to %1/again.json";
            QCOMPARE(readBytes(path("again.json")), readBytes(path("set.json")));
        } else if (action.startsWith("export")) {
            model->loadYolo(path("labels"), path("images"));
            QDir(path(".")).mkpath("out");
            said = actions->exportYolo(path(action == "export" ? "out" : "nowhere"));
            if (action == "export") {
                QCOMPARE(readBytes(path("out/b.txt")), "# reviewed\n2 0.5 0.5 0.4 0.4\n");
                QCOMPARE(readBytes(path("out/c.txt")), QByteArray());
            }
        } else if (action == "bad json") {
            writeBytes(path("bad.json"), "not json");
            said = actions->openJson(path("bad.json"));
        } else if (action == "empty") {
            QDir(path(".")).mkpath("empty");
            said = actions->openYolo(path("empty"), path("images"));
        } else if (action == "swapped") {
            said = actions->openYolo(path("images"), path("labels"));
        } else {
            said = actions->openYolo(path("labels"), path("images"));
        }
        QCOMPARE(said, result.contains("%1") ? result.arg(dir->path()) : result);
        QCOMPARE(actions->result(), said);
        QCOMPARE(actions->resultIsError(), error);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("yaml");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("images");
        QTest::addColumn<QString>("labels");
        const QString yaml = "data.yaml";
        QTest::newRow("nothing") << QStringList() << "" << int(CommandLine::Run) << ""
                                 << "";
        QTest::newRow("two folders")
            << QStringList({"imgs", "lbls"}) << "" << int(CommandLine::Run) << "imgs"
            << "lbls";
        QTest::newRow("help wins")
            << QStringList({"imgs", "--help"}) << "" << int(CommandLine::Help) << ""
            << "";
        QTest::newRow("version") << QStringList({"-v"}) << "" << int(CommandLine::Version) << ""
                                 << "";
        QTest::newRow("one folder") << QStringList({"imgs"}) << "" << int(CommandLine::Fail) << ""
                                    << "";
        QTest::newRow("three") << QStringList({"a", "b", "c"}) << "" << int(CommandLine::Fail) << ""
                               << "";
        QTest::newRow("unknown option")
            << QStringList({"--frobnicate"}) << "" << int(CommandLine::Fail) << ""
            << "";
        QTest::newRow("yaml, relative path")
            << QStringList({yaml})
            << "path: ds\ntrain: images/train\nval: images/val\nnames: {0: person}\n"
            << int(CommandLine::Run) << "ds/images/train"
            << "ds/labels/train";
        QTest::newRow("yaml, train list of one, last images")
            << QStringList({yaml}) << "train: [images/a/images]\n"
            << int(CommandLine::Run) << "images/a/images"
            << "images/a/labels";
        QTest::newRow("yaml without images") << QStringList({yaml}) << "train: pictures\n"
                                             << int(CommandLine::Fail) << ""
                                             << "";
        QTest::newRow("yaml without train") << QStringList({yaml}) << "names: [a]\n"
                                            << int(CommandLine::Fail) << ""
                                            << "";
        QTest::newRow("yaml, broken") << QStringList({yaml}) << "train: [\n"
                                      << int(CommandLine::Fail) << ""
                                      << "";
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, yaml);
        QFETCH(int, action);
        QFETCH(QString, images);
        QFETCH(QString, labels);
        for (const char *folder : {"ds/images/train", "images/a/images", "pictures"})
            QDir(path(".")).mkpath(folder);
        if (!yaml.isEmpty()) {
            writeBytes(path("data.yaml"), yaml.toUtf8());
            arguments.replaceInStrings("data.yaml", path("data.yaml"));
        }
        const CommandLine line = parseCommandLine(arguments);
        QCOMPARE(int(line.action), action);
        const QString base = yaml.isEmpty() ? QDir::currentPath() + "/" : dir->path() + "/";
        QCOMPARE(line.images, images.isEmpty() ? images : base + images);
        QCOMPARE(line.labels, labels.isEmpty() ? labels : base + labels);
        QCOMPARE(line.message.isEmpty(), action != CommandLine::Fail);
        QCOMPARE(line.yaml,
                 yaml.isEmpty() || action == CommandLine::Fail ? QString() : path("data.yaml"));
    }

    // --split: which split of the dataset file opens, or why none can.
    void splitOption_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("split"); // or the start of the message of a usage error
        const QString yaml = "data.yaml";
        QTest::newRow("train by default") << QStringList{yaml} << "train";
        QTest::newRow("val") << QStringList{yaml, "--split", "val"} << "val";
        QTest::newRow("unknown") << QStringList{yaml, "--split", "dev"}
                                 << "error: Unknown split \"dev\": choose train, val or test";
        QTest::newRow("absent") << QStringList{"--split", "val", "only-train.yaml"}
                                << "error: %1/only-train.yaml names no val images; its splits "
                                   "are train";
        QTest::newRow("without a dataset file")
            << QStringList{"imgs", "lbls", "--split", "val"}
            << "error: --split names a split of a DATA.yaml, and none is given";
    }
    void splitOption()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, split);
        QDir(path(".")).mkpath("images/train");
        QDir(path(".")).mkpath("images/val");
        writeBytes(path("data.yaml"), "train: images/train\nval: images/val\n");
        writeBytes(path("only-train.yaml"), "train: images/train\nval:\n");
        arguments.replaceInStrings(QRegularExpression("^(\\w.*\\.yaml)$"), path("\\1"));
        const CommandLine line = parseCommandLine(arguments);
        if (split.startsWith("error: ")) {
            QCOMPARE(int(line.action), int(CommandLine::Fail));
            QCOMPARE(line.message, split.mid(7).replace("%1", dir->path()));
        } else {
            QCOMPARE(int(line.action), int(CommandLine::Run));
            QCOMPARE(line.split, split);
            QCOMPARE(line.images, path("images/" + split));
        }
    }

    // A split's entries as a load takes them, with paths under the test folder: "folder IMAGES
    // LABELS" or "list IMAGE…"; or "error: " and a word of the message.
    void splitParts_data()
    {
        QTest::addColumn<QString>("yaml");
        QTest::addColumn<QString>("split");
        QTest::addColumn<QStringList>("parts");
        const QString yaml = "path: ds\ntrain: images/train\nval: [images/a, images/b/]\n"
                             "test: lists/test.txt\n";
        QTest::newRow("folder") << yaml << "train"
                                << QStringList{"folder ds/images/train ds/labels/train"};
        QTest::newRow("list of folders")
            << yaml << "val"
            << QStringList{"folder ds/images/a ds/labels/a", "folder ds/images/b ds/labels/b"};
        // "./" under the list's folder, an absolute line as it is, another under the root.
        QTest::newRow("image list")
            << yaml << "test"
            << QStringList{"list ds/lists/images/1.jpg elsewhere/images/2.png ds/images/3.jpg "
                           "ds/lists/images/4.jpg"};
        QTest::newRow("folder and image list, no path")
            << "train: [ds/images/a, ds/lists/test.txt]\n"
            << "train"
            << QStringList{"folder ds/images/a ds/labels/a",
                           "list ds/lists/images/1.jpg elsewhere/images/2.png images/3.jpg "
                           "ds/lists/images/4.jpg"};
        QTest::newRow("absent split") << "path: ds\ntrain: images/train\ntest: []\n"
                                      << "test" << QStringList{"error: names no test images"};
        QTest::newRow("not a split") << yaml << "dev" << QStringList{"error: names no dev images"};
        QTest::newRow("missing folder") << "path: ds\nval: [images/a, images/c]\n"
                                        << "val" << QStringList{"error: ds/images/c of"};
        QTest::newRow("no images folder in the path")
            << "val: ds/pictures\n"
            << "val" << QStringList{"error: no \"images\" folder"};
        QTest::newRow("a mapping") << "val: {a: b}\n"
                                   << "val" << QStringList{"error: neither a path nor a list"};
    }
    void splitParts()
    {
        QFETCH(QString, yaml);
        QFETCH(QString, split);
        QFETCH(QStringList, parts);
        for (const char *folder :
             {"ds/images/train", "ds/images/a", "ds/images/b", "ds/lists", "ds/pictures"})
            QDir(path(".")).mkpath(folder);
        writeBytes(path("ds/lists/test.txt"),
                   QStringLiteral("./images/1.jpg\n%1/elsewhere/images/2.png\nimages/3.jpg\n\n"
                                  "  ./images/4.jpg \r\n")
                       .arg(dir->path())
                       .toUtf8());
        writeBytes(path("data.yaml"), yaml.toUtf8());
        const DatasetFile file = readDatasetFile(path("data.yaml"));
        QString error = file.error;
        const QVector<ImageList::YoloPart> found
            = error.isEmpty() ? ::splitParts(file, split, &error) : QVector<ImageList::YoloPart>();
        if (parts.first().startsWith("error: ")) {
            QVERIFY2(error.contains(parts.first().mid(7)), qPrintable(error));
            QVERIFY(found.isEmpty());
            return;
        }
        QCOMPARE(error, QString());
        const QDir base(dir->path());
        QStringList described;
        for (const ImageList::YoloPart &part : found) {
            QStringList words{part.listed ? "list" : "folder"};
            for (const QString &entry :
                 part.listed ? part.imageFiles : QStringList{part.images, part.labels})
                words << base.relativeFilePath(entry);
            described << words.join(' ');
        }
        QCOMPARE(described, parts);
    }

    // Opening a split of the dataset file: its rows and class names, the split shown; a split
    // that cannot be opened leaves the dataset as it is.
    void openSplit()
    {
        makeDataset();
        writeBytes(path("val.txt"), "./images/a.jpg\n./images/c.jpg\n./images/e.jpg\n");
        writeBytes(path("data.yaml"), "train: images\nval: val.txt\nnames: [zero, one, two]\n");
        actions->setDatasetFile(path("data.yaml"));
        QCOMPARE(actions->splits(), QStringList({"train", "val"}));
        QCOMPARE(actions->datasetName(), QFileInfo(dir->path()).fileName());
        QSignalSpy changed(actions, &DatasetActions::splitChanged);

        QCOMPARE(actions->openSplit("val"), "Loaded 3 images from val");
        QCOMPARE(names(), QStringList({"a", "c", "e"}));
        QCOMPARE(boxes(0)->rowCount(), 2);
        QCOMPARE(model->classFile(), path("data.yaml"));
        QCOMPARE(actions->split(), "val");
        QCOMPARE(actions->splitLabels(), QString());
        QCOMPARE(changed.count(), 1);

        QCOMPARE(actions->openSplit("test"),
                 path("data.yaml") + " names no test images; its splits are train and val");
        QVERIFY(actions->resultIsError());
        QCOMPARE(actions->split(), "val");
        QCOMPARE(model->rowCount(), 3);

        QCOMPARE(actions->openSplit("train"), "Loaded 4 images from train");
        QCOMPARE(actions->splitLabels(), path("labels"));
        // Load again on the split's folders still shows the split; other folders do not.
        actions->openYolo(path("labels"), path("images"));
        QCOMPARE(actions->split(), "train");
        QCOMPARE(model->classFile(), path("data.yaml"));
        // An open that fails keeps the dataset and split shown; another dataset does not.
        QDir(dir->path()).mkpath("other");
        for (const char *folder : {"nowhere", "other"}) {
            QVERIFY(!actions->openYolo(path(folder), path("images")).isEmpty());
            QVERIFY(actions->resultIsError());
            QCOMPARE(actions->split(), "train");
            QCOMPARE(model->rowCount(), 4);
        }
        writeBytes(path("other/x.txt"), "0 0.5 0.5 0.1 0.1\n");
        actions->openYolo(path("other"), path("images"));
        QCOMPARE(actions->split(), QString());
        actions->setDatasetFile(QString());
        QCOMPARE(actions->splits(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestDatasetViews)
#include "tst_datasetviews.moc"
