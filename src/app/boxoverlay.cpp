#include "app/boxoverlay.h"

#include "dataset/categorytable.h"
#include "review/predictions.h"

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

void BoxOverlay::setVertexHandles(bool on)
{
    if (handlesShown == on)
        return;
    handlesShown = on;
    emit vertexHandlesChanged();
    update();
}

void BoxOverlay::setNumberVertices(bool on)
{
    if (numbered == on)
        return;
    numbered = on;
    emit numberVerticesChanged();
    update();
}

void BoxOverlay::setFillShapes(bool on)
{
    if (filled == on)
        return;
    filled = on;
    emit fillShapesChanged();
    update();
}

QObject *BoxOverlay::predictions() const
{
    return modelPredictions;
}

void BoxOverlay::setPredictions(QObject *predictions)
{
    auto *p = qobject_cast<Predictions *>(predictions);
    if (modelPredictions == p)
        return;
    for (const QMetaObject::Connection &connection : qAsConst(predictionConnections))
        disconnect(connection);
    predictionConnections.clear();
    modelPredictions = p;
    if (p) {
        predictionConnections = {
            connect(p, &Predictions::findingsChanged, this, &BoxOverlay::repaint),
            connect(p, &Predictions::shownChanged, this, &BoxOverlay::repaint),
            connect(p, &Predictions::thresholdsChanged, this, &BoxOverlay::repaint),
        };
    }
    emit predictionsChanged();
    update();
}

void BoxOverlay::setImageRow(int imageRow)
{
    if (row == imageRow)
        return;
    row = imageRow;
    emit imageRowChanged();
    update();
}

void BoxOverlay::setPredictionTags(bool on)
{
    if (tagsShown == on)
        return;
    tagsShown = on;
    emit predictionTagsChanged();
    update();
}

void BoxOverlay::setHighlight(int index)
{
    if (highlighted == index)
        return;
    highlighted = index;
    emit highlightChanged();
    update();
}

const Predictions *BoxOverlay::shownPredictions() const
{
    return modelPredictions && modelPredictions->isShown() && row >= 0 ? modelPredictions.data()
                                                                       : nullptr;
}

QString BoxOverlay::disagreementBadge() const
{
    if (!modelPredictions || row < 0)
        return QString();
    static const QString marks[] = {QStringLiteral("+"), QStringLiteral("\u2212"),
                                    QStringLiteral("\u2260"), QStringLiteral("\u2194")};
    QStringList counts;
    for (int k = 0; k < disagreement::kindCount; ++k) {
        if (const int n = modelPredictions->count(row, disagreement::Kind(k)))
            counts << marks[k] + QString::number(n);
    }
    return counts.join(QLatin1Char(' '));
}

void BoxOverlay::paint(QPainter *painter)
{
    const QRectF item(0, 0, width(), height());
    paintBoxes(painter, imageArea.isValid() ? imageArea : item, item);
}

void BoxOverlay::paintBoxes(QPainter *painter, const QRectF &image, const QRectF &clip)
{
    const auto *table = qobject_cast<const CategoryTable *>(categoryTable.data());
    if (shownPredictions()) {
        painter->save();
        painter->setClipRect(clip);
        painter->translate(image.topLeft());
        paintPredictions(painter, table, image.width(), image.height());
        painter->restore();
    }
    if (!list)
        return;
    painter->save();
    painter->setClipRect(clip);
    const double w = image.width(), h = image.height();
    painter->translate(image.topLeft());
    painter->setRenderHint(QPainter::Antialiasing, false);
    QPolygonF outline;
    const BoxRecords &records = list->boxList();
    if (namesShown) {
        QFont font = painter->font();
        font.setPixelSize(9);
        painter->setFont(font);
    }
    // The selected line last, above the others.
    const int count = records.size();
    const bool hasSelected = selected >= 0 && selected < count;
    for (int k = 0; k < count; ++k) {
        const int row = !hasSelected ? k : k == count - 1 ? selected : k < selected ? k : k + 1;
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
            if (filled) {
                QColor fill = colour;
                fill.setAlpha(chosen ? 110 : 70);
                painter->setBrush(fill);
            }
            painter->drawPolygon(outline);
            if (chosen && handlesShown)
                paintVertices(painter, outline);
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

// A white square framed in black on each vertex, drawn here rather than as an item each, so
// that an outline of hundreds of vertices follows a drag at once; and the vertices' numbers.
void BoxOverlay::paintVertices(QPainter *painter, const QPolygonF &outline)
{
    painter->save();
    QPen pen(Qt::black, 2);
    pen.setCosmetic(true);
    painter->setPen(pen);
    painter->setBrush(Qt::white);
    for (const QPointF &p : outline)
        painter->drawRect(QRectF(p.x() - 3.5, p.y() - 3.5, 7, 7));
    if (numbered) {
        QFont font = painter->font();
        font.setPixelSize(10);
        painter->setFont(font);
        for (int i = 0; i < outline.size(); ++i) {
            const QPointF at = outline[i] + QPointF(5, -4);
            const QString text = QString::number(i);
            painter->setPen(Qt::black);
            for (const QPointF &d : {QPointF(-1, 0), QPointF(1, 0), QPointF(0, -1), QPointF(0, 1)})
                painter->drawText(at + d, text);
            painter->setPen(Qt::white);
            painter->drawText(at, text);
        }
    }
    painter->restore();
}

// Dashed outlines beneath the labels, each in its class colour; their tags at the bottom left of
// their boxes, so that they do not cover the labels' tags.
void BoxOverlay::paintPredictions(QPainter *painter, const CategoryTable *table, double w, double h)
{
    const Predictions &p = *shownPredictions();
    const QVector<yolo::Prediction> &all = p.of(row);
    const bool tags = (namesShown || tagsShown) && table;
    QFontMetrics metrics(painter->font());
    if (tags) {
        QFont font = painter->font();
        font.setPixelSize(tagsShown ? 11 : 9);
        painter->setFont(font);
        metrics = QFontMetrics(font);
    }
    QPolygonF outline;
    for (int i = 0; i < all.size(); ++i) {
        if (!p.isDrawn(row, i))
            continue;
        const yolo::Prediction &box = all[i];
        const QColor colour = table ? table->colorOf(box.catId) : QColor(Qt::red);
        const QRectF rect((box.cx - box.cw / 2) * w, (box.cy - box.ch / 2) * h, box.cw * w,
                          box.ch * h);
        if (box.kind() == ShapeKind::Polygon) {
            const ShapePoints &v = box.points;
            outline.resize(v.size() / 2);
            for (int k = 0; k + 1 < v.size(); k += 2)
                outline[k / 2] = QPointF(v.at(k) * w, v.at(k + 1) * h);
        }
        // The one under review on a white halo, so that it stands out from the labels.
        const bool chosen = i == highlighted;
        for (const QPen &pen :
             {QPen(QColor(255, 255, 255, 200), 6), QPen(colour, chosen ? 3 : 1, Qt::DashLine)}) {
            if (!chosen && pen.style() == Qt::SolidLine)
                continue;
            QPen cosmetic = pen;
            cosmetic.setCosmetic(true);
            painter->setPen(cosmetic);
            painter->setBrush(Qt::NoBrush);
            if (box.kind() == ShapeKind::Polygon)
                painter->drawPolygon(outline);
            else
                painter->drawRect(rect);
        }
        if (!tags)
            continue;
        const QString text = QStringLiteral("%1 %2")
                                 .arg(table->nameOf(box.catId))
                                 .arg(all[i].confidence, 0, 'f', 2);
        const QRectF tag(QPointF(rect.left(), rect.bottom() - metrics.height()),
                         QSizeF(metrics.horizontalAdvance(text) + 4, metrics.height()));
        painter->fillRect(tag, QColor(0, 0, 0, 150));
        painter->setPen(colour.lighter(150));
        painter->drawText(tag, Qt::AlignCenter, text);
    }
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
