#include "model/imagelist.h"

#include "app/utils.h"
#include "model/classnames.h"
#include "model/yololabels.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <functional>
#include <string>
#include <unordered_set>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace {

using LabelVisitor = std::function<void(const QString &name, const char *native, int length)>;

bool hasSuffix(const char *name, size_t length, const char *suffix, size_t suffixLength)
{
    return length >= suffixLength
        && qstrnicmp(name + length - suffixLength, suffix, uint(suffixLength)) == 0;
}

// Calls `visit` with the name (and its bytes on disk) of every entry that QDirIterator(folder,
// {"*.txt"}, QDir::NoFilter) yields, in the same order, except a "classes.txt", which is the
// dataset's class list. NoFilter stands for QDir::AllEntries there: files, folders and links to
// existing ones, not hidden, the pattern matched without regard to case. On Unix the folder is
// read with readdir directly, which is what QDirIterator does underneath but without building a
// QFileInfo and running a regular expression for each of 100k entries. `extras` notes the class
// files among the entries.
void forEachLabelEntry(const QString &folder, yolo::LabelFolderExtras &extras,
                       const LabelVisitor &visit)
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
        if (name[0] == '.')
            continue;
        if (!hasSuffix(name, length, ".txt", 4)) {
            if (hasSuffix(name, length, ".yaml", 5) && qstrcmp(name + length - 5, ".yaml") == 0)
                extras.yamlFiles << Utils::fromNativePath(name);
            continue;
        }
        if (qstrcmp(name, "classes.txt") == 0) {
            extras.classesTxt = true;
            continue;
        }
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
            visit(Utils::fromNativePath(name), name, int(length));
    }
    closedir(dir);
#else
    QDirIterator it(folder, QStringList{QStringLiteral("*.txt"), QStringLiteral("*.yaml")},
                    QDir::NoFilter);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        if (name.endsWith(QLatin1String(".yaml"))) {
            extras.yamlFiles << name;
        } else if (name == QLatin1String("classes.txt")) {
            extras.classesTxt = true;
        } else {
            const QByteArray native = QFile::encodeName(name);
            visit(name, native.constData(), native.size());
        }
    }
#endif
}

// The image files of a folder, listed once per load: their names as the file system has them.
class ImageFolder
{
public:
    explicit ImageFolder(const QString &folder)
    {
        if (folder.isEmpty())
            return;
        const QByteArray native = Utils::nativePath(folder);
#ifdef Q_OS_UNIX
        DIR *dir = opendir(native.constData());
        if (!dir)
            return;
        while (const struct dirent *entry = readdir(dir)) {
            if (entry->d_name[0] != '.')
                names.emplace(entry->d_name);
        }
        closedir(dir);
#else
        for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
            names.emplace(QFile::encodeName(name).toStdString());
#endif
    }

    // The extension of the image of a label file whose name (on disk) is `labelName`: "jpg"
    // when that image exists or none of the others does, else the first that exists.
    QLatin1String extensionFor(const char *labelName, int length)
    {
        static const QLatin1String extensions[]
            = {QLatin1String("jpg"),  QLatin1String("jpeg"), QLatin1String("png"),
               QLatin1String("bmp"),  QLatin1String("webp"), QLatin1String("JPG"),
               QLatin1String("JPEG"), QLatin1String("PNG")};
        if (names.empty())
            return extensions[0];
        // The label name without "txt", keeping the dot.
        key.assign(labelName, size_t(length) - 3);
        const size_t stem = key.size();
        for (const QLatin1String &extension : extensions) {
            key.resize(stem);
            key.append(extension.data(), size_t(extension.size()));
            if (names.count(key))
                return extension;
        }
        return extensions[0];
    }

private:
    std::unordered_set<std::string> names;
    std::string key;
};

} // namespace

void ImageList::loadYolo(const QString &txtPath, const QString &imagePath)
{
    Utils *utils = Utils::instance();
    beginResetModel();
    images.clear();

    qint32 id = 1;
    ImageFolder imageFolder(imagePath);
    yolo::LabelFolderExtras extras;
    forEachLabelEntry(txtPath, extras, [&](const QString &entry, const char *native, int length) {
        const QString base = utils->baseName(utils->fileName(entry));
        const QString txtFile = QStringLiteral("%1/%2.txt").arg(txtPath, base);
        const QLatin1String extension = imageFolder.extensionFor(native, length);
        const QString imageFile = extension == QLatin1String("jpg")
            ? QStringLiteral("%1/%2.jpg").arg(imagePath, base)
            : QStringLiteral("%1/%2.%3").arg(imagePath, base, extension);
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

    QString classFile;
    setClassNames(yolo::findClassNames(txtPath, extras, &classFile));
    if (!classFile.isEmpty())
        qDebug().noquote() << "Class names from" << classFile;
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
