#include "app/tileface.h"

#include "dataset/bboxlist.h"
#include "review/reviewstates.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRegion>
#include <QTextOption>

namespace {

const QColor cardColour(Qt::white);
const QColor blankColour(0xe4, 0xe4, 0xe4);
const QColor problemColour(0xd0, 0xd0, 0xd0);
const QColor problemBorder(0xa0, 0xa0, 0xa0);
const QColor problemInk(0xb2, 0x22, 0x22); // firebrick
const QColor badgeColour(0x50, 0x50, 0x50, 0xa0);
const QColor disagreementColour(0x6a, 0x1b, 0x9a, 0xd0);
const QColor problemMark(0xd0, 0x20, 0x20); // the mark of an image with problems
const QColor reviewedMark(0x2e, 0x7d, 0x32);
const QColor needsWorkMark(0xef, 0x6c, 0x00);
const QColor savedFrame(0x80, 0x80, 0x80); // gray
const QColor unsavedFrame(0xff, 0x8c, 0x00); // darkorange

// The text with a one-pixel outline of `outline` round it, `at` its baseline's left end.
void drawOutlined(QPainter *painter, const QPointF &at, const QString &text, const QColor &fill,
                  const QColor &outline)
{
    painter->setPen(outline);
    for (const QPointF step : {QPointF(-1, 0), QPointF(1, 0), QPointF(0, -1), QPointF(0, 1)})
        painter->drawText(at + step, text);
    painter->setPen(fill);
    painter->drawText(at, text);
}

} // namespace

TileFace::TileFace(QQuickItem *parent)
    : BoxOverlay(parent)
{
    connect(this, &BoxOverlay::boxesChanged, this, &TileFace::watchModified);
}

void TileFace::setNumber(int number)
{
    if (tileNumber == number)
        return;
    tileNumber = number;
    emit numberChanged();
    update();
}

void TileFace::setCaption(const QString &caption)
{
    if (captionText == caption)
        return;
    captionText = caption;
    emit captionChanged();
    update();
}

void TileFace::setHasLabelFile(bool has)
{
    if (labelled == has)
        return;
    labelled = has;
    emit hasLabelFileChanged();
    update();
}

void TileFace::setFlagged(bool flagged)
{
    if (flaggedShown == flagged)
        return;
    flaggedShown = flagged;
    emit flaggedChanged();
    update();
}

void TileFace::setReviewState(int state)
{
    if (review == state)
        return;
    review = state;
    emit reviewStateChanged();
    update();
}

void TileFace::setAspect(qreal aspect)
{
    if (qFuzzyCompare(aspectRatio + 1, aspect + 1))
        return;
    aspectRatio = aspect;
    emit aspectChanged();
    layOut();
}

void TileFace::setProblem(const QString &problem)
{
    if (problemText == problem)
        return;
    problemText = problem;
    emit problemChanged();
    update();
}

void TileFace::setBlank(bool blank)
{
    if (blankShown == blank)
        return;
    blankShown = blank;
    emit blankChanged();
    update();
}

void TileFace::setPicture(QQuickItem *item)
{
    if (pictureItem == item)
        return;
    pictureItem = item;
    place(item);
    emit pictureChanged();
}

void TileFace::setPrevious(QQuickItem *item)
{
    if (previousItem == item)
        return;
    previousItem = item;
    place(item);
    emit previousChanged();
}

QColor TileFace::frameColor() const
{
    return modified ? unsavedFrame : savedFrame;
}

void TileFace::geometryChanged(const QRectF &newGeometry, const QRectF &oldGeometry)
{
    BoxOverlay::geometryChanged(newGeometry, oldGeometry);
    if (newGeometry.size() != oldGeometry.size())
        layOut();
    else if (newGeometry.topLeft() != oldGeometry.topLeft()) {
        place(pictureItem);
        place(previousItem);
    }
}

void TileFace::watchModified()
{
    disconnect(modifiedConnection);
    auto *list = boxes();
    const bool now = list && list->isModified();
    if (list)
        modifiedConnection = connect(list, &BBoxList::modifiedChanged, this, [this, list] {
            modified = list->isModified();
            emit frameColorChanged();
            update();
        });
    if (modified != now) {
        modified = now;
        emit frameColorChanged();
    }
}

// The picture fitted into the area inside the frame with its aspect ratio kept, centred, on
// whole pixels, so that the card's white meets it without a seam.
void TileFace::layOut()
{
    const QRectF content(contentMargin, contentMargin, width() - 2 * contentMargin,
                         height() - 2 * contentMargin);
    QRectF rect;
    if (aspectRatio > 0 && content.width() > 0 && content.height() > 0) {
        const bool widthBound = content.width() <= content.height() * aspectRatio;
        const qreal w = widthBound ? content.width() : content.height() * aspectRatio;
        const qreal h = widthBound ? content.width() / aspectRatio : content.height();
        rect = QRectF(qRound(content.center().x() - w / 2), qRound(content.center().y() - h / 2),
                      qMax(1, qRound(w)), qMax(1, qRound(h)));
    }
    if (rect != pictureRect) {
        pictureRect = rect;
        place(pictureItem);
        place(previousItem);
        emit imageRectChanged();
    }
    update();
}

void TileFace::place(QQuickItem *item) const
{
    if (!item)
        return;
    item->setPosition(position() + pictureRect.topLeft());
    item->setSize(pictureRect.size());
}

void TileFace::paint(QPainter *painter)
{
    const QRectF cell(0, 0, width(), height());
    const QRectF card = cell.adjusted(frameMargin, frameMargin, -frameMargin, -frameMargin);
    const QRectF content
        = cell.adjusted(contentMargin, contentMargin, -contentMargin, -contentMargin);
    if (card.isEmpty())
        return;
    const bool placed = !pictureRect.isEmpty();
    // The card, less where the picture lies under it.
    if (placed && problemText.isEmpty() && !blankShown) {
        painter->save();
        painter->setClipRegion(
            QRegion(card.toAlignedRect()).subtracted(QRegion(pictureRect.toRect())));
        painter->fillRect(card, cardColour);
        painter->restore();
    } else {
        painter->fillRect(card, cardColour);
    }
    if (blankShown)
        painter->fillRect(content, blankColour);
    // The words on the card: the number at the top left, the badge at the top right, the name
    // at the picture's top left, after the number where the picture reaches up to it and below
    // the badge where it would run into it, and why the picture cannot be shown below the name.
    const QFontMetricsF metrics(painter->font());
    const qreal lineHeight = metrics.height();
    const qreal padding = 2;
    const QString number = tileNumber >= 0 ? QString::number(tileNumber) : QString();
    const QString badge = labelled ? QString() : tr("no labels");
    const qreal badgeWidth = badge.isEmpty() ? 0 : metrics.horizontalAdvance(badge) + 2 * padding;
    const QRectF badgeArea(content.right() - badgeWidth, content.top(), badgeWidth,
                           badge.isEmpty() ? 0 : lineHeight + 2 * padding);
    QPointF captionAt = pictureRect.topLeft();
    QString caption;
    if (placed && !captionText.isEmpty()) {
        if (captionAt.y() < content.top() + lineHeight) {
            captionAt.setX(qMax(captionAt.x(),
                                content.left() + metrics.horizontalAdvance(number)
                                    + (number.isEmpty() ? 0 : 4)));
            if (!badge.isEmpty()
                && captionAt.x() + metrics.horizontalAdvance(captionText) > badgeArea.left())
                captionAt = QPointF(pictureRect.left(), badgeArea.bottom());
        }
        caption = metrics.elidedText(captionText, Qt::ElideRight,
                                     qMin(pictureRect.right(), content.right()) - captionAt.x());
    }

    if (placed && !problemText.isEmpty()) {
        painter->fillRect(pictureRect, problemColour);
        painter->setPen(problemBorder);
        painter->drawRect(pictureRect.adjusted(0.5, 0.5, -0.5, -0.5));
        painter->setPen(problemInk);
        QTextOption centred(Qt::AlignCenter);
        centred.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        QRectF area = pictureRect.adjusted(4, 4, -4, -4);
        if (!caption.isEmpty())
            area.setTop(qMax(area.top(), captionAt.y() + lineHeight));
        painter->save();
        painter->setClipRect(pictureRect);
        painter->drawText(area, problemText, centred);
        painter->restore();
    }
    if (placed)
        paintBoxes(painter, pictureRect, pictureRect);

    // Outlined, so they read on light pictures and dark ones.
    if (!number.isEmpty())
        drawOutlined(painter, content.topLeft() + QPointF(0, metrics.ascent()), number, Qt::black,
                     Qt::white);
    if (!caption.isEmpty())
        drawOutlined(painter, captionAt + QPointF(0, metrics.ascent()), caption, Qt::white,
                     Qt::black);
    if (!badge.isEmpty()) {
        painter->fillRect(badgeArea, badgeColour);
        painter->setPen(Qt::white);
        painter->drawText(badgeArea.topLeft() + QPointF(padding, padding + metrics.ascent()),
                          badge);
    }
    if (flaggedShown) {
        // A red disc with "!" left of the badge.
        const qreal size = lineHeight;
        const QRectF mark(badgeArea.left() - size - (badge.isEmpty() ? 0 : 2), content.top(), size,
                          size);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::white);
        painter->setBrush(problemMark);
        painter->drawEllipse(mark.adjusted(0.5, 0.5, -0.5, -0.5));
        QFont bold = painter->font();
        bold.setBold(true);
        painter->setFont(bold);
        painter->drawText(mark, Qt::AlignCenter, QStringLiteral("!"));
        painter->restore();
    }
    // The reviewer's mark at the bottom left: a check, a flag, or that the labels changed.
    if (review == ReviewStates::Reviewed || review == ReviewStates::NeedsWork) {
        const qreal size = lineHeight + 2;
        const QRectF mark(content.left() + 1, content.bottom() - size - 1, size, size);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::white);
        painter->setBrush(review == ReviewStates::Reviewed ? reviewedMark : needsWorkMark);
        painter->drawEllipse(mark.adjusted(0.5, 0.5, -0.5, -0.5));
        painter->drawText(mark, Qt::AlignCenter,
                          review == ReviewStates::Reviewed ? QStringLiteral("\u2713")
                                                           : QStringLiteral("\u2691"));
        painter->restore();
    } else if (review == ReviewStates::ChangedSinceReview) {
        const QString text = tr("changed since review");
        const QRectF area(content.left(), content.bottom() - lineHeight - 2 * padding,
                          metrics.horizontalAdvance(text) + 2 * padding, lineHeight + 2 * padding);
        painter->fillRect(area, badgeColour);
        painter->setPen(Qt::white);
        painter->drawText(area.topLeft() + QPointF(padding, padding + metrics.ascent()), text);
    }
    // The disagreements with a model's predictions at the bottom right.
    const QString disagreements = disagreementBadge();
    if (!disagreements.isEmpty()) {
        const qreal width = metrics.horizontalAdvance(disagreements) + 2 * padding;
        const QRectF area(content.right() - width, content.bottom() - lineHeight - 2 * padding,
                          width, lineHeight + 2 * padding);
        painter->fillRect(area, disagreementColour);
        painter->setPen(Qt::white);
        painter->drawText(area.topLeft() + QPointF(padding, padding + metrics.ascent()),
                          disagreements);
    }
    // The frame, drawn inside the card like a Rectangle's border.
    const qreal line = modified ? 3 : 1;
    QPen pen(frameColor(), line);
    pen.setJoinStyle(Qt::MiterJoin);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(card.adjusted(line / 2, line / 2, -line / 2, -line / 2));
}
