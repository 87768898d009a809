// Loads a generated YOLO dataset of 100,000 label files and compares the time with a plain
// POSIX pass over the same files.
#include "benchutil.h"
#include "model/imagelist.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstring>
#include <dirent.h>
#include <random>
#include <string>

namespace {

int imageCount = 100000;

qint64 generate(const QString &labels, const QString &images)
{
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> boxCount(0, 12), category(0, 79);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    qint64 total = 0, boxes = 0;
    const std::string folder = labels.toStdString();
    char line[128];
    std::string text;
    for (int i = 0; i < imageCount; ++i) {
        text.clear();
        const int n = boxCount(rng);
        for (int b = 0; b < n; ++b) {
            std::snprintf(line, sizeof line, "%d %.6f %.6f %.6f %.6f\n", category(rng), unit(rng),
                          unit(rng), unit(rng) * 0.5, unit(rng) * 0.5);
            text += line;
        }
        boxes += n;
        const std::string path = folder + "/" + std::to_string(100000000 + i) + ".txt";
        bench::writeWhole(path, text);
        total += qint64(text.size());
    }
    // The images, empty: one in ten a PNG, so the loader's folder listing has work to do.
    const std::string imageFolder = images.toStdString();
    for (int i = 0; i < imageCount; ++i) {
        const std::string path
            = imageFolder + "/" + std::to_string(100000000 + i) + (i % 10 == 9 ? ".png" : ".jpg");
        bench::writeWhole(path, std::string());
    }
    std::printf("dataset: %d label files, %lld boxes, %.1f MB\n", imageCount, (long long)boxes,
                total / 1e6);
    return total;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("BENCH_IMAGES"))
        imageCount = qEnvironmentVariableIntValue("BENCH_IMAGES");
    QTemporaryDir tmp;
    const QString labels = tmp.filePath("labels");
    const QString images = tmp.filePath("images");
    QDir().mkpath(labels);
    QDir().mkpath(images);
    const qint64 total = generate(labels, images);
    bench::silenceStderr();

    const std::string folder = labels.toStdString();
    const int runs = 7;
    bench::posixPass(folder); // warm the page cache
    qint64 read = 0;
    const double floor = bench::medianSeconds(runs, [&] { read = bench::posixPass(folder); });
    if (read != total)
        std::printf("warning: floor read %lld of %lld bytes\n", (long long)read, (long long)total);

    // BENCH_NO_IMAGE_FOLDER=1 loads with a missing images folder, to see what listing it costs.
    const QString imageFolder
        = qEnvironmentVariableIsSet("BENCH_NO_IMAGE_FOLDER") ? tmp.filePath("missing") : images;
    ImageList *model = ImageList::instance();
    const double load = bench::medianSeconds(runs, [&] { model->loadYolo(labels, imageFolder); });
    if (model->rowCount() != imageCount)
        std::printf("warning: loaded %d rows\n", model->rowCount());
    int pngs = 0;
    for (int row = 0; row < model->rowCount(); ++row)
        pngs += model->data(model->index(row, 0), 1).toString().endsWith(QLatin1String(".png"));
    if (imageFolder == images && pngs != imageCount / 10)
        std::printf("warning: %d rows have their PNG image, not %d\n", pngs, imageCount / 10);

    bench::figure("loadyolo_median", load, "s");
    bench::figure("posix_floor_median", floor, "s");
    bench::figure("loadyolo_over_floor", load / floor, "x (target at most 1.5)");
    bench::figure("rss_loaded", bench::currentRssMB(), "MB");
    bench::figure("rss_peak", bench::peakRssMB(), "MB (target at most 150)");
    return 0;
}
