#include "imagelist.h"

#include "utils.h"
#include "yololabels.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>

void ImageList::loadYolo(const QString &txtPath, const QString &imagePath)
{
    Utils *utils = Utils::instance();
    beginResetModel();
    images.clear();

    QDirIterator it(txtPath, QStringList{QStringLiteral("*.txt")}, QDir::NoFilter);
    qint32 id = 1;
    while (it.hasNext()) {
        const QString entry = it.next();
        const QString base = utils->baseName(utils->fileName(entry));
        const QString txtFile = QStringLiteral("%1/%2.txt").arg(txtPath, base);
        const QString imageFile = QStringLiteral("%1/%2.jpg").arg(imagePath, base);
        qDebug() << imageFile;

        auto info = std::make_shared<ImageInfo>();
        info->id = id++;
        info->fileName = base;
        info->filePath = QStringLiteral("/%1").arg(imageFile);
        info->yoloTxtFilePath = txtFile;
        info->bboxes.reset(newBoxList());
        info->bboxes->loadTxtFile(txtFile);
        addImage(std::move(info));
    }

    endResetModel();
    qDebug("Loaded %d images from yolo", images.size());
}

void ImageList::yoloReloadRow(int row)
{
    if (row < 0 || row >= images.size())
        return;
    const std::shared_ptr<ImageInfo> info = images.at(row);
    const QString txtFile = info->yoloTxtFilePath;
    info->bboxes->clear();
    info->bboxes->loadTxtFile(txtFile);
    const QModelIndex changed = index(row, 0);
    emit dataChanged(changed, changed, {4});
}

void ImageList::exportYolo(const QString &dir)
{
    Utils *utils = Utils::instance();
    for (const auto &info : qAsConst(images)) {
        // Only a bare file name ever reaches the template, so a name from a foreign file
        // cannot point outside `dir`. Rows of a YOLO load keep their label file's own name:
        // their fileName has already lost its extension.
        const QString txtName = info->yoloTxtFilePath.isEmpty()
            ? QStringLiteral("%1.txt").arg(utils->baseName(utils->fileName(info->fileName)))
            : utils->fileName(info->yoloTxtFilePath);
        const QString path = QStringLiteral("%1/%2").arg(dir, txtName);
        utils->writeFile(path, yolo::formatLabels(info->bboxes->boxList()));
    }
}
