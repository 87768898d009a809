#include "io/fileio.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextCodec>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace io {

namespace {

bool localeIsUtf8()
{
    static const bool utf8 = QTextCodec::codecForLocale()->mibEnum() == 106;
    return utf8;
}

} // namespace

QByteArray nativePath(const QString &path)
{
    return localeIsUtf8() ? path.toUtf8() : QFile::encodeName(path);
}

QString fromNativePath(const char *name)
{
    return localeIsUtf8() ? QString::fromUtf8(name) : QFile::decodeName(name);
}

namespace {

// Appends chunks from `readChunk` until it reports the end (0) or an error (negative), never
// holding more than maxReadSize bytes. `sizeHint` gives the file's size once it is
// known to be larger than one chunk. `statSize`, when not negative, is the size the file had
// when its stamp was taken: a first read that gives exactly that much is the whole file as
// stamped, without a second read to find the end (a file that grew since has another stamp).
template<typename ReadChunk, typename SizeHint>
bool readAllBounded(ReadChunk readChunk, SizeHint sizeHint, QByteArray &bytes, qint64 statSize = -1)
{
    // Label files are small: one read into the stack buffer (and one that finds the end).
    char chunk[65536];
    QByteArray content;
    qint64 got = readChunk(chunk, qint64(sizeof chunk));
    if (got >= 0 && got == statSize && got < qint64(sizeof chunk)) {
        bytes = QByteArray(chunk, int(got));
        return true;
    }
    if (got == qint64(sizeof chunk)) {
        // A larger file: refuse what a QByteArray cannot hold before allocating anything.
        const qint64 size = sizeHint();
        if (size > maxReadSize)
            return false;
        content.reserve(int(qMax(size, got)));
        content.append(chunk, int(got));
        // The rest goes straight into the array, as long as the file is no larger than it
        // was said to be; a file that grows meanwhile goes on in chunks.
        for (;;) {
            const int used = content.size();
            const int room = content.capacity() - used;
            if (room <= 0)
                break;
            content.resize(used + room); // within the capacity: no reallocation
            const qint64 n = readChunk(content.data() + used, room);
            content.resize(used + int(qMax<qint64>(n, 0)));
            if (n < 0)
                return false;
            if (n == 0) {
                bytes = content;
                return true;
            }
        }
        got = readChunk(chunk, qint64(sizeof chunk));
    }
    while (got > 0) {
        if (qint64(content.size()) + got > maxReadSize)
            return false;
        content.append(chunk, int(got));
        got = readChunk(chunk, qint64(sizeof chunk));
    }
    if (got < 0)
        return false;
    bytes = content;
    return true;
}

} // namespace

namespace {

#ifdef Q_OS_UNIX
FileStamp stampFromStat(const struct stat &info)
{
    FileStamp stamp;
    stamp.size = qint64(info.st_size);
    stamp.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + qint64(info.st_mtim.tv_nsec);
    stamp.inode = quint64(info.st_ino);
    return stamp;
}
#endif

FileStamp stampFromInfo(const QFileInfo &info)
{
    FileStamp stamp;
    if (!info.exists())
        return stamp;
    stamp.size = info.size();
    stamp.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
    return stamp;
}

} // namespace

FileStamp fileStamp(const QString &path)
{
#ifdef Q_OS_UNIX
    if (!path.startsWith(QLatin1Char(':'))) {
        struct stat info;
        if (::stat(nativePath(path).constData(), &info) != 0)
            return FileStamp();
        return stampFromStat(info);
    }
#endif
    return stampFromInfo(QFileInfo(path));
}

bool linkLeavesFolder(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return false;
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    QString target = info.canonicalFilePath();
    if (target.isEmpty()) {
        // A dangling link: where a write would create the file.
        const QFileInfo created(info.symLinkTarget());
        target = QFileInfo(created.absolutePath()).canonicalFilePath() + QLatin1Char('/')
            + created.fileName();
    }
    return folder.isEmpty() || !target.startsWith(folder + QLatin1Char('/'));
}

FileReader::FileReader(const QString &path)
{
#ifdef Q_OS_UNIX
    // Loading a dataset reads every label file once. QFile spends seven system calls on a
    // small file (two fstat, three reads) where open, read, read and close do; that alone made
    // a 100k-file load take twice as long. Resource paths still go through QFile. O_NONBLOCK
    // keeps a FIFO in a label folder from hanging the program: it reads as empty.
    if (!path.startsWith(QLatin1Char(':'))) {
        const QByteArray native = nativePath(path);
        do {
            fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        } while (fd < 0 && errno == EINTR);
        return;
    }
#endif
    file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        file.reset();
}

FileReader::~FileReader()
{
#ifdef Q_OS_UNIX
    if (fd >= 0)
        ::close(fd);
#endif
}

bool FileReader::isOpen() const
{
    return fd >= 0 || file;
}

qint64 FileReader::size() const
{
#ifdef Q_OS_UNIX
    if (fd >= 0) {
        struct stat info;
        return ::fstat(fd, &info) == 0 ? qint64(info.st_size) : -1;
    }
#endif
    return file ? file->size() : -1;
}

FileStamp FileReader::stamp() const
{
#ifdef Q_OS_UNIX
    if (fd >= 0) {
        struct stat info;
        return ::fstat(fd, &info) == 0 ? stampFromStat(info) : FileStamp();
    }
#endif
    return file ? stampFromInfo(QFileInfo(file->fileName())) : FileStamp();
}

qint64 FileReader::readAt(char *buffer, qint64 size, qint64 offset)
{
#ifdef Q_OS_UNIX
    if (fd >= 0) {
        ssize_t got;
        do {
            got = ::pread(fd, buffer, size_t(size), off_t(offset));
        } while (got < 0 && errno == EINTR);
        return got;
    }
#endif
    return file && file->seek(offset) ? file->read(buffer, size) : -1;
}

qint64 FileReader::read(char *buffer, qint64 size)
{
#ifdef Q_OS_UNIX
    if (fd >= 0) {
        ssize_t got;
        do {
            got = ::read(fd, buffer, size_t(size));
        } while (got < 0 && errno == EINTR);
        return got;
    }
#endif
    return file ? file->read(buffer, size) : -1;
}

bool readFile(const QString &path, QByteArray &bytes, FileStamp *stamp)
{
    if (stamp)
        *stamp = FileStamp();
    FileReader reader(path);
    if (!reader.isOpen())
        return false;
    if (stamp)
        *stamp = reader.stamp();
    return readAllBounded(
        [&reader](char *buffer, qint64 size) { return reader.read(buffer, size); },
        [&reader]() { return qMax<qint64>(reader.size(), 0); }, bytes, stamp ? stamp->size : -1);
}

bool writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    return writeFileInParts(
        path,
        [&bytes](QByteArray &part) {
            part = bytes;
            return false;
        },
        error);
}

bool writeFileInParts(const QString &path, const std::function<bool(QByteArray &)> &next,
                      QString *error)
{
    // The new content goes to a temporary file that replaces the old one only once it is
    // complete, so a full disk or a crash never leaves a half-written file behind.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    bool ok = file.open(QIODevice::WriteOnly);
    QByteArray part;
    for (bool more = ok; more;) {
        part.resize(0); // keeps the allocation for the next part
        more = next(part);
        if (file.write(part) != part.size()) {
            ok = false;
            file.cancelWriting();
            break;
        }
    }
    if (ok)
        ok = file.commit();
    if (!ok && error)
        *error = file.errorString();
    return ok;
}

QString stateFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/pallaster");
}

bool fileExists(const QString &path)
{
    return QFileInfo::exists(path);
}

bool removeFile(const QString &path)
{
    return QFile::remove(path);
}

bool folderWritable(const QString &path)
{
    return QFileInfo(path).isDir() && ::access(nativePath(path).constData(), W_OK) == 0;
}

bool moveToTrash(const QString &path, QString *pathInTrash)
{
    // Without its data folder Qt's trash would be made in the current directory, and the move
    // still reported as a success.
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty() || !QDir().mkpath(dataHome))
        return false;
    QString moved;
    if (!QFile::exists(path) || !QFile::moveToTrash(path, &moved))
        return false;
    // A trash holds its files in "files" beside "info", in a folder named Trash or .Trash-uid.
    const QDir filesDir = QFileInfo(moved).dir();
    const QString trashName = QFileInfo(filesDir.absolutePath()).dir().dirName();
    if (filesDir.dirName() != QLatin1String("files") || !trashName.contains(QLatin1String("Trash"))
        || QFile::exists(path)) {
        // Not where a trash keeps files: put it back rather than lose track of it.
        QFile::rename(moved, path);
        return false;
    }
    *pathInTrash = moved;
    return true;
}

bool restoreFromTrash(const QString &pathInTrash, const QString &path)
{
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink() || !QFile::rename(pathInTrash, path))
        return false;
    QDir trash = QFileInfo(pathInTrash).dir();
    trash.cdUp();
    QFile::remove(
        trash.filePath(QStringLiteral("info/%1.trashinfo").arg(QFileInfo(pathInTrash).fileName())));
    return true;
}

QString fileName(const QString &path)
{
    return QFileInfo(path).fileName();
}

QSize imageSize(const QString &path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    return reader.transformation() & QImageIOHandler::TransformationRotate90 ? stored.transposed()
                                                                             : stored;
}

QString baseName(const QString &name)
{
    // Same result as splitting at every dot and joining all parts but the last.
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

} // namespace io
