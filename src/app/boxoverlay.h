#pragma once

#include "dataset/bboxlist.h"

#include <QMetaObject>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QVector>

// Every line of one image's box list drawn in its class colour, scaled to the item: rectangles
// for boxes and pose lines, outlines for polygons, dots for labelled keypoints. One light item
// per grid tile instead of an item per box.
class BoxOverlay : public QQuickPaintedItem
{
    Q_OBJECT
    Q_PROPERTY(BBoxList *boxes READ boxes WRITE setBoxes NOTIFY boxesChanged)
    // A CategoryTable: the colours, looked up by class id.
    Q_PROPERTY(QObject *categories READ categories WRITE setCategories NOTIFY categoriesChanged)
    // The row drawn with a thicker line; -1 for none.
    Q_PROPERTY(int selectedBox READ selectedBox WRITE setSelectedBox NOTIFY selectedBoxChanged)
    // Where the image lies, in the item's coordinates; the item's own rectangle when not set. An
    // item over just the part in view of a picture zoomed far in draws that part, in a texture
    // no larger than the view.
    Q_PROPERTY(QRectF area READ area WRITE setArea NOTIFY areaChanged)
    // Whether each line carries a tag with its class name (and a prediction's confidence).
    Q_PROPERTY(bool showNames READ showNames WRITE setShowNames NOTIFY showNamesChanged)

public:
    explicit BoxOverlay(QQuickItem *parent = nullptr);
    ~BoxOverlay() override;

    BBoxList *boxes() const { return list; }
    void setBoxes(BBoxList *boxes);
    QObject *categories() const { return categoryTable; }
    void setCategories(QObject *categories);
    int selectedBox() const { return selected; }
    void setSelectedBox(int row);
    QRectF area() const { return imageArea; }
    void setArea(const QRectF &area);
    bool showNames() const { return namesShown; }
    void setShowNames(bool show);

    void paint(QPainter *painter) override;

signals:
    void boxesChanged();
    void categoriesChanged();
    void selectedBoxChanged();
    void areaChanged();
    void showNamesChanged();

protected:
    // The lines of the list over `image` (where the whole picture lies, in the item's
    // coordinates), cut off at `clip`.
    void paintBoxes(QPainter *painter, const QRectF &image, const QRectF &clip);
    void repaint() { update(); }

private:
    void paintNames(QPainter *painter, const class CategoryTable &table, double w, double h);

    QPointer<BBoxList> list;
    QPointer<QObject> categoryTable;
    QVector<QMetaObject::Connection> listConnections;
    QMetaObject::Connection categoryConnection;
    int selected = -1;
    QRectF imageArea;
    bool namesShown = false;
};
