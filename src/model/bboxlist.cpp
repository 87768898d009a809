#include "model/bboxlist.h"

#include "app/logging.h"
#include "io/fileio.h"
#include "model/yololabels.h"

#include <QMetaMethod>
#include <QVariantList>
#include <QVariantMap>

BBoxList::BBoxList()
{
    // Every list holds a copy of this one table: implicit sharing keeps it a single allocation
    // however many images are loaded.
    static const QHash<int, QByteArray> table{
        {CatId, QByteArrayLiteral("catId")}, {Cx, QByteArrayLiteral("cx")},
        {Cy, QByteArrayLiteral("cy")},       {Cw, QByteArrayLiteral("cw")},
        {Ch, QByteArrayLiteral("ch")},
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
    double *field = nullptr;
    switch (role) {
    case Cx:
        field = &box.cx;
        break;
    case Cy:
        field = &box.cy;
        break;
    case Cw:
        field = &box.cw;
        break;
    case Ch:
        field = &box.ch;
        break;
    default:
        return false;
    }
    *field = value.toDouble();
    setModified(true);
    const QModelIndex changed = this->index(row, 0);
    emit dataChanged(changed, changed, {role});
    return true;
}

QHash<int, QByteArray> BBoxList::roleNames() const
{
    return roleNameTable;
}

void BBoxList::appendBox(qint32 catId, double cx, double cy, double cw, double ch)
{
    const int n = boxes.size();
    beginInsertRows(QModelIndex(), n, n);
    boxes.append(std::make_shared<BoxInfo>(BoxInfo{catId, cx, cy, cw, ch, QString()}));
    endInsertRows();
}

void BBoxList::appendBoxes(const QVector<BoxInfo> &added)
{
    if (added.isEmpty())
        return;
    // Rows appended at the end move no existing index, so a list whose insertions no one
    // receives (one a loader has just made) can skip the notification machinery.
    const bool observed
        = isSignalConnected(QMetaMethod::fromSignal(&QAbstractItemModel::rowsAboutToBeInserted))
        || isSignalConnected(QMetaMethod::fromSignal(&QAbstractItemModel::rowsInserted));
    const int n = boxes.size();
    if (observed)
        beginInsertRows(QModelIndex(), n, n + added.size() - 1);
    boxes.reserve(n + added.size());
    for (const BoxInfo &box : added)
        boxes.append(std::make_shared<BoxInfo>(box));
    if (observed)
        endInsertRows();
}

void BBoxList::appendRow(int catId, double cx, double cy)
{
    appendBox(catId, cx, cy, newBoxSize, newBoxSize);
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
    boxes.insert(row, std::make_shared<BoxInfo>(box));
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
    box.cx = cx;
    box.cy = cy;
    box.cw = cw;
    box.ch = ch;
    setModified(true);
    const QModelIndex changed = index(row, 0);
    emit dataChanged(changed, changed, {Cx, Cy, Cw, Ch});
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

bool BBoxList::saveTxtFile(const QString &txtFile)
{
    qCDebug(lcSave) << Q_FUNC_INFO;
    qCDebug(lcSave) << txtFile;
    QString error;
    bool ok = false;
    if (txtFile.isEmpty())
        error = tr("no label file");
    else if (io::linkLeavesFolder(txtFile))
        error = tr("link points outside the labels folder");
    else
        ok = io::writeFile(txtFile, yolo::formatLabels(boxes, foreign), &error);
    if (ok) {
        stamp = io::fileStamp(txtFile);
        stamped = true;
        setModified(false);
        error.clear();
    }
    setSaveError(error);
    return ok;
}

void BBoxList::loadTxtFile(const QString &txtFile)
{
    setLoaded(readTxtFile(txtFile));
}

BBoxList::LoadedFile BBoxList::readTxtFile(const QString &txtFile)
{
    LoadedFile loaded;
    QByteArray bytes;
    io::readFile(txtFile, bytes, &loaded.stamp);
    loaded.boxes = yolo::parseLabels(bytes, &loaded.foreign);
    return loaded;
}

void BBoxList::setLoaded(LoadedFile loaded)
{
    stamp = loaded.stamp;
    stamped = true;
    // An empty list no one listens to (a new one, filled by a load) skips the reset: there is
    // no row and no index of it anyone could hold, and no one to tell.
    const bool observed = !boxes.isEmpty()
        || isSignalConnected(QMetaMethod::fromSignal(&QAbstractItemModel::modelAboutToBeReset))
        || isSignalConnected(QMetaMethod::fromSignal(&QAbstractItemModel::modelReset));
    if (observed)
        beginResetModel();
    for (ForeignLine &line : loaded.foreign)
        foreign.append({line.before + int(boxes.size()), std::move(line.text)});
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
    QVariantList list;
    list.reserve(boxes.size());
    for (const auto &box : boxes) {
        QVariantMap map;
        map.insert(QStringLiteral("catId"), box->catId);
        map.insert(QStringLiteral("cx"), box->cx);
        map.insert(QStringLiteral("cy"), box->cy);
        map.insert(QStringLiteral("cw"), box->cw);
        map.insert(QStringLiteral("ch"), box->ch);
        list.append(map);
    }
    return QJsonArray::fromVariantList(list);
}
