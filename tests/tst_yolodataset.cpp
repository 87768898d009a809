#include "dataset/imagelist.h"
#include "dataset/naturalorder.h"
#include "testutil.h"

#include "app/utils.h"
#include <QAbstractItemModelTester>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

class TestYoloDataset : public QObject, protected DatasetFixture
{
    Q_OBJECT

private:
    std::unique_ptr<StatusTipHidingProxy> proxy;
    std::unique_ptr<QAbstractItemModelTester> tester;

    void mk(const QString &sub) { QVERIFY(QDir(dir->path()).mkpath(sub)); }

private slots:
    void initTestCase()
    {
        model = ImageList::instance();
        proxy = std::make_unique<StatusTipHidingProxy>();
        proxy->setSourceModel(model);
        tester = std::make_unique<QAbstractItemModelTester>(
            proxy.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    void init()
    {
        newFolder();
        mk("labels");
        mk("images");
    }

    void loadsOneRowPerLabelFile()
    {
        writeBytes(path("labels/a.txt"), "1 0.5 0.5 0.1 0.1\n2 0.25 0.25 0.2 0.2\n");
        writeBytes(path("labels/b.txt"), "");
        writeBytes(path("labels/notes.md"), "1 0.5 0.5 0.1 0.1");
        writeBytes(path("labels/a.txt.bak"), "1 0.5 0.5 0.1 0.1");
        mk("labels/sub");
        writeBytes(path("labels/sub/c.txt"), "1 0.5 0.5 0.1 0.1");
        writeBytes(path("images/a.jpg"), "jpeg");

        const QString labels = path("labels"), images = path("images");
        QSignalSpy reset(model, &QAbstractItemModel::modelReset);
        QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
        QSignalSpy completed(model, &ImageList::readFileCompleted);
        QTest::ignoreMessage(QtDebugMsg, "Loaded 2 images from yolo");
        model->loadYolo(labels, images);
        QCOMPARE(reset.count(), 1);
        QCOMPARE(inserted.count(), 0);
        QCOMPARE(completed.count(), 0);
        QCOMPARE(model->rowCount(), 2);

        QStringList sorted = names();
        sorted.sort();
        QCOMPARE(sorted, QStringList({"a", "b"}));
        for (int r = 0; r < 2; ++r) {
            const QString name = role(r, 0).toString();
            QCOMPARE(role(r, 1).toString(), QStringLiteral("/%1/%2.jpg").arg(images, name));
            QCOMPARE(role(r, 5).toString(), QStringLiteral("%1/%2.txt").arg(labels, name));
            QCOMPARE(role(r, 2).toInt(), 0);
            QCOMPARE(role(r, 3).toInt(), 0);
            QCOMPARE(QQmlEngine::objectOwnership(boxes(r)), QQmlEngine::CppOwnership);
        }
        QCOMPARE(boxes(rowOf("a"))->rowCount(), 2);
        QCOMPARE(boxes(rowOf("b"))->rowCount(), 0);
    }

    // A debug line per image, as `qDebug() << path` prints it, whichever thread wrote it.
    void debugLinePerImage()
    {
        writeBytes(path("labels/a.txt"), "");
        writeBytes(path("labels/q\"\xc3\xa9.txt"), "");
        QTest::ignoreMessage(QtDebugMsg, qPrintable("\"" + path("images/a.jpg") + "\""));
        QTest::ignoreMessage(QtDebugMsg, qPrintable("\"" + path("images/q\\\"\u00e9.jpg") + "\""));
        QTest::ignoreMessage(QtDebugMsg, "Loaded 2 images from yolo");
        model->loadYolo(path("labels"), path("images"));
        QCOMPARE(model->rowCount(), 2);
    }

    // Rows are the entries QDirIterator lists for "*.txt" with QDir::NoFilter, in natural
    // order: what a user's folder holds besides plain label files must not change that.
    void listingMatchesQDirIterator()
    {
        const QStringList files{"a.txt",       "B.TXT",     "c.Txt",   ".hidden.txt",
                                ".txt",        "d.txt.bak", "e.jpg",   "name with spaces.txt",
                                "ünïcode.txt", "-dash.txt", "x.y.txt", "txt",
                                "f.txt~"};
        for (const QString &name : files)
            writeBytes(path("labels/" + name), "1 0.5 0.5 0.1 0.1");
        for (int i = 0; i < 200; ++i)
            writeBytes(path(QStringLiteral("labels/%1.txt").arg(i)), "");
        mk("labels/folder.txt");
        mk("labels/plain-folder");
        QVERIFY(QFile::link(path("labels/a.txt"), path("labels/link.txt")));
        QVERIFY(QFile::link(path("labels/missing"), path("labels/dangling.txt")));
        QVERIFY(QFile::link(path("labels/plain-folder"), path("labels/folderlink.txt")));
        QVERIFY(mkfifo(QFile::encodeName(path("labels/fifo.txt")).constData(), 0644) == 0);

        QStringList expected;
        QDirIterator it(path("labels"), QStringList{QStringLiteral("*.txt")}, QDir::NoFilter);
        while (it.hasNext()) {
            it.next();
            expected << Utils::instance()->baseName(it.fileName());
        }
        std::sort(expected.begin(), expected.end(), natural::less);
        model->loadYolo(path("labels"), path("images"));
        QCOMPARE(names(), expected);
        QVERIFY(expected.contains("dangling") == false);
        QVERIFY(expected.contains("fifo") == false);
        QVERIFY(expected.contains("B"));
    }

    // The image of a label file: its .jpg, else the first of the other common forms there is.
    void imageInAnyCommonFormat_data()
    {
        QTest::addColumn<QStringList>("images");
        QTest::addColumn<QString>("expected");
        QTest::newRow("jpg") << QStringList{"a.jpg"} << "a.jpg";
        QTest::newRow("none: jpg all the same") << QStringList{"b.png"} << "a.jpg";
        QTest::newRow("png only") << QStringList{"a.png"} << "a.png";
        QTest::newRow("JPG only") << QStringList{"a.JPG"} << "a.JPG";
        QTest::newRow("jpeg only") << QStringList{"a.jpeg"} << "a.jpeg";
        QTest::newRow("jpg wins") << QStringList{"a.png", "a.JPG", "a.jpg"} << "a.jpg";
        QTest::newRow("jpeg before png") << QStringList{"a.PNG", "a.png", "a.jpeg"} << "a.jpeg";
        QTest::newRow("png before bmp and webp")
            << QStringList{"a.webp", "a.bmp", "a.png"} << "a.png";
        QTest::newRow("bmp before webp") << QStringList{"a.webp", "a.bmp"} << "a.bmp";
        QTest::newRow("webp before upper case") << QStringList{"a.JPEG", "a.webp"} << "a.webp";
        QTest::newRow("JPG before JPEG and PNG")
            << QStringList{"a.PNG", "a.JPEG", "a.JPG"} << "a.JPG";
        QTest::newRow("JPEG before PNG") << QStringList{"a.PNG", "a.JPEG"} << "a.JPEG";
        QTest::newRow("PNG") << QStringList{"a.PNG"} << "a.PNG";
        QTest::newRow("other forms are not images here")
            << QStringList{"a.gif", "a.Jpg", "a.tif"} << "a.jpg";
        QTest::newRow("the label name's own case") << QStringList{"A.png"} << "a.jpg";
    }
    void imageInAnyCommonFormat()
    {
        QFETCH(QStringList, images);
        QFETCH(QString, expected);
        writeBytes(path("labels/a.txt"), "0 0.5 0.5 0.1 0.1\n");
        for (const QString &image : images)
            writeBytes(path("images/" + image), "image");
        model->loadYolo(path("labels"), path("images"));
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(role(0, 1).toString(), "/" + path("images/" + expected));
    }

    // Files are read by two threads, ahead of the rows being made: each row must still get its
    // own file's boxes and stamp, and the image lines must come in row order.
    void manyFilesEachWithItsOwnBoxes()
    {
        const int count = 1500;
        for (int i = 0; i < count; ++i) {
            QByteArray text;
            for (int b = 0; b < i % 7; ++b)
                text += QByteArray::number(i) + " " + QByteArray::number(b / 10.0)
                    + " 0.5 0.1 0.1\n";
            writeBytes(path(QStringLiteral("labels/%1.txt").arg(i)), text);
            if (i % 3 == 0)
                writeBytes(path(QStringLiteral("images/%1.jpg").arg(i)), "");
        }
        static QStringList messages;
        messages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &text) { messages << text; });
        model->loadYolo(path("labels"), path("images"));
        qInstallMessageHandler(previous);

        QCOMPARE(model->rowCount(), count);
        QCOMPARE(messages.size(), count + 1);
        for (int r = 0; r < count; ++r) {
            const int i = role(r, 0).toInt();
            QCOMPARE(messages.at(r), QStringLiteral("\"%1\"").arg(role(r, 1).toString().mid(1)));
            BBoxList *list = boxes(r);
            QCOMPARE(list->rowCount(), i % 7);
            for (int b = 0; b < list->rowCount(); ++b) {
                QCOMPARE(list->boxList().at(b)->catId, i);
                QCOMPARE(list->boxList().at(b)->cx, b / 10.0);
            }
            QVERIFY(!list->changedOnDisk(role(r, 5).toString()));
            QVERIFY(!list->isModified());
            QCOMPARE(model->imageMissing(r), i % 3 != 0);
        }
    }

    void idsFollowListingOrder()
    {
        for (int i = 0; i < 5; ++i)
            writeBytes(path(QStringLiteral("labels/%1.txt").arg(i)), "");
        model->loadYolo(path("labels"), path("images"));
        // The ids number the rows 1, 2, 3… in the order they were found; they are not
        // exposed as a role, so the JSON export shows them.
        model->exportJson(path("out.json"));
        const QJsonArray array = QJsonDocument::fromJson(readBytes(path("out.json"))).array();
        QCOMPARE(array.size(), 5);
        for (int r = 0; r < 5; ++r) {
            QCOMPARE(array.at(r).toObject().value("id").toInt(), r + 1);
            QCOMPARE(array.at(r).toObject().value("fileName").toString(), role(r, 0).toString());
        }
    }

    void pathsAsPassed_data()
    {
        QTest::addColumn<QString>("labelName");
        QTest::addColumn<QString>("labelSuffix");
        QTest::addColumn<QString>("imageSuffix");
        QTest::addColumn<QString>("baseName");
        // Empty suffixes as QString(): clang-format puts every operand of a "<<" chain of
        // string literals on a line of its own.
        QTest::newRow("dotted name") << "x.y.txt" << QString() << QString() << "x.y";
        QTest::newRow("trailing slashes") << "a.txt" << QString("/") << QString("/") << "a";
        QTest::newRow("spaces and non-ascii")
            << "straße 1.txt" << QString() << QString() << "straße 1";
        QTest::newRow("percent signs") << "100%1 %2.txt" << QString() << QString() << "100%1 %2";
    }
    void pathsAsPassed()
    {
        QFETCH(QString, labelName);
        QFETCH(QString, labelSuffix);
        QFETCH(QString, imageSuffix);
        QFETCH(QString, baseName);
        writeBytes(path("labels/" + labelName), "1 0.5 0.5 0.1 0.1");
        const QString labels = path("labels") + labelSuffix;
        const QString images = path("images") + imageSuffix;
        model->loadYolo(labels, images);
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(role(0, 0).toString(), baseName);
        QCOMPARE(role(0, 1).toString(), "/" + images + "/" + baseName + ".jpg");
        QCOMPARE(role(0, 5).toString(), labels + "/" + baseName + ".txt");
        QCOMPARE(boxes(0)->rowCount(), 1);
    }

    // A split of several parts in one load: a list's images in the list's order, each with the
    // label file Ultralytics finds for it or none, then a folder's rows as loadYolo makes them.
    // Showing images without labels adds the folder's; a list's images are all shown already.
    void loadsParts_data()
    {
        QTest::addColumn<bool>("withFolder");
        QTest::addColumn<QStringList>("rows"); // name, boxes, label file, whether it exists
        QTest::addColumn<QStringList>("rowsShown");
        const QStringList listed{"c 1 labels/sub/c.txt y", "a 2 labels/a.txt y",
                                 "bare 0 labels/bare.txt n", "x 1 other/x.txt y"};
        QTest::newRow("list") << false << listed << listed;
        QTest::newRow("list and folder")
            << true << listed + QStringList{"f2 0 f/labels/f2.txt y", "f10 1 f/labels/f10.txt y"}
            << listed
                + QStringList{"f1 0 f/labels/f1.txt n", "f2 0 f/labels/f2.txt y",
                              "f10 1 f/labels/f10.txt y"};
    }
    void loadsParts()
    {
        QFETCH(bool, withFolder);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, rowsShown);
        mk("labels/sub");
        mk("other");
        mk("f/labels");
        mk("f/images");
        writeBytes(path("labels/sub/c.txt"), "3 0.5 0.5 0.2 0.2\n");
        writeBytes(path("labels/a.txt"), "0 0.5 0.5 0.2 0.2\n1 0.2 0.2 0.1 0.1\n");
        writeBytes(path("other/x.txt"), "2 0.5 0.5 0.2 0.2");
        writeBytes(path("f/labels/f10.txt"), "1 0.5 0.5 0.2 0.2\n");
        writeBytes(path("f/labels/f2.txt"), "");
        writeBytes(path("f/images/f1.jpg"), "jpeg");
        ImageList::YoloPart list;
        list.listed = true;
        list.imageFiles = QStringList{path("images/sub/c.png"), path("images/a.jpg"),
                                      path("images/bare.jpg"), path("other/x.jpg")};
        ImageList::YoloPart folder;
        folder.images = path("f/images");
        folder.labels = path("f/labels");
        const QVector<ImageList::YoloPart> parts
            = withFolder ? QVector<ImageList::YoloPart>{list, folder} : QVector{list};
        const auto described = [this] {
            QStringList result;
            for (int r = 0; r < model->rowCount(); ++r) {
                const QString label = role(r, 5).toString();
                result << QStringLiteral("%1 %2 %3 %4")
                              .arg(role(r, 0).toString())
                              .arg(boxes(r)->rowCount())
                              .arg(QDir(dir->path()).relativeFilePath(label),
                                   role(r, 6).toBool() ? "y" : "n");
            }
            return result;
        };

        model->loadYoloParts(parts);
        QCOMPARE(described(), rows);
        QCOMPARE(role(1, 1).toString(), "/" + path("images/a.jpg"));
        QCOMPARE(model->labelsFolderPath(), path("labels/sub"));
        model->setShowUnlabelled(true);
        QCOMPARE(described(), rowsShown);
        model->loadYoloParts(parts);
        QCOMPARE(described(), rowsShown);
        model->setShowUnlabelled(false);
        QCOMPARE(described(), rows);
    }

    void imageFolderWithDriveLetter()
    {
        writeBytes(path("labels/a.txt"), "");
        model->loadYolo(path("labels"), "C:/data/img");
        QCOMPARE(role(0, 1).toString(), QStringLiteral("/C:/data/img/a.jpg"));
    }

    void missingOrFileLabelFolder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("missing") << "nowhere";
        QTest::newRow("a file") << "labels/file.txt";
    }
    void missingOrFileLabelFolder()
    {
        QFETCH(QString, folder);
        writeBytes(path("labels/file.txt"), "1 0.5 0.5 0.1 0.1");
        model->loadYolo(path("labels"), path("images"));
        QCOMPARE(model->rowCount(), 1);
        QTest::ignoreMessage(QtDebugMsg, "Loaded 0 images from yolo");
        model->loadYolo(path(folder), path("images"));
        QCOMPARE(model->rowCount(), 0);
    }

    void secondLoadReplacesFirst()
    {
        mk("other");
        writeBytes(path("labels/a.txt"), "1 0.5 0.5 0.1 0.1");
        writeBytes(path("other/z.txt"), "");
        model->loadYolo(path("labels"), path("images"));
        QPointer<BBoxList> first = boxes(0);
        model->loadYolo(path("other"), path("images"));
        QCOMPARE(names(), QStringList{"z"});
        QVERIFY(first.isNull());
    }

    void reloadRestoresFileBoxes()
    {
        writeBytes(path("labels/a.txt"), "1 0.5 0.5 0.1 0.1\n1 0.2 0.2 0.1 0.1");
        writeBytes(path("labels/b.txt"), "1 0.7 0.7 0.1 0.1");
        model->loadYolo(path("labels"), path("images"));
        const int a = rowOf("a"), b = rowOf("b");
        BBoxList *listA = boxes(a);
        listA->setData(listA->index(0, 0), 0.9, 1);
        listA->deleteRow(1);
        listA->appendRow(1, 0.3, 0.3);
        listA->appendRow(1, 0.4, 0.4);
        boxes(b)->appendRow(1, 0.1, 0.1);

        QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
        QSignalSpy listResets(listA, &QAbstractItemModel::modelReset);
        model->yoloReloadRow(a);
        QCOMPARE(boxes(a), listA);
        QCOMPARE(listResets.count(), 2);
        QCOMPARE(listA->rowCount(), 2);
        QCOMPARE(listA->data(listA->index(0, 0), 1).toDouble(), 0.5);
        QCOMPARE(listA->data(listA->index(1, 0), 1).toDouble(), 0.2);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), model->index(a, 0));
        QCOMPARE(changed.at(0).at(1).toModelIndex(), model->index(a, 0));
        QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int>{4});
        QCOMPARE(boxes(b)->rowCount(), 2); // the other row keeps its unsaved box
    }

    void reloadOutsideDoesNothing_data()
    {
        QTest::addColumn<int>("row");
        QTest::newRow("-1") << -1;
        QTest::newRow("count") << 1;
    }
    void reloadOutsideDoesNothing()
    {
        QFETCH(int, row);
        writeBytes(path("labels/a.txt"), "1 0.5 0.5 0.1 0.1");
        model->loadYolo(path("labels"), path("images"));
        QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
        model->yoloReloadRow(row);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(boxes(0)->rowCount(), 1);
    }

    void exportWritesEveryLabelFile()
    {
        writeBytes(path("labels/a.txt"), "1 0.5 0.5 0.1 0.1\r\n2 0.123456789 0.5 0.1 0.1\n");
        writeBytes(path("labels/frame.0001.txt"), "3 0.5 0.5 0.1 0.1 0.87 x");
        writeBytes(path("labels/frame.0002.txt"), "");
        model->loadYolo(path("labels"), path("images"));
        mk("out");
        QSignalSpy reset(model, &QAbstractItemModel::modelReset);
        model->exportYolo(path("out"));
        QCOMPARE(reset.count(), 0);
        QStringList files = QDir(path("out")).entryList(QDir::Files, QDir::Name);
        QCOMPARE(files, QStringList({"a.txt", "frame.0001.txt", "frame.0002.txt"}));
        QCOMPARE(readBytes(path("out/a.txt")),
                 QByteArray("1 0.5 0.5 0.1 0.1\r\n2 0.123456789 0.5 0.1 0.1\n"));
        QCOMPARE(readBytes(path("out/frame.0001.txt")), QByteArray("3 0.5 0.5 0.1 0.1 0.87 x"));
        QCOMPARE(readBytes(path("out/frame.0002.txt")), QByteArray(""));

        // Same bytes as saving the row itself.
        BBoxList *list = boxes(rowOf("a"));
        list->setCategory(0, 4);
        model->exportYolo(path("out"));
        list->saveTxtFile(path("labels/a.txt"));
        QCOMPARE(readBytes(path("labels/a.txt")),
                 QByteArray("4 0.5 0.5 0.1 0.1\r\n2 0.123456789 0.5 0.1 0.1\n"));
        QCOMPARE(readBytes(path("out/a.txt")), readBytes(path("labels/a.txt")));
    }

    // What closing and Load ask about: the images with edits not in their label files, and
    // writing all of them with a line for each file that could not be written.
    void unsavedImages()
    {
        for (const char *name : {"a", "b", "c"})
            writeBytes(path(QStringLiteral("labels/%1.txt").arg(QLatin1String(name))),
                       "1 0.5 0.5 0.1 0.1");
        writeBytes(path("outside.txt"), "keep");
        // b is never edited: its line that is not a label, and its time, stay as they are.
        const QByteArray bBytes("# exported by labeltool v2\n1 0.5 0.5 0.1 0.1\n");
        writeBytes(path("labels/b.txt"), bBytes);
        const QDateTime bTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC);
        {
            QFile b(path("labels/b.txt"));
            QVERIFY(b.open(QIODevice::ReadOnly));
            QVERIFY(b.setFileTime(bTime, QFileDevice::FileModificationTime));
        }
        model->loadYolo(path("labels"), path("images"));
        QCOMPARE(model->unsavedCount(), 0);
        QVERIFY(model->saveUnsaved().isEmpty());

        boxes(rowOf("a"))->appendRow(2, 0.2, 0.2);
        boxes(rowOf("c"))->deleteRow(0);
        QCOMPARE(model->unsavedCount(), 2);
        // c's label file has become a link out of the folder: it cannot be written.
        QVERIFY(QFile::remove(path("labels/c.txt")));
        QVERIFY(QFile::link(path("outside.txt"), path("labels/c.txt")));
        const QStringList failed = model->saveUnsaved();
        QCOMPARE(failed,
                 QStringList{path("labels/c.txt") + ": link points outside the labels folder"});
        QCOMPARE(readBytes(path("labels/a.txt")),
                 QByteArray("1 0.5 0.5 0.1 0.1\n2 0.2 0.2 0.1 0.1"));
        QCOMPARE(readBytes(path("outside.txt")), QByteArray("keep"));
        QCOMPARE(readBytes(path("labels/b.txt")), bBytes);
        QCOMPARE(QFileInfo(path("labels/b.txt")).lastModified().toUTC(), bTime);
        QCOMPARE(model->unsavedCount(), 1);
        QVERIFY(boxes(rowOf("c"))->isModified());

        // Reloading the row drops its edits, and with them the unsaved mark.
        model->yoloReloadRow(rowOf("c"));
        QCOMPARE(model->unsavedCount(), 0);
    }

    void exportIntoMissingFolderWritesNothing()
    {
        writeBytes(path("labels/a.txt"), "1 0.5 0.5 0.1 0.1");
        model->loadYolo(path("labels"), path("images"));
        model->exportYolo(path("nowhere"));
        QVERIFY(!QFileInfo::exists(path("nowhere")));
    }

    void exportNamesFromForeignFiles_data()
    {
        QTest::addColumn<QStringList>("fileNames");
        QTest::addColumn<QStringList>("written");
        QTest::addColumn<QByteArray>("lastContent");
        QTest::newRow("coco name") << QStringList{"000042.jpg"} << QStringList{"000042.txt"}
                                   << QByteArray("1 0.5 0.5 0.1 0.1");
        QTest::newRow("no extension")
            << QStringList{"a"} << QStringList{"a.txt"} << QByteArray("1 0.5 0.5 0.1 0.1");
        QTest::newRow("later row wins") << QStringList{"x.jpg", "x.png"} << QStringList{"x.txt"}
                                        << QByteArray("2 0.5 0.5 0.1 0.1");
        // A name with a folder part is left out: nothing outside the folder, no two images
        // sharing one label file.
        QTest::newRow("parent escape") << QStringList{"../../escape.jpg", "a.jpg"}
                                       << QStringList{"a.txt"} << QByteArray("2 0.5 0.5 0.1 0.1");
        QTest::newRow("absolute") << QStringList{"/tmp/pallaster-escape/x.jpg", "a.jpg"}
                                  << QStringList{"a.txt"} << QByteArray("2 0.5 0.5 0.1 0.1");
        QTest::newRow("dot dot") << QStringList{"..", "sub/b.jpg", "a.jpg"} << QStringList{"a.txt"}
                                 << QByteArray("3 0.5 0.5 0.1 0.1");
    }
    void exportNamesFromForeignFiles()
    {
        QFETCH(QStringList, fileNames);
        QFETCH(QStringList, written);
        QFETCH(QByteArray, lastContent);
        QJsonArray array;
        int cat = 1;
        for (const QString &name : fileNames) {
            QJsonObject box{{"catId", cat++}, {"cx", 0.5}, {"cy", 0.5}, {"cw", 0.1}, {"ch", 0.1}};
            array.append(QJsonObject{{"fileName", name}, {"bboxes", QJsonArray{box}}});
        }
        writeBytes(path("set.json"), QJsonDocument(array).toJson());
        model->loadYolo(path("nothing"), QString());
        model->loadJson(path("set.json"));
        mk("deep/er/out");
        const ImageList::ExportResult done = model->exportLabels(path("deep/er/out"));
        QCOMPARE(done.written + done.leftOut, fileNames.size());
        QCOMPARE(QDir(path("deep/er/out")).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 written);
        QCOMPARE(readBytes(path("deep/er/out/") + written.last()), lastContent);
        QVERIFY(QDir(path("deep/er")).entryList(QDir::Files).isEmpty());
        QVERIFY(QDir(path("deep")).entryList(QDir::Files).isEmpty());
        QVERIFY(!QFileInfo::exists("/tmp/pallaster-escape"));
    }
};

QTEST_GUILESS_MAIN(TestYoloDataset)
#include "tst_yolodataset.moc"
