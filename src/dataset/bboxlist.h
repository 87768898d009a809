#pragma once

#include "format/boxinfo.h"
#include "format/yololabels.h"
#include "io/fileio.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QString>
#include <QVector>

#include <memory>
#include <new>
#include <utility>

// The boxes of one image, in order, as a list model with the roles catId, cx, cy, cw and ch (for
// a polygon its bounding rectangle), and kind, points, pointDims and confidence for shapes.
class BBoxList : public QAbstractListModel
{
    Q_OBJECT
    // True while the boxes hold edits (moves, resizes, deletions, additions) that are not in the
    // label file: set by every edit, cleared by a successful save and by reading the file.
    Q_PROPERTY(bool modified READ isModified NOTIFY modifiedChanged)
    // Why the last saveTxtFile failed ("Permission denied", ...); empty after a success.
    Q_PROPERTY(QString saveError READ saveError NOTIFY saveErrorChanged)

public:
    BBoxList();
    ~BBoxList() override;

    // The width and height, as fractions of the image, of a box added by appendRow.
    static constexpr double newBoxSize = 0.1;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    QHash<int, QByteArray> roleNames() const override;

    // A label file as loadTxtFile reads it: its boxes and the stamp of the file read. Reading
    // touches no list, so a loader may read files on other threads and hand them over.
    struct LoadedFile
    {
        QVector<BoxInfo> boxes;
        ForeignLines foreign;
        io::FileStamp stamp;
        KeypointShape keypoints; // the dataset's kpt_shape the file was read with
        yolo::FileStyle style;
    };
    // `keypoints` is the dataset's kpt_shape, if it has one.
    static LoadedFile readTxtFile(const QString &txtFile, const KeypointShape &keypoints = {});
    // Appends the boxes read, as loadTxtFile does after reading.
    void setLoaded(LoadedFile loaded);
    // Replaces the boxes with edits kept elsewhere (a recovery file), made on the file that
    // `edits.stamp` describes: they are unsaved edits.
    void setRecovered(LoadedFile edits);

    void appendBox(qint32 catId, double cx, double cy, double cw, double ch);
    // Appends all of `added` as one insertion; without a notification while no one listens.
    void appendBoxes(const QVector<BoxInfo> &added);
    // The same for records made elsewhere, taken over as they are.
    void appendRecords(BoxRecords added);
    void loadTxtFile(const QString &txtFile);
    QJsonArray toJsonArray() const;

    // Read access for the dataset code; edits go through the model interface and slots.
    const BoxRecords &boxList() const { return boxes; }
    void clear();

    // The edits the editor's undo history makes and takes back; each marks the list modified.
    // Rows outside the list change nothing (false).
    bool insertBox(int row, const BoxInfo &box);

    // The lines of the label file that are not labels, kept in their places among the boxes.
    // A box inserted or deleted moves the places of the lines after it.
    const ForeignLines &foreignLines() const { return foreign; }
    void setForeignLines(const ForeignLines &lines) { foreign = lines; }
    // Moves and resizes the line in `row`, its vertices or labelled keypoints along.
    bool setGeometry(int row, double cx, double cy, double cw, double ch);
    // Moves vertex or keypoint `index` of `row` to (x, y), each clamped to [0, 1]; a polygon's box
    // follows, an unlabelled keypoint becomes a visible one. False, changing nothing, for a row
    // or index that does not exist.
    bool setPoint(int row, int index, double x, double y);
    // Replaces the line in `row` whole, as it was kept (undo of a point move).
    bool setBox(int row, const BoxInfo &box);

    // The kind a new box of this list takes (see LabelLayout): that of its file's first shaped
    // line, else keypoints when the dataset's kpt_shape is known. The keypoint shape stays
    // through clear(), so that reading the file again knows it.
    const LabelLayout &layout() const { return fileLayout; }
    void setLayout(const LabelLayout &layout) { fileLayout = layout; }

    bool isModified() const { return modified; }
    // The edits were written elsewhere (the dataset file the list belongs to).
    void markSaved() { setModified(false); }
    // The stamp of the label file this list last read or wrote.
    io::FileStamp fileStamp() const { return stamp; }
    QString saveError() const { return lastSaveError; }

    // The bytes saveTxtFile writes to `txtFile`: where it is still the file this list read or
    // wrote, the lines not edited as it has them. `unchanged` tells whether they are the file's
    // bytes already.
    QByteArray fileBytes(const QString &txtFile, bool *unchanged = nullptr) const;

signals:
    void modifiedChanged();
    void saveErrorChanged();

public slots:
    // Writes the label file; true when it was written. A link that leads out of the folder
    // holding `txtFile` is never written through.
    bool saveTxtFile(const QString &txtFile);
    void appendRow(int catId, double cx, double cy);
    void deleteRow(int index);

    // Whether `txtFile` is no longer the file this list last read or wrote: another program
    // changed or replaced it. False when the file does not exist now, and for a list that
    // never read or wrote one.
    bool changedOnDisk(const QString &txtFile) const;
    // The number (from 1) of the first line of `txtFile`, as it is on disk now, that is not a
    // label line; 0 when every line is one, or the file cannot be read.
    int firstForeignLine(const QString &txtFile) const;
    // Gives the box in `row` the category `catId` (setData leaves the category alone). False,
    // changing nothing, for a row that does not exist.
    bool setCategory(int row, int catId);

public:
    // Plain numbers from 0, not offsets from Qt::UserRole: they coincide with Qt's display,
    // decoration, edit, tool-tip and status-tip roles.
    // The shape roles skip the numbers whose Qt roles QAbstractItemModelTester checks the types
    // of (font, alignment, brushes, check state, size hint). Kind is a QString ("box", "polygon",
    // "keypoints"); Points a QVariantList of reals, PointDims values per point of it (2 or 3, 0 for
    // a box); Confidence the sixth field of a six-field box line as a real, else undefined.
    enum Role { CatId = 0, Cx, Cy, Cw, Ch, Kind = 5, Points = 11, Confidence = 12, PointDims = 14 };

private:
    void setModified(bool value);
    // `box` as a box added here: shaped like the file's lines.
    BoxInfo newLine(const BoxInfo &box) const;
    void emitChanged(int row, const QVector<int> &roles);
    void setSaveError(const QString &error);

    QHash<int, QByteArray> roleNameTable;
    BoxRecords boxes;
    ForeignLines foreign;
    LabelLayout fileLayout;
    bool modified = false;
    bool stamped = false; // whether `stamp` describes a file this list read or wrote
    io::FileStamp stamp;
    yolo::FileStyle style; // of the file last read or written
    QString lastSaveError;
};
