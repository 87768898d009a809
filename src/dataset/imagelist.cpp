#include "dataset/imagelist.h"

#include "io/fileio.h"

#include <QFileInfo>
#include <QQmlEngine>

#include <algorithm>

ImageList *ImageList::s_instance = nullptr;

ImageList::ImageList()
    : QAbstractListModel(nullptr)
    , roleNameTable{
          {ImgBaseFileName, QByteArrayLiteral("imgBaseFileName")},
          {ImgFilePath, QByteArrayLiteral("imgFilePath")},
          {ImgWidth, QByteArrayLiteral("imgWidth")},
          {ImgHeight, QByteArrayLiteral("imgHeight")},
          {ImgBBoxes, QByteArrayLiteral("imgBBoxes")},
          {YoloTxtFilePath, QByteArrayLiteral("yoloTxtFilePath")},
          {ImgHasLabelFile, QByteArrayLiteral("imgHasLabelFile")},
          {ImgUnsaved, QByteArrayLiteral("imgUnsaved")},
          {ImgRow, QByteArrayLiteral("imgRow")},
      }
{
    s_instance = this;
    // A new dataset: nothing of the old one can be put back, and nothing said of it holds.
    connect(this, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        if (relayingOut)
            return;
        removedRows.clear();
        setNotice(QString());
        labelsFolder.clear();
        imagesFolder.clear();
        originPath.clear();
        originKind = Origin::None;
        cocoCategories.clear();
        yoloParts.clear();
        labelsFolderWritable = true;
        setEmptyReason(QString());
    });
    // Class sets are kept by row: rows that come or go make them anew.
    const auto dropClassSets = [this] {
        classSets.clear();
        classStart.clear();
        emit classesChanged();
    };
    connect(this, &QAbstractItemModel::modelReset, this, dropClassSets);
    connect(this, &QAbstractItemModel::rowsInserted, this, dropClassSets);
    connect(this, &QAbstractItemModel::rowsRemoved, this, dropClassSets);
}

ImageList::~ImageList()
{
    s_instance = nullptr;
}

void ImageList::create()
{
    auto *list = new ImageList();
    QQmlEngine::setObjectOwnership(list, QQmlEngine::CppOwnership);
    qmlRegisterSingletonInstance("Pallaster", 1, 0, "ImageList", list);
}

ImageList *ImageList::instance()
{
    if (!s_instance)
        create();
    return s_instance;
}

void ImageList::setClassNames(const QMap<int, QString> &names)
{
    QVariantList list;
    for (auto it = names.cbegin(); it != names.cend(); ++it)
        list << QVariantMap{{QStringLiteral("catId"), it.key()},
                            {QStringLiteral("catName"), it.value()}};
    if (list == classNameList && !classFileChanged)
        return;
    classFileChanged = false;
    classNameList = list;
    emit classNamesChanged();
}

int ImageList::rowCount(const QModelIndex &parent) const
{
    // A list has no children below its rows; views that walk trees rely on that.
    return parent.isValid() ? 0 : images.size();
}

QVariant ImageList::data(const QModelIndex &index, int role) const
{
    const int row = index.row();
    if (row < 0 || row >= images.size())
        return QVariant();
    const std::shared_ptr<ImageInfo> info = images.at(row);
    switch (role) {
    case ImgBaseFileName:
        return info->fileName;
    case ImgFilePath:
        return info->filePath;
    case ImgWidth:
        return info->width;
    case ImgHeight:
        return info->height;
    case ImgBBoxes: {
        // Loaders make box lists without a parent; QML receives them only here, so this is
        // where the engine learns never to delete one. Marking every list at load time would
        // cost each of 100k lists an engine record it may never need.
        BBoxList *boxes = info->bboxes.get();
        QQmlEngine::setObjectOwnership(boxes, QQmlEngine::CppOwnership);
        return QVariant::fromValue(boxes);
    }
    case YoloTxtFilePath:
        return info->yoloTxtFilePath;
    case ImgHasLabelFile:
        return hasLabelFile(row);
    case ImgUnsaved:
        return info->bboxes->isModified();
    case ImgRow:
        return row;
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> ImageList::roleNames() const
{
    return roleNameTable;
}

void ImageList::clear()
{
    beginResetModel();
    images.clear();
    endResetModel();
}

void ImageList::addImage(std::shared_ptr<ImageInfo> info)
{
    images.append(std::move(info));
}

void ImageList::removeRow(int row)
{
    if (row < 0 || row >= images.size())
        return;
    const std::shared_ptr<ImageInfo> info = images.at(row);
    const QString path = info->yoloTxtFilePath;
    QString pathInTrash;
    if (io::moveToTrash(path, &pathInTrash)) {
        setNotice(tr("%1 was moved to the trash; Ctrl+Z in the grid puts it back.")
                      .arg(io::fileName(path)));
    } else if (io::removeFile(path)) {
        setNotice(tr("There is no trash for %1: it was deleted for good.").arg(path));
    } else {
        // The row stays; the window says why nothing happened.
        setNotice(io::fileExists(path)
                      ? tr("%1 could not be deleted: its folder cannot be written.").arg(path)
                      : tr("%1 is no longer there: nothing was deleted.").arg(path));
        return;
    }
    removedRows.append({row, info, pathInTrash});
    beginRemoveRows(QModelIndex(), row, row);
    images.removeAt(row);
    endRemoveRows();
    emit unsavedChanged();
}

int ImageList::restoreRemoved()
{
    if (removedRows.isEmpty())
        return -1;
    const RemovedRow removed = removedRows.last();
    const QString path = removed.info->yoloTxtFilePath;
    if (removed.pathInTrash.isEmpty()) {
        setNotice(tr("%1 was deleted for good and cannot be put back.").arg(path));
        return -1;
    }
    if (!io::restoreFromTrash(removed.pathInTrash, path)) {
        setNotice(
            tr("%1 could not be put back from the trash (%2).").arg(path, removed.pathInTrash));
        return -1;
    }
    removedRows.removeLast();
    const int row = qMin(removed.row, int(images.size()));
    beginInsertRows(QModelIndex(), row, row);
    images.insert(row, removed.info);
    endInsertRows();
    emit unsavedChanged();
    setNotice(QString());
    return row;
}

void ImageList::markLabelsReadOnly()
{
    labelsFolderWritable = false;
    setNotice(tr("The labels folder %1 cannot be written: the images can be reviewed, but edits "
                 "cannot be saved.")
                  .arg(labelsFolder));
}

void ImageList::setNotice(const QString &text)
{
    if (noticeText == text)
        return;
    noticeText = text;
    emit noticeChanged();
}

int ImageList::unsavedCount() const
{
    int count = 0;
    for (const auto &info : images)
        count += info->bboxes->isModified() ? 1 : 0;
    return count;
}

QStringList ImageList::saveUnsaved()
{
    QStringList failures;
    if (origin() == Origin::DatasetJson || origin() == Origin::CocoInstances) {
        // The rows' edits go into the file they came from, all at once.
        QString error;
        if (unsavedCount() > 0 && !saveToOrigin(&error))
            failures << QStringLiteral("%1: %2").arg(originPath, error);
        return failures;
    }
    for (const auto &info : qAsConst(images)) {
        BBoxList *boxes = info->bboxes.get();
        if (boxes->isModified() && !boxes->saveTxtFile(info->yoloTxtFilePath))
            failures << QStringLiteral("%1: %2").arg(info->yoloTxtFilePath, boxes->saveError());
    }
    if (!images.isEmpty())
        emit dataChanged(index(0, 0), index(images.size() - 1, 0), {ImgHasLabelFile, ImgUnsaved});
    emit unsavedChanged();
    return failures;
}

void ImageList::editedRow(int row)
{
    const auto info = imageAt(row);
    if (!info)
        return;
    if (!classStart.isEmpty()) {
        const QVector<qint32> now = classesOfBoxes(row);
        if (now != classesOf(row)) {
            // Rows after this one would have to move: the sets are made again when next asked.
            classSets.clear();
            classStart.clear();
        }
    }
    emit classesChanged();
    const QModelIndex changed = index(row, 0);
    emit dataChanged(changed, changed, {ImgHasLabelFile, ImgUnsaved});
}

bool ImageList::hasLabelFile(int row) const
{
    const auto info = imageAt(row);
    return info && (info->yoloTxtFilePath.isEmpty() || info->bboxes->fileStamp().size >= 0);
}

bool ImageList::imageMissing(int row) const
{
    if (row < 0 || row >= images.size())
        return false;
    ImageInfo *info = images.at(row).get();
    if (info->imageState == ImageState::Unknown) {
        const QString path = plainPath(info->filePath);
        info->imageState = io::fileExists(path) ? ImageState::Present : ImageState::Missing;
    }
    return info->imageState == ImageState::Missing;
}

QVector<qint32> ImageList::classesOfBoxes(int row) const
{
    QVector<qint32> ids;
    appendClasses(row, ids);
    return ids;
}

void ImageList::appendClasses(int row, QVector<qint32> &ids) const
{
    const int start = ids.size();
    for (const auto &box : images.at(row)->bboxes->boxList())
        ids.append(box->catId);
    std::sort(ids.begin() + start, ids.end());
    ids.erase(std::unique(ids.begin() + start, ids.end()), ids.end());
}

void ImageList::buildClassSets() const
{
    classSets.clear();
    classStart.clear();
    classStart.reserve(images.size() + 1);
    for (int row = 0; row < images.size(); ++row) {
        classStart.append(classSets.size());
        appendClasses(row, classSets);
    }
    classStart.append(classSets.size());
    classSets.squeeze();
}

QVector<qint32> ImageList::classesOf(int row) const
{
    if (row < 0 || row >= images.size())
        return {};
    if (classStart.isEmpty())
        buildClassSets();
    const int begin = classStart.at(row), end = classStart.at(row + 1);
    return classSets.mid(begin, end - begin);
}

std::pair<const qint32 *, const qint32 *> ImageList::classRange(int row) const
{
    if (row < 0 || row >= images.size())
        return {nullptr, nullptr};
    if (classStart.isEmpty())
        buildClassSets();
    const qint32 *begin = classSets.constData();
    return {begin + classStart.at(row), begin + classStart.at(row + 1)};
}

QVector<ImageList::ClassCount> ImageList::classCounts() const
{
    // Class ids are small numbers from 0 in any real dataset: counted in place, others aside.
    constexpr qint32 dense = 4096;
    QVector<ClassCount> counts(dense);
    QMap<qint32, ClassCount> others;
    const auto countOf = [&](qint32 catId) -> ClassCount & {
        ClassCount &count = catId >= 0 && catId < dense ? counts[catId] : others[catId];
        count.catId = catId;
        return count;
    };
    for (int row = 0; row < images.size(); ++row) {
        const auto classes = classRange(row);
        for (const qint32 *catId = classes.first; catId != classes.second; ++catId)
            ++countOf(*catId).images;
        for (const auto &box : images.at(row)->bboxes->boxList())
            ++countOf(box->catId).boxes;
    }
    QVector<ClassCount> used;
    for (auto it = others.cbegin(); it != others.cend() && it.key() < 0; ++it)
        used << it.value();
    for (const ClassCount &count : qAsConst(counts)) {
        if (count.boxes > 0)
            used << count;
    }
    for (auto it = others.cbegin(); it != others.cend(); ++it) {
        if (it.key() >= 0)
            used << it.value();
    }
    return used;
}

void ImageList::setEmptyReason(const QString &text)
{
    if (emptyText == text)
        return;
    emptyText = text;
    emit emptyReasonChanged();
}

QString ImageList::whyNoRows(const QString &labels, const QString &images, int imagesInLabels,
                             bool labelsInImages)
{
    if (labels.isEmpty() || !QFileInfo(labels).isDir())
        return tr("The labels folder %1 does not exist.").arg(labels);
    if (imagesInLabels > 0 || labelsInImages)
        return tr("No label files in %1. This folder holds images: are the two folders swapped?")
            .arg(labels);
    Q_UNUSED(images)
    return tr("No label files in %1").arg(labels);
}
