// The health checks over 100,000 images of 6 boxes each, with a small JPEG for every image:
// in the background after a load (time until done, and the longest stall of the event loop
// meanwhile), and as --check does them, against the load alone.
#include "benchutil.h"
#include "dataset/imagelist.h"
#include "review/healthreport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QTemporaryDir>

#include <random>
#include <string>

namespace {

int imageCount = 100000;

// Label files of 6 boxes, one in fifty with a problem, and a JPEG of 640 x 480 for each.
void generate(const QString &labels, const QString &images)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImage(640, 480, QImage::Format_RGB32).save(&buffer, "JPEG", 50);
    const std::string picture(jpeg.constData(), size_t(jpeg.size()));
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    char line[128];
    for (int i = 0; i < imageCount; ++i) {
        std::string text;
        for (int b = 0; b < 6; ++b) {
            const double w = 0.05 + unit(rng) * 0.3, h = 0.05 + unit(rng) * 0.3;
            std::snprintf(line, sizeof line, "%d %.6f %.6f %.6f %.6f\n", int(rng() % 80),
                          w / 2 + unit(rng) * (1 - w), h / 2 + unit(rng) * (1 - h), w, h);
            text += line;
        }
        if (i % 50 == 0)
            text += "3 0.5 0.5 0.2 1.2\n";
        const std::string name = std::to_string(100000000 + i);
        bench::writeWhole(labels.toStdString() + "/" + name + ".txt", text);
        bench::writeWhole(images.toStdString() + "/" + name + ".jpg", picture);
    }
    std::printf("dataset: %d label files of 6 boxes, %d JPEGs of %d bytes\n", imageCount,
                imageCount, int(jpeg.size()));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    imageCount = bench::imageCount(imageCount);
    QTemporaryDir tmp;
    const QDir work(bench::workFolder("BENCH_HEALTH_DIR", tmp));
    const QString labels = work.filePath("labels"), images = work.filePath("images");
    if (!QDir(labels).exists() || QDir(labels).isEmpty()) {
        QDir().mkpath(labels);
        QDir().mkpath(images);
        generate(labels, images);
    }
    bench::silenceStderr();
    ImageList *model = ImageList::instance();
    const double load = bench::medianSeconds(5, [&] { model->loadYolo(labels, images); });
    bench::figure("load_median", load, "s");

    // In the background, as the window does after a load: the event loop keeps turning.
    double checks = 0, longestGap = 0;
    int found = 0;
    for (int run = 0; run < 3; ++run) {
        HealthReport report(model);
        const bench::LoopRun done = bench::runEventLoop(
            &report, &HealthReport::busyChanged, [&] { report.start(); },
            [&] { return !report.isBusy(); });
        checks = run == 0 ? done.seconds : std::min(checks, done.seconds);
        longestGap = run == 0 ? done.longestGapMs : std::max(longestGap, done.longestGapMs);
        found = report.imagesWithProblems();
    }
    std::printf("images with problems: %d\n", found);
    bench::figure("checks_in_background_best_of_3", checks, "s (target at most 1)");
    bench::figure("longest_event_loop_gap", longestGap,
                  "ms, a 16 ms tick included (target at most 50)");

    // As --check does: the load, then every check on this thread, headers on two threads.
    const double checkCommand = bench::medianSeconds(5, [&] {
        model->loadYolo(labels, images);
        HealthReport now(model);
        now.checkNow();
    });
    bench::figure("check_command_median", checkCommand, "s");
    bench::figure("check_command_to_load", checkCommand / load, "x (target at most 1.5)");
    return 0;
}
