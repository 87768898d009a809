#include "app/utils.h"

#include <QFileInfo>
#include <QImageReader>

#include <QQmlEngine>

Utils *Utils::s_instance = nullptr;

Utils::Utils(QObject *parent)
    : QObject(parent)
{
    s_instance = this;
}

Utils::~Utils()
{
    s_instance = nullptr;
}

void Utils::create()
{
    auto *utils = new Utils();
    QQmlEngine::setObjectOwnership(utils, QQmlEngine::CppOwnership);
    qmlRegisterSingletonInstance("Pallaster", 1, 0, "Utils", utils);
}

Utils *Utils::instance()
{
    if (!s_instance)
        create();
    return s_instance;
}

QColor Utils::invertColor(const QColor &c)
{
    return QColor(255 - c.red(), 255 - c.green(), 255 - c.blue(), 255);
}

QString Utils::baseName(const QString &filename)
{
    return io::baseName(filename);
}

QString Utils::fileName(const QString &filePath)
{
    return io::fileName(filePath);
}

QString Utils::toLocalPath(const QUrl &url)
{
    return url.toLocalFile();
}

QString Utils::imageProblem(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return tr("Image not found: %1").arg(info.fileName());
    QImageReader reader(path);
    if (reader.canRead() && reader.size().isValid())
        return QString();
    return tr("Cannot read %1: %2").arg(info.fileName(), reader.errorString());
}

QString Utils::safeName(const QString &name)
{
    QString result = name.trimmed();
    for (QChar &ch : result) {
        switch (ch.unicode()) {
        case '?':
        case ':':
        case '/':
        case '\\':
        case '*':
        case '\'':
        case '"':
        case '~':
        case '&':
            ch = QLatin1Char('_');
            break;
        default:
            break;
        }
    }
    return result;
}

QByteArray Utils::nativePath(const QString &path)
{
    return io::nativePath(path);
}

QString Utils::fromNativePath(const char *name)
{
    return io::fromNativePath(name);
}

FileStamp Utils::fileStamp(const QString &path)
{
    return io::fileStamp(path);
}

bool Utils::linkLeavesFolder(const QString &path)
{
    return io::linkLeavesFolder(path);
}

bool Utils::readFile(const QString &path, QByteArray &bytes, FileStamp *stamp)
{
    return io::readFile(path, bytes, stamp);
}

bool Utils::writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    return io::writeFile(path, bytes, error);
}

bool Utils::writeFileInParts(const QString &path, const std::function<bool(QByteArray &)> &next,
                             QString *error)
{
    return io::writeFileInParts(path, next, error);
}

bool Utils::fileExists(const QString &path)
{
    return io::fileExists(path);
}

bool Utils::removeFile(const QString &path)
{
    return io::removeFile(path);
}
