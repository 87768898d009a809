#include "dataset/categorytable.h"

#include <array>
#include <cmath>

namespace {
// Strong colours that stay apart from each other and show over photos, for the first classes;
// no pale tints, which vanish on skies and walls. Black is left for boxes whose class is not in
// the table.
constexpr std::array<const char *, 16> palette{
    "#e6194b", "#3cb44b", "#ffe119", "#4363d8", "#f58231", "#911eb4", "#46f0f0", "#f032e6",
    "#bcf60c", "#008080", "#9a6324", "#800000", "#808000", "#000075", "#ff7f00", "#00a86b"};
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
    if (catId >= 0 && catId < n)
        return QColor(QLatin1String(palette[size_t(catId)]));
    // Beyond the palette: hues a golden angle apart, so that neighbouring ids differ most, in
    // three strengths of saturation and value, all strong enough to show over photos. Distinct
    // for every id up to hundreds.
    const unsigned k = unsigned(catId < 0 ? -qint64(catId) : catId) - (catId < 0 ? 0 : n);
    const double hue = std::fmod(k * 137.507764 + 15.0, 360.0) / 360.0;
    static constexpr double saturation[] = {0.95, 0.75, 1.0};
    static constexpr double value[] = {0.9, 0.7, 0.55};
    const unsigned tier = (k / 7) % 3;
    return QColor::fromHsvF(hue, saturation[tier], value[tier]);
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

QVariantList CategoryTable::pick(const QString &text, const QVariantList &recent) const
{
    const QString wanted = text.trimmed();
    const auto matches = [&wanted](const Category &entry) {
        return entry.catName.contains(wanted, Qt::CaseInsensitive)
            || QString::number(entry.catId).startsWith(wanted);
    };
    QVariantList result;
    QVector<int> taken;
    for (const QVariant &id : recent) {
        const int i = indexOf(id.toInt());
        if (i >= 0 && !taken.contains(i) && matches(table.at(i))) {
            taken.append(i);
            result.append(get(i));
        }
    }
    for (int i = 0; i < table.size(); ++i) {
        if (!taken.contains(i) && matches(table.at(i)))
            result.append(get(i));
    }
    return result;
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
