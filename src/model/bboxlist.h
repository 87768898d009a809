#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QVector>

#include <memory>

struct BoxInfo
{
    qint32 catId = 0;
    double cx = 0.0;
    double cy = 0.0;
    double cw = 0.0;
    double ch = 0.0;
};
Q_DECLARE_METATYPE(BoxInfo)

// Shared box records in a contiguous array: a QList would allocate every shared pointer
// separately, which costs about 32 bytes per box across a million boxes.
using BoxRecords = QVector<std::shared_ptr<BoxInfo>>;

// The boxes of one image, in order, as a list model with the roles catId, cx, cy, cw and ch.
class BBoxList : public QAbstractListModel
{
    Q_OBJECT

public:
    BBoxList();
    ~BBoxList() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    QHash<int, QByteArray> roleNames() const override;

    void appendBox(qint32 catId, double cx, double cy, double cw, double ch);
    void loadTxtFile(const QString &txtFile);
    QJsonArray toJsonArray() const;

    // Read access for the dataset code; edits go through the model interface and slots.
    const BoxRecords &boxList() const { return boxes; }
    void clear();

public slots:
    void saveTxtFile(const QString &txtFile);
    void appendRow(int catId, double cx, double cy);
    void deleteRow(int index);

private:
    // Plain numbers from 0, not offsets from Qt::UserRole: they coincide with Qt's display,
    // decoration, edit, tool-tip and status-tip roles.
    enum Role { CatId = 0, Cx, Cy, Cw, Ch };

    QHash<int, QByteArray> roleNameTable;
    BoxRecords boxes;
};
