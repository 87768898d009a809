#include "app/thumbnailcache.h"

#include "io/fileio.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryFile>
#include <QUrl>

#ifdef Q_OS_UNIX
#include <cstdio>
#include <sys/stat.h>
#endif

namespace {

const char uriKey[] = "Thumb::URI";
const char mtimeKey[] = "Thumb::MTime";
const char softwareKey[] = "Software";
const char software[] = "Pallaster";
// Marks the thumbnails of photos turned upright as their EXIF orientation says. Thumbnails this
// program wrote before it did so lack it, and are made again.
const char uprightKey[] = "X-Pallaster-Upright";

QString subfolder(int edge)
{
    switch (edge) {
    case ThumbnailCache::normalEdge:
        return QStringLiteral("normal");
    case ThumbnailCache::largeEdge:
        return QStringLiteral("large");
    default:
        return QStringLiteral("x-large");
    }
}

// A folder of the cache, made private to the user as the desktop's thumbnailers make them.
bool makePrivateFolder(const QString &path)
{
    if (QFileInfo(path).isDir())
        return true;
#ifdef Q_OS_UNIX
    return ::mkdir(io::nativePath(path).constData(), 0700) == 0 || QFileInfo(path).isDir();
#else
    return QDir().mkdir(path);
#endif
}

} // namespace

ThumbnailCache::ThumbnailCache(const QString &root)
    : folder(QDir::cleanPath(root))
{
}

QString ThumbnailCache::defaultRoot()
{
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!QDir::isAbsolutePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/thumbnails");
}

int ThumbnailCache::edgeFor(const QSize &requested)
{
    if (requested.width() <= 0 || requested.height() <= 0)
        return 0;
    const int side = qMax(requested.width(), requested.height());
    for (const int edge : {normalEdge, largeEdge, xLargeEdge}) {
        if (side <= edge)
            return edge;
    }
    return 0;
}

QByteArray ThumbnailCache::uriOf(const QString &path)
{
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded();
}

qint64 ThumbnailCache::modificationTime(const QString &path)
{
    const io::FileStamp stamp = io::fileStamp(path);
    if (stamp.size < 0)
        return -1;
    // Whole seconds, rounded down as stat's st_mtime is.
    const qint64 ns = stamp.modifiedNs;
    return ns >= 0 ? ns / 1000000000 : -((-ns + 999999999) / 1000000000);
}

QString ThumbnailCache::thumbnailPath(const QString &path, int edge) const
{
    const QByteArray md5 = QCryptographicHash::hash(uriOf(path), QCryptographicHash::Md5).toHex();
    return QStringLiteral("%1/%2/%3.png").arg(folder, subfolder(edge), QString::fromLatin1(md5));
}

bool ThumbnailCache::inside(const QString &path) const
{
    return QFileInfo(path).absoluteFilePath().startsWith(folder + QLatin1Char('/'));
}

QImage ThumbnailCache::find(const QString &path, int edge, qint64 mtime) const
{
    if (mtime < 0 || inside(path))
        return QImage();
    QImageReader reader(thumbnailPath(path, edge), "png");
    QImage image = reader.read();
    if (image.isNull())
        return image;
    // Some writers put the text after the pixels; the image has it either way once read.
    // The time is a whole number of seconds, though a few writers add a fraction.
    bool whole = false;
    const QString stamp = image.text(QLatin1String(mtimeKey));
    qint64 seconds = stamp.toLongLong(&whole);
    if (!whole)
        seconds = qint64(stamp.toDouble(&whole));
    if (!whole || seconds != mtime || image.text(QLatin1String(uriKey)).toUtf8() != uriOf(path))
        return QImage();
    if (image.text(QLatin1String(softwareKey)) == QLatin1String(software)
        && image.text(QLatin1String(uprightKey)).isEmpty())
        return QImage();
    return image;
}

bool ThumbnailCache::store(const QString &path, int edge, qint64 mtime,
                           const QImage &thumbnail) const
{
    if (thumbnail.isNull() || mtime < 0 || inside(path))
        return false;
    const QString target = thumbnailPath(path, edge);
    const QString parent = QFileInfo(folder).path();
    if (!QFileInfo(parent).isDir() && !QDir().mkpath(parent))
        return false;
    if (!makePrivateFolder(folder) || !makePrivateFolder(QFileInfo(target).path()))
        return false;

    QImage image = thumbnail;
    image.setText(QLatin1String(uriKey), QString::fromUtf8(uriOf(path)));
    image.setText(QLatin1String(mtimeKey), QString::number(mtime));
    image.setText(QLatin1String(softwareKey), QLatin1String(software));
    image.setText(QLatin1String(uprightKey), QStringLiteral("1"));
    // Readers see the old thumbnail or the new one whole, never a part of it. A temporary file
    // is made readable by its owner alone.
    QTemporaryFile file(target + QStringLiteral(".XXXXXX"));
    if (!file.open())
        return false;
    QImageWriter writer(&file, "png");
    // Small files read back fast; thumbnails are many and tiny, their compression cheap.
    writer.setCompression(1);
    if (!writer.write(image) || !file.flush())
        return false;
    file.close();
#ifdef Q_OS_UNIX
    if (::rename(io::nativePath(file.fileName()).constData(), io::nativePath(target).constData())
        != 0)
        return false;
#else
    QFile::remove(target);
    if (!file.rename(target))
        return false;
#endif
    file.setAutoRemove(false);
    return true;
}
