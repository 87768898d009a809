#include "app/application.h"

#include "app/boxoverlay.h"
#include "app/commandline.h"
#include "app/datasetactions.h"
#include "app/imagedecoder.h"
#include "app/lookahead.h"
#include "app/pipeline.h"
#include "app/tileface.h"
#include "app/utils.h"
#include "dataset/imagelist.h"
#include "edit/editsession.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QSettings>
#include <QUrl>

#include <cstdio>
#include <memory>

void registerQmlTypes(QQmlEngine *engine)
{
    Utils::instance();
    ImageList::instance();
    EditSession::instance();
    DatasetActions::instance();
    qmlRegisterType<BoxOverlay>("Pallaster", 1, 0, "BoxOverlay");
    qmlRegisterType<TileFace>("Pallaster", 1, 0, "TileFace");
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

namespace {

// --help and --version answer before a display is needed; anything else is read once Qt has
// taken its own options (-platform, -style, ...) out of the arguments.
int answered(const CommandLine &line)
{
    switch (line.action) {
    case CommandLine::Help:
        std::fputs(usageText().toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLine::Version:
        std::printf("pallaster %s\n", PALLASTER_VERSION);
        return 0;
    case CommandLine::Fail:
        std::fprintf(stderr, "pallaster: %s\n%s", line.message.toLocal8Bit().constData(),
                     usageText().toLocal8Bit().constData());
        return 2;
    case CommandLine::Run:
    case CommandLine::ExportCoco:
    case CommandLine::ExportYolo:
    case CommandLine::Check:
    case CommandLine::Compare:
        break;
    }
    return -1;
}

} // namespace

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
    QCoreApplication::setApplicationVersion(QStringLiteral(PALLASTER_VERSION));

    for (int i = 1; i < argc && qstrcmp(argv[i], "--") != 0; ++i) {
        for (const char *asked : {"--help", "-h", "--version", "-v"}) {
            if (qstrcmp(argv[i], asked) == 0) {
                // No display needed: a core application gives the parser the program's name.
                QCoreApplication core(argc, argv);
                return answered(parseCommandLine({QString::fromLocal8Bit(asked)}));
            }
        }
    }

    {
        QStringList arguments;
        for (int i = 1; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        if (isPipelineCommand(arguments)) {
            // Pipelines run where there is no display.
            QCoreApplication core(argc, argv);
            const CommandLine line = parseCommandLine(QCoreApplication::arguments().mid(1));
            return isPipelineAction(line.action) ? runPipeline(line) : answered(line);
        }
    }

    auto app = std::make_unique<QGuiApplication>(argc, argv);
    const CommandLine line = parseCommandLine(QCoreApplication::arguments().mid(1));
    if (line.action != CommandLine::Run)
        return answered(line);
    if (!line.instances.isEmpty())
        DatasetActions::setStartInstances(line.images, line.instances);
    else
        DatasetActions::setStartFolders(line.images, line.labels, line.yaml, line.split);
    DatasetActions::setStartPredictions(line.predictions);
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
    // The window comes back at the size and columns it was left with.
    QSettings settings;
    auto *window = engine->rootObjects().isEmpty()
        ? nullptr
        : qobject_cast<QQuickWindow *>(engine->rootObjects().first());
    QObject *columns
        = window ? window->findChild<QObject *>(QStringLiteral("spinColumns")) : nullptr;
    if (window && settings.contains(QStringLiteral("window/size")))
        window->resize(settings.value(QStringLiteral("window/size")).toSize());
    if (columns && settings.contains(QStringLiteral("window/columns")))
        columns->setProperty("value", settings.value(QStringLiteral("window/columns")));

    const int result = app->exec();

    if (window)
        settings.setValue(QStringLiteral("window/size"), window->size());
    if (columns)
        settings.setValue(QStringLiteral("window/columns"), columns->property("value"));

    if (DatasetActions::hasInstance())
        delete DatasetActions::instance();
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
