#pragma once

#include "bboxlist.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

// The YOLO label line: "catId cx cy cw ch", five fields separated by single spaces.
namespace yolo {

QString formatLine(const BoxInfo &box);

// The label file content for these boxes: lines joined by "\n", none after the last.
QByteArray formatLabels(const QList<std::shared_ptr<BoxInfo>> &boxes);

// Calls `add` for every line of `bytes` that has at least five fields, in order.
void parseLabels(const QByteArray &bytes, const std::function<void(const BoxInfo &)> &add);

} // namespace yolo
