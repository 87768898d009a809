#pragma once

#include "review/reviewmarks.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <atomic>
#include <memory>
#include <thread>

class ImageFilter;
class ImageList;

// Which images of the dataset were reviewed, need work (with a note) or were not looked at yet,
// kept in ".pallaster-review.json" in the folder above the labels folder (beside a dataset JSON
// or COCO file) so that it travels with the dataset; where that cannot be written, in the
// user's state folder, which the window says once. The file is read in the background after a
// load, and written in the background within a second of a change: read again first and merged
// image by image (the later change wins), so that reviewers of one folder keep each other's
// marks. A reviewed image whose label file changed since (size or modification time) counts as
// not reviewed: "changed since review".
class ReviewStates : public QObject
{
    Q_OBJECT
    // Changes whenever a state does: what reads the states binds to it.
    Q_PROPERTY(int revision READ revision NOTIFY statesChanged)
    Q_PROPERTY(int reviewed READ reviewed NOTIFY statesChanged)
    Q_PROPERTY(int needWork READ needWork NOTIFY statesChanged)
    // "312 of 5,000 reviewed, 14 need work"
    Q_PROPERTY(QString summary READ summary NOTIFY statesChanged)

public:
    // An image's state as the window shows it.
    enum Shown { NotReviewed = 0, Reviewed = 1, NeedsWork = 2, ChangedSinceReview = 3 };
    Q_ENUM(Shown)

    explicit ReviewStates(ImageList *images, QObject *parent = nullptr);
    ~ReviewStates() override;

    int revision() const { return revisionCount; }
    int reviewed() const { return reviewedCount; }
    int needWork() const { return needWorkCount; }
    QString summary() const;
    // The file the marks are kept in.
    QString file() const { return filePath; }

    Q_INVOKABLE int stateOf(int row) const;
    Q_INVOKABLE QString noteOf(int row) const;
    // Whether row `row` passes the filter `filter`: NotReviewed (a changed review included),
    // Reviewed or NeedsWork.
    bool passes(int row, int filter) const;
    // Marks the image, as one undo step of its history: Reviewed, NeedsWork with `note`, or
    // NotReviewed.
    Q_INVOKABLE void mark(int row, int state, const QString &note = QString());
    // The first image after `row` in the grid's order (see setOrder) that is not reviewed (a
    // changed review included; not one that needs work); -1 for none.
    Q_INVOKABLE int nextToReview(int row) const;
    // In the editor: marks the open image reviewed (saving its edits first, so that the mark is
    // of the file as it is now), or not, and opens the next image to review; false when there
    // is none after it.
    Q_INVOKABLE bool markReviewedAndNext();
    Q_INVOKABLE bool openNextToReview();
    // The order and filter of the rows the grid shows; without one, the list's order.
    void setOrder(ImageFilter *order);

    // Takes back or makes a mark (undo and redo).
    void setMark(const QString &key, const review::Mark &mark);
    // Reads the file now, or writes it now, before returning.
    void loadNow();
    void writeNow();

signals:
    void statesChanged();
    // The marks of the dataset just loaded are read.
    void marksRead();

private:
    struct Loaded
    {
        review::Marks marks;
        QStringList keys;
        QHash<QString, int> rowOfKey;
        QVector<quint8> shown;
    };
    // Where the file lies for the dataset loaded, and where it goes when that cannot be written.
    QString reviewFile() const;
    QString fallbackFile() const;
    void startLoading();
    // What the rows' dataset JSON file said of reviews, by row: the marks the review file does
    // not have.
    using ReadReviews = QHash<int, QPair<QString, QString>>;
    static void load(const QString &file, const QString &fallback, const QStringList &paths,
                     const QVector<QPair<qint64, qint64>> &stamps, const ReadReviews &read,
                     Loaded &loaded);
    void loaded();
    void scheduleWrite();
    void startWriting();
    void written();
    void join();
    quint8 shownOf(int row) const;
    void updateRow(int row);
    void recount();
    QPair<qint64, qint64> labelStamp(int row) const;

    ImageList *imageList;
    QPointer<ImageFilter> viewOrder;
    QString filePath, fallbackPath;
    review::Marks marks;
    QStringList keys; // by row
    QHash<QString, int> rowOfKey;
    QVector<quint8> shown; // by row
    int revisionCount = 0, reviewedCount = 0, needWorkCount = 0;
    bool dirty = false;
    bool noticeGiven = false;
    QTimer writeTimer;
    std::thread worker;
    std::atomic<bool> working{false}; // while the worker has more to do
    std::shared_ptr<Loaded> loading;
    // A write under way: the marks it writes, and what it took from the file.
    std::shared_ptr<review::Marks> writing;
    std::shared_ptr<QString> writeProblem;
    int generation = 0;
};
