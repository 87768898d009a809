// A model's predictions for 100,000 images of 6 labels each, 10 predictions an image: reading
// the predictions folder against a plain POSIX read of it, matching every image, a change of
// threshold (matching and the grid's filter and order made again, with the longest stall of the
// event loop meanwhile), and the memory the predictions take above the labels.
#include "benchutil.h"
#include "dataset/imagefilter.h"
#include "dataset/imagelist.h"
#include "review/predictions.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <random>
#include <string>

namespace {

int imageCount = 100000;

// Labels of 6 boxes of 80 classes; predictions made from them as a model would give them: each
// label found again a little off with a confidence, one in ten of another class or shifted, and
// some extra boxes, most of low confidence. Returns the bytes of the predictions files.
qint64 generate(const QString &labels, const QString &predictions, const QString &images)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    char line[160];
    qint64 total = 0;
    for (int i = 0; i < imageCount; ++i) {
        std::string labelText, predictionText;
        for (int b = 0; b < 10; ++b) {
            const double w = 0.05 + unit(rng) * 0.25, h = 0.05 + unit(rng) * 0.25;
            const double cx = w / 2 + unit(rng) * (1 - w), cy = h / 2 + unit(rng) * (1 - h);
            const int catId = int(rng() % 80);
            if (b < 6) {
                std::snprintf(line, sizeof line, "%d %.6f %.6f %.6f %.6f\n", catId, cx, cy, w, h);
                labelText += line;
            }
            const bool off = unit(rng) < 0.1;
            std::snprintf(line, sizeof line, "%d %.6f %.6f %.6f %.6f %.4f\n",
                          off && b % 2 ? int(rng() % 80) : catId, cx + (off ? w / 2 : 0.005), cy, w,
                          h, b < 6 ? 0.4 + unit(rng) * 0.6 : unit(rng) * 0.7);
            predictionText += line;
        }
        const std::string name = std::to_string(100000000 + i);
        bench::writeWhole(labels.toStdString() + "/" + name + ".txt", labelText);
        bench::writeWhole(predictions.toStdString() + "/" + name + ".txt", predictionText);
        bench::writeWhole(images.toStdString() + "/" + name + ".jpg", std::string());
        total += qint64(predictionText.size());
    }
    std::printf("dataset: %d images of 6 labels and 10 predictions, %.1f MB of predictions\n",
                imageCount, total / 1e6);
    return total;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    imageCount = bench::imageCount(imageCount);
    QTemporaryDir tmp;
    const QDir work(bench::workFolder("BENCH_PREDICTIONS_DIR", tmp));
    const QString labels = work.filePath("labels"), predictions = work.filePath("predictions"),
                  images = work.filePath("images");
    qint64 total = 0;
    if (!QDir(labels).exists() || QDir(labels).isEmpty()) {
        for (const QString &folder : {labels, predictions, images})
            QDir().mkpath(folder);
        total = generate(labels, predictions, images);
    } else {
        total = bench::posixPass(predictions.toStdString());
    }
    bench::silenceStderr();
    ImageList *model = ImageList::instance();
    model->loadYolo(labels, images);
    ImageFilter filter(model);
    // As the grid does: the filter makes its rows again lazily, when a view asks for them.
    QObject::connect(&filter, &QAbstractItemModel::layoutChanged, [&] { filter.rowCount(); });

    // Reading alone, alternated with the floor.
    QStringList paths;
    for (int row = 0; row < model->rowCount(); ++row)
        paths << predictions + QLatin1Char('/') + model->imageAt(row)->fileName + ".jpg";
    const std::atomic<bool> stop{false};
    qint64 read = bench::posixPass(predictions.toStdString());
    int predicted = 0;
    const bench::AlternatedTimes reading = bench::alternatedMedians(
        7, [&] { read = bench::posixPass(predictions.toStdString()); },
        [&] {
            const auto rows = Predictions::readFiles(paths, {}, stop);
            predicted = 0;
            for (const auto &row : rows)
                predicted += row.size();
        });
    if (read != total)
        std::printf("warning: the floor read %lld of %lld bytes\n", (long long)read,
                    (long long)total);
    std::printf("predictions read: %d\n", predicted);
    bench::figure("read_median", reading.b, "s");
    bench::figure("posix_floor_median", reading.a, "s");
    bench::figure("read_over_floor", reading.ratio, "x, median of pairs (target at most 1.5)");

    // The whole: read and matched, as the window does it, and the memory above the labels.
    const double before = bench::currentRssMB();
    Predictions model2(model);
    model2.serve(&filter);
    model2.openNow(predictions);
    bench::figure("memory_above_labels", bench::currentRssMB() - before, "MB (target at most 100)");
    std::printf("%s\n", qPrintable(model2.summary()));

    // Matching every image, and a change of threshold with the grid's filter and order on.
    const double matching = bench::medianSeconds(5, [&] {
        bench::runEventLoop(
            &model2, &Predictions::busyChanged, [&] { model2.rematch(); },
            [&] { return !model2.isBusy(); });
    });
    bench::figure("match_all_median", matching, "s (target at most 1)");
    filter.setSuspectFirst(true);
    filter.setDisagreementKind(-2);
    double change = 0, gap = 0;
    for (int run = 0; run < 4; ++run) {
        // Done once the filter is made again, after the last match.
        const bench::LoopRun done = bench::runEventLoop(
            &filter, &ImageFilter::filterChanged,
            [&] { model2.setConfidenceThreshold(run % 2 ? 0.5 : 0.45); },
            [&] { return !model2.isBusy(); }, 1);
        change = std::max(change, done.seconds);
        gap = std::max(gap, done.longestGapMs);
    }
    std::printf("images shown: %d\n", filter.rowCount());
    bench::figure("filter_and_order_median",
                  bench::medianSeconds(5, [&] { filter.suspicionChanged(); }) * 1e3,
                  "ms (part of the change, on the GUI thread at once)");
    bench::figure("threshold_change_slowest", change, "s (target at most 1)");
    bench::figure("longest_event_loop_gap", gap, "ms, a 1 ms tick included (target at most 50)");
    return 0;
}
