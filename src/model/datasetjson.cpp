#include "model/imagelist.h"

#include "app/utils.h"
#include "model/fastjson.h"
#include "model/jsontext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// The text is written a part at a time; a part ends after the image that takes it past this.
constexpr int partSize = 1 << 20;

// One image as QJsonDocument::toJson indents it: members in key order, four spaces a level.
void appendImage(QByteArray &out, const ImageList::ImageInfo &info)
{
    out.append("    {\n        \"bboxes\": [\n");
    const BoxRecords &boxes = info.bboxes->boxList();
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
        out.append(i + 1 < boxes.size() ? "\n            },\n" : "\n            }\n");
    }
    out.append("        ],\n        \"fileName\": ");
    jsontext::appendString(out, info.fileName);
    out.append(",\n        \"filePath\": ");
    jsontext::appendString(out, info.filePath);
    out.append(",\n        \"height\": ");
    jsontext::appendInteger(out, info.height);
    out.append(",\n        \"id\": ");
    jsontext::appendInteger(out, info.id);
    out.append(",\n        \"width\": ");
    jsontext::appendInteger(out, info.width);
    out.append("\n    }");
}

} // namespace

void ImageList::exportJson(const QString &json)
{
    if (fastjson::mode() == fastjson::Mode::Reference) {
        exportJsonDocument(json);
        return;
    }
    // The text QJsonDocument::toJson would make of the whole dataset, written as it is made.
    int row = 0;
    Utils::writeFileInParts(json, [&](QByteArray &part) {
        if (row == 0)
            part.append("[\n");
        while (row < images.size() && part.size() < partSize) {
            appendImage(part, *images.at(row));
            part.append(++row < images.size() ? ",\n" : "\n");
        }
        if (row < images.size())
            return true;
        part.append("]\n");
        return false;
    });
}

void ImageList::exportJsonDocument(const QString &json)
{
    QJsonArray array;
    for (const auto &info : qAsConst(images)) {
        QJsonObject image;
        image.insert(QLatin1String("id"), info->id);
        image.insert(QLatin1String("fileName"), info->fileName);
        image.insert(QLatin1String("filePath"), info->filePath);
        image.insert(QLatin1String("width"), info->width);
        image.insert(QLatin1String("height"), info->height);
        image.insert(QLatin1String("bboxes"), info->bboxes->toJsonArray());
        array.append(image);
    }
    Utils::instance()->writeFile(json, QJsonDocument(array).toJson());
}

void ImageList::loadJson(const QString &json)
{
    QVector<std::shared_ptr<ImageInfo>> read;
    const auto add = [&read](fastjson::DatasetImage &image) {
        auto info = std::make_shared<ImageInfo>();
        info->id = image.id;
        info->fileName = image.fileName;
        info->filePath = image.filePath;
        info->width = image.width;
        info->height = image.height;
        info->bboxes = std::make_unique<BBoxList>();
        info->bboxes->appendBoxes(image.boxes);
        read.append(std::move(info));
    };
    if (!fastjson::readDataset(json, add)) {
        fastjson::countFallback();
        read.clear();
        QByteArray bytes;
        Utils::instance()->readFile(json, bytes);
        const QJsonArray array = QJsonDocument::fromJson(bytes).array();
        read.reserve(array.size());
        for (const QJsonValue &value : array) {
            const QJsonObject image = value.toObject();
            auto info = std::make_shared<ImageInfo>();
            info->id = image.value(QLatin1String("id")).toInt();
            info->fileName = image.value(QLatin1String("fileName")).toString();
            info->filePath = image.value(QLatin1String("filePath")).toString();
            info->width = image.value(QLatin1String("width")).toInt();
            info->height = image.value(QLatin1String("height")).toInt();
            auto boxes = std::make_unique<BBoxList>();
            const QJsonArray boxArray = image.value(QLatin1String("bboxes")).toArray();
            for (const QJsonValue &boxValue : boxArray) {
                const QJsonObject box = boxValue.toObject();
                boxes->appendBox(box.value(QLatin1String("catId")).toInt(),
                                 box.value(QLatin1String("cx")).toDouble(),
                                 box.value(QLatin1String("cy")).toDouble(),
                                 box.value(QLatin1String("cw")).toDouble(),
                                 box.value(QLatin1String("ch")).toDouble());
            }
            info->bboxes = std::move(boxes);
            read.append(std::move(info));
        }
    }

    beginResetModel();
    images.reserve(images.size() + read.size());
    for (auto &info : read)
        addImage(std::move(info));
    endResetModel();
}
