#pragma once

#include <QSize>
#include <QString>

namespace io {

// The size of the image at `path` as its header gives it, upright as its EXIF orientation says,
// without decoding it: JPEG and PNG headers are read here (a few small reads), other formats
// through QImageReader. Invalid when the file cannot be read as an image.
QSize headerSize(const QString &path);

} // namespace io
