#pragma once

// An element of a COCO images list as both COCO readers take it: its "id", "file_name", "width"
// and "height", through the JSON walk or from a QJsonObject.

#include "format/coco.h"
#include "format/jsonwalk.h"

#include <QJsonObject>

namespace coco {

// `depth` is the element's nesting, counted as the walk counts it.
inline bool readImage(jsonwalk::ondemand::value &element, int depth, ImageEntry &image)
{
    using jsonwalk::Walk;
    return Walk::forEachMember(element, depth,
                               [&](const jsonwalk::Key &key, jsonwalk::ondemand::value &v) {
                                   if (key.is("id"))
                                       return Walk::toInt(v, depth + 1, image.id);
                                   if (key.is("file_name"))
                                       return Walk::toString(v, depth + 1, image.fileName);
                                   if (key.is("width"))
                                       return Walk::toInt(v, depth + 1, image.width);
                                   if (key.is("height"))
                                       return Walk::toInt(v, depth + 1, image.height);
                                   return Walk::skip(v, depth + 1);
                               });
}

inline void readImage(const QJsonObject &object, ImageEntry &image)
{
    image.id = object.value(QLatin1String("id")).toInt();
    image.fileName = object.value(QLatin1String("file_name")).toString();
    image.width = object.value(QLatin1String("width")).toInt();
    image.height = object.value(QLatin1String("height")).toInt();
}

} // namespace coco
