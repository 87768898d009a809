#include "app/application.h"

#include "app/utils.h"
#include "model/imagelist.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QUrl>

#include <memory>

void registerQmlTypes()
{
    Utils::instance();
    ImageList::instance();
}

void setApplicationIdentity()
{
    QCoreApplication::setApplicationName(QStringLiteral("Pallaster"));
    QCoreApplication::setOrganizationName(QStringLiteral("Ostrel"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("ostrel.org"));
}

int runApplication(int &argc, char **argv, const QString &mainUrl)
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    setApplicationIdentity();

    auto app = std::make_unique<QGuiApplication>(argc, argv);
    registerQmlTypes();
    auto engine = std::make_unique<QQmlApplicationEngine>();

    const QUrl url(mainUrl);
    QObject::connect(
        engine.get(), &QQmlApplicationEngine::objectCreated, app.get(),
        [url](QObject *object, const QUrl &objectUrl) {
            if (!object && url == objectUrl)
                QCoreApplication::exit(-1);
        },
        Qt::QueuedConnection);
    engine->load(url);

    const int result = app->exec();

    if (ImageList::hasInstance())
        delete ImageList::instance();
    if (Utils::hasInstance())
        delete Utils::instance();
    engine.reset();
    app.reset();
    return result;
}
