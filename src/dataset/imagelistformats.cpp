// ImageList's entry points for the COCO import and the dataset JSON file: the format code reads
// and writes plain records, these turn them into rows and rows into them.

#include "dataset/imagelist.h"

#include "format/coco.h"
#include "format/datasetjson.h"
#include "io/fileio.h"
#include "io/logging.h"

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
    QVector<coco::ImportedImage> imported = coco::importPair(imagesFile, annsFile);

    beginResetModel();
    images.clear();
    for (coco::ImportedImage &image : imported) {
        // Only images that keep a box come here, so only their files need to be looked for.
        const QString path = imageDir + QLatin1Char('/') + image.fileName;
        if (!io::fileExists(path))
            continue;
        auto info = std::make_shared<ImageInfo>();
        info->id = image.id;
        info->fileName = image.fileName;
        info->filePath = path;
        info->width = image.width;
        info->height = image.height;
        info->bboxes = std::make_unique<BBoxList>();
        info->bboxes->appendBoxes(image.boxes);
        image.boxes = {};
        addImage(std::move(info));
    }
    endResetModel();
    qCDebug(lcLoad, "Loaded %d images", images.size());
    emit readFileCompleted();
}

datasetjson::Row ImageList::jsonRow(int row) const
{
    const ImageInfo &info = *images.at(row);
    return {info.id,    info.fileName, info.filePath,
            info.width, info.height,   &info.bboxes->boxList()};
}

void ImageList::exportJson(const QString &json)
{
    writeJson(json, nullptr);
}

bool ImageList::writeJson(const QString &json, QString *error)
{
    return datasetjson::write(
        json, images.size(), [this](int row) { return jsonRow(row); }, error);
}

void ImageList::exportJsonDocument(const QString &json)
{
    writeJsonDocument(json, nullptr);
}

bool ImageList::writeJsonDocument(const QString &json, QString *error)
{
    return datasetjson::writeDocument(
        json, images.size(), [this](int row) { return jsonRow(row); }, error);
}

void ImageList::loadJson(const QString &json)
{
    QVector<std::shared_ptr<ImageInfo>> read;
    const auto add = [&read](datasetjson::DatasetImage &image) {
        auto info = std::make_shared<ImageInfo>();
        info->id = image.id;
        info->fileName = image.fileName;
        info->filePath = image.filePath;
        info->width = image.width;
        info->height = image.height;
        info->bboxes = std::make_unique<BBoxList>();
        info->bboxes->appendBoxes(image.boxes);
        read.append(std::move(info));
    };
    datasetjson::read(json, add, [&read] { read.clear(); });

    beginResetModel();
    images.reserve(images.size() + read.size());
    for (auto &info : read)
        addImage(std::move(info));
    endResetModel();
}
