#pragma once

#include "dataset/bboxlist.h"

namespace datasetjson {
struct Row;
}
namespace coco {
struct Category;
struct ExportCounts;
struct Instances;
struct PairCounts;
}

#include <QAbstractListModel>
#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QPair>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>

#include <functional>
#include <memory>
#include <utility>

// The dataset: one row per image, each with its own box list.
class ImageList : public QAbstractListModel
{
    Q_OBJECT
    // The dataset's class names, as {catId, catName} maps in id order: from the class file found
    // by the last loadYolo, empty when it found none.
    Q_PROPERTY(QVariantList classNames READ classNames NOTIFY classNamesChanged)
    // What the window should tell about the dataset as a whole (a label file deleted for good,
    // a labels folder that cannot be written); empty for nothing.
    Q_PROPERTY(QString notice READ notice NOTIFY noticeChanged)
    // A YOLO load also makes a row, marked as having no label file, for each image of the
    // images folder that has none. Changing it makes or drops those rows of the folders loaded
    // (rows with unsaved edits stay).
    Q_PROPERTY(bool showUnlabelled READ showUnlabelled WRITE setShowUnlabelled NOTIFY
                   showUnlabelledChanged)
    // The file the class names came from (a classes.txt or a dataset YAML); empty without names.
    Q_PROPERTY(QString classFile READ classFile NOTIFY classNamesChanged)
    // Why the last YOLO load found no rows; empty after one that found some.
    Q_PROPERTY(QString emptyReason READ emptyReason NOTIFY emptyReasonChanged)

public:
    // Whether a row's image file exists, as far as it is known.
    enum class ImageState : qint8 { Unknown, Present, Missing };

    struct ImageInfo
    {
        qint32 id = 0;
        ImageState imageState = ImageState::Unknown;
        qint16 part = 0; // the YoloPart of a load of several that the row came from
        QString fileName;
        QString filePath;
        qint32 width = 0;
        qint32 height = 0;
        std::unique_ptr<BBoxList> bboxes;
        QString yoloTxtFilePath;
        // What a dataset JSON file said of the image's review (state, note); null for nothing.
        std::unique_ptr<const QPair<QString, QString>> reviewRead;
    };

    // One part of a YOLO dataset loaded from several (a split of a dataset file): a folder of
    // images with its folder of labels, loaded as loadYolo loads one; or, when `listed`, the
    // image files a list names (absolute paths), each with the label file at its path with the
    // last "/images/" made "/labels/" and the extension ".txt", as Ultralytics finds them.
    struct YoloPart
    {
        QString images, labels;
        bool listed = false;
        QStringList imageFiles;
    };

    ImageList();
    ~ImageList() override;

    static ImageList *instance();
    static bool hasInstance() { return s_instance != nullptr; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    // Without the base class's virtual calls: a proxy sorting the rows asks millions of times.
    QModelIndex index(int row, int column = 0,
                      const QModelIndex &parent = QModelIndex()) const override
    {
        return row >= 0 && row < images.size() && column == 0 && !parent.isValid()
            ? createIndex(row, 0)
            : QModelIndex();
    }
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // A YOLO dataset of several parts, in one model reset: the rows of each part in its order
    // (a folder's in natural name order, a list's in the list's order), the parts one after the
    // other. The class names come from the dataset file set with setDatasetFile, else from the
    // class file near the first part's labels. A list's every image is a row, with or without
    // its label file; showUnlabelled applies to the folders.
    void loadYoloParts(const QVector<YoloPart> &parts);

    // The COCO import with the image directory given instead of the built-in one.
    void loadCocoJsonFromDir(const QString &imagesFile, const QString &annsFile,
                             const QString &imageDir);

    // The folder compiled in for the COCO import's image files.
    static QString cocoImageDir();

    // Where the rows came from, and so where their edits go: a labels folder (each image's
    // label file), a dataset JSON file (written whole again) or a COCO instances file (which
    // only an export writes, so that nothing of it is lost that the rows do not hold).
    enum class Origin { None, Yolo, DatasetJson, CocoInstances };
    Origin origin() const;
    // The dataset JSON or COCO instances file of the rows; empty for a labels folder.
    QString originFile() const { return originPath; }
    // A row's image file as a plain path (a YOLO row's filePath has a "/" before its folder).
    static QString plainPath(const QString &filePath);
    // The size of a row's image: as its file gives it, or from its header, then kept.
    QSize imageSize(int row);

    // The rows of a dataset JSON file, with its class names: they replace the dataset only when
    // there are any. Returns their number.
    int openJsonFile(const QString &json);
    // The COCO pair as loadCocoJsonFromDir reads it, replacing the dataset only when an image
    // keeps a box. Returns the number of rows; `counts` gets what was left out.
    int openCocoPair(const QString &imagesFile, const QString &annsFile, const QString &imageDir,
                     coco::PairCounts &counts);
    // A COCO instances file, its images looked for in `imageDir`; replaces the dataset unless it
    // fails (false with `error` set). `report` gets the counts (its images are moved out).
    bool openCocoInstances(const QString &path, const QString &imageDir, coco::Instances &report,
                           QString *error);
    // Writes the dataset as a COCO instances file: the categories it was read with, or one per
    // class name (id = class + 1).
    bool exportCocoInstances(const QString &path, coco::ExportCounts &counts, QString *error);
    // Writes the file the rows came from with their edits (a dataset JSON file); false with
    // `error` set when it could not be, or when the rows have no such file.
    bool saveToOrigin(QString *error);
    // The class names by class id, "" for an id without one.
    QStringList classNameTable() const;

    // exportJson through a QJsonDocument of the whole dataset: the reference for its text.
    void exportJsonDocument(const QString &json);
    bool writeJsonDocument(const QString &json, QString *error);

    QVariantList classNames() const { return classNameList; }
    QString classFile() const { return classFilePath; }
    // The dataset YAML the user named for the labels folder `labels`: a load of that folder, and
    // any loadYoloParts, takes its class names and kpt_shape from it, wherever it lies.
    void setDatasetFile(const QString &yaml, const QString &labels)
    {
        namedYaml = yaml;
        namedYamlLabels = labels;
    }
    QString notice() const { return noticeText; }

    // Whether the labels folder of the last YOLO load can be written; once a write shows it
    // cannot, markLabelsReadOnly says so for the rest of the load.
    bool labelsWritable() const { return labelsFolderWritable; }
    // The labels folder of the last YOLO load (of its first part); empty for a dataset from
    // anywhere else.
    QString labelsFolderPath() const { return labelsFolder; }
    void markLabelsReadOnly();
    void setNotice(const QString &text);

    bool showUnlabelled() const { return unlabelledShown; }
    void setShowUnlabelled(bool show);
    QString emptyReason() const { return emptyText; }
    // Why a load of `labels` and `images` finds no rows, given how many images the labels folder
    // holds and whether the images folder holds label files (the folders swapped).
    static QString whyNoRows(const QString &labels, const QString &images, int imagesInLabels,
                             bool labelsInImages);
    // The images folder of the last YOLO load (of its first part).
    QString imagesFolderPath() const { return imagesFolder; }

    // Whether `row` has a label file: one was read or written, or the boxes come from a dataset
    // or COCO file.
    bool hasLabelFile(int row) const;
    // Whether the image file of `row` is missing; looked up once per row and kept.
    bool imageMissing(int row) const;
    // The distinct classes of the boxes of `row`, ascending. Made for every row on first use and
    // then kept: only rows reported to editedRow are looked at again.
    QVector<qint32> classesOf(int row) const;
    // The same as a range, without a copy; valid until the next edit or change of rows.
    std::pair<const qint32 *, const qint32 *> classRange(int row) const;
    struct ClassCount
    {
        qint32 catId = 0;
        int boxes = 0;
        int images = 0;
    };
    // Boxes and images of each class used, in class order.
    QVector<ClassCount> classCounts() const;

    // Counts of a YOLO export: label files written, and one line ("file: reason") for each that
    // could not be.
    struct ExportResult
    {
        int written = 0;
        int leftOut = 0; // rows whose file name is not a plain name
        QStringList failures;
    };
    ExportResult exportLabels(const QString &dir);
    // Writes the dataset JSON file; false with `error` set when it could not be written.
    bool writeJson(const QString &json, QString *error);

    // What the dataset JSON writers write of each row's review (state name, note): set by
    // what keeps the reviews. Without it, what the file the rows came from said.
    using ReviewOf = std::function<QPair<QString, QString>(int row)>;
    void setReviewSource(ReviewOf source) { reviewSource = std::move(source); }

    // The class names of the last YOLO load no longer apply (a COCO dataset replaced it).
    void forgetClassNames()
    {
        setClassFile(QString());
        setClassNames({});
    }

    // Whether the model reset under way only lays out the rows of the same dataset anew (rows
    // of images without labels made or dropped): its edits, history and notices stay.
    bool isRelayingOut() const { return relayingOut; }

    // Drops every row: an empty dataset, in one model reset.
    void clear();

    // The record of `row`; null outside the list.
    std::shared_ptr<const ImageInfo> imageAt(int row) const
    {
        return row >= 0 && row < images.size() ? images.at(row) : nullptr;
    }

signals:
    void readFileCompleted();
    void classNamesChanged();
    void noticeChanged();
    // Edits may have been saved, or images with edits removed or put back.
    void unsavedChanged();
    void showUnlabelledChanged();
    void emptyReasonChanged();
    // The classes of some row's boxes changed.
    void classesChanged();

public slots:
    void loadCocoJson(const QString &imagesFile, const QString &annsFile);
    void loadJson(const QString &json);
    void loadYolo(const QString &txtPath, const QString &imagePath);
    void exportJson(const QString &json);
    void exportYolo(const QString &dir);
    void yoloReloadRow(int row);
    void removeRow(int row);

    // How many images have box edits that are not in their label file.
    int unsavedCount() const;
    // Writes the label file of every image with unsaved edits; returns one line ("file: reason")
    // for each that could not be written, so an empty list means all were.
    QStringList saveUnsaved();

    // Puts back the row that removeRow removed last, with its label file from the trash, while
    // the dataset is loaded. The row it is back in, or -1 when nothing could be put back.
    int restoreRemoved();

    // The boxes of `row` were edited, saved or read again: what depends on them (the views'
    // roles, the class sets) follows.
    void editedRow(int row);

private:
    // Plain numbers from 0, as the box list's roles.
    enum Role {
        ImgBaseFileName = 0,
        ImgFilePath,
        ImgWidth,
        ImgHeight,
        ImgBBoxes,
        YoloTxtFilePath,
        // Additions: the row has a label file; its boxes have unsaved edits.
        ImgHasLabelFile,
        ImgUnsaved,
        // The row's number, what a view of a proxy of the list maps its rows back to: a user
        // role, since the next number is Qt's background role.
        ImgRow = Qt::UserRole,
    };

    void addImage(std::shared_ptr<ImageInfo> info);
    // loadYolo and loadYoloParts: the class names from the dataset file when `namedNames`.
    void loadParts(const QVector<YoloPart> &parts, bool namedNames);
    // Row `row` as the dataset JSON writers take it.
    datasetjson::Row jsonRow(int row);
    // The class names a dataset JSON file is being written with.
    QStringList jsonClassNames;
    void setEmptyReason(const QString &text);
    QVector<qint32> classesOfBoxes(int row) const;
    // Appends the distinct classes of `row`, ascending.
    void appendClasses(int row, QVector<qint32> &ids) const;
    void buildClassSets() const;
    void setClassNames(const QMap<int, QString> &names);
    static void create();

    QHash<int, QByteArray> roleNameTable;
    // Contiguous, like the box records: one allocation for all rows' shared pointers.
    QVector<std::shared_ptr<ImageInfo>> images;
    // Told with the names that follow it (setClassNames), even when they are the same.
    void setClassFile(const QString &path)
    {
        classFileChanged = classFileChanged || classFilePath != path;
        classFilePath = path;
    }
    bool classFileChanged = false;

    QVariantList classNameList;
    QString classFilePath;
    QString originPath;
    Origin originKind = Origin::None;
    // The categories of a COCO instances file, by class id: an export writes their ids back.
    QVector<std::pair<qint32, QString>> cocoCategories;
    // Replaces every row by `rows` in one reset; the origin is then `kind` and `file`.
    void replaceRows(QVector<std::shared_ptr<ImageInfo>> rows, Origin kind, const QString &file);
    QString namedYaml, namedYamlLabels;
    QString noticeText;
    QString labelsFolder;
    QString imagesFolder;
    ReviewOf reviewSource;
    // The parts of the last YOLO load, a list's without its files: one for a loadYolo.
    QVector<YoloPart> yoloParts;
    bool labelsFolderWritable = true;
    bool unlabelledShown = false;
    bool relayingOut = false;
    QString emptyText;
    // Every row's classes in one array: those of row r from classStart[r] to classStart[r + 1].
    // Empty until first asked for, and dropped when rows come or go.
    mutable QVector<qint32> classSets;
    mutable QVector<int> classStart;
    // Rows removed from this dataset, the last last, with where their label files went.
    struct RemovedRow
    {
        int row;
        std::shared_ptr<ImageInfo> info;
        QString pathInTrash; // empty when the file could only be deleted
    };
    QVector<RemovedRow> removedRows;

    static ImageList *s_instance;
};
