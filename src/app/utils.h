#pragma once

#include "io/fileio.h"

#include <QByteArray>
#include <QColor>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

// The io layer's records under the names the rest of the program has always used.
using FileStamp = io::FileStamp;
using FileReader = io::FileReader;

// QML helpers. The file members pass on to the io layer, which C++ code calls directly.
class Utils : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString osName READ osName NOTIFY osNameChanged)
    Q_PROPERTY(bool isDebug READ isDebug NOTIFY isDebugChanged)

public:
    explicit Utils(QObject *parent = nullptr);
    ~Utils() override;

    static Utils *instance();
    static bool hasInstance() { return s_instance != nullptr; }

    QString osName() const { return QStringLiteral("windows"); }
    bool isDebug() const { return false; }

    // `stamp`, when given, receives the stamp of the file read (size -1 when it could not be).
    bool readFile(const QString &path, QByteArray &bytes, FileStamp *stamp = nullptr);
    // `error`, when given, receives the reason of a failure ("Permission denied", ...).
    bool writeFile(const QString &path, const QByteArray &bytes, QString *error = nullptr);
    // writeFile for content made in parts: `next` appends the next part to its (empty)
    // argument and returns whether more follows. The file is replaced only when all is written.
    static bool writeFileInParts(const QString &path, const std::function<bool(QByteArray &)> &next,
                                 QString *error = nullptr);
    bool fileExists(const QString &path);
    bool removeFile(const QString &path);

    // The file's stamp as it is now; size -1 when it does not exist.
    static FileStamp fileStamp(const QString &path);

    // Whether `path` is a symbolic link whose target (all links resolved) is not inside the
    // folder that holds `path`: a label file must not reach out of its labels folder.
    static bool linkLeavesFolder(const QString &path);

    // File names as the file system takes them, as QFile::encodeName and decodeName convert
    // them, without their codec lookup when the locale's encoding is UTF-8.
    static QByteArray nativePath(const QString &path);
    static QString fromNativePath(const char *name);

    // Files above this size are refused by readFile: a QByteArray cannot hold them.
    static constexpr qint64 maxReadSize = io::maxReadSize;

signals:
    void osNameChanged();
    void isDebugChanged();

public slots:
    QColor invertColor(const QColor &c);
    QString baseName(const QString &filename);
    QString fileName(const QString &filePath);
    QString toLocalPath(const QUrl &url);
    QString safeName(const QString &name);
    // Why the image at `path` cannot be shown: "Image not found: name.jpg", or the decoder's
    // reason; empty when it can be read.
    QString imageProblem(const QString &path);

private:
    static void create();
    static Utils *s_instance;
};
