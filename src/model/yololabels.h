#pragma once

#include "model/bboxlist.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <memory>

// The YOLO label line: "catId cx cy cw ch", five fields separated by single spaces.
namespace yolo {

QString formatLine(const BoxInfo &box);

// The label file content for these boxes: lines joined by "\n", none after the last.
QByteArray formatLabels(const BoxRecords &boxes);

// The boxes of the lines of `bytes` that have at least five fields, in order.
QVector<BoxInfo> parseLabels(const QByteArray &bytes);

} // namespace yolo
