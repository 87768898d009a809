#include "model/imagelist.h"

#include "io/fileio.h"

#include <QQmlEngine>

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
      }
{
    s_instance = this;
    // A new dataset: nothing of the old one can be put back, and nothing said of it holds.
    connect(this, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        removedRows.clear();
        setNotice(QString());
        labelsFolder.clear();
        labelsFolderWritable = true;
    });
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
    if (list == classNameList)
        return;
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
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> ImageList::roleNames() const
{
    return roleNameTable;
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
    for (const auto &info : qAsConst(images)) {
        BBoxList *boxes = info->bboxes.get();
        if (boxes->isModified() && !boxes->saveTxtFile(info->yoloTxtFilePath))
            failures << QStringLiteral("%1: %2").arg(info->yoloTxtFilePath, boxes->saveError());
    }
    emit unsavedChanged();
    return failures;
}
