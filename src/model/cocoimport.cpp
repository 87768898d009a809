#include "model/imagelist.h"

#include "app/utils.h"
#include "model/fastjson.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <array>
#include <vector>

namespace {

// A kept annotation: the image id it belongs to and the first four numbers of its "bbox". The
// import collects them in file order, then sorts them by image id, keeping the file order
// within an id: one array instead of a table of growing lists.
struct KeptBox
{
    qint32 imageId = 0;
    std::array<double, 4> box;
};

using KeptBoxes = std::vector<KeptBox>;

// Only annotations of this category are kept.
constexpr qint32 cocoCategory = 1;

void keep(KeptBoxes &kept, qint32 imageId, const QVector<double> &numbers)
{
    // Four numbers make a box; a shorter entry has nothing sound to give.
    if (numbers.size() < 4)
        return;
    kept.push_back({imageId, {numbers[0], numbers[1], numbers[2], numbers[3]}});
}

// The reference reading: the whole file through QJsonDocument, logging its size and any error.
QJsonArray readArray(const QString &path, const char *countFormat)
{
    QByteArray bytes;
    Utils::instance()->readFile(path, bytes);
    qDebug(countFormat, bytes.size());
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        qDebug("Error: %d", int(error.error));
    return doc.array();
}

QVector<fastjson::CocoImage> readImages(const QString &path)
{
    const char *countFormat = "Images file: %d";
    QVector<fastjson::CocoImage> images;
    qint64 size = 0;
    if (fastjson::readCocoImages(path, images, size)) {
        qDebug(countFormat, int(size));
        return images;
    }
    fastjson::countFallback();
    images.clear();
    const QJsonArray array = readArray(path, countFormat);
    images.reserve(array.size());
    for (const QJsonValue &value : array) {
        const QJsonObject object = value.toObject();
        fastjson::CocoImage image;
        image.id = object.value(QLatin1String("id")).toInt();
        image.fileName = object.value(QLatin1String("file_name")).toString();
        image.width = object.value(QLatin1String("width")).toInt();
        image.height = object.value(QLatin1String("height")).toInt();
        images.append(image);
    }
    return images;
}

KeptBoxes readAnnotations(const QString &path)
{
    const char *countFormat = "Anns file  : %d";
    KeptBoxes kept;
    const auto add
        = [&kept](qint32 imageId, const QVector<double> &numbers) { keep(kept, imageId, numbers); };
    qint64 size = 0;
    if (fastjson::readCocoAnnotations(path, add, size)) {
        qDebug(countFormat, int(size));
        return kept;
    }
    fastjson::countFallback();
    kept.clear();
    const QJsonArray array = readArray(path, countFormat);
    QVector<double> numbers;
    for (const QJsonValue &value : array) {
        const QJsonObject ann = value.toObject();
        const qint32 imageId = ann.value(QLatin1String("image_id")).toInt();
        if (ann.value(QLatin1String("category_id")).toInt() != cocoCategory)
            continue;
        numbers.clear();
        const QJsonArray bbox = ann.value(QLatin1String("bbox")).toArray();
        for (const QJsonValue &n : bbox)
            numbers.append(n.toDouble());
        keep(kept, imageId, numbers);
    }
    return kept;
}

} // namespace

QString ImageList::cocoImageDir()
{
    return QStringLiteral(PALLASTER_COCO_IMAGE_DIR);
}

void ImageList::loadCocoJson(const QString &imagesFile, const QString &annsFile)
{
    loadCocoJsonFromDir(imagesFile, annsFile, cocoImageDir());
}

void ImageList::loadCocoJsonFromDir(const QString &imagesFile, const QString &annsFile,
                                    const QString &imageDir)
{
    Utils *utils = Utils::instance();
    const QVector<fastjson::CocoImage> cocoImages = readImages(imagesFile);
    KeptBoxes kept = readAnnotations(annsFile);
    std::stable_sort(kept.begin(), kept.end(),
                     [](const KeptBox &a, const KeptBox &b) { return a.imageId < b.imageId; });

    beginResetModel();
    images.clear();
    QVector<BoxInfo> boxes;
    for (const fastjson::CocoImage &image : cocoImages) {
        const qint32 width = image.width, height = image.height;
        boxes.clear();
        // Without a positive size the normalised values would be inf or nan.
        if (width > 0 && height > 0) {
            const auto range = std::equal_range(
                kept.cbegin(), kept.cend(), KeptBox{image.id, {}},
                [](const KeptBox &a, const KeptBox &b) { return a.imageId < b.imageId; });
            const double area = double(width) * double(height);
            for (auto it = range.first; it != range.second; ++it) {
                const double x = it->box[0], y = it->box[1], w = it->box[2], h = it->box[3];
                const double boxArea = w * h;
                if (w > h * 1.5)
                    continue;
                if (area / 10 > boxArea)
                    continue;
                if (boxArea > (area / 3) * 2)
                    continue;
                boxes.append({cocoCategory, (w * 0.5 + x) / double(width),
                              (h * 0.5 + y) / double(height), w / double(width),
                              h / double(height)});
            }
        }
        // An image without boxes is left out whether its file exists or not, so only the
        // others need to be looked for.
        if (boxes.isEmpty())
            continue;
        const QString path = imageDir + QLatin1Char('/') + image.fileName;
        if (!utils->fileExists(path))
            continue;

        auto info = std::make_shared<ImageInfo>();
        info->id = image.id;
        info->fileName = image.fileName;
        info->filePath = path;
        info->width = width;
        info->height = height;
        info->bboxes = std::make_unique<BBoxList>();
        info->bboxes->appendBoxes(boxes);
        addImage(std::move(info));
    }
    endResetModel();
    qDebug("Loaded %d images", images.size());
    emit readFileCompleted();
}
