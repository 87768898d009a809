#include "review/reviewstates.h"

#include "dataset/bboxlist.h"
#include "dataset/imagefilter.h"
#include "dataset/imagelist.h"
#include "edit/editsession.h"
#include "io/fileio.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QUndoCommand>

namespace {

const QString fileName = QStringLiteral(".pallaster-review.json");

// A mark, undone and done again with the image's edits. Each is a new change, later than any
// other reviewer's before it, so that a merge keeps it.
class MarkCommand : public QUndoCommand
{
public:
    MarkCommand(ReviewStates *owner, QString key, review::Mark before, review::Mark after)
        : QUndoCommand(QCoreApplication::translate("ReviewStates", "Mark"))
        , owner(owner)
        , key(std::move(key))
        , before(std::move(before))
        , after(std::move(after))
    {
    }
    void redo() override { put(after); }
    void undo() override { put(before); }

private:
    void put(review::Mark mark)
    {
        mark.changedMs = QDateTime::currentMSecsSinceEpoch();
        if (owner)
            owner->setMark(key, mark);
    }

    QPointer<ReviewStates> owner;
    QString key;
    review::Mark before, after;
};

quint8 shownFor(const review::Mark &mark, const QPair<qint64, qint64> &stamp)
{
    switch (mark.state) {
    case review::State::Reviewed:
        return mark.labelSize == stamp.first && mark.labelModifiedNs == stamp.second
            ? ReviewStates::Reviewed
            : ReviewStates::ChangedSinceReview;
    case review::State::NeedsWork:
        return ReviewStates::NeedsWork;
    case review::State::NotReviewed:
        break;
    }
    return ReviewStates::NotReviewed;
}

// An image's name in the file: its path relative to the file's folder `base` (ending in "/").
QString keyOf(const QString &path, const QString &base)
{
    return path.startsWith(base) ? path.mid(base.size()) : QDir(base).relativeFilePath(path);
}

bool readMarks(const QString &path, review::Marks *marks)
{
    QByteArray bytes;
    return io::readFile(path, bytes) && review::fromJson(bytes, marks);
}

} // namespace

ReviewStates::ReviewStates(ImageList *images, QObject *parent)
    : QObject(parent)
    , imageList(images)
{
    // A dataset JSON file keeps each image's review state and note.
    imageList->setReviewSource([this](int row) {
        const int state = stateOf(row);
        if (state != Reviewed && state != NeedsWork)
            return QPair<QString, QString>();
        return qMakePair(QString::fromLatin1(review::stateName(review::State(state))), noteOf(row));
    });
    writeTimer.setSingleShot(true);
    writeTimer.setInterval(500);
    connect(&writeTimer, &QTimer::timeout, this, &ReviewStates::startWriting);
    connect(imageList, &QAbstractItemModel::modelReset, this, &ReviewStates::startLoading);
    connect(imageList, &QAbstractItemModel::rowsInserted, this, &ReviewStates::startLoading);
    connect(imageList, &QAbstractItemModel::rowsRemoved, this, &ReviewStates::startLoading);
    // A label file saved or read again: a review of it may be out of date now.
    connect(imageList, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &first, const QModelIndex &last) {
                for (int row = first.row(); row <= last.row(); ++row)
                    updateRow(row);
                recount();
            });
}

ReviewStates::~ReviewStates()
{
    writeNow();
    imageList->setReviewSource(nullptr);
}

QString ReviewStates::summary() const
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QString text = tr("%1 of %2 reviewed")
                       .arg(english.toString(reviewedCount), english.toString(shown.size()));
    if (needWorkCount > 0)
        text += needWorkCount == 1 ? tr(", 1 needs work")
                                   : tr(", %1 need work").arg(english.toString(needWorkCount));
    return text;
}

int ReviewStates::stateOf(int row) const
{
    return row >= 0 && row < shown.size() ? int(shown[row]) : int(NotReviewed);
}

QString ReviewStates::noteOf(int row) const
{
    return row >= 0 && row < keys.size() ? marks.value(keys[row]).note : QString();
}

bool ReviewStates::passes(int row, int filter) const
{
    const int state = stateOf(row);
    return filter == NotReviewed ? state == NotReviewed || state == ChangedSinceReview
                                 : state == filter;
}

QPair<qint64, qint64> ReviewStates::labelStamp(int row) const
{
    const auto info = imageList->imageAt(row);
    if (!info)
        return {-1, 0};
    const io::FileStamp stamp = info->bboxes->fileStamp();
    return {stamp.size, stamp.size < 0 ? 0 : stamp.modifiedNs};
}

void ReviewStates::mark(int row, int state, const QString &note)
{
    if (row < 0 || row >= keys.size() || state < NotReviewed || state > NeedsWork)
        return;
    const QString key = keys[row];
    review::Mark after;
    after.state = review::State(state);
    after.note = after.state == review::State::NeedsWork ? note.trimmed() : QString();
    const auto stamp = labelStamp(row);
    after.labelSize = stamp.first;
    after.labelModifiedNs = stamp.second;
    EditSession::instance()->record(row, new MarkCommand(this, key, marks.value(key), after));
}

void ReviewStates::setMark(const QString &key, const review::Mark &mark)
{
    marks.insert(key, mark);
    const int row = rowOfKey.value(key, -1);
    if (row >= 0)
        updateRow(row);
    recount();
    if (viewOrder)
        viewOrder->reviewsChanged();
    dirty = true;
    if (!writeTimer.isActive())
        writeTimer.start();
}

void ReviewStates::setOrder(ImageFilter *order)
{
    viewOrder = order;
}

bool ReviewStates::markReviewedAndNext()
{
    EditSession *session = EditSession::instance();
    const int row = session->row();
    if (row < 0)
        return false;
    if (session->ableToSave())
        session->save();
    // Found first: the mark may take the image out of the images shown.
    const int next = nextToReview(row);
    mark(row, Reviewed);
    if (next >= 0)
        session->open(next);
    return next >= 0;
}

bool ReviewStates::openNextToReview()
{
    const int next = nextToReview(EditSession::instance()->row());
    if (next >= 0)
        EditSession::instance()->open(next);
    return next >= 0;
}

int ReviewStates::nextToReview(int row) const
{
    const auto open
        = [this](int r) { return stateOf(r) == NotReviewed || stateOf(r) == ChangedSinceReview; };
    if (!viewOrder) {
        for (int r = row + 1; r < shown.size(); ++r) {
            if (open(r))
                return r;
        }
        return -1;
    }
    for (int i = viewOrder->shownRow(row) + 1; i < viewOrder->count(); ++i) {
        const int r = viewOrder->sourceRow(i);
        if (r != row && open(r))
            return r;
    }
    return -1;
}

void ReviewStates::updateRow(int row)
{
    // While the file is read, the rows have no names yet: they stay not reviewed.
    if (row >= 0 && row < shown.size() && row < keys.size())
        shown[row] = shownFor(marks.value(keys[row]), labelStamp(row));
}

void ReviewStates::recount()
{
    int done = 0, work = 0;
    for (const quint8 state : qAsConst(shown)) {
        done += state == Reviewed;
        work += state == NeedsWork;
    }
    reviewedCount = done;
    needWorkCount = work;
    ++revisionCount;
    emit statesChanged();
}

QString ReviewStates::reviewFile() const
{
    QString folder;
    if (!imageList->labelsFolderPath().isEmpty())
        folder = QFileInfo(QDir::cleanPath(imageList->labelsFolderPath())).absolutePath();
    else if (!imageList->originFile().isEmpty())
        folder = QFileInfo(imageList->originFile()).absolutePath();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + fileName;
}

QString ReviewStates::fallbackFile() const
{
    const QString of = filePath.isEmpty() ? imageList->imagesFolderPath() : filePath;
    const QByteArray key = QCryptographicHash::hash(QFileInfo(of).absoluteFilePath().toUtf8(),
                                                    QCryptographicHash::Sha1);
    return QStringLiteral("%1/review-%2.json")
        .arg(io::stateFolder(), QString::fromLatin1(key.toHex()));
}

void ReviewStates::startLoading()
{
    // Marks not written yet go to the file of the dataset they were made in.
    writeNow();
    ++generation;
    filePath = reviewFile();
    fallbackPath = fallbackFile();
    QStringList paths;
    QVector<QPair<qint64, qint64>> stamps;
    ReadReviews read;
    paths.reserve(imageList->rowCount());
    stamps.reserve(imageList->rowCount());
    for (int row = 0; row < imageList->rowCount(); ++row) {
        const auto info = imageList->imageAt(row);
        // Named by the image's path; a row without one (a dataset file may leave it out) by
        // its name.
        paths << (info->filePath.isEmpty() ? info->fileName : info->filePath);
        stamps << labelStamp(row);
        if (info->reviewRead)
            read.insert(row, *info->reviewRead);
    }
    // Until the file is read, every image is not reviewed. The marks of before are freed by
    // the worker: a hundred thousand of them take a while.
    auto before = std::make_shared<Loaded>();
    before->marks.swap(marks);
    before->keys.swap(keys);
    before->rowOfKey.swap(rowOfKey);
    shown = QVector<quint8>(paths.size(), NotReviewed);
    recount();
    if (paths.isEmpty())
        return;
    loading = std::make_shared<Loaded>();
    const int started = generation;
    working = true;
    worker = std::thread([this, file = filePath, fallback = fallbackPath, paths, stamps, read,
                          into = loading, before = std::move(before), started]() mutable {
        load(file, fallback, paths, stamps, read, *into);
        QMetaObject::invokeMethod(this, [this, started] {
            if (started == generation)
                loaded();
        });
        before.reset();
        working = false;
    });
}

void ReviewStates::load(const QString &file, const QString &fallback, const QStringList &paths,
                        const QVector<QPair<qint64, qint64>> &stamps, const ReadReviews &read,
                        Loaded &loaded)
{
    readMarks(file, &loaded.marks);
    review::Marks kept;
    if (readMarks(fallback, &kept))
        review::mergeInto(loaded.marks, kept);
    const QString base
        = QFileInfo(file.isEmpty() ? fallback : file).absolutePath() + QLatin1Char('/');
    loaded.keys.reserve(paths.size());
    loaded.shown.resize(paths.size());
    for (int row = 0; row < paths.size(); ++row)
        loaded.keys << keyOf(ImageList::plainPath(paths[row]), base);
    // Older than any mark of the review file, which wins.
    review::Marks fromDataset;
    for (auto it = read.constBegin(); it != read.constEnd(); ++it) {
        const review::State state = review::stateFromName(it->first);
        if (state != review::State::NotReviewed && it.key() < paths.size())
            fromDataset.insert(
                loaded.keys[it.key()],
                {state, it->second, stamps[it.key()].first, stamps[it.key()].second, 0});
    }
    review::mergeInto(loaded.marks, fromDataset);
    loaded.rowOfKey.reserve(paths.size());
    for (int row = 0; row < paths.size(); ++row) {
        loaded.shown[row] = shownFor(loaded.marks.value(loaded.keys[row]), stamps[row]);
        loaded.rowOfKey.insert(loaded.keys[row], row);
    }
}

void ReviewStates::loaded()
{
    // Not joined here: the worker may still be freeing the marks of before.
    if (!loading || loading->keys.size() != imageList->rowCount())
        return;
    marks.swap(loading->marks);
    keys.swap(loading->keys);
    rowOfKey.swap(loading->rowOfKey);
    shown.swap(loading->shown);
    loading.reset();
    recount();
    if (viewOrder)
        viewOrder->reviewsChanged();
    emit marksRead();
}

void ReviewStates::join()
{
    if (worker.joinable())
        worker.join();
}

void ReviewStates::startWriting()
{
    if (!dirty)
        return;
    if (working) {
        writeTimer.start(); // after the one under way
        return;
    }
    join();
    dirty = false;
    writing = std::make_shared<review::Marks>(marks);
    writeProblem = std::make_shared<QString>();
    const auto work = [file = filePath, fallback = fallbackPath, into = writing,
                       problem = writeProblem] {
        // What another reviewer wrote meanwhile is kept: their later changes win.
        review::Marks theirs;
        if (!file.isEmpty() && readMarks(file, &theirs))
            review::mergeInto(*into, theirs);
        const QByteArray bytes = review::toJson(*into);
        QString error;
        if (!file.isEmpty() && io::writeFile(file, bytes, &error))
            return;
        QDir().mkpath(QFileInfo(fallback).absolutePath());
        if (io::writeFile(fallback, bytes))
            *problem = file.isEmpty() ? QString() : error.isEmpty() ? QStringLiteral("?") : error;
        else
            *problem = error;
    };
    const int started = generation;
    working = true;
    worker = std::thread([this, work, started] {
        work();
        QMetaObject::invokeMethod(this, [this, started] {
            join();
            if (started == generation)
                written();
        });
        working = false;
    });
}

void ReviewStates::writeNow()
{
    writeTimer.stop();
    join();
    if (writing)
        written();
    if (!dirty)
        return;
    startWriting();
    join();
    written();
}

void ReviewStates::written()
{
    if (!writing)
        return;
    // Marks the file had that are later than ours.
    for (const QString &key : review::mergeInto(marks, *writing)) {
        const int row = rowOfKey.value(key, -1);
        if (row >= 0)
            updateRow(row);
    }
    writing.reset();
    recount();
    if (!writeProblem->isEmpty() && !noticeGiven) {
        noticeGiven = true;
        imageList->setNotice(tr("Review marks cannot be written to %1 (%2): they are kept in %3.")
                                 .arg(filePath, *writeProblem, fallbackPath));
    }
}

void ReviewStates::loadNow()
{
    startLoading();
    join();
    loaded();
}
