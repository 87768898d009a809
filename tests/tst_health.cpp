#include "app/commandline.h"
#include "app/pipeline.h"
#include "dataset/bboxlist.h"
#include "dataset/imagelist.h"
#include "edit/editsession.h"
#include "review/health.h"
#include "review/healthreport.h"
#include "testutil.h"

#include <QtTest>

// The checks of one label file with their edges, and --check's output and exit status.
class TestHealth : public QObject, protected DatasetFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { model = ImageList::instance(); }
    void init() { newFolder(); }

    void check_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("facts"); // "names=3 size=640x480 kpt=17x3 missing unreadable"
        QTest::addColumn<QStringList>("expected"); // "line:kind"
        QTest::newRow("clean") << QByteArray("0 0.5 0.5 0.2 0.2\n1 0.2 0.2 0.1 0.1\n") << ""
                               << QStringList();
        QTest::newRow("values at 1 and 0")
            << QByteArray("0 0.5 0.5 1 1\n0 0 0 0.0000001 1\n") << "" << QStringList{"2:outside"};
        QTest::newRow("1.005 and 1.01: outside, within the limit")
            << QByteArray("0 0.5 1.005 0.1 0.1\n0 0.5 0.5 1.01 0.2\n") << ""
            << QStringList{"1:outside", "2:outside"};
        QTest::newRow("beyond the limit, negative")
            << QByteArray("0 0.5 0.5 0.2 1.0101\n0 -0.01 0.5 0.01 0.1\n") << ""
            << QStringList{"1:outside", "2:outside"};
        QTest::newRow("edge past the image")
            << QByteArray("0 0.95 0.5 0.2 0.2\n") << "" << QStringList{"1:outside"};
        QTest::newRow("no width, no height")
            << QByteArray("0 0.5 0.5 0 0.2\n0 0.5 0.5 0.2 -0.1\n") << ""
            << QStringList{"1:degenerate", "2:outside", "2:degenerate"};
        QTest::newRow("class equal to the number of names")
            << QByteArray("2 0.5 0.5 0.2 0.2\n3 0.5 0.5 0.2 0.2\n-1 0.2 0.2 0.1 0.1\n") << "names=3"
            << QStringList{"2:class", "3:class"};
        QTest::newRow("classes without names")
            << QByteArray("79 0.5 0.5 0.2 0.2\n") << "" << QStringList();
        // 0.2 x 0.2 boxes whose centres are apart by d overlap (0.2 - d) / (0.2 + d).
        QTest::newRow("overlap just below 0.9")
            << QByteArray("1 0.5 0.5 0.2 0.2\n1 0.5111 0.5 0.2 0.2\n") << "" << QStringList();
        QTest::newRow("overlap just above 0.9, and of another class")
            << QByteArray("1 0.5 0.5 0.2 0.2\n1 0.5105 0.5 0.2 0.2\n2 0.5 0.5 0.2 0.2\n") << ""
            << QStringList{"2:duplicate"};
        QTest::newRow("exact duplicate, written otherwise")
            << QByteArray("1 0.5 0.5 0.2 0.2\n1\t0.50 0.5 0.2 0.2\n") << ""
            << QStringList{"2:exact-duplicate"};
        QTest::newRow("tiny below 3 pixels")
            << QByteArray("0 0.5 0.5 0.0046 0.2\n1 0.5 0.5 0.0047 0.2\n") << "size=640x480"
            << QStringList{"1:tiny"};
        // Only what such a line is: its first four numbers are no box to be outside.
        QTest::newRow("six fields, odd coordinates")
            << QByteArray("0 0.5 0.5 0.2 0.2 0.9\n0 0.9 0.1 0.3 0.1 0.2 0.2 0.1\n") << ""
            << QStringList{"1:not-a-label", "2:polygon"};
        QTest::newRow("not a number")
            << QByteArray("0 nan 0.5 0.1 0.1\n") << "" << QStringList{"1:outside"};
        QTest::newRow("keypoints not as kpt_shape") << QByteArray(
            "0 0.5 0.5 0.2 0.2 0.5 0.5 2 0.4 0.4 2\n0 0.5 0.5 0.2 0.2 0.5 0.5 2 0.4\n")
                                                    << "kpt=2x3" << QStringList{"2:keypoints"};
        QTest::newRow("a box in a pose dataset")
            << QByteArray("0 0.5 0.5 0.2 0.2\n") << "kpt=2x3" << QStringList{"1:keypoints"};
        QTest::newRow("comment and blank line")
            << QByteArray("# by anna\n\n0 0.5 0.5 0.2 0.2\n") << "" << QStringList{"1:not-a-label"};
        QTest::newRow("image missing")
            << QByteArray("0 0.5 0.5 0.2 0.2\n") << "missing" << QStringList{"0:no-image"};
        QTest::newRow("image unreadable")
            << QByteArray("") << "unreadable" << QStringList{"0:bad-image"};
        QTest::newRow("no label file") << QByteArray() << "nolabels" << QStringList{"0:no-labels"};
    }
    void check()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, facts);
        QFETCH(QStringList, expected);
        health::ImageFacts image;
        for (const QString &fact : facts.split(' ', Qt::SkipEmptyParts)) {
            const QString value = fact.section('=', 1);
            if (fact.startsWith("names="))
                image.classCount = value.toInt();
            else if (fact.startsWith("size="))
                image.size = QSize(value.section('x', 0, 0).toInt(), value.section('x', 1).toInt());
            else if (fact.startsWith("kpt="))
                image.keypoints = {value.section('x', 0, 0).toInt(), value.section('x', 1).toInt()};
            image.imageMissing |= fact == "missing";
            image.imageUnreadable |= fact == "unreadable";
            image.hasLabelFile &= fact != "nolabels";
        }
        writeBytes(path("a.txt"), text);
        const BBoxList::LoadedFile file = BBoxList::readTxtFile(path("a.txt"), image.keypoints);
        BoxRecords boxes;
        for (const BoxInfo &box : file.boxes)
            boxes << std::make_shared<BoxInfo>(box);
        QStringList found;
        for (const health::Finding &f : health::check(boxes, file.foreign, image))
            found << QStringLiteral("%1:%2").arg(f.line).arg(health::kindName(f.kind));
        QCOMPARE(found, expected);
    }

    // Fixes: boxes cut to the image and exact duplicates deleted, one undo step an image, the
    // images left unsaved; the question before fixing a whole kind says how many.
    void fixes()
    {
        QDir(dir->path()).mkpath("images");
        QDir(dir->path()).mkpath("labels");
        for (const char *name : {"a", "b"})
            QImage(64, 48, QImage::Format_RGB32)
                .save(path(QStringLiteral("images/%1.jpg").arg(name)));
        const QByteArray a = "0 0.95 0.5 0.2 0.2\n0 0.5 0.5 0.2 0.2\n0 0.5 0.5 0.2 0.2\n";
        writeBytes(path("labels/a.txt"), a);
        writeBytes(path("labels/b.txt"), "1 0.5 -0.5 0.2 0.2\n1 0.05 0.1 0.2 0.2\n");
        model->loadYolo(path("labels"), path("images"));
        HealthReport report(model);
        report.checkNow();
        const int outside = int(health::Kind::Outside);
        QCOMPARE(report.fixableIn(0), 2);
        QVERIFY(report.fixQuestion(outside).startsWith("Cut 2 boxes in 2 images to their image?"));
        QCOMPARE(report.fixImage(0), 2);
        QCOMPARE(boxes(0)->rowCount(), 2);
        QCOMPARE(boxes(0)->boxList().at(0)->cx, 0.925);
        QCOMPARE(boxes(0)->boxList().at(0)->cw, 0.15);
        QVERIFY(boxes(0)->isModified());
        QCOMPARE(readBytes(path("labels/a.txt")), a); // nothing written behind the reviewer's back
        QCOMPARE(report.fixableIn(0), 0);
        QCOMPARE(report.maskOf(0), 0);

        // A box wholly outside cannot be cut to the image; the other one of b can.
        QCOMPARE(report.fixAll(outside), 1);
        QCOMPARE(boxes(1)->boxList().at(1)->cx, 0.075);
        QCOMPARE(boxes(1)->boxList().at(1)->cw, 0.15);

        // Opening a fixed image writes nothing: it waits for Save.
        EditSession *session = EditSession::instance();
        session->open(0);
        QCOMPARE(readBytes(path("labels/a.txt")), a);
        QVERIFY(session->ableToSave());
        QVERIFY(session->canUndo());
        session->undo();
        QCOMPARE(boxes(0)->rowCount(), 3);
        QCOMPARE(boxes(0)->boxList().at(0)->cx, 0.95);
        QVERIFY(!session->canUndo());
        session->close();
    }

    // The report over a dataset, and what --check prints and returns for it.
    void commandLine()
    {
        QDir(dir->path()).mkpath("images");
        QDir(dir->path()).mkpath("labels");
        QImage(64, 48, QImage::Format_RGB32).save(path("images/a.jpg"));
        QImage(64, 48, QImage::Format_RGB32).save(path("images/b.png"));
        writeBytes(path("images/c.jpg"), "not an image");
        writeBytes(path("labels/classes.txt"), "cat\ndog\n");
        writeBytes(path("labels/a.txt"), "0 0.5 0.5 0.2 0.2\n");
        writeBytes(path("labels/b.txt"),
                   "1 0.5 0.5 0.2 0.2\n1 0.5 0.5 0.2 0.2\n2 0.5 0.5 0.01 0.2\n");
        writeBytes(path("labels/c.txt"), "0 0.5 0.5 0.2 0.2\n");
        const CommandLine line = parseCommandLine({"--check", path("images"), path("labels")});
        QCOMPARE(int(line.action), int(CommandLine::Check));
        QVERIFY(isPipelineCommand({"--check"}));

        int status = 0;
        const QByteArray output = capturedStdout([&] { return runPipeline(line); }, &status);
        QCOMPARE(status, 1);
        QCOMPARE(
            QString::fromLocal8Bit(output).split('\n'),
            (QStringList{path("labels/b.txt")
                             + ":2: exact-duplicate: the same as line 1: the "
                               "trainer removes it",
                         path("labels/b.txt")
                             + ":3: class: class 2 is not among the 2 class "
                               "names",
                         path("labels/b.txt") + ":3: tiny: 0.64 x 9.6 pixels of a 64 x 48 image",
                         path("labels/c.txt")
                             + ":0: bad-image: the image file c.jpg cannot be read "
                               "as an image: the trainer skips it",
                         "class: 1 image, 1 box", "exact-duplicate: 1 image, 1 box",
                         "tiny: 1 image, 1 box", "bad-image: 1 image, 0 boxes",
                         "4 problems in 2 of 3 images", ""}));

        writeBytes(path("labels/b.txt"), "1 0.5 0.5 0.2 0.2\n");
        QFile::remove(path("labels/c.txt"));
        QCOMPARE(runPipeline(line), 0);
        QCOMPARE(runPipeline(parseCommandLine({"--check", path("images"), path("none")})), 2);
    }
};

QTEST_GUILESS_MAIN(TestHealth)
#include "tst_health.moc"
