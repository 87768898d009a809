#include "app/imagedecoder.h"
#include "io/fileio.h"

#include <QImage>
#include <QImageWriter>
#include <QQuickImageResponse>
#include <QQuickTextureFactory>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <memory>

class TestImageDecoder : public QObject
{
    Q_OBJECT

private slots:
    void decodesToFit_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QSize>("original");
        QTest::addColumn<QSize>("requested");
        QTest::addColumn<QSize>("expected");
        // A region of the image (its pixels) only: what the zoomed editor shows.
        QTest::addColumn<QRect>("region");

        QTest::newRow("12 MP photo into a tile")
            << "jpg" << QSize(4032, 3024) << QSize(300, 300) << QSize(300, 225) << QRect();
        QTest::newRow("region of a 12 MP photo, shrunk")
            << "jpg" << QSize(4032, 3024) << QSize(500, 500) << QSize(500, 250)
            << QRect(1000, 1000, 1200, 600);
        QTest::newRow("region, as it is") << "png" << QSize(300, 300) << QSize(640, 640)
                                          << QSize(40, 30) << QRect(100, 100, 40, 30);
        QTest::newRow("region cut to the image")
            << "png" << QSize(300, 200) << QSize() << QSize(50, 20) << QRect(250, 180, 100, 100);
        QTest::newRow("portrait, height bound")
            << "jpg" << QSize(1200, 1600) << QSize(300, 300) << QSize(225, 300) << QRect();
        QTest::newRow("smaller than asked: never enlarged")
            << "jpg" << QSize(200, 100) << QSize(640, 640) << QSize(200, 100) << QRect();
        QTest::newRow("one side larger")
            << "jpg" << QSize(200, 100) << QSize(150, 640) << QSize(150, 75) << QRect();
        QTest::newRow("png") << "png" << QSize(300, 300) << QSize(100, 50) << QSize(50, 50)
                             << QRect();
        QTest::newRow("no size asked: as it is")
            << "png" << QSize(300, 200) << QSize() << QSize(300, 200) << QRect();
        QTest::newRow("empty size asked: as it is")
            << "jpg" << QSize(300, 200) << QSize(0, 0) << QSize(300, 200) << QRect();
    }
    void decodesToFit()
    {
        QFETCH(QString, format);
        QFETCH(QSize, original);
        QFETCH(QSize, requested);
        QFETCH(QSize, expected);
        QFETCH(QRect, region);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("photo.") + format);
        QImage image(original, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QVERIFY(image.save(path));

        QString error;
        const QImage decoded = ImageDecoder::decode(path, requested, &error, region);
        QCOMPARE(decoded.size(), expected);
        QVERIFY(error.isEmpty());
    }

    // A JPEG whose EXIF orientation turns it: decoded upright, its size and regions those of
    // the upright picture. The file's pixels are 40 x 20, red on the left, blue on the right.
    void upright_data()
    {
        QTest::addColumn<int>("turn");
        QTest::addColumn<QSize>("requested");
        QTest::addColumn<QRect>("region");
        QTest::addColumn<QSize>("expected");
        QTest::addColumn<QPoint>("pixel");
        QTest::addColumn<bool>("red"); // else blue
        const int none = QImageIOHandler::TransformationNone;
        const int quarter = QImageIOHandler::TransformationRotate90;
        const int half = QImageIOHandler::TransformationRotate180;
        const int threeQuarters = QImageIOHandler::TransformationRotate270;
        QTest::newRow("as stored")
            << none << QSize() << QRect() << QSize(40, 20) << QPoint(5, 10) << true;
        QTest::newRow("a quarter: left on top")
            << quarter << QSize() << QRect() << QSize(20, 40) << QPoint(10, 5) << true;
        QTest::newRow("a quarter: right at the bottom")
            << quarter << QSize() << QRect() << QSize(20, 40) << QPoint(10, 35) << false;
        QTest::newRow("three quarters: left at the bottom")
            << threeQuarters << QSize() << QRect() << QSize(20, 40) << QPoint(10, 35) << true;
        QTest::newRow("a quarter, fitted")
            << quarter << QSize(10, 10) << QRect() << QSize(5, 10) << QPoint(2, 1) << true;
        QTest::newRow("a quarter, the lower half") << quarter << QSize() << QRect(0, 20, 20, 20)
                                                   << QSize(20, 20) << QPoint(10, 10) << false;
        QTest::newRow("half, the left half")
            << half << QSize() << QRect(0, 0, 20, 20) << QSize(20, 20) << QPoint(10, 10) << false;
    }
    void upright()
    {
        QFETCH(int, turn);
        QFETCH(QSize, requested);
        QFETCH(QRect, region);
        QFETCH(QSize, expected);
        QFETCH(QPoint, pixel);
        QFETCH(bool, red);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("phone.jpg"));
        QImage stored(40, 20, QImage::Format_RGB32);
        stored.fill(Qt::blue);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x)
                stored.setPixel(x, y, qRgb(255, 0, 0));
        QImageWriter writer(path, "jpg");
        writer.setQuality(100);
        writer.setTransformation(QImageIOHandler::Transformations(turn));
        QVERIFY(writer.write(stored));

        if (!region.isValid() && !requested.isValid())
            QCOMPARE(io::imageSize(path), expected);
        QString error;
        const QImage decoded = ImageDecoder::decode(path, requested, &error, region);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(decoded.size(), expected);
        const QColor colour = decoded.pixelColor(pixel);
        QVERIFY2(red ? colour.red() > 200 && colour.blue() < 60
                     : colour.blue() > 200 && colour.red() < 60,
                 qPrintable(colour.name()));
    }

    void failsWithAReason_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("not an image") << QByteArray("1 0.5 0.5 0.1 0.1\n");
        QTest::newRow("truncated jpeg") << QByteArray("\xff\xd8\xff\xe0\x00\x10JFIF", 10);
    }
    void failsWithAReason()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("photo.jpg"));
        if (!bytes.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }
        QString error;
        QVERIFY(ImageDecoder::decode(path, QSize(100, 100), &error).isNull());
        QVERIFY2(error.startsWith(path + QStringLiteral(": ")), qPrintable(error));
    }

    // What the decoder keeps after two calls of hold(): the files are gone when `asked` is
    // requested, so only a kept image can be served.
    void heldImages_data()
    {
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("then");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<bool>("served");
        const QStringList ab = {"a", "b"}, bc = {"b", "c"};
        QTest::newRow("held") << ab << ab << "a" << true;
        QTest::newRow("held again") << ab << bc << "b" << true;
        QTest::newRow("new one decoded") << ab << bc << "c" << true;
        QTest::newRow("let go") << ab << bc << "a" << false;
        QTest::newRow("all let go") << ab << QStringList() << "b" << false;
    }
    void heldImages()
    {
        QFETCH(QStringList, first);
        QFETCH(QStringList, then);
        QFETCH(QString, asked);
        QFETCH(bool, served);
        QTemporaryDir dir;
        const auto paths = [&dir](const QStringList &names) {
            QStringList result;
            for (const QString &name : names)
                result << dir.filePath(name + QStringLiteral(".jpg"));
            return result;
        };
        QImage photo(800, 600, QImage::Format_RGB32);
        photo.fill(Qt::darkCyan);
        for (const QString &path : paths({"a", "b", "c"}))
            QVERIFY(photo.save(path));
        // Larger than any thumbnail: decoded from the photo.
        const QSize size(400, 400);
        ImageDecoder decoder(ThumbnailCache(dir.filePath(QStringLiteral("thumbnails"))));
        decoder.hold(paths(first), size);
        QTRY_COMPARE(decoder.heldReady(), first.size());
        decoder.hold(paths(then), size);
        QTRY_COMPARE(decoder.heldReady(), then.size());
        for (const QString &path : paths({"a", "b", "c"}))
            QVERIFY(QFile::remove(path));

        std::unique_ptr<QQuickImageResponse> response(decoder.requestImageResponse(
            QString::fromUtf8(QUrl::toPercentEncoding(paths({asked}).first())), size));
        QSignalSpy finished(response.get(), &QQuickImageResponse::finished);
        QVERIFY(finished.wait(10000));
        std::unique_ptr<QQuickTextureFactory> texture(response->textureFactory());
        // No texture at all for an image that could not be decoded.
        QCOMPARE(texture ? texture->image().size() : QSize(), served ? QSize(400, 300) : QSize());
        QCOMPARE(response->errorString().isEmpty(), served);
    }
};

QTEST_MAIN(TestImageDecoder)
#include "tst_imagedecoder.moc"
