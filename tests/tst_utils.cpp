#include "app/utils.h"
#include "testutil.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

class TestUtils : public QObject
{
    Q_OBJECT

private:
    static QByteArray contentOf(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray("<missing>");
        return file.readAll();
    }
    static void put(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), qint64(bytes.size()));
    }

private slots:
    void instanceIsCreatedOnce()
    {
        QVERIFY(!Utils::hasInstance());
        Utils *first = Utils::instance();
        QVERIFY(first);
        QCOMPARE(Utils::instance(), first);
        QVERIFY(Utils::hasInstance());
    }

    void constantProperties()
    {
        Utils *utils = Utils::instance();
        QCOMPARE(utils->property("osName").toString(), QStringLiteral("windows"));
        QCOMPARE(utils->property("isDebug").toBool(), false);
        const QMetaObject *mo = utils->metaObject();
        const QMetaProperty os = mo->property(mo->indexOfProperty("osName"));
        QVERIFY(!os.isWritable());
        QCOMPARE(os.notifySignal().name(), QByteArray("osNameChanged"));
        QVERIFY(!mo->property(mo->indexOfProperty("isDebug")).isWritable());
        // The helpers QML calls.
        verifyMethods(*mo, {"osNameChanged()", "isDebugChanged()"}, QMetaMethod::Signal);
        verifyMethods(*mo,
                      {"invertColor(QColor)", "baseName(QString)", "fileName(QString)",
                       "toLocalPath(QUrl)", "safeName(QString)"},
                      QMetaMethod::Slot);
    }

    void invertColor_data()
    {
        QTest::addColumn<QColor>("input");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("blue") << QColor("blue") << QColor(255, 255, 0);
        QTest::newRow("white") << QColor("white") << QColor(0, 0, 0);
        QTest::newRow("half transparent") << QColor(10, 20, 30, 100) << QColor(245, 235, 225, 255);
        QTest::newRow("transparent") << QColor(Qt::transparent) << QColor(255, 255, 255, 255);
    }
    void invertColor()
    {
        QFETCH(QColor, input);
        QFETCH(QColor, expected);
        const QColor result = Utils::instance()->invertColor(input);
        QCOMPARE(result.rgba(), expected.rgba());
    }

    void baseName_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("two dots") << "a.b.txt"
                                  << "a.b";
        QTest::newRow("one dot") << "img042.txt"
                                 << "img042";
        QTest::newRow("no dot") << "README"
                                << "README";
        QTest::newRow("leading dot only") << ".hidden"
                                          << "";
        QTest::newRow("trailing dot only") << "name."
                                           << "name";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("just a dot") << "."
                                    << "";
        QTest::newRow("separators not looked at") << "dir.d/file"
                                                  << "dir";
    }
    void baseName()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(Utils::instance()->baseName(input), expected);
    }

    void fileName_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("absolute") << "/data/labels/a.txt"
                                  << "a.txt";
        QTest::newRow("relative") << "labels/x.y.txt"
                                  << "x.y.txt";
        QTest::newRow("bare") << "a.txt"
                              << "a.txt";
        QTest::newRow("trailing separator") << "/data/labels/"
                                            << "";
        QTest::newRow("parent escape") << "../../home/user/.profile.jpg"
                                       << ".profile.jpg";
        QTest::newRow("empty") << ""
                               << "";
    }
    void fileName()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(Utils::instance()->fileName(input), expected);
    }

    void toLocalPath_data()
    {
        QTest::addColumn<QUrl>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("file url") << QUrl("file:///home/u/images") << "/home/u/images";
        QTest::newRow("encoded space") << QUrl("file:///a%20b/c") << "/a b/c";
        QTest::newRow("http") << QUrl("http://example.org/x") << "";
        QTest::newRow("empty") << QUrl() << "";
    }
    void toLocalPath()
    {
        QFETCH(QUrl, input);
        QFETCH(QString, expected);
        QCOMPARE(Utils::instance()->toLocalPath(input), expected);
    }

    void safeName_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("trim and replace") << "  a:b/c?d  "
                                          << "a_b_c_d";
        QTest::newRow("all nine") << "?:/\\*'\"~&"
                                  << "_________";
        QTest::newRow("kept") << "a b<c>d|e"
                              << "a b<c>d|e";
        QTest::newRow("only blanks") << " \t\n "
                                     << "";
    }
    void safeName()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(Utils::instance()->safeName(input), expected);
    }

    void readFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("a.txt");
        const QByteArray content("line\r\nsecond\0third", 18);
        put(path, content);
        QByteArray bytes("old");
        QVERIFY(Utils::instance()->readFile(path, bytes));
        QCOMPARE(bytes, content);

        QByteArray untouched("keep");
        QVERIFY(!Utils::instance()->readFile(dir.filePath("missing"), untouched));
        QCOMPARE(untouched, QByteArray("keep"));

        put(dir.filePath("empty"), QByteArray());
        QVERIFY(Utils::instance()->readFile(dir.filePath("empty"), bytes));
        QVERIFY(bytes.isEmpty());
    }

    void readFileRefusesHugeFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("huge");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64(3) << 30)); // sparse: no real disk space used
        file.close();
        QByteArray bytes("keep");
        QVERIFY(!Utils::instance()->readFile(path, bytes));
        QCOMPARE(bytes, QByteArray("keep"));
    }

    void writeFile_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("new file") << QByteArray() << QByteArray("0 0.5 0.5 0.1 0.1");
        QTest::newRow("longer old file") << QByteArray(1000, 'x') << QByteArray("1 2");
        QTest::newRow("empty content") << QByteArray("old content") << QByteArray();
        QTest::newRow("no newline translation") << QByteArray() << QByteArray("a\nb\r\nc\n");
    }
    void writeFile()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath("out.txt");
        if (!before.isNull())
            put(path, before);
        QVERIFY(Utils::instance()->writeFile(path, content));
        QCOMPARE(contentOf(path), content);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"out.txt"});
    }

    void writeFileIntoMissingDirectory()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("gone/out.txt");
        QVERIFY(!Utils::instance()->writeFile(path, "x"));
        QVERIFY(!QFileInfo::exists(dir.filePath("gone")));
        QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    }

    void writeFileKeepsPermissions()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("a.txt");
        put(path, "old");
        const auto perms = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
            | QFile::ReadOther | QFile::ReadUser | QFile::WriteUser;
        QVERIFY(QFile::setPermissions(path, perms));
        QVERIFY(Utils::instance()->writeFile(path, "new"));
        QCOMPARE(QFile::permissions(path), perms);
    }

    void writeFileThroughSymlink()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkdir("real");
        const QString target = dir.filePath("real/a.txt");
        const QString link = dir.filePath("a.txt");
        put(target, "old");
        QVERIFY(QFile::link(target, link));
        QVERIFY(Utils::instance()->writeFile(link, "new"));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(contentOf(target), QByteArray("new"));
    }

    void failedWriteKeepsOldContent()
    {
        // A file-size limit makes the write itself fail, which permissions cannot do for root.
        QTemporaryDir dir;
        const QString path = dir.filePath("a.txt");
        put(path, "0 0.5 0.5 0.1 0.1");
        const pid_t pid = fork();
        QVERIFY(pid >= 0);
        if (pid == 0) {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = {4096, 4096};
            setrlimit(RLIMIT_FSIZE, &limit);
            const bool ok = Utils::instance()->writeFile(path, QByteArray(100000, 'x'));
            _exit(ok ? 1 : 0);
        }
        int status = 0;
        QCOMPARE(waitpid(pid, &status, 0), pid);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0); // writeFile answered false
        QCOMPARE(contentOf(path), QByteArray("0 0.5 0.5 0.1 0.1"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"a.txt"});
    }

    void fileExistsAndRemove()
    {
        QTemporaryDir dir;
        Utils *utils = Utils::instance();
        const QString path = dir.filePath("a.txt");
        QVERIFY(!utils->fileExists(path));
        put(path, "x");
        QVERIFY(utils->fileExists(path));
        QVERIFY(utils->fileExists(dir.path()));
        QVERIFY(utils->removeFile(path));
        QVERIFY(!utils->fileExists(path));
        QVERIFY(!utils->removeFile(path));
        QVERIFY(!utils->removeFile(QString()));
    }
};

QTEST_GUILESS_MAIN(TestUtils)
#include "tst_utils.moc"
