#include "model/imagelist.h"

#include "app/utils.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

void ImageList::exportJson(const QString &json)
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
    QByteArray bytes;
    Utils::instance()->readFile(json, bytes);
    const QJsonArray array = QJsonDocument::fromJson(bytes).array();

    beginResetModel();
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
        addImage(std::move(info));
    }
    endResetModel();
}
