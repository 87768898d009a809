#include "dataset/imagefilter.h"

#include "dataset/imagelist.h"

#include <algorithm>

ImageFilter::ImageFilter(ImageList *images, QObject *parent)
    : QSortFilterProxyModel(parent)
    , imageList(images)
{
    // The name: what the search matches and what a view shows as the row's text.
    setFilterRole(images->roleNames().key(QByteArrayLiteral("imgBaseFileName")));
    setFilterCaseSensitivity(Qt::CaseInsensitive);
    setSourceModel(images);
    // The proxy takes rows out before the list has removed them: the total changes after.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
        connect(this, signal, this, &ImageFilter::countChanged);
        connect(images, signal, this, &ImageFilter::countChanged);
    }
    connect(this, &QAbstractItemModel::modelReset, this, &ImageFilter::countChanged);
    connect(this, &QAbstractItemModel::layoutChanged, this, &ImageFilter::countChanged);
}

void ImageFilter::setSearch(const QString &text)
{
    if (searchText == text)
        return;
    searchText = text;
    searchMatcher = QStringMatcher(text, filterCaseSensitivity());
    refilter();
}

QVariantList ImageFilter::classes() const
{
    QVariantList list;
    for (const qint32 id : classIds)
        list << id;
    return list;
}

void ImageFilter::setClasses(const QVariantList &ids)
{
    QVector<qint32> sorted;
    for (const QVariant &id : ids)
        sorted << id.toInt();
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    if (sorted == classIds)
        return;
    classIds = sorted;
    refilter();
}

void ImageFilter::toggleClass(int catId)
{
    QVector<qint32> ids = classIds;
    if (!ids.removeOne(catId))
        ids << catId;
    QVariantList list;
    for (const qint32 id : ids)
        list << id;
    setClasses(list);
}

void ImageFilter::setFlag(bool &flag, bool on)
{
    if (flag == on)
        return;
    flag = on;
    refilter();
}

void ImageFilter::clear()
{
    searchText.clear();
    searchMatcher = QStringMatcher();
    classIds.clear();
    unsaved = noBoxes = noLabelFile = imageMissing = false;
    problems.value = disagreements.value = reviews.value = -1;
    refilter();
}

void ImageFilter::refilter()
{
    emit filterAboutToChange();
    invalidate();
    emit filterChanged();
    emit countChanged();
}

bool ImageFilter::isActive() const
{
    return !searchText.isEmpty() || !classIds.isEmpty() || unsaved || noBoxes || noLabelFile
        || imageMissing || problems.value != -1 || disagreements.value != -1 || reviews.value != -1;
}

void ImageFilter::setOuter(Outer &outer, int value)
{
    if (outer.value == value)
        return;
    outer.value = value;
    refilter();
}

void ImageFilter::outerChanged(const Outer &outer)
{
    if (outer.value != -1)
        refilter();
}

void ImageFilter::setSuspectFirst(bool on)
{
    if (suspectOrder == on)
        return;
    suspectOrder = on;
    takeScores();
    emit filterAboutToChange();
    sort(on ? 0 : -1);
    invalidate();
    emit filterChanged();
    emit countChanged();
}

void ImageFilter::suspicionChanged()
{
    takeScores();
    if (suspectOrder || disagreements.value != -1)
        refilter();
}

void ImageFilter::takeScores()
{
    scores.clear();
    if (!suspectOrder || !suspicion)
        return;
    // Asked once a row here rather than twice a comparison: the sort makes millions.
    scores.resize(imageList->rowCount());
    for (int row = 0; row < scores.size(); ++row)
        scores[row] = suspicion(row);
}

bool ImageFilter::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const int l = left.row(), r = right.row();
    const float a = l < scores.size() ? scores[l] : 0, b = r < scores.size() ? scores[r] : 0;
    return a != b ? a > b : l < r;
}

int ImageFilter::total() const
{
    return imageList->rowCount();
}

QString ImageFilter::summary() const
{
    const int all = total();
    if (!isActive())
        return all == 1 ? tr("1 image") : tr("%1 images").arg(all);
    return tr("%1 of %2 images").arg(count()).arg(all);
}

int ImageFilter::sourceRow(int row) const
{
    const QModelIndex shown = index(row, 0);
    return shown.isValid() ? mapToSource(shown).row() : -1;
}

int ImageFilter::shownRow(int sourceRow) const
{
    const QModelIndex shown = mapFromSource(imageList->index(sourceRow, 0));
    return shown.isValid() ? shown.row() : -1;
}

int ImageFilter::find(const QString &text) const
{
    const QString wanted = text.trimmed();
    if (wanted.isEmpty())
        return -1;
    // A name typed with its extension finds the image too (YOLO rows' names have none).
    const int dot = wanted.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? wanted.left(dot) : wanted;
    int exact = -1, begins = -1, holds = -1;
    for (int row = 0; row < rowCount() && exact < 0; ++row) {
        const QString name = data(index(row, 0), filterRole()).toString();
        if (name.compare(wanted, Qt::CaseInsensitive) == 0
            || name.compare(stem, Qt::CaseInsensitive) == 0)
            exact = row;
        else if (begins < 0 && name.startsWith(wanted, Qt::CaseInsensitive))
            begins = row;
        else if (holds < 0 && name.contains(wanted, Qt::CaseInsensitive))
            holds = row;
    }
    // A name that is the text wins over a tile number (names such as 000123).
    if (exact >= 0)
        return exact;
    bool isNumber = false;
    const int number = wanted.toInt(&isNumber);
    if (isNumber && wanted.at(0).isDigit())
        return number < rowCount() ? number : -1;
    return begins >= 0 ? begins : holds;
}

bool ImageFilter::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    const auto info = imageList->imageAt(sourceRow);
    if (!info || sourceParent.isValid())
        return false;
    BBoxList *boxes = info->bboxes.get();
    if (unsaved && !boxes->isModified())
        return false;
    if (noBoxes && boxes->rowCount() != 0)
        return false;
    if (noLabelFile && imageList->hasLabelFile(sourceRow))
        return false;
    if (imageMissing && !imageList->imageMissing(sourceRow))
        return false;
    if (problems.rejects(sourceRow) || disagreements.rejects(sourceRow)
        || reviews.rejects(sourceRow))
        return false;
    if (!classIds.isEmpty()) {
        const auto has = imageList->classRange(sourceRow);
        const bool any = std::any_of(has.first, has.second, [this](qint32 id) {
            return std::binary_search(classIds.cbegin(), classIds.cend(), id);
        });
        if (!any)
            return false;
    }
    // The search looks at the filter role, the name; it is read from the record rather than
    // through a QVariant for each of 100k rows.
    return searchText.isEmpty() || searchMatcher.indexIn(info->fileName) >= 0;
}
