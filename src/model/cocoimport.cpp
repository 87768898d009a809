#include "model/imagelist.h"

#include "app/utils.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace {

struct Annotation
{
    qint32 imageId = 0;
    qint32 catId = 0;
    QList<QList<double>> bboxes;
};

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
    const QJsonArray imagesArray = readArray(imagesFile, "Images file: %d");
    const QJsonArray annsArray = readArray(annsFile, "Anns file  : %d");

    QHash<qint32, std::shared_ptr<Annotation>> byImage;
    for (const QJsonValue &value : annsArray) {
        const QJsonObject ann = value.toObject();
        const qint32 imageId = ann.value(QLatin1String("image_id")).toInt();
        if (ann.value(QLatin1String("category_id")).toInt() != 1)
            continue;
        const QJsonArray bbox = ann.value(QLatin1String("bbox")).toArray();
        // Four numbers make a box; a shorter entry has nothing sound to give.
        if (bbox.size() < 4)
            continue;
        QList<double> numbers;
        numbers.reserve(bbox.size());
        for (const QJsonValue &n : bbox)
            numbers.append(n.toDouble());
        std::shared_ptr<Annotation> &annotation = byImage[imageId];
        if (!annotation) {
            annotation = std::make_shared<Annotation>();
            annotation->imageId = imageId;
            annotation->catId = 1;
        }
        annotation->bboxes.append(numbers);
    }

    beginResetModel();
    images.clear();
    for (const QJsonValue &value : imagesArray) {
        const QJsonObject image = value.toObject();
        const qint32 id = image.value(QLatin1String("id")).toInt();
        const QString fileName = image.value(QLatin1String("file_name")).toString();
        const QString path = QStringLiteral("%1/%2").arg(imageDir, fileName);
        if (!utils->fileExists(path))
            continue;
        const qint32 width = image.value(QLatin1String("width")).toInt();
        const qint32 height = image.value(QLatin1String("height")).toInt();

        auto boxes = std::make_unique<BBoxList>();
        const std::shared_ptr<Annotation> annotation = byImage.value(id);
        // Without a positive size the normalised values would be inf or nan.
        if (annotation && width > 0 && height > 0) {
            const double area = double(width) * double(height);
            for (const QList<double> &b : qAsConst(annotation->bboxes)) {
                const double x = b.at(0), y = b.at(1), w = b.at(2), h = b.at(3);
                const double boxArea = w * h;
                if (w > h * 1.5)
                    continue;
                if (area / 10 > boxArea)
                    continue;
                if (boxArea > (area / 3) * 2)
                    continue;
                boxes->appendBox(annotation->catId, (w * 0.5 + x) / double(width),
                                 (h * 0.5 + y) / double(height), w / double(width),
                                 h / double(height));
            }
        }
        if (boxes->rowCount() == 0)
            continue;

        auto info = std::make_shared<ImageInfo>();
        info->id = id;
        info->fileName = fileName;
        info->filePath = path;
        info->width = width;
        info->height = height;
        info->bboxes = std::move(boxes);
        addImage(std::move(info));
    }
    endResetModel();
    qDebug("Loaded %d images", images.size());
    emit readFileCompleted();
}
