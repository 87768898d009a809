#include "dataset/bboxlist.h"
#include "dataset/imagefilter.h"
#include "dataset/imagelist.h"
#include "edit/editsession.h"
#include "review/reviewmarks.h"
#include "review/reviewstates.h"
#include "testutil.h"

#include <QAbstractItemModelTester>
#include <QtTest>

// Review marks: the file's round trip and merge, the states of a dataset with their filter,
// counts, undo, a stale mark, two writers of one folder, and a folder that cannot be written.
class TestReview : public QObject, protected DatasetFixture
{
    Q_OBJECT

    void makeDataset()
    {
        QDir(dir->path()).mkpath("data/images");
        QDir(dir->path()).mkpath("data/labels");
        for (const char *name : {"a", "b", "c", "d"}) {
            writeBytes(path(QStringLiteral("data/images/%1.jpg").arg(name)), "");
            writeBytes(path(QStringLiteral("data/labels/%1.txt").arg(name)), "0 0.5 0.5 0.2 0.2\n");
        }
        model->loadYolo(path("data/labels"), path("data/images"));
    }

private slots:
    void initTestCase() { model = ImageList::instance(); }
    void init() { newFolder(); }

    void file()
    {
        review::Marks marks;
        marks.insert("images/a \"1\".jpg",
                     {review::State::Reviewed, {}, 12, 1700000000123456789, 5});
        marks.insert("images/b.jpg", {review::State::NeedsWork, "box\tmissing", -1, 0, 7});
        marks.insert("images/c.jpg", {review::State::NotReviewed, {}, 3, 4, 9});
        const QByteArray bytes = review::toJson(marks);
        QCOMPARE(bytes,
                 QByteArray(
                     "{\n"
                     "  \"images/a \\\"1\\\".jpg\": {\"state\": \"reviewed\", \"labelSize\": 12, "
                     "\"labelModifiedNs\": \"1700000000123456789\", \"changedMs\": 5},\n"
                     "  \"images/b.jpg\": {\"state\": \"needs-work\", \"labelSize\": -1, "
                     "\"labelModifiedNs\": \"0\", \"changedMs\": 7, \"note\": \"box\\tmissing\"},\n"
                     "  \"images/c.jpg\": {\"state\": \"not-reviewed\", \"labelSize\": 3, "
                     "\"labelModifiedNs\": \"4\", \"changedMs\": 9}\n"
                     "}\n"));
        // Read back by lines where it can be (the names and notes without escapes), else as a
        // document: the same marks either way.
        review::Marks back;
        QVERIFY(review::fromJson(bytes, &back));
        QCOMPARE(back, marks);
        review::Marks plain = marks;
        plain.remove("images/a \"1\".jpg");
        plain["images/b.jpg"].note = QStringLiteral("été");
        QVERIFY(review::fromJson(review::toJson(plain), &back));
        QCOMPARE(back, plain);
        QVERIFY(review::fromJson(QJsonDocument::fromJson(review::toJson(plain)).toJson(), &back));
        QCOMPARE(back, plain);
        QVERIFY(!review::fromJson("[1]", &back));

        // The later change of an image wins; a tie keeps ours.
        review::Marks theirs{{"images/a \"1\".jpg", {review::State::NeedsWork, "x", 1, 1, 4}},
                             {"images/b.jpg", {review::State::Reviewed, {}, 1, 1, 8}},
                             {"images/d.jpg", {review::State::Reviewed, {}, 1, 1, 1}},
                             {"images/c.jpg", {review::State::Reviewed, {}, 1, 1, 9}}};
        QStringList taken = review::mergeInto(marks, theirs);
        taken.sort();
        QCOMPARE(taken, (QStringList{"images/b.jpg", "images/d.jpg"}));
        QCOMPARE(marks["images/a \"1\".jpg"].state, review::State::Reviewed);
        QCOMPARE(marks["images/b.jpg"].state, review::State::Reviewed);
    }

    void states()
    {
        makeDataset();
        EditSession *session = EditSession::instance();
        ImageFilter filter(model);
        StatusTipHidingProxy watched;
        watched.setSourceModel(&filter);
        QAbstractItemModelTester tester(&watched,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        auto *states = new ReviewStates(model);
        states->setOrder(&filter);
        filter.setReviewTest([states](int row, int state) { return states->passes(row, state); });
        states->loadNow();
        QCOMPARE(states->summary(), QStringLiteral("0 of 4 reviewed"));

        // The reviewer's loop in the editor, and a note.
        session->open(0);
        QVERIFY(states->markReviewedAndNext());
        QCOMPARE(session->row(), 1);
        states->mark(1, ReviewStates::NeedsWork, "  a box missing ");
        QCOMPARE(states->noteOf(1), QStringLiteral("a box missing"));
        QCOMPARE(states->summary(), QStringLiteral("1 of 4 reviewed, 1 needs work"));
        QCOMPARE(states->nextToReview(0), 2);
        filter.setReviewState(ReviewStates::NotReviewed);
        QCOMPARE(filter.rowCount(), 2);
        filter.setReviewState(ReviewStates::NeedsWork);
        QCOMPARE(filter.sourceRow(0), 1);
        filter.setReviewState(-1);

        // Undone with the image's edits.
        session->undo();
        QCOMPARE(states->stateOf(1), int(ReviewStates::NotReviewed));
        session->redo();
        QCOMPARE(states->stateOf(1), int(ReviewStates::NeedsWork));
        session->close();

        // Another reviewer of the folder marks d meanwhile: both marks stay.
        states->writeNow();
        const QString file = path("data/.pallaster-review.json");
        review::Marks onDisk;
        QVERIFY(review::fromJson(readBytes(file), &onDisk));
        QCOMPARE(onDisk.size(), 2);
        onDisk.insert("images/d.jpg",
                      {review::State::Reviewed, {}, 18, 0, QDateTime::currentMSecsSinceEpoch()});
        writeBytes(file, review::toJson(onDisk));
        states->mark(2, ReviewStates::Reviewed);
        states->writeNow();
        QVERIFY(review::fromJson(readBytes(file), &onDisk));
        QCOMPARE(onDisk.size(), 4);
        QCOMPARE(states->stateOf(3), int(ReviewStates::ChangedSinceReview)); // another stamp

        // A label file changed after its review: no longer counted.
        QCOMPARE(states->stateOf(0), int(ReviewStates::Reviewed));
        writeBytes(path("data/labels/a.txt"), "1 0.5 0.5 0.2 0.2\n");
        model->yoloReloadRow(0);
        QCOMPARE(states->stateOf(0), int(ReviewStates::ChangedSinceReview));
        QVERIFY(states->passes(0, ReviewStates::NotReviewed));
        QCOMPARE(states->summary(), QStringLiteral("1 of 4 reviewed, 1 needs work"));

        // The next window on the dataset finds every mark.
        delete states;
        ReviewStates again(model);
        again.loadNow();
        QCOMPARE(again.stateOf(1), int(ReviewStates::NeedsWork));
        QCOMPARE(again.stateOf(2), int(ReviewStates::Reviewed));
    }

    // A dataset JSON file keeps each image's state and note, and its marks are the review's.
    void datasetJson()
    {
        writeBytes(path("set.json"),
                   "[{\"id\": 1, \"fileName\": \"a.jpg\", \"reviewState\": "
                   "\"reviewed\"}, {\"id\": 2, \"fileName\": \"b.jpg\", "
                   "\"reviewState\": \"needs-work\", \"reviewNote\": \"why\"}, "
                   "{\"id\": 3, \"fileName\": \"c.jpg\"}]");
        QCOMPARE(model->openJsonFile(path("set.json")), 3);
        ReviewStates states(model);
        states.loadNow();
        QCOMPARE(states.summary(), QStringLiteral("1 of 3 reviewed, 1 needs work"));
        QCOMPARE(states.noteOf(1), QStringLiteral("why"));
        states.mark(0, ReviewStates::NotReviewed);
        states.mark(2, ReviewStates::Reviewed);
        QString error;
        QVERIFY(model->writeJson(path("out.json"), &error));
        const QByteArray out = readBytes(path("out.json"));
        QCOMPARE(out.count("\"reviewState\""), 2);
        QVERIFY(out.contains("\"reviewNote\": \"why\",\n        \"reviewState\": \"needs-work\""));
    }

    void unwritableFolder()
    {
        if (geteuid() == 0)
            QSKIP("root writes anywhere");
        makeDataset();
        QFile::setPermissions(path("data"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        {
            ReviewStates states(model);
            states.loadNow();
            states.mark(0, ReviewStates::Reviewed);
            states.writeNow();
            QVERIFY(model->notice().contains("cannot be written"));
        }
        QVERIFY(!QFile::exists(path("data/.pallaster-review.json")));
        ReviewStates again(model);
        again.loadNow();
        QCOMPARE(again.stateOf(0), int(ReviewStates::Reviewed));
        QFile::setPermissions(
            path("data"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
};

QTEST_GUILESS_MAIN(TestReview)
#include "tst_review.moc"
