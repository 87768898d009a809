#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// Thumbnails kept on disk where the desktop keeps them, so that a folder seen before (by this
// program or by a file manager) shows at once: $XDG_CACHE_HOME/thumbnails/normal (128 pixels),
// large (256 pixels) and x-large (512 pixels), each a PNG named by the MD5 of the file's URI and
// carrying that URI and the file's modification time. A thumbnail made for an older version of the
// file is made again; one made by another program is used as it is. Nothing here is fatal: a cache
// that cannot be read or written only costs the time of decoding the photo.
//
// Every member may be called from any thread; none keeps state besides the folder.
class ThumbnailCache
{
public:
    static constexpr int normalEdge = 128;
    static constexpr int largeEdge = 256;
    static constexpr int xLargeEdge = 512;

    // `root` is the "thumbnails" folder itself.
    explicit ThumbnailCache(const QString &root = defaultRoot());

    // $XDG_CACHE_HOME/thumbnails, or ~/.cache/thumbnails when that is not set.
    static QString defaultRoot();
    // The edge of the smallest kept size that holds `requested` whole; 0 when none does (or no
    // size is asked for), and the photo is decoded instead.
    static int edgeFor(const QSize &requested);
    // The file's URI as thumbnails are keyed by: file:// and its absolute path, percent-encoded.
    static QByteArray uriOf(const QString &path);
    // The file's modification time in whole seconds, as stat gives it; -1 when it is missing.
    static qint64 modificationTime(const QString &path);

    QString root() const { return folder; }
    // Where the thumbnail of `path` of `edge` pixels is kept.
    QString thumbnailPath(const QString &path, int edge) const;

    // The kept thumbnail of `path`, when one was made for the file as it is (modified at
    // `mtime`); a null image otherwise.
    QImage find(const QString &path, int edge, qint64 mtime) const;
    // Keeps `thumbnail`, which fits into `edge` pixels, for the file at `path` modified at
    // `mtime`: written under a temporary name beside its place and then renamed, readable by the
    // user alone. False when it could not be kept.
    bool store(const QString &path, int edge, qint64 mtime, const QImage &thumbnail) const;

private:
    // Whether `path` is in the cache itself: thumbnails get no thumbnails.
    bool inside(const QString &path) const;

    QString folder;
};
