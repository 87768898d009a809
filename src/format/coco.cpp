#include "format/coco.h"

#include "format/cocoimage.h"
#include "format/fastjson.h"
#include "format/jsonwalk.h"
#include "io/fileio.h"
#include "io/logging.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <array>
#include <functional>
#include <vector>

namespace {

using jsonwalk::Key;
using jsonwalk::Walk;
namespace ondemand = jsonwalk::ondemand;

using CocoImage = coco::ImageEntry;

// A kept annotation: the image id it belongs to and the first four numbers of its "bbox". The
// import collects them in file order, then sorts them by image id, keeping the file order
// within an id: one array instead of a table of growing lists.
struct KeptBox
{
    qint32 imageId = 0;
    std::array<double, 4> box;
};

using KeptBoxes = std::vector<KeptBox>;

using coco::cocoCategory;

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
    io::readFile(path, bytes);
    qCDebug(lcLoad, countFormat, bytes.size());
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        qCDebug(lcLoad, "Error: %d", int(error.error));
    return doc.array();
}

// The images file, each element's "id", "file_name", "width" and "height". The fast reader
// gives up where QJsonDocument might read otherwise; `bytesRead` is the file's size.
bool readImagesFast(const QString &path, QVector<CocoImage> &images, qint64 &bytesRead)
{
    return jsonwalk::forEachElement(path, bytesRead, [&](ondemand::value &element) {
        CocoImage image;
        const bool ok = coco::readImage(element, 1, image);
        images.append(std::move(image));
        return ok;
    });
}

QVector<CocoImage> readImagesReference(const QString &path, const char *countFormat)
{
    QVector<CocoImage> images;
    const QJsonArray array = readArray(path, countFormat);
    images.reserve(array.size());
    for (const QJsonValue &value : array) {
        CocoImage image;
        coco::readImage(value.toObject(), image);
        images.append(image);
    }
    return images;
}

QVector<CocoImage> readImages(const QString &path)
{
    const char *countFormat = "Images file: %d";
    QVector<CocoImage> images;
    qint64 size = 0;
    if (fastjson::mode() == fastjson::Mode::Fast && readImagesFast(path, images, size)) {
        qCDebug(lcLoad, countFormat, int(size));
        return images;
    }
    fastjson::countFallback();
    return readImagesReference(path, countFormat);
}

// The annotations file: `add` gets the "image_id", the "category_id" and the "bbox" numbers
// (all of them, in order; none for a category other than cocoCategory) of every annotation, in
// the order of the file.
using AddAnnotation = std::function<void(qint32, qint32, const QVector<double> &)>;

bool readAnnotationsFast(const QString &path, const AddAnnotation &add, qint64 &bytesRead)
{
    QVector<double> numbers;
    return jsonwalk::forEachElement(path, bytesRead, [&](ondemand::value &element) {
        qint32 imageId = 0, category = 0;
        numbers.clear();
        const bool ok = Walk::forEachMember(element, 1, [&](const Key &key, ondemand::value &v) {
            if (key.is("image_id"))
                return Walk::toInt(v, 2, imageId);
            if (key.is("category_id"))
                return Walk::toInt(v, 2, category);
            if (key.is("bbox")) {
                numbers.clear();
                return Walk::forEachItem(v, 2, [&](ondemand::value &n) {
                    double d;
                    if (!Walk::numberOrDefault(n, 3, d))
                        return false;
                    numbers.append(d);
                    return true;
                });
            }
            return Walk::skip(v, 2);
        });
        if (ok)
            add(imageId, category, category == cocoCategory ? numbers : QVector<double>());
        return ok;
    });
}

void readAnnotationsReference(const QString &path, const char *countFormat,
                              const AddAnnotation &add)
{
    const QJsonArray array = readArray(path, countFormat);
    QVector<double> numbers;
    for (const QJsonValue &value : array) {
        const QJsonObject ann = value.toObject();
        const qint32 imageId = ann.value(QLatin1String("image_id")).toInt();
        const qint32 category = ann.value(QLatin1String("category_id")).toInt();
        numbers.clear();
        if (category != cocoCategory) {
            add(imageId, category, numbers);
            continue;
        }
        const QJsonArray bbox = ann.value(QLatin1String("bbox")).toArray();
        for (const QJsonValue &n : bbox)
            numbers.append(n.toDouble());
        add(imageId, category, numbers);
    }
}

KeptBoxes readAnnotations(const QString &path, int &otherCategory)
{
    const char *countFormat = "Anns file  : %d";
    KeptBoxes kept;
    const auto add = [&](qint32 imageId, qint32 category, const QVector<double> &numbers) {
        if (category == cocoCategory)
            keep(kept, imageId, numbers);
        else
            ++otherCategory;
    };
    qint64 size = 0;
    if (fastjson::mode() == fastjson::Mode::Fast && readAnnotationsFast(path, add, size)) {
        qCDebug(lcLoad, countFormat, int(size));
        return kept;
    }
    fastjson::countFallback();
    kept.clear();
    otherCategory = 0;
    readAnnotationsReference(path, countFormat, add);
    return kept;
}

} // namespace

namespace coco {

QVector<ImportedImage> importPair(const QString &imagesFile, const QString &annsFile,
                                  PairCounts *counts)
{
    PairCounts ignored;
    PairCounts &count = counts ? *counts : ignored;
    count = PairCounts();
    const QVector<CocoImage> cocoImages = readImages(imagesFile);
    KeptBoxes kept = readAnnotations(annsFile, count.otherCategory);
    std::stable_sort(kept.begin(), kept.end(),
                     [](const KeptBox &a, const KeptBox &b) { return a.imageId < b.imageId; });

    QVector<ImportedImage> imported;
    QVector<BoxInfo> boxes;
    for (const CocoImage &image : cocoImages) {
        const qint32 width = image.width, height = image.height;
        boxes.clear();
        const auto range = std::equal_range(
            kept.cbegin(), kept.cend(), KeptBox{image.id, {}},
            [](const KeptBox &a, const KeptBox &b) { return a.imageId < b.imageId; });
        // Without a positive size the normalised values would be inf or nan.
        if (width <= 0 || height <= 0) {
            count.outsideLimits += int(range.second - range.first);
        } else {
            const double area = double(width) * double(height);
            for (auto it = range.first; it != range.second; ++it) {
                const double x = it->box[0], y = it->box[1], w = it->box[2], h = it->box[3];
                const double boxArea = w * h;
                if (w > h * 1.5 || area / 10 > boxArea || boxArea > (area / 3) * 2) {
                    ++count.outsideLimits;
                    continue;
                }
                boxes.append(BoxInfo{cocoCategory, (w * 0.5 + x) / double(width),
                                     (h * 0.5 + y) / double(height), w / double(width),
                                     h / double(height)});
            }
        }
        if (boxes.isEmpty())
            continue;
        ImportedImage kept;
        static_cast<ImageEntry &>(kept) = image;
        kept.boxes = boxes;
        imported.append(std::move(kept));
    }
    return imported;
}

} // namespace coco
