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

    // The record of `row`; null outside the list.
    std::shared_ptr<const ImageInfo> imageAt(int row) const
    {
        return row >= 0 && row < images.size() ? images.at(row) : nullptr;
    }

signals:
    void readFileCompleted();
    void classNamesChanged();

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

    static ImageList *s_instance;
};
