#include "app/application.h"

#include "app/boxoverlay.h"
#include "app/imagedecoder.h"
#include "app/lookahead.h"
#include "app/utils.h"
#include "model/editsession.h"
#include "model/imagelist.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QUrl>

#include <memory>

void registerQmlTypes(QQmlEngine *engine)
{
    Utils::instance();
    ImageList::instance();
    EditSession::instance();
    qmlRegisterType<BoxOverlay>("Pallaster", 1, 0, "BoxOverlay");
    qmlRegisterType<Lookahead>("Pallaster", 1, 0, "Lookahead");
    engine->addImageProvider(QLatin1String(ImageDecoder::providerId), new ImageDecoder);
}

void useWindowIncubation(QQmlEngine *engine, QObject *root)
{
    if (auto *window = qobject_cast<QQuickWindow *>(root))
        engine->setIncubationController(window->incubationController());
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
    auto engine = std::make_unique<QQmlApplicationEngine>();
    registerQmlTypes(engine.get());

    const QUrl url(mainUrl);
    QObject::connect(
        engine.get(), &QQmlApplicationEngine::objectCreated, app.get(),
        [url, engine = engine.get()](QObject *object, const QUrl &objectUrl) {
            if (!object && url == objectUrl)
                QCoreApplication::exit(-1);
            else if (object && url == objectUrl)
                useWindowIncubation(engine, object);
        },
        Qt::QueuedConnection);
    engine->load(url);

    const int result = app->exec();

    if (EditSession::hasInstance())
        delete EditSession::instance();
    if (ImageList::hasInstance())
        delete ImageList::instance();
    if (Utils::hasInstance())
        delete Utils::instance();
    engine.reset();
    app.reset();
    return result;
}
