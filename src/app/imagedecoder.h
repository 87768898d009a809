#pragma once

#include "app/thumbnailcache.h"

#include <QImageIOHandler>
#include <QQuickAsyncImageProvider>
#include <QRect>
#include <QStringList>
#include <QThreadPool>
#include <QTransform>

#include <memory>

class DecodeTable;

// Decodes image files for the window's Image items ("image://decoded/<percent-encoded path>",
// or with "?region=x,y,w,h" after it for that rectangle of the image, in its own pixels),
// on a pool of threads rather than on the GUI thread, and at the size asked for: a requested
// size fits the image into it with its aspect ratio kept and never enlarges it, and JPEG scales
// while it decodes, so a 12 MP photo shown 300 pixels wide never exists at full size.
//
// Sizes a desktop thumbnail holds (up to 256 pixels) come from the thumbnail cache, and are put
// there when they are not. Requests for the same image at the same size share one decoding, and
// the images given to hold() are decoded ahead and kept until a request takes them.
class ImageDecoder : public QQuickAsyncImageProvider
{
public:
    static constexpr const char *providerId = "decoded";

    explicit ImageDecoder(const ThumbnailCache &thumbnails = ThumbnailCache());
    ~ImageDecoder() override;

    QQuickImageResponse *requestImageResponse(const QString &id,
                                              const QSize &requestedSize) override;

    // Decodes the images at `paths` to fit `size` (in pixels, as a request gives it) in the
    // background and keeps them, letting go of those held before that are not among them: the
    // images a key is about to open are then ready when it is pressed.
    void hold(const QStringList &paths, const QSize &size);
    // How many of the images hold() keeps are decoded.
    int heldReady() const;

    // The image at `path`, upright as its EXIF orientation says, fitted into `requestedSize`
    // (when it is valid) without enlarging it. A null image, with `error` set, when the file
    // cannot be read.
    // With a valid `region`, only that rectangle of the upright image (in its pixels) is
    // decoded and fitted.
    static QImage decode(const QString &path, const QSize &requestedSize, QString *error,
                         const QRect &region = QRect());
    // Maps the pixels of a file `stored` large to where they are once turned upright by `turn`.
    static QTransform uprightTransform(QImageIOHandler::Transformations turn, const QSize &stored);

private:
    QThreadPool pool;
    std::shared_ptr<DecodeTable> table;
};
