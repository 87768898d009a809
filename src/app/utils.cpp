#include "utils.h"

#include <QFile>
#include <QFileInfo>
#include <QQmlEngine>
#include <QSaveFile>

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
    // Same result as splitting at every dot and joining all parts but the last.
    const int dot = filename.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? filename : filename.left(dot);
}

QString Utils::fileName(const QString &filePath)
{
    return QFileInfo(filePath).fileName();
}

QString Utils::toLocalPath(const QUrl &url)
{
    return url.toLocalFile();
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

bool Utils::readFile(const QString &path, QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    const qint64 size = file.size();
    if (size > maxReadSize)
        return false;
    QByteArray content;
    if (size > 0) {
        // Regular file: one read of the size it has now.
        content.resize(int(size));
        const qint64 got = file.read(content.data(), size);
        if (got < 0)
            return false;
        content.resize(int(got));
    } else {
        // Size unknown (pipes, /proc files): read until the end, within the same bound.
        char chunk[65536];
        for (;;) {
            const qint64 got = file.read(chunk, sizeof chunk);
            if (got < 0)
                return false;
            if (got == 0)
                break;
            if (qint64(content.size()) + got > maxReadSize)
                return false;
            content.append(chunk, int(got));
        }
    }
    if (file.error() != QFileDevice::NoError)
        return false;
    bytes = content;
    return true;
}

bool Utils::writeFile(const QString &path, const QByteArray &bytes)
{
    // The new content goes to a temporary file that replaces the old one only once it is
    // complete, so a full disk or a crash never leaves a half-written file behind.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool Utils::fileExists(const QString &path)
{
    return QFileInfo::exists(path);
}

bool Utils::removeFile(const QString &path)
{
    return QFile::remove(path);
}
