#include "model/categorytable.h"

#include <array>

namespace {
// Twenty colours that stay apart from each other and show over photos; class ids repeat them.
// Black is left for boxes whose class is not in the table.
constexpr std::array<const char *, 20> palette{
    "#e6194b", "#3cb44b", "#ffe119", "#4363d8", "#f58231", "#911eb4", "#46f0f0",
    "#f032e6", "#bcf60c", "#fabebe", "#008080", "#e6beff", "#9a6324", "#fffac8",
    "#800000", "#aaffc3", "#808000", "#ffd8b1", "#000075", "#808080"};
} // namespace

CategoryTable::CategoryTable()
{
    setClassNames({});
}

CategoryTable::~CategoryTable() = default;

int CategoryTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : table.size();
}

QVariant CategoryTable::data(const QModelIndex &index, int role) const
{
    const int row = index.row();
    if (row < 0 || row >= table.size())
        return QVariant();
    const Category &entry = table.at(row);
    switch (role) {
    case CatId:
        return entry.catId;
    case CatName:
        return entry.catName;
    case CatShortcut:
        return entry.catShortcut;
    case CatColor:
        return entry.catColor;
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> CategoryTable::roleNames() const
{
    return {{CatId, QByteArrayLiteral("catId")},
            {CatName, QByteArrayLiteral("catName")},
            {CatShortcut, QByteArrayLiteral("catShortcut")},
            {CatColor, QByteArrayLiteral("catColor")}};
}

QColor CategoryTable::paletteColor(int catId)
{
    const int n = int(palette.size());
    return QColor(QLatin1String(palette[size_t(((catId % n) + n) % n)]));
}

void CategoryTable::setClassNames(const QVariantList &classNames)
{
    QVector<Category> next;
    for (const QVariant &entry : classNames) {
        const QVariantMap map = entry.toMap();
        const int id = map.value(QStringLiteral("catId")).toInt();
        next.append({id, map.value(QStringLiteral("catName")).toString(),
                     id >= 0 && id <= 9 ? QString::number(id) : QString(), paletteColor(id)});
    }
    if (next.isEmpty())
        next.append({1, QStringLiteral("People"), QStringLiteral("1"), QColor(Qt::blue)});
    const int oldCount = table.size();
    beginResetModel();
    table = next;
    endResetModel();
    ++revisionNumber;
    emit revisionChanged();
    if (oldCount != table.size())
        emit countChanged();
}

QVariantMap CategoryTable::get(int row) const
{
    if (row < 0 || row >= table.size())
        return {};
    const Category &entry = table.at(row);
    return {{QStringLiteral("catId"), entry.catId},
            {QStringLiteral("catName"), entry.catName},
            {QStringLiteral("catShortcut"), entry.catShortcut},
            {QStringLiteral("catColor"), entry.catColor}};
}

int CategoryTable::indexOf(int catId) const
{
    for (int i = 0; i < table.size(); ++i) {
        if (table.at(i).catId == catId)
            return i;
    }
    return -1;
}

bool CategoryTable::contains(int catId) const
{
    return indexOf(catId) >= 0;
}

QColor CategoryTable::colorOf(int catId) const
{
    const int i = indexOf(catId);
    return i < 0 ? QColor(Qt::black) : table.at(i).catColor;
}

QString CategoryTable::nameOf(int catId) const
{
    const int i = indexOf(catId);
    return i < 0 ? QString::number(catId) : table.at(i).catName;
}
