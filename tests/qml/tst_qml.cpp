#include "app/application.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QObject>
#include <QPainter>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QtQuickTest>

// File helpers for the QML tests only (module PallasterTest): the tests build small datasets
// on disk and check the bytes the application writes.
class TestFiles : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

public slots:
    // A new empty folder, removed when the runner exits.
    QString newFolder()
    {
        auto *dir = new QTemporaryDir();
        dirs.emplace_back(dir);
        return dir->path();
    }
    bool mkpath(const QString &path) { return QDir().mkpath(path); }
    bool write(const QString &path, const QString &text)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size();
    }
    // The file's text, or null when it cannot be read.
    QVariant read(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return QVariant();
        return QString::fromUtf8(file.readAll());
    }
    bool exists(const QString &path) { return QFileInfo::exists(path); }
    QString env(const QString &name) { return qEnvironmentVariable(qPrintable(name)); }
    bool remove(const QString &path) { return QFile::remove(path); }
    bool removeFolder(const QString &path) { return QDir(path).removeRecursively(); }
    bool link(const QString &target, const QString &path) { return QFile::link(target, path); }
    // The colour of the pixel (x, y) of the image file at `path` ("#rrggbb"), empty without one:
    // for checking what an item grabbed with grabToImage shows, which a property alone does not
    // prove.
    QString pixelColor(const QString &path, int x, int y)
    {
        const QImage image(path);
        return image.valid(x, y) ? image.pixelColor(x, y).name() : QString();
    }
    // A JPEG of the given size: a grey picture with a darker square in its middle.
    bool writeImage(const QString &path, int width, int height)
    {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(QColor(200, 200, 200));
        QPainter painter(&image);
        painter.fillRect(width / 4, height / 4, width / 2, height / 2, QColor(90, 90, 120));
        painter.end();
        return image.save(path); // the format its suffix names
    }

private:
    std::vector<std::unique_ptr<QTemporaryDir>> dirs;
};

// Runs the QML tests against the module the application registers, with the resource bundle
// linked in so a test can load "qrc:/main.qml".
class Setup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable() { setApplicationIdentity(); }
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        registerQmlTypes(engine);
        static TestFiles files;
        qmlRegisterSingletonInstance("PallasterTest", 1, 0, "TestFiles", &files);
    }
};

QUICK_TEST_MAIN_WITH_SETUP(pallaster_qml, Setup)

#include "tst_qml.moc"
