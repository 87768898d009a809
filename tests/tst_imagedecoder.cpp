#include "app/imagedecoder.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

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
};

QTEST_GUILESS_MAIN(TestImageDecoder)
#include "tst_imagedecoder.moc"
