#pragma once

#include "model/bboxlist.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <memory>

// The YOLO label line: "catId cx cy cw ch", five fields separated by single spaces, then any
// fields other tools put after them (confidences, polygons, keypoints), kept as they were read.
namespace yolo {

QString formatLine(const BoxInfo &box);

// The label file content for these boxes: lines joined by "\n", none after the last.
QByteArray formatLabels(const BoxRecords &boxes);

// The boxes of the lines of `bytes` that have at least five fields, in order.
QVector<BoxInfo> parseLabels(const QByteArray &bytes);

// The number (from 1) of the first line of `bytes` that is not understood as a label line, or
// 0 when there is none. A line is understood when it is blank, or when it has at least five
// fields of which the first converts as an integer and the next four as numbers.
int firstForeignLine(const QByteArray &bytes);

} // namespace yolo
