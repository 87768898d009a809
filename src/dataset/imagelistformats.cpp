// ImageList's entry points for the COCO import and the dataset JSON file: the format code reads
// and writes plain records, these turn them into rows and rows into them.

#include "dataset/imagelist.h"

#include "format/coco.h"
#include "format/cocoinstances.h"
#include "format/datasetjson.h"
#include "io/fileio.h"
#include "io/imageheader.h"
#include "io/logging.h"

#include <QFileInfo>
#include <QQmlEngine>

#include <type_traits>

namespace {

using ImageInfo = ImageList::ImageInfo;

template<typename Boxes>
std::shared_ptr<ImageInfo> newRow(qint32 id, const QString &fileName, const QString &filePath,
                                  qint32 width, qint32 height, Boxes &boxes)
{
    auto info = std::make_shared<ImageInfo>();
    info->id = id;
    info->fileName = fileName;
    info->filePath = filePath;
    info->width = width;
    info->height = height;
    info->bboxes = std::make_unique<BBoxList>();
    QQmlEngine::setObjectOwnership(info->bboxes.get(), QQmlEngine::CppOwnership);
    if constexpr (std::is_same_v<Boxes, BoxRecords>)
        info->bboxes->appendRecords(std::move(boxes));
    else
        info->bboxes->appendBoxes(boxes);
    boxes = {};
    return info;
}

// The rows of the COCO pair whose image files are in `imageDir`.
QVector<std::shared_ptr<ImageInfo>> cocoPairRows(const QString &imagesFile, const QString &annsFile,
                                                 const QString &imageDir, coco::PairCounts *counts)
{
    QVector<coco::ImportedImage> imported = coco::importPair(imagesFile, annsFile, counts);
    QVector<std::shared_ptr<ImageInfo>> rows;
    for (coco::ImportedImage &image : imported) {
        // Only images that keep a box come here, so only their files need to be looked for.
        const QString path = imageDir + QLatin1Char('/') + image.fileName;
        if (io::fileExists(path))
            rows.append(
                newRow(image.id, image.fileName, path, image.width, image.height, image.boxes));
    }
    return rows;
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
    QVector<std::shared_ptr<ImageInfo>> rows
        = cocoPairRows(imagesFile, annsFile, imageDir, nullptr);
    beginResetModel();
    images.clear();
    for (auto &info : rows)
        addImage(std::move(info));
    endResetModel();
    qCDebug(lcLoad, "Loaded %d images", images.size());
    emit readFileCompleted();
}

int ImageList::openCocoPair(const QString &imagesFile, const QString &annsFile,
                            const QString &imageDir, coco::PairCounts &counts)
{
    QVector<std::shared_ptr<ImageInfo>> rows
        = cocoPairRows(imagesFile, annsFile, imageDir, &counts);
    const int count = rows.size();
    if (count > 0) {
        replaceRows(std::move(rows), Origin::None, QString());
        // COCO's category 1 is a person, whatever the dataset before called its class 1.
        forgetClassNames();
    }
    return count;
}

void ImageList::replaceRows(QVector<std::shared_ptr<ImageInfo>> rows, Origin kind,
                            const QString &file)
{
    beginResetModel();
    images = std::move(rows);
    endResetModel();
    originKind = kind;
    originPath = file;
    emit unsavedChanged();
}

ImageList::Origin ImageList::origin() const
{
    return labelsFolder.isEmpty() ? originKind : Origin::Yolo;
}

QString ImageList::plainPath(const QString &filePath)
{
    // filePath is "/" and the path for a YOLO row; a path as it stands for the others.
    if (filePath.startsWith(QLatin1String("//"))
        || (filePath.size() > 3 && filePath.at(2) == QLatin1Char(':')))
        return filePath.mid(1);
    return filePath;
}

QSize ImageList::imageSize(int row)
{
    if (row < 0 || row >= images.size())
        return QSize();
    ImageInfo &info = *images[row];
    if (info.width <= 0 || info.height <= 0) {
        const QSize size = io::headerSize(plainPath(info.filePath));
        if (!size.isValid())
            return QSize();
        info.width = size.width();
        info.height = size.height();
    }
    return QSize(info.width, info.height);
}

QStringList ImageList::classNameTable() const
{
    QStringList names;
    for (const QVariant &entry : classNameList) {
        const QVariantMap map = entry.toMap();
        const int id = map.value(QStringLiteral("catId")).toInt();
        if (id < 0 || id > 0xffff)
            continue;
        while (names.size() <= id)
            names.append(QString());
        names[id] = map.value(QStringLiteral("catName")).toString();
    }
    return names;
}

bool ImageList::openCocoInstances(const QString &path, const QString &imageDir,
                                  coco::Instances &report, QString *error)
{
    if (!coco::readInstances(path, report, error))
        return false;
    QVector<std::shared_ptr<ImageInfo>> rows;
    rows.reserve(report.images.size());
    for (coco::InstancesImage &image : report.images) {
        rows.append(newRow(image.id, image.fileName, imageDir + QLatin1Char('/') + image.fileName,
                           image.width, image.height, image.boxes));
    }
    report.images.clear();
    replaceRows(std::move(rows), Origin::CocoInstances, path);
    for (const coco::Category &category : qAsConst(report.categories))
        cocoCategories.append({category.id, category.name});
    QMap<int, QString> names;
    for (int i = 0; i < report.categories.size(); ++i)
        names.insert(i, report.categories[i].name);
    setClassFile(path);
    setClassNames(names);
    return true;
}

bool ImageList::exportCocoInstances(const QString &path, coco::ExportCounts &counts, QString *error)
{
    QVector<coco::Category> categories;
    if (!cocoCategories.isEmpty()) {
        for (const auto &category : qAsConst(cocoCategories))
            categories.append({category.first, category.second});
    } else {
        const QStringList names = classNameTable();
        for (int i = 0; i < names.size(); ++i)
            categories.append({i + 1, names[i].isEmpty() ? QString::number(i) : names[i]});
    }
    // The rows' own ids where they tell the images apart, else their numbers from 1.
    QSet<qint32> ids;
    for (const auto &info : qAsConst(images)) {
        if (info->id <= 0 || ids.contains(info->id))
            break;
        ids.insert(info->id);
    }
    const bool ownIds = ids.size() == images.size();
    return coco::writeInstances(
        path, categories, images.size(),
        [&](int row) {
            const QSize size = imageSize(row);
            const ImageInfo &info = *images.at(row);
            // A YOLO row's fileName has lost its extension; its image file has it.
            const QString fileName
                = origin() == Origin::Yolo ? io::fileName(plainPath(info.filePath)) : info.fileName;
            return coco::ExportImage{ownIds ? info.id : row + 1, fileName, size.width(),
                                     size.height(), &info.bboxes->boxList()};
        },
        counts, error);
}

bool ImageList::saveToOrigin(QString *error)
{
    if (origin() != Origin::DatasetJson) {
        if (error)
            *error = origin() == Origin::CocoInstances
                ? tr("edits of a COCO instances file are kept by File → Export COCO instances "
                     "file…")
                : tr("no label file");
        return false;
    }
    if (!writeJson(originPath, error))
        return false;
    for (const auto &info : qAsConst(images))
        info->bboxes->markSaved();
    if (!images.isEmpty())
        emit dataChanged(index(0, 0), index(images.size() - 1, 0), {ImgUnsaved});
    emit unsavedChanged();
    return true;
}

datasetjson::Row ImageList::jsonRow(int row)
{
    const QSize size = imageSize(row);
    const ImageInfo &info = *images.at(row);
    const QPair<QString, QString> review = reviewSource ? reviewSource(row)
        : info.reviewRead                               ? *info.reviewRead
                                                        : QPair<QString, QString>();
    return {info.id,
            info.fileName,
            plainPath(info.filePath),
            size.isValid() ? size.width() : info.width,
            size.isValid() ? size.height() : info.height,
            &info.bboxes->boxList(),
            row == 0 && !classNameList.isEmpty() ? &jsonClassNames : nullptr,
            review.first,
            review.second};
}

void ImageList::exportJson(const QString &json)
{
    writeJson(json, nullptr);
}

bool ImageList::writeJson(const QString &json, QString *error)
{
    jsonClassNames = classNameTable();
    return datasetjson::write(
        json, images.size(), [this](int row) { return jsonRow(row); }, error);
}

void ImageList::exportJsonDocument(const QString &json)
{
    writeJsonDocument(json, nullptr);
}

bool ImageList::writeJsonDocument(const QString &json, QString *error)
{
    jsonClassNames = classNameTable();
    return datasetjson::writeDocument(
        json, images.size(), [this](int row) { return jsonRow(row); }, error);
}

namespace {

QVector<std::shared_ptr<ImageInfo>> jsonRows(const QString &json, QStringList *classNames)
{
    QVector<std::shared_ptr<ImageInfo>> read;
    const auto add = [&](datasetjson::DatasetImage &image) {
        if (classNames && read.isEmpty())
            *classNames = image.classNames;
        read.append(newRow(image.id, image.fileName, image.filePath, image.width, image.height,
                           image.boxes));
        if (!image.reviewState.isEmpty() || !image.reviewNote.isEmpty())
            read.last()->reviewRead = std::make_unique<const QPair<QString, QString>>(
                image.reviewState, image.reviewNote);
    };
    datasetjson::read(json, add, [&read] { read.clear(); });
    return read;
}

} // namespace

int ImageList::openJsonFile(const QString &json)
{
    QStringList names;
    QVector<std::shared_ptr<ImageInfo>> rows = jsonRows(json, &names);
    const int count = rows.size();
    if (count == 0)
        return 0;
    replaceRows(std::move(rows), Origin::DatasetJson, json);
    QMap<int, QString> table;
    for (int i = 0; i < names.size(); ++i) {
        if (!names[i].isEmpty())
            table.insert(i, names[i]);
    }
    setClassFile(table.isEmpty() ? QString() : json);
    setClassNames(table);
    return count;
}

void ImageList::loadJson(const QString &json)
{
    QVector<std::shared_ptr<ImageInfo>> read = jsonRows(json, nullptr);
    beginResetModel();
    images.reserve(images.size() + read.size());
    for (auto &info : read)
        addImage(std::move(info));
    endResetModel();
}
