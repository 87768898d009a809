// Exports and loads a dataset JSON file of 100,000 images with about 600,000 boxes.
#include "benchutil.h"
#include "dataset/imagelist.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <random>
#include <string>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int imageCount = 100000;
    imageCount = bench::imageCount(imageCount);
    QTemporaryDir tmp;

    // The starting dataset, written compactly by hand and loaded once.
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::string text = "[";
    char buffer[256];
    long boxes = 0;
    for (int i = 0; i < imageCount; ++i) {
        std::snprintf(
            buffer, sizeof buffer,
            "%s{\"id\": %d, \"fileName\": \"%09d.jpg\", \"filePath\": "
            "\"/data/coco/images/%09d.jpg\", \"width\": 640, \"height\": 480, \"bboxes\": [",
            i ? "," : "", i + 1, i, i);
        text += buffer;
        const int n = int(rng() % 13);
        for (int b = 0; b < n; ++b) {
            std::snprintf(
                buffer, sizeof buffer,
                "%s{\"catId\": %d, \"cx\": %.17g, \"cy\": %.17g, \"cw\": %.17g, \"ch\": %.17g}",
                b ? "," : "", int(rng() % 80), unit(rng), unit(rng), unit(rng) / 2, unit(rng) / 2);
            text += buffer;
        }
        boxes += n;
        text += "]}";
    }
    text += "]";
    const QString source = tmp.filePath("source.json");
    FILE *f = std::fopen(source.toLocal8Bit().constData(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    text.clear();
    text.shrink_to_fit();

    bench::silenceStderr();
    ImageList *model = ImageList::instance();
    model->loadJson(source);
    std::printf("dataset: %d images, %ld boxes\n", model->rowCount(), boxes);

    bench::resetPeakRss();
    const QString out = tmp.filePath("out.json");
    const double exportTime = bench::medianSeconds(5, [&] { model->exportJson(out); });
    const double fileMB = QFileInfo(out).size() / 1e6;

    const QString empty = tmp.filePath("empty");
    std::vector<double> loads;
    for (int i = 0; i < 5; ++i) {
        model->loadYolo(empty, QString()); // empties the model, outside the measured time
        loads.push_back(bench::medianSeconds(1, [&] { model->loadJson(out); }));
    }
    std::sort(loads.begin(), loads.end());

    bench::figure("json_export_median", exportTime, "s (target at most 0.6)");
    bench::figure("json_load_median", loads[loads.size() / 2], "s (target at most 0.5)");
    bench::figure("json_file_size", fileMB, "MB");
    bench::figure("rss_loaded", bench::currentRssMB(), "MB");
    bench::figure("rss_peak", bench::peakRssMB(), "MB (target at most 300)");
    return 0;
}
