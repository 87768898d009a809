#pragma once

#include <QObject>
#include <QString>

namespace coco {
struct ExportCounts;
struct Instances;
}

class ClassCounts;
class HealthReport;
class ImageFilter;
class ImageList;
class Predictions;
class ReviewStates;

// What the window's menu and Load do with the whole dataset, each returning (and keeping in
// `result`) one line for the window: what was loaded or written, or why nothing was. Also holds
// the views of the dataset the window shows: the grid's filter and the class counts.
class DatasetActions : public QObject
{
    Q_OBJECT
    // The line the last action left; empty before the first.
    Q_PROPERTY(QString result READ result NOTIFY resultChanged)
    Q_PROPERTY(bool resultIsError READ resultIsError NOTIFY resultChanged)
    // The folders the command line named, for the window to load at start; empty for none.
    Q_PROPERTY(QString startImages READ startImages CONSTANT)
    Q_PROPERTY(QString startLabels READ startLabels CONSTANT)
    // The COCO instances file the command line named instead of a labels folder; empty for none.
    Q_PROPERTY(QString startInstances READ startInstances CONSTANT)
    // The predictions folder the command line named, for the window to open after the dataset;
    // empty for none.
    Q_PROPERTY(QString startPredictions READ startPredictions CONSTANT)
    // The split of the dataset file the command line named for the window to open at start;
    // empty for none.
    Q_PROPERTY(QString startSplit READ startSplit CONSTANT)
    // The datasets opened last, the latest first, at most eight: maps of {title} and {images,
    // labels}, {yaml, split}, {json} or {instances, images}, kept in the settings.
    Q_PROPERTY(QVariantList recent READ recent NOTIFY recentChanged)
    // The splits the dataset file names (train, val, test), and the name of its dataset (its
    // root folder's); empty without a dataset file.
    Q_PROPERTY(QStringList splits READ splits NOTIFY datasetFileChanged)
    Q_PROPERTY(QString datasetName READ datasetName NOTIFY datasetFileChanged)
    // The split shown; empty when the dataset shown is not a split of the dataset file.
    Q_PROPERTY(QString split READ split NOTIFY splitChanged)
    // The images and labels folders of the split shown when it is one folder; else empty.
    Q_PROPERTY(QString splitImages READ splitImages NOTIFY splitChanged)
    Q_PROPERTY(QString splitLabels READ splitLabels NOTIFY splitChanged)

public:
    explicit DatasetActions(ImageList *images, QObject *parent = nullptr);
    ~DatasetActions() override;

    static DatasetActions *instance();
    static bool hasInstance() { return s_instance != nullptr; }
    // The folders the window loads once it is shown.
    // `yaml`, when given, is the dataset file named for them: the class names come from it.
    // `split`, when given, is the split of `yaml` the window opens (a split of one folder also
    // gives `images` and `labels`).
    static void setStartFolders(const QString &images, const QString &labels,
                                const QString &yaml = QString(), const QString &split = QString());
    // The dataset file whose splits openSplit opens, whose class names they take; empty for none.
    Q_INVOKABLE void setDatasetFile(const QString &yaml);

    QString result() const { return resultText; }
    bool resultIsError() const { return resultError; }
    QString startImages() const;
    QString startLabels() const;
    QString startInstances() const;
    // The images folder and COCO instances file the window opens at start.
    static void setStartInstances(const QString &images, const QString &instances);
    static void setStartPredictions(const QString &folder);
    QString startPredictions() const;

    // The lines the window and the command line give for these results.
    static QString instancesLoaded(int images, const QString &file, const coco::Instances &report);
    static QString instancesWritten(const QString &file, const coco::ExportCounts &counts);
    static QString labelsWritten(const QString &dir, int written, int leftOut);
    QString startSplit() const;
    QStringList splits() const { return splitNames; }
    QString datasetName() const { return nameOfDataset; }
    QString split() const { return splitShown; }
    QString splitImages() const { return splitImagesFolder; }
    QString splitLabels() const { return splitLabelsFolder; }

    QVariantList recent() const;
    ImageFilter *filter() const { return imageFilter; }
    ClassCounts *counts() const { return classCounts; }
    HealthReport *health() const { return healthReport; }
    Predictions *predictions() const { return modelPredictions; }
    ReviewStates *reviews() const { return reviewStates; }

public slots:
    QString openYolo(const QString &labels, const QString &images);
    // Replaces the dataset by the split `name` of the dataset file, read again; leaves it as it
    // is when the split cannot be opened, and says why.
    QString openSplit(const QString &name);
    // The COCO pair; the images are looked for in `imageDir`, or where the import looks by
    // default when it is empty.
    QString openCoco(const QString &imagesFile, const QString &annsFile, const QString &imageDir);
    // A COCO instances file, its image files in `imageDir`.
    QString openCocoInstances(const QString &path, const QString &imageDir);
    QString exportCoco(const QString &path);
    QString openJson(const QString &path);
    QString saveJson(const QString &path);
    QString exportYolo(const QString &dir);
    // Opens an entry of `recent` that is not a labels folder: a split of a dataset file, a
    // dataset JSON file or a COCO instances file.
    QString openRecent(const QVariantMap &entry);
    // Reads a model's predictions for the dataset, and compares them with the labels.
    QString openPredictions(const QString &folder);
    // Shows or hides the rows of images without a label file, and says how many there are.
    QString showUnlabelled(bool show);

signals:
    void resultChanged();
    void datasetFileChanged();
    void splitChanged();
    void recentChanged();

private:
    static void create();
    QString report(const QString &text, bool error);
    // Why the JSON file at `path` gave nothing: unreadable, not JSON or not an array; empty when
    // it reads as an array.
    static QString jsonProblem(const QString &path);
    void setSplit(const QString &name, const QString &images = QString(),
                  const QString &labels = QString());
    // Puts `entry` (with its title) first among the datasets opened last.
    void remember(QVariantMap entry, const QString &title);

    ImageList *imageList;
    ImageFilter *imageFilter;
    ClassCounts *classCounts;
    HealthReport *healthReport;
    Predictions *modelPredictions;
    ReviewStates *reviewStates;
    QString resultText;
    bool resultError = false;
    QString datasetFile, nameOfDataset;
    QStringList splitNames;
    QString splitShown, splitImagesFolder, splitLabelsFolder;

    static DatasetActions *s_instance;
};
