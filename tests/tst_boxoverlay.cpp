// The grid tile's overlay painted into an image: each kind of line in its class colour, scaled to
// the item and clipped to it; and the tile's face around the picture.
#include "app/boxoverlay.h"
#include "app/tileface.h"
#include "dataset/categorytable.h"
#include "format/yololabels.h"

#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

namespace {

// The overlay of the label line `line` on a 100 x 100 item, as `set` sets it up, painted into
// a transparent image `side` pixels square.
QImage painted(const QByteArray &line, CategoryTable &categories, int side,
               const std::function<void(BoxOverlay &)> &set)
{
    BBoxList list;
    list.setLoaded({yolo::parseLabels(line), {}, {}, {}});
    BoxOverlay overlay;
    overlay.setSize(QSizeF(100, 100));
    overlay.setBoxes(&list);
    overlay.setCategories(&categories);
    set(overlay);
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    overlay.paint(&painter);
    return image;
}

} // namespace

class TestBoxOverlay : public QObject
{
    Q_OBJECT

private slots:
    void pixels_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QPoint>("pixel"); // in a 100 x 100 item painted on a 200 x 200 image
        QTest::addColumn<int>("catId"); // the colour expected near the pixel; -1 for none
        // Where the image lies in the item; empty for the whole item.
        QTest::addColumn<QRectF>("area");
        // Whether the tags with the class names are drawn.
        QTest::addColumn<bool>("names");
        const QByteArray box = "0 0.5 0.5 0.4 0.4";
        const QByteArray triangle = "1 0.1 0.1 0.9 0.1 0.1 0.9";
        // Three keypoints: fourteen fields, keypoints without a kpt_shape.
        const QByteArray pose = "2 0.5 0.5 0.2 0.2 0.2 0.8 2 0.8 0.2 0 0.5 0.5 1";
        QTest::newRow("box edge") << box << -1 << QPoint(30, 50) << 0 << QRectF() << false;
        QTest::newRow("inside a box") << box << -1 << QPoint(50, 50) << -1 << QRectF() << false;
        QTest::newRow("selected box, thicker")
            << box << 0 << QPoint(32, 50) << 0 << QRectF() << false;
        QTest::newRow("unselected box, thin")
            << box << -1 << QPoint(33, 50) << -1 << QRectF() << false;
        QTest::newRow("polygon edge") << triangle << -1 << QPoint(50, 10) << 1 << QRectF() << false;
        QTest::newRow("polygon diagonal")
            << triangle << -1 << QPoint(50, 50) << 1 << QRectF() << false;
        QTest::newRow("outside the polygon")
            << triangle << -1 << QPoint(80, 80) << -1 << QRectF() << false;
        QTest::newRow("pose box") << pose << -1 << QPoint(40, 50) << 2 << QRectF() << false;
        QTest::newRow("labelled keypoint")
            << pose << -1 << QPoint(20, 80) << 2 << QRectF() << false;
        QTest::newRow("unlabelled keypoint not drawn")
            << pose << -1 << QPoint(80, 20) << -1 << QRectF() << false;
        QTest::newRow("clipped to the item")
            << QByteArray("0 1 0.5 0.4 0.4") << -1 << QPoint(120, 50) << -1 << QRectF() << false;
        QTest::newRow("up to the item's edge")
            << QByteArray("0 1 0.5 0.4 0.4") << -1 << QPoint(80, 30) << 0 << QRectF() << false;
        // The item over the middle of a 400 x 400 picture: the box's left edge at x 120 of the
        // picture is at 20 in the item.
        QTest::newRow("part of a larger picture")
            << box << -1 << QPoint(20, 60) << 0 << QRectF(-100, -100, 400, 400) << false;
        QTest::newRow("class tag at the box's corner")
            << box << -1 << QPoint(33, 33) << 0 << QRectF() << true;
        QTest::newRow("no tag unless asked")
            << box << -1 << QPoint(33, 33) << -1 << QRectF() << false;
        QTest::newRow("part of a larger picture, inside the box")
            << box << -1 << QPoint(50, 50) << -1 << QRectF(-100, -100, 400, 400) << false;
    }
    void pixels()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, selected);
        QFETCH(QPoint, pixel);
        QFETCH(int, catId);
        QFETCH(QRectF, area);
        QFETCH(bool, names);
        CategoryTable categories;
        categories.setClassNames({QVariantMap{{"catId", 0}, {"catName", "a"}},
                                  QVariantMap{{"catId", 1}, {"catName", "b"}},
                                  QVariantMap{{"catId", 2}, {"catName", "c"}}});
        const QImage image = painted(line, categories, 200, [&](BoxOverlay &overlay) {
            overlay.setSelectedBox(selected);
            overlay.setArea(area);
            overlay.setShowNames(names);
        });

        // Within a pixel of where the line should run, as rasterisers round either way.
        bool found = false;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const QRgb rgb = image.pixel(pixel + QPoint(dx, dy));
                if (catId < 0)
                    QCOMPARE(qAlpha(rgb), 0);
                else
                    found = found || rgb == categories.colorOf(catId).rgb();
            }
        QVERIFY(catId < 0 || found);
    }

    // Polygons filled translucent when asked, the selected one's vertices as white handles.
    void fillAndVertices_data()
    {
        QTest::addColumn<bool>("fill");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QPoint>("pixel");
        // "clear", "tinted" (the class colour, translucent) or "white".
        QTest::addColumn<QString>("expected");
        QTest::newRow("outline only") << false << -1 << QPoint(30, 30) << "clear";
        QTest::newRow("filled") << true << -1 << QPoint(30, 30) << "tinted";
        QTest::newRow("vertex of the selected") << false << 0 << QPoint(10, 10) << "white";
        QTest::newRow("vertex of another") << false << -1 << QPoint(12, 12) << "clear";
    }
    void fillAndVertices()
    {
        QFETCH(bool, fill);
        QFETCH(int, selected);
        QFETCH(QPoint, pixel);
        QFETCH(QString, expected);
        CategoryTable categories;
        const QImage image
            = painted("1 0.1 0.1 0.9 0.1 0.1 0.9", categories, 100, [&](BoxOverlay &overlay) {
                  overlay.setSelectedBox(selected);
                  overlay.setFillShapes(fill);
                  overlay.setVertexHandles(true);
              });
        const QRgb rgb = image.pixel(pixel);
        if (expected == "clear")
            QCOMPARE(qAlpha(rgb), 0);
        else if (expected == "white")
            QCOMPARE(rgb, QColor(Qt::white).rgb());
        else
            QVERIFY2(qAlpha(rgb) > 0 && qAlpha(rgb) < 255, qPrintable(QString::number(rgb, 16)));
    }

    // The tile paints again whenever what it shows changes.
    void repaintsOnChanges()
    {
        BBoxList list;
        BoxOverlay overlay;
        QSignalSpy boxesChanged(&overlay, &BoxOverlay::boxesChanged);
        overlay.setBoxes(&list);
        overlay.setBoxes(&list);
        QCOMPARE(boxesChanged.count(), 1);
        QCOMPARE(overlay.boxes(), &list);
        list.appendRow(0, 0.5, 0.5);
        list.setGeometry(0, 0.4, 0.4, 0.2, 0.2);
        list.deleteRow(0);
        list.clear();
        overlay.setBoxes(nullptr);
        list.appendRow(0, 0.5, 0.5); // no longer watched
        QCOMPARE(boxesChanged.count(), 2);
        QCOMPARE(overlay.selectedBox(), -1);
    }

    // A 100 x 100 tile: a 2-pixel margin to the card, 3 to the area inside the frame (94 x 94),
    // where a picture of aspect 2 lies at (3, 27) with a size of 94 x 47.
    void tileFace_data()
    {
        QTest::addColumn<qreal>("aspect");
        QTest::addColumn<bool>("modified");
        QTest::addColumn<bool>("blank");
        QTest::addColumn<bool>("labelled");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QPoint>("pixel");
        // Transparent where the picture shows through, invalid for the box's class colour.
        QTest::addColumn<QColor>("colour");
        const QColor picture(Qt::transparent), white(Qt::white), grey(0x80, 0x80, 0x80);
        const QColor orange(0xff, 0x8c, 0x00), boxColour;
        QTest::newRow("frame") << 2.0 << false << false << true << "" << QPoint(2, 50) << grey;
        QTest::newRow("outside the card")
            << 2.0 << false << false << true << "" << QPoint(1, 50) << picture;
        QTest::newRow("unsaved frame, 3 px")
            << 2.0 << true << false << true << "" << QPoint(4, 50) << orange;
        QTest::newRow("white above a wide picture")
            << 2.0 << false << false << true << "" << QPoint(50, 20) << white;
        QTest::newRow("picture shows through")
            << 2.0 << false << false << true << "" << QPoint(50, 40) << picture;
        QTest::newRow("no picture yet: white card")
            << 0.0 << false << false << true << "" << QPoint(50, 40) << white;
        QTest::newRow("grey while decoding")
            << 0.0 << false << true << true << "" << QPoint(50, 40) << QColor(0xe4, 0xe4, 0xe4);
        QTest::newRow("box edge on the picture")
            << 2.0 << false << false << true << "" << QPoint(31, 70) << boxColour;
        QTest::newRow("box cut off at the picture's edge")
            << 2.0 << false << false << true << "" << QPoint(50, 83) << white;
        QTest::newRow("no boxes before the picture")
            << 0.0 << false << false << true << "" << QPoint(50, 60) << white;
        // Its translucent grey over the white card.
        QTest::newRow("no labels badge")
            << 2.0 << false << false << false << "" << QPoint(96, 3) << QColor(0x91, 0x91, 0x91);
        QTest::newRow("problem card") << 1.0 << false << false << true << "Cannot read x.jpg"
                                      << QPoint(8, 90) << QColor(0xd0, 0xd0, 0xd0);
    }
    void tileFace()
    {
        QFETCH(qreal, aspect);
        QFETCH(bool, modified);
        QFETCH(bool, blank);
        QFETCH(bool, labelled);
        QFETCH(QString, problem);
        QFETCH(QPoint, pixel);
        QFETCH(QColor, colour);
        CategoryTable categories;
        BBoxList list;
        list.setLoaded({yolo::parseLabels("0 0.5 1 0.4 0.4"), {}, {}, {}});
        if (modified)
            list.setGeometry(0, 0.5, 1, 0.4, 0.4001);
        QCOMPARE(list.isModified(), modified);
        TileFace face;
        face.setSize(QSizeF(100, 100));
        face.setBoxes(&list);
        face.setCategories(&categories);
        face.setAspect(aspect);
        face.setBlank(blank);
        face.setHasLabelFile(labelled);
        face.setProblem(problem);
        QCOMPARE(face.frameColor(), modified ? QColor(0xff, 0x8c, 0x00) : QColor(0x80, 0x80, 0x80));

        QImage image(100, 100, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        face.paint(&painter);
        painter.end();
        const QColor got = QColor::fromRgba(image.pixel(pixel));
        if (!colour.isValid())
            QCOMPARE(got.rgb(), categories.colorOf(0).rgb());
        else if (colour.alpha() == 0)
            QCOMPARE(got.alpha(), 0);
        else
            QCOMPARE(got.rgb(), colour.rgb());
    }

    // The pictures are placed where the face leaves room for them, and follow its size and the
    // aspect ratio.
    void tileFacePlacesPictures()
    {
        QQuickItem tile;
        TileFace face(&tile);
        QQuickItem picture(&tile), previous(&tile);
        face.setSize(QSizeF(100, 100));
        face.setPicture(&picture);
        face.setPrevious(&previous);
        QVERIFY(face.imageRect().isEmpty());
        QSignalSpy moved(&face, &TileFace::imageRectChanged);
        face.setAspect(2);
        QCOMPARE(face.imageRect(), QRectF(3, 27, 94, 47));
        QCOMPARE(QRectF(picture.position(), picture.size()), face.imageRect());
        QCOMPARE(QRectF(previous.position(), previous.size()), face.imageRect());
        face.setSize(QSizeF(206, 206));
        QCOMPARE(face.imageRect(), QRectF(3, 53, 200, 100));
        QCOMPARE(QRectF(picture.position(), picture.size()), face.imageRect());
        face.setAspect(0.5);
        QCOMPARE(face.imageRect(), QRectF(53, 3, 100, 200));
        QCOMPARE(moved.count(), 3);
    }
};

QTEST_MAIN(TestBoxOverlay)
#include "tst_boxoverlay.moc"
