#pragma once

#include "dataset/imagelist.h"

#include <QAbstractListModel>
#include <QTimer>
#include <QVector>

class CategoryTable;

// Boxes and images of each class of the dataset, the class with the most boxes first, for the
// class panel. Counted while `active` (the panel is shown), again shortly after edits.
class ClassCounts : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(bool active READ isActive WRITE setActive NOTIFY activeChanged)
    // The largest box count, which the bars are drawn against.
    Q_PROPERTY(int maxBoxes READ maxBoxes NOTIFY countsChanged)

public:
    enum Role { CatId = Qt::UserRole + 1, Name, Color, Boxes, Images };

    ClassCounts(ImageList *images, CategoryTable *categories, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    bool isActive() const { return counting; }
    void setActive(bool on);
    int maxBoxes() const { return rows.isEmpty() ? 0 : rows.first().boxes; }

    // Counts again now rather than after the pause that gathers a run of edits.
    Q_INVOKABLE void recount();

signals:
    void activeChanged();
    void countsChanged();

private:
    void schedule();

    ImageList *imageList;
    CategoryTable *categoryTable;
    QVector<ImageList::ClassCount> rows;
    QTimer delay;
    bool counting = false;
};
