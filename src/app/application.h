#pragma once

#include <QString>

class QObject;
class QQmlEngine;

// Creates the Utils, ImageList and EditSession singletons (once) and registers them, with the
// session's category table, as module Pallaster 1.0,
// and gives `engine` the image decoder the window's images load through. The application and
// the QML test runner both call it, so tests see the same module.
void registerQmlTypes(QQmlEngine *engine);

// Lets the window `root` (when it is one) spread the creation of objects that are not needed at
// once, such as grid tiles coming into view, over the idle time between its frames.
void useWindowIncubation(QQmlEngine *engine, QObject *root);

// Application, organisation name and domain (what QSettings and dialogs go by).
void setApplicationIdentity();

// Whether OpenGL is drawn by the processor (Mesa's llvmpipe and the like) rather than a GPU.
bool openGLIsSoftware();
// Qt Quick's software renderer where OpenGL itself is software, unless the environment names a
// renderer: it needs a QGuiApplication.
void chooseSceneGraphBackend();

// The whole life of the application: set-up, loading `mainUrl`, the event loop and shut-down.
// Returns the event loop's exit code, or -1 when the main document yields no root object.
int runApplication(int &argc, char **argv, const QString &mainUrl);
