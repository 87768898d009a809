#include "model/imagelist.h"

#include "app/utils.h"
#include "model/yololabels.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <functional>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace {

// Calls `visit` with the name of every entry that QDirIterator(folder, {"*.txt"},
// QDir::NoFilter) yields, in the same order. NoFilter stands for QDir::AllEntries there: files,
// folders and links to existing ones, not hidden, the pattern matched without regard to case.
// On Unix the folder is read with readdir directly, which is what QDirIterator does underneath
// but without building a QFileInfo and running a regular expression for each of 100k entries.
void forEachLabelEntry(const QString &folder, const std::function<void(const QString &)> &visit)
{
#ifdef Q_OS_UNIX
    if (folder.isEmpty())
        return;
    const QByteArray native = Utils::nativePath(folder);
    DIR *dir = opendir(native.constData());
    if (!dir)
        return;
    while (const struct dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        const size_t length = qstrlen(name);
        if (name[0] == '.' || length < 4 || qstrnicmp(name + length - 4, ".txt", 4) != 0)
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN || type == DT_LNK) {
            struct stat info;
            const QByteArray path = native + '/' + QByteArray(name, int(length));
            if (type == DT_UNKNOWN && lstat(path.constData(), &info) == 0 && !S_ISLNK(info.st_mode))
                type = S_ISREG(info.st_mode) ? DT_REG : S_ISDIR(info.st_mode) ? DT_DIR : DT_FIFO;
            else if (stat(path.constData(), &info) == 0)
                type = DT_REG; // a link to something that exists
            else
                continue;
        }
        if (type == DT_REG || type == DT_DIR)
            visit(Utils::fromNativePath(name));
    }
    closedir(dir);
#else
    QDirIterator it(folder, QStringList{QStringLiteral("*.txt")}, QDir::NoFilter);
    while (it.hasNext()) {
        it.next();
        visit(it.fileName());
    }
#endif
}

} // namespace

void ImageList::loadYolo(const QString &txtPath, const QString &imagePath)
{
    Utils *utils = Utils::instance();
    beginResetModel();
    images.clear();

    qint32 id = 1;
    forEachLabelEntry(txtPath, [&](const QString &entry) {
        const QString base = utils->baseName(utils->fileName(entry));
        const QString txtFile = QStringLiteral("%1/%2.txt").arg(txtPath, base);
        const QString imageFile = QStringLiteral("%1/%2.jpg").arg(imagePath, base);
        qDebug() << imageFile;

        auto info = std::make_shared<ImageInfo>();
        info->id = id++;
        info->fileName = base;
        info->filePath = QStringLiteral("/%1").arg(imageFile);
        info->yoloTxtFilePath = txtFile;
        info->bboxes = std::make_unique<BBoxList>();
        info->bboxes->loadTxtFile(txtFile);
        addImage(std::move(info));
    });

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
    emit dataChanged(changed, changed, {ImgBBoxes});
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
