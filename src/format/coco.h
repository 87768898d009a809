#pragma once

// The COCO-style import: an images file and an annotations file, each a JSON array, read with the
// streaming JSON walk (QJsonDocument where that gives up) into plain records.

#include "format/boxinfo.h"

#include <QString>
#include <QVector>

namespace coco {

// Only annotations of this category are kept.
constexpr qint32 cocoCategory = 1;

// An element of a COCO images list.
struct ImageEntry
{
    qint32 id = 0;
    QString fileName;
    qint32 width = 0;
    qint32 height = 0;
};

// One image of the images file with the boxes kept for it, normalised by its size.
struct ImportedImage : ImageEntry
{
    QVector<BoxInfo> boxes;
};

// Annotations of the pair that the import leaves out: of another category than cocoCategory,
// and of cocoCategory but outside the limits of shape and size (or of an image without a size).
struct PairCounts
{
    int otherCategory = 0;
    int outsideLimits = 0;
};

// The images of the images file that keep at least one box, in the file's order: boxes of
// cocoCategory whose shape and share of the image are within the import's limits, in the order
// of the annotations file. An image without a positive size keeps none.
QVector<ImportedImage> importPair(const QString &imagesFile, const QString &annsFile,
                                  PairCounts *counts = nullptr);

} // namespace coco
