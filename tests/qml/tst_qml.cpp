#include "application.h"

#include <QObject>
#include <QQmlEngine>
#include <QtQuickTest>

// Runs the QML tests against the module the application registers, with the resource bundle
// linked in so a test can load "qrc:/main.qml".
class Setup : public QObject
{
    Q_OBJECT

public slots:
    void qmlEngineAvailable(QQmlEngine *) { registerQmlTypes(); }
};

QUICK_TEST_MAIN_WITH_SETUP(pallaster_qml, Setup)

#include "tst_qml.moc"
