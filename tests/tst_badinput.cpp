#include "dataset/imagelist.h"
#include "format/yololabels.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <random>

// Whatever a user's folders and files hold: no crash, no corrupted file, and the behaviour the
// readers promise.
class TestBadInput : public QObject, protected DatasetFixture
{
    Q_OBJECT

private:
    static QByteArray randomBytes(int size, unsigned seed)
    {
        std::mt19937 rng(seed);
        QByteArray bytes(size, Qt::Uninitialized);
        for (char &c : bytes)
            c = char(rng() & 0xff);
        return bytes;
    }
    // A sparse file of the given size: no disk space used.
    void sparse(const QString &file, qint64 size)
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(size));
    }

private slots:
    void initTestCase()
    {
        model = ImageList::instance();
        // The loaders' debug lines would flood the log with 100k paths.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &m) {
            if (type != QtDebugMsg)
                fprintf(stderr, "%s\n", qPrintable(m));
        });
    }
    void init()
    {
        newFolder();
        QDir(dir->path()).mkpath("labels");
    }

    // Load, edit, save and reload: every line the reader accepted survives, with the edit.
    void labelFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("binary garbage") << randomBytes(1 << 16, 1);
        QTest::newRow("garbage of spaces and digits") << [] {
            QByteArray b = randomBytes(1 << 16, 2);
            for (char &c : b)
                c = "0123456789 .-\ne"[static_cast<unsigned char>(c) % 15];
            return b;
        }();
        QTest::newRow("invalid utf-8")
            << QByteArray("1 0.5 0.5 0.1 0.1\n\xc3\x28 \xa0\xa1 0.2 0.3 0.4\n\xf0\x28\x8c\xbc");
        QTest::newRow("nul byte") << QByteArray("1 0.5 0.5 0.1 0.1\n\0 2 0.5 0.5 0.1 0.1", 36);
        QTest::newRow("special numbers")
            << QByteArray("1 1e400 -0 nan inf\n0x10 -inf 1e-400 0x10 +nan");
        QTest::newRow("10,000 boxes") << [] {
            QByteArray b;
            for (int i = 0; i < 10000; ++i)
                b += QByteArray::number(i % 80) + " 0." + QByteArray::number(100000 + i)
                    + " 0.5 0.1 0.1\n";
            return b;
        }();
        QTest::newRow("single 10 MB line")
            << QByteArray("1 0.5 0.5 0.1 ") + QByteArray(10 << 20, '7');
        QTest::newRow("10 MB line of spaces") << QByteArray(10 << 20, ' ');
        QTest::newRow("100 MB file") << [] {
            const QByteArray line = "3 0.25 0.75 0.125 0.5 " + QByteArray(78, 'x') + "\n";
            return line.repeated((100 << 20) / line.size());
        }();
    }
    void labelFiles()
    {
        QFETCH(QByteArray, content);
        writeBytes(path("labels/a.txt"), content);
        const int accepted = yolo::parseLabels(content).size();
        model->loadYolo(path("labels"), path("images"));
        QCOMPARE(model->rowCount(), 1);
        BBoxList *list = boxes(0);
        QCOMPARE(list->rowCount(), accepted);

        if (accepted > 0)
            QVERIFY(list->setData(list->index(0, 0), 0.25, 1));
        list->appendRow(5, 0.5, 0.5);
        list->saveTxtFile(path("labels/a.txt"));
        model->yoloReloadRow(0);
        QCOMPARE(list->rowCount(), accepted + 1);
        if (accepted > 0)
            QCOMPARE(list->data(list->index(0, 0), 1).toDouble(), 0.25);
        QCOMPARE(list->data(list->index(accepted, 0), 0).toInt(), 5);
        // What was written is the file again: saving it unchanged writes nothing.
        const QByteArray written = readBytes(path("labels/a.txt"));
        QCOMPARE(list->fileBytes(path("labels/a.txt")), written);
    }

    void filesAboveTwoGigabytes()
    {
        sparse(path("labels/huge.txt"), qint64(3) << 30);
        model->loadYolo(path("labels"), path("images"));
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(boxes(0)->rowCount(), 0);

        sparse(path("huge.json"), qint64(3) << 30);
        model->loadJson(path("huge.json"));
        QCOMPARE(model->rowCount(), 1);

        model->loadCocoJsonFromDir(path("huge.json"), path("huge.json"), path("labels"));
        QCOMPARE(model->rowCount(), 0);
    }

    void hugeAnnotationsFile()
    {
        // 300 MB of annotations: a few real ones around one enormous member.
        QDir(dir->path()).mkpath("coco");
        writeBytes(path("coco/a.jpg"), "");
        writeBytes(path("images.json"),
                   R"([{"id": 1, "file_name": "a.jpg", "width": 640, "height": 480}])");
        QByteArray anns = "[{\"image_id\": 1, \"category_id\": 1, \"bbox\": [100, 50, 200, 300]},"
                          "{\"image_id\": 1, \"category_id\": 1, \"segmentation\": \"";
        anns += QByteArray(300 << 20, 'x');
        anns += "\", \"bbox\": [10, 10, 200, 300]}]";
        writeBytes(path("anns.json"), anns);
        anns.clear();
        model->loadCocoJsonFromDir(path("images.json"), path("anns.json"), path("coco"));
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(boxes(0)->rowCount(), 2);
    }

    void jsonShapes_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("rows");
        QTest::newRow("nesting past the parser's limit") << QByteArray(100000, '[') << 0;
        QTest::newRow("nested objects")
            << QByteArray("[") + QByteArray("{\"a\":").repeated(5000) << 0;
        QTest::newRow("truncated") << QByteArray(R"([{"id": 1, "bboxes": [{"catId": )") << 0;
        QTest::newRow("top-level scalar") << QByteArray("3.5") << 0;
        QTest::newRow("top-level string") << QByteArray(R"("x")") << 0;
        QTest::newRow("ids beyond 32 bits")
            << QByteArray(R"([{"id": 4294967296}, {"id": -2147483649}, {"id": 1e300}])") << 3;
        QTest::newRow("strings where numbers belong")
            << QByteArray(R"([{"id": "1", "width": "640", "bboxes": [{"cx": "0.5"}]}])") << 1;
        QTest::newRow("binary garbage") << randomBytes(4096, 3) << 0;
    }
    void jsonShapes()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, rows);
        writeBytes(path("in.json"), json);
        model->loadYolo(path("none"), QString());
        model->loadJson(path("in.json"));
        QCOMPARE(model->rowCount(), rows);
        model->exportJson(path("out.json"));
        const QJsonArray out = QJsonDocument::fromJson(readBytes(path("out.json"))).array();
        QCOMPARE(out.size(), rows);
        // Ids outside the 32-bit range read as 0 and are written as such, never truncated.
        for (const QJsonValue &v : out)
            QCOMPARE(v.toObject().value("id").toDouble(), double(v.toObject().value("id").toInt()));
        if (QTest::currentDataTag() == QLatin1String("ids beyond 32 bits"))
            for (const QJsonValue &v : out)
                QCOMPARE(v.toObject().value("id").toDouble(), 0.0);
        // The same bytes through the COCO import: nothing is kept, nothing breaks.
        model->loadCocoJsonFromDir(path("in.json"), path("in.json"), path("labels"));
        QCOMPARE(model->rowCount(), 0);
    }

    void hundredThousandLabelFiles()
    {
        for (int i = 0; i < 100000; ++i)
            writeBytes(path(QStringLiteral("labels/%1.txt").arg(i)),
                       i % 7 ? "" : "1 0.5 0.5 0.1 0.1");
        model->loadYolo(path("labels"), path("images"));
        QCOMPARE(model->rowCount(), 100000);
        int withBox = 0;
        for (int r = 0; r < model->rowCount(); ++r)
            withBox += boxes(r)->rowCount();
        QCOMPARE(withBox, (100000 + 6) / 7);
    }

    void awkwardNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("spaces") << "a b  c.txt";
        QTest::newRow("non-ascii") << "снимок 東京 é.txt";
        QTest::newRow("leading dashes") << "--help.txt";
        QTest::newRow("leading dash and spaces") << "- x.txt";
        QTest::newRow("quote and backslash") << "a\"b\\c.txt";
        QTest::newRow("percent") << "%1%2.txt";
    }
    void awkwardNames()
    {
        QFETCH(QString, name);
        writeBytes(path("labels/" + name), "1 0.5 0.5 0.1 0.1");
        model->loadYolo(path("labels"), path("images"));
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(boxes(0)->rowCount(), 1);
        const QString txt = model->data(model->index(0, 0), 5).toString();
        QCOMPARE(txt, path("labels/") + name);
        boxes(0)->appendRow(1, 0.2, 0.2);
        boxes(0)->saveTxtFile(txt);
        QCOMPARE(readBytes(path("labels/" + name)),
                 QByteArray("1 0.5 0.5 0.1 0.1\n1 0.2 0.2 0.1 0.1"));
        QDir(dir->path()).mkpath("out");
        model->exportYolo(path("out"));
        QCOMPARE(QDir(path("out")).entryList(QDir::Files), QStringList{name});
        model->removeRow(0);
        QCOMPARE(model->rowCount(), 0);
        QVERIFY(!QFile::exists(path("labels/" + name)));
    }

    void linksAndFolders()
    {
        writeBytes(path("labels/real.txt"), "1 0.5 0.5 0.1 0.1");
        QVERIFY(QFile::link(path("labels/nowhere.txt"), path("labels/dangling.txt")));
        QVERIFY(QFile::link(path("labels/real.txt"), path("labels/link.txt")));
        QDir(dir->path()).mkpath("labels/folder.txt");
        model->loadYolo(path("labels"), path("images"));
        QStringList names;
        for (int r = 0; r < model->rowCount(); ++r)
            names << model->data(model->index(r, 0), 0).toString();
        names.sort();
        // A dangling link is not listed; a folder named like a label file reads as empty.
        QCOMPARE(names, QStringList({"folder", "link", "real"}));
        for (int r = 0; r < model->rowCount(); ++r)
            QCOMPARE(boxes(r)->rowCount(),
                     names.indexOf(model->data(model->index(r, 0), 0).toString()) == 0 ? 0 : 1);
        // Saving through the link keeps it a link.
        for (int r = 0; r < model->rowCount(); ++r) {
            if (model->data(model->index(r, 0), 0).toString() == "link") {
                boxes(r)->appendRow(1, 0.3, 0.3);
                boxes(r)->saveTxtFile(model->data(model->index(r, 0), 5).toString());
            }
        }
        QVERIFY(QFileInfo(path("labels/link.txt")).isSymLink());
        QCOMPARE(readBytes(path("labels/real.txt")),
                 QByteArray("1 0.5 0.5 0.1 0.1\n1 0.3 0.3 0.1 0.1"));
        // Saving to a folder that has vanished writes nothing.
        boxes(0)->saveTxtFile(path("gone/x.txt"));
        QVERIFY(!QFileInfo::exists(path("gone")));
    }
};

QTEST_GUILESS_MAIN(TestBadInput)
#include "tst_badinput.moc"
