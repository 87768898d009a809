#include "format/cocoinstances.h"

#include "format/cocoimage.h"
#include "format/fastjson.h"
#include "format/jsontext.h"
#include "format/jsonwalk.h"
#include "io/fileio.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

using jsonwalk::Key;
using jsonwalk::Walk;
namespace ondemand = jsonwalk::ondemand;
using namespace coco;

// An annotation as the file gives it, before it is checked.
struct RawAnnotation
{
    qint32 id = 0;
    qint32 imageId = 0;
    qint32 categoryId = 0;
    qint32 crowd = 0;
    bool rle = false; // a segmentation that is an object
    QVector<double> bbox;
    QVector<QVector<double>> parts;
    int partCount = 0; // parts in use: the vectors are reused from one annotation to the next

    void clear()
    {
        id = imageId = categoryId = crowd = 0;
        rle = false;
        bbox.clear();
        partCount = 0;
    }
    QVector<double> &newPart()
    {
        if (parts.size() <= partCount)
            parts.resize(partCount + 1);
        parts[partCount].clear();
        return parts[partCount++];
    }
};

// Ids seen so far; cheap while they only grow, as in every file COCO tools write.
class IdSet
{
public:
    // False when `id` was seen before.
    bool insert(qint32 id)
    {
        if (set.isEmpty()) {
            if (ordered.empty() || id > ordered.back()) {
                ordered.push_back(id);
                return true;
            }
            set.reserve(int(ordered.size()) * 2);
            for (qint32 seen : ordered)
                set.insert(seen);
            ordered = {};
        }
        if (set.contains(id))
            return false;
        set.insert(id);
        return true;
    }

private:
    std::vector<qint32> ordered;
    QSet<qint32> set;
};

bool finite(const QVector<double> &values)
{
    return std::all_of(values.begin(), values.end(),
                       [](double v) { return std::isfinite(v) && ShapePoints::fits(v); });
}

// Gathers what either reader reads and checks it into Instances.
class Gather
{
public:
    explicit Gather(Instances &out)
        : out(out)
    {
    }

    void addImage(InstancesImage &image)
    {
        if (imageRow.contains(image.id)) {
            ++out.leftOut.repeatedId;
            return;
        }
        imageRow.insert(image.id, out.images.size());
        out.images.append(std::move(image));
    }

    void addCategory(const Category &category)
    {
        for (const Category &seen : qAsConst(out.categories)) {
            if (seen.id == category.id) {
                ++out.leftOut.repeatedId;
                return;
            }
        }
        out.categories.append(category);
    }

    void addAnnotation(const RawAnnotation &raw)
    {
        if (raw.crowd == 1 || raw.rle) {
            ++out.leftOut.crowd;
            return;
        }
        if (!annotationIds.insert(raw.id)) {
            ++out.leftOut.repeatedId;
            return;
        }
        const int row = rowOf(raw.imageId);
        QVector<double> joined;
        const QVector<double> *polygon = outlineOf(raw, joined);
        if (row < 0) {
            // Images may come after the annotations: kept aside until the end.
            pending.push_back({raw.imageId, raw.categoryId, !joined.isEmpty(), raw.bbox,
                               polygon ? *polygon : QVector<double>()});
            return;
        }
        place(row, raw.categoryId, raw.bbox, polygon, !joined.isEmpty());
    }

    // Places what waited for its image, gives each box its class id, drops the boxes of
    // categories the file does not list and hands each image its boxes in file order.
    void finish()
    {
        for (const Pending &p : pending) {
            const auto row = imageRow.constFind(p.imageId);
            if (row == imageRow.constEnd())
                ++out.leftOut.unknownImage;
            else
                place(*row, p.categoryId, p.bbox, p.polygon.isEmpty() ? nullptr : &p.polygon,
                      p.joined);
        }
        pending.clear();
        std::sort(out.categories.begin(), out.categories.end(),
                  [](const Category &a, const Category &b) { return a.id < b.id; });
        QHash<qint32, qint32> classOf;
        for (int i = 0; i < out.categories.size(); ++i)
            classOf.insert(out.categories[i].id, i);
        // Counted by image, then moved to each image's array at once: one allocation an image.
        std::vector<int> count(size_t(out.images.size()), 0);
        for (Placed &p : placed) {
            const auto found = classOf.constFind(p.box->catId);
            if (found == classOf.constEnd()) {
                ++out.leftOut.unknownCategory;
                p.box.reset();
                continue;
            }
            p.box->catId = *found;
            ++count[size_t(p.row)];
        }
        for (int row = 0; row < out.images.size(); ++row)
            out.images[row].boxes.reserve(count[size_t(row)]);
        for (Placed &p : placed) {
            if (p.box) {
                out.images[p.row].boxes.append(std::move(p.box));
                ++out.boxes;
            }
        }
        placed = {};
    }

private:
    struct Pending
    {
        qint32 imageId;
        qint32 categoryId;
        bool joined;
        QVector<double> bbox;
        QVector<double> polygon;
    };

    // The annotation's outline in pixels: its polygon of at least three points, or its
    // polygons joined into `joined`; null for none.
    static const QVector<double> *outlineOf(const RawAnnotation &raw, QVector<double> &joined)
    {
        const auto usable = [](const QVector<double> &part) {
            return part.size() >= 6 && part.size() % 2 == 0 && finite(part);
        };
        int count = 0, last = -1;
        for (int i = 0; i < raw.partCount; ++i) {
            if (usable(raw.parts[i])) {
                ++count;
                last = i;
            }
        }
        if (count <= 1)
            return count ? &raw.parts[last] : nullptr;
        QVector<QVector<double>> parts;
        for (int i = 0; i < raw.partCount; ++i) {
            if (usable(raw.parts[i]))
                parts.append(raw.parts[i]);
        }
        joined = joinParts(parts);
        return &joined;
    }

    // The row of the image with this id, -1 for none yet: through a table by id while the ids
    // are dense enough, as in COCO's own files.
    int rowOf(qint32 id)
    {
        if (!denseBuilt) {
            denseBuilt = true;
            qint64 low = std::numeric_limits<qint64>::max(), high = -1;
            for (auto it = imageRow.cbegin(); it != imageRow.cend(); ++it) {
                low = std::min<qint64>(low, it.key());
                high = std::max<qint64>(high, it.key());
            }
            if (high >= low && high - low < 16 * qint64(imageRow.size()) + 1024) {
                denseLow = low;
                dense.assign(size_t(high - low + 1), -1);
                for (auto it = imageRow.cbegin(); it != imageRow.cend(); ++it)
                    dense[size_t(it.key() - low)] = it.value();
            }
        }
        const qint64 at = qint64(id) - denseLow;
        if (at >= 0 && at < qint64(dense.size()) && dense[size_t(at)] >= 0)
            return dense[size_t(at)];
        const auto found = imageRow.constFind(id);
        return found == imageRow.constEnd() ? -1 : *found;
    }

    void place(int row, qint32 categoryId, const QVector<double> &bbox,
               const QVector<double> *polygon, bool joined)
    {
        const InstancesImage &image = out.images.at(row);
        const double width = image.width, height = image.height;
        if (image.width <= 0 || image.height <= 0) {
            ++out.leftOut.badGeometry;
            return;
        }
        BoxInfo box(categoryId);
        if (polygon) {
            const int n = polygon->size();
            normalised.resize(n);
            for (int i = 0; i < n; i += 2) {
                normalised[i] = (*polygon)[i] / width;
                normalised[i + 1] = (*polygon)[i + 1] / height;
            }
            box.setShape(ShapePoints(ShapeKind::Polygon, 2, normalised.data(), n));
            shape::fitBox(box);
            out.joined += joined ? 1 : 0;
        } else {
            if (bbox.size() < 4 || !finite(bbox) || bbox[2] <= 0 || bbox[3] <= 0) {
                ++out.leftOut.badGeometry;
                return;
            }
            box.cx = (bbox[0] + bbox[2] * 0.5) / width;
            box.cy = (bbox[1] + bbox[3] * 0.5) / height;
            box.cw = bbox[2] / width;
            box.ch = bbox[3] / height;
        }
        placed.push_back({row, std::make_shared<BoxInfo>(std::move(box))});
    }

    Instances &out;
    QHash<qint32, int> imageRow;
    IdSet annotationIds;
    std::vector<Pending> pending;
    std::vector<double> normalised;
    // The boxes made, in file order, with their image's row.
    struct Placed
    {
        int row;
        std::shared_ptr<BoxInfo> box;
    };
    std::vector<Placed> placed;
    std::vector<int> dense;
    qint64 denseLow = 0;
    bool denseBuilt = false;
};

// --- The fast reader -------------------------------------------------------------------------

bool numbers(ondemand::value &value, int depth, QVector<double> &into)
{
    return Walk::forEachItem(value, depth, [&](ondemand::value &n) {
        // Nearly every element is a number other than zero, read as QJsonDocument reads it;
        // anything else (zero, another type, an error) goes the way that checks it.
        double d;
        if (n.get_double().get(d) || d == 0) {
            if (!Walk::numberOrDefault(n, depth + 1, d))
                return false;
        }
        into.append(d);
        return true;
    });
}

bool readCategoryFast(ondemand::value &element, Category &category)
{
    return Walk::forEachMember(element, 2, [&](const Key &key, ondemand::value &v) {
        if (key.is("id"))
            return Walk::toInt(v, 3, category.id);
        if (key.is("name"))
            return Walk::toString(v, 3, category.name);
        return Walk::skip(v, 3);
    });
}

bool readSegmentationFast(ondemand::value &v, RawAnnotation &raw)
{
    raw.rle = false;
    raw.partCount = 0;
    ondemand::json_type type;
    if (v.type().get(type))
        return false;
    if (type == ondemand::json_type::object) {
        raw.rle = true;
        return Walk::skip(v, 3);
    }
    return Walk::forEachItem(
        v, 3, [&](ondemand::value &part) { return numbers(part, 4, raw.newPart()); });
}

bool readAnnotationFast(ondemand::value &element, RawAnnotation &raw)
{
    raw.clear();
    return Walk::forEachMember(element, 2, [&](const Key &key, ondemand::value &v) {
        if (key.is("id"))
            return Walk::toInt(v, 3, raw.id);
        if (key.is("image_id"))
            return Walk::toInt(v, 3, raw.imageId);
        if (key.is("category_id"))
            return Walk::toInt(v, 3, raw.categoryId);
        if (key.is("iscrowd"))
            return Walk::toInt(v, 3, raw.crowd);
        if (key.is("bbox")) {
            raw.bbox.clear();
            return numbers(v, 3, raw.bbox);
        }
        if (key.is("segmentation"))
            return readSegmentationFast(v, raw);
        return Walk::skip(v, 3);
    });
}

bool readFast(const QString &path, Instances &out)
{
    Gather gather(out);
    RawAnnotation raw;
    qint64 size = 0;
    const bool ok = jsonwalk::forEachMemberElement(
        path, size, [&](const std::string &key, bool element, ondemand::value &v) {
            if (!element)
                return Walk::skip(v, 1);
            if (key == "images") {
                InstancesImage image;
                if (!coco::readImage(v, 2, image))
                    return false;
                gather.addImage(image);
                return true;
            }
            if (key == "annotations") {
                if (!readAnnotationFast(v, raw))
                    return false;
                gather.addAnnotation(raw);
                return true;
            }
            if (key == "categories") {
                Category category;
                if (!readCategoryFast(v, category))
                    return false;
                gather.addCategory(category);
                return true;
            }
            return Walk::skip(v, 2);
        });
    if (!ok)
        return false;
    gather.finish();
    return true;
}

// --- The reference reader --------------------------------------------------------------------

QVector<double> toNumbers(const QJsonValue &value)
{
    QVector<double> numbers;
    const QJsonArray array = value.toArray();
    numbers.reserve(array.size());
    for (const QJsonValue &n : array)
        numbers.append(n.toDouble());
    return numbers;
}

bool readReference(const QString &path, Instances &out, QString *error)
{
    QByteArray bytes;
    if (!io::readFile(path, bytes)) {
        *error = QStringLiteral("cannot be read");
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    bytes.clear();
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("is not JSON: %1 at byte %2")
                     .arg(parseError.errorString())
                     .arg(parseError.offset);
        return false;
    }
    if (!doc.isObject()) {
        *error = QStringLiteral("is not a COCO instances file (an object with \"images\")");
        return false;
    }
    const QJsonObject root = doc.object();
    Gather gather(out);
    for (const QJsonValue &value : root.value(QLatin1String("images")).toArray()) {
        InstancesImage image;
        coco::readImage(value.toObject(), image);
        gather.addImage(image);
    }
    RawAnnotation raw;
    for (const QJsonValue &value : root.value(QLatin1String("annotations")).toArray()) {
        const QJsonObject object = value.toObject();
        raw.clear();
        raw.id = object.value(QLatin1String("id")).toInt();
        raw.imageId = object.value(QLatin1String("image_id")).toInt();
        raw.categoryId = object.value(QLatin1String("category_id")).toInt();
        raw.crowd = object.value(QLatin1String("iscrowd")).toInt();
        raw.bbox = toNumbers(object.value(QLatin1String("bbox")));
        const QJsonValue segmentation = object.value(QLatin1String("segmentation"));
        raw.rle = segmentation.isObject();
        for (const QJsonValue &part : segmentation.toArray())
            raw.newPart() = toNumbers(part);
        gather.addAnnotation(raw);
    }
    for (const QJsonValue &value : root.value(QLatin1String("categories")).toArray()) {
        const QJsonObject object = value.toObject();
        gather.addCategory({object.value(QLatin1String("id")).toInt(),
                            object.value(QLatin1String("name")).toString()});
    }
    gather.finish();
    return true;
}

double squared(double x, double y)
{
    return x * x + y * y;
}

// --- Writing ---------------------------------------------------------------------------------

// Pixels with three decimals at most: the precision a box or outline of the dataset holds.
void appendPixels(QByteArray &out, double value)
{
    const double rounded = std::round(value * 1000) / 1000;
    jsontext::appendNumber(out, rounded == 0 ? 0.0 : rounded);
}

constexpr int partSize = 1 << 20;

} // namespace

namespace coco {

bool looksLikeObject(const QString &path)
{
    io::FileReader reader(path);
    char head[4096];
    const qint64 got = reader.isOpen() ? reader.read(head, sizeof head) : -1;
    int i = got >= 3 && std::equal(head, head + 3, "\xEF\xBB\xBF") ? 3 : 0;
    while (i < got && (head[i] == ' ' || head[i] == '\n' || head[i] == '\r' || head[i] == '\t'))
        ++i;
    return i < got && head[i] == '{';
}

QVector<double> joinParts(const QVector<QVector<double>> &parts)
{
    if (parts.isEmpty())
        return {};
    QVector<double> joined = parts.first();
    for (int p = 1; p < parts.size(); ++p) {
        const QVector<double> &part = parts[p];
        int bestJoined = 0, bestPart = 0;
        double best = -1;
        for (int i = 0; i < joined.size(); i += 2) {
            for (int j = 0; j < part.size(); j += 2) {
                const double d = squared(joined[i] - part[j], joined[i + 1] - part[j + 1]);
                if (best < 0 || d < best) {
                    best = d;
                    bestJoined = i;
                    bestPart = j;
                }
            }
        }
        // After the nearest vertex of the outline: the part from its nearest vertex round to
        // that vertex again, then back to the outline's vertex.
        QVector<double> seam;
        seam.reserve(part.size() + 4);
        for (int k = 0; k <= part.size(); k += 2) {
            const int j = (bestPart + k) % part.size();
            seam << part[j] << part[j + 1];
        }
        seam << joined[bestJoined] << joined[bestJoined + 1];
        joined.insert(bestJoined + 2, seam.size(), 0.0);
        std::copy(seam.begin(), seam.end(), joined.begin() + bestJoined + 2);
    }
    return joined;
}

bool readInstances(const QString &path, Instances &out, QString *error)
{
    QString ignored;
    QString &why = error ? *error : ignored;
    out = Instances();
    bool read = false;
    if (fastjson::mode() == fastjson::Mode::Fast) {
        read = readFast(path, out);
        if (!read) {
            fastjson::countFallback();
            out = Instances();
        }
    }
    if (!read && !readReference(path, out, &why))
        return false;
    if (out.images.isEmpty()) {
        why = QStringLiteral("lists no images");
        return false;
    }
    return true;
}

bool writeInstances(const QString &path, const QVector<Category> &categories, int count,
                    const std::function<ExportImage(int)> &imageAt, ExportCounts &counts,
                    QString *error)
{
    counts = ExportCounts();
    // Classes beyond the names given get ids after the largest one.
    QVector<Category> all = categories;
    qint32 nextId = 1;
    for (const Category &c : categories)
        nextId = std::max(nextId, c.id + 1);
    for (int row = 0; row < count; ++row) {
        const ExportImage image = imageAt(row);
        for (const auto &box : *image.boxes) {
            while (box->catId >= all.size())
                all.append({nextId++, QString::number(all.size())});
        }
    }

    enum Stage { Images, Annotations, Categories, Done } stage = Images;
    int row = 0, annotationId = 0;
    const auto nextPart = [&](QByteArray &part) {
        if (stage == Images && row == 0)
            part.append("{\"images\": [");
        while (stage == Images && row < count && part.size() < partSize) {
            const ExportImage image = imageAt(row);
            part.append(row ? ",\n{\"id\": " : "\n{\"id\": ");
            jsontext::appendInteger(part, image.id);
            part.append(", \"file_name\": ");
            jsontext::appendString(part, image.fileName);
            part.append(", \"width\": ");
            jsontext::appendInteger(part, image.width);
            part.append(", \"height\": ");
            jsontext::appendInteger(part, image.height);
            part.append("}");
            ++counts.images;
            if (++row == count)
                break;
        }
        if (stage == Images && row == count) {
            part.append("\n],\n\"annotations\": [");
            stage = Annotations;
            row = 0;
        }
        while (stage == Annotations && row < count && part.size() < partSize) {
            const ExportImage image = imageAt(row++);
            const double width = image.width, height = image.height;
            for (const auto &box : *image.boxes) {
                const double x = (box->cx - box->cw / 2) * width;
                const double y = (box->cy - box->ch / 2) * height;
                const double w = box->cw * width, h = box->ch * height;
                if (image.width <= 0 || image.height <= 0 || box->catId < 0
                    || !std::isfinite(x + y + w + h)) {
                    ++counts.leftOut;
                    continue;
                }
                part.append(annotationId ? ",\n{\"id\": " : "\n{\"id\": ");
                jsontext::appendInteger(part, ++annotationId);
                part.append(", \"image_id\": ");
                jsontext::appendInteger(part, image.id);
                part.append(", \"category_id\": ");
                jsontext::appendInteger(part, all[box->catId].id);
                part.append(", \"bbox\": [");
                appendPixels(part, x);
                part.append(", ");
                appendPixels(part, y);
                part.append(", ");
                appendPixels(part, w);
                part.append(", ");
                appendPixels(part, h);
                const ShapePoints &shape = box->shape();
                const bool polygon = shape.kind() == ShapeKind::Polygon && shape.size() >= 6;
                double area = w * h;
                if (polygon) {
                    double twice = 0;
                    const int n = shape.size();
                    for (int i = 0; i < n; i += 2)
                        twice += shape.at(i) * shape.at((i + 3) % n)
                            - shape.at((i + 2) % n) * shape.at(i + 1);
                    area = std::abs(twice) / 2 * width * height;
                }
                part.append("], \"area\": ");
                appendPixels(part, area);
                part.append(", \"segmentation\": [");
                if (polygon) {
                    part.append("[");
                    for (int i = 0; i < shape.size(); i += 2) {
                        if (i)
                            part.append(", ");
                        appendPixels(part, shape.at(i) * width);
                        part.append(", ");
                        appendPixels(part, shape.at(i + 1) * height);
                    }
                    part.append("]");
                }
                part.append("], \"iscrowd\": 0}");
                ++counts.boxes;
            }
        }
        if (stage == Annotations && row == count) {
            part.append("\n],\n\"categories\": [");
            for (int i = 0; i < all.size(); ++i) {
                part.append(i ? ",\n{\"id\": " : "\n{\"id\": ");
                jsontext::appendInteger(part, all[i].id);
                part.append(", \"name\": ");
                jsontext::appendString(part, all[i].name);
                part.append(", \"supercategory\": \"\"}");
            }
            part.append("\n]}\n");
            stage = Done;
        }
        return stage != Done;
    };
    return io::writeFileInParts(path, nextPart, error);
}

} // namespace coco
