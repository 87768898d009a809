#include "app/imagedecoder.h"

#include <QImageReader>
#include <QRunnable>
#include <QUrl>

#include <atomic>
#include <memory>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

// One request: decoded by a pool thread, handed back to the response's own thread by a queued
// signal. A response cancelled before its turn is never decoded.
class DecodeJob : public QObject, public QRunnable
{
    Q_OBJECT

public:
    DecodeJob(const QString &path, const QSize &size, const QRect &region,
              std::shared_ptr<std::atomic_bool> cancelled)
        : path(path)
        , size(size)
        , region(region)
        , cancelled(std::move(cancelled))
    {
    }

    void run() override
    {
        if (cancelled->load())
            return;
#ifdef Q_OS_LINUX
        // Decoding yields to the GUI thread when they share a core: scrolling stays smooth
        // while images load. Linux gives each thread a nice value of its own.
        static thread_local const bool niced
            = setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 10) == 0;
        Q_UNUSED(niced)
#endif
        QString error;
        const QImage image = ImageDecoder::decode(path, size, &error, region);
        emit done(image, error);
    }

signals:
    void done(const QImage &image, const QString &error);

private:
    const QString path;
    const QSize size;
    const QRect region;
    const std::shared_ptr<std::atomic_bool> cancelled;
};

class DecodeResponse : public QQuickImageResponse
{
    Q_OBJECT

public:
    DecodeResponse(const QString &path, const QSize &size, const QRect &region, QThreadPool *pool)
    {
        auto *job = new DecodeJob(path, size, region, cancelled);
        connect(job, &DecodeJob::done, this, &DecodeResponse::finish, Qt::QueuedConnection);
        pool->start(job);
    }

    QQuickTextureFactory *textureFactory() const override
    {
        return QQuickTextureFactory::textureFactoryForImage(image);
    }
    QString errorString() const override { return error; }
    void cancel() override
    {
        cancelled->store(true);
        emit finished();
    }

private:
    void finish(const QImage &decoded, const QString &message)
    {
        if (cancelled->load())
            return;
        image = decoded;
        error = message;
        emit finished();
    }

    const std::shared_ptr<std::atomic_bool> cancelled = std::make_shared<std::atomic_bool>(false);
    QImage image;
    QString error;
};

} // namespace

ImageDecoder::ImageDecoder()
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
    return new DecodeResponse(path, requestedSize, region, &pool);
}

QImage ImageDecoder::decode(const QString &path, const QSize &requestedSize, QString *error,
                            const QRect &region)
{
    QImageReader reader(path);
    QSize original = reader.size();
    if (region.isValid() && original.isValid()) {
        // A region of a large photo: the decoder reads only that part (JPEG skips the rest).
        const QRect clip = region.intersected(QRect(QPoint(0, 0), original));
        if (clip.isEmpty()) {
            *error = QStringLiteral("%1: region outside the image").arg(path);
            return QImage();
        }
        reader.setClipRect(clip);
        original = clip.size();
    }
    const bool fit = requestedSize.width() > 0 && requestedSize.height() > 0;
    const bool shrink = fit && original.isValid()
        && (original.width() > requestedSize.width() || original.height() > requestedSize.height());
    if (shrink)
        reader.setScaledSize(
            original.scaled(requestedSize, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
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

#include "imagedecoder.moc"
