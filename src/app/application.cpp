#include "app/application.h"

#include "app/boxoverlay.h"
#include "app/imagedecoder.h"
#include "app/lookahead.h"
#include "app/utils.h"
#include "model/editsession.h"
#include "model/imagelist.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QSGRendererInterface>
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

bool openGLIsSoftware()
{
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    if (!context.create() || !context.makeCurrent(&surface))
        return false;
    const auto *name
        = reinterpret_cast<const char *>(context.functions()->glGetString(GL_RENDERER));
    const QByteArray renderer = QByteArray(name ? name : "").toLower();
    context.doneCurrent();
    return renderer.contains("llvmpipe") || renderer.contains("softpipe")
        || renderer.contains("software rasterizer") || renderer.contains("swrast");
}

void chooseSceneGraphBackend()
{
    // Left to the user when they name one.
    if (!qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")
        || !qEnvironmentVariableIsEmpty("QMLSCENE_DEVICE"))
        return;
    // OpenGL drawn by the processor (a machine without a graphics driver, a virtual display)
    // takes cores from decoding and draws a screen of tiles slower than Qt Quick's own software
    // renderer does.
    if (QGuiApplication::platformName() == QLatin1String("xcb") && openGLIsSoftware())
        QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
}

int runApplication(int &argc, char **argv, const QString &mainUrl)
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    setApplicationIdentity();

    auto app = std::make_unique<QGuiApplication>(argc, argv);
    chooseSceneGraphBackend();
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
