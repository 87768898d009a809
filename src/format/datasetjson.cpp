#include "format/datasetjson.h"

#include "format/fastjson.h"
#include "format/jsontext.h"
#include "format/jsonwalk.h"
#include "io/fileio.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariantList>
#include <QVariantMap>

#include <functional>

namespace {

using jsonwalk::Key;
using jsonwalk::Walk;
namespace ondemand = jsonwalk::ondemand;

// The text is written a part at a time; a part ends after the image that takes it past this.
constexpr int partSize = 1 << 20;

// A non-empty array of `count` items, `item` writing each, as toJson indents one that stands
// `indent` spaces in.
template<typename Item>
void appendItems(QByteArray &out, int indent, int count, Item item)
{
    out.append("[\n");
    for (int i = 0; i < count; ++i) {
        out.append(indent + 4, ' ');
        item(i);
        out.append(i + 1 < count ? ",\n" : "\n");
    }
    out.append(indent, ' ');
    out.append(']');
}

// The members a shaped box has besides those of a box, as BBoxList::toJsonArray makes them.
void appendShape(QByteArray &out, const ShapePoints &shape)
{
    out.append(",\n                \"kind\": ");
    jsontext::appendString(out, QString::fromLatin1(shape::kindName(shape.kind())));
    out.append(",\n                \"pointDims\": ");
    jsontext::appendInteger(out, shape.dims());
    out.append(",\n                \"points\": ");
    appendItems(out, 16, shape.size(), [&](int i) { jsontext::appendNumber(out, shape.at(i)); });
}

// One image as QJsonDocument::toJson indents it: members in key order, four spaces a level.
void appendImage(QByteArray &out, const datasetjson::Row &info)
{
    out.append("    {\n        \"bboxes\": [\n");
    const BoxRecords &boxes = *info.boxes;
    for (int i = 0; i < boxes.size(); ++i) {
        const BoxInfo &box = *boxes[i];
        out.append("            {\n                \"catId\": ");
        jsontext::appendInteger(out, box.catId);
        out.append(",\n                \"ch\": ");
        jsontext::appendNumber(out, box.ch);
        out.append(",\n                \"cw\": ");
        jsontext::appendNumber(out, box.cw);
        out.append(",\n                \"cx\": ");
        jsontext::appendNumber(out, box.cx);
        out.append(",\n                \"cy\": ");
        jsontext::appendNumber(out, box.cy);
        if (!box.shape().isNull())
            appendShape(out, box.shape());
        out.append(i + 1 < boxes.size() ? "\n            },\n" : "\n            }\n");
    }
    out.append("        ],\n");
    if (info.classNames) {
        const QStringList &names = *info.classNames;
        out.append("        \"classNames\": ");
        appendItems(out, 8, names.size(), [&](int i) { jsontext::appendString(out, names[i]); });
        out.append(",\n");
    }
    out.append("        \"fileName\": ");
    jsontext::appendString(out, info.fileName);
    out.append(",\n        \"filePath\": ");
    jsontext::appendString(out, info.filePath);
    out.append(",\n        \"height\": ");
    jsontext::appendInteger(out, info.height);
    out.append(",\n        \"id\": ");
    jsontext::appendInteger(out, info.id);
    if (!info.reviewNote.isEmpty()) {
        out.append(",\n        \"reviewNote\": ");
        jsontext::appendString(out, info.reviewNote);
    }
    if (!info.reviewState.isEmpty()) {
        out.append(",\n        \"reviewState\": ");
        jsontext::appendString(out, info.reviewState);
    }
    out.append(",\n        \"width\": ");
    jsontext::appendInteger(out, info.width);
    out.append("\n    }");
}

} // namespace

namespace datasetjson {

QJsonArray boxesToJson(const BoxRecords &boxes)
{
    QVariantList list;
    list.reserve(boxes.size());
    for (const auto &box : boxes) {
        QVariantMap map;
        map.insert(QStringLiteral("catId"), box->catId);
        map.insert(QStringLiteral("cx"), box->cx);
        map.insert(QStringLiteral("cy"), box->cy);
        map.insert(QStringLiteral("cw"), box->cw);
        map.insert(QStringLiteral("ch"), box->ch);
        // Shapes in members of their own, which a reader that knows only boxes passes over.
        if (!box->shape().isNull()) {
            map.insert(QStringLiteral("kind"), QString::fromLatin1(shape::kindName(box->kind())));
            map.insert(QStringLiteral("pointDims"), box->shape().dims());
            QVariantList points;
            points.reserve(box->shape().size());
            for (int i = 0; i < box->shape().size(); ++i)
                points.append(box->shape().at(i));
            map.insert(QStringLiteral("points"), points);
        }
        list.append(map);
    }
    return QJsonArray::fromVariantList(list);
}

bool write(const QString &json, int count, const RowAt &rowAt, QString *error)
{
    if (fastjson::mode() == fastjson::Mode::Reference)
        return writeDocument(json, count, rowAt, error);
    // The text QJsonDocument::toJson would make of the whole dataset, written as it is made.
    int row = 0;
    return io::writeFileInParts(
        json,
        [&](QByteArray &part) {
            if (row == 0)
                part.append("[\n");
            while (row < count && part.size() < partSize) {
                appendImage(part, rowAt(row));
                part.append(++row < count ? ",\n" : "\n");
            }
            if (row < count)
                return true;
            part.append("]\n");
            return false;
        },
        error);
}

bool writeDocument(const QString &json, int count, const RowAt &rowAt, QString *error)
{
    QJsonArray array;
    for (int row = 0; row < count; ++row) {
        const Row info = rowAt(row);
        QJsonObject image;
        image.insert(QLatin1String("id"), info.id);
        image.insert(QLatin1String("fileName"), info.fileName);
        image.insert(QLatin1String("filePath"), info.filePath);
        image.insert(QLatin1String("width"), info.width);
        image.insert(QLatin1String("height"), info.height);
        image.insert(QLatin1String("bboxes"), boxesToJson(*info.boxes));
        if (info.classNames)
            image.insert(QLatin1String("classNames"), QJsonArray::fromStringList(*info.classNames));
        if (!info.reviewState.isEmpty())
            image.insert(QLatin1String("reviewState"), info.reviewState);
        if (!info.reviewNote.isEmpty())
            image.insert(QLatin1String("reviewNote"), info.reviewNote);
        array.append(image);
    }
    return io::writeFile(json, QJsonDocument(array).toJson(), error);
}

} // namespace datasetjson

namespace {

using datasetjson::AddImage;
using datasetjson::DatasetImage;

// The shape members of a box as both readers read them: kept when they make a shape, a polygon's
// box fitted to its vertices.
void setShape(BoxInfo &box, const QString &kind, int dims, const QVector<double> &values)
{
    box.setShape(shape::fromValues(shape::kindFromName(kind), dims, values));
    if (box.kind() == ShapeKind::Polygon)
        shape::fitBox(box);
}

// Calls `add` for each image of the file; gives up where QJsonDocument might read otherwise.
bool readDatasetFast(const QString &path, const AddImage &add)
{
    DatasetImage image;
    QVector<double> values;
    qint64 bytesRead = 0;
    return jsonwalk::forEachElement(path, bytesRead, [&](ondemand::value &element) {
        image.id = image.width = image.height = 0;
        image.fileName.clear();
        image.filePath.clear();
        image.boxes.clear();
        image.classNames.clear();
        image.reviewState.clear();
        image.reviewNote.clear();
        const bool ok = Walk::forEachMember(element, 1, [&](const Key &key, ondemand::value &v) {
            if (key.is("id"))
                return Walk::toInt(v, 2, image.id);
            if (key.is("reviewState"))
                return Walk::toString(v, 2, image.reviewState);
            if (key.is("reviewNote"))
                return Walk::toString(v, 2, image.reviewNote);
            if (key.is("fileName"))
                return Walk::toString(v, 2, image.fileName);
            if (key.is("filePath"))
                return Walk::toString(v, 2, image.filePath);
            if (key.is("classNames")) {
                image.classNames.clear();
                return Walk::forEachItem(v, 2, [&](ondemand::value &name) {
                    QString text;
                    const bool nameOk = Walk::toString(name, 3, text);
                    image.classNames.append(text);
                    return nameOk;
                });
            }
            if (key.is("width"))
                return Walk::toInt(v, 2, image.width);
            if (key.is("height"))
                return Walk::toInt(v, 2, image.height);
            if (key.is("bboxes")) {
                image.boxes.clear();
                return Walk::forEachItem(v, 2, [&](ondemand::value &item) {
                    BoxInfo box;
                    QString kind;
                    int dims = 0;
                    values.clear();
                    const bool boxOk
                        = Walk::forEachMember(item, 3, [&](const Key &boxKey, ondemand::value &b) {
                              if (boxKey.is("catId"))
                                  return Walk::toInt(b, 4, box.catId);
                              if (boxKey.is("cx"))
                                  return Walk::numberOrDefault(b, 4, box.cx);
                              if (boxKey.is("cy"))
                                  return Walk::numberOrDefault(b, 4, box.cy);
                              if (boxKey.is("cw"))
                                  return Walk::numberOrDefault(b, 4, box.cw);
                              if (boxKey.is("ch"))
                                  return Walk::numberOrDefault(b, 4, box.ch);
                              if (boxKey.is("kind"))
                                  return Walk::toString(b, 4, kind);
                              if (boxKey.is("pointDims"))
                                  return Walk::toInt(b, 4, dims);
                              if (boxKey.is("points")) {
                                  values.clear();
                                  return Walk::forEachItem(b, 4, [&](ondemand::value &point) {
                                      double d = 0;
                                      const bool pointOk = Walk::numberOrDefault(point, 5, d);
                                      values.append(d);
                                      return pointOk;
                                  });
                              }
                              return Walk::skip(b, 4);
                          });
                    setShape(box, kind, dims, values);
                    image.boxes.append(box);
                    return boxOk;
                });
            }
            return Walk::skip(v, 2);
        });
        if (ok)
            add(image);
        return ok;
    });
}

void readDatasetReference(const QString &path, const AddImage &add)
{
    QByteArray bytes;
    io::readFile(path, bytes);
    const QJsonArray array = QJsonDocument::fromJson(bytes).array();
    DatasetImage image;
    for (const QJsonValue &value : array) {
        const QJsonObject object = value.toObject();
        image.id = object.value(QLatin1String("id")).toInt();
        image.fileName = object.value(QLatin1String("fileName")).toString();
        image.filePath = object.value(QLatin1String("filePath")).toString();
        image.width = object.value(QLatin1String("width")).toInt();
        image.height = object.value(QLatin1String("height")).toInt();
        image.reviewState = object.value(QLatin1String("reviewState")).toString();
        image.reviewNote = object.value(QLatin1String("reviewNote")).toString();
        image.classNames.clear();
        for (const QJsonValue &name : object.value(QLatin1String("classNames")).toArray())
            image.classNames.append(name.toString());
        image.boxes.clear();
        const QJsonArray boxArray = object.value(QLatin1String("bboxes")).toArray();
        for (const QJsonValue &boxValue : boxArray) {
            const QJsonObject box = boxValue.toObject();
            BoxInfo read{box.value(QLatin1String("catId")).toInt(),
                         box.value(QLatin1String("cx")).toDouble(),
                         box.value(QLatin1String("cy")).toDouble(),
                         box.value(QLatin1String("cw")).toDouble(),
                         box.value(QLatin1String("ch")).toDouble()};
            QVector<double> values;
            for (const QJsonValue &point : box.value(QLatin1String("points")).toArray())
                values.append(point.toDouble());
            setShape(read, box.value(QLatin1String("kind")).toString(),
                     box.value(QLatin1String("pointDims")).toInt(), values);
            image.boxes.append(read);
        }
        add(image);
    }
}

} // namespace

namespace datasetjson {

void read(const QString &json, const AddImage &add, const std::function<void()> &restart)
{
    if (fastjson::mode() != fastjson::Mode::Fast || !readDatasetFast(json, add)) {
        fastjson::countFallback();
        restart();
        readDatasetReference(json, add);
    }
}

} // namespace datasetjson
