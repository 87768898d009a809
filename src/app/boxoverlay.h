#pragma once

#include "dataset/bboxlist.h"

class Predictions;

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
    // The selected polygon's vertices drawn as handles (where its vertices are dragged), and
    // numbered while `numberVertices` is set.
    Q_PROPERTY(
        bool vertexHandles READ vertexHandles WRITE setVertexHandles NOTIFY vertexHandlesChanged)
    Q_PROPERTY(bool numberVertices READ numberVertices WRITE setNumberVertices NOTIFY
                   numberVerticesChanged)
    // Polygons filled in their class colour, translucent; outlines either way.
    Q_PROPERTY(bool fillShapes READ fillShapes WRITE setFillShapes NOTIFY fillShapesChanged)
    // A model's predictions: those of image `imageRow` drawn dashed while they are shown, with
    // their class name and confidence where names are shown or `predictionTags` is set.
    Q_PROPERTY(QObject *predictions READ predictions WRITE setPredictions NOTIFY predictionsChanged)
    Q_PROPERTY(int imageRow READ imageRow WRITE setImageRow NOTIFY imageRowChanged)
    Q_PROPERTY(bool predictionTags READ predictionTags WRITE setPredictionTags NOTIFY
                   predictionTagsChanged)
    // The prediction drawn with a thicker line; -1 for none.
    Q_PROPERTY(int highlight READ highlight WRITE setHighlight NOTIFY highlightChanged)

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

    bool vertexHandles() const { return handlesShown; }
    void setVertexHandles(bool on);
    bool numberVertices() const { return numbered; }
    void setNumberVertices(bool on);
    bool fillShapes() const { return filled; }
    void setFillShapes(bool on);
    QObject *predictions() const;
    void setPredictions(QObject *predictions);
    int imageRow() const { return row; }
    void setImageRow(int imageRow);
    bool predictionTags() const { return tagsShown; }
    void setPredictionTags(bool on);
    int highlight() const { return highlighted; }
    void setHighlight(int index);

    void paint(QPainter *painter) override;

signals:
    void boxesChanged();
    void categoriesChanged();
    void selectedBoxChanged();
    void areaChanged();
    void showNamesChanged();
    void fillShapesChanged();
    void vertexHandlesChanged();
    void numberVerticesChanged();
    void predictionsChanged();
    void imageRowChanged();
    void predictionTagsChanged();
    void highlightChanged();

protected:
    // The lines of the list over `image` (where the whole picture lies, in the item's
    // coordinates), cut off at `clip`.
    void paintBoxes(QPainter *painter, const QRectF &image, const QRectF &clip);
    void repaint() { update(); }
    // The predictions drawn over this image, when they are shown; null otherwise.
    const Predictions *shownPredictions() const;
    // The image's disagreements with the predictions, counted by kind: "+2 −1 ≠1 ↔1" for two
    // missing labels, one spurious, one of the wrong class and one mislocated; empty for none.
    QString disagreementBadge() const;

private:
    void paintNames(QPainter *painter, const class CategoryTable &table, double w, double h);
    void paintPredictions(QPainter *painter, const CategoryTable *table, double w, double h);
    void paintVertices(QPainter *painter, const QPolygonF &outline);

    QPointer<BBoxList> list;
    QPointer<QObject> categoryTable;
    QVector<QMetaObject::Connection> listConnections;
    QMetaObject::Connection categoryConnection;
    int selected = -1;
    QRectF imageArea;
    bool namesShown = false;
    bool filled = false;
    bool handlesShown = false;
    bool numbered = false;
    QPointer<Predictions> modelPredictions;
    QVector<QMetaObject::Connection> predictionConnections;
    int row = -1;
    bool tagsShown = false;
    int highlighted = -1;
};
