#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace bench {

// Median wall time of `runs` calls, in seconds.
inline double medianSeconds(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e9);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Medians of `a` and `b` timed alternately, run by run, and the median of the ratio b / a of
// each pair: the load of a shared machine shifts more between seconds than within one pair.
struct AlternatedTimes
{
    double a = 0, b = 0, ratio = 0;
};
inline AlternatedTimes alternatedMedians(int runs, const std::function<void()> &a,
                                         const std::function<void()> &b)
{
    std::vector<double> as, bs, ratios;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        a();
        as.push_back(timer.nsecsElapsed() / 1e9);
        timer.restart();
        b();
        bs.push_back(timer.nsecsElapsed() / 1e9);
        ratios.push_back(bs.back() / as.back());
    }
    for (auto *times : {&as, &bs, &ratios})
        std::sort(times->begin(), times->end());
    return {as[as.size() / 2], bs[bs.size() / 2], ratios[ratios.size() / 2]};
}

// How long work done a slice at a time by the event loop took, and the longest the loop went
// without turning meanwhile, as a tick of `tickMs` measures it (a gap of one tick is no stall).
struct LoopRun
{
    double seconds = 0, longestGapMs = 0;
};
// Calls `start`, then turns the event loop until `finished` says the work is done; `finished` is
// asked whenever `sender` emits `signal`.
template<typename Object, typename Signal>
inline LoopRun runEventLoop(Object *sender, Signal signal, const std::function<void()> &start,
                            const std::function<bool()> &finished, int tickMs = 16)
{
    QElapsedTimer clock, tick;
    LoopRun run;
    QTimer ticker;
    ticker.setInterval(tickMs);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        run.longestGapMs = std::max(run.longestGapMs, tick.nsecsElapsed() / 1e6);
        tick.restart();
    });
    QEventLoop loop;
    const auto connection = QObject::connect(sender, signal, &loop, [&] {
        if (finished())
            loop.quit();
    });
    clock.start();
    tick.start();
    ticker.start();
    start();
    if (!finished())
        loop.exec();
    run.seconds = clock.nsecsElapsed() / 1e9;
    // The last stretch too: the work's end (a filter made again, say) may be its longest.
    run.longestGapMs = std::max(run.longestGapMs, tick.nsecsElapsed() / 1e6);
    QObject::disconnect(connection);
    return run;
}

// The largest resident set since the start, or since the last resetPeakRss.
inline double peakRssMB()
{
    if (FILE *f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        long kB = -1;
        while (std::fgets(line, sizeof line, f)) {
            if (std::sscanf(line, "VmHWM: %ld kB", &kB) == 1)
                break;
        }
        std::fclose(f);
        if (kB >= 0)
            return kB / 1024.0;
    }
    struct rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Starts the peak over from the present resident set (Linux), so that what a benchmark does to
// prepare its data does not count.
inline void resetPeakRss()
{
    if (FILE *f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

inline double currentRssMB()
{
    FILE *f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Debug messages (one per image for some loaders) go to /dev/null while measuring.
inline void silenceStderr()
{
    const int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) {
        dup2(devnull, STDERR_FILENO);
        close(devnull);
    }
}

inline void figure(const char *name, double value, const char *unit)
{
    std::printf("%s: %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

// A photo-like picture: smooth light, a few shapes and sensor noise, so that JPEG has the
// work (and the file size) a camera photo gives it.
inline QImage photo(int width, int height, int seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double fx = 2 + 6 * unit(rng), fy = 2 + 6 * unit(rng), phase = 6.28 * unit(rng);
    quint32 noise = 2463534242u + quint32(seed);
    for (int y = 0; y < height; ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const double v = double(y) / height;
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width;
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const int n = int(noise & 31) - 16;
            const double s = std::sin(fx * u * 6.28 + phase) * std::cos(fy * v * 6.28);
            const int r = int(120 + 90 * s + 40 * u) + n;
            const int g = int(110 + 70 * std::sin(9 * u * v + phase) + 30 * v) + n;
            const int b = int(100 + 80 * std::cos(5 * (u - v))) + n;
            line[x] = qRgb(qBound(0, r, 255), qBound(0, g, 255), qBound(0, b, 255));
        }
    }
    return image;
}

// The floor: list the folder and read every "*.txt" file whole, nothing else.
inline qint64 posixPass(const std::string &folder)
{
    qint64 bytes = 0;
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return 0;
    char buffer[65536];
    while (struct dirent *entry = readdir(dir)) {
        const size_t len = std::strlen(entry->d_name);
        if (len < 4 || std::strcmp(entry->d_name + len - 4, ".txt") != 0)
            continue;
        const std::string path = folder + "/" + entry->d_name;
        const int fd = open(path.c_str(), O_RDONLY);
        if (fd < 0)
            continue;
        ssize_t got;
        while ((got = read(fd, buffer, sizeof buffer)) > 0)
            bytes += got;
        close(fd);
    }
    closedir(dir);
    return bytes;
}

// Writes `text` as the whole of the file at `path`, or ends the benchmark: a generated dataset
// with a file missing would measure something else.
inline void writeWhole(const std::string &path, const std::string &text)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || write(fd, text.data(), text.size()) != ssize_t(text.size())) {
        std::perror("generate");
        std::exit(1);
    }
    close(fd);
}

// The median time of a plain POSIX read of every file in `folder` (after one pass that warms
// the page cache), warning when it reads other than `expected` bytes.
inline double posixFloor(const std::string &folder, int runs, qint64 expected)
{
    posixPass(folder);
    qint64 read = 0;
    const double floor = medianSeconds(runs, [&] { read = posixPass(folder); });
    if (read != expected)
        std::printf("warning: floor read %lld of %lld bytes\n", (long long)read,
                    (long long)expected);
    return floor;
}

// The folder a benchmark makes its files in: the one the environment variable `keep` names
// (kept for runs by hand), else the temporary `scratch`.
inline QString workFolder(const char *keep, const QTemporaryDir &scratch)
{
    const QString kept = qEnvironmentVariable(keep);
    return kept.isEmpty() ? scratch.path() : kept;
}

// How many images a benchmark makes: BENCH_IMAGES when set, else `fallback`.
inline int imageCount(int fallback)
{
    return qEnvironmentVariableIsSet("BENCH_IMAGES") ? qEnvironmentVariableIntValue("BENCH_IMAGES")
                                                     : fallback;
}

// The camera sizes the window benchmarks run at.
struct PhotoSize
{
    const char *name;
    int width, height;
};
constexpr PhotoSize photoSizes[] = {{"12 MP", 4032, 3024}, {"48 MP", 8000, 6000}};

// A YOLO dataset of `count` label files of 0 to 12 boxes of 80 classes, named by number from
// 100000000, with an empty image for each (one in ten a PNG). Prints its size; returns the
// bytes of label text written.
inline qint64 writeYoloDataset(const QString &labels, const QString &images, int count)
{
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> boxCount(0, 12), category(0, 79);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    qint64 total = 0, boxes = 0;
    const std::string folder = labels.toStdString();
    char line[128];
    std::string text;
    for (int i = 0; i < count; ++i) {
        text.clear();
        const int n = boxCount(rng);
        for (int b = 0; b < n; ++b) {
            std::snprintf(line, sizeof line, "%d %.6f %.6f %.6f %.6f\n", category(rng), unit(rng),
                          unit(rng), unit(rng) * 0.5, unit(rng) * 0.5);
            text += line;
        }
        boxes += n;
        writeWhole(folder + "/" + std::to_string(100000000 + i) + ".txt", text);
        total += qint64(text.size());
    }
    const std::string imageFolder = images.toStdString();
    for (int i = 0; i < count; ++i)
        writeWhole(imageFolder + "/" + std::to_string(100000000 + i)
                       + (i % 10 == 9 ? ".png" : ".jpg"),
                   std::string());
    std::printf("dataset: %d label files, %lld boxes, %.1f MB\n", count, (long long)boxes,
                total / 1e6);
    return total;
}

} // namespace bench
