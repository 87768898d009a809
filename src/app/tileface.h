#pragma once

#include "app/boxoverlay.h"

#include <QColor>
#include <QPointer>
#include <QString>

// Everything a grid tile draws but its picture, in one painted item over the whole cell: the
// white card with its frame (orange while the image has unsaved edits), the grey of a picture
// still coming, the tile number, the image's name, a "no labels" badge, why a picture cannot be
// shown, and the boxes. It also places the picture items on the card, fitted with the image's
// aspect ratio. A tile is made anew each time the grid scrolls it into view, so the fewer items
// it is made of, the smoother the grid.
class TileFace : public BoxOverlay
{
    Q_OBJECT
    // The number shown at the top left.
    Q_PROPERTY(int number READ number WRITE setNumber NOTIFY numberChanged)
    Q_PROPERTY(QString caption READ caption WRITE setCaption NOTIFY captionChanged)
    // False marks the tile "no labels".
    Q_PROPERTY(bool hasLabelFile READ hasLabelFile WRITE setHasLabelFile NOTIFY hasLabelFileChanged)
    // The image has a problem a trainer would trip on: a red mark at the top right.
    Q_PROPERTY(bool flagged READ flagged WRITE setFlagged NOTIFY flaggedChanged)
    // The reviewer's mark (ReviewStates::Shown): a check for reviewed, a flag for needs work, a
    // line for a review the label file changed since; nothing for not reviewed.
    Q_PROPERTY(int reviewState READ reviewState WRITE setReviewState NOTIFY reviewStateChanged)
    // The image's width over its height; 0 while unknown, when there is no picture to place.
    Q_PROPERTY(qreal aspect READ aspect WRITE setAspect NOTIFY aspectChanged)
    // Why the picture cannot be shown; drawn on a neutral card in its place.
    Q_PROPERTY(QString problem READ problem WRITE setProblem NOTIFY problemChanged)
    // Grey where the picture goes, while it is decoded.
    Q_PROPERTY(bool blank READ blank WRITE setBlank NOTIFY blankChanged)
    // The items placed over the picture's area (the picture, and the one shown until it is
    // ready); siblings under this item.
    Q_PROPERTY(QQuickItem *picture READ picture WRITE setPicture NOTIFY pictureChanged)
    Q_PROPERTY(QQuickItem *previous READ previous WRITE setPrevious NOTIFY previousChanged)
    // Where the picture lies, in the item's coordinates; empty while the aspect is unknown.
    Q_PROPERTY(QRectF imageRect READ imageRect NOTIFY imageRectChanged)
    // The frame's colour: grey, or orange while the boxes have unsaved edits.
    Q_PROPERTY(QColor frameColor READ frameColor NOTIFY frameColorChanged)

public:
    explicit TileFace(QQuickItem *parent = nullptr);

    int number() const { return tileNumber; }
    void setNumber(int number);
    QString caption() const { return captionText; }
    void setCaption(const QString &caption);
    bool hasLabelFile() const { return labelled; }
    void setHasLabelFile(bool has);
    bool flagged() const { return flaggedShown; }
    void setFlagged(bool flagged);
    int reviewState() const { return review; }
    void setReviewState(int state);
    qreal aspect() const { return aspectRatio; }
    void setAspect(qreal aspect);
    QString problem() const { return problemText; }
    void setProblem(const QString &problem);
    bool blank() const { return blankShown; }
    void setBlank(bool blank);
    QQuickItem *picture() const { return pictureItem; }
    void setPicture(QQuickItem *item);
    QQuickItem *previous() const { return previousItem; }
    void setPrevious(QQuickItem *item);
    QRectF imageRect() const { return pictureRect; }
    QColor frameColor() const;

    void paint(QPainter *painter) override;

    // The margins from the cell's edge: to the frame, and to the area inside it.
    static constexpr int frameMargin = 2;
    static constexpr int contentMargin = 3;

signals:
    void numberChanged();
    void captionChanged();
    void hasLabelFileChanged();
    void flaggedChanged();
    void reviewStateChanged();
    void aspectChanged();
    void problemChanged();
    void blankChanged();
    void pictureChanged();
    void previousChanged();
    void imageRectChanged();
    void frameColorChanged();

protected:
    void geometryChanged(const QRectF &newGeometry, const QRectF &oldGeometry) override;

private:
    void watchModified();
    void layOut();
    void place(QQuickItem *item) const;

    int tileNumber = -1;
    QString captionText;
    bool labelled = true;
    bool flaggedShown = false;
    int review = 0;
    qreal aspectRatio = 0;
    QString problemText;
    bool blankShown = false;
    QPointer<QQuickItem> pictureItem;
    QPointer<QQuickItem> previousItem;
    QRectF pictureRect;
    bool modified = false;
    QMetaObject::Connection modifiedConnection;
};
