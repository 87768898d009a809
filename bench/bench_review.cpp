// Review marks over 100,000 images, every one marked: what they add to a load (on the GUI
// thread, and until every tile has its state), and marking an image with moving on to the next
// one not reviewed, as V does in the editor.
#include "benchutil.h"
#include "dataset/bboxlist.h"
#include "dataset/imagefilter.h"
#include "dataset/imagelist.h"
#include "edit/editsession.h"
#include "io/fileio.h"
#include "review/reviewmarks.h"
#include "review/reviewstates.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int imageCount = bench::imageCount(100000);
    QTemporaryDir tmp;
    const QDir work(bench::workFolder("BENCH_REVIEW_DIR", tmp));
    const QString labels = work.filePath("labels"), images = work.filePath("images");
    if (!QDir(labels).exists() || QDir(labels).isEmpty()) {
        QDir().mkpath(labels);
        QDir().mkpath(images);
        bench::writeYoloDataset(labels, images, imageCount);
    }
    bench::silenceStderr();
    ImageList *model = ImageList::instance();
    EditSession::instance();
    model->loadYolo(labels, images);
    // Every image marked, all but the last hundred reviewed, as of the files now.
    review::Marks marks;
    for (int row = 0; row + 100 < model->rowCount(); ++row) {
        const io::FileStamp stamp = model->imageAt(row)->bboxes->fileStamp();
        marks.insert(QStringLiteral("images/%1.%2")
                         .arg(100000000 + row)
                         .arg(QLatin1String(row % 10 == 9 ? "png" : "jpg")),
                     {review::State::Reviewed, {}, stamp.size, stamp.modifiedNs, 1});
    }
    io::writeFile(work.filePath(".pallaster-review.json"), review::toJson(marks));

    // Loads alternated without and with the marks, each with its states shown before the next.
    std::unique_ptr<ReviewStates> states;
    std::vector<std::unique_ptr<ReviewStates>> done; // freed after the timing
    double untilShown = 0;
    std::vector<double> guiParts;
    const bench::AlternatedTimes loads = bench::alternatedMedians(
        5, [&] { model->loadYolo(labels, images); },
        [&] {
            if (states)
                done.push_back(std::move(states));
            states = std::make_unique<ReviewStates>(model);
            QElapsedTimer timer;
            timer.start();
            model->loadYolo(labels, images); // the marks are read in the background
            const double gui = timer.nsecsElapsed() / 1e9;
            const bench::LoopRun shown = bench::runEventLoop(
                states.get(), &ReviewStates::statesChanged, [] {},
                [&] { return states->reviewed() > 0; });
            untilShown
                = untilShown > 0 ? std::min(untilShown, gui + shown.seconds) : gui + shown.seconds;
            guiParts.push_back(gui);
            // The plain loads go without it.
            QObject::disconnect(model, nullptr, states.get(), nullptr);
        });
    std::sort(guiParts.begin(), guiParts.end());
    std::printf("%s\n", qPrintable(states->summary()));
    bench::figure("load_median", loads.a, "s");
    bench::figure("load_with_marks_median", loads.b, "s, until the marks are shown");
    bench::figure("marks_added_to_load", (loads.ratio - 1) * 100,
                  "%, median of pairs, the GUI thread's part and the wait (target at most 5)");
    bench::figure("load_until_marks_shown_best", untilShown, "s");
    bench::figure("load_with_marks_gui_part_median", guiParts[guiParts.size() / 2],
                  "s, the load's own call, the marks read meanwhile in the background");
    ImageFilter filter(model);
    states->setOrder(&filter);

    // V in the editor, over the images not reviewed at the end.
    EditSession *session = EditSession::instance();
    session->open(model->rowCount() - 100);
    const double markAndNext = bench::medianSeconds(50, [&] { states->markReviewedAndNext(); });
    bench::figure("mark_and_next_median", markAndNext * 1e3,
                  "ms, without the picture (target at most 60 with it)");
    session->close();
    return 0;
}
