#pragma once

#include "review/disagreements.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVector>

#include <atomic>
#include <memory>
#include <thread>

class ImageFilter;
class ImageList;

// A model's predictions for the images of the dataset, read from a folder of one ".txt" file
// per image (named as the image, with its extension made ".txt"), and where they disagree with
// the labels. The files are read on threads of their own; the matching runs on this thread a
// slice at a time, so the grid stays usable, and again for an image whose labels change.
// Nothing is ever written into the predictions folder. A disagreement dismissed is remembered
// for the dataset and the predictions folder, in a file of the user's state folder.
class Predictions : public QObject
{
    Q_OBJECT
    // The folder read; empty for none.
    Q_PROPERTY(QString folder READ folder NOTIFY folderChanged)
    // Whether files are being read or images matched.
    Q_PROPERTY(bool busy READ isBusy NOTIFY busyChanged)
    // Whether the views draw the predictions.
    Q_PROPERTY(bool shown READ isShown WRITE setShown NOTIFY shownChanged)
    Q_PROPERTY(double iouThreshold READ iouThreshold WRITE setIouThreshold NOTIFY thresholdsChanged)
    Q_PROPERTY(double confidenceThreshold READ confidenceThreshold WRITE setConfidenceThreshold
                   NOTIFY thresholdsChanged)
    // Changes whenever a finding does: what reads the findings binds to it.
    Q_PROPERTY(int revision READ revision NOTIFY findingsChanged)
    Q_PROPERTY(int imagesWithDisagreements READ imagesWithDisagreements NOTIFY findingsChanged)
    // "1,284 images with disagreements: 913 missing, 402 spurious, 77 wrong class, 290
    // mislocated", or that none were found, or that they are being looked for.
    Q_PROPERTY(QString summary READ summary NOTIFY findingsChanged)
    // The disagreement under review in the image open in the editor: an index into its findings,
    // -1 for none.
    Q_PROPERTY(int current READ current WRITE setCurrent NOTIFY currentChanged)

public:
    using Kind = disagreement::Kind;

    explicit Predictions(ImageList *images, QObject *parent = nullptr);
    ~Predictions() override;

    QString folder() const { return folderPath; }
    bool isBusy() const { return busy; }
    bool isShown() const { return shownFlag; }
    void setShown(bool on);
    double iouThreshold() const { return thresholds.iou; }
    void setIouThreshold(double value);
    double confidenceThreshold() const { return thresholds.confidence; }
    void setConfidenceThreshold(double value);
    int revision() const { return revisionCount; }
    int imagesWithDisagreements() const { return imagesFound; }
    QString summary() const;
    int current() const { return currentFinding; }
    void setCurrent(int index);

    // Gives `filter` its filter by kind of disagreement and its most-suspect-first order, made
    // again after each full match, in an event of its own (it is the longest step of a change of
    // threshold).
    void serve(ImageFilter *filter);

    // Reads the folder in the background (and matches); why it cannot be read, or empty.
    Q_INVOKABLE QString open(const QString &folder);
    // The same, done before it returns.
    QString openNow(const QString &folder);
    // Forgets the predictions.
    Q_INVOKABLE void close();

    // The image's predictions, as read.
    const QVector<yolo::Prediction> &of(int row) const;
    // Whether prediction `index` of the image is drawn: at or above the threshold, not dismissed.
    bool isDrawn(int row, int index) const;
    // The image's disagreements not dismissed, most suspect first, and the highest score.
    const disagreement::Findings &findings(int row) const;
    float score(int row) const;
    // Whether the image has a disagreement of kind `kind`, or of any for -1.
    Q_INVOKABLE bool hasKind(int row, int kind) const;
    int count(int row, Kind kind) const;
    int imagesOf(Kind kind) const { return kindImages[int(kind)]; }
    int countOf(Kind kind) const { return kindCounts[int(kind)]; }
    // The images with disagreements, most suspect first (then in the dataset's order).
    const QVector<int> &ranked() const;

    // For the editor: the number of the image's findings, a line about finding `index`
    // ("missing label: person 0.93"), and its prediction and label (-1 for none).
    Q_INVOKABLE int findingCount(int row) const { return findings(row).size(); }
    Q_INVOKABLE QString findingText(int row, int index) const;
    Q_INVOKABLE int predictionOf(int row, int index) const;
    Q_INVOKABLE int labelOf(int row, int index) const;
    // The next (`step` 1) or previous (-1) disagreement after the current one, in the open image
    // and then in the images in order of score: it becomes current, its image opened in the edit
    // session. False when there is none.
    Q_INVOKABLE bool step(int step);
    // The labels take the model's side of finding `index` of the image open in the edit session,
    // as one undo step: a missing label is added as the prediction's class and shape, a wrong
    // class takes the prediction's class, a mislocated label its box, a spurious label is deleted.
    // What was done, or why nothing was.
    Q_INVOKABLE QString accept(int index);
    // A wrong class label takes the prediction's class; nothing for another kind.
    Q_INVOKABLE QString takeClass(int index);
    // Finding `index` of the open image is not shown again (undone with the image's edits).
    Q_INVOKABLE QString dismiss(int index);
    // Takes back or makes a dismissal of the finding with `key` in the image named `image`.
    void setDismissed(const QString &image, const QString &key, bool dismissed);

    // The predictions of the images at `paths`, each read from the file of the image's name with
    // the extension ".txt" (none for an image without one), on two threads; stops early once
    // `stop` is set.
    static QVector<QVector<yolo::Prediction>> readFiles(const QStringList &paths,
                                                        const KeypointShape &keypoints,
                                                        const std::atomic<bool> &stop);

public slots:
    // Matches every image again, a slice at a time.
    void rematch();

signals:
    void folderChanged();
    void busyChanged();
    void shownChanged();
    void thresholdsChanged();
    void findingsChanged();
    void currentChanged();

private:
    struct Read
    {
        QVector<QVector<yolo::Prediction>> rows;
    };
    QString startReading(const QString &folder);
    void filesRead();
    void stopReading();
    void matchSlice();
    void matchRow(int row);
    void recount();
    void setBusy(bool on);
    // The key a dismissal of `finding` is remembered by.
    QString keyOf(int row, const disagreement::Finding &finding) const;
    QString imageName(int row) const;
    // The labels folder or dataset file of the rows, absolute.
    QString datasetOf() const;
    QString dismissalFile() const;
    void readDismissals();
    void writeDismissals() const;
    void openRowChanged();

    ImageList *imageList;
    QString folderPath;
    QString datasetPath; // datasetOf() when the folder was opened
    bool busy = false;
    bool shownFlag = true;
    disagreement::Thresholds thresholds;
    int revisionCount = 0;
    int imagesFound = 0;
    int kindImages[disagreement::kindCount] = {};
    int kindCounts[disagreement::kindCount] = {};
    int currentFinding = -1;
    QVector<QVector<yolo::Prediction>> predicted;
    QVector<disagreement::Findings> found;
    // Of each image, for the filter and the order: a bit for each kind it has, its score.
    QVector<quint8> masks;
    QVector<float> scores;
    // Per image, the predictions whose findings were dismissed; usually empty.
    QVector<QVector<qint32>> hidden;
    mutable QVector<int> rankedRows;
    mutable bool rankDirty = true;
    QVector<QMetaObject::Connection> openConnections;
    // Dismissals, by image name.
    QHash<QString, QSet<QString>> dismissed;
    std::shared_ptr<Read> reading;
    std::atomic<bool> stopFlag{false};
    std::thread reader;
    int nextRow = -1; // the next row the slices match; -1 when none are under way
    int generation = 0;
};
