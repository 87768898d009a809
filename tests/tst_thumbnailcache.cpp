#include "app/imagedecoder.h"
#include "app/thumbnailcache.h"

#include <QFileInfo>
#include <QImageReader>
#include <QQuickImageResponse>
#include <QQuickTextureFactory>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <memory>

namespace {

// What the decoder hands an Image item for `path` fitted into `size`.
QImage request(ImageDecoder &decoder, const QString &path, const QSize &size)
{
    std::unique_ptr<QQuickImageResponse> response(
        decoder.requestImageResponse(QString::fromUtf8(QUrl::toPercentEncoding(path, "/")), size));
    QSignalSpy finished(response.get(), &QQuickImageResponse::finished);
    if (!finished.wait(10000))
        return QImage();
    std::unique_ptr<QQuickTextureFactory> texture(response->textureFactory());
    return texture ? texture->image() : QImage();
}

QImage filled(const QSize &size, Qt::GlobalColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// The owner's bits and everyone else's.
const QFileDevice::Permissions privateBits(0x7000 | 0x0077);

} // namespace

class TestThumbnailCache : public QObject
{
    Q_OBJECT

private slots:
    void names_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("uri");
        QTest::addColumn<QString>("name");

        // The example the desktop's thumbnailers agree on.
        QTest::newRow("plain") << "/home/jens/photos/me.png"
                               << QByteArray("file:///home/jens/photos/me.png")
                               << "c6ee772d9e49320e97ec29a7eb5b1697.png";
        QTest::newRow("space and non-ASCII, percent-encoded")
            << QString::fromUtf8("/data/set 1/caf\xc3\xa9.jpg")
            << QByteArray("file:///data/set%201/caf%C3%A9.jpg") << QString();
        QTest::newRow("dots resolved") << "/data/images/../images/a.jpg"
                                       << QByteArray("file:///data/images/a.jpg") << QString();
    }
    void names()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, uri);
        QFETCH(QString, name);
        QCOMPARE(ThumbnailCache::uriOf(path), uri);
        const ThumbnailCache cache(QStringLiteral("/cache/thumbnails"));
        const QString kept = cache.thumbnailPath(path, ThumbnailCache::largeEdge);
        QVERIFY(kept.startsWith(QStringLiteral("/cache/thumbnails/large/")));
        if (!name.isEmpty())
            QCOMPARE(QFileInfo(kept).fileName(), name);
    }

    void sizeChosen_data()
    {
        QTest::addColumn<QSize>("requested");
        QTest::addColumn<int>("edge");
        QTest::newRow("10 columns") << QSize(119, 119) << 128;
        QTest::newRow("exactly normal") << QSize(128, 96) << 128;
        QTest::newRow("one side over normal") << QSize(129, 10) << 256;
        QTest::newRow("exactly large") << QSize(256, 256) << 256;
        QTest::newRow("4 columns: x-large") << QSize(257, 1) << 512;
        QTest::newRow("larger: the photo") << QSize(513, 1) << 0;
        QTest::newRow("no size: the photo") << QSize() << 0;
    }
    void sizeChosen()
    {
        QFETCH(QSize, requested);
        QFETCH(int, edge);
        QCOMPARE(ThumbnailCache::edgeFor(requested), edge);
    }

    // What a request leaves in the cache and what it shows, given what the cache held before.
    void throughTheDecoder_data()
    {
        QTest::addColumn<QSize>("requested");
        // A thumbnail already there: "" none, "current" made for the file as it is, "stale"
        // made for an older version, "other file" made for another file with the same name,
        // "earlier" made by a version of this program that did not turn photos upright.
        QTest::addColumn<QString>("before");
        // The size it was kept at.
        QTest::addColumn<int>("beforeEdge");
        QTest::addColumn<bool>("shownFromBefore");
        // The cache folder is below a plain file, so that nothing can be written there.
        QTest::addColumn<bool>("unwritable");
        QTest::addColumn<QString>("keptIn");

        QTest::newRow("made and kept") << QSize(119, 119) << "" << 0 << false << false << "normal";
        QTest::newRow("large") << QSize(200, 200) << "" << 0 << false << false << "large";
        QTest::newRow("x-large") << QSize(300, 300) << "" << 0 << false << false << "x-large";
        QTest::newRow("larger than x-large: nothing kept")
            << QSize(600, 600) << "" << 0 << false << false << "";
        QTest::newRow("another program's, used as it is")
            << QSize(100, 100) << "current" << 0 << true << false << "normal";
        QTest::newRow("stale time: made again")
            << QSize(100, 100) << "stale" << 0 << false << false << "normal";
        QTest::newRow("an earlier version's, maybe sideways: made again")
            << QSize(100, 100) << "earlier" << 0 << false << false << "normal";
        QTest::newRow("another file's: made again")
            << QSize(100, 100) << "other file" << 0 << false << false << "normal";
        QTest::newRow("a larger one kept, used for a smaller tile")
            << QSize(100, 100) << "current" << 256 << true << false << "large";
        QTest::newRow("unwritable cache: shown all the same")
            << QSize(119, 119) << "" << 0 << false << true << "";
    }
    void throughTheDecoder()
    {
        QFETCH(QSize, requested);
        QFETCH(QString, before);
        QFETCH(int, beforeEdge);
        QFETCH(bool, shownFromBefore);
        QFETCH(bool, unwritable);
        QFETCH(QString, keptIn);

        QTemporaryDir dir;
        const QString photo = dir.filePath(QStringLiteral("photo.jpg"));
        QVERIFY(filled(QSize(1600, 1200), Qt::blue).save(photo));
        const qint64 mtime = ThumbnailCache::modificationTime(photo);
        QVERIFY(mtime > 0);
        QString root = dir.filePath(QStringLiteral("cache/thumbnails"));
        if (unwritable) {
            QFile blocker(dir.filePath(QStringLiteral("cache")));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        const ThumbnailCache cache(root);
        const int edge = beforeEdge > 0
            ? beforeEdge
            : qMax(ThumbnailCache::edgeFor(requested), ThumbnailCache::normalEdge);
        const QString kept = cache.thumbnailPath(photo, edge);
        QByteArray beforeBytes;
        if (!before.isEmpty()) {
            // As a file manager writes it: red, so that what is shown tells where it came from.
            QImage other = filled(QSize(128, 96), Qt::red);
            const QString owner = before == QLatin1String("other file")
                ? QStringLiteral("file:///elsewhere/photo.jpg")
                : QString::fromUtf8(ThumbnailCache::uriOf(photo));
            other.setText(QStringLiteral("Thumb::URI"), owner);
            other.setText(QStringLiteral("Thumb::MTime"),
                          QString::number(before == QLatin1String("stale") ? mtime - 60 : mtime));
            other.setText(QStringLiteral("Software"),
                          before == QLatin1String("earlier") ? QStringLiteral("Pallaster")
                                                             : QStringLiteral("a file manager"));
            QVERIFY(QDir().mkpath(QFileInfo(kept).path()));
            QVERIFY(other.save(kept, "png"));
            QFile file(kept);
            QVERIFY(file.open(QIODevice::ReadOnly));
            beforeBytes = file.readAll();
        }

        {
            ImageDecoder decoder(cache);
            const QImage shown = request(decoder, photo, requested);
            QVERIFY(!shown.isNull());
            QVERIFY(shown.width() <= requested.width() && shown.height() <= requested.height());
            QCOMPARE(QColor(shown.pixel(shown.width() / 2, shown.height() / 2)).red() > 200,
                     shownFromBefore);
        } // The thumbnail is written after the picture is handed over: gone, the decoder is done.
        if (keptIn.isEmpty()) {
            QVERIFY(!QFileInfo::exists(kept) || !beforeBytes.isEmpty());
            QVERIFY(!QFileInfo::exists(cache.thumbnailPath(photo, ThumbnailCache::largeEdge)));
            return;
        }
        QCOMPARE(QFileInfo(kept).path(), root + QLatin1Char('/') + keptIn);
        QFile file(kept);
        QVERIFY(file.open(QIODevice::ReadOnly));
        if (shownFromBefore) {
            QCOMPARE(file.readAll(), beforeBytes);
            return;
        }
        // Private to the user, as the folders.
        QCOMPARE(file.permissions() & privateBits,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QImageReader reader(&file, "png");
        const QImage thumbnail = reader.read();
        QCOMPARE(thumbnail.size(), QSize(edge, edge * 3 / 4));
        QCOMPARE(thumbnail.text(QStringLiteral("Thumb::URI")).toUtf8(),
                 ThumbnailCache::uriOf(photo));
        QCOMPARE(thumbnail.text(QStringLiteral("Thumb::MTime")), QString::number(mtime));
        QVERIFY(QColor(thumbnail.pixel(edge / 2, edge / 3)).blue() > 200);
        if (before.isEmpty()) {
            QCOMPARE(QFile::permissions(root) & privateBits,
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        }
        // No temporary file is left beside it.
        QCOMPARE(QDir(QFileInfo(kept).path()).entryList(QDir::Files).size(), 1);
    }
};

QTEST_MAIN(TestThumbnailCache)
#include "tst_thumbnailcache.moc"
