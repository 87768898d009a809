#include "dataset/classcounts.h"

#include "dataset/categorytable.h"

#include <algorithm>

ClassCounts::ClassCounts(ImageList *images, CategoryTable *categories, QObject *parent)
    : QAbstractListModel(parent)
    , imageList(images)
    , categoryTable(categories)
{
    // A drag reports many edits; the bars follow once it pauses.
    delay.setSingleShot(true);
    delay.setInterval(150);
    connect(&delay, &QTimer::timeout, this, &ClassCounts::recount);
    connect(images, &ImageList::classesChanged, this, &ClassCounts::schedule);
    connect(categories, &CategoryTable::revisionChanged, this, &ClassCounts::schedule);
}

void ClassCounts::setActive(bool on)
{
    if (counting == on)
        return;
    counting = on;
    emit activeChanged();
    if (on)
        recount();
}

void ClassCounts::schedule()
{
    if (counting)
        delay.start();
}

void ClassCounts::recount()
{
    delay.stop();
    QVector<ImageList::ClassCount> counted = imageList->classCounts();
    std::stable_sort(counted.begin(), counted.end(),
                     [](const ImageList::ClassCount &a, const ImageList::ClassCount &b) {
                         return a.boxes > b.boxes;
                     });
    beginResetModel();
    rows = counted;
    endResetModel();
    emit countsChanged();
}

int ClassCounts::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows.size();
}

QVariant ClassCounts::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows.size())
        return QVariant();
    const ImageList::ClassCount &count = rows.at(index.row());
    switch (role) {
    case CatId:
        return count.catId;
    case Name:
        return categoryTable->nameOf(count.catId);
    case Color:
        return categoryTable->contains(count.catId) ? categoryTable->colorOf(count.catId)
                                                    : CategoryTable::paletteColor(count.catId);
    case Boxes:
        return count.boxes;
    case Images:
        return count.images;
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> ClassCounts::roleNames() const
{
    return {{CatId, "catId"},
            {Name, "name"},
            {Color, "color"},
            {Boxes, "boxes"},
            {Images, "images"}};
}
