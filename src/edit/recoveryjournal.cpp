#include "edit/recoveryjournal.h"

#include "dataset/imagelist.h"
#include "format/labelshape.h"
#include "io/fileio.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
QJsonArray stampToJson(const io::FileStamp &stamp)
{
    return {double(stamp.size), QString::number(stamp.modifiedNs), QString::number(stamp.inode)};
}

io::FileStamp stampFromJson(const QJsonArray &array)
{
    io::FileStamp stamp;
    stamp.size = qint64(array.at(0).toDouble(-1));
    stamp.modifiedNs = array.at(1).toString().toLongLong();
    stamp.inode = array.at(2).toString().toULongLong();
    return stamp;
}

QJsonObject editsToJson(const QString &labelFile, const BBoxList &boxes)
{
    QJsonArray boxArray;
    // [catId, cx, cy, cw, ch, extra] for a box, [catId, cx, cy, cw, ch, kind, dims, [values]]
    // for a shape.
    for (const auto &box : boxes.boxList()) {
        QJsonArray fields{box->catId, box->cx, box->cy, box->cw, box->ch};
        if (!box->shape().isNull()) {
            QJsonArray values;
            for (int i = 0; i < box->shape().size(); ++i)
                values.append(box->shape().at(i));
            fields << QLatin1String(shape::kindName(box->kind())) << box->shape().dims() << values;
        } else if (!box->extra().isNull()) {
            fields.append(box->extra());
        }
        boxArray.append(fields);
    }
    QJsonArray foreignArray;
    for (const ForeignLine &line : boxes.foreignLines())
        foreignArray.append(QJsonArray{line.before, line.text});
    return {{QStringLiteral("label"), labelFile},
            {QStringLiteral("stamp"), stampToJson(boxes.fileStamp())},
            {QStringLiteral("boxes"), boxArray},
            {QStringLiteral("foreign"), foreignArray}};
}

BBoxList::LoadedFile editsFromJson(const QJsonObject &object)
{
    BBoxList::LoadedFile edits;
    edits.stamp = stampFromJson(object.value(QStringLiteral("stamp")).toArray());
    for (const QJsonValue &value : object.value(QStringLiteral("boxes")).toArray()) {
        const QJsonArray fields = value.toArray();
        BoxInfo box;
        box.catId = fields.at(0).toInt();
        box.cx = fields.at(1).toDouble();
        box.cy = fields.at(2).toDouble();
        box.cw = fields.at(3).toDouble();
        box.ch = fields.at(4).toDouble();
        if (fields.size() > 7) {
            QVector<double> values;
            for (const QJsonValue &v : fields.at(7).toArray())
                values.append(v.toDouble());
            box.setShape(shape::fromValues(shape::kindFromName(fields.at(5).toString()),
                                           fields.at(6).toInt(), values));
        } else if (fields.size() > 5) {
            box.setExtra(fields.at(5).toString());
        }
        edits.boxes.append(box);
    }
    for (const QJsonValue &value : object.value(QStringLiteral("foreign")).toArray()) {
        const QJsonArray line = value.toArray();
        edits.foreign.append({line.at(0).toInt(), line.at(1).toString()});
    }
    return edits;
}
} // namespace

RecoveryJournal::RecoveryJournal(ImageList *images, QObject *parent)
    : QObject(parent)
    , imageList(images)
{
    timer.setSingleShot(true);
    timer.setInterval(500);
    connect(&timer, &QTimer::timeout, this, &RecoveryJournal::writeNow);
    connect(imageList, &ImageList::unsavedChanged, this, &RecoveryJournal::schedule);
    // Load asks about unsaved edits first: what the old dataset held was saved or discarded.
    // A reset that only lays out the same dataset anew keeps its edits and this file.
    connect(imageList, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        if (!imageList->isRelayingOut())
            finish();
    });
    connect(imageList, &QAbstractItemModel::modelReset, this, [this] {
        if (imageList->isRelayingOut())
            schedule();
        else
            datasetLoaded();
    });
    datasetLoaded();
}

RecoveryJournal::~RecoveryJournal() = default;

QString RecoveryJournal::pathFor(const QString &labelsFolder)
{
    const QByteArray key = QCryptographicHash::hash(
        QFileInfo(labelsFolder).absoluteFilePath().toUtf8(), QCryptographicHash::Sha1);
    return QStringLiteral("%1/recovery-%2.json")
        .arg(io::stateFolder(), QString::fromLatin1(key.toHex()));
}

void RecoveryJournal::schedule()
{
    if (!path.isEmpty() && found.isEmpty() && !timer.isActive())
        timer.start();
}

void RecoveryJournal::writeNow()
{
    timer.stop();
    if (path.isEmpty() || !found.isEmpty())
        return;
    QJsonArray entries;
    for (int row = 0; row < imageList->rowCount(); ++row) {
        const auto info = imageList->imageAt(row);
        if (info->bboxes->isModified())
            entries.append(editsToJson(info->yoloTxtFilePath, *info->bboxes));
    }
    if (entries.isEmpty()) {
        io::removeFile(path);
        return;
    }
    QDir().mkpath(QFileInfo(path).path());
    const QJsonObject journal{{QStringLiteral("labels"), imageList->labelsFolderPath()},
                              {QStringLiteral("images"), entries}};
    io::writeFile(path, QJsonDocument(journal).toJson(QJsonDocument::Compact));
}

void RecoveryJournal::finish()
{
    timer.stop();
    if (!path.isEmpty() && found.isEmpty())
        io::removeFile(path);
    path.clear();
    setFound({});
}

void RecoveryJournal::datasetLoaded()
{
    const QString folder = imageList->labelsFolderPath();
    path = folder.isEmpty() ? QString() : pathFor(folder);
    QByteArray bytes;
    if (path.isEmpty() || !io::readFile(path, bytes))
        return;
    const QJsonObject journal = QJsonDocument::fromJson(bytes).object();
    QHash<QString, QJsonObject> byLabel;
    for (const QJsonValue &value : journal.value(QStringLiteral("images")).toArray()) {
        const QJsonObject entry = value.toObject();
        byLabel.insert(entry.value(QStringLiteral("label")).toString(), entry);
    }
    QVector<Entry> entries;
    for (int row = 0; row < imageList->rowCount() && !byLabel.isEmpty(); ++row) {
        const QString label = imageList->imageAt(row)->yoloTxtFilePath;
        const auto entry = byLabel.constFind(label);
        if (entry != byLabel.constEnd()) {
            entries.append({label, editsFromJson(*entry)});
            byLabel.erase(entry);
        }
    }
    if (entries.isEmpty())
        io::removeFile(path);
    setFound(entries);
}

int RecoveryJournal::restore()
{
    QHash<QString, BBoxList *> lists;
    for (int row = 0; row < imageList->rowCount(); ++row) {
        const auto info = imageList->imageAt(row);
        lists.insert(info->yoloTxtFilePath, info->bboxes.get());
    }
    QStringList changed;
    int restored = 0;
    for (Entry &entry : found) {
        BBoxList *boxes = lists.value(entry.labelFile);
        if (!boxes)
            continue;
        boxes->setRecovered(std::move(entry.edits));
        ++restored;
        if (boxes->changedOnDisk(entry.labelFile))
            changed << QFileInfo(entry.labelFile).fileName();
    }
    setFound({});
    if (!changed.isEmpty())
        imageList->setNotice(tr("These label files have changed on disk since the edits restored "
                                "for them were made; saving will replace them: %1")
                                 .arg(changed.join(QStringLiteral(", "))));
    writeNow();
    return restored;
}

void RecoveryJournal::discard()
{
    setFound({});
    if (!path.isEmpty())
        io::removeFile(path);
}

void RecoveryJournal::setFound(QVector<Entry> entries)
{
    if (found.isEmpty() && entries.isEmpty())
        return;
    found = std::move(entries);
    emit pendingChanged();
}
