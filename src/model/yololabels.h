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

// The label file content for these boxes, with the lines that are not labels in their places:
// lines joined by "\n", none after the last.
QByteArray formatLabels(const BoxRecords &boxes, const ForeignLines &foreign = {});

// The boxes of the label lines of `bytes`, in order (see firstForeignLine for what a label line
// is). The other lines, blank ones aside, go to `foreign` when it is given.
QVector<BoxInfo> parseLabels(const QByteArray &bytes, ForeignLines *foreign = nullptr);

// The number (from 1) of the first line of `bytes` that is not understood as a label line, or
// 0 when there is none. A line is understood when it is blank, or when it has at least five
// fields of which the first converts as an integer and the next four as numbers.
int firstForeignLine(const QByteArray &bytes);

} // namespace yolo
