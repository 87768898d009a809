// Drives the real editor, offscreen at 1280 x 800, over one camera-size JPEG photo (12 MP, then
// 48 MP, each in a process of its own) and prints: the time from opening to the sharp picture,
// the time from each zoom step (100 % to 800 %, a factor of 1.25 a step) to the sharp picture
// (the settle delay of 100 ms included), and the peak resident memory while zooming.
#include "app/application.h"
#include "benchutil.h"
#include "model/editsession.h"
#include "model/imagelist.h"

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
#include <vector>

namespace {

// Waits, looking every 5 ms, until `ready` holds; false after 60 s.
bool waitFor(const std::function<bool()> &ready)
{
    QElapsedTimer clock;
    clock.start();
    while (!ready()) {
        if (clock.elapsed() > 60000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

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
    registerQmlTypes(&engine);
    engine.load(QUrl(QStringLiteral("qrc:/main.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;
    auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    window->resize(1280, 800);
    bench::silenceStderr();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
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
    if (!waitFor([&] { return sharp(whole, region, clock.elapsed()); }))
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
        if (!waitFor([&] { return sharp(whole, region, clock.elapsed()); }))
            return 3;
        steps.push_back(clock.nsecsElapsed() / 1e9);
        const double next = picture->property("zoom").toDouble();
        if (next == zoom)
            break;
        zoom = next;
    }
    std::sort(steps.begin(), steps.end());
    std::printf("opening to sharp %.3f s; zoom step to sharp: median %.3f s, slowest %.3f s over "
                "%zu steps; peak RSS while zooming %.0f MB\n",
                opening, steps[steps.size() / 2], steps.back(), steps.size(), bench::peakRssMB());
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "--window")
        return runWindow(argc, argv);

    QCoreApplication app(argc, argv);
    QTemporaryDir temporary;
    const struct
    {
        const char *name;
        int width, height;
    } sizes[] = {{"12 MP", 4032, 3024}, {"48 MP", 8000, 6000}};
    for (const auto &size : sizes) {
        const QString folder = temporary.filePath(QString::number(size.width));
        QDir().mkpath(folder + QStringLiteral("/images"));
        QDir().mkpath(folder + QStringLiteral("/labels"));
        QImageWriter writer(folder + QStringLiteral("/images/photo.jpg"), "jpg");
        writer.setQuality(90);
        QFile labels(folder + QStringLiteral("/labels/photo.txt"));
        if (!writer.write(bench::photo(size.width, size.height, size.width))
            || !labels.open(QIODevice::WriteOnly)
            || labels.write("0 0.5 0.5 0.1 0.1\n1 0.25 0.25 0.05 0.05\n") < 0) {
            std::fprintf(stderr, "bench_editor: could not write the photo\n");
            return 1;
        }
        labels.close();
        QProcess child;
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
