#include "app/boxoverlay.h"

#include "dataset/categorytable.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>

BoxOverlay::BoxOverlay(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    // Thin aliased lines are what a thumbnail needs, and the cheapest to draw.
    setAntialiasing(false);
}

BoxOverlay::~BoxOverlay() = default;

void BoxOverlay::setBoxes(BBoxList *boxes)
{
    if (list == boxes)
        return;
    for (const QMetaObject::Connection &connection : qAsConst(listConnections))
        disconnect(connection);
    listConnections.clear();
    list = boxes;
    if (boxes) {
        listConnections = {
            connect(boxes, &QAbstractItemModel::dataChanged, this, &BoxOverlay::repaint),
            connect(boxes, &QAbstractItemModel::rowsInserted, this, &BoxOverlay::repaint),
            connect(boxes, &QAbstractItemModel::rowsRemoved, this, &BoxOverlay::repaint),
            connect(boxes, &QAbstractItemModel::modelReset, this, &BoxOverlay::repaint),
            connect(boxes, &QObject::destroyed, this, &BoxOverlay::repaint),
        };
    }
    emit boxesChanged();
    update();
}

void BoxOverlay::setCategories(QObject *categories)
{
    if (categoryTable == categories)
        return;
    disconnect(categoryConnection);
    categoryTable = categories;
    if (auto *table = qobject_cast<CategoryTable *>(categories))
        categoryConnection
            = connect(table, &CategoryTable::revisionChanged, this, &BoxOverlay::repaint);
    emit categoriesChanged();
    update();
}

void BoxOverlay::setSelectedBox(int row)
{
    if (selected == row)
        return;
    selected = row;
    emit selectedBoxChanged();
    update();
}

void BoxOverlay::setArea(const QRectF &area)
{
    if (imageArea == area)
        return;
    imageArea = area;
    emit areaChanged();
    update();
}

void BoxOverlay::setShowNames(bool show)
{
    if (namesShown == show)
        return;
    namesShown = show;
    emit showNamesChanged();
    update();
}

void BoxOverlay::paint(QPainter *painter)
{
    const QRectF item(0, 0, width(), height());
    paintBoxes(painter, imageArea.isValid() ? imageArea : item, item);
}

void BoxOverlay::paintBoxes(QPainter *painter, const QRectF &image, const QRectF &clip)
{
    if (!list)
        return;
    painter->save();
    painter->setClipRect(clip);
    const double w = image.width(), h = image.height();
    painter->translate(image.topLeft());
    painter->setRenderHint(QPainter::Antialiasing, false);
    const auto *table = qobject_cast<const CategoryTable *>(categoryTable.data());
    QPolygonF outline;
    const BoxRecords &records = list->boxList();
    if (namesShown) {
        QFont font = painter->font();
        font.setPixelSize(9);
        painter->setFont(font);
    }
    for (int row = 0; row < records.size(); ++row) {
        const BoxInfo &box = *records.at(row);
        const QColor colour = table ? table->colorOf(box.catId) : QColor(Qt::red);
        const bool chosen = row == selected;
        QPen pen(colour, chosen ? 3 : 1);
        pen.setCosmetic(true);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        const ShapePoints &v = box.shape();
        const int n = v.size();
        if (box.kind() == ShapeKind::Polygon) {
            outline.resize(n / 2);
            for (int i = 0; i + 1 < n; i += 2)
                outline[i / 2] = QPointF(v.at(i) * w, v.at(i + 1) * h);
            painter->drawPolygon(outline);
            continue;
        }
        painter->drawRect(
            QRectF((box.cx - box.cw / 2) * w, (box.cy - box.ch / 2) * h, box.cw * w, box.ch * h));
        if (box.kind() != ShapeKind::Keypoints)
            continue;
        painter->setPen(Qt::NoPen);
        painter->setBrush(colour);
        const int dims = box.shape().dims();
        const double radius = chosen ? 3 : 2;
        for (int i = 0; i + 1 < n; i += dims) {
            if (!shape::isUnlabelled(v, i))
                painter->drawEllipse(QPointF(v.at(i) * w, v.at(i + 1) * h), radius, radius);
        }
    }
    if (namesShown && table)
        paintNames(painter, *table, w, h);
    painter->restore();
}

// A tag of the line's colour at the top left of its box, above the lines of every box.
void BoxOverlay::paintNames(QPainter *painter, const CategoryTable &table, double w, double h)
{
    const QFontMetrics metrics(painter->font());
    const BoxRecords &records = list->boxList();
    const int confidenceRole = BBoxList::Confidence;
    for (int row = 0; row < records.size(); ++row) {
        const BoxInfo &box = *records.at(row);
        QString text = table.nameOf(box.catId);
        const QVariant confidence = list->data(list->index(row, 0), confidenceRole);
        if (confidence.isValid())
            text += QStringLiteral(" %1").arg(confidence.toDouble(), 0, 'f', 2);
        const QColor colour = table.colorOf(box.catId);
        const QRectF tag(QPointF((box.cx - box.cw / 2) * w, (box.cy - box.ch / 2) * h),
                         QSizeF(metrics.horizontalAdvance(text) + 4, metrics.height()));
        painter->fillRect(tag, colour);
        painter->setPen(colour.lightnessF() > 0.55 ? Qt::black : Qt::white);
        painter->drawText(tag, Qt::AlignCenter, text);
    }
}
