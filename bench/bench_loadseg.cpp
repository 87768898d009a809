// Loads a generated YOLO segmentation dataset of 100,000 label files (about seven polygons of
// 20 to 60 vertices each, six decimals, as segmentation tools export them) and compares the time
// with a plain POSIX pass over the same files, and the peak memory with the folder's size.
#include "benchutil.h"
#include "dataset/imagelist.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstring>
#include <dirent.h>
#include <random>
#include <string>

namespace {

int imageCount = 100000;

qint64 generate(const QString &labels)
{
    std::mt19937 rng(43);
    std::uniform_int_distribution<int> polygonCount(4, 10), vertexCount(20, 60), category(0, 79);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    qint64 total = 0, polygons = 0, vertices = 0;
    const std::string folder = labels.toStdString();
    char number[32];
    std::string text;
    for (int i = 0; i < imageCount; ++i) {
        text.clear();
        const int n = polygonCount(rng);
        for (int p = 0; p < n; ++p) {
            // Vertices around an ellipse, as a traced outline is.
            const double cx = 0.2 + unit(rng) * 0.6, cy = 0.2 + unit(rng) * 0.6;
            const double rx = 0.05 + unit(rng) * 0.15, ry = 0.05 + unit(rng) * 0.15;
            const int m = vertexCount(rng);
            text += std::to_string(category(rng));
            for (int v = 0; v < m; ++v) {
                const double angle = 6.283185307179586 * v / m;
                const double r = 0.8 + unit(rng) * 0.2;
                std::snprintf(number, sizeof number, " %.6f %.6f", cx + rx * r * std::cos(angle),
                              cy + ry * r * std::sin(angle));
                text += number;
            }
            text += '\n';
            vertices += m;
        }
        polygons += n;
        const std::string path = folder + "/" + std::to_string(100000000 + i) + ".txt";
        bench::writeWhole(path, text);
        total += qint64(text.size());
    }
    std::printf("dataset: %d label files, %lld polygons, %lld vertices, %.1f MB\n", imageCount,
                (long long)polygons, (long long)vertices, total / 1e6);
    return total;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    imageCount = bench::imageCount(imageCount);
    QTemporaryDir tmp;
    const QString labels = tmp.filePath("labels");
    QDir().mkpath(labels);
    const qint64 total = generate(labels);
    bench::silenceStderr();

    const std::string folder = labels.toStdString();
    const int runs = 5;
    const double floor = bench::posixFloor(folder, runs, total);

    bench::resetPeakRss();
    ImageList *model = ImageList::instance();
    const double load
        = bench::medianSeconds(runs, [&] { model->loadYolo(labels, tmp.filePath("images")); });
    if (model->rowCount() != imageCount)
        std::printf("warning: loaded %d rows\n", model->rowCount());

    const double folderMB = total / (1024.0 * 1024.0);
    bench::figure("loadseg_median", load, "s");
    bench::figure("posix_floor_median", floor, "s");
    bench::figure("loadseg_over_floor", load / floor, "x (target at most 2)");
    bench::figure("label_folder", folderMB, "MB");
    bench::figure("rss_loaded", bench::currentRssMB(), "MB");
    bench::figure("rss_peak", bench::peakRssMB(), "MB");
    bench::figure("rss_peak_over_folder", bench::peakRssMB() - folderMB, "MB (target at most 150)");
    return 0;
}
