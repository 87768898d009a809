#include "dataset/categorytable.h"
#include "dataset/classnames.h"
#include "dataset/imagelist.h"
#include "testutil.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

using yolo::ClassNames;

Q_DECLARE_METATYPE(ClassNames)

class TestClassNames : public QObject, protected DatasetFixture
{
    Q_OBJECT

private:
    // The class names ImageList publishes, as "id:name" items.
    QStringList published() const
    {
        QStringList items;
        for (const QVariant &entry : model->classNames()) {
            const QVariantMap map = entry.toMap();
            items << QStringLiteral("%1:%2")
                         .arg(map.value("catId").toInt())
                         .arg(map.value("catName").toString());
        }
        return items;
    }

private slots:
    void initTestCase() { model = ImageList::instance(); }

    void classesTxt_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<ClassNames>("expected");
        QTest::newRow("lines") << QByteArray("person\nbicycle\ncar")
                               << ClassNames{{0, "person"}, {1, "bicycle"}, {2, "car"}};
        QTest::newRow("CRLF, blank lines at the end, spaces")
            << QByteArray("person \r\n traffic light\r\n\r\n\n  \n")
            << ClassNames{{0, "person"}, {1, "traffic light"}};
        QTest::newRow("a blank line inside keeps the numbering")
            << QByteArray("a\n\nc\n") << ClassNames{{0, "a"}, {1, ""}, {2, "c"}};
        QTest::newRow("utf-8") << QByteArray("pi\xc3\xa9ton\n") << ClassNames{{0, "pi\u00e9ton"}};
        QTest::newRow("empty") << QByteArray("\n\n") << ClassNames{};
    }
    void classesTxt()
    {
        QFETCH(QByteArray, text);
        QFETCH(ClassNames, expected);
        QCOMPARE(yolo::parseClassesTxt(text), expected);
    }

    void yamlNames_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("parses");
        QTest::addColumn<ClassNames>("expected");
        QTest::newRow("flow sequence")
            << QByteArray("path: ../data\nnc: 3\nnames: ['person', 'bicycle', car]\n") << true
            << ClassNames{{0, "person"}, {1, "bicycle"}, {2, "car"}};
        QTest::newRow("block sequence") << QByteArray("names:\n  - person\n  - bus\n") << true
                                        << ClassNames{{0, "person"}, {1, "bus"}};
        QTest::newRow("mapping, sparse ids")
            << QByteArray("names:\n  0: person\n  5: bus\n  12: 'stop sign'\n") << true
            << ClassNames{{0, "person"}, {5, "bus"}, {12, "stop sign"}};
        QTest::newRow("mapping: keys that are not ids are left out")
            << QByteArray("names: {0: a, x: b, 1.5: c, 2: [d], 3: e}\n") << true
            << ClassNames{{0, "a"}, {3, "e"}};
        QTest::newRow("no names") << QByteArray("train: images/train\nnc: 2\n") << true
                                  << ClassNames{};
        QTest::newRow("names is a scalar") << QByteArray("names: person\n") << true << ClassNames{};
        QTest::newRow("not a mapping") << QByteArray("- a\n- b\n") << true << ClassNames{};
        QTest::newRow("empty") << QByteArray() << true << ClassNames{};
        QTest::newRow("does not parse")
            << QByteArray("names: [a, b\n  c: {\n") << false << ClassNames{};
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe names: [a]", 15) << false
                                << ClassNames{};
    }
    void yamlNames()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, parses);
        QFETCH(ClassNames, expected);
        ClassNames names{{7, "stale"}};
        QString error;
        QCOMPARE(yolo::parseYamlNames(text, &names, &error), parses);
        QCOMPARE(names, expected);
        QCOMPARE(error.isEmpty(), parses);
    }

    // Where the class file is looked for, and which wins: files are "folder/name=content",
    // folders relative to the dataset root d, whose labels are in d/a/labels.
    void searchOrder_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("expected");
        const QString txt = "a/labels/classes.txt=t0\nt1\n";
        QTest::newRow("nothing") << QStringList{} << QStringList{};
        QTest::newRow("classes.txt beside the labels")
            << QStringList{txt} << QStringList{"0:t0", "1:t1"};
        QTest::newRow("classes.txt before data.yaml")
            << QStringList{txt, "a/labels/data.yaml=names: [y]"} << QStringList{"0:t0", "1:t1"};
        QTest::newRow("data.yaml before dataset.yaml and the rest")
            << QStringList{"a/labels/a.yaml=names: [a]", "a/labels/dataset.yaml=names: [ds]",
                           "a/labels/data.yaml=names: [d]"}
            << QStringList{"0:d"};
        QTest::newRow("dataset.yaml before the rest")
            << QStringList{"a/labels/a.yaml=names: [a]", "a/labels/dataset.yaml=names: [ds]"}
            << QStringList{"0:ds"};
        QTest::newRow("other YAML files in name order, the first with names")
            << QStringList{"a/labels/c.yaml=names: [c]", "a/labels/b.yaml=names: [b]",
                           "a/labels/a.yaml=nc: 1", "a/labels/data.yaml=train: x"}
            << QStringList{"0:b"};
        QTest::newRow("the labels folder before its parent")
            << QStringList{"a/classes.txt=parent", "a/labels/data.yaml=names: [own]"}
            << QStringList{"0:own"};
        QTest::newRow("the parent")
            << QStringList{"a/data.yaml=names: {3: three}"} << QStringList{"3:three"};
        QTest::newRow("the parent's parent")
            << QStringList{"data.yaml=names: [root]", "a/notes.yaml=nc: 0"}
            << QStringList{"0:root"};
        QTest::newRow("the parent before its parent")
            << QStringList{"classes.txt=root", "a/dataset.yaml=names: [mid]"}
            << QStringList{"0:mid"};
        QTest::newRow("an empty classes.txt is passed over")
            << QStringList{"a/labels/classes.txt=\n", "a/data.yaml=names: [next]"}
            << QStringList{"0:next"};
        QTest::newRow("a .yml or other name is not a class file")
            << QStringList{"a/labels/data.yml=names: [a]", "a/names.txt=a\n"} << QStringList{};
    }
    void searchOrder()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, expected);
        newFolder();
        QVERIFY(QDir(dir->path()).mkpath("a/labels"));
        writeBytes(path("a/labels/x.txt"), "0 0.5 0.5 0.1 0.1\n");
        for (const QString &file : files) {
            const int equals = file.indexOf('=');
            writeBytes(path(file.left(equals)), file.mid(equals + 1).toUtf8());
        }
        model->loadYolo(path("a/labels"), path("a/images"));
        QCOMPARE(published(), expected);
        QCOMPARE(names(), QStringList{"x"});
    }

    // A dataset file the user named gives the names wherever it lies, over any class file near
    // the labels; one without names leaves the search as it was. The window says which file.
    void namedDatasetFile_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("named");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("from");
        QTest::newRow("outside the dataset")
            << QStringList{"elsewhere/my.yaml=names: [named]", "a/labels/classes.txt=near"}
            << "elsewhere/my.yaml" << QStringList{"0:named"} << "elsewhere/my.yaml";
        QTest::newRow("over a config.yaml near the labels")
            << QStringList{"a/config.yaml=names: [near]", "cfg/data.yaml=names: [given]"}
            << "cfg/data.yaml" << QStringList{"0:given"} << "cfg/data.yaml";
        QTest::newRow("without names")
            << QStringList{"x/data.yaml=train: y", "a/labels/classes.txt=near"} << "x/data.yaml"
            << QStringList{"0:near"} << "a/labels/classes.txt";
    }
    void namedDatasetFile()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, named);
        QFETCH(QStringList, expected);
        QFETCH(QString, from);
        newFolder();
        QVERIFY(QDir(dir->path()).mkpath("a/labels"));
        writeBytes(path("a/labels/x.txt"), "0 0.5 0.5 0.1 0.1\n");
        for (const QString &file : files) {
            const int equals = file.indexOf('=');
            QVERIFY(QDir(dir->path()).mkpath(QFileInfo(path(file.left(equals))).path()));
            writeBytes(path(file.left(equals)), file.mid(equals + 1).toUtf8());
        }
        model->setDatasetFile(path(named), path("a/labels"));
        model->loadYolo(path("a/labels"), path("a/images"));
        model->setDatasetFile(QString(), QString());
        QCOMPARE(published(), expected);
        QCOMPARE(model->classFile(), path(from));
    }

    // A pose dataset's kpt_shape, found with the class names, reaches the reading of its label
    // lines: nine fields are two x y keypoints with [2, 2], a four-vertex polygon without it.
    void keypointShape_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("kptShape");
        QTest::addColumn<QString>("kind");
        QTest::newRow("none") << QStringList{} << "0 0"
                              << "polygon";
        QTest::newRow("in data.yaml")
            << QStringList{"a/labels/data.yaml=names: [p]\nkpt_shape: [2, 2]\n"} << "2 2"
            << "keypoints";
        QTest::newRow("block sequence, in the parent")
            << QStringList{"a/data.yaml=names: [p]\nkpt_shape:\n  - 2\n  - 2\n"} << "2 2"
            << "keypoints";
        QTest::newRow("beside a classes.txt")
            << QStringList{"a/labels/classes.txt=p\n", "a/labels/pose.yaml=kpt_shape: [2, 2]"}
            << "2 2"
            << "keypoints";
        QTest::newRow("not above the folder of the class file")
            << QStringList{"a/labels/classes.txt=p\n", "a/data.yaml=kpt_shape: [2, 2]"} << "0 0"
            << "polygon";
        QTest::newRow("four values a point")
            << QStringList{"a/data.yaml=kpt_shape: [2, 4]"} << "0 0"
            << "polygon";
        QTest::newRow("not whole numbers")
            << QStringList{"a/data.yaml=kpt_shape: [2.0, x]"} << "0 0"
            << "polygon";
        QTest::newRow("three numbers") << QStringList{"a/data.yaml=kpt_shape: [2, 2, 1]"} << "0 0"
                                       << "polygon";
    }
    void keypointShape()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, kptShape);
        QFETCH(QString, kind);
        newFolder();
        QVERIFY(QDir(dir->path()).mkpath("a/labels"));
        writeBytes(path("a/labels/x.txt"), "0 0.5 0.5 0.4 0.4 0.4 0.4 0.6 0.6");
        yolo::LabelFolderExtras extras;
        for (const QString &file : files) {
            const int equals = file.indexOf('=');
            writeBytes(path(file.left(equals)), file.mid(equals + 1).toUtf8());
            // What the loader notes while listing the labels folder.
            const QString name = file.left(equals);
            if (name == "a/labels/classes.txt")
                extras.classesTxt = true;
            else if (name.startsWith("a/labels/"))
                extras.yamlFiles << name.mid(9);
        }
        KeypointShape shape;
        yolo::findClassNames(path("a/labels"), extras, nullptr, &shape);
        QCOMPARE(QStringLiteral("%1 %2").arg(shape.count).arg(shape.dims), kptShape);
        model->loadYolo(path("a/labels"), path("a/images"));
        QCOMPARE(boxes(0)->data(boxes(0)->index(0, 0), BBoxList::Kind).toString(), kind);
    }

    void unparsableYamlIsSkipped()
    {
        newFolder();
        QVERIFY(QDir(dir->path()).mkpath("labels"));
        writeBytes(path("labels/data.yaml"), "names: [a, b\n");
        writeBytes(path("labels/more.yaml"), "names: [m]\n");
        QTest::ignoreMessage(
            QtDebugMsg, QRegularExpression("^Skipped .*/labels/data.yaml \\(not YAML: .*\\)$"));
        model->loadYolo(path("labels"), path("images"));
        QCOMPARE(published(), QStringList{"0:m"});
    }

    // The class list beside the labels is neither a row nor written by anything a load does.
    void classesTxtIsNotALabelFile()
    {
        newFolder();
        QVERIFY(QDir(dir->path()).mkpath("labels"));
        const QByteArray classes = "person\ncar\n";
        writeBytes(path("labels/classes.txt"), classes);
        writeBytes(path("labels/Classes.txt"), "0 0.5 0.5 0.1 0.1\n");
        writeBytes(path("labels/img.txt"), "1 0.5 0.5 0.1 0.1\n");
        QSignalSpy changed(model, &ImageList::classNamesChanged);
        model->loadYolo(path("labels"), path("images"));
        QCOMPARE(names(), (QStringList{"Classes", "img"}));
        QCOMPARE(published(), (QStringList{"0:person", "1:car"}));
        QCOMPARE(changed.count(), 1);
        // The same names again: nothing changed.
        model->loadYolo(path("labels"), path("images"));
        QCOMPARE(changed.count(), 1);
        model->exportYolo(path("labels"));
        QCOMPARE(readBytes(path("labels/classes.txt")), classes);
        // A load without a class file clears them.
        model->loadYolo(path("images"), path("images"));
        QCOMPARE(published(), QStringList{});
        QCOMPARE(changed.count(), 2);
    }

    // The category table: the dataset's classes, each its own colour, whatever their number.
    void categoryTable_data()
    {
        QTest::addColumn<int>("classes");
        QTest::newRow("none: People") << 0;
        QTest::newRow("12") << 12;
        QTest::newRow("80 (COCO)") << 80;
        QTest::newRow("300") << 300;
    }
    void categoryTable()
    {
        QFETCH(int, classes);
        QVariantList names;
        for (int i = 0; i < classes; ++i)
            names << QVariantMap{{"catId", i}, {"catName", QStringLiteral("c%1").arg(i)}};
        CategoryTable table;
        QAbstractItemModelTester tester(&table,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        table.setClassNames(names);
        QCOMPARE(table.rowCount(), qMax(classes, 1));
        QSet<QRgb> colours;
        for (const auto &entry : table.categories()) {
            QVERIFY(entry.catColor != QColor(Qt::black));
            colours.insert(entry.catColor.rgb());
            QCOMPARE(entry.catShortcut,
                     entry.catId <= 9 ? QString::number(entry.catId) : QString());
        }
        QCOMPARE(colours.size(), table.rowCount());
        if (classes == 0) {
            QCOMPARE(table.get(0).value("catName").toString(), QStringLiteral("People"));
            QCOMPARE(table.colorOf(1), QColor(Qt::blue));
        }
        QCOMPARE(table.colorOf(classes + 5), QColor(Qt::black));
        QCOMPARE(table.nameOf(classes + 5), QString::number(classes + 5));
    }
};

QTEST_GUILESS_MAIN(TestClassNames)
#include "tst_classnames.moc"
