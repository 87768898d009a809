#pragma once

#include "model/bboxlist.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>

#include <memory>

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

public:
    struct ImageInfo
    {
        qint32 id = 0;
        QString fileName;
        QString filePath;
        qint32 width = 0;
        qint32 height = 0;
        std::unique_ptr<BBoxList> bboxes;
        QString yoloTxtFilePath;
    };

    ImageList();
    ~ImageList() override;

    static ImageList *instance();
    static bool hasInstance() { return s_instance != nullptr; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The COCO import with the image directory given instead of the built-in one.
    void loadCocoJsonFromDir(const QString &imagesFile, const QString &annsFile,
                             const QString &imageDir);

    // The folder compiled in for the COCO import's image files.
    static QString cocoImageDir();

    // exportJson through a QJsonDocument of the whole dataset: the reference for its text.
    void exportJsonDocument(const QString &json);

    QVariantList classNames() const { return classNameList; }
    QString notice() const { return noticeText; }

    // Whether the labels folder of the last YOLO load can be written; once a write shows it
    // cannot, markLabelsReadOnly says so for the rest of the load.
    bool labelsWritable() const { return labelsFolderWritable; }
    // The labels folder of the last YOLO load; empty for a dataset from anywhere else.
    QString labelsFolderPath() const { return labelsFolder; }
    void markLabelsReadOnly();
    void setNotice(const QString &text);

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

private:
    // Plain numbers from 0, as the box list's roles.
    enum Role {
        ImgBaseFileName = 0,
        ImgFilePath,
        ImgWidth,
        ImgHeight,
        ImgBBoxes,
        YoloTxtFilePath,
    };

    void addImage(std::shared_ptr<ImageInfo> info);
    void setClassNames(const QMap<int, QString> &names);
    static void create();

    QHash<int, QByteArray> roleNameTable;
    // Contiguous, like the box records: one allocation for all rows' shared pointers.
    QVector<std::shared_ptr<ImageInfo>> images;
    QVariantList classNameList;
    QString noticeText;
    QString labelsFolder;
    bool labelsFolderWritable = true;
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
