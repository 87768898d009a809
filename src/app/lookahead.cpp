#include "app/lookahead.h"

#include "app/imagedecoder.h"
#include "dataset/imagelist.h"

#include <QQmlEngine>

Lookahead::Lookahead(QObject *parent)
    : QObject(parent)
{
}

Lookahead::~Lookahead() = default;

void Lookahead::setRows(const QVariantList &rows)
{
    if (wanted == rows)
        return;
    wanted = rows;
    emit rowsChanged();
    apply();
}

void Lookahead::setSize(const QSize &size)
{
    if (decodeSize == size)
        return;
    decodeSize = size;
    emit sizeChanged();
    apply();
}

ImageDecoder *Lookahead::decoder() const
{
    QQmlEngine *engine = qmlEngine(this);
    if (!engine)
        return nullptr;
    return dynamic_cast<ImageDecoder *>(
        engine->imageProvider(QLatin1String(ImageDecoder::providerId)));
}

int Lookahead::readyCount() const
{
    const ImageDecoder *images = decoder();
    return images ? images->heldReady() : 0;
}

void Lookahead::apply()
{
    ImageDecoder *images = decoder();
    if (!images)
        return;
    QStringList paths;
    if (decodeSize.width() > 0 && decodeSize.height() > 0 && ImageList::hasInstance()) {
        for (const QVariant &row : qAsConst(wanted)) {
            if (const auto info = ImageList::instance()->imageAt(row.toInt()))
                paths << info->filePath;
        }
    }
    images->hold(paths, decodeSize);
}
