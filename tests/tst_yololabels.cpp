#include "dataset/bboxlist.h"
#include "format/yololabels.h"
#include "testutil.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <cmath>
#include <cstring>
#include <random>

using Boxes = QVector<BoxInfo>;
Q_DECLARE_METATYPE(KeypointShape)

namespace {

BBoxList *listOf(const Boxes &boxes)
{
    auto *list = new BBoxList();
    for (const BoxInfo &b : boxes)
        list->appendBox(b.catId, b.cx, b.cy, b.cw, b.ch);
    return list;
}

Boxes boxesOf(const BBoxList &list)
{
    Boxes result;
    for (const auto &box : list.boxList())
        result << *box;
    return result;
}

Boxes parse(const QByteArray &bytes)
{
    return yolo::parseLabels(bytes);
}

bool same(const BoxInfo &a, const BoxInfo &b)
{
    auto eq = [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); };
    return a.catId == b.catId && eq(a.cx, b.cx) && eq(a.cy, b.cy) && eq(a.cw, b.cw)
        && eq(a.ch, b.ch);
}

QString describe(const Boxes &boxes)
{
    QStringList parts;
    for (const BoxInfo &b : boxes)
        parts << QStringLiteral("(%1 %2 %3 %4 %5)")
                     .arg(b.catId)
                     .arg(b.cx, 0, 'g', 17)
                     .arg(b.cy, 0, 'g', 17)
                     .arg(b.cw, 0, 'g', 17)
                     .arg(b.ch, 0, 'g', 17);
    return parts.join(' ');
}

} // namespace

#define COMPARE_BOXES(actual, expected)                                                            \
    do {                                                                                           \
        const Boxes a_ = (actual), e_ = (expected);                                                \
        bool ok_ = a_.size() == e_.size();                                                         \
        for (int i_ = 0; ok_ && i_ < a_.size(); ++i_)                                              \
            ok_ = same(a_.at(i_), e_.at(i_));                                                      \
        QVERIFY2(ok_, qPrintable("actual " + describe(a_) + "\nexpected " + describe(e_)));        \
    } while (false)

class TestYoloLabels : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

private slots:
    void numberFormat_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("written");
        QTest::newRow("0.5") << 0.5 << "0.5";
        QTest::newRow("0.1") << 0.1 << "0.1";
        QTest::newRow("six digits") << 0.123456789 << "0.123457";
        QTest::newRow("0.0001") << 0.0001 << "0.0001";
        QTest::newRow("exponent") << 0.00001 << "1e-05";
        QTest::newRow("rounds up to 1") << 0.9999996 << "1";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative") << -0.25 << "-0.25";
        QTest::newRow("large") << 1234567.0 << "1.23457e+06";
    }
    void numberFormat()
    {
        QFETCH(double, value);
        QFETCH(QString, written);
        QCOMPARE(yolo::formatLine(BoxInfo{0, value, 0.5, 0.5, 0.5}),
                 QStringLiteral("0 %1 0.5 0.5 0.5").arg(written));
        QCOMPARE(yolo::formatLine(BoxInfo{0, 0.5, 0.5, 0.5, value}),
                 QStringLiteral("0 0.5 0.5 0.5 %1").arg(written));
        // A shape's values the same way.
        const double triangle[] = {value, 0.5, 0.5, 0.5, 0.5, value};
        BoxInfo polygon;
        polygon.setShape(ShapePoints(ShapeKind::Polygon, 2, triangle, 6));
        QCOMPARE(yolo::formatLine(polygon), QStringLiteral("0 %1 0.5 0.5 0.5 0.5 %1").arg(written));
    }

    void writeBytes_data()
    {
        QTest::addColumn<Boxes>("boxes");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("one box, 17 bytes")
            << Boxes{{0, 0.5, 0.5, 0.1, 0.1}} << QByteArray() << QByteArray("0 0.5 0.5 0.1 0.1");
        QTest::newRow("two boxes")
            << Boxes{{1, 0.5, 0.5, 0.1, 0.1}, {2, 0.25, 0.75, 0.2, 0.3}} << QByteArray()
            << QByteArray("1 0.5 0.5 0.1 0.1\n2 0.25 0.75 0.2 0.3");
        QTest::newRow("no boxes") << Boxes{} << QByteArray() << QByteArray("");
        QTest::newRow("no boxes over a longer file")
            << Boxes{} << QByteArray("1 0.5 0.5 0.1 0.1\n1 0.5 0.5 0.1 0.1") << QByteArray("");
        QTest::newRow("shorter than the old file")
            << Boxes{{3, 0.5, 0.5, 0.1, 0.1}} << QByteArray(500, 'x')
            << QByteArray("3 0.5 0.5 0.1 0.1");
        QTest::newRow("negative values") << Boxes{{-4, -0.25, -1, -0.00001, 0}} << QByteArray()
                                         << QByteArray("-4 -0.25 -1 -1e-05 0");
        QTest::newRow("rounding") << Boxes{{10, 0.123456789, 0.9999996, 0.00001, 0.0001}}
                                  << QByteArray() << QByteArray("10 0.123457 1 1e-05 0.0001");
    }
    void writeBytes()
    {
        QFETCH(Boxes, boxes);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, expected);
        const QString path = dir.filePath(QStringLiteral("w%1.txt").arg(QTest::currentDataTag()));
        if (!before.isNull())
            ::writeBytes(path, before);
        std::unique_ptr<BBoxList> list(listOf(boxes));
        QSignalSpy reset(list.get(), &QAbstractItemModel::modelReset);
        expectSaveMessages(path);
        list->saveTxtFile(path);
        QCOMPARE(readBytes(path), expected);
        QCOMPARE(reset.count(), 0);
        COMPARE_BOXES(boxesOf(*list), boxes);
    }

    void saveToUnwritablePathKeepsBoxes()
    {
        std::unique_ptr<BBoxList> list(listOf({{1, 0.5, 0.5, 0.1, 0.1}}));
        const QString path = dir.filePath("missing/dir/a.txt");
        expectSaveMessages(path);
        QVERIFY(!list->saveTxtFile(path));
        QVERIFY(!QFile::exists(path));
        QCOMPARE(list->rowCount(), 1);
        // The reason comes from the file layer, for the editor to show.
        QVERIFY2(list->saveError().contains("No such file or directory"),
                 qPrintable(list->saveError()));
    }

    // Lines keep their bytes: a file read and saved with no edit is not written at all, and one
    // with a box added gets that line (formatted, in the file's line ends) and nothing else
    // changes. `formatted` is the file written from the records alone, as for a file changed on
    // disk since it was read: every line in the form it was read, numbers in six digits. A box
    // added takes the file's kind: a polygon's four corners, a pose line's box with its keypoints
    // unlabelled, else five fields.
    void bytesKept_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("formatted");
        QTest::addColumn<QByteArray>("added");
        const QByteArray box = "2 0.5 0.5 0.1 0.1";
        QTest::newRow("confidence")
            << QByteArray("9 0.533594 0.921875 0.08125 0.153125 0.0107346")
            << QByteArray("9 0.533594 0.921875 0.08125 0.153125 0.0107346") << box;
        QTest::newRow("oriented box, 9 fields")
            << QByteArray(
                   "3 0.100000 0.200000 0.300000 0.200000 0.300000 0.400000 0.100000 0.400000\n")
            << QByteArray("3 0.1 0.2 0.3 0.2 0.3 0.4 0.1 0.4")
            << QByteArray("2 0.45 0.45 0.55 0.45 0.55 0.55 0.45 0.55");
        QByteArray polygon = "45";
        QByteArray polygonWritten = "45";
        for (int i = 0; i < 1000; ++i) {
            polygon += ' ' + QByteArray::number(0.1 + (i % 9) / 10.0, 'f', 9);
            polygonWritten += ' ' + QByteArray::number(0.1 + (i % 9) / 10.0);
        }
        QTest::newRow("polygon, 1001 fields")
            << polygon << polygonWritten << QByteArray("2 0.45 0.45 0.55 0.45 0.55 0.55 0.45 0.55");
        QByteArray keypoints = "0 0.5 0.5 0.2 0.4", keypointsWritten = keypoints;
        QByteArray unlabelled = box;
        for (int k = 0; k < 17; ++k) {
            keypoints += QByteArray(" 0.51234") + QByteArray::number(k % 10) + " 0.2 2";
            keypointsWritten
                += (k % 10 ? " 0.51234" + QByteArray::number(k % 10) : " 0.51234") + " 0.2 2";
            unlabelled += " 0 0 0";
        }
        QTest::newRow("keypoints, 56 fields") << keypoints << keypointsWritten << unlabelled;
        QTest::newRow("crlf line ends")
            << QByteArray("1 0.5 0.5 0.1 0.1 0.9\r\n2 0.5 0.5 0.1 0.1\r\n")
            << QByteArray("1 0.5 0.5 0.1 0.1 0.9\n2 0.5 0.5 0.1 0.1") << box;
        QTest::newRow("mixed line ends, no final one")
            << QByteArray("1 0.5 0.5 0.1 0.1\n2 0.5 0.5 0.1 0.1\r\n3 0.123456789 0.5 0.1 0.1")
            << QByteArray("1 0.5 0.5 0.1 0.1\n2 0.5 0.5 0.1 0.1\n3 0.123457 0.5 0.1 0.1") << box;
        QTest::newRow("tabs, runs of spaces") << QByteArray(" 1\t0.5\t0.5  0.1 0.1  x  y \n")
                                              << QByteArray("1 0.5 0.5 0.1 0.1 x  y") << box;
        QTest::newRow("class written 1.0")
            << QByteArray("1.0 0.500000 0.5 0.1 0.1\r\n") << QByteArray("1 0.5 0.5 0.1 0.1") << box;
        // Lines that are not labels stay as they are, where they are, blank ones too.
        QTest::newRow("latin-1 comment before the boxes")
            << QByteArray("# checked by caf\xe9 team\r\n1 0.5 0.5 0.1 0.1\r\n")
            << QByteArray("# checked by caf\xef\xbf\xbd team\n1 0.5 0.5 0.1 0.1") << box;
        QTest::newRow("path and note among the boxes")
            << QByteArray(
                   "1 0.5 0.5 0.1 0.1\n\nimages/train/0001.jpg\n2 0.25 0.25 0.1 0.1\nreviewed "
                   "by A.\n")
            << QByteArray(
                   "1 0.5 0.5 0.1 0.1\n\nimages/train/0001.jpg\n2 0.25 0.25 0.1 0.1\nreviewed "
                   "by A.")
            << box;
        QTest::newRow("fields that do not convert")
            << QByteArray("x 0.5 abc 0.1 -\n1.5 0.5 0.5 0.1 0.1")
            << QByteArray("x 0.5 abc 0.1 -\n1.5 0.5 0.5 0.1 0.1") << box;
    }
    void bytesKept()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, formatted);
        QFETCH(QByteArray, added);
        const QString path = dir.filePath("extra.txt");
        ::writeBytes(path, bytes);
        const QDateTime written = QDateTime::currentDateTime().addSecs(-3600);
        QVERIFY(setFileTime(path, written));
        BBoxList list;
        list.loadTxtFile(path);
        QCOMPARE(yolo::formatLabels(list.boxList(), list.foreignLines()), formatted);
        expectSaveMessages(path);
        QVERIFY(list.saveTxtFile(path));
        QCOMPARE(readBytes(path), bytes);
        QCOMPARE(QFileInfo(path).lastModified(), written);

        // One box added: its line at the end, in the file's line ends; the rest as they were.
        list.appendRow(2, 0.5, 0.5);
        const yolo::FileStyle style = yolo::styleOf(bytes);
        const QByteArray end = style.crlf ? "\r\n" : "\n";
        QByteArray expected = bytes;
        if (!bytes.endsWith('\n'))
            expected += end;
        expected += added + (style.finalNewline ? end : QByteArray());
        expectSaveMessages(path);
        QVERIFY(list.saveTxtFile(path));
        QCOMPARE(readBytes(path), expected);
        // Saved again after the box is taken back: the file as it was.
        list.deleteRow(list.rowCount() - 1);
        expectSaveMessages(path);
        QVERIFY(list.saveTxtFile(path));
        QCOMPARE(readBytes(path), bytes);
        // Written from the records alone, nothing moves: the formatted form is a fixed point.
        ::writeBytes(path, formatted);
        BBoxList again;
        again.loadTxtFile(path);
        QCOMPARE(yolo::formatLabels(again.boxList(), again.foreignLines()), formatted);
    }

    // How a line is read, by its number of fields and the dataset's kpt_shape, and how it is
    // written back: in the form it was read.
    void shapes_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<KeypointShape>("kptShape");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("dims");
        QTest::addColumn<QVector<double>>("box"); // cx cy cw ch
        QTest::addColumn<QByteArray>("written");
        const KeypointShape none;
        QTest::newRow("box") << QByteArray("1 0.5 0.5 0.2 0.2") << none << "box" << 0
                             << QVector<double>{0.5, 0.5, 0.2, 0.2}
                             << QByteArray("1 0.5 0.5 0.2 0.2");
        QTest::newRow("box and confidence")
            << QByteArray("1 0.5 0.5 0.2 0.2 0.912345678") << none << "box" << 0
            << QVector<double>{0.5, 0.5, 0.2, 0.2} << QByteArray("1 0.5 0.5 0.2 0.2 0.912345678");
        QTest::newRow("triangle") << QByteArray("4 0.1 0.2 0.5 0.8 0.300000 0.4") << none
                                  << "polygon" << 2 << QVector<double>{0.3, 0.5, 0.4, 0.6}
                                  << QByteArray("4 0.1 0.2 0.5 0.8 0.3 0.4");
        QTest::newRow("oriented box without kpt_shape is a polygon")
            << QByteArray("0 0.1 0.1 0.3 0.1 0.3 0.2 0.1 0.2") << none << "polygon" << 2
            << QVector<double>{0.2, 0.15, 0.2, 0.1}
            << QByteArray("0 0.1 0.1 0.3 0.1 0.3 0.2 0.1 0.2");
        QTest::newRow("kpt_shape [2, 2] makes nine fields keypoints")
            << QByteArray("0 0.5 0.5 0.4 0.4 0.4 0.4 0.6 0.6") << KeypointShape{2, 2} << "keypoints"
            << 2 << QVector<double>{0.5, 0.5, 0.4, 0.4}
            << QByteArray("0 0.5 0.5 0.4 0.4 0.4 0.4 0.6 0.6");
        QTest::newRow("kpt_shape [1, 3]")
            << QByteArray("2 0.5 0.5 0.4 0.4 0.45 0.55 0") << KeypointShape{1, 3} << "keypoints"
            << 3 << QVector<double>{0.5, 0.5, 0.4, 0.4}
            << QByteArray("2 0.5 0.5 0.4 0.4 0.45 0.55 0");
        QTest::newRow("kpt_shape given, odd count of another pose is a polygon")
            << QByteArray("0 0.1 0.1 0.3 0.1 0.3 0.2") << KeypointShape{17, 3} << "polygon" << 2
            << QVector<double>{0.2, 0.15, 0.2, 0.1} << QByteArray("0 0.1 0.1 0.3 0.1 0.3 0.2");
        QTest::newRow("kpt_shape given, even count of another pose is a box and text")
            << QByteArray("0 0.5 0.5 0.2 0.2 0.5 0.5 2") << KeypointShape{2, 3} << "box" << 0
            << QVector<double>{0.5, 0.5, 0.2, 0.2} << QByteArray("0 0.5 0.5 0.2 0.2 0.5 0.5 2");
        QTest::newRow("eight fields without kpt_shape: one keypoint")
            << QByteArray("0 0.5 0.5 0.2 0.2 0.500000 0.5 1") << none << "keypoints" << 3
            << QVector<double>{0.5, 0.5, 0.2, 0.2} << QByteArray("0 0.5 0.5 0.2 0.2 0.5 0.5 1");
        QTest::newRow("a visibility other than 0, 1, 2 is no keypoint")
            << QByteArray("0 0.5 0.5 0.2 0.2 0.500000 0.5 0.7") << none << "box" << 0
            << QVector<double>{0.5, 0.5, 0.2, 0.2}
            << QByteArray("0 0.5 0.5 0.2 0.2 0.500000 0.5 0.7");
        QTest::newRow("ten fields: box and text")
            << QByteArray("0 0.5 0.5 0.2 0.2 1 2 3 4 5") << none << "box" << 0
            << QVector<double>{0.5, 0.5, 0.2, 0.2} << QByteArray("0 0.5 0.5 0.2 0.2 1 2 3 4 5");
        QTest::newRow("polygon with a word: box and text")
            << QByteArray("0 0.1 0.1 0.3 0.1 0.3 x") << none << "box" << 0
            << QVector<double>{0.1, 0.1, 0.3, 0.1} << QByteArray("0 0.1 0.1 0.3 0.1 0.3 x");
        QTest::newRow("polygon, crlf")
            << QByteArray("0 0.1 0.1 0.3 0.1 0.3 0.2\r\n") << none << "polygon" << 2
            << QVector<double>{0.2, 0.15, 0.2, 0.1} << QByteArray("0 0.1 0.1 0.3 0.1 0.3 0.2");
    }
    void shapes()
    {
        QFETCH(QByteArray, line);
        QFETCH(KeypointShape, kptShape);
        QFETCH(QString, kind);
        QFETCH(int, dims);
        QFETCH(QVector<double>, box);
        QFETCH(QByteArray, written);
        const Boxes read = yolo::parseLabels(line, nullptr, kptShape);
        QCOMPARE(read.size(), 1);
        const BoxInfo &b = read.at(0);
        QCOMPARE(QString::fromLatin1(shape::kindName(b.kind())), kind);
        QCOMPARE(b.shape().dims(), dims);
        const double epsilon = 1e-12;
        QVERIFY(std::abs(b.cx - box[0]) < epsilon && std::abs(b.cy - box[1]) < epsilon);
        QVERIFY(std::abs(b.cw - box[2]) < epsilon && std::abs(b.ch - box[3]) < epsilon);
        QCOMPARE(yolo::formatLine(b).toUtf8(), written);
        QCOMPARE(yolo::firstForeignLine(line), 0);
    }

    // Each kind written to a file and read back: the same bytes, the same kind and values.
    void shapesWriteThenRead_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<KeypointShape>("kptShape");
        QTest::newRow("boxes with confidences")
            << QByteArray("0 0.5 0.5 0.2 0.2 0.9\n3 0.25 0.75 0.1 0.3 0.5") << KeypointShape{};
        QTest::newRow("polygons") << QByteArray(
            "0 0.1 0.1 0.3 0.1 0.3 0.2\n1 0.123457 1e-05 0.9 0.5 0.2 0.4 0.6 0.9")
                                  << KeypointShape{};
        QTest::newRow("pose, x y v") << QByteArray("0 0.5 0.5 0.4 0.4 0.4 0.4 2 0 0 0\n"
                                                   "0 0.2 0.2 0.1 0.1 0.2 0.25 1 0.21 0.2 2")
                                     << KeypointShape{2, 3};
        QTest::newRow("pose, x y")
            << QByteArray("0 0.5 0.5 0.4 0.4 0.4 0.4 0.6 0.6") << KeypointShape{2, 2};
    }
    void shapesWriteThenRead()
    {
        QFETCH(QByteArray, file);
        QFETCH(KeypointShape, kptShape);
        const QString path = dir.filePath("shapes.txt");
        ::writeBytes(path, file);
        const BBoxList::LoadedFile first = BBoxList::readTxtFile(path, kptShape);
        BBoxList list;
        list.setLoaded(first);
        expectSaveMessages(path);
        QVERIFY(list.saveTxtFile(path));
        QCOMPARE(readBytes(path), file);
        const BBoxList::LoadedFile back = BBoxList::readTxtFile(path, kptShape);
        QCOMPARE(back.boxes.size(), first.boxes.size());
        for (int i = 0; i < back.boxes.size(); ++i) {
            QVERIFY(back.boxes[i].shape() == first.boxes[i].shape());
            QCOMPARE(back.boxes[i].extra(), first.boxes[i].extra());
        }
    }

    void firstForeignLine_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("expected");
        QTest::newRow("labels") << QByteArray("0 0.5 0.5 0.1 0.1\n1 0.2 0.2 0.1 0.1") << 0;
        QTest::newRow("empty file") << QByteArray() << 0;
        QTest::newRow("blank lines, crlf, final line feed")
            << QByteArray("\r\n0 0.5 0.5 0.1 0.1\r\n \t\n\n") << 0;
        QTest::newRow("more than five fields") << QByteArray("45 0.1 0.2 0.3 0.4 x y z") << 0;
        QTest::newRow("exponents") << QByteArray("3 1e-05 0.5 2E-3 .5") << 0;
        QTest::newRow("notes") << QByteArray("checked by A. on Monday") << 1;
        QTest::newRow("image list")
            << QByteArray("0 0.5 0.5 0.1 0.1\n/data/images/a.jpg\n0 0.5 0.5 0.1 0.1") << 2;
        QTest::newRow("class written by a numeric library")
            << QByteArray("0 0.5 0.5 0.1 0.1\r\n2.000000e+00 0.5 0.5 0.1 0.1") << 0;
        QTest::newRow("class that is not whole") << QByteArray("0.5 0.5 0.5 0.1 0.1") << 1;
        QTest::newRow("four fields") << QByteArray("1 0.5 0.5 0.1") << 1;
        QTest::newRow("two spaces, tabs") << QByteArray("3  0.5\t0.5 0.2 0.2") << 0;
        QTest::newRow("a word for a number") << QByteArray("1 0.5 0.5 0.1 big") << 1;
        QTest::newRow("not ascii") << QByteArray("0 0.5 0.5 0.1 0.1\n\xc3\xa9t\xc3\xa9") << 2;
        QTest::newRow("after a nul byte nothing counts")
            << QByteArray("0 0.5 0.5 0.1 0.1\0notes", 23) << 0;
    }
    void firstForeignLine()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, expected);
        QCOMPARE(yolo::firstForeignLine(bytes), expected);
        // The same through the list, reading the file as it is on disk.
        const QString path = dir.filePath("foreign.txt");
        ::writeBytes(path, bytes);
        QCOMPARE(BBoxList().firstForeignLine(path), expected);
    }

    // A label file that is a link is written through only while its target stays inside the
    // folder that holds it.
    void linksLeavingTheFolder_data()
    {
        QTest::addColumn<QString>("target"); // relative to the labels folder
        QTest::addColumn<bool>("written");
        QTest::newRow("target outside") << "../outside.txt" << false;
        QTest::newRow("through a link to a folder outside") << "../linkdir/outside.txt" << false;
        QTest::newRow("dangling, outside") << "../nowhere.txt" << false;
        QTest::newRow("target inside") << "real/a.txt" << true;
        QTest::newRow("dangling, inside") << "real/new.txt" << true;
        // A sibling folder whose name starts with the labels folder's name is outside.
        QTest::newRow("sibling with the same prefix") << "../labels2/a.txt" << false;
        QTest::newRow("dangling, sibling with the same prefix") << "../labels2/new.txt" << false;
    }
    void linksLeavingTheFolder()
    {
        QFETCH(QString, target);
        QFETCH(bool, written);
        QTemporaryDir root;
        QDir(root.path()).mkpath("labels/real");
        QDir(root.path()).mkpath("labels2");
        QFile::link(root.path(), root.filePath("linkdir"));
        const QByteArray before("keep me\n");
        ::writeBytes(root.filePath("outside.txt"), before);
        ::writeBytes(root.filePath("labels/real/a.txt"), before);
        ::writeBytes(root.filePath("labels2/a.txt"), before);
        const QString label = root.filePath("labels/x.txt");
        QVERIFY(QFile::link(target, label));

        std::unique_ptr<BBoxList> list(listOf({{1, 0.5, 0.5, 0.1, 0.1}}));
        expectSaveMessages(label);
        QCOMPARE(list->saveTxtFile(label), written);
        QVERIFY(QFileInfo(label).isSymLink());
        const QString resolved = QDir(root.filePath("labels")).filePath(target);
        if (written) {
            QCOMPARE(readBytes(resolved), QByteArray("1 0.5 0.5 0.1 0.1"));
            QCOMPARE(list->saveError(), QString());
        } else {
            QCOMPARE(list->saveError(), QStringLiteral("link points outside the labels folder"));
            QCOMPARE(readBytes(root.filePath("outside.txt")), before);
            QVERIFY(!QFile::exists(root.filePath("nowhere.txt")));
            QCOMPARE(readBytes(root.filePath("labels2/a.txt")), before);
            QVERIFY(!QFile::exists(root.filePath("labels2/new.txt")));
        }
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Boxes>("expected");
        QTest::newRow("one line") << QByteArray("0 0.5 0.5 0.1 0.1")
                                  << Boxes{{0, 0.5, 0.5, 0.1, 0.1}};
        QTest::newRow("trailing line feed")
            << QByteArray("1 0.5 0.5 0.1 0.1\n") << Boxes{{1, 0.5, 0.5, 0.1, 0.1}};
        QTest::newRow("crlf line ends") << QByteArray("1 0.5 0.5 0.1 0.1\r\n2 0.1 0.2 0.3 0.4\r\n")
                                        << Boxes{{1, 0.5, 0.5, 0.1, 0.1}, {2, 0.1, 0.2, 0.3, 0.4}};
        QTest::newRow("six fields")
            << QByteArray("1 0.5 0.5 0.1 0.1 0.9") << Boxes{{1, 0.5, 0.5, 0.1, 0.1}};
        // Fields as a YOLO trainer splits them, the class as any whole number.
        QTest::newRow("two spaces after category")
            << QByteArray("3  0.5 0.5 0.2 0.2") << Boxes{{3, 0.5, 0.5, 0.2, 0.2}};
        QTest::newRow("tabs between fields")
            << QByteArray("1\t0.5\t0.5\t0.1\t0.1") << Boxes{{1, 0.5, 0.5, 0.1, 0.1}};
        QTest::newRow("whitespace around the line")
            << QByteArray(" \t1 0.5 0.5 0.1 0.1 \t\r\n") << Boxes{{1, 0.5, 0.5, 0.1, 0.1}};
        QTest::newRow("non-numbers") << QByteArray("x 0.5 abc 0.1 -") << Boxes{};
        QTest::newRow("category written 1.0")
            << QByteArray("1.0 0.5 0.5 0.1 0.1") << Boxes{{1, 0.5, 0.5, 0.1, 0.1}};
        QTest::newRow("category written 1e0, 2.000000e+00")
            << QByteArray("1e0 0.5 0.5 0.1 0.1\n2.000000e+00 0.5 0.5 0.1 0.1")
            << Boxes{{1, 0.5, 0.5, 0.1, 0.1}, {2, 0.5, 0.5, 0.1, 0.1}};
        QTest::newRow("category 1.5 is no class") << QByteArray("1.5 0.5 0.5 0.1 0.1") << Boxes{};
        QTest::newRow("blank lines") << QByteArray("\n1 0.5 0.5 0.1 0.1\n\n\n2 0.5 0.5 0.1 0.1\n\n")
                                     << Boxes{{1, 0.5, 0.5, 0.1, 0.1}, {2, 0.5, 0.5, 0.1, 0.1}};
        QTest::newRow("short lines give no box")
            << QByteArray("1 0.5 0.5 0.1\n1\n \n2 0.5 0.5 0.1 0.1")
            << Boxes{{2, 0.5, 0.5, 0.1, 0.1}};
        QTest::newRow("empty file") << QByteArray("") << Boxes{};
        QTest::newRow("nul in the middle")
            << QByteArray("1 0.5 0.5 0.1 0.1\n2 0.5 0.5 0.1 0.1\0\n3 0.5 0.5 0.1 0.1", 53)
            << Boxes{{1, 0.5, 0.5, 0.1, 0.1}, {2, 0.5, 0.5, 0.1, 0.1}};
        QTest::newRow("exponent") << QByteArray("0 1e-05 0.5 0.5 0.5")
                                  << Boxes{{0, 0.00001, 0.5, 0.5, 0.5}};
        QTest::newRow("spaces around numbers") << QByteArray("1 0.5 0.5 0.1 \r") << Boxes{};
        QTest::newRow("hex") << QByteArray("0x10 0.5 0.5 0.1 0.1") << Boxes{};
        QTest::newRow("out of range") << QByteArray("0 1e400 -0 0.5 0.5") << Boxes{};
        QTest::newRow("negative zero")
            << QByteArray("0 0.5 -0 0.5 0.5") << Boxes{{0, 0.5, -0.0, 0.5, 0.5}};
        QTest::newRow("category beyond 32 bits")
            << QByteArray("4294967297 0.5 0.5 0.1 0.1") << Boxes{};
        QTest::newRow("invalid utf-8") << QByteArray("1 0.5 0.5 0.1 0.1\n\xff\xfe 0.5 0.5 0.5 0.5")
                                       << Boxes{{1, 0.5, 0.5, 0.1, 0.1}};
    }
    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Boxes, expected);
        COMPARE_BOXES(parse(bytes), expected);
        // The reading of text that is not ASCII (decoded first) agrees with that of bytes.
        COMPARE_BOXES(parse(bytes + "\n# \xc3\xa9"), expected);

        // The same through the list, in one reset, appended after what the list holds.
        const QString path = dir.filePath("r.txt");
        ::writeBytes(path, bytes);
        std::unique_ptr<BBoxList> list(listOf({{9, 0.9, 0.9, 0.9, 0.9}}));
        QSignalSpy reset(list.get(), &QAbstractItemModel::modelReset);
        QSignalSpy inserted(list.get(), &QAbstractItemModel::rowsInserted);
        list->loadTxtFile(path);
        QCOMPARE(reset.count(), 1);
        QCOMPARE(inserted.count(), 0);
        const Boxes withOld = Boxes{{9, 0.9, 0.9, 0.9, 0.9}} + expected;
        COMPARE_BOXES(boxesOf(*list), withOld);
    }

    // The reader's number conversion must give exactly the doubles and ints that
    // QString::toDouble and QString::toInt give, for whatever text a label file holds.
    void conversionsMatchQString()
    {
        std::mt19937_64 rng(7);
        QStringList samples{"0",
                            "-0",
                            "00",
                            "007",
                            "0.",
                            ".5",
                            "-.5",
                            "+0.5",
                            "1.",
                            "1e3",
                            "1E-05",
                            "0x10",
                            "inf",
                            "-inf",
                            "nan",
                            "\t0.5",
                            "0.5\r",
                            "0,5",
                            "1.2.3",
                            "--1",
                            "-",
                            "",
                            "123456789012345",
                            "1234567890123456",
                            "0.000000000000001",
                            "0.0000000000000001",
                            "99999999999999.9",
                            "2147483647",
                            "2147483648",
                            "-2147483648",
                            "999999999",
                            "-999999999",
                            "1000000000",
                            "4294967296",
                            "12a",
                            "\u0661"};
        for (int i = 0; i < 20000; ++i) {
            const int decimals = int(rng() % 18);
            const double magnitude = std::pow(10.0, double(int(rng() % 12)) - 4);
            const double value = (double(rng() % 2000001) / 1000000.0 - 1.0) * magnitude;
            samples << QString::asprintf("%.*f", decimals, value);
            samples << QString::number(qint64(rng() % 20000000000ULL) - 10000000000LL);
        }
        for (const QString &field : qAsConst(samples)) {
            // A line whose numbers do not convert is no label.
            bool isInt = false, isNumber = false;
            const int expectedId = field.toInt(&isInt, 10);
            const double expected = field.toDouble(&isNumber);
            const Boxes boxes = parse(QStringLiteral("0 %1 %1 %1 %1").arg(field).toUtf8());
            QCOMPARE(boxes.size(), isNumber ? 1 : 0);
            // A class is any number that is whole, within int.
            const bool isClass = isInt
                || (isNumber && std::floor(expected) == expected && expected >= INT_MIN
                    && expected <= INT_MAX);
            const Boxes asId = parse(QStringLiteral("%1 0.5 0.5 0.5 0.5").arg(field).toUtf8());
            QCOMPARE(asId.size(), isClass ? 1 : 0);
            if (isClass)
                QCOMPARE(asId.at(0).catId, isInt ? expectedId : int(expected));
            if (!isNumber)
                continue;
            const double actual = boxes.at(0).cx;
            QVERIFY2(std::memcmp(&expected, &actual, sizeof(double)) == 0
                         || (std::isnan(expected) && std::isnan(actual)),
                     qPrintable(QStringLiteral("%1: %2 against %3")
                                    .arg(field)
                                    .arg(actual, 0, 'g', 17)
                                    .arg(expected, 0, 'g', 17)));
        }
    }

    void readMissingFile()
    {
        BBoxList list;
        QSignalSpy reset(&list, &QAbstractItemModel::modelReset);
        list.loadTxtFile(dir.filePath("does-not-exist.txt"));
        QCOMPARE(list.rowCount(), 0);
        QCOMPARE(reset.count(), 1);
    }

    void writeThenRead_data()
    {
        QTest::addColumn<Boxes>("boxes");
        QTest::addColumn<Boxes>("expected");
        QTest::newRow("rounded to six digits")
            << Boxes{{1, 0.123456789, 0.00001, 0.9999996, 0.333333333}, {0, 0.5, 0.5, 0.1, 0.1}}
            << Boxes{{1, 0.123457, 0.00001, 1, 0.333333}, {0, 0.5, 0.5, 0.1, 0.1}};
        QTest::newRow("empty") << Boxes{} << Boxes{};
        QTest::newRow("many") <<
            [] {
                Boxes b;
                for (int i = 0; i < 1000; ++i)
                    b << BoxInfo{i % 80, i / 1000.0, 0.5, 0.25, 0.125};
                return b;
            }()
                              << [] {
                                     Boxes b;
                                     for (int i = 0; i < 1000; ++i)
                                         b << BoxInfo{i % 80, i / 1000.0, 0.5, 0.25, 0.125};
                                     return b;
                                 }();
    }
    void writeThenRead()
    {
        QFETCH(Boxes, boxes);
        QFETCH(Boxes, expected);
        const QString path = dir.filePath("roundtrip.txt");
        std::unique_ptr<BBoxList> list(listOf(boxes));
        list->saveTxtFile(path);
        BBoxList back;
        back.loadTxtFile(path);
        COMPARE_BOXES(boxesOf(back), expected);
        // Saving what was read gives the same bytes again.
        const QByteArray first = readBytes(path);
        back.saveTxtFile(path);
        QCOMPARE(readBytes(path), first);
    }

    // The outline edits of the editor: a vertex put on an edge or taken out, a polygon turned,
    // the edge near a point, a polygon through clicked points; "no" where nothing changes.
    void outlineEdits_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("expected");
        const QByteArray square = "0 0.4 0.4 0.6 0.4 0.6 0.6 0.4 0.6";
        QTest::newRow("vertex on an edge")
            << QByteArray("0 0.1 0.1 0.5 0.1 0.5 0.5") << "insert 0 0.3 0.1"
            << "0 0.1 0.1 0.3 0.1 0.5 0.1 0.5 0.5";
        QTest::newRow("after the last: on the closing edge")
            << QByteArray("0 0.1 0.1 0.5 0.1 0.5 0.5") << "insert 2 1.2 -0.1"
            << "0 0.1 0.1 0.5 0.1 0.5 0.5 1 0";
        QTest::newRow("no vertex of a box") << QByteArray("0 0.5 0.5 0.2 0.2") << "insert 0 0.5 0.5"
                                            << "no";
        QTest::newRow("vertex taken out") << square << "remove 1"
                                          << "0 0.4 0.4 0.6 0.6 0.4 0.6";
        QTest::newRow("never below three") << QByteArray("0 0.1 0.1 0.5 0.1 0.5 0.5") << "remove 0"
                                           << "no";
        QTest::newRow("turned a quarter, corners in order") << square << "rotate 90 100 100"
                                                            << "0 0.6 0.4 0.6 0.6 0.4 0.6 0.4 0.4";
        QTest::newRow("a rectangle as seen stays one")
            << QByteArray("0 0.4 0.45 0.6 0.45 0.6 0.55 0.4 0.55") << "rotate 90 200 100"
            << "0 0.525 0.3 0.525 0.7 0.475 0.7 0.475 0.3";
        QTest::newRow("not out of the picture")
            << QByteArray("0 0 0 1 0 1 0.2 0 0.2") << "rotate 45 100 100"
            << "no";
        QTest::newRow("edge within reach") << square << "edge 0.5 0.41"
                                           << "0";
        QTest::newRow("closing edge") << square << "edge 0.39 0.5"
                                      << "3";
        QTest::newRow("nothing within reach") << square << "edge 0.5 0.5"
                                              << "-1";
        QTest::newRow("polygon through points, clamped")
            << QByteArray() << "through -0.1 0.2 0.5 1.2 0.9 0.9"
            << "3 0 0.2 0.5 1 0.9 0.9";
        QTest::newRow("two points: no polygon") << QByteArray() << "through 0.1 0.1 0.2 0.2"
                                                << "no";
    }
    void outlineEdits()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, edit);
        QFETCH(QString, expected);
        const QStringList words = edit.split(' ');
        const auto number = [&](int i) { return words.at(i).toDouble(); };
        BoxInfo box = line.isEmpty() ? BoxInfo() : yolo::parseLabels(line).first();
        bool changed = false;
        if (words[0] == "insert") {
            changed = shape::insertVertex(box, words[1].toInt(), number(2), number(3));
        } else if (words[0] == "remove") {
            changed = shape::removeVertex(box, words[1].toInt());
        } else if (words[0] == "rotate") {
            changed = shape::rotate(box, number(1) * M_PI / 180, number(2), number(3));
        } else if (words[0] == "edge") {
            QCOMPARE(QString::number(shape::edgeNear(box, number(1), number(2), 100, 100, 6)),
                     expected);
            return;
        } else {
            QVector<double> points;
            for (int i = 1; i < words.size(); ++i)
                points << number(i);
            box = shape::polygonThrough(3, points);
            changed = box.kind() == ShapeKind::Polygon;
        }
        QCOMPARE(changed ? yolo::formatLine(box) : QStringLiteral("no"), expected);
        // The box is fitted to the vertices.
        if (changed) {
            double left, top, right, bottom;
            box.shape().bounds(&left, &top, &right, &bottom);
            QCOMPARE(box.cw, right - left);
        }
    }

    // An oriented box resized through its box stays a rectangle of its angle, with the box
    // asked for, on a picture that is not square; other shapes are left to the plain resize.
    void resizeKeepsARectangle_data()
    {
        QTest::addColumn<double>("degrees");
        QTest::newRow("level") << 0.0;
        QTest::newRow("30 degrees") << 30.0;
        QTest::newRow("-60 degrees") << -60.0;
    }
    void resizeKeepsARectangle()
    {
        QFETCH(double, degrees);
        const double width = 400, height = 200, a = degrees * M_PI / 180;
        // A rectangle 60 by 20 pixels round (200, 100), turned.
        QVector<double> corners;
        for (const auto &[su, sw] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}})
            corners << (200 + su * 30 * std::cos(a) - sw * 10 * std::sin(a)) / width
                    << (100 + su * 30 * std::sin(a) + sw * 10 * std::cos(a)) / height;
        BoxInfo box = shape::polygonThrough(4, corners);
        const double cw = box.cw * 1.5, ch = box.ch * 1.2;
        QVERIFY(shape::resizeRectangle(box, 0.6, 0.4, cw, ch, width, height));
        QVERIFY(std::abs(box.cx - 0.6) < 1e-6 && std::abs(box.cy - 0.4) < 1e-6);
        QVERIFY2(std::abs(box.cw - cw) < 1e-5 && std::abs(box.ch - ch) < 1e-5,
                 qPrintable(yolo::formatLine(box)));
        const ShapePoints &v = box.shape();
        const double ux = (v.at(2) - v.at(0)) * width, uy = (v.at(3) - v.at(1)) * height;
        const double wx = (v.at(4) - v.at(2)) * width, wy = (v.at(5) - v.at(3)) * height;
        QVERIFY(std::abs(ux * wx + uy * wy) < 1e-3 * std::hypot(ux, uy) * std::hypot(wx, wy));
        QVERIFY(std::abs(std::atan2(uy, ux) - a) < 1e-4);
        BoxInfo triangle = shape::polygonThrough(4, {0.1, 0.1, 0.5, 0.1, 0.5, 0.5});
        QVERIFY(!shape::resizeRectangle(triangle, 0.5, 0.5, 0.2, 0.2, width, height));
    }
};

QTEST_GUILESS_MAIN(TestYoloLabels)
#include "tst_yololabels.moc"
