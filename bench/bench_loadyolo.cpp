// Loads a generated YOLO dataset of 100,000 label files and compares the time with a plain
// POSIX pass over the same files.
#include "benchutil.h"
#include "dataset/imagelist.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <string>

namespace {

int imageCount = 100000;

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    imageCount = bench::imageCount(imageCount);
    QTemporaryDir tmp;
    // BENCH_LOADYOLO_DIR keeps the generated dataset there and loads it again on the next run,
    // for profiling the load alone.
    const QDir work(bench::workFolder("BENCH_LOADYOLO_DIR", tmp));
    const QString labels = work.filePath("labels");
    const QString images = work.filePath("images");
    const bool made = QDir(labels).exists() && !QDir(labels).isEmpty();
    QDir().mkpath(labels);
    QDir().mkpath(images);
    const qint64 total = made ? bench::posixPass(labels.toStdString())
                              : bench::writeYoloDataset(labels, images, imageCount);
    bench::silenceStderr();

    const std::string folder = labels.toStdString();
    const int runs = 9;

    // BENCH_NO_IMAGE_FOLDER=1 loads with a missing images folder, to see what listing it costs.
    const QString imageFolder
        = qEnvironmentVariableIsSet("BENCH_NO_IMAGE_FOLDER") ? work.filePath("missing") : images;
    ImageList *model = ImageList::instance();
    // The floor and the load alternate, so that both meet the same machine.
    qint64 read = bench::posixPass(folder);
    const bench::AlternatedTimes times = bench::alternatedMedians(
        runs, [&] { read = bench::posixPass(folder); },
        [&] { model->loadYolo(labels, imageFolder); });
    if (read != total)
        std::printf("warning: floor read %lld of %lld bytes\n", (long long)read, (long long)total);
    if (model->rowCount() != imageCount)
        std::printf("warning: loaded %d rows\n", model->rowCount());
    int pngs = 0;
    for (int row = 0; row < model->rowCount(); ++row)
        pngs += model->data(model->index(row, 0), 1).toString().endsWith(QLatin1String(".png"));
    if (imageFolder == images && pngs != imageCount / 10)
        std::printf("warning: %d rows have their PNG image, not %d\n", pngs, imageCount / 10);

    bench::figure("loadyolo_median", times.b, "s");
    bench::figure("posix_floor_median", times.a, "s");
    bench::figure("loadyolo_over_floor", times.ratio, "x, median of pairs (target at most 1.3)");
    bench::figure("rss_loaded", bench::currentRssMB(), "MB");
    bench::figure("rss_peak", bench::peakRssMB(), "MB (target at most 150)");
    return 0;
}
