#pragma once

// Every file the program reads or writes goes through here: whole-file reads bounded by what a
// QByteArray holds, writes that replace a file only once the new content is complete, and the
// stamps and link checks that tell whether a file changed or leads elsewhere. Plain functions
// without a QObject, so that loader threads can call them.

#include <QByteArray>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

class QFile;

namespace io {

// What tells one version of a file from the next: its size, modification time and file (a
// save that replaces the file by renaming gives it a new inode). A missing file has size -1.
struct FileStamp
{
    qint64 size = -1;
    qint64 modifiedNs = 0;
    quint64 inode = 0;

    bool operator==(const FileStamp &other) const
    {
        return size == other.size && modifiedNs == other.modifiedNs && inode == other.inode;
    }
    bool operator!=(const FileStamp &other) const { return !(*this == other); }
};

// Files above this size are refused by readFile: a QByteArray cannot hold them.
constexpr qint64 maxReadSize = 0x7fffffff - 64;

// A file read from front to back a part at a time, into memory the caller provides: for files
// too large to be worth holding whole. Opens as readFile does.
class FileReader
{
public:
    explicit FileReader(const QString &path);
    ~FileReader();
    FileReader(const FileReader &) = delete;
    FileReader &operator=(const FileReader &) = delete;

    bool isOpen() const;
    // The size the file has now; -1 when it is not open.
    qint64 size() const;
    // The stamp of the file opened (size -1 when it is not open).
    FileStamp stamp() const;
    // Up to `size` bytes: the number read, 0 at the end, -1 on an error.
    qint64 read(char *buffer, qint64 size);
    // Up to `size` bytes from `offset`, wherever the reading stands.
    qint64 readAt(char *buffer, qint64 size, qint64 offset);

private:
    int fd = -1;
    std::unique_ptr<QFile> file;
};

// The whole file; false when it cannot be opened or read or is larger than maxReadSize.
// `stamp`, when given, receives the stamp of the file read (size -1 when it could not be).
bool readFile(const QString &path, QByteArray &bytes, FileStamp *stamp = nullptr);
// Replaces the file's content, keeping the old content when anything fails. `error`, when
// given, receives the reason of a failure ("Permission denied", ...).
bool writeFile(const QString &path, const QByteArray &bytes, QString *error = nullptr);
// writeFile for content made in parts: `next` appends the next part to its (empty) argument and
// returns whether more follows. The file is replaced only when all is written.
bool writeFileInParts(const QString &path, const std::function<bool(QByteArray &)> &next,
                      QString *error = nullptr);
bool fileExists(const QString &path);
// The folder the program keeps its state in between runs: "pallaster" in $XDG_STATE_HOME, or in
// ~/.local/state without it. Not made here.
QString stateFolder();
bool removeFile(const QString &path);

// Moves the file to the desktop trash (the freedesktop one on Linux); `pathInTrash` receives
// where it went. False, leaving the file where it was, when there is no trash to take it.
bool moveToTrash(const QString &path, QString *pathInTrash);
// Moves a file that moveToTrash put at `pathInTrash` back to `path`, and drops its trash
// record. False when that cannot be done, or a file is at `path` again.
bool restoreFromTrash(const QString &pathInTrash, const QString &path);

// Whether files can be made in the folder at `path`: false when it is no folder, or the file
// system is read-only, or the process may not write there.
bool folderWritable(const QString &path);

// The file's stamp as it is now; size -1 when it does not exist.
FileStamp fileStamp(const QString &path);

// Whether `path` is a symbolic link whose target (all links resolved) is not inside the folder
// that holds `path`: a label file must not reach out of its labels folder.
bool linkLeavesFolder(const QString &path);

// File names as the file system takes them, as QFile::encodeName and decodeName convert them,
// without their codec lookup when the locale's encoding is UTF-8.
QByteArray nativePath(const QString &path);
QString fromNativePath(const char *name);

// The last part of a path, as QFileInfo::fileName gives it.
QString fileName(const QString &path);
// The size of the image file at `path` as it is shown, from its header: width and height
// swapped where its EXIF orientation turns it a quarter. Invalid when the header does not say.
QSize imageSize(const QString &path);
// A name without its last extension: everything before the last dot.
QString baseName(const QString &name);

} // namespace io
