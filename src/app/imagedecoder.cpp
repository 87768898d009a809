#include "app/imagedecoder.h"

#include <QHash>
#include <QImageReader>
#include <QMutex>
#include <QRunnable>
#include <QSet>
#include <QUrl>
#include <QVector>

#include <atomic>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

class DecodeResponse;

// One decoding of an image at one size, shared by every request for it that comes while it
// runs; kept once done while it is held.
struct Decoding
{
    QString key;
    QString path;
    QSize size;
    QRect region;
    // The rest is guarded by the table's mutex, but for `cancelled`.
    bool done = false;
    bool held = false;
    QImage image;
    QString error;
    QVector<DecodeResponse *> waiting;
    std::atomic_bool cancelled{false};
};

QString keyOf(const QString &path, const QRect &region, const QSize &size)
{
    return QStringLiteral("%1|%2,%3,%4,%5|%6x%7")
        .arg(path)
        .arg(region.x())
        .arg(region.y())
        .arg(region.width())
        .arg(region.height())
        .arg(size.width())
        .arg(size.height());
}

// Shrinks `image` to fit `size`, when it is larger.
QImage fitted(const QImage &image, const QSize &size)
{
    if (image.isNull() || size.width() <= 0 || size.height() <= 0
        || (image.width() <= size.width() && image.height() <= size.height()))
        return image;
    return image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace

// The decodings under way and the ones held, by image and size.
class DecodeTable
{
public:
    explicit DecodeTable(const ThumbnailCache &thumbnails)
        : thumbnails(thumbnails)
    {
    }

    QMutex mutex;
    QHash<QString, std::shared_ptr<Decoding>> decodings;
    const ThumbnailCache thumbnails;

    // Drops `decoding` from the table when it is the one there; called with the mutex held.
    void forget(const std::shared_ptr<Decoding> &decoding)
    {
        auto it = decodings.find(decoding->key);
        if (it != decodings.end() && it.value() == decoding)
            decodings.erase(it);
    }
};

namespace {

class DecodeResponse : public QQuickImageResponse
{
    Q_OBJECT

public:
    DecodeResponse(std::shared_ptr<DecodeTable> table)
        : table(std::move(table))
    {
    }
    ~DecodeResponse() override { leave(); }

    // Waits for `decoding`, or takes its image at once; called with the table's mutex held.
    void attach(const std::shared_ptr<Decoding> &decoding)
    {
        if (decoding->done) {
            QMetaObject::invokeMethod(this, "finish", Qt::QueuedConnection,
                                      Q_ARG(QImage, decoding->image),
                                      Q_ARG(QString, decoding->error));
            return;
        }
        this->decoding = decoding;
        decoding->waiting.append(this);
    }

    QQuickTextureFactory *textureFactory() const override
    {
        return QQuickTextureFactory::textureFactoryForImage(image);
    }
    QString errorString() const override { return error; }
    void cancel() override
    {
        leave();
        cancelled = true;
        emit finished();
    }

    Q_INVOKABLE void finish(const QImage &decoded, const QString &message)
    {
        {
            QMutexLocker lock(&table->mutex);
            decoding.reset();
        }
        if (cancelled)
            return;
        image = decoded;
        error = message;
        emit finished();
    }

private:
    // No longer waits; a decoding nobody waits for nor holds is not started.
    void leave()
    {
        QMutexLocker lock(&table->mutex);
        if (!decoding)
            return;
        decoding->waiting.removeOne(this);
        if (decoding->waiting.isEmpty() && !decoding->held && !decoding->done) {
            decoding->cancelled = true;
            table->forget(decoding);
        }
        decoding.reset();
    }

    const std::shared_ptr<DecodeTable> table;
    std::shared_ptr<Decoding> decoding;
    bool cancelled = false;
    QImage image;
    QString error;
};

// Decodes one image on a pool thread and hands it to whoever waits for it; a decoding that no
// one waits for any longer is never started. Sizes a thumbnail holds come from the thumbnail
// cache, and are written to it, after the waiting have their image, when they were not there.
class DecodeJob : public QRunnable
{
public:
    DecodeJob(std::shared_ptr<DecodeTable> table, std::shared_ptr<Decoding> decoding)
        : table(std::move(table))
        , decoding(std::move(decoding))
    {
    }

    void run() override
    {
        if (decoding->cancelled.load())
            return;
#ifdef Q_OS_LINUX
        // Decoding yields to the GUI thread when they share a core: scrolling stays smooth
        // while images load. Linux gives each thread a nice value of its own.
        static thread_local const bool niced
            = setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 10) == 0;
        Q_UNUSED(niced)
#endif
        const QString &path = decoding->path;
        const int edge = decoding->region.isValid() ? 0 : ThumbnailCache::edgeFor(decoding->size);
        QString error;
        QImage image, made;
        qint64 mtime = -1;
        if (edge > 0) {
            mtime = ThumbnailCache::modificationTime(path);
            // The smallest kept size that holds the request; a larger one kept by another
            // program does too.
            for (int kept = edge; kept <= ThumbnailCache::xLargeEdge && image.isNull(); kept *= 2)
                image = table->thumbnails.find(path, kept, mtime);
            if (image.isNull()) {
                made = ImageDecoder::decode(path, QSize(edge, edge), &error);
                image = made;
            }
            image = fitted(image, decoding->size);
        } else {
            image = ImageDecoder::decode(path, decoding->size, &error, decoding->region);
        }
        {
            QMutexLocker lock(&table->mutex);
            decoding->done = true;
            decoding->image = image;
            decoding->error = error;
            for (DecodeResponse *response : qAsConst(decoding->waiting))
                QMetaObject::invokeMethod(response, "finish", Qt::QueuedConnection,
                                          Q_ARG(QImage, image), Q_ARG(QString, error));
            decoding->waiting.clear();
            if (!decoding->held)
                table->forget(decoding);
        }
        if (!made.isNull())
            table->thumbnails.store(path, edge, mtime, made);
    }

private:
    const std::shared_ptr<DecodeTable> table;
    const std::shared_ptr<Decoding> decoding;
};

} // namespace

ImageDecoder::ImageDecoder(const ThumbnailCache &thumbnails)
    : table(std::make_shared<DecodeTable>(thumbnails))
{
    // The GUI thread keeps a core of its own where there are more than two.
    pool.setMaxThreadCount(qMax(2, QThread::idealThreadCount() - 1));
}

ImageDecoder::~ImageDecoder()
{
    pool.clear();
    pool.waitForDone();
}

QQuickImageResponse *ImageDecoder::requestImageResponse(const QString &id,
                                                        const QSize &requestedSize)
{
    // A region comes after the (percent-encoded, so "?"-free) path.
    QString encoded = id;
    QRect region;
    const int query = id.lastIndexOf(QLatin1String("?region="));
    if (query >= 0) {
        const QStringList values = id.mid(query + 8).split(QLatin1Char(','));
        if (values.size() == 4)
            region
                = QRect(values[0].toInt(), values[1].toInt(), values[2].toInt(), values[3].toInt());
        encoded.truncate(query);
    }
    QString path = QUrl::fromPercentEncoding(encoded.toUtf8());
#ifdef Q_OS_WIN
    // Image paths are kept with a "/" in front, which goes before a drive letter on Windows.
    if (path.size() > 2 && path.at(0) == QLatin1Char('/') && path.at(2) == QLatin1Char(':'))
        path.remove(0, 1);
#endif
    auto *response = new DecodeResponse(table);
    const QString key = keyOf(path, region, requestedSize);
    QMutexLocker lock(&table->mutex);
    std::shared_ptr<Decoding> &decoding = table->decodings[key];
    const bool start = !decoding;
    if (start) {
        decoding = std::make_shared<Decoding>();
        decoding->key = key;
        decoding->path = path;
        decoding->size = requestedSize;
        decoding->region = region;
    }
    response->attach(decoding);
    if (start)
        pool.start(new DecodeJob(table, decoding));
    return response;
}

void ImageDecoder::hold(const QStringList &paths, const QSize &size)
{
    QSet<QString> keys;
    for (const QString &path : paths) {
        if (!path.isEmpty())
            keys.insert(keyOf(path, QRect(), size));
    }
    QMutexLocker lock(&table->mutex);
    for (auto it = table->decodings.begin(); it != table->decodings.end();) {
        const std::shared_ptr<Decoding> &decoding = it.value();
        if (!decoding->held || keys.contains(it.key())) {
            ++it;
            continue;
        }
        decoding->held = false;
        if (decoding->done || decoding->waiting.isEmpty()) {
            decoding->cancelled = true;
            it = table->decodings.erase(it);
        } else {
            ++it;
        }
    }
    for (const QString &key : qAsConst(keys)) {
        std::shared_ptr<Decoding> &decoding = table->decodings[key];
        if (decoding) {
            decoding->held = true;
            continue;
        }
        decoding = std::make_shared<Decoding>();
        decoding->key = key;
        decoding->path = key.left(key.indexOf(QLatin1Char('|')));
        decoding->size = size;
        decoding->held = true;
        // After the pictures asked for on screen.
        pool.start(new DecodeJob(table, decoding), -1);
    }
}

int ImageDecoder::heldReady() const
{
    QMutexLocker lock(&table->mutex);
    int count = 0;
    for (const std::shared_ptr<Decoding> &decoding : qAsConst(table->decodings))
        count += decoding->held && decoding->done ? 1 : 0;
    return count;
}

QImage ImageDecoder::decode(const QString &path, const QSize &requestedSize, QString *error,
                            const QRect &region)
{
    // Photos are shown upright, as their EXIF orientation says and as file managers and
    // training pipelines read them; sizes and regions are of the upright picture.
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImageIOHandler::Transformations turn = reader.transformation();
    const bool transposed = turn & QImageIOHandler::TransformationRotate90;
    const QSize stored = reader.size();
    QSize original = transposed ? stored.transposed() : stored;
    if (region.isValid() && original.isValid()) {
        // A region of a large photo: the decoder reads only that part (JPEG skips the rest).
        // The reader cuts the file's pixels, before turning them upright.
        const QRect shown = region.intersected(QRect(QPoint(0, 0), original));
        if (shown.isEmpty()) {
            *error = QStringLiteral("%1: region outside the image").arg(path);
            return QImage();
        }
        const QRect clip = uprightTransform(turn, stored)
                               .inverted()
                               .mapRect(QRectF(shown))
                               .toAlignedRect()
                               .intersected(QRect(QPoint(0, 0), stored));
        reader.setClipRect(clip);
        original = shown.size();
    }
    const bool fit = requestedSize.width() > 0 && requestedSize.height() > 0;
    const bool shrink = fit && original.isValid()
        && (original.width() > requestedSize.width() || original.height() > requestedSize.height());
    if (shrink) {
        const QSize scaled
            = original.scaled(requestedSize, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        reader.setScaledSize(transposed ? scaled.transposed() : scaled);
    }
    QImage image = reader.read();
    if (image.isNull()) {
        *error = QStringLiteral("%1: %2").arg(path, reader.errorString());
        return image;
    }
    // A format whose size is known only once it is read is shrunk afterwards.
    if (fit && !original.isValid()
        && (image.width() > requestedSize.width() || image.height() > requestedSize.height()))
        image = image.scaled(requestedSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

QTransform ImageDecoder::uprightTransform(QImageIOHandler::Transformations turn,
                                          const QSize &stored)
{
    // As the reader turns a picture: mirrored and flipped first, then turned a quarter clockwise.
    const qreal w = stored.width(), h = stored.height();
    QTransform transform;
    if (turn & QImageIOHandler::TransformationMirror)
        transform *= QTransform(-1, 0, 0, 1, w, 0);
    if (turn & QImageIOHandler::TransformationFlip)
        transform *= QTransform(1, 0, 0, -1, 0, h);
    if (turn & QImageIOHandler::TransformationRotate90)
        transform *= QTransform(0, 1, -1, 0, h, 0);
    return transform;
}

#include "imagedecoder.moc"
