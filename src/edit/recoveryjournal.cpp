#include "edit/recoveryjournal.h"

#include "dataset/imagelist.h"
#include "format/labelshape.h"
#include "io/fileio.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <csignal>

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

QString RecoveryJournal::pathFor(const QString &labelsFolder, qint64 pid)
{
    const QByteArray key = QCryptographicHash::hash(
        QFileInfo(labelsFolder).absoluteFilePath().toUtf8(), QCryptographicHash::Sha1);
    return QStringLiteral("%1/recovery-%2-%3.json")
        .arg(io::stateFolder(), QString::fromLatin1(key.toHex()))
        .arg(pid < 0 ? QCoreApplication::applicationPid() : pid);
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

namespace {

// Whether the process `pid` is this one or still a running copy of this program (a process
// that took the number of a window gone is not).
bool isRunning(qint64 pid)
{
    if (pid == QCoreApplication::applicationPid())
        return true;
    if (pid <= 0 || kill(pid_t(pid), 0) != 0)
        return errno == EPERM;
    QByteArray name;
    if (!io::readFile(QStringLiteral("/proc/%1/comm").arg(pid), name))
        return true; // no /proc: taken at its word
    // The kernel keeps 15 bytes of the name.
    const QByteArray own = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8();
    return name.trimmed() == own.left(15);
}

} // namespace

void RecoveryJournal::datasetLoaded()
{
    const QString folder = imageList->labelsFolderPath();
    path = folder.isEmpty() ? QString() : pathFor(folder);
    if (path.isEmpty())
        return;
    // The files of windows gone: "recovery-KEY-PID.json" and, from before windows kept their
    // own, "recovery-KEY.json"; the newest first, so that its edits of an image win.
    const QFileInfo own(path);
    const QString prefix = own.fileName().left(own.fileName().lastIndexOf(QLatin1Char('-')));
    QFileInfoList files
        = QDir(own.path())
              .entryInfoList({prefix + QStringLiteral("*.json")}, QDir::Files, QDir::Time);
    QHash<QString, QJsonObject> byLabel;
    QStringList sources;
    for (const QFileInfo &file : qAsConst(files)) {
        const QString tail = file.completeBaseName().mid(prefix.size());
        bool isPid = false;
        const qint64 pid = tail.mid(1).toLongLong(&isPid);
        if (!tail.isEmpty() && (!tail.startsWith(QLatin1Char('-')) || !isPid))
            continue;
        if (!tail.isEmpty() && isRunning(pid))
            continue;
        QByteArray bytes;
        if (!io::readFile(file.filePath(), bytes))
            continue;
        sources << file.filePath();
        const QJsonObject journal = QJsonDocument::fromJson(bytes).object();
        for (const QJsonValue &value : journal.value(QStringLiteral("images")).toArray()) {
            const QJsonObject entry = value.toObject();
            const QString label = entry.value(QStringLiteral("label")).toString();
            if (!byLabel.contains(label))
                byLabel.insert(label, entry);
        }
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
    foundFiles = sources;
    if (entries.isEmpty())
        dropFoundFiles();
    setFound(entries);
}

void RecoveryJournal::dropFoundFiles()
{
    for (const QString &file : qAsConst(foundFiles))
        io::removeFile(file);
    foundFiles.clear();
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
    dropFoundFiles();
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
    dropFoundFiles();
}

void RecoveryJournal::setFound(QVector<Entry> entries)
{
    if (found.isEmpty() && entries.isEmpty())
        return;
    found = std::move(entries);
    emit pendingChanged();
}
