#pragma once

#include <QSortFilterProxyModel>
#include <QString>
#include <QStringMatcher>
#include <QVariantList>
#include <QVector>

#include <functional>

class ImageList;

// The rows of the image list the grid shows: those whose name holds the search text (the
// filter role is the name) and that pass every filter switched on. Rows keep the list's order.
class ImageFilter : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_PROPERTY(QString search READ search WRITE setSearch NOTIFY filterChanged)
    // Class ids: an image is shown when it has a box of any of them. Empty for no such filter.
    Q_PROPERTY(QVariantList classes READ classes WRITE setClasses NOTIFY filterChanged)
    Q_PROPERTY(bool unsavedOnly READ unsavedOnly WRITE setUnsavedOnly NOTIFY filterChanged)
    Q_PROPERTY(bool noBoxesOnly READ noBoxesOnly WRITE setNoBoxesOnly NOTIFY filterChanged)
    Q_PROPERTY(
        bool noLabelFileOnly READ noLabelFileOnly WRITE setNoLabelFileOnly NOTIFY filterChanged)
    Q_PROPERTY(
        bool imageMissingOnly READ imageMissingOnly WRITE setImageMissingOnly NOTIFY filterChanged)
    // A kind of problem: an image is shown when it has one (see setProblemTest); -1 for no such
    // filter.
    Q_PROPERTY(int problemKind READ problemKind WRITE setProblemKind NOTIFY filterChanged)
    // A kind of disagreement with a model's predictions: an image is shown when it has one (see
    // setDisagreementTest); -2 for any kind, -1 for no such filter.
    Q_PROPERTY(
        int disagreementKind READ disagreementKind WRITE setDisagreementKind NOTIFY filterChanged)
    // A review state: NotReviewed (0, a changed review included), Reviewed (1) or NeedsWork (2)
    // of ReviewStates::Shown; -1 for no such filter.
    Q_PROPERTY(int reviewState READ reviewState WRITE setReviewState NOTIFY filterChanged)
    // The images most likely to have wrong labels first (see setSuspicion), else the list's order.
    // The order is made when this is switched on and when the scores are made again
    // (suspicionChanged).
    Q_PROPERTY(bool suspectFirst READ suspectFirst WRITE setSuspectFirst NOTIFY filterChanged)
    // Whether any filter is on.
    Q_PROPERTY(bool active READ isActive NOTIFY filterChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    Q_PROPERTY(int total READ total NOTIFY countChanged)
    // "37 of 128 images" while a filter is on, else "128 images".
    Q_PROPERTY(QString summary READ summary NOTIFY countChanged)

public:
    explicit ImageFilter(ImageList *images, QObject *parent = nullptr);

    QString search() const { return searchText; }
    void setSearch(const QString &text);
    QVariantList classes() const;
    void setClasses(const QVariantList &ids);
    bool unsavedOnly() const { return unsaved; }
    void setUnsavedOnly(bool on) { setFlag(unsaved, on); }
    bool noBoxesOnly() const { return noBoxes; }
    void setNoBoxesOnly(bool on) { setFlag(noBoxes, on); }
    bool noLabelFileOnly() const { return noLabelFile; }
    void setNoLabelFileOnly(bool on) { setFlag(noLabelFile, on); }
    bool imageMissingOnly() const { return imageMissing; }
    void setImageMissingOnly(bool on) { setFlag(imageMissing, on); }
    // What tells whether row `row` passes a filter whose value is `value` (a kind of problem, a
    // kind of disagreement, a review state), for the filters whose facts are kept elsewhere.
    using Test = std::function<bool(int row, int value)>;
    int problemKind() const { return problems.value; }
    void setProblemKind(int kind) { setOuter(problems, kind < 0 ? -1 : kind); }
    void setProblemTest(Test test) { problems.test = std::move(test); }
    // The problems of some rows changed: the problem filter looks again.
    void problemsChanged() { outerChanged(problems); }
    int disagreementKind() const { return disagreements.value; }
    void setDisagreementKind(int kind) { setOuter(disagreements, kind < -2 ? -1 : kind); }
    // Asked with -1 for any kind when the filter is -2.
    void setDisagreementTest(Test test) { disagreements.test = std::move(test); }
    int reviewState() const { return reviews.value; }
    void setReviewState(int state) { setOuter(reviews, state < 0 ? -1 : state); }
    void setReviewTest(Test test) { reviews.test = std::move(test); }
    // The review states of some rows changed: the review filter looks again.
    void reviewsChanged() { outerChanged(reviews); }
    bool suspectFirst() const { return suspectOrder; }
    void setSuspectFirst(bool on);
    // How likely the labels of row `row` are wrong: the higher, the earlier.
    using Suspicion = std::function<float(int row)>;
    void setSuspicion(Suspicion score) { suspicion = std::move(score); }
    // The disagreements or their scores changed: the filter and the order are made again.
    void suspicionChanged();
    bool isActive() const;
    int count() const { return rowCount(); }
    int total() const;
    QString summary() const;

    // The image list's row of shown row `row`, and back; -1 for none.
    Q_INVOKABLE int sourceRow(int row) const;
    Q_INVOKABLE int shownRow(int sourceRow) const;
    // Adds `catId` to the class filter, or takes it out.
    Q_INVOKABLE void toggleClass(int catId);
    Q_INVOKABLE bool hasClass(int catId) const { return classIds.contains(catId); }
    // Every filter off.
    Q_INVOKABLE void clear();
    // The shown row Goto names: the first image whose name is the text (with or without its
    // extension), else a number is a shown row, else the first image whose name begins with
    // the text, or else holds it (without regard to case). -1 for none.
    Q_INVOKABLE int find(const QString &text) const;

signals:
    // Before and after the rows shown change with the filters: views keep their current image.
    void filterAboutToChange();
    void filterChanged();
    void countChanged();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    // A filter whose facts are kept elsewhere: off at -1.
    struct Outer
    {
        int value = -1;
        Test test;
        bool rejects(int row) const
        {
            return value != -1 && !(test && test(row, value == -2 ? -1 : value));
        }
    };
    void setOuter(Outer &outer, int value);
    void outerChanged(const Outer &outer);
    void setFlag(bool &flag, bool on);
    // Keeps the scores of every row for the order while it is on.
    void takeScores();
    // Runs the filters again over every row: one layout change for the views, rather than a
    // removal or insertion for every run of rows that comes or goes.
    void refilter();

    ImageList *imageList;
    QString searchText;
    QStringMatcher searchMatcher;
    QVector<qint32> classIds; // ascending
    bool unsaved = false, noBoxes = false, noLabelFile = false, imageMissing = false;
    Outer problems, disagreements, reviews;
    bool suspectOrder = false;
    Suspicion suspicion;
    QVector<float> scores; // by row, while the order is on
};
