#include "app/application.h"
#include "app/utils.h"
#include "dataset/imagelist.h"
#include "testutil.h"

#include <QProcess>
#include <QResource>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <vector>

// The start-up sequence owns a QGuiApplication of its own, so each case runs it in a child
// process: this executable started again with "--child <url>".
namespace {

void watchSingletons()
{
    std::printf("instances %d %d\n", int(Utils::hasInstance()), int(ImageList::hasInstance()));
    QObject::connect(ImageList::instance(), &QObject::destroyed,
                     [] { std::printf("destroyed ImageList\n"); });
    QObject::connect(Utils::instance(), &QObject::destroyed,
                     [] { std::printf("destroyed Utils\n"); });
}

void queueWatch()
{
    // Runs while the application is being built; the queued call runs once the loop has started.
    QMetaObject::invokeMethod(QCoreApplication::instance(), watchSingletons, Qt::QueuedConnection);
}

// The arguments after "--child <url>" are the application's own.
int runChild(int argc, char **argv)
{
    qAddPreRoutine(queueWatch);
    const QString url = QString::fromLocal8Bit(argv[2]);
    std::vector<char *> arguments{argv[0]};
    arguments.insert(arguments.end(), argv + 3, argv + argc);
    arguments.push_back(nullptr);
    int childArgc = argc - 2;
    const int result = runApplication(childArgc, arguments.data(), url);
    std::printf("result %d\n", result);
    std::fflush(stdout);
    return result;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    struct Run
    {
        int exitCode;
        QString output;
        QString errors = QString();
    };
    Run runWith(const QString &url, const QStringList &arguments = {})
    {
        QProcess child;
        child.setProcessChannelMode(QProcess::SeparateChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QT_QUICK_BACKEND", "software");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    QStringList{"--child", url} + arguments);
        if (!child.waitForFinished(60000)) {
            child.kill();
            child.waitForFinished();
            return {-1000, QStringLiteral("timed out")};
        }
        return {child.exitCode(), QString::fromLocal8Bit(child.readAllStandardOutput()),
                QString::fromLocal8Bit(child.readAllStandardError())};
    }

private slots:
    void brokenDocumentExitsWithMinusOne_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::newRow("syntax error") << QByteArray("import QtQuick 2.15\nItem {");
        QTest::newRow("unknown type") << QByteArray("import QtQuick 2.15\nNoSuchThing {}\n");
        QTest::newRow("missing file") << QByteArray();
    }
    void brokenDocumentExitsWithMinusOne()
    {
        QFETCH(QByteArray, document);
        const QString path
            = dir.filePath(QStringLiteral("broken%1.qml").arg(QTest::currentDataTag()).remove(' '));
        if (!document.isNull())
            writeBytes(path, document);
        const Run run = runWith(QUrl::fromLocalFile(path).toString());
        QCOMPARE(run.exitCode, 255); // -1 as a process exit status
        QVERIFY2(run.output.contains("result -1"), qPrintable(run.output));
    }

    void loopRunsUntilQuitAndTearsDownInOrder()
    {
        const QString path = dir.filePath("quits.qml");
        writeBytes(path,
                   "import QtQuick 2.15\n"
                   "import QtQuick.Window 2.15\n"
                   "import Pallaster 1.0\n"
                   "Window {\n"
                   "    visible: true\n"
                   "    Timer {\n"
                   "        running: true; interval: 50\n"
                   "        onTriggered: Qt.exit(Utils.osName === 'windows' && "
                   "ImageList.rowCount() === 0 ? 3 : 4)\n"
                   "    }\n"
                   "}\n");
        const Run run = runWith(QUrl::fromLocalFile(path).toString());
        QCOMPARE(run.exitCode, 3);
        const QStringList lines = run.output.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(
            lines,
            QStringList({"instances 1 1", "destroyed ImageList", "destroyed Utils", "result 3"}));
    }

    // A split the dataset file cannot give is a usage error: exit code 2 before any window,
    // the reason on standard error.
    void splitUsageErrorsExitWithTwo_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown split")
            << QStringList{"data.yaml", "--split", "dev"} << "pallaster: Unknown split \"dev\"";
        QTest::newRow("absent split") << QStringList{"data.yaml", "--split", "test"}
                                      << "names no test images; its splits are train and val";
    }
    void splitUsageErrorsExitWithTwo()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QVERIFY(QDir(dir.path()).mkpath("images/train"));
        writeBytes(dir.filePath("data.yaml"), "train: images/train\nval: images/train\n");
        arguments.replaceInStrings("data.yaml", dir.filePath("data.yaml"));
        const Run run = runWith(QStringLiteral("qrc:/main.qml"), arguments);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errors.contains(message), qPrintable(run.errors));
        QVERIFY2(run.errors.contains("--split NAME"), qPrintable(run.errors));
    }

    void resourceBundle()
    {
        QResource mainQml(":/main.qml");
        QVERIFY(mainQml.isValid());
        QCOMPARE(mainQml.compressionAlgorithm(), QResource::ZlibCompression);
        QResource box(":/BBox.qml");
        QVERIFY(box.isValid());
        QCOMPARE(box.compressionAlgorithm(), QResource::ZlibCompression);
        QResource conf(":/qtquickcontrols2.conf");
        QVERIFY(conf.isValid());
        QCOMPARE(conf.compressionAlgorithm(), QResource::NoCompression);
        QCOMPARE(conf.size(), qint64(24));
        QCOMPARE(conf.uncompressedData(), QByteArray("[Controls]\nStyle=Fusion\n"));
    }
};

int main(int argc, char **argv)
{
    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0)
        return runChild(argc, argv);
    QCoreApplication app(argc, argv);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
