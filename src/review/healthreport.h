#pragma once

#include "review/health.h"

#include <QAbstractListModel>
#include <QSize>
#include <QVariantList>
#include <QVector>

#include <atomic>
#include <memory>
#include <thread>

class ImageList;

// The problems of every image of the dataset, one row per kind with its images and boxes.
// After a load the image headers are read on two threads of their own and the checks then run on
// this thread a slice at a time, so the grid is usable at once; an edited image is checked again.
class HealthReport : public QAbstractListModel
{
    Q_OBJECT
    // Whether images are still being checked.
    Q_PROPERTY(bool busy READ isBusy NOTIFY busyChanged)
    // Changes whenever a finding does: what reads the findings binds to it.
    Q_PROPERTY(int revision READ revision NOTIFY findingsChanged)
    Q_PROPERTY(int imagesWithProblems READ imagesWithProblems NOTIFY findingsChanged)
    // "14 images with problems", or that none were found, or that they are being looked for.
    Q_PROPERTY(QString summary READ summary NOTIFY findingsChanged)

public:
    enum Role { KindRole = Qt::UserRole + 1, NameRole, TitleRole, ImagesRole, BoxesRole };

    explicit HealthReport(ImageList *images, QObject *parent = nullptr);
    ~HealthReport() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    bool isBusy() const { return busy; }
    int revision() const { return revisionCount; }
    int imagesWithProblems() const { return imagesFound; }
    QString summary() const;

    // Whether images without a label file count as a problem (they do where they are shown).
    void setReportUnlabelled(bool on) { reportUnlabelled = on; }
    // Checks every image now, on this thread, its image headers read on two threads meanwhile.
    void checkNow();

    const health::Findings &findings(int row) const;
    // Bit k set when the image has a problem of kind k.
    quint16 mask(int row) const { return row >= 0 && row < masks.size() ? masks[row] : 0; }
    Q_INVOKABLE bool hasKind(int row, int kind) const { return mask(row) & (1u << kind); }
    // The image's problems in a line each ("line 3: outside: …"); empty for none.
    Q_INVOKABLE QString problemText(int row) const;
    // The rows of the boxes the image's problems are about.
    Q_INVOKABLE QVariantList flaggedBoxes(int row) const;
    Q_INVOKABLE int maskOf(int row) const { return mask(row); }
    // The fixes of an image (boxes outside cut to the image, exact duplicates deleted), made
    // as one undoable edit of the image, which stays unsaved; how many there were.
    Q_INVOKABLE int fixableIn(int row) const;
    Q_INVOKABLE int fixImage(int row);
    // The same for every image with a problem of `kind`, after the question fixQuestion asks;
    // the number of images changed.
    Q_INVOKABLE bool canFix(int kind) const;
    Q_INVOKABLE QString fixQuestion(int kind) const;
    Q_INVOKABLE int fixAll(int kind);
    int imagesOf(health::Kind kind) const { return kindImages[int(kind)]; }
    int boxesOf(health::Kind kind) const { return kindBoxes[int(kind)]; }

public slots:
    // Checks the dataset anew in the background.
    void start();
    // Checks one image again (after an edit).
    void recheck(int row);

signals:
    void busyChanged();
    void findingsChanged();

private:
    struct Facts
    {
        QVector<QSize> sizes;
        QVector<quint8> state; // 0 an image, 1 missing, 2 not readable as an image
    };
    static void readFacts(const QStringList &paths, Facts &facts, const std::atomic<bool> &stop);
    void stopReading();
    void factsRead();
    void checkSlice();
    void checkRow(int row);
    // The class names the checks know, taken once a pass rather than once an image.
    void countClasses();
    void recount();
    // The fixes of `row` of the kind `kind` (-1 for any), as one edit; their number.
    int fix(int row, int kind, bool apply);
    void setBusy(bool on);

    ImageList *imageList;
    bool reportUnlabelled = false;
    int classCount = 0;
    bool busy = false;
    int revisionCount = 0;
    int imagesFound = 0;
    int kindImages[health::kindCount] = {};
    int kindBoxes[health::kindCount] = {};
    QVector<health::Findings> rows;
    QVector<quint16> masks;
    std::shared_ptr<Facts> facts; // of the rows now, once read
    std::shared_ptr<Facts> reading; // being read
    std::atomic<bool> stopFlag{false};
    std::thread reader;
    int nextRow = 0; // the next row the slices check
    int generation = 0;
};
