// Drives the real editor, offscreen at 1280 x 800, over polygons: an image with 200 polygons of
// 30 vertices (the time from opening until its shapes are drawn, against the time until its
// picture is sharp), and an image with one polygon of 500 vertices, one of them dragged (the
// GUI thread's time for each report of the drag, up to the frame that shows it).
#include "app/application.h"
#include "benchutil.h"
#include "benchwindow.h"
#include "dataset/imagelist.h"
#include "edit/editsession.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// A polygon of `n` vertices round (cx, cy), a little uneven.
std::string polygon(int catId, double cx, double cy, double r, int n, int seed)
{
    std::string line = std::to_string(catId);
    char value[32];
    for (int i = 0; i < n; ++i) {
        const double a = 2 * M_PI * i / n;
        const double k = r * (0.8 + 0.2 * std::sin(seed + 5 * a));
        std::snprintf(value, sizeof value, " %.6f %.6f", cx + k * std::cos(a),
                      cy + k * std::sin(a));
        line += value;
    }
    return line + "\n";
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    setApplicationIdentity();
    QGuiApplication app(argc, argv);
    QTemporaryDir tmp;
    const QDir work(tmp.path());
    QDir().mkpath(work.filePath("images"));
    QDir().mkpath(work.filePath("labels"));
    bench::photo(4032, 3024, 1).save(work.filePath("images/a.jpg"), "JPEG", 90);
    QFile::copy(work.filePath("images/a.jpg"), work.filePath("images/b.jpg"));
    std::string many;
    for (int i = 0; i < 200; ++i)
        many += polygon(i % 5, 0.08 + 0.084 * (i % 11), 0.08 + 0.042 * (i / 11), 0.035, 30, i);
    bench::writeWhole(work.filePath("labels/a.txt").toStdString(), many);
    bench::writeWhole(work.filePath("labels/b.txt").toStdString(),
                      polygon(0, 0.5, 0.5, 0.3, 500, 3));

    QQmlApplicationEngine engine;
    QQuickWindow *window = bench::mainWindow(engine);
    if (!window)
        return 1;
    bench::silenceStderr();
    ImageList::instance()->loadYolo(work.filePath("labels"), work.filePath("images"));
    int frames = 0;
    QObject::connect(window, &QQuickWindow::frameSwapped, [&frames] { ++frames; });
    EditSession *session = EditSession::instance();

    auto *repeater = window->findChild<QQuickItem *>(QStringLiteral("boxRepeater"));
    if (!repeater)
        return 1;
    // Opening the image of 200 polygons.
    std::vector<double> toShapes, toPicture;
    for (int run = 0; run < 5; ++run) {
        session->close();
        bench::waitFor([&] { return repeater->property("count").toInt() == 0; });
        QElapsedTimer clock;
        clock.start();
        session->open(0);
        const int before = frames;
        if (!bench::waitFor(
                [&] { return repeater->property("count").toInt() == 200 && frames > before; }))
            return 2;
        toShapes.push_back(clock.nsecsElapsed() / 1e9);
        auto *whole = window->findChild<QQuickItem *>(QStringLiteral("editorImage"));
        if (!bench::waitFor([&] { return whole && whole->property("status").toInt() == 1; }))
            return 3;
        toPicture.push_back(clock.nsecsElapsed() / 1e9);
    }
    std::sort(toShapes.begin(), toShapes.end());
    std::sort(toPicture.begin(), toPicture.end());
    bench::figure("open_200_polygons_to_shapes_median", toShapes[2] * 1e3, "ms");
    bench::figure("open_to_sharp_picture_median", toPicture[2] * 1e3, "ms");
    bench::figure("shapes_after_picture", std::max(0.0, toShapes[2] - toPicture[2]) * 1e3,
                  "ms (target at most 100)");

    // Dragging a vertex of the polygon of 500: each report and the frame that shows it.
    session->open(1);
    session->select(0);
    // The 500 vertex handles are there once a frame has shown the selection.
    const int shownBefore = frames;
    bench::waitFor([&] { return frames > shownBefore + 1; });
    std::vector<double> steps;
    for (int i = 0; i < 120; ++i) {
        QElapsedTimer clock;
        clock.start();
        const int before = frames;
        session->movePoint(0, 0, 0.8 + 0.05 * std::sin(i / 10.0), 0.5 + 0.05 * std::cos(i / 10.0),
                           i > 0);
        window->update();
        if (!bench::waitFor([&] { return frames > before; }))
            return 4;
        steps.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(steps.begin(), steps.end());
    bench::figure("drag_500_vertex_report_median", steps[steps.size() / 2], "ms");
    bench::figure("drag_500_vertex_report_95th", steps[steps.size() * 95 / 100], "ms");
    bench::figure("drag_500_vertex_report_slowest", steps.back(), "ms (target at most 16)");
    return 0;
}
