#include "dataset/imagelist.h"

#include "dataset/classnames.h"
#include "dataset/naturalorder.h"
#include "format/yololabels.h"
#include "io/fileio.h"
#include "io/logging.h"

#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

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
    // The label file's name, or for an image without one, the image's: the only entries whose
    // names do not end in ".txt". Nothing else is kept, so that 100k entries stay small.
    std::string native;
    QString name() const { return io::fromNativePath(native.c_str()); }
    bool unlabelled() const
    {
        return native.size() < 4 || qstrnicmp(native.data() + native.size() - 4, ".txt", 4) != 0;
    }
    // The length of the name before its extension.
    size_t stem() const
    {
        const size_t dot = native.rfind('.');
        return dot == std::string::npos || dot == 0 ? native.size() : dot;
    }
};

// Rows in the natural order of their names without the extension (img2 before img10). Sorted
// as small keys, a large list in two halves on two cores and then merged.
void sortEntries(std::vector<LabelEntry> &entries)
{
    struct Key
    {
        const char *name;
        quint32 stem;
        quint32 index;
    };
    std::vector<Key> keys;
    keys.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        keys.push_back({entries[i].native.data(), quint32(entries[i].stem()), quint32(i)});
    const auto less = [&entries](const Key &a, const Key &b) {
        const int order = natural::compare(a.name, a.stem, b.name, b.stem);
        return order != 0 ? order < 0 : entries[a.index].native < entries[b.index].native;
    };
    const auto middle = keys.begin() + std::ptrdiff_t(keys.size() / 2);
    if (keys.size() < 4096) {
        std::sort(keys.begin(), keys.end(), less);
    } else {
        std::thread half([&] { std::sort(keys.begin(), middle, less); });
        std::sort(middle, keys.end(), less);
        half.join();
        std::inplace_merge(keys.begin(), middle, keys.end(), less);
    }
    std::vector<LabelEntry> sorted;
    sorted.reserve(entries.size());
    for (const Key &key : keys)
        sorted.push_back(std::move(entries[key.index]));
    entries.swap(sorted);
}

// The extensions looked for, in that order, for the image of a label file.
const QLatin1String imageExtensions[]
    = {QLatin1String("jpg"),  QLatin1String("jpeg"), QLatin1String("png"),  QLatin1String("bmp"),
       QLatin1String("webp"), QLatin1String("JPG"),  QLatin1String("JPEG"), QLatin1String("PNG")};

// Whether the file name `name` ends in one of imageExtensions after a dot; `stem` gets the
// length before the dot.
bool isImageName(const char *name, size_t length, size_t *stem = nullptr)
{
    const char *dot = static_cast<const char *>(memrchr(name, '.', length));
    if (!dot || dot == name)
        return false;
    const size_t extension = length - size_t(dot - name) - 1;
    for (const QLatin1String &known : imageExtensions) {
        if (size_t(known.size()) == extension
            && std::memcmp(dot + 1, known.data(), extension) == 0) {
            if (stem)
                *stem = size_t(dot - name);
            return true;
        }
    }
    return false;
}

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
            else if (isImageName(name, length))
                ++extras.imageFiles;
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
            const std::string native = QFile::encodeName(name).toStdString();
            entries.push_back({native});
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
    template<typename Visit>
    void forEach(Visit visit) const
    {
        for (const quint32 offset : offsets)
            visit(text.data() + offset, qstrlen(text.data() + offset));
    }
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
    // when that image exists or none of the others does, else the first that exists. `found`
    // tells whether one does.
    // Safe on several threads at once once the folder is listed.
    QLatin1String extensionFor(const char *labelName, int length, bool *found) const
    {
        *found = false;
        if (names.empty())
            return imageExtensions[0];
        // The label name without "txt", keeping the dot.
        std::string key(labelName, size_t(length) - 3);
        const size_t stem = key.size();
        for (const QLatin1String &extension : imageExtensions) {
            key.resize(stem);
            key.append(extension.data(), size_t(extension.size()));
            if (names.contains(key.data(), key.size())) {
                *found = true;
                return extension;
            }
        }
        return imageExtensions[0];
    }

    // Entries for the images whose stem no label file in `labels` has.
    void addUnlabelled(std::vector<LabelEntry> &labels) const
    {
        NameSet stems;
        for (const LabelEntry &entry : labels)
            stems.add(entry.native.data(), entry.stem());
        stems.build();
        names.forEach([&](const char *name, size_t length) {
            size_t stem = 0;
            if (isImageName(name, length, &stem) && !stems.contains(name, stem))
                labels.push_back({std::string(name, length)});
        });
    }

    // Whether the folder holds a file named like a label file.
    bool holdsLabelFiles() const
    {
        bool found = false;
        names.forEach([&](const char *name, size_t length) {
            found = found || (length > 4 && qstrnicmp(name + length - 4, ".txt", 4) == 0);
        });
        return found;
    }

private:
    NameSet names;
};

// The debug line of an image's path as `qCDebug() << path` prints it: in quotes, with what is
// not printable ASCII escaped. Made by the threads that read the label files, so that the row
// maker only passes it on.
QByteArray quotedPath(const QString &path)
{
    QByteArray text;
    text.reserve(path.size() + 2);
    text.append('"');
    for (const QChar c : path) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e || c == QLatin1Char('"')
            || c == QLatin1Char('\\')) {
            QString escaped;
            QDebug(&escaped).nospace() << path;
            return escaped.toUtf8();
        }
        text.append(char(c.unicode()));
    }
    text.append('"');
    return text;
}

// A label file read ahead of the row made from it.
struct ReadSlot
{
    std::atomic<size_t> readFor{0}; // the row whose file the slot holds, plus one
    ImageList::ImageState imageState = ImageList::ImageState::Present;
    QString base, txtFile, filePath;
    QByteArray logLine;
    BBoxList::LoadedFile file;
};

// Opening and reading 100k small files is most of a load, and it goes nearly twice as fast on
// two cores as on one. A second thread and this one take the rows 0 to `count` in order and
// fill a slot for each (`read`: the label file read and parsed); this one makes each row once
// its slot is filled (`make`, then `add`), and fills the next slots itself while it would
// otherwise wait.
// Files read but not yet made into rows (or not yet logged) are held in memory: no more than
// `ahead` of them, in a ring of as many slots. A thread takes a file only below that limit, so
// no thread waits holding a file another needs. With `logEachImage` the second thread also
// writes each slot's debug line, in row order, as soon as it is filled: that takes it off the
// thread that makes the rows.
template<typename Read, typename Make, typename Add>
void readInRowOrder(size_t count, bool logEachImage, Read read, Make make, Add add)
{
    constexpr size_t ahead = 256;
    const std::unique_ptr<ReadSlot[]> files(new ReadSlot[ahead]);
    const auto slotOf = [&files](size_t row) -> ReadSlot & { return files[row % ahead]; };
    const auto isRead = [&slotOf](size_t row) {
        return slotOf(row).readFor.load(std::memory_order_acquire) == row + 1;
    };
    std::atomic<size_t> nextFile{0}, usedCount{0};
    std::atomic<size_t> logged{logEachImage ? 0 : count};
    // Rows before this one are made into rows and logged: their slots can be filled again.
    const auto done = [&] { return std::min(usedCount.load(), logged.load()); };
    const auto takeBelow = [&](size_t limit) {
        size_t i = nextFile.load();
        do {
            if (i >= limit)
                return count;
        } while (!nextFile.compare_exchange_weak(i, i + 1));
        return i;
    };
    const auto fill = [&](size_t i) {
        ReadSlot &slot = slotOf(i);
        read(i, slot);
        slot.readFor.store(i + 1, std::memory_order_release);
    };
    std::thread reader([&] {
        const auto logReady = [&] {
            size_t row = logged.load();
            const size_t before = row;
            for (; row < count && isRead(row); ++row) {
                qCDebug(lcLoad, "%s", slotOf(row).logLine.constData());
                slotOf(row).logLine = QByteArray();
                logged.store(row + 1);
            }
            return row != before;
        };
        while (nextFile.load() < count) {
            logReady();
            const size_t i = takeBelow(std::min(count, done() + ahead));
            if (i < count)
                fill(i);
            else
                std::this_thread::yield();
        }
        while (logged.load() < count) {
            if (!logReady())
                std::this_thread::yield();
        }
    });

    for (size_t i = 0; i < count; ++i) {
        ReadSlot &slot = slotOf(i);
        while (!isRead(i)) {
            const size_t next = takeBelow(std::min(count, done() + ahead));
            if (next < count)
                fill(next);
            else
                std::this_thread::yield();
        }
        auto row = make(slot);
        usedCount.store(i + 1, std::memory_order_release);
        add(std::move(row));
    }
    reader.join();
}

// The label file of an image of a list, as Ultralytics finds it: the last "/images/" of the
// image's path made "/labels/", and the file's extension ".txt".
QString labelFileOfImage(const QString &image)
{
    QString label = image;
    const QLatin1String images("/images/");
    const int at = label.lastIndexOf(images);
    if (at >= 0)
        label.replace(at, images.size(), QStringLiteral("/labels/"));
    const int dot = label.lastIndexOf(QLatin1Char('.'));
    if (dot > label.lastIndexOf(QLatin1Char('/')))
        label.truncate(dot);
    return label + QLatin1String(".txt");
}

// The class files among the entries of `folder`, for a labels folder that is not listed for
// its label files (that of a list's first image).
yolo::LabelFolderExtras classFilesIn(const QString &folder)
{
    yolo::LabelFolderExtras extras;
    if (folder.isEmpty())
        return extras;
    const QDir dir(folder, QStringLiteral("*.yaml"), QDir::NoSort,
                   QDir::Files | QDir::Readable | QDir::CaseSensitive);
    extras.classesTxt = dir.exists(QStringLiteral("classes.txt"));
    extras.yamlFiles = dir.entryList();
    return extras;
}

} // namespace

void ImageList::loadYolo(const QString &txtPath, const QString &imagePath)
{
    YoloPart part;
    part.images = imagePath;
    part.labels = txtPath;
    loadParts({part},
              !namedYaml.isEmpty() && QDir::cleanPath(txtPath) == QDir::cleanPath(namedYamlLabels));
}

void ImageList::loadYoloParts(const QVector<YoloPart> &parts)
{
    loadParts(parts, !namedYaml.isEmpty());
}

void ImageList::loadParts(const QVector<YoloPart> &parts, bool namedNames)
{
    beginResetModel();
    images.clear();

    // The class file before the labels: a pose dataset's kpt_shape decides how lines are read.
    // A dataset file named for these labels (the command line's DATA.yaml) gives them, wherever
    // it lies; else the class file is looked for near the (first part's) labels.
    QString classFile;
    KeypointShape keypoints;
    yolo::ClassNames classNames;
    const auto findNames = [&](const QString &labels, const yolo::LabelFolderExtras &extras) {
        if (namedNames) {
            QByteArray bytes;
            QString error;
            if (io::readFile(namedYaml, bytes)
                && yolo::parseYamlNames(bytes, &classNames, &error, &keypoints)
                && !classNames.isEmpty())
                classFile = namedYaml;
        }
        if (classFile.isEmpty())
            classNames = yolo::findClassNames(labels, extras, &classFile, &keypoints);
    };

    qint32 id = 1;
    const bool logEachImage = lcLoad().isDebugEnabled();
    const auto add = [this](std::shared_ptr<ImageInfo> info) { addImage(std::move(info)); };
    // Paths are put together by hand: QString::arg parses its pattern for every one of 100k.
    const auto joined = [](const QString &folder, const QString &base, QLatin1String extension) {
        QString path;
        path.reserve(folder.size() + base.size() + extension.size() + 2);
        path.append(folder).append(QLatin1Char('/')).append(base);
        path.append(QLatin1Char('.')).append(extension);
        return path;
    };
    // Why a load that made no rows made none, as its first part tells.
    QString emptyReason = tr("Nothing to load.");
    QString firstLabels, firstImages;

    for (int p = 0; p < parts.size(); ++p) {
        const YoloPart &part = parts.at(p);
        const auto makeRow = [&id, p](ReadSlot &slot) {
            auto info = std::make_shared<ImageInfo>();
            info->id = id++;
            info->imageState = slot.imageState;
            info->part = qint16(p);
            info->fileName = std::move(slot.base);
            info->filePath = std::move(slot.filePath);
            info->yoloTxtFilePath = std::move(slot.txtFile);
            info->bboxes = std::make_unique<BBoxList>();
            info->bboxes->setLoaded(std::move(slot.file));
            return info;
        };

        if (part.listed) {
            const QStringList &files = part.imageFiles;
            if (p == 0) {
                if (!files.isEmpty()) {
                    firstImages = QFileInfo(files.first()).path();
                    firstLabels = QFileInfo(labelFileOfImage(files.first())).path();
                }
                findNames(firstLabels, classFilesIn(firstLabels));
                emptyReason = tr("The image list names no images.");
            }
            // Whether a listed image exists is looked up when first asked.
            const auto readListed = [&](size_t i, ReadSlot &slot) {
                const QString &image = files.at(int(i));
                slot.imageState = ImageState::Unknown;
                slot.base = io::baseName(io::fileName(image));
                slot.txtFile = labelFileOfImage(image);
                if (logEachImage)
                    slot.logLine = quotedPath(image);
                slot.filePath = QLatin1Char('/') + image;
                slot.file = BBoxList::readTxtFile(slot.txtFile, keypoints);
            };
            readInRowOrder(size_t(files.size()), logEachImage, readListed, makeRow, add);
            continue;
        }

        const QString &txtPath = part.labels, &imagePath = part.images;
        // The images folder is listed on a thread of its own while the labels folder is listed
        // here.
        std::unique_ptr<ImageFolder> imageFolder;
        std::thread imageLister([&] { imageFolder = std::make_unique<ImageFolder>(imagePath); });
        yolo::LabelFolderExtras extras;
        std::vector<LabelEntry> entries = listLabelEntries(txtPath, extras);
        imageLister.join();
        if (unlabelledShown)
            imageFolder->addUnlabelled(entries);
        sortEntries(entries);
        if (p == 0) {
            firstLabels = txtPath;
            firstImages = imagePath;
            findNames(txtPath, extras);
            if (entries.empty())
                emptyReason = whyNoRows(txtPath, imagePath, extras.imageFiles,
                                        imageFolder->holdsLabelFiles());
        }

        const auto readLabels = [&](size_t i, ReadSlot &slot) {
            const LabelEntry &entry = entries[i];
            bool imageFound = true;
            // The name as listed is a bare file name; its base is all before the last dot.
            slot.base = io::fromNativePath(entry.native.substr(0, entry.stem()).c_str());
            // An image without labels gives the name its label file would have; there is none
            // to read yet.
            slot.txtFile = joined(txtPath, slot.base, QLatin1String("txt"));
            const QLatin1String extension = entry.unlabelled()
                ? QLatin1String(entry.native.data() + entry.stem() + 1,
                                int(entry.native.size() - entry.stem() - 1))
                : imageFolder->extensionFor(entry.native.data(), int(entry.native.size()),
                                            &imageFound);
            slot.imageState = imageFound ? ImageState::Present : ImageState::Missing;
            const QString imageFile = joined(imagePath, slot.base, extension);
            if (logEachImage)
                slot.logLine = quotedPath(imageFile);
            slot.filePath = QLatin1Char('/') + imageFile;
            slot.file = BBoxList::readTxtFile(slot.txtFile, keypoints);
        };
        readInRowOrder(entries.size(), logEachImage, readLabels, makeRow, add);
    }

    // The class names before the views learn of the new rows, so that tiles are made with their
    // colours rather than made and then coloured again.
    setClassFile(classNames.isEmpty() ? QString() : classFile);
    setClassNames(classNames);
    labelsFolder = firstLabels;
    imagesFolder = firstImages;
    yoloParts = parts;
    for (YoloPart &part : yoloParts)
        part.imageFiles.clear();
    labelsFolderWritable = true;
    endResetModel();
    if (images.isEmpty())
        setEmptyReason(emptyReason);
    if (!images.isEmpty() && !io::folderWritable(labelsFolder))
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
    exportLabels(dir);
}

ImageList::ExportResult ImageList::exportLabels(const QString &dir)
{
    ExportResult result;
    for (const auto &info : qAsConst(images)) {
        // Rows of a YOLO load keep their label file's own name: their fileName has already
        // lost its extension. A name from a foreign file must be a plain file name, so that
        // nothing is written outside `dir` and no two images share a label file.
        QString txtName;
        if (!info->yoloTxtFilePath.isEmpty()) {
            txtName = io::fileName(info->yoloTxtFilePath);
        } else {
            const QString &name = info->fileName;
            if (name.isEmpty() || name.contains(QLatin1Char('/'))
                || name.contains(QLatin1Char('\\')) || name == QLatin1String("..")
                || name == QLatin1String(".") || io::baseName(name).isEmpty()) {
                ++result.leftOut;
                continue;
            }
            txtName = QStringLiteral("%1.txt").arg(io::baseName(name));
        }
        const QString path = QStringLiteral("%1/%2").arg(dir, txtName);
        QString error;
        // The bytes a save would write: lines not edited as their label file has them.
        if (io::writeFile(path, info->bboxes->fileBytes(info->yoloTxtFilePath), &error))
            ++result.written;
        else
            result.failures << QStringLiteral("%1: %2").arg(path, error);
    }
    // The class names beside the labels, one a line by class id, as YOLO tools read them.
    const QStringList names = classNameTable();
    if (!names.isEmpty()) {
        QByteArray text;
        for (int i = 0; i < names.size(); ++i)
            text += (names[i].isEmpty() ? QString::number(i) : names[i]).toUtf8() + '\n';
        const QString path = dir + QStringLiteral("/classes.txt");
        QString error;
        if (!io::writeFile(path, text, &error))
            result.failures << QStringLiteral("%1: %2").arg(path, error);
    }
    return result;
}

void ImageList::setShowUnlabelled(bool show)
{
    if (unlabelledShown == show)
        return;
    unlabelledShown = show;
    emit showUnlabelledChanged();
    if (labelsFolder.isEmpty())
        return;

    // The rows of the folders loaded stay as they are, edits and history included; only rows
    // of images without a label file are made or dropped. A list's images all stay: the list
    // names them.
    const auto listed = [this](const ImageInfo &info) {
        return info.part < yoloParts.size() && yoloParts.at(info.part).listed;
    };
    QVector<std::shared_ptr<ImageInfo>> rows;
    rows.reserve(images.size());
    for (int row = 0; row < images.size(); ++row) {
        if (show || hasLabelFile(row) || images.at(row)->bboxes->isModified()
            || listed(*images.at(row)))
            rows.append(images.at(row));
    }
    if (show) {
        qint32 id = 0;
        for (const auto &info : qAsConst(rows))
            id = std::max(id, info->id);
        const KeypointShape keypoints = images.isEmpty()
            ? KeypointShape()
            : images.first()->bboxes->layout().datasetKeypoints();
        const int kept = rows.size();
        for (int p = 0; p < yoloParts.size(); ++p) {
            const YoloPart &part = yoloParts.at(p);
            if (part.listed)
                continue;
            std::vector<LabelEntry> entries;
            entries.reserve(size_t(kept));
            for (int row = 0; row < kept; ++row) {
                if (rows.at(row)->part == p)
                    entries.push_back({io::nativePath(io::fileName(rows.at(row)->yoloTxtFilePath))
                                           .toStdString()});
            }
            const size_t labelled = entries.size();
            ImageFolder(part.images).addUnlabelled(entries);
            for (size_t i = labelled; i < entries.size(); ++i) {
                const LabelEntry &entry = entries[i];
                auto info = std::make_shared<ImageInfo>();
                info->id = ++id;
                info->imageState = ImageState::Present;
                info->part = qint16(p);
                info->fileName = io::fromNativePath(entry.native.substr(0, entry.stem()).c_str());
                info->filePath = QStringLiteral("/%1/%2").arg(part.images, entry.name());
                info->yoloTxtFilePath
                    = QStringLiteral("%1/%2.txt").arg(part.labels, info->fileName);
                info->bboxes = std::make_unique<BBoxList>();
                info->bboxes->setLoaded(BBoxList::readTxtFile(info->yoloTxtFilePath, keypoints));
                rows.append(std::move(info));
            }
        }
        // Each part's rows together, in the order of the parts; a folder's in natural name
        // order, a list's in its own.
        std::stable_sort(
            rows.begin(), rows.end(),
            [&listed](const std::shared_ptr<ImageInfo> &a, const std::shared_ptr<ImageInfo> &b) {
                if (a->part != b->part)
                    return a->part < b->part;
                return !listed(*a) && natural::less(a->fileName, b->fileName);
            });
    }
    if (rows.size() == images.size())
        return;
    // One reset rather than a signal for every row that comes or goes; the same dataset.
    relayingOut = true;
    beginResetModel();
    images = std::move(rows);
    endResetModel();
    relayingOut = false;
    setEmptyReason(images.isEmpty() ? whyNoRows(labelsFolder, imagesFolder, 0, false) : QString());
    emit unsavedChanged();
}
