#pragma once

#include <QString>

// Creates the Utils and ImageList singletons (once) and registers them as module Pallaster 1.0.
// The application and the QML test runner both call it, so tests see the same module.
void registerQmlTypes();

// Application, organisation name and domain (what QSettings and dialogs go by).
void setApplicationIdentity();

// The whole life of the application: set-up, loading `mainUrl`, the event loop and shut-down.
// Returns the event loop's exit code, or -1 when the main document yields no root object.
int runApplication(int &argc, char **argv, const QString &mainUrl);
