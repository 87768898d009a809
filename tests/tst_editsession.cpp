#include "dataset/imagelist.h"
#include "edit/editsession.h"
#include "edit/recoveryjournal.h"
#include "format/yololabels.h"
#include "testutil.h"

#include <QAbstractItemModelTester>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <csignal>

// The open image's edits through the session: each a step of its own history, undone and
// redone exactly, a drag one step, and the history bounded and dropped by Reset.
class TestEditSession : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<EditSession> session;
    ImageList *model = nullptr;

    QString labelFile() const { return dir->filePath("labels/a.txt"); }
    BBoxList *boxes() const { return session->boxes(); }
    // The label file the boxes make, its lines joined by "|".
    QString state() const
    {
        return QString::fromUtf8(yolo::formatLabels(boxes()->boxList(), boxes()->foreignLines()))
            .replace(QLatin1Char('\n'), QLatin1Char('|'));
    }
    void edit(const QString &kind)
    {
        if (kind == "add")
            session->addBox(3, 50, 25, 100, 50);
        else if (kind == "polygon")
            session->addPolygon(3, {0.1, 0.1, 0.5, 0.1, 0.5, 1.5});
        else if (kind == "delete")
            session->deleteBox(0);
        else if (kind == "move")
            session->moveBox(1, 0.3, 0.4, 0.2, 0.1, false);
        else if (kind == "category")
            session->setCategory(0, 5);
        else if (kind == "nudge") {
            session->select(1);
            session->nudgeSelected(-10, 20, 100, 50);
        } else if (kind == "drag") {
            // A 60-step handle drag: the first report and 59 more of the same gesture.
            for (int i = 0; i < 60; ++i)
                session->moveBox(0, 0.5 + i / 1000.0, 0.5, 0.2 + i / 500.0, 0.2, i > 0);
        }
    }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QDir(dir->path()).mkpath("labels");
        QDir(dir->path()).mkpath("images");
        writeBytes(labelFile(), "1 0.5 0.5 0.2 0.2 0.97\n# checked\n2 0.25 0.75 0.1 0.1\n");
        model = ImageList::instance();
        model->loadYolo(dir->filePath("labels"), dir->filePath("images"));
        session = std::make_unique<EditSession>(model);
        // Opening writes nothing, and a Save without edits leaves every byte.
        session->open(0);
        QVERIFY(session->isOpen());
        QVERIFY(!session->ableToSave());
        expectSaveMessages(labelFile());
        QVERIFY(session->save());
        QCOMPARE(readBytes(labelFile()),
                 "1 0.5 0.5 0.2 0.2 0.97\n# checked\n2 0.25 0.75 0.1 0.1\n");
        QVERIFY(!session->ableToSave());
    }
    void cleanup()
    {
        session.reset();
        model->loadYolo(QString(), QString());
    }

    // Every edit is one step: undo brings back the boxes before it (fields after the fifth and
    // the places of lines that are not labels too), redo the boxes after it, and both count as
    // edits.
    void undoRedo_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("after");
        // The box selected after undo, and after redo: the one the edit changed, if it is there.
        QTest::addColumn<int>("selectedAfterUndo");
        QTest::addColumn<int>("selectedAfterRedo");
        QTest::newRow("add")
            << "add"
            << "1 0.5 0.5 0.2 0.2 0.97|# checked|2 0.25 0.75 0.1 0.1|3 0.5 0.5 0.1 0.1" << -1 << 2;
        QTest::newRow("polygon, clamped")
            << "polygon"
            << "1 0.5 0.5 0.2 0.2 0.97|# checked|2 0.25 0.75 0.1 0.1|3 0.1 0.1 0.5 0.1 0.5 1" << -1
            << 2;
        QTest::newRow("delete") << "delete"
                                << "# checked|2 0.25 0.75 0.1 0.1" << 0 << -1;
        QTest::newRow("move") << "move"
                              << "1 0.5 0.5 0.2 0.2 0.97|# checked|2 0.3 0.4 0.2 0.1" << 1 << 1;
        QTest::newRow("category") << "category"
                                  << "5 0.5 0.5 0.2 0.2 0.97|# checked|2 0.25 0.75 0.1 0.1" << 0
                                  << 0;
        QTest::newRow("nudge, held inside")
            << "nudge"
            << "1 0.5 0.5 0.2 0.2 0.97|# checked|2 0.15 0.95 0.1 0.1" << 1 << 1;
        QTest::newRow("60-step drag")
            << "drag"
            << "1 0.559 0.5 0.318 0.2 0.97|# checked|2 0.25 0.75 0.1 0.1" << 0 << 0;
    }
    void undoRedo()
    {
        QFETCH(QString, kind);
        QFETCH(QString, after);
        QFETCH(int, selectedAfterUndo);
        QFETCH(int, selectedAfterRedo);
        QAbstractItemModelTester tester(boxes(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QString before = state();
        edit(kind);
        QCOMPARE(state(), after);
        QVERIFY(session->ableToSave());
        QVERIFY(session->canUndo());
        expectSaveMessages(labelFile());
        QVERIFY(session->save());
        session->clearSelection();
        session->undo();
        QCOMPARE(state(), before);
        QCOMPARE(session->selectedBox(), selectedAfterUndo);
        QVERIFY(session->ableToSave());
        QVERIFY(!session->canUndo());
        session->clearSelection();
        session->redo();
        QCOMPARE(state(), after);
        QCOMPARE(session->selectedBox(), selectedAfterRedo);
        QVERIFY(!session->canRedo());
    }

    // A pose box drawn has its keypoints placed by the clicks after it, in order, until Esc
    // leaves the rest unlabelled; K turns the selected keypoint's visibility; each an undo step.
    void keypointsPlacedAndCycled()
    {
        // Three keypoints: an even number of fields, keypoints without a kpt_shape.
        writeBytes(dir->filePath("labels/p.txt"),
                   "0 0.5 0.5 0.2 0.2 0.4 0.4 2 0.6 0.6 1 0.5 0.5 2\n");
        model->loadYolo(dir->filePath("labels"), dir->filePath("images"));
        session->open(1);
        session->drawBox(0, 10, 10, 30, 30, 100, 100);
        QCOMPARE(session->placingPoint(), 0);
        session->placeKeypoint(0.1, 0.15);
        QCOMPARE(session->placingPoint(), 1);
        session->placeKeypoint(0.3, 0.25);
        QCOMPARE(session->placingPoint(), 2);
        session->placeKeypoint(0.2, 0.3);
        QCOMPARE(session->placingPoint(), -1);
        QCOMPARE(state().section('|', 1, 1),
                 QStringLiteral("0 0.2 0.2 0.2 0.2 0.1 0.15 2 0.3 0.25 2 0.2 0.3 2"));
        session->selectPoint(1);
        session->cycleVisibility();
        QVERIFY(state().contains(" 0.3 0.25 0 "));
        session->cycleVisibility();
        QVERIFY(state().contains(" 0.3 0.25 1 "));
        session->undo();
        QVERIFY(state().contains(" 0.3 0.25 0 "));
        // Esc after the first: the others stay unlabelled.
        session->drawBox(0, 50, 50, 70, 70, 100, 100);
        session->placeKeypoint(0.55, 0.55);
        session->stopPlacing();
        QCOMPARE(session->placingPoint(), -1);
        QCOMPARE(state().section('|', 2, 2),
                 QStringLiteral("0 0.6 0.6 0.2 0.2 0.55 0.55 2 0 0 0 0 0 0"));
        session->close();
    }

    // Reset reads the file again and starts the history anew: nothing to undo, nothing to redo.
    void resetDropsHistory()
    {
        edit("add");
        edit("move");
        session->undo();
        QVERIFY(session->canRedo());
        session->reset();
        QVERIFY(!session->canUndo());
        QVERIFY(!session->canRedo());
        session->redo();
        QCOMPARE(state(), "1 0.5 0.5 0.2 0.2 0.97|# checked|2 0.25 0.75 0.1 0.1");
        QVERIFY(!session->ableToSave());
    }

    // At the limit the oldest step goes: every undo still takes back exactly one step, and the
    // newest steps are all kept.
    void historyLimit()
    {
        const int n = EditSession::undoLimit + 3;
        for (int i = 1; i <= n; ++i)
            session->moveBox(1, i / 10000.0, 0.5, 0.1, 0.1, false);
        session->undo();
        QCOMPARE(boxes()->boxList().at(1)->cx, (n - 1) / 10000.0);
        for (int i = 1; i < EditSession::undoLimit; ++i)
            session->undo();
        QVERIFY(!session->canUndo());
        QCOMPARE(boxes()->boxList().at(1)->cx, 3 / 10000.0);
    }

    // Looking writes nothing: opening and paging through images and closing leave every byte
    // and modification time of label files that were not edited.
    void pagingWritesNothing()
    {
        const QString folder = dir->filePath("paging");
        QDir().mkpath(folder + "/labels");
        QDir().mkpath(folder + "/images");
        const QList<QByteArray> files{"0 0.123456789 0.5 0.1 0.1\r\n", "1\t0.5 0.5 0.2 0.2",
                                      "# caf\xe9\n1.0 0.5 0.5 0.1 0.1\n\n"};
        const QDateTime written = QDateTime::currentDateTime().addSecs(-3600);
        for (int i = 0; i < files.size(); ++i) {
            const QString file = folder + QStringLiteral("/labels/p%1.txt").arg(i);
            writeBytes(file, files.at(i));
            QVERIFY(setFileTime(file, written));
        }
        model->loadYolo(folder + "/labels", folder + "/images");
        session->open(0);
        for (int step : {1, 1, -1, 1})
            session->openNeighbour(step);
        session->close();
        for (int i = 0; i < files.size(); ++i) {
            const QString file = folder + QStringLiteral("/labels/p%1.txt").arg(i);
            QCOMPARE(readBytes(file), files.at(i));
            QCOMPARE(QFileInfo(file).lastModified(), written);
        }
    }

    // Edits not yet in their file outlive a crash: the next session on the folder is offered
    // them, and gets them back unsaved, without the file being written.
    void journalSurvivesACrash()
    {
        const QString folder = dir->filePath("crash");
        QDir().mkpath(folder + "/labels");
        QDir().mkpath(folder + "/images");
        writeBytes(folder + "/labels/b.txt", "1 0.5 0.5 0.2 0.2\n");
        // A polygon file: its edits come back as polygons.
        const QByteArray polygon = "2 0.1 0.1 0.3 0.1 0.3 0.4 0.1 0.4";
        writeBytes(folder + "/labels/c.txt", polygon + "\n");
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--crash-after-an-edit", folder});
        QVERIFY(child.waitForStarted());
        const qint64 crashed = child.processId();
        QVERIFY(child.waitForFinished(20000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QCOMPARE(readBytes(folder + "/labels/b.txt"), QByteArray("1 0.5 0.5 0.2 0.2\n"));

        // A window still open on the folder keeps its record to itself; once it is gone, the
        // next load offers its edits.
        QProcess other;
        other.start(QCoreApplication::applicationFilePath(), {"--stay"});
        QVERIFY(other.waitForStarted());
        QVERIFY(QFile::rename(RecoveryJournal::pathFor(folder + "/labels", crashed),
                              RecoveryJournal::pathFor(folder + "/labels", other.processId())));
        model->loadYolo(folder + "/labels", folder + "/images");
        QCOMPARE(session->recoveryCount(), 0);
        other.kill();
        QVERIFY(other.waitForFinished());
        QSignalSpy offered(session.get(), &EditSession::recoveryChanged);
        model->loadYolo(folder + "/labels", folder + "/images");
        QCOMPARE(session->recoveryCount(), 2);
        QVERIFY(offered.count() >= 1);
        model->setNotice(QString());
        session->restoreRecovery();
        QCOMPARE(session->recoveryCount(), 0);
        // The files have not changed since: no warning now, and none when they are opened.
        QCOMPARE(model->notice(), QString());
        for (int row = 0; row < 2; ++row) {
            BBoxList *list = boxListAt(model, row);
            QVERIFY(list->isModified());
            QCOMPARE(list->rowCount(), 2);
            QCOMPARE(list->boxList().at(1)->catId, 4);
            const QString label = model->imageAt(row)->yoloTxtFilePath;
            if (!label.endsWith("c.txt"))
                continue;
            // The polygon is whole, and the box added to its file is one too.
            QCOMPARE(yolo::formatLine(*list->boxList().at(0)).toUtf8(), polygon);
            QCOMPARE(list->boxList().at(1)->kind(), ShapeKind::Polygon);
        }
        QCOMPARE(readBytes(folder + "/labels/b.txt"), QByteArray("1 0.5 0.5 0.2 0.2\n"));
        QCOMPARE(readBytes(folder + "/labels/c.txt"), polygon + "\n");
        for (int row = 0; row < 2; ++row) {
            QVERIFY(!boxListAt(model, row)->changedOnDisk(model->imageAt(row)->yoloTxtFilePath));
            expectSaveMessages(model->imageAt(row)->yoloTxtFilePath);
            session->open(row);
            QVERIFY2(!session->message().contains("changed on disk"),
                     qPrintable(session->message()));
        }
        session->close();
        // Written on opening: the line not edited as it was, the one added after it.
        QVERIFY(readBytes(folder + "/labels/b.txt").startsWith("1 0.5 0.5 0.2 0.2\n4 "));
        // Still kept: a second crash would offer them again.
        QVERIFY(QFile::exists(RecoveryJournal::pathFor(folder + "/labels")));
        // Discarded (as Load's question does), nothing is left to offer.
        model->loadYolo(folder + "/labels", folder + "/images");
        QCOMPARE(session->recoveryCount(), 0);
    }

    // The selection stays on its box while rows before it go, and goes with its box.
    void selectionFollowsRows()
    {
        session->select(1);
        session->deleteBox(0);
        QCOMPARE(session->selectedBox(), 0);
        session->deleteSelected();
        QCOMPARE(session->selectedBox(), -1);
        session->undo(); // the deleted box is back, and selected
        QCOMPARE(session->selectedBox(), 0);
        session->selectStep(-1);
        QCOMPARE(session->selectedBox(), 0);
    }
};

// The child of journalSurvivesACrash: loads the dataset, adds a box and is killed once the
// recovery file has it.
static int crashAfterAnEdit(const QString &folder)
{
    ImageList *model = ImageList::instance();
    model->loadYolo(folder + "/labels", folder + "/images");
    EditSession session(model);
    for (int row = 0; row < model->rowCount(); ++row) {
        session.open(row);
        session.addBox(4, 10, 10, 100, 100);
    }
    const QString journal = RecoveryJournal::pathFor(folder + "/labels");
    for (int waited = 0; waited < 5000 && !QFile::exists(journal); waited += 50)
        QTest::qWait(50);
    raise(SIGKILL);
    return 1;
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--crash-after-an-edit") == 0)
        return crashAfterAnEdit(QString::fromLocal8Bit(argv[2]));
    if (argc == 2 && qstrcmp(argv[1], "--stay") == 0) {
        QThread::sleep(60); // another window on the same folder, until it is killed
        return 0;
    }
    TestEditSession test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_editsession.moc"
