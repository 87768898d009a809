// Drives the real editor, offscreen at 1280 x 800, over camera-size JPEG photos (12 MP, then
// 48 MP, each in a process of its own) and prints: the time from opening to the sharp picture,
// the time from each zoom step (100 % to 800 %, a factor of 1.25 a step) to the sharp picture
// (the settle delay of 100 ms included), and the peak resident memory while zooming; then the
// time from PageDown to the sharp next picture, over 20 images looked at for a second and a half
// each and over 20 more paged through as fast as they come, and the peak memory over those.
#include "app/application.h"
#include "benchutil.h"
#include "benchwindow.h"
#include "dataset/imagelist.h"
#include "edit/editsession.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImageWriter>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

const int distinctPhotos = 4;
const int pages = 20; // PageDowns of each kind
const int photoCount = 2 * pages + 2;

// The picture is sharp: the whole copy decoded, and the part in view when one is asked for,
// once the settle delay has passed.
bool sharp(QQuickItem *whole, QQuickItem *region, qint64 sinceMs)
{
    const bool regionDone = region->property("source").toUrl().isEmpty()
        || region->property("status").toInt() == 1; // Image.Ready
    return sinceMs > 120 && whole->property("status").toInt() == 1 && regionDone;
}

int runWindow(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    const QString folder = QString::fromLocal8Bit(argv[2]);
    setApplicationIdentity();
    QGuiApplication app(argc, argv);
    QQmlApplicationEngine engine;
    QQuickWindow *window = bench::mainWindow(engine);
    if (!window)
        return 1;
    bench::silenceStderr();
    ImageList::instance()->loadYolo(folder + QStringLiteral("/labels"),
                                    folder + QStringLiteral("/images"));

    QElapsedTimer clock;
    clock.start();
    EditSession::instance()->open(0);
    auto *picture = window->findChild<QQuickItem *>(QStringLiteral("editorPicture"));
    auto *whole = window->findChild<QQuickItem *>(QStringLiteral("editorImage"));
    auto *region = window->findChild<QQuickItem *>(QStringLiteral("regionImage"));
    if (!picture || !whole || !region)
        return 1;
    if (!bench::waitFor([&] { return sharp(whole, region, clock.elapsed()); }))
        return 2;
    const double opening = clock.nsecsElapsed() / 1e9;

    bench::resetPeakRss();
    QMetaObject::invokeMethod(picture, "zoomToActualSize");
    std::vector<double> steps;
    double zoom = 0;
    for (int step = 0; step < 30; ++step) {
        clock.restart();
        if (step > 0)
            QMetaObject::invokeMethod(picture, "zoomBy", Q_ARG(QVariant, 1.25));
        if (!bench::waitFor([&] { return sharp(whole, region, clock.elapsed()); }))
            return 3;
        steps.push_back(clock.nsecsElapsed() / 1e9);
        const double next = picture->property("zoom").toDouble();
        if (next == zoom)
            break;
        zoom = next;
    }
    std::sort(steps.begin(), steps.end());
    std::printf("opening to sharp %.3f s; zoom step to sharp: median %.3f s, slowest %.3f s over "
                "%zu steps; peak RSS while zooming %.0f MB; ",
                opening, steps[steps.size() / 2], steps.back(), steps.size(), bench::peakRssMB());

    // PageDown: from the key to the frame that shows the next picture sharp.
    QMetaObject::invokeMethod(picture, "fit");
    if (!bench::waitFor([&] { return sharp(whole, region, 1000); }))
        return 4;
    int frames = 0;
    QObject::connect(window, &QQuickWindow::frameSwapped, [&frames] { ++frames; });
    bench::resetPeakRss();
    std::vector<double> paused, hurried;
    for (int page = 0; page < 2 * pages; ++page) {
        const bool pause = page < pages;
        if (pause) {
            // Looking at the picture: the editor decodes the next one meanwhile.
            clock.restart();
            bench::waitFor([&] { return clock.elapsed() > 1500; });
        }
        clock.restart();
        EditSession::instance()->openNeighbour(1);
        if (!bench::waitFor([&] { return sharp(whole, region, 1000); }))
            return 5;
        const double readyAt = clock.nsecsElapsed() / 1e9;
        const int shown = frames;
        window->update();
        if (!bench::waitFor([&] { return frames > shown; }))
            return 6;
        (pause ? paused : hurried).push_back(clock.nsecsElapsed() / 1e9);
        if (qEnvironmentVariableIsSet("BENCH_EDITOR_VERBOSE"))
            std::printf("page %d: ready %.3f s, shown %.3f s\n", page, readyAt,
                        clock.nsecsElapsed() / 1e9);
    }
    std::sort(paused.begin(), paused.end());
    std::sort(hurried.begin(), hurried.end());
    std::printf("PageDown to sharp: median %.3f s (slowest %.3f s) after a pause, median %.3f s "
                "paging at once; peak RSS over %d images %.0f MB\n",
                paused[paused.size() / 2], paused.back(), hurried[hurried.size() / 2], 2 * pages,
                bench::peakRssMB());
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "--window")
        return runWindow(argc, argv);

    QCoreApplication app(argc, argv);
    // BENCH_EDITOR_DIR keeps the photos in a folder of one's choice, for running one size by hand
    // (`bench_editor --window <folder>`).
    QTemporaryDir scratch;
    const QDir temporary(bench::workFolder("BENCH_EDITOR_DIR", scratch));
    const auto &sizes = bench::photoSizes;
    for (const auto &size : sizes) {
        const QString folder = temporary.filePath(QString::number(size.width));
        QDir().mkpath(folder + QStringLiteral("/images"));
        QDir().mkpath(folder + QStringLiteral("/labels"));
        // A few distinct photos behind many names: each name is decoded on its own.
        for (int i = 0; i < photoCount && !QFile::exists(folder + QStringLiteral("/done")); ++i) {
            const QString name = QStringLiteral("photo%1").arg(i, 3, 10, QLatin1Char('0'));
            const QString image
                = folder + QStringLiteral("/images/") + name + QStringLiteral(".jpg");
            if (i < distinctPhotos) {
                QImageWriter writer(image, "jpg");
                writer.setQuality(90);
                if (!writer.write(bench::photo(size.width, size.height, size.width + i))) {
                    std::fprintf(stderr, "bench_editor: could not write the photo\n");
                    return 1;
                }
            } else {
                const QString source = folder
                    + QStringLiteral("/images/photo%1.jpg")
                          .arg(i % distinctPhotos, 3, 10, QLatin1Char('0'));
                if (::link(QFile::encodeName(source).constData(),
                           QFile::encodeName(image).constData())
                    != 0)
                    return 1;
            }
            QFile labels(folder + QStringLiteral("/labels/") + name + QStringLiteral(".txt"));
            if (!labels.open(QIODevice::WriteOnly)
                || labels.write("0 0.5 0.5 0.1 0.1\n1 0.25 0.25 0.05 0.05\n") < 0) {
                std::fprintf(stderr, "bench_editor: could not write the labels\n");
                return 1;
            }
        }
        QFile(folder + QStringLiteral("/done")).open(QIODevice::WriteOnly);
        // Thumbnails (the editor's placeholder) go to a folder of the benchmark's own.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CACHE_HOME"),
                           temporary.filePath(QStringLiteral("cache")));
        QProcess child;
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--window"), folder});
        child.waitForFinished(-1);
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
            std::printf("%s: the window process failed (exit %d)\n", size.name, child.exitCode());
        else
            std::printf("%s: %s\n", size.name, child.readAllStandardOutput().trimmed().constData());
        std::fflush(stdout);
    }
    return 0;
}
