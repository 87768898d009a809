#pragma once

#include <QByteArray>
#include <QColor>
#include <QObject>
#include <QString>
#include <QUrl>

// QML helpers plus the file operations every reader and writer of the data goes through.
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

    bool readFile(const QString &path, QByteArray &bytes);
    bool writeFile(const QString &path, const QByteArray &bytes);
    bool fileExists(const QString &path);
    bool removeFile(const QString &path);

    // File names as the file system takes them, as QFile::encodeName and decodeName convert
    // them, without their codec lookup when the locale's encoding is UTF-8.
    static QByteArray nativePath(const QString &path);
    static QString fromNativePath(const char *name);

    // Files above this size are refused by readFile: a QByteArray cannot hold them.
    static constexpr qint64 maxReadSize = 0x7fffffff - 64;

signals:
    void osNameChanged();
    void isDebugChanged();

public slots:
    QColor invertColor(const QColor &c);
    QString baseName(const QString &filename);
    QString fileName(const QString &filePath);
    QString toLocalPath(const QUrl &url);
    QString safeName(const QString &name);

private:
    static void create();
    static Utils *s_instance;
};
