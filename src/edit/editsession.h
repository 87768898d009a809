#pragma once

#include "dataset/bboxlist.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QSize>
#include <QString>
#include <QVariantList>

#include <memory>
#include <unordered_map>

class CategoryTable;
class ImageList;
class QAbstractProxyModel;
class QUndoCommand;
class QUndoStack;
class RecoveryJournal;

// The image open in the editor: which row it is, its boxes, whether Save and Reset are
// enabled, the message line, the selected box, the current category and the undo history of
// every image. The editor view only shows it and calls its slots; the grid's tiles stay
// independent of it, sharing the same box lists.
class EditSession : public QObject
{
    Q_OBJECT
    // The open row of ImageList, -1 while the editor is closed.
    Q_PROPERTY(int row READ row NOTIFY openChanged)
    Q_PROPERTY(bool isOpen READ isOpen NOTIFY openChanged)
    Q_PROPERTY(BBoxList *boxes READ boxes NOTIFY openChanged)
    Q_PROPERTY(QString imagePath READ imagePath NOTIFY openChanged)
    Q_PROPERTY(QString caption READ caption NOTIFY openChanged)
    Q_PROPERTY(QString labelPath READ labelPath NOTIFY openChanged)
    // The size of the open image as its file's header gives it; invalid when it cannot be read.
    Q_PROPERTY(QSize imageSize READ imageSize NOTIFY openChanged)
    // Save and Reset are enabled: an edit since the last save or reset, or a write that failed,
    // or a file that opening did not write.
    Q_PROPERTY(bool ableToSave READ ableToSave NOTIFY ableToSaveChanged)
    // What the message line says about the open image's label file; empty for nothing.
    Q_PROPERTY(QString message READ message NOTIFY messageChanged)
    // The selected box's row, -1 for none.
    Q_PROPERTY(int selectedBox READ selectedBox WRITE select NOTIFY selectedBoxChanged)
    // The category A adds; the first of the table whenever an image is opened.
    Q_PROPERTY(int currentCatId READ currentCatId NOTIFY currentCatIdChanged)
    // The classes used last (chosen, added or given to a box), the latest first; at most five.
    Q_PROPERTY(QVariantList recentCategories READ recentCategories NOTIFY recentCategoriesChanged)
    Q_PROPERTY(bool canUndo READ canUndo NOTIFY historyChanged)
    Q_PROPERTY(bool canRedo READ canRedo NOTIFY historyChanged)
    // How many images of the dataset just loaded have edits a recovery file kept from a session
    // that did not end as asked (a crash); 0 when there are none to restore.
    Q_PROPERTY(int recoveryCount READ recoveryCount NOTIFY recoveryChanged)
    // The keypoint of the selected pose line last pressed, -1 for none.
    Q_PROPERTY(int selectedPoint READ selectedPoint WRITE selectPoint NOTIFY selectedPointChanged)
    // The keypoint the next click on the picture places, of a pose line just drawn; -1 while
    // none is being placed.
    Q_PROPERTY(int placingPoint READ placingPoint NOTIFY placingPointChanged)
    // Whether the editor and the tiles fill polygons in their class colour (F toggles it).
    Q_PROPERTY(bool fillShapes READ fillShapes WRITE setFillShapes NOTIFY fillShapesChanged)

public:
    explicit EditSession(ImageList *images, QObject *parent = nullptr);
    ~EditSession() override;

    static EditSession *instance();
    static bool hasInstance() { return s_instance != nullptr; }

    int row() const { return openRow; }
    bool isOpen() const { return openRow >= 0; }
    BBoxList *boxes() const { return openBoxes; }
    QString imagePath() const { return openImagePath; }
    QString caption() const { return openCaption; }
    QString labelPath() const { return openLabelPath; }
    QSize imageSize() const { return openImageSize; }
    bool ableToSave() const { return saveEnabled; }
    QString message() const { return messageText; }
    int selectedBox() const { return selected; }
    int currentCatId() const { return currentCategory; }
    QVariantList recentCategories() const { return recent; }
    bool canUndo() const;
    int selectedPoint() const { return selectedKeypoint; }
    void selectPoint(int point);
    int placingPoint() const { return placing; }
    bool fillShapes() const { return shapesFilled; }
    void setFillShapes(bool on)
    {
        if (shapesFilled == on)
            return;
        shapesFilled = on;
        emit fillShapesChanged();
    }
    bool canRedo() const;

    CategoryTable *categories() const { return categoryTable; }
    RecoveryJournal *journal() const { return recoveryJournal; }
    int recoveryCount() const;
    // The row `step` images away from the open one in the order the grid shows them; -1 when
    // there is none (or nothing is open).
    Q_INVOKABLE int neighbourRow(int step) const;
    // The order (and filter) of the rows the grid shows, a proxy of the image list; PageDown
    // and PageUp follow it. Without one they go through every row.
    void setOrder(QAbstractProxyModel *order);

    // The history of `boxes`, made on first use; it lasts while the list does.
    QUndoStack *history(BBoxList *boxes);

    // How many steps each image's history keeps; the oldest go first.
    static constexpr int undoLimit = 500;

signals:
    void openChanged();
    void ableToSaveChanged();
    void messageChanged();
    void selectedBoxChanged();
    void currentCatIdChanged();
    void recentCategoriesChanged();
    void historyChanged();
    void recoveryChanged();
    void fillShapesChanged();
    void selectedPointChanged();
    void placingPointChanged();

public slots:
    // Opens `row` (closing the image open before) and writes its label file at once, unless
    // that would lose something: a file changed on disk is read again first (edits made here
    // win), and a file with lines that are not labels waits for Save.
    void open(int row);
    // Closes the editor without writing; edits stay on the image, marked unsaved.
    void close();
    // Closes the open image and opens the one `step` rows away; says so when there is none.
    void openNeighbour(int step);
    // The Save button and key: writes the label file; true when it was written.
    bool save();
    // Reads the label file again, dropping unsaved edits and the history.
    void reset();

public:
    // Edits of any image (not only the open one) in one undo step of its history, named `text`:
    // each box of `moves` given the geometry of its BoxInfo, then the boxes of `removals`
    // deleted. The image is then unsaved, for review.
    void editImage(int row, const QVector<QPair<int, BoxInfo>> &moves, QVector<int> removals,
                   const QString &text);
    // Pushes `command` (made for the boxes of `row`, or one that edits no box) onto the
    // history of `row` as one undo step, done at once; the open image's selection follows it.
    void record(int row, QUndoCommand *command);
    // Whether the image's edits were made for review (editImage): opening it does not write them.
    bool heldForReview(const BBoxList *boxes) const { return held.contains(boxes); }

public slots:

    void select(int box);
    // The smallest box holding the point (x, y), fractions of the picture; with `after`, one of
    // those boxes, the next larger one (wrapping). -1 for none.
    int boxAt(double x, double y, int after = -1) const;
    void clearSelection() { select(-1); }
    // Selects the box `step` rows after the selected one, wrapping, or the first or last when
    // none is selected.
    void selectStep(int step);

    // Adds a box of `catId` centred on the point (x, y) of a picture `width` by `height` shown,
    // or on the nearest point of the picture. Nothing without a picture size.
    void addBox(int catId, double x, double y, double width, double height);
    // Adds a box of `catId` between the corners (x0, y0) and (x1, y1) of a picture `width` by
    // `height` shown, cut to the picture, and selects it.
    void drawBox(int catId, double x0, double y0, double x1, double y1, double width,
                 double height);
    // Gives the box new geometry. `continuing` marks a further report of the gesture that
    // made the last edit: the two become one undo step.
    void moveBox(int box, double cx, double cy, double cw, double ch, bool continuing);
    // Moves the selected box by (dx, dy) pixels of a picture `width` by `height` shown, kept
    // inside the picture as a drag is.
    void nudgeSelected(double dx, double dy, double width, double height);
    // Moves vertex or keypoint `point` of `box` to (x, y), fractions of the picture; a drag's
    // further reports come `continuing` and make one undo step with the first.
    void movePoint(int box, int point, double x, double y, bool continuing);
    // Adds a polygon of `catId` through `points` (x y fractions of the picture, clamped into
    // it), of three points or more, and selects it; says in the message line what a trainer
    // makes of a file that then holds boxes and polygons.
    void addPolygon(int catId, const QVariantList &points);
    // Puts a vertex at (x, y), fractions of a picture `width` by `height` shown, on the edge of
    // polygon `box` it lies within a few pixels of; whether it did.
    bool insertVertexAt(int box, double x, double y, double width, double height);
    // The vertex of polygon `box` nearest (x, y), fractions of a picture `width` by `height`
    // shown, within a few pixels; -1 for none.
    int vertexAt(int box, double x, double y, double width, double height) const;
    // Takes vertex `point` out of polygon `box` (never below three); whether it did.
    bool removeVertex(int box, int point);
    // Turns polygon `box` by `radians` about its middle on a picture `width` by `height` shown;
    // a turning drag's further reports come `continuing` and make one undo step.
    void rotateBox(int box, double radians, double width, double height, bool continuing);
    // The selected keypoint's visibility in turn: not labelled (0), hidden (1), visible (2).
    void cycleVisibility();
    // Places keypoint placingPoint of the pose line just drawn at (x, y), fractions of the
    // picture, labelled and visible, and goes on to the next; after the last, or stopPlacing,
    // the rest stay unlabelled.
    void placeKeypoint(double x, double y);
    void stopPlacing();
    void deleteBox(int box);
    void deleteSelected() { deleteBox(selected); }
    void setCategory(int box, int catId);
    // A category chosen in the editor: the selected box takes it, or it becomes the current one.
    void chooseCategory(int catId);

    void undo();
    void redo();

    // The edits of the recovery file found at Load come back as unsaved edits, or are dropped.
    void restoreRecovery();
    void discardRecovery();

private:
    static void create();
    void setOpen(int row);
    bool writeLabels();
    void setAbleToSave(bool value);
    void setMessage(const QString &text);
    void setCurrentCatId(int catId);
    void noteUsed(int catId);
    void push(class BoxCommand *command);
    void forgetHistory(BBoxList *boxes);

    ImageList *imageList;
    CategoryTable *categoryTable;
    RecoveryJournal *recoveryJournal;
    int openRow = -1;
    QPointer<BBoxList> openBoxes;
    QPointer<QAbstractProxyModel> viewOrder;
    QString openImagePath, openCaption, openLabelPath;
    QSize openImageSize;
    bool saveEnabled = false;
    bool shapesFilled = true;
    int selectedKeypoint = -1;
    int placing = -1; // placingPoint, of the selected line
    // Lists edited by editImage: only Save writes them.
    QSet<const BBoxList *> held;
    QString messageText;
    int selected = -1;
    int currentCategory = 0;
    QVariantList recent;
    QList<QMetaObject::Connection> boxConnections;
    std::unordered_map<const BBoxList *, std::unique_ptr<QUndoStack>> histories;

    static EditSession *s_instance;
};
