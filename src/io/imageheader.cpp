#include "io/imageheader.h"

#include "io/fileio.h"

#include <QImageReader>

#include <cstring>

namespace {

quint16 big16(const uchar *p)
{
    return quint16(p[0] << 8 | p[1]);
}

quint32 big32(const uchar *p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

// The orientation tag of an Exif block (after "Exif\0\0"): 1 to 8, 1 when there is none.
int exifOrientation(const uchar *tiff, int size)
{
    if (size < 8)
        return 1;
    const bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M'))
        return 1;
    const auto u16
        = [&](int at) { return little ? quint16(tiff[at] | tiff[at + 1] << 8) : big16(tiff + at); };
    const auto u32 = [&](int at) {
        return little ? quint32(tiff[at]) | quint32(tiff[at + 1]) << 8 | quint32(tiff[at + 2]) << 16
                | quint32(tiff[at + 3]) << 24
                      : big32(tiff + at);
    };
    const quint32 ifd = u32(4);
    if (ifd + 2 > quint32(size))
        return 1;
    const int entries = u16(int(ifd));
    for (int i = 0; i < entries; ++i) {
        const quint32 at = ifd + 2 + quint32(i) * 12;
        if (at + 12 > quint32(size))
            break;
        if (u16(int(at)) == 0x0112) {
            const int value = u16(int(at) + 8);
            return value >= 1 && value <= 8 ? value : 1;
        }
    }
    return 1;
}

// A JPEG's frame size from its SOF segment, walking the segments before it.
QSize jpegSize(io::FileReader &file)
{
    uchar buffer[4096];
    qint64 offset = 2;
    int orientation = 1;
    for (int segments = 0; segments < 256; ++segments) {
        const qint64 got = file.readAt(reinterpret_cast<char *>(buffer), sizeof buffer, offset);
        if (got < 4 || buffer[0] != 0xFF)
            return QSize();
        const uchar marker = buffer[1];
        if (marker == 0xFF) { // fill byte
            ++offset;
            continue;
        }
        const int length = big16(buffer + 2);
        if (length < 2)
            return QSize();
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8
            && marker != 0xCC;
        if (frame) {
            if (got < 9)
                return QSize();
            const QSize size(big16(buffer + 7), big16(buffer + 5));
            if (size.isEmpty())
                return QSize();
            return orientation >= 5 ? size.transposed() : size;
        }
        if (marker == 0xE1 && got >= 10 && std::memcmp(buffer + 4, "Exif\0\0", 6) == 0)
            orientation = exifOrientation(buffer + 10, int(qMin<qint64>(got, length + 2) - 10));
        if (marker == 0xD9 || marker == 0xDA) // end, or scan data before any frame
            return QSize();
        offset += 2 + length;
    }
    return QSize();
}

} // namespace

namespace io {

QSize headerSize(const QString &path)
{
    FileReader file(path);
    uchar head[32];
    const qint64 got = file.isOpen() ? file.readAt(reinterpret_cast<char *>(head), 32, 0) : -1;
    if (got >= 4 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
        return jpegSize(file);
    if (got >= 24 && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0
        && std::memcmp(head + 12, "IHDR", 4) == 0) {
        const QSize size(int(big32(head + 16)), int(big32(head + 20)));
        return size.width() > 0 && size.height() > 0 ? size : QSize();
    }
    if (got <= 0)
        return QSize();
    return imageSize(path);
}

} // namespace io
