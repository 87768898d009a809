#include "model/imagelist.h"

#include "app/logging.h"
#include "io/fileio.h"
#include "model/classnames.h"
#include "model/yololabels.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace {

// A label file's name as its bytes on disk: the QString of each is made when its row is, so
// that 100k names listed do not leave 100k small allocations among the rows'.
struct LabelEntry
{
    std::string native;
    QString name() const { return io::fromNativePath(native.c_str()); }
};

#ifdef Q_OS_UNIX
// Calls `visit` with every entry of the folder `native` whose name does not start with a dot
// (QDir's hidden ones); nothing when the folder cannot be read.
template<typename Visit>
void forEachDirEntry(const QByteArray &native, Visit visit)
{
    DIR *dir = opendir(native.constData());
    if (!dir)
        return;
    while (const struct dirent *entry = readdir(dir)) {
        if (entry->d_name[0] != '.')
            visit(entry);
    }
    closedir(dir);
}
#endif

// The name (and its bytes on disk) of every entry that QDirIterator(folder, {"*.txt"},
// QDir::NoFilter) yields, in the same order, except a "classes.txt", which is the
// dataset's class list. NoFilter stands for QDir::AllEntries there: files, folders and links to
// existing ones, not hidden, the pattern matched without regard to case. On Unix the folder is
// read with readdir directly, which is what QDirIterator does underneath but without building a
// QFileInfo and running a regular expression for each of 100k entries. `extras` notes the class
// files among the entries.
std::vector<LabelEntry> listLabelEntries(const QString &folder, yolo::LabelFolderExtras &extras)
{
    std::vector<LabelEntry> entries;
#ifdef Q_OS_UNIX
    if (folder.isEmpty())
        return entries;
    const QByteArray native = io::nativePath(folder);
    forEachDirEntry(native, [&](const struct dirent *entry) {
        const char *name = entry->d_name;
        const size_t length = qstrlen(name);
        if (length < 4 || qstrnicmp(name + length - 4, ".txt", 4) != 0) {
            if (length > 5 && qstrcmp(name + length - 5, ".yaml") == 0)
                extras.yamlFiles << io::fromNativePath(name);
            return;
        }
        if (qstrcmp(name, "classes.txt") == 0) {
            extras.classesTxt = true;
            return;
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
                return;
        }
        if (type == DT_REG || type == DT_DIR)
            entries.push_back({std::string(name, length)});
    });
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
            entries.push_back({QFile::encodeName(name).toStdString()});
        }
    }
#endif
    return entries;
}

// A set of names built once and then only asked: the names in one buffer, an open-addressing
// table of their offsets. A node-based set spends more on 100k allocations and rehashes than
// listing the folder costs.
class NameSet
{
public:
    void add(const char *name, size_t length)
    {
        offsets.push_back(quint32(text.size()));
        text.append(name, length);
        text.push_back('\0');
    }
    void build()
    {
        int bits = 4;
        while ((size_t(1) << bits) < offsets.size() * 2)
            ++bits;
        shift = 64 - bits;
        mask = (size_t(1) << bits) - 1;
        table.assign(mask + 1, 0);
        for (size_t i = 0; i < offsets.size(); ++i) {
            const char *name = text.data() + offsets[i];
            size_t slot = slotOf(name, qstrlen(name));
            while (table[slot] != 0)
                slot = (slot + 1) & mask;
            table[slot] = quint32(i + 1);
        }
    }
    bool empty() const { return offsets.empty(); }
    bool contains(const char *name, size_t length) const
    {
        for (size_t slot = slotOf(name, length); table[slot] != 0; slot = (slot + 1) & mask) {
            const char *candidate = text.data() + offsets[table[slot] - 1];
            if (std::memcmp(candidate, name, length) == 0 && candidate[length] == '\0')
                return true;
        }
        return false;
    }

private:
    // FNV-1a, then Fibonacci hashing: names that differ in one digit (img000001, img000002, ...)
    // would otherwise crowd into neighbouring slots.
    size_t slotOf(const char *name, size_t length) const
    {
        quint64 value = 14695981039346656037ull;
        for (size_t i = 0; i < length; ++i)
            value = (value ^ quint8(name[i])) * 1099511628211ull;
        return size_t((value * 11400714819323198485ull) >> shift);
    }

    std::string text;
    std::vector<quint32> offsets;
    std::vector<quint32> table; // index + 1 into offsets, 0 for a free slot
    size_t mask = 0;
    int shift = 60;
};

// The image files of a folder, listed once per load: their names as the file system has them.
class ImageFolder
{
public:
    explicit ImageFolder(const QString &folder)
    {
        if (folder.isEmpty())
            return;
#ifdef Q_OS_UNIX
        forEachDirEntry(io::nativePath(folder), [this](const struct dirent *entry) {
            names.add(entry->d_name, qstrlen(entry->d_name));
        });
#else
        for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
            const QByteArray native = QFile::encodeName(name);
            names.add(native.constData(), size_t(native.size()));
        }
#endif
        names.build();
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
            if (names.contains(key.data(), key.size()))
                return extension;
        }
        return extensions[0];
    }

private:
    NameSet names;
    std::string key;
};

} // namespace

void ImageList::loadYolo(const QString &txtPath, const QString &imagePath)
{
    beginResetModel();
    images.clear();

    qint32 id = 1;
    // The images folder is listed on a thread of its own while the labels folder is listed here.
    std::unique_ptr<ImageFolder> imageFolder;
    std::thread imageLister([&] { imageFolder = std::make_unique<ImageFolder>(imagePath); });
    yolo::LabelFolderExtras extras;
    const std::vector<LabelEntry> entries = listLabelEntries(txtPath, extras);
    imageLister.join();
    // The class file before the labels: a pose dataset's kpt_shape decides how lines are read.
    QString classFile;
    KeypointShape keypoints;
    const yolo::ClassNames classNames
        = yolo::findClassNames(txtPath, extras, &classFile, &keypoints);

    // Opening and reading 100k small files is most of a load, and it goes nearly twice as fast
    // on two cores as on one. A second thread and this one take the label files in row order
    // and read and parse them; this one makes each row once its file is read, and reads the
    // next files itself while it would otherwise wait.
    struct Slot
    {
        std::atomic<bool> read{false};
        QString base, txtFile;
        BBoxList::LoadedFile file;
    };
    const size_t count = entries.size();
    const std::unique_ptr<Slot[]> files(new Slot[count]);
    std::atomic<size_t> nextFile{0}, usedCount{0};
    // Files read but not yet made into rows are held in memory: no more than this many. A
    // thread takes a file only below that limit, so no thread waits holding a file another
    // needs.
    constexpr size_t ahead = 256;
    const auto takeBelow = [&](size_t limit) {
        size_t i = nextFile.load();
        do {
            if (i >= limit)
                return count;
        } while (!nextFile.compare_exchange_weak(i, i + 1));
        return i;
    };
    const auto readLabels = [&](size_t i) {
        Slot &slot = files[i];
        slot.base = io::baseName(io::fileName(entries[i].name()));
        slot.txtFile = QStringLiteral("%1/%2.txt").arg(txtPath, slot.base);
        slot.file = BBoxList::readTxtFile(slot.txtFile, keypoints);
        slot.read.store(true, std::memory_order_release);
    };
    std::thread reader([&] {
        while (nextFile.load() < count) {
            const size_t i = takeBelow(std::min(count, usedCount.load() + ahead));
            if (i < count)
                readLabels(i);
            else
                std::this_thread::yield();
        }
    });

    for (size_t i = 0; i < count; ++i) {
        Slot &slot = files[i];
        while (!slot.read.load(std::memory_order_acquire)) {
            const size_t next = takeBelow(std::min(count, i + ahead));
            if (next < count)
                readLabels(next);
            else
                std::this_thread::yield();
        }
        const LabelEntry &entry = entries[i];
        const QLatin1String extension
            = imageFolder->extensionFor(entry.native.data(), int(entry.native.size()));
        const QString imageFile = QStringLiteral("%1/%2.%3").arg(imagePath, slot.base, extension);
        qCDebug(lcLoad) << imageFile;

        auto info = std::make_shared<ImageInfo>();
        info->id = id++;
        info->fileName = std::move(slot.base);
        info->filePath = QStringLiteral("/%1").arg(imageFile);
        info->yoloTxtFilePath = std::move(slot.txtFile);
        info->bboxes = std::make_unique<BBoxList>();
        info->bboxes->setLoaded(std::move(slot.file));
        usedCount.store(i + 1, std::memory_order_release);
        addImage(std::move(info));
    }
    reader.join();

    // The class names before the views learn of the new rows, so that tiles are made with their
    // colours rather than made and then coloured again.
    setClassNames(classNames);
    labelsFolder = txtPath;
    labelsFolderWritable = true;
    endResetModel();
    if (!images.isEmpty() && !io::folderWritable(txtPath))
        markLabelsReadOnly();
    qCDebug(lcLoad, "Loaded %d images from yolo", images.size());
    if (!classFile.isEmpty())
        qCDebug(lcLoad).noquote() << "Class names from" << classFile;
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
    for (const auto &info : qAsConst(images)) {
        // Only a bare file name ever reaches the template, so a name from a foreign file
        // cannot point outside `dir`. Rows of a YOLO load keep their label file's own name:
        // their fileName has already lost its extension.
        const QString txtName = info->yoloTxtFilePath.isEmpty()
            ? QStringLiteral("%1.txt").arg(io::baseName(io::fileName(info->fileName)))
            : io::fileName(info->yoloTxtFilePath);
        const QString path = QStringLiteral("%1/%2").arg(dir, txtName);
        io::writeFile(path,
                      yolo::formatLabels(info->bboxes->boxList(), info->bboxes->foreignLines()));
    }
}
