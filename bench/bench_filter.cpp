// Filters a loaded dataset of 100,000 images the way the grid's filter bar does, with a grid
// view of the filtered rows in an offscreen window, and prints the time of each kind of change
// (the model's work, the view's answer and the next frame): a search keystroke, a class, two
// classes, "no boxes", "image missing" and clearing them. It also prints the class counts'
// time. The target is at most 50 ms for every change.
#include "app/application.h"
#include "app/datasetactions.h"
#include "benchutil.h"
#include "dataset/classcounts.h"
#include "dataset/imagefilter.h"
#include "dataset/imagelist.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QTemporaryDir>

#include <algorithm>
#include <vector>

namespace {

int imageCount = 100000;

const char *gridDocument = R"(
import QtQuick 2.15
import QtQuick.Window 2.15
import Pallaster 1.0
Window {
    width: 1280; height: 800; visible: true
    GridView {
        anchors.fill: parent
        cellWidth: 128; cellHeight: 128
        model: ImageFilter
        delegate: Rectangle {
            width: 120; height: 120; color: "lightgray"
            Text { text: model.imgBaseFileName }
        }
    }
}
)";

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    QGuiApplication app(argc, argv);
    imageCount = bench::imageCount(imageCount);
    QTemporaryDir tmp;
    const QString labels = tmp.filePath("labels"), images = tmp.filePath("images");
    QDir().mkpath(labels);
    QDir().mkpath(images);
    bench::writeYoloDataset(labels, images, imageCount);
    bench::silenceStderr();

    QQmlEngine engine;
    registerQmlTypes(&engine);
    ImageList *model = ImageList::instance();
    ImageFilter *filter = DatasetActions::instance()->filter();
    QQmlComponent component(&engine);
    component.setData(gridDocument, QUrl());
    std::unique_ptr<QObject> window(component.create());
    if (!window) {
        std::printf("the grid document did not load: %s\n", qPrintable(component.errorString()));
        return 1;
    }
    model->loadYolo(labels, images);
    QCoreApplication::processEvents();

    // One change and what follows it until the window has drawn it.
    const auto timed = [&](const std::function<void()> &change) {
        QElapsedTimer timer;
        timer.start();
        change();
        QCoreApplication::processEvents();
        return timer.nsecsElapsed() / 1e6;
    };
    const auto report = [&](const char *name, std::vector<double> ms) {
        std::sort(ms.begin(), ms.end());
        char label[64];
        std::snprintf(label, sizeof label, "filter_%s_median", name);
        bench::figure(label, ms[ms.size() / 2], "ms (target at most 50)");
        std::snprintf(label, sizeof label, "filter_%s_max", name);
        bench::figure(label, ms.back(), "ms");
    };

    const int runs = 7;
    // The first class filter makes every row's class set; it is kept from then on.
    bench::figure("filter_first_class_ms", timed([&] { filter->setClasses({7}); }), "ms");
    filter->clear();
    std::vector<double> keys, oneClass, twoClasses, noBoxes, missing, cleared;
    for (int run = 0; run < runs; ++run) {
        QString typed;
        for (const char c : {'1', '0', '0', '0', '4'}) {
            typed += QLatin1Char(c);
            keys.push_back(timed([&] { filter->setSearch(typed); }));
        }
        cleared.push_back(timed([&] { filter->clear(); }));
        oneClass.push_back(timed([&] { filter->setClasses({run}); }));
        twoClasses.push_back(timed([&] { filter->setClasses({run, run + 40}); }));
        cleared.push_back(timed([&] { filter->clear(); }));
        noBoxes.push_back(timed([&] { filter->setNoBoxesOnly(true); }));
        cleared.push_back(timed([&] { filter->clear(); }));
        missing.push_back(timed([&] { filter->setImageMissingOnly(true); }));
        cleared.push_back(timed([&] { filter->clear(); }));
    }
    report("keystroke", keys);
    report("one_class", oneClass);
    report("two_classes", twoClasses);
    report("no_boxes", noBoxes);
    report("image_missing", missing);
    report("clear", cleared);

    ClassCounts *counts = DatasetActions::instance()->counts();
    std::vector<double> counting;
    for (int run = 0; run < runs; ++run)
        counting.push_back(timed([&] { counts->recount(); }));
    std::sort(counting.begin(), counting.end());
    bench::figure("class_counts_median", counting[counting.size() / 2], "ms");
    bench::figure("rows", model->rowCount(), "");
    return 0;
}
