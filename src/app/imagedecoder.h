#pragma once

#include <QQuickAsyncImageProvider>
#include <QThreadPool>

// Decodes image files for the window's Image items ("image://decoded/<percent-encoded path>"),
// on a pool of threads rather than on the GUI thread, and at the size asked for: a requested
// size fits the image into it with its aspect ratio kept and never enlarges it, and JPEG scales
// while it decodes, so a 12 MP photo shown 300 pixels wide never exists at full size.
class ImageDecoder : public QQuickAsyncImageProvider
{
public:
    static constexpr const char *providerId = "decoded";

    ImageDecoder();
    ~ImageDecoder() override;

    QQuickImageResponse *requestImageResponse(const QString &id,
                                              const QSize &requestedSize) override;

    // The image at `path`, fitted into `requestedSize` (when it is valid) without enlarging it.
    // A null image, with `error` set, when the file cannot be read.
    static QImage decode(const QString &path, const QSize &requestedSize, QString *error);

private:
    QThreadPool pool;
};
