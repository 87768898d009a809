#include "dataset/bboxlist.h"

#include "format/datasetjson.h"
#include "format/yololabels.h"
#include "io/fileio.h"
#include "io/logging.h"

#include <QMetaMethod>

#include <QVariantList>
#include <QVariantMap>
#include <algorithm>

BBoxList::BBoxList()
{
    // Every list holds a copy of this one table: implicit sharing keeps it a single allocation
    // however many images are loaded.
    static const QHash<int, QByteArray> table{
        {CatId, QByteArrayLiteral("catId")},
        {Cx, QByteArrayLiteral("cx")},
        {Cy, QByteArrayLiteral("cy")},
        {Cw, QByteArrayLiteral("cw")},
        {Ch, QByteArrayLiteral("ch")},
        {Kind, QByteArrayLiteral("kind")},
        {Points, QByteArrayLiteral("points")},
        {Confidence, QByteArrayLiteral("confidence")},
        {PointDims, QByteArrayLiteral("pointDims")},
    };
    roleNameTable = table;
}

BBoxList::~BBoxList() = default;

int BBoxList::rowCount(const QModelIndex &parent) const
{
    // A list has no children below its rows; views that walk trees rely on that.
    return parent.isValid() ? 0 : boxes.size();
}

QVariant BBoxList::data(const QModelIndex &index, int role) const
{
    const int row = index.row();
    if (row < 0 || row >= boxes.size())
        return QVariant();
    const BoxInfo &box = *boxes.at(row);
    switch (role) {
    case CatId:
        return box.catId;
    case Cx:
        return box.cx;
    case Cy:
        return box.cy;
    case Cw:
        return box.cw;
    case Ch:
        return box.ch;
    case Kind:
        return QString::fromLatin1(shape::kindName(box.kind()));
    case Points: {
        QVariantList points;
        points.reserve(box.shape().size());
        for (int i = 0; i < box.shape().size(); ++i)
            points.append(box.shape().at(i));
        return points;
    }
    case PointDims:
        return box.shape().dims();
    case Confidence: {
        // The sixth field of a box line, when it is one number (a detector's score).
        bool ok = false;
        const double confidence = box.extra().isEmpty() || box.extra().contains(QLatin1Char(' '))
            ? 0.0
            : box.extra().toDouble(&ok);
        return ok ? QVariant(confidence) : QVariant();
    }
    default:
        return QVariant();
    }
}

bool BBoxList::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const int row = index.row();
    if (row < 0 || row >= boxes.size())
        return false;
    BoxInfo &box = *boxes[row];
    // The category cannot be changed through the model; only the geometry can.
    double geometry[] = {box.cx, box.cy, box.cw, box.ch};
    switch (role) {
    case Cx:
    case Cy:
    case Cw:
    case Ch:
        geometry[role - Cx] = value.toDouble();
        break;
    default:
        return false;
    }
    const bool shaped = !box.shape().isNull();
    shape::setGeometry(box, geometry[0], geometry[1], geometry[2], geometry[3]);
    setModified(true);
    // A polygon's box is fitted to its vertices again, which may touch every geometry role.
    emitChanged(row, shaped ? QVector<int>{Cx, Cy, Cw, Ch, Points} : QVector<int>{role});
    return true;
}

void BBoxList::emitChanged(int row, const QVector<int> &roles)
{
    const QModelIndex changed = index(row, 0);
    emit dataChanged(changed, changed, roles);
}

BoxInfo BBoxList::newLine(const BoxInfo &box) const
{
    // A box kept with its text or its shape (one being put back by undo) is a line of its own.
    if (!box.extra().isNull() || !box.shape().isNull())
        return box;
    return shape::shapedLike(box, fileLayout);
}

QHash<int, QByteArray> BBoxList::roleNames() const
{
    return roleNameTable;
}

void BBoxList::appendBox(qint32 catId, double cx, double cy, double cw, double ch)
{
    const int n = boxes.size();
    beginInsertRows(QModelIndex(), n, n);
    boxes.append(std::make_shared<BoxInfo>(BoxInfo{catId, cx, cy, cw, ch}));
    endInsertRows();
}

void BBoxList::appendBoxes(const QVector<BoxInfo> &added)
{
    BoxRecords records;
    records.reserve(added.size());
    for (const BoxInfo &box : added)
        records.append(std::make_shared<BoxInfo>(box));
    appendRecords(std::move(records));
}

void BBoxList::appendRecords(BoxRecords added)
{
    if (added.isEmpty())
        return;
    if (boxes.isEmpty() || fileLayout.kind == ShapeKind::Box) {
        // The layout follows the first shaped record; a list of boxes looks at none.
        const auto shaped = std::find_if(added.cbegin(), added.cend(),
                                         [](const auto &box) { return !box->shape().isNull(); });
        fileLayout = shape::layoutOf(shaped == added.cend() ? QVector<BoxInfo>()
                                                            : QVector<BoxInfo>{**shaped},
                                     fileLayout.datasetKeypoints());
    }
    // Rows appended at the end move no existing index, so a list whose insertions no one
    // receives (one a loader has just made) can skip the notification machinery.
    const bool observed
        = isSignalConnected(QMetaMethod::fromSignal(&QAbstractItemModel::rowsAboutToBeInserted))
        || isSignalConnected(QMetaMethod::fromSignal(&QAbstractItemModel::rowsInserted));
    const int n = boxes.size();
    if (observed)
        beginInsertRows(QModelIndex(), n, n + added.size() - 1);
    if (boxes.isEmpty())
        boxes = std::move(added);
    else
        boxes += added;
    if (observed)
        endInsertRows();
}

void BBoxList::appendRow(int catId, double cx, double cy)
{
    const int n = boxes.size();
    beginInsertRows(QModelIndex(), n, n);
    boxes.append(
        std::make_shared<BoxInfo>(newLine(BoxInfo{catId, cx, cy, newBoxSize, newBoxSize})));
    endInsertRows();
    setModified(true);
}

bool BBoxList::setCategory(int row, int catId)
{
    if (row < 0 || row >= boxes.size())
        return false;
    if (boxes[row]->catId != catId) {
        boxes[row]->catId = catId;
        setModified(true);
        const QModelIndex changed = index(row, 0);
        emit dataChanged(changed, changed, {CatId});
    }
    return true;
}

bool BBoxList::insertBox(int row, const BoxInfo &box)
{
    if (row < 0 || row > boxes.size())
        return false;
    beginInsertRows(QModelIndex(), row, row);
    boxes.insert(row, std::make_shared<BoxInfo>(newLine(box)));
    for (ForeignLine &line : foreign)
        line.before += line.before > row ? 1 : 0;
    endInsertRows();
    setModified(true);
    return true;
}

bool BBoxList::setGeometry(int row, double cx, double cy, double cw, double ch)
{
    if (row < 0 || row >= boxes.size())
        return false;
    BoxInfo &box = *boxes[row];
    const bool shaped = !box.shape().isNull();
    shape::setGeometry(box, cx, cy, cw, ch);
    setModified(true);
    emitChanged(row, shaped ? QVector<int>{Cx, Cy, Cw, Ch, Points} : QVector<int>{Cx, Cy, Cw, Ch});
    return true;
}

bool BBoxList::setPoint(int row, int index, double x, double y)
{
    if (row < 0 || row >= boxes.size())
        return false;
    BoxInfo &box = *boxes[row];
    const int dims = box.shape().dims();
    if (index < 0 || index >= box.shape().pointCount())
        return false;
    const int first = index * dims;
    box.editShape().set(first, std::clamp(x, 0.0, 1.0));
    box.editShape().set(first + 1, std::clamp(y, 0.0, 1.0));
    // A point placed by hand is labelled, and in sight.
    if (dims == 3 && box.shape().at(first + 2) == 0)
        box.editShape().set(first + 2, 2);
    if (box.kind() == ShapeKind::Polygon)
        shape::fitBox(box);
    setModified(true);
    emitChanged(row,
                box.kind() == ShapeKind::Polygon ? QVector<int>{Cx, Cy, Cw, Ch, Points}
                                                 : QVector<int>{Points});
    return true;
}

bool BBoxList::setBox(int row, const BoxInfo &box)
{
    if (row < 0 || row >= boxes.size())
        return false;
    *boxes[row] = box;
    setModified(true);
    emitChanged(row, {CatId, Cx, Cy, Cw, Ch, Kind, Points, Confidence, PointDims});
    return true;
}

void BBoxList::deleteRow(int index)
{
    if (index < 0 || index >= boxes.size())
        return;
    beginRemoveRows(QModelIndex(), index, index);
    boxes.removeAt(index);
    for (ForeignLine &line : foreign)
        line.before -= line.before > index ? 1 : 0;
    endRemoveRows();
    setModified(true);
}

void BBoxList::clear()
{
    beginResetModel();
    boxes.clear();
    foreign.clear();
    endResetModel();
}

QByteArray BBoxList::fileBytes(const QString &txtFile, bool *unchanged) const
{
    QByteArray original;
    io::FileStamp now;
    const bool same
        = stamped && !txtFile.isEmpty() && io::readFile(txtFile, original, &now) && now == stamp;
    const QByteArray bytes = yolo::formatLabels(boxes, foreign, style, same ? &original : nullptr,
                                                fileLayout.datasetKeypoints());
    if (unchanged)
        *unchanged = same && bytes == original;
    return bytes;
}

bool BBoxList::saveTxtFile(const QString &txtFile)
{
    qCDebug(lcSave) << Q_FUNC_INFO;
    qCDebug(lcSave) << txtFile;
    QString error;
    bool ok = false;
    bool unchanged = false;
    if (txtFile.isEmpty()) {
        error = tr("no label file");
    } else if (io::linkLeavesFolder(txtFile)) {
        error = tr("link points outside the labels folder");
    } else {
        const QByteArray bytes = fileBytes(txtFile, &unchanged);
        // A file that already holds every byte is left alone, its time and all.
        ok = unchanged || io::writeFile(txtFile, bytes, &error);
        if (ok && !unchanged)
            style = yolo::styleOf(bytes);
    }
    if (ok) {
        if (!unchanged) {
            stamp = io::fileStamp(txtFile);
            yolo::numberLines(boxes, foreign);
        }
        stamped = true;
        setModified(false);
        error.clear();
    }
    setSaveError(error);
    return ok;
}

void BBoxList::loadTxtFile(const QString &txtFile)
{
    setLoaded(readTxtFile(txtFile, fileLayout.datasetKeypoints()));
}

BBoxList::LoadedFile BBoxList::readTxtFile(const QString &txtFile, const KeypointShape &keypoints)
{
    LoadedFile loaded;
    QByteArray bytes;
    io::readFile(txtFile, bytes, &loaded.stamp);
    loaded.boxes = yolo::parseLabels(bytes, &loaded.foreign, keypoints);
    loaded.style = yolo::styleOf(bytes);
    loaded.keypoints = keypoints;
    return loaded;
}

void BBoxList::setLoaded(LoadedFile loaded)
{
    stamp = loaded.stamp;
    stamped = true;
    style = loaded.style;
    // An empty list no one listens to (a new one, filled by a load) skips the reset: there is
    // no row and no index of it anyone could hold, and no one to tell.
    const bool observed = !boxes.isEmpty()
        || isSignalConnected(QMetaMethod::fromSignal(&QAbstractItemModel::modelAboutToBeReset))
        || isSignalConnected(QMetaMethod::fromSignal(&QAbstractItemModel::modelReset));
    if (observed)
        beginResetModel();
    // Edits kept elsewhere know no kpt_shape: the one this list was read with stays.
    const KeypointShape keypoints
        = loaded.keypoints.isValid() ? loaded.keypoints : fileLayout.datasetKeypoints();
    if (boxes.isEmpty() || fileLayout.kind == ShapeKind::Box)
        fileLayout = shape::layoutOf(loaded.boxes, keypoints);
    for (ForeignLine &line : loaded.foreign)
        foreign.append({line.before + int(boxes.size()), std::move(line.text), line.sourceLine});
    if (!loaded.boxes.isEmpty()) {
        // All boxes of a file live in one block made here, each record pointing into it and
        // sharing its ownership: one allocation per file instead of one per box, and none left
        // behind by the thread that read the file.
        const auto block
            = std::make_shared<QVector<BoxInfo>>(loaded.boxes.cbegin(), loaded.boxes.cend());
        BoxInfo *records = block->data();
        boxes.reserve(boxes.size() + block->size());
        for (int i = 0; i < block->size(); ++i)
            boxes.append(std::shared_ptr<BoxInfo>(block, records + i));
    }
    if (observed)
        endResetModel();
    setModified(false);
}

void BBoxList::setRecovered(LoadedFile edits)
{
    clear();
    setLoaded(std::move(edits));
    setModified(true);
}

bool BBoxList::changedOnDisk(const QString &txtFile) const
{
    if (!stamped || txtFile.isEmpty())
        return false;
    // A file that is gone has nothing to read again: the boxes here are all that is left.
    const io::FileStamp now = io::fileStamp(txtFile);
    return now.size >= 0 && now != stamp;
}

int BBoxList::firstForeignLine(const QString &txtFile) const
{
    QByteArray bytes;
    if (txtFile.isEmpty() || !io::readFile(txtFile, bytes))
        return 0;
    return yolo::firstForeignLine(bytes);
}

void BBoxList::setModified(bool value)
{
    if (modified == value)
        return;
    modified = value;
    emit modifiedChanged();
}

void BBoxList::setSaveError(const QString &error)
{
    if (lastSaveError == error)
        return;
    lastSaveError = error;
    emit saveErrorChanged();
}

QJsonArray BBoxList::toJsonArray() const
{
    return datasetjson::boxesToJson(boxes);
}
