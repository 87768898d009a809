#include "app/commandline.h"
#include "app/pipeline.h"
#include "dataset/bboxlist.h"
#include "dataset/imagefilter.h"
#include "dataset/imagelist.h"
#include "edit/editsession.h"
#include "format/yololabels.h"
#include "review/disagreements.h"
#include "review/predictions.h"
#include "testutil.h"

#include <QAbstractItemModelTester>
#include <QtTest>

namespace {

BoxRecords labelsOf(const QByteArray &text)
{
    BoxRecords records;
    for (const BoxInfo &box : yolo::parseLabels(text))
        records << std::make_shared<BoxInfo>(box);
    return records;
}

// "kind p<prediction> l<label>" for each finding, in their order.
QStringList described(const disagreement::Findings &findings)
{
    QStringList lines;
    for (const disagreement::Finding &f : findings)
        lines << QStringLiteral("%1 p%2 l%3")
                     .arg(disagreement::kindName(f.kind))
                     .arg(f.prediction)
                     .arg(f.label);
    return lines;
}

} // namespace

// Reading predictions, matching them with labels, and what the window and --compare do with
// the disagreements.
class TestPredictions : public QObject, protected DatasetFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { model = ImageList::instance(); }
    void init() { newFolder(); }

    void read_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("keypoints"); // kpt_shape [n, 3], 0 for none
        // Each prediction as "class kind points confidence".
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("box with confidence")
            << QByteArray("3 0.5 0.5 0.2 0.1 0.87\n") << 0 << QStringList{"3 box 0 0.87"};
        QTest::newRow("labels: confidence 1, tabs, CRLF, class 1.0")
            << QByteArray("1.0\t0.5 0.5 0.2 0.1\r\n# note\r\n2 0.1 0.1 0.1 0.1\r\n") << 0
            << QStringList{"1 box 0 1", "2 box 0 1"};
        QTest::newRow("polygon with confidence") << QByteArray("0 0.1 0.1 0.5 0.1 0.5 0.5 0.25\n")
                                                 << 0 << QStringList{"0 polygon 3 0.25"};
        QTest::newRow("polygon without")
            << QByteArray("0 0.1 0.1 0.5 0.1 0.5 0.5\n") << 0 << QStringList{"0 polygon 3 1"};
        QTest::newRow("oriented box with confidence")
            << QByteArray("4 0.1 0.1 0.5 0.1 0.5 0.5 0.1 0.5 0.6\n") << 0
            << QStringList{"4 polygon 4 0.6"};
        QTest::newRow("pose with confidence last")
            << QByteArray("0 0.5 0.5 0.2 0.2 0.4 0.4 0.9 0.6 0.6 0.1 0.77\n") << 2
            << QStringList{"0 keypoints 2 0.77"};
        QTest::newRow("pose without") << QByteArray("0 0.5 0.5 0.2 0.2 0.4 0.4 2 0.6 0.6 0\n") << 2
                                      << QStringList{"0 keypoints 2 1"};
        QTest::newRow("not labels skipped")
            << QByteArray("0 0.5 0.5 0.2 0.2 high\nx 0.5 0.5 0.2 0.2\n0 0.5\n\n") << 0
            << QStringList{};
        QTest::newRow("empty") << QByteArray() << 0 << QStringList{};
    }
    void read()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, keypoints);
        QFETCH(QStringList, expected);
        QStringList got;
        for (const yolo::Prediction &p : yolo::parsePredictions(
                 text, keypoints ? KeypointShape{keypoints, 3} : KeypointShape{}))
            got << QStringLiteral("%1 %2 %3 %4")
                       .arg(p.catId)
                       .arg(QLatin1String(shape::kindName(p.kind())))
                       .arg(p.points.pointCount())
                       .arg(double(p.confidence));
        QCOMPARE(got, expected);
    }

    void match_data()
    {
        QTest::addColumn<QByteArray>("labels");
        QTest::addColumn<QByteArray>("predictions");
        QTest::addColumn<double>("confidence");
        QTest::addColumn<QStringList>("expected");
        const QByteArray label = "0 0.5 0.5 0.2 0.2\n";
        QTest::newRow("agreement")
            << label << QByteArray("0 0.51 0.5 0.2 0.2 0.9\n") << 0.5 << QStringList{};
        QTest::newRow("missing label")
            << label << QByteArray("0 0.51 0.5 0.2 0.2 0.9\n1 0.1 0.1 0.1 0.1 0.8\n") << 0.5
            << QStringList{"missing p1 l-1"};
        QTest::newRow("spurious label")
            << QByteArray(label + "2 0.1 0.1 0.1 0.1\n") << QByteArray("0 0.51 0.5 0.2 0.2 0.9\n")
            << 0.5 << QStringList{"spurious p-1 l1"};
        QTest::newRow("wrong class") << label << QByteArray("3 0.5 0.5 0.2 0.2 0.9\n") << 0.5
                                     << QStringList{"wrong-class p0 l0"};
        QTest::newRow("mislocated") << label << QByteArray("0 0.6 0.5 0.2 0.2 0.9\n") << 0.5
                                    << QStringList{"mislocated p0 l0"};
        QTest::newRow("below the threshold: not seen")
            << label << QByteArray("0 0.5 0.5 0.2 0.2 0.49\n1 0.1 0.1 0.1 0.1 0.3\n") << 0.5
            << QStringList{"spurious p-1 l0"};
        QTest::newRow("at the thresholds: IoU 0.5, confidence 0.5")
            << label << QByteArray("0 0.5 0.5 0.2 0.1 0.5\n") << 0.5 << QStringList{};
        QTest::newRow("one label, two predictions: the more confident agrees")
            << label << QByteArray("0 0.52 0.5 0.2 0.2 0.7\n0 0.5 0.5 0.2 0.2 0.9\n") << 0.5
            << QStringList{};
        QTest::newRow("the less confident of two classes is no finding")
            << label << QByteArray("5 0.5 0.5 0.2 0.2 0.6\n0 0.5 0.5 0.2 0.2 0.9\n") << 0.5
            << QStringList{};
        QTest::newRow("equal confidence: the first in the file claims the label")
            << label << QByteArray("5 0.5 0.5 0.2 0.2 0.8\n6 0.5 0.5 0.2 0.2 0.8\n") << 0.5
            << QStringList{"wrong-class p0 l0"};
        QTest::newRow("no predictions file")
            << label << QByteArray() << 0.5 << QStringList{"spurious p-1 l0"};
        QTest::newRow("no labels") << QByteArray() << QByteArray("0 0.5 0.5 0.2 0.2 0.9\n") << 0.5
                                   << QStringList{"missing p0 l-1"};
        QTest::newRow("most suspect first")
            << QByteArray(label + "1 0.1 0.1 0.1 0.1\n")
            << QByteArray("0 0.6 0.5 0.2 0.2 0.55\n4 0.8 0.8 0.1 0.1 0.95\n") << 0.5
            << QStringList{"missing p1 l-1", "mislocated p0 l0", "spurious p-1 l1"};
    }
    void match()
    {
        QFETCH(QByteArray, labels);
        QFETCH(QByteArray, predictions);
        QFETCH(double, confidence);
        QFETCH(QStringList, expected);
        const disagreement::Findings found = disagreement::match(
            labelsOf(labels), yolo::parsePredictions(predictions), {0.5, confidence});
        QCOMPARE(described(found), expected);
        // Scores: a prediction's confidence, 1 − IoU, half of 1 − a weaker overlap's confidence.
        if (QByteArray(QTest::currentDataTag()) == "most suspect first") {
            QCOMPARE(found[0].score, 0.95f);
            QCOMPARE(found[1].score, 1 - found[1].iou);
            QCOMPARE(found[2].score, 0.5f);
            QCOMPARE(disagreement::scoreOf(found), 0.95f);
        }
    }

    // Predictions over a dataset: read, filtered and sorted in the grid's order, accepted and
    // dismissed in the editor with undo, the dismissal kept; and what --compare prints.
    void dataset()
    {
        QDir(dir->path()).mkpath("images");
        QDir(dir->path()).mkpath("labels");
        QDir(dir->path()).mkpath("pred");
        for (const char *name : {"a", "b", "c", "d"})
            writeBytes(path(QStringLiteral("images/%1.jpg").arg(name)), "");
        writeBytes(path("labels/classes.txt"), "person\nbicycle\ncar\nmotorcycle\n");
        writeBytes(path("labels/a.txt"), "0 0.5 0.5 0.2 0.2\n");
        writeBytes(path("labels/b.txt"), "0 0.5 0.5 0.2 0.2\n");
        writeBytes(path("labels/c.txt"), "0 0.5 0.5 0.2 0.2\n");
        writeBytes(path("labels/d.txt"), "1 0.5 0.5 0.2 0.2\n");
        writeBytes(path("pred/a.txt"), "0 0.5 0.5 0.2 0.2 0.9\n"); // agrees
        writeBytes(path("pred/b.txt"), "0 0.5 0.5 0.2 0.2 0.9\n2 0.1 0.1 0.1 0.1 0.7\n");
        writeBytes(path("pred/d.txt"), "3 0.5 0.5 0.2 0.2 0.8\n"); // c has none: spurious
        model->loadYolo(path("labels"), path("images"));
        ImageFilter filter(model);
        StatusTipHidingProxy watched;
        watched.setSourceModel(&filter);
        QAbstractItemModelTester tester(&watched,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        EditSession *session = EditSession::instance();
        Predictions predictions(model);
        predictions.serve(&filter);
        QCOMPARE(predictions.openNow(path("labels")).isEmpty(), false);
        QCOMPARE(predictions.openNow(path("pred")), QString());
        QCOMPARE(predictions.summary(),
                 QStringLiteral("3 images with disagreements: 1 missing, "
                                "1 spurious, 1 wrong class, 0 mislocated"));
        QCOMPARE(predictions.ranked(), (QVector<int>{3, 1, 2}));
        filter.setSuspectFirst(true);
        filter.setDisagreementKind(-2);
        QCOMPARE(filter.rowCount(), 3);
        QCOMPARE(filter.sourceRow(0), 3);
        filter.setDisagreementKind(int(disagreement::Kind::Missing));
        QCOMPARE(filter.rowCount(), 1);
        QCOMPARE(filter.sourceRow(0), 1);
        filter.setDisagreementKind(-1);
        QCOMPARE(filter.rowCount(), 4);

        // Accepted: the prediction is a label, and undo takes it back.
        session->open(1);
        QCOMPARE(predictions.current(), 0);
        QCOMPARE(predictions.findingText(1, 0), QStringLiteral("missing label: car 0.70"));
        predictions.accept(0);
        QCOMPARE(boxes(1)->rowCount(), 2);
        QCOMPARE(yolo::formatLine(*boxes(1)->boxList().last()),
                 QStringLiteral("2 0.1 0.1 0.1 0.1"));
        QCOMPARE(predictions.findingCount(1), 0);
        session->undo();
        QCOMPARE(boxes(1)->rowCount(), 1);
        QCOMPARE(predictions.findingCount(1), 1);

        // A spurious label accepted is deleted, the image's last one too.
        session->open(2);
        QCOMPARE(predictions.accept(0), QStringLiteral("Deleted the person label"));
        QCOMPARE(boxes(2)->rowCount(), 0);
        session->undo();
        QCOMPARE(boxes(2)->rowCount(), 1);
        session->open(1);

        // The next disagreement in order of score, a wrong class taking the prediction's class.
        QVERIFY(predictions.step(1));
        QCOMPARE(session->row(), 2);
        QVERIFY(!predictions.step(1));
        QVERIFY(predictions.step(-1));
        QVERIFY(predictions.step(-1));
        QCOMPARE(session->row(), 3);
        predictions.takeClass(0);
        QCOMPARE(boxes(3)->boxList().first()->catId, 3);
        session->undo();

        // Dismissed: gone, kept for the next reading, and back with undo.
        predictions.dismiss(0);
        QCOMPARE(predictions.findingCount(3), 0);
        {
            Predictions again(model);
            QCOMPARE(again.openNow(path("pred")), QString());
            QCOMPARE(again.findingCount(3), 0);
            QCOMPARE(again.imagesWithDisagreements(), 2);
        }
        session->undo();
        QCOMPARE(predictions.findingCount(3), 1);
        session->close();
        QCOMPARE(QDir(path("pred")).entryList(QDir::Files).size(), 3); // nothing written there

        // Without a window.
        const CommandLine line = parseCommandLine(
            {"--compare", path("images"), path("labels"), path("pred"), "--conf", "0.75"});
        QCOMPARE(int(line.action), int(CommandLine::Compare));
        QVERIFY(isPipelineCommand({"--compare"}));
        int status = -1;
        const QByteArray output = capturedStdout([&] { return runPipeline(line); }, &status);
        QCOMPARE(status, 0);
        QCOMPARE(output,
                 QByteArray("d.jpg\t0.800\t0\t0\t1\t0\n"
                            "c.jpg\t0.500\t0\t1\t0\t0\n"
                            "2 images with disagreements: 0 missing, 1 spurious, "
                            "1 wrong class, 0 mislocated\n"));
        QCOMPARE(int(parseCommandLine({"--compare", path("images"), path("labels")}).action),
                 int(CommandLine::Fail));
        QCOMPARE(int(parseCommandLine({"--compare", "a", "b", "c", "--iou", "2"}).action),
                 int(CommandLine::Fail));
    }
};

QTEST_GUILESS_MAIN(TestPredictions)
#include "tst_predictions.moc"
