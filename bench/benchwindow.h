#pragma once

// What the benchmarks of the real window share: the window itself, loaded as the application
// loads it, and a wait on the event loop.

#include "app/application.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QUrl>

#include <functional>

namespace bench {

// The main window loaded into `engine`, 1280 x 800, shown and settled; null when it cannot be
// loaded.
inline QQuickWindow *mainWindow(QQmlApplicationEngine &engine)
{
    registerQmlTypes(&engine);
    engine.load(QUrl(QStringLiteral("qrc:/main.qml")));
    if (engine.rootObjects().isEmpty())
        return nullptr;
    auto *window = qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    if (window)
        window->resize(1280, 800);
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return window;
}

// Waits, looking every 5 ms, until `ready` holds; false after 60 s.
inline bool waitFor(const std::function<bool()> &ready)
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

} // namespace bench
