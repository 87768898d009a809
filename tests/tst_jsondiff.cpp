// The simdjson readers against QJsonDocument: every document read both ways must give the same
// rows, boxes (bit for bit), messages and signals; the streamed export must give the bytes of
// QJsonDocument::toJson.
#include "app/datasetactions.h"
#include "format/cocoinstances.h"
#include "format/jsontext.h"
#include "jsondiff.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <cmath>
#include <limits>
#include <random>

namespace {

// JSON written with single quotes, which the tests' texts then need no escapes for.
QByteArray J(const char *text)
{
    return QByteArray(text).replace('\'', '"');
}

// Several megabytes, so that the readers' batches and buffers turn over many times: elements
// of every size, strings with escapes and brackets in them, numbers of every form.
QByteArray largeImages(int count)
{
    QByteArray text = "[";
    for (int i = 0; i < count; ++i) {
        if (i)
            text += i % 7 ? "," : " ,\n";
        const QByteArray name = i % 3 ? "a.jpg" : "b.jpg";
        text += "{\"id\": " + QByteArray::number(i % 5000) + ", \"file_name\": \"" + name
            + "\", \"width\": 640, \"height\": 480, \"note\": \"" + QByteArray(i % 13 * 40, 'x')
            + "\\\\\\\"],{\\u00e9\", \"extra\": [[1.5e3, -0.0, " + QByteArray::number(i)
            + "e-3], {\"k\": [true, false, null]}]}";
    }
    // One element larger than a reader's whole buffer.
    text += ", {\"id\": 3, \"file_name\": \"a.jpg\", \"width\": 640, \"height\": 480, \"big\": \""
        + QByteArray(5 << 20, '\\').replace("\\\\", "\\\\") + "\"}";
    return text + "]";
}

QByteArray largeAnnotations(int count)
{
    QByteArray text = "[";
    for (int i = 0; i < count; ++i) {
        if (i)
            text += ",";
        const double w = 150 + i % 90, h = 160 + i % 70;
        text += "{\"segmentation\": [[" + QByteArray::number(i * 0.37, 'g', 17) + ", 2.25, 3e2]], "
            + "\"image_id\": " + QByteArray::number(i % 20000)
            + ", \"category_id\": " + QByteArray::number(i % 3 ? 1 : 7) + ", \"bbox\": ["
            + QByteArray::number(i % 40) + ".5, 10, " + QByteArray::number(w, 'g', 17) + ", "
            + QByteArray::number(h, 'g', 17) + "], \"id\": " + QByteArray::number(i) + "}";
    }
    return text + "]";
}

// Documents with the placeholder V where a value goes.
const QByteArray valueImages
    = J("[{'id': 1, 'file_name': 'a.jpg', 'width': 640, 'height': 480},"
        " {'id': V, 'file_name': 'b.jpg', 'width': V, 'height': 480, 'other': V}]");
const QByteArray valueAnns
    = J("[{'image_id': 1, 'category_id': V, 'bbox': [10, 10, 200, 200]},"
        " {'image_id': V, 'category_id': 1, 'bbox': [V, 20, 200, 250], 'area': V},"
        " {'image_id': 1, 'category_id': 1, 'bbox': [30, 30, 200, 300]}]");
const QByteArray valueDataset
    = J("[{'id': V, 'fileName': 'n', 'filePath': V, 'width': V, 'classNames': [V, 'b'],"
        " 'height': 4, 'bboxes': [{'catId': V, 'cx': V, 'cy': 0.5, 'cw': V, 'ch': 1e-05}, V,"
        " {'catId': 1, 'kind': 'polygon', 'points': [V, 0.1, 0.2, 0.3, V, 0.5]},"
        " {'kind': 'keypoints', 'pointDims': V, 'points': [0.5, 0.5, 2, 0.1, V, 0]}]},"
        " {'id': 2, 'bboxes': V, 'reviewState': V, 'reviewNote': V}]");
const QByteArray valueInstances
    = J("{'info': V, 'images': [{'id': 1, 'file_name': 'a.jpg', 'width': 640, 'height': 480},"
        " {'id': V, 'file_name': V, 'width': V, 'height': 48}],"
        " 'annotations': [{'id': V, 'image_id': 1, 'category_id': 3, 'bbox': [1, V, 20, 20]},"
        " {'id': 2, 'image_id': V, 'category_id': V, 'iscrowd': V, 'bbox': [1, 1, 2, 2],"
        " 'segmentation': [[1, 1, V, 1, 9, 9], V]}],"
        " 'categories': [{'id': 3, 'name': V}, {'id': V, 'name': 'b', 'other': V}]}");

// Rows of images text, annotations text, and whether the simdjson readers keep both.
void addCocoDocumentRows()
{
    const QByteArray images = J("[{'id': 1, 'file_name': 'a.jpg', 'width': 640, 'height': 480}]");
    const QByteArray anns = J("[{'image_id': 1, 'category_id': 1, 'bbox': [0, 0, 200, 200]}]");
    QTest::newRow("ordinary") << images << anns << true;
    QTest::newRow("empty arrays") << QByteArray("[]") << QByteArray(" [ ] \n") << true;
    QTest::newRow("empty file") << QByteArray("") << anns << false;
    QTest::newRow("white space only") << images << QByteArray(" \n") << false;
    QTest::newRow("byte-order mark") << "\xEF\xBB\xBF" + images << anns << true;
    QTest::newRow("two marks") << "\xEF\xBB\xBF\xEF\xBB\xBF" + images << anns << false;
    QTest::newRow("object at the top") << (J("{'images': [1, 2]}")) << anns << true;
    QTest::newRow("broken object at the top") << (J("{'images': [1, 2}")) << anns << false;
    QTest::newRow("scalar at the top") << QByteArray("42") << anns << false;
    QTest::newRow("trailing text") << images + " x" << anns << false;
    QTest::newRow("trailing bracket") << images + "]" << anns << false;
    QTest::newRow("trailing white space") << images + " \r\n\t" << anns << true;
    QTest::newRow("trailing comma") << QByteArray("[1,]") << anns << false;
    QTest::newRow("leading comma") << QByteArray("[,1]") << anns << false;
    QTest::newRow("double comma") << QByteArray("[1,,2]") << anns << false;
    QTest::newRow("unclosed") << QByteArray("[{\"id\": 1,") << anns << false;
    QTest::newRow("unclosed string") << QByteArray("[\"abc]") << anns << false;
    QTest::newRow("closed by a brace") << QByteArray("[1}") << anns << false;
    QTest::newRow("invalid UTF-8") << QByteArray("[\"\xff\"]") << anns << false;
    QTest::newRow("control character in a string") << QByteArray("[\"a\x01z\"]") << anns << false;
    QTest::newRow("duplicate keys")
        << (J("[{'id': 7, 'file_name': 'b.jpg', 'id': 1, 'file_name': 'a.jpg',"
              " 'width': 640, 'height': 480}]"))
        << (J("[{'image_id': 1, 'category_id': 1, 'bbox': [1, 1, 1, 1],"
              " 'bbox': [0, 0, 200, 200], 'category_id': 2, 'category_id': 1}]"))
        << true;
    QTest::newRow("escaped keys and names")
        << (J("[{'\\u0069d': 1, 'file_\\u006eame': '\\u0061.jpg', 'width': 640,"
              " 'height': 480}]"))
        << anns << true;
    QTest::newRow("elements that are not objects")
        << (J("[1, 'a', null, [], {'id': 1, 'file_name': 'a.jpg', 'width': 640,"
              " 'height': 480}]"))
        << (J("[[], 2, {'image_id': 1, 'category_id': 1, 'bbox': [0, 0, 200, 200]}]")) << true;
    QTest::newRow("bbox that is not an array or too short")
        << images
        << (J("[{'image_id': 1, 'category_id': 1, 'bbox': {'x': 1}},"
              " {'image_id': 1, 'category_id': 1, 'bbox': [0, 0, 200]},"
              " {'image_id': 1, 'category_id': 1, 'bbox': [0, null, '200', 200, 9, 9]},"
              " {'image_id': 1, 'category_id': 1, 'bbox': [0, 0, 200, 200]}]"))
        << true;
    QByteArray deep = QByteArray(900, '[') + QByteArray(900, ']');
    QTest::newRow("nested 900 deep") << "[" + deep + "]" << anns << true;
    deep = QByteArray(1100, '[') + QByteArray(1100, ']');
    QTest::newRow("nested too deep") << "[" + deep + "]" << anns << false;
    QTest::newRow("nested a little") << (J("[[[[{'a': [[[]]]}]]], 1]")) << anns << true;
    QTest::newRow("large files") << largeImages(20000) << largeAnnotations(60000) << true;
}

// Rows of a dataset file's text, and whether the simdjson reader keeps it.
void addDatasetDocumentRows()
{
    QTest::newRow("empty array") << QByteArray("[]") << true;
    QTest::newRow("object at the top") << (J("{'bboxes': []}")) << true;
    QTest::newRow("not JSON") << QByteArray("id,fileName\n1,a.jpg\n") << false;
    QTest::newRow("names with escapes")
        << (J("[{'fileName': 'a\\'b\\\\c\\/d\\n\\t\\u0000\\u00e9\\ud83d\\ude00', 'filePath':"
              " '\\u2028 é 😀', 'bboxes': []}]"))
        << true;
    QTest::newRow("duplicate bboxes")
        << (J("[{'bboxes': [{'catId': 1}], 'bboxes': [{'cx': 0.25, 'cx': 0.5}]}]")) << true;
    QTest::newRow("box that is not an object") << (J("[{'bboxes': [1, [], null]}]")) << true;
    QTest::newRow("shapes") << (J(
        "[{'bboxes': [{'kind': 'polygon', 'pointDims': 2, 'points': [0.1, 0.2, 0.5, 0.2,"
        " 0.5, 0.6]}, {'points': [0.5, 0.5, 2], 'kind': 'keypoints', 'pointDims': 3},"
        " {'kind': 'keypoints', 'pointDims': 2, 'points': [0.5, 0.5, 0, 0]}]}]"))
                            << true;
    QTest::newRow("shapes that are none")
        << (J("[{'bboxes': [{'kind': 'polygon', 'points': [0.1, 0.2, 0.5, 0.2, 0.5]},"
              " {'kind': 'polygon', 'points': [0.1, 0.2, 0.5, 0.2]}, {'kind': 'circle',"
              " 'points': [1, 2, 3, 4, 5, 6]}, {'kind': 'keypoints', 'pointDims': 3, 'points':"
              " [1, 2]}, {'kind': 7, 'points': {'x': 1}}, {'points': [1, 2, 3, 4, 5, 6]}]}]"))
        << true;
    QTest::newRow("points that are not numbers, and twice")
        << (J("[{'bboxes': [{'kind': 'polygon', 'points': [0.1, '0.2', null, [1], {}, true],"
              " 'points': [0.1, 0.2, 0.5, 0.2, 0.5, 0.6, 'x', 0.9], 'kind': 'polygon'}]}]"))
        << true;
    QTest::newRow("lone surrogate in a name")
        << (J("[{'fileName': '\\udc00', 'bboxes': []}]")) << false;
    // Each end of each UTF-8 length, written as QJsonDocument writes it.
    QTest::newRow("U+007F and U+0080") << (J("[{'fileName': '\\u007f\\u0080'}]")) << true;
    QTest::newRow("U+07FF and U+0800") << (J("[{'fileName': '\\u07ff\\u0800'}]")) << true;
    QTest::newRow("U+FFFF and U+10000") << (J("[{'fileName': '\\uffff\\ud800\\udc00'}]")) << true;
    QTest::newRow("U+10FFFF") << (J("[{'fileName': '\\udbff\\udfff'}]")) << true;
    QTest::newRow("lone high surrogate") << (J("[{'fileName': 'a\\ud800b'}]")) << false;
    QTest::newRow("low before high") << (J("[{'fileName': '\\udc00\\ud800'}]")) << false;
}

} // namespace

class TestJsonDiff : public QObject, protected DatasetFixture
{
    Q_OBJECT

private:
    QString imageDir() const { return dir->filePath("coco"); }

    void compareCoco(const QByteArray &images, const QByteArray &anns, bool fastExpected)
    {
        writeBytes(path("images.json"), images);
        writeBytes(path("anns.json"), anns);
        jsondiff::Outcome reference, fast;
        bool usedFast = false;
        jsondiff::compare(
            path("out.json"),
            [&] { model->loadCocoJsonFromDir(path("images.json"), path("anns.json"), imageDir()); },
            reference, fast, &usedFast);
        QCOMPARE(fast.messages, reference.messages);
        QCOMPARE(fast.text, reference.text);
        QCOMPARE(fast.bits, reference.bits);
        QCOMPARE(fast.resets, reference.resets);
        QCOMPARE(fast.completed, reference.completed);
        QCOMPARE(usedFast, fastExpected);
    }

    void compareDataset(const QByteArray &text, bool fastExpected)
    {
        writeBytes(path("in.json"), text);
        jsondiff::Outcome reference, fast;
        bool usedFast = false;
        jsondiff::compare(
            path("out.json"), [&] { model->loadJson(path("in.json")); }, reference, fast,
            &usedFast);
        QCOMPARE(fast.text, reference.text);
        QCOMPARE(fast.bits, reference.bits);
        QCOMPARE(fast.messages, reference.messages);
        QCOMPARE(fast.resets, reference.resets);
        QCOMPARE(usedFast, fastExpected);
        // The class names, which only opening the file as the dataset takes.
        QStringList names[2];
        for (fastjson::Mode mode : {fastjson::Mode::Reference, fastjson::Mode::Fast}) {
            fastjson::setMode(mode);
            model->openJsonFile(path("in.json"));
            names[mode == fastjson::Mode::Fast] = model->classNameTable();
        }
        QCOMPARE(names[1], names[0]);
    }

    // A COCO instances file through both readers: rows, boxes, counts and errors alike.
    void compareInstances(const QByteArray &text, bool fastExpected)
    {
        writeBytes(path("instances.json"), text);
        QString said[2];
        jsondiff::Outcome reference, fast;
        bool usedFast = false;
        jsondiff::compare(
            path("out.json"),
            [&] {
                coco::Instances report;
                QString error;
                const bool ok
                    = model->openCocoInstances(path("instances.json"), imageDir(), report, &error);
                said[fastjson::mode() == fastjson::Mode::Fast]
                    = ok ? DatasetActions::instancesLoaded(model->rowCount(), "f", report) : error;
            },
            reference, fast, &usedFast);
        QCOMPARE(said[1], said[0]);
        QCOMPARE(fast.text, reference.text);
        QCOMPARE(fast.bits, reference.bits);
        QCOMPARE(usedFast, fastExpected);
    }

    // exportJson's text against QJsonDocument's for the dataset now loaded.
    void compareExport()
    {
        model->exportJson(path("fast.json"));
        model->exportJsonDocument(path("reference.json"));
        QCOMPARE(readBytes(path("fast.json")), readBytes(path("reference.json")));
    }

    // One document element per row: the same text read by the two COCO readers.
    static void addValueRows()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("fast");
        const QList<QPair<const char *, bool>> values{
            {"1", true},
            {"1.0", true},
            {"1.5", true},
            {"3e9", true},
            {"-0", true},
            {"-0.0", true},
            {"2147483647", true},
            {"2147483648", true},
            {"-2147483648", true},
            {"1e2", true},
            {"\"1\"", true},
            {"null", true},
            {"true", true},
            {"[1]", true},
            {"{\"a\": 1}", true},
            {"9223372036854775807", true},
            {"123456789012345678901234567890", true},
            {"0e-400", true},
            {"1e-400", false},
            {"2e-324", false},
            {"1e400", false},
            {".5", false},
            {"1.", false},
            {"01", false},
            {"+1", false},
            {"\"\\u0031\"", true},
            {"\"\\x\"", false},
            {"\"\\ud800\"", false},
            {"nul", false},
            {"-", false},
        };
        for (const auto &v : values)
            QTest::newRow(v.first) << QByteArray(v.first) << v.second;
    }

private slots:
    void initTestCase() { model = ImageList::instance(); }
    void init()
    {
        newFolder();
        QDir(dir->path()).mkpath("coco");
        for (const char *name : {"a.jpg", "b.jpg", "1.jpg"})
            writeBytes(imageDir() + "/" + name, "");
    }

    // A value in each place the COCO import reads a number, and in one it skips.
    void cocoValues_data() { addValueRows(); }
    void cocoValues()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, fast);
        compareCoco(QByteArray(valueImages).replace("V", value),
                    QByteArray(valueAnns).replace("V", value), fast);
    }

    void cocoDocuments_data()
    {
        QTest::addColumn<QByteArray>("images");
        QTest::addColumn<QByteArray>("anns");
        QTest::addColumn<bool>("fast");
        addCocoDocumentRows();
    }
    void cocoDocuments()
    {
        QFETCH(QByteArray, images);
        QFETCH(QByteArray, anns);
        QFETCH(bool, fast);
        compareCoco(images, anns, fast);
    }

    void instancesValues_data() { addValueRows(); }
    void instancesValues()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, fast);
        compareInstances(QByteArray(valueInstances).replace("V", value), fast);
    }

    void instancesDocuments_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("fast");
        const QByteArray images = J("[{'id': 1, 'file_name': 'a.jpg', 'width': 4, 'height': 4}]");
        QTest::newRow("members in any order")
            << J("{'categories': [], 'annotations': [], 'images': ") + images + "}" << true;
        QTest::newRow("empty arrays and objects") << J("{'info': {}, 'licenses': [], 'images': ")
                + images + J(", 'x': [[], {}]}") << true;
        QTest::newRow("a key twice") << J("{'images': [], 'images': ") + images + "}" << false;
        QTest::newRow("an escaped key") << J("{'im\\u0061ges': ") + images + "}" << false;
        QTest::newRow("trailing comma in a member")
            << J("{'images': ") + images.chopped(1) + ",]}" << false;
        QTest::newRow("trailing comma after members") << J("{'images': ") + images + ",}" << false;
        QTest::newRow("no colon") << J("{'images' ") + images + "}" << false;
        QTest::newRow("text after") << J("{'images': ") + images + "} x" << false;
        QTest::newRow("an array at the top") << images << false;
        QTest::newRow("mark and spaces")
            << "\xEF\xBB\xBF \n" + J("{'images': ") + images + "}" << true;
    }
    void instancesDocuments()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, fast);
        compareInstances(text, fast);
    }

    void datasetValues_data() { addValueRows(); }
    void datasetValues()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, fast);
        compareDataset(QByteArray(valueDataset).replace("V", value), fast);
        compareExport();
    }

    void datasetDocuments_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("fast");
        addDatasetDocumentRows();
    }
    void datasetDocuments()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, fast);
        compareDataset(text, fast);
        compareExport();
    }

    // The exported text of awkward values and names, and of a dataset large enough to be
    // written in many parts.
    void exportMatchesTheDocument()
    {
        const double inf = std::numeric_limits<double>::infinity();
        const QList<double> values{0.0,
                                   -0.0,
                                   0.1,
                                   1e-05,
                                   1e-4,
                                   -1.5,
                                   1e16,
                                   1e17,
                                   1e20,
                                   1e21,
                                   2e19,
                                   1.5e300,
                                   5e-324,
                                   inf,
                                   -inf,
                                   std::nan(""),
                                   std::ldexp(1.0, 60),
                                   std::ldexp(1.0, 64),
                                   1.2345678901234568e21,
                                   0.30000000000000004};
        QByteArray text = "[";
        for (int i = 0; i < 3000; ++i) {
            text += i ? ",{" : "{";
            text += "\"id\": " + QByteArray::number(i) + ", \"fileName\": \"f\\u00e9\\\""
                + QByteArray::number(i) + "\", \"bboxes\": [{\"catId\": -3, \"cx\": 0.1}]}";
        }
        writeBytes(path("in.json"), text + "]");
        model->loadJson(path("in.json"));
        BBoxList *first = boxes(0);
        for (int i = 0; i < values.size(); i += 4)
            first->appendBoxes({{i, values.value(i), values.value(i + 1), values.value(i + 2),
                                 values.value(i + 3)}});
        compareExport();
    }

    // Numbers and strings of every kind, written as QJsonDocument writes them.
    void numbersAsQtWritesThem()
    {
        std::mt19937_64 rng(15);
        QJsonArray array;
        QByteArray mine = "[";
        const auto add = [&](double d) {
            if (array.size())
                mine += ',';
            jsontext::appendNumber(mine, d);
            array.append(d);
        };
        for (int i = 0; i < 200000; ++i) {
            const quint64 bits = rng();
            double d;
            std::memcpy(&d, &bits, sizeof d);
            switch (i % 4) {
            case 0:
                add(d); // any bit pattern
                break;
            case 1:
                add(double(qint64(bits) >> (bits % 64))); // integers of every size
                break;
            case 2:
                add(std::ldexp(double(bits >> 11), int(bits % 200) - 150)); // around 1
                break;
            default:
                add(std::round(double(bits % 100000)) / std::pow(10.0, double(bits % 9)));
                break;
            }
        }
        mine += ']';
        QCOMPARE(mine, QJsonDocument(array).toJson(QJsonDocument::Compact));
    }

    void stringsAsQtWritesThem()
    {
        std::mt19937 rng(16);
        const ushort pool[] = {'a',    0x22,   0x5c,   '/',    0,      0x1f,   0x7f, 0xe9,
                               0x2028, 0xfffe, 0xd83d, 0xde00, 0xdbff, 0xdc00, '\n', '\b'};
        QJsonArray array;
        QByteArray mine = "[";
        for (int i = 0; i < 20000; ++i) {
            QString s;
            for (int n = int(rng() % 6); n > 0; --n)
                s += QChar(rng() % 3 ? pool[rng() % (sizeof pool / sizeof *pool)]
                                     : ushort(rng() % 0x10000));
            if (i)
                mine += ',';
            jsontext::appendString(mine, s);
            array.append(s);
        }
        mine += ']';
        QCOMPARE(mine, QJsonDocument(array).toJson(QJsonDocument::Compact));
    }
};

QTEST_GUILESS_MAIN(TestJsonDiff)
#include "tst_jsondiff.moc"
