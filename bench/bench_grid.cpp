// Drives the real window over folders of camera-size JPEG photos (12 MP and 48 MP), seven boxes
// on each, and prints, for 4 and 10 columns, opened cold (no thumbnails on disk) and again (the
// thumbnails the first opening left): the time until the first screen is drawn with every
// visible image ready, the longest stall of the GUI thread while the grid is flicked at
// 2,500 px/s and on jumps to screens not seen yet, and the peak resident memory. Each opening
// runs in a process of its own, so that its peak is its own and it starts with no image in
// memory.
#include "app/application.h"
#include "benchutil.h"
#include "benchwindow.h"
#include "dataset/imagelist.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <unistd.h>
#include <vector>

namespace {

const int photoCount = 3000; // file names; a handful of distinct photos behind them
const int distinctPhotos = 4;
const int screens = 20;
const int boxesPerImage = 7;
const double flickStep = 40; // pixels a 16 ms tick: 2,500 px/s
const int ticksAfterJump = 30; // about half a second, for the new screen's tiles to come
const int maxJumps = 30;

bool generate(const QString &images, const QString &labels, int width, int height)
{
    QDir().mkpath(images);
    QDir().mkpath(labels);
    QStringList distinct;
    for (int i = 0; i < distinctPhotos; ++i) {
        const QString path = images + QStringLiteral("/source%1.jpg").arg(i);
        QImageWriter writer(path, "jpg");
        writer.setQuality(90);
        if (!writer.write(bench::photo(width, height, i + width)))
            return false;
        distinct << path;
    }
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> unit(0.05, 0.95);
    for (int i = 0; i < photoCount; ++i) {
        const QString name = QStringLiteral("%1").arg(i, 6, 10, QLatin1Char('0'));
        const QString image = images + QLatin1Char('/') + name + QStringLiteral(".jpg");
        if (::link(QFile::encodeName(distinct[i % distinctPhotos]).constData(),
                   QFile::encodeName(image).constData())
            != 0)
            return false;
        QByteArray text;
        for (int b = 0; b < boxesPerImage; ++b)
            text += QByteArray::number(b % 3) + ' ' + QByteArray::number(unit(rng), 'f', 6) + ' '
                + QByteArray::number(unit(rng), 'f', 6) + " 0.100000 0.120000\n";
        QFile file(labels + QLatin1Char('/') + name + QStringLiteral(".txt"));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return false;
    }
    for (const QString &path : distinct)
        QFile::remove(path);
    return true;
}

// The CPU time the calling thread has used, in milliseconds.
double threadCpuMs()
{
    timespec now = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Tiles are not QObject children of the view: their items are walked.
void collectThumbnails(QQuickItem *item, QList<QQuickItem *> &out)
{
    for (QQuickItem *child : item->childItems()) {
        if (child->objectName() == QLatin1String("tileImage"))
            out << child;
        else
            collectThumbnails(child, out);
    }
}

// Thumbnails of tiles that are at least partly inside the grid's visible area, and how many of
// them are not ready yet.
int visibleNotReady(QQuickItem *grid, int *visible)
{
    QList<QQuickItem *> images;
    collectThumbnails(grid, images);
    const QRectF view(0, 0, grid->width(), grid->height());
    int pending = 0;
    *visible = 0;
    for (QQuickItem *image : images) {
        if (image->property("source").toUrl().isEmpty() || !image->isVisible())
            continue;
        // The tile's area: an image that is not ready may have no size yet.
        const QQuickItem *area = image->parentItem();
        const QRectF rect = area->mapRectToItem(grid, QRectF(0, 0, area->width(), area->height()));
        if (!rect.intersects(view))
            continue;
        ++*visible;
        if (image->property("status").toInt() != 1) // Image.Ready
            ++pending;
    }
    return pending;
}

int runWindow(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    const QString images = QString::fromLocal8Bit(argv[2]);
    const QString labels = QString::fromLocal8Bit(argv[3]);
    const int columns = QByteArray(argv[4]).toInt();

    setApplicationIdentity();
    QGuiApplication app(argc, argv);
    QQmlApplicationEngine engine;
    QQuickWindow *window = bench::mainWindow(engine);
    if (!window)
        return 1;
    useWindowIncubation(&engine, window);
    auto *spin = window->findChild<QObject *>(QStringLiteral("spinColumns"));
    auto *grid = window->findChild<QQuickItem *>(QStringLiteral("gridImages"));
    if (!spin || !grid)
        return 1;
    spin->setProperty("value", columns);
    if (qEnvironmentVariableIsEmpty("BENCH_GRID_VERBOSE"))
        bench::silenceStderr(); // one debug line per label file

    int frames = 0;
    QObject::connect(window, &QQuickWindow::frameSwapped, [&frames] { ++frames; });
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);

    // First screen: from Load until a frame is swapped with every visible image ready.
    QElapsedTimer clock;
    clock.start();
    ImageList::instance()->loadYolo(labels, images);
    int visible = 0;
    {
        // Looked at every 20 ms, so that watching costs the window next to nothing.
        QEventLoop waiting;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if ((visibleNotReady(grid, &visible) == 0 && visible > 0) || clock.elapsed() > 120000)
                waiting.quit();
        });
        poll.start(20);
        waiting.exec();
        if (visible == 0)
            return 2;
    }
    const int readyFrames = frames;
    while (frames == readyFrames) {
        window->update();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    const double firstScreen = clock.nsecsElapsed() / 1e9;
    if (qEnvironmentVariableIsSet("BENCH_GRID_FIRST_SCREEN_ONLY")) {
        std::printf("first screen %.3f s\n", firstScreen);
        return 0;
    }

    // A 16 ms timer moves the view: the longest gap between its ticks is the longest time the
    // GUI thread did not get round to it. First a flick over the first half of the grid (at
    // most 20 screens), then jumps, a screen and a half apart, over the half not seen yet.
    const double screen = grid->height();
    const double end = grid->property("contentHeight").toDouble() - screen;
    const double flickEnd = qMin(end / 2, screens * screen);
    int ticks = 0, wait = 0, jumps = 0;
    double jumpTo = flickEnd + screen;
    qint64 last = 0, longestFlick = 0;
    std::vector<qint64> jumpGaps; // the longest gap after each jump
    // The GUI thread's own time from a jump until the frame after it is swapped: the work a
    // jump costs, whatever else the machine is doing.
    std::vector<double> jumpWork;
    double jumpStart = -1;
    QObject::connect(window, &QQuickWindow::frameSwapped, [&] {
        if (jumpStart >= 0) {
            jumpWork.push_back(threadCpuMs() - jumpStart);
            jumpStart = -1;
        }
    });
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(16);
    QElapsedTimer gaps;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 now = gaps.nsecsElapsed();
        const qint64 gap = ticks > 0 ? now - last : 0;
        last = now;
        ++ticks;
        const double y = grid->property("contentY").toDouble();
        if (jumps == 0 && y + flickStep <= flickEnd) {
            longestFlick = qMax(longestFlick, gap);
            grid->setProperty("contentY", y + flickStep);
            return;
        }
        if (jumps > 0)
            jumpGaps.back() = qMax(jumpGaps.back(), gap);
        if (jumps > 0 && ++wait < ticksAfterJump)
            return;
        if (jumpTo > end || jumps == maxJumps) {
            loop.quit();
            return;
        }
        jumpStart = threadCpuMs();
        grid->setProperty("contentY", jumpTo); // makes the new screen's tiles
        jumpTo += 1.5 * screen;
        ++jumps;
        jumpGaps.push_back(0);
        wait = 0;
    });
    gaps.start();
    timer.start();
    loop.exec();

    std::sort(jumpGaps.begin(), jumpGaps.end());
    const double longestJump = jumpGaps.empty() ? 0 : jumpGaps.back() / 1e6;
    const double medianJump = jumpGaps.empty() ? 0 : jumpGaps[jumpGaps.size() / 2] / 1e6;
    std::sort(jumpWork.begin(), jumpWork.end());
    const double medianWork = jumpWork.empty() ? 0 : jumpWork[jumpWork.size() / 2];
    std::printf("%d visible tiles: first screen %.3f s, longest stall %.1f ms flicking "
                "(%.1f screens), %.1f ms on %d jumps (median %.1f ms; GUI thread busy %.1f ms a "
                "jump), peak RSS %.0f MB\n",
                visible, firstScreen, longestFlick / 1e6, flickEnd / screen, longestJump, jumps,
                medianJump, medianWork, bench::peakRssMB());
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 5 && QByteArray(argv[1]) == "--window")
        return runWindow(argc, argv);

    QCoreApplication app(argc, argv);
    // BENCH_GRID_DIR keeps the photos in a folder of one's choice, for profiling a single
    // configuration by hand (`bench_grid --window <images> <labels> <columns>`).
    QTemporaryDir temporary;
    const QDir dir(bench::workFolder("BENCH_GRID_DIR", temporary));
    const auto &sizes = bench::photoSizes;
    const QStringList only
        = qEnvironmentVariable("BENCH_GRID_ONLY").split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const auto &size : sizes) {
        const QString images = dir.filePath(QStringLiteral("%1/images").arg(size.width));
        const QString labels = dir.filePath(QStringLiteral("%1/labels").arg(size.width));
        if (!QDir(labels).exists() && !generate(images, labels, size.width, size.height)) {
            std::fprintf(stderr, "bench_grid: could not generate the photos\n");
            return 1;
        }
        for (int columns : {4, 10}) {
            const QString config = QStringLiteral("%1@%2").arg(size.width).arg(columns);
            if (!only.isEmpty() && !only.contains(config))
                continue;
            // The thumbnails of its own: none for the cold opening, those it left for the next.
            const QString cache = dir.filePath(QStringLiteral("cache"));
            QDir(cache).removeRecursively();
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
            for (const char *opening : {"cold", "again"}) {
                QProcess child;
                child.setProcessEnvironment(environment);
                child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
                child.start(QCoreApplication::applicationFilePath(),
                            {QStringLiteral("--window"), images, labels, QString::number(columns)});
                child.waitForFinished(-1);
                const QByteArray out = child.readAllStandardOutput().trimmed();
                if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
                    std::printf("%s x %d columns, %s: the window process failed (exit %d%s)\n",
                                size.name, columns, opening, child.exitCode(),
                                child.exitStatus() != QProcess::NormalExit ? ", killed" : "");
                else
                    std::printf("%s, %d columns, %s: %s\n", size.name, columns, opening,
                                out.constData());
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
