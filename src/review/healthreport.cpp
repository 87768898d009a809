#include "review/healthreport.h"

#include "dataset/imagelist.h"
#include "edit/editsession.h"
#include "io/fileio.h"
#include "io/imageheader.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace {

// The checks run on the GUI thread in slices no longer than this.
constexpr qint64 sliceMs = 8;

const health::Findings noFindings;

} // namespace

HealthReport::HealthReport(ImageList *images, QObject *parent)
    : QAbstractListModel(parent)
    , imageList(images)
{
    // A new dataset, or rows made or dropped: everything is looked at again.
    connect(imageList, &QAbstractItemModel::modelReset, this, &HealthReport::start);
    connect(imageList, &QAbstractItemModel::rowsInserted, this, &HealthReport::start);
    connect(imageList, &QAbstractItemModel::rowsRemoved, this, &HealthReport::start);
    // Edits of an image's boxes, saves, and label files made.
    connect(imageList, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &first, const QModelIndex &last) {
                if (busy || facts == nullptr)
                    return;
                for (int row = first.row(); row <= last.row(); ++row)
                    checkRow(row);
                recount();
            });
}

HealthReport::~HealthReport()
{
    stopReading();
}

int HealthReport::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : health::kindCount;
}

QVariant HealthReport::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= health::kindCount)
        return QVariant();
    const auto kind = health::Kind(index.row());
    switch (role) {
    case KindRole:
        return index.row();
    case NameRole:
        return QString::fromLatin1(health::kindName(kind));
    case Qt::DisplayRole:
    case TitleRole:
        return health::kindTitle(kind);
    case ImagesRole:
        return kindImages[index.row()];
    case BoxesRole:
        return kindBoxes[index.row()];
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> HealthReport::roleNames() const
{
    return {{KindRole, "kind"},
            {NameRole, "name"},
            {TitleRole, "title"},
            {ImagesRole, "images"},
            {BoxesRole, "boxes"}};
}

QString HealthReport::summary() const
{
    if (busy)
        return tr("Looking for problems…");
    if (imagesFound == 0)
        return tr("No problems found");
    return imagesFound == 1 ? tr("1 image with problems")
                            : tr("%1 images with problems").arg(imagesFound);
}

const health::Findings &HealthReport::findings(int row) const
{
    return row >= 0 && row < rows.size() ? rows[row] : noFindings;
}

QString HealthReport::problemText(int row) const
{
    QStringList lines;
    for (const health::Finding &f : findings(row)) {
        const QString where = f.line > 0 ? tr("line %1: ").arg(f.line) : QString();
        lines << where + health::kindTitle(f.kind) + QStringLiteral(": ") + f.detail;
    }
    return lines.join(QLatin1Char('\n'));
}

QVariantList HealthReport::flaggedBoxes(int row) const
{
    QVariantList boxes;
    for (const health::Finding &f : findings(row)) {
        if (f.box >= 0 && !boxes.contains(f.box))
            boxes << f.box;
    }
    return boxes;
}

void HealthReport::setBusy(bool on)
{
    if (busy == on)
        return;
    busy = on;
    emit busyChanged();
    emit findingsChanged();
}

void HealthReport::stopReading()
{
    stopFlag = true;
    if (reader.joinable())
        reader.join();
    stopFlag = false;
}

void HealthReport::readFacts(const QStringList &paths, Facts &facts, const std::atomic<bool> &stop)
{
    const int n = paths.size();
    facts.sizes.resize(n);
    facts.state.resize(n);
    // Opening the files is most of the work, and it goes faster on two threads than on one.
    std::atomic<int> next{0};
    const auto work = [&] {
        for (int i = next++; i < n && !stop; i = next++) {
            const QSize size = io::headerSize(paths[i]);
            facts.sizes[i] = size;
            facts.state[i] = size.isValid() ? 0 : io::fileExists(paths[i]) ? 2 : 1;
        }
    };
    std::thread second(work);
    work();
    second.join();
}

void HealthReport::start()
{
    if (imageList->isRelayingOut() && facts && facts->sizes.size() == imageList->rowCount())
        return;
    stopReading();
    ++generation;
    facts.reset();
    beginResetModel();
    rows = QVector<health::Findings>(imageList->rowCount());
    masks = QVector<quint16>(imageList->rowCount(), 0);
    std::fill(std::begin(kindImages), std::end(kindImages), 0);
    std::fill(std::begin(kindBoxes), std::end(kindBoxes), 0);
    imagesFound = 0;
    endResetModel();
    ++revisionCount;
    if (imageList->rowCount() == 0) {
        setBusy(false);
        emit findingsChanged();
        return;
    }
    setBusy(true);
    QStringList paths;
    paths.reserve(imageList->rowCount());
    for (int row = 0; row < imageList->rowCount(); ++row)
        paths << ImageList::plainPath(imageList->imageAt(row)->filePath);
    reading = std::make_shared<Facts>();
    const int started = generation;
    reader = std::thread([this, paths, into = reading, started] {
        readFacts(paths, *into, stopFlag);
        QMetaObject::invokeMethod(this, [this, started] {
            if (started == generation)
                factsRead();
        });
    });
}

void HealthReport::factsRead()
{
    if (reader.joinable())
        reader.join();
    facts = std::move(reading);
    // The class names of a load come with or after its reset.
    countClasses();
    nextRow = 0;
    checkSlice();
}

void HealthReport::checkSlice()
{
    QElapsedTimer clock;
    clock.start();
    const int rowCount = std::min(imageList->rowCount(), facts->sizes.size());
    while (nextRow < rowCount && clock.elapsed() < sliceMs) {
        for (const int end = std::min(rowCount, nextRow + 256); nextRow < end; ++nextRow)
            checkRow(nextRow);
    }
    if (nextRow < rowCount) {
        const int started = generation;
        QTimer::singleShot(0, this, [this, started] {
            if (started == generation)
                checkSlice();
        });
        return;
    }
    recount();
    setBusy(false);
}

void HealthReport::checkNow()
{
    stopReading();
    ++generation;
    countClasses();
    QStringList paths;
    for (int row = 0; row < imageList->rowCount(); ++row)
        paths << ImageList::plainPath(imageList->imageAt(row)->filePath);
    facts = std::make_shared<Facts>();
    readFacts(paths, *facts, stopFlag);
    rows = QVector<health::Findings>(imageList->rowCount());
    masks = QVector<quint16>(imageList->rowCount(), 0);
    for (int row = 0; row < rows.size(); ++row)
        checkRow(row);
    recount();
    setBusy(false);
}

void HealthReport::countClasses()
{
    classCount = imageList->classNames().isEmpty() ? 0 : imageList->classNameTable().size();
}

void HealthReport::checkRow(int row)
{
    const auto info = imageList->imageAt(row);
    if (!info || !facts || row >= facts->sizes.size() || row >= rows.size())
        return;
    health::ImageFacts image;
    const BBoxList &boxes = *info->bboxes;
    image.classCount = classCount;
    image.keypoints = boxes.layout().datasetKeypoints();
    image.size = facts->sizes[row];
    image.hasLabelFile = !reportUnlabelled || imageList->hasLabelFile(row);
    image.imageMissing = facts->state[row] == 1;
    image.imageUnreadable = facts->state[row] == 2;
    if (image.imageUnreadable)
        image.imageName = io::fileName(ImageList::plainPath(info->filePath));
    rows[row] = health::check(boxes.boxList(), boxes.foreignLines(), image);
    quint16 bits = 0;
    for (const health::Finding &f : qAsConst(rows[row]))
        bits |= quint16(1u << int(f.kind));
    masks[row] = bits;
}

void HealthReport::recount()
{
    int images[health::kindCount] = {}, boxes[health::kindCount] = {};
    int any = 0;
    for (int row = 0; row < rows.size(); ++row) {
        if (!masks[row])
            continue;
        ++any;
        for (int k = 0; k < health::kindCount; ++k)
            images[k] += (masks[row] >> k) & 1;
        for (const health::Finding &f : qAsConst(rows[row]))
            boxes[int(f.kind)] += f.box >= 0 ? 1 : 0;
    }
    imagesFound = any;
    std::copy(std::begin(images), std::end(images), kindImages);
    std::copy(std::begin(boxes), std::end(boxes), kindBoxes);
    ++revisionCount;
    emit dataChanged(index(0, 0), index(health::kindCount - 1, 0));
    emit findingsChanged();
}

void HealthReport::recheck(int row)
{
    if (busy || !facts)
        return;
    checkRow(row);
    recount();
}

int HealthReport::fix(int row, int kind, bool apply)
{
    const auto info = imageList->imageAt(row);
    // A fix that could never be saved is not offered.
    if (!info || !imageList->labelsWritable())
        return 0;
    const BoxRecords &boxes = info->bboxes->boxList();
    QVector<QPair<int, BoxInfo>> moves;
    QVector<int> removals;
    for (const health::Finding &f : findings(row)) {
        if ((kind >= 0 && int(f.kind) != kind) || !health::fixable(f, boxes))
            continue;
        if (f.kind == health::Kind::ExactDuplicate) {
            removals << f.box;
        } else {
            BoxInfo clamped;
            health::clampedIntoImage(*boxes[f.box], &clamped);
            moves << qMakePair(f.box, clamped);
        }
    }
    const int count = moves.size() + removals.size();
    if (apply && count > 0)
        EditSession::instance()->editImage(row, moves, removals, tr("Fix problems"));
    return count;
}

int HealthReport::fixableIn(int row) const
{
    return const_cast<HealthReport *>(this)->fix(row, -1, false);
}

int HealthReport::fixImage(int row)
{
    return fix(row, -1, true);
}

bool HealthReport::canFix(int kind) const
{
    return imageList->labelsWritable()
        && (kind == int(health::Kind::Outside) || kind == int(health::Kind::ExactDuplicate));
}

QString HealthReport::fixQuestion(int kind) const
{
    int images = 0, boxes = 0;
    for (int row = 0; row < rows.size(); ++row) {
        if (!hasKind(row, kind))
            continue;
        const int n = const_cast<HealthReport *>(this)->fix(row, kind, false);
        images += n > 0 ? 1 : 0;
        boxes += n;
    }
    if (boxes == 0)
        return tr("None of these can be fixed here.");
    const QString what = kind == int(health::Kind::Outside)
        ? tr("Cut %1 boxes in %2 images to their image?")
        : tr("Delete %1 exact duplicate lines in %2 images?");
    const int left = kindBoxes[kind] - boxes;
    const QString rest = left > 0
        ? tr(" %1 more cannot be: they lie wholly outside their image, have no area or are not "
             "boxes, and are for you to mend.")
              .arg(left)
        : QString();
    return what.arg(boxes).arg(images) + rest
        + tr(" The images are left unsaved, for you to review and save; each one's Undo takes "
             "its fix back.");
}

int HealthReport::fixAll(int kind)
{
    int changed = 0;
    // The rows first: each fix checks its image again, which changes the findings.
    QVector<int> affected;
    for (int row = 0; row < rows.size(); ++row) {
        if (hasKind(row, kind))
            affected << row;
    }
    for (int row : qAsConst(affected))
        changed += fix(row, kind, true) > 0 ? 1 : 0;
    return changed;
}
