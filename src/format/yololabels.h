#pragma once

#include "format/boxinfo.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <memory>

// The YOLO label line, fields separated by single spaces: "catId cx cy cw ch" for a box (a sixth
// field, a confidence, kept as text), "catId x1 y1 x2 y2 x3 y3 ..." for a polygon, "catId cx cy
// cw ch x1 y1 [v1] ..." for a box with keypoints; what is read as none of these is a box and the
// text after its fifth field, kept as it was read.
namespace yolo {

// A line in the form it was read, with as many fields; numbers in at most six significant
// digits (QString::number).
QString formatLine(const BoxInfo &box);

// The label file content for these boxes, with the lines that are not labels in their places:
// lines joined by "\n", none after the last.
QByteArray formatLabels(const BoxRecords &boxes, const ForeignLines &foreign = {});

// The boxes and shapes of the label lines of `bytes`, in order (see firstForeignLine for what a
// label line is, shape::kindOfLine for which shape it holds; `keypoints` is the dataset's
// kpt_shape, if it has one). The other lines, blank ones aside, go to `foreign` when it is given.
QVector<BoxInfo> parseLabels(const QByteArray &bytes, ForeignLines *foreign = nullptr,
                             const KeypointShape &keypoints = {});

// The number (from 1) of the first line of `bytes` that is not understood as a label line, or
// 0 when there is none. A line is understood when it is blank, or when it has at least five
// fields of which the first converts as an integer and the next four as numbers.
int firstForeignLine(const QByteArray &bytes);

} // namespace yolo
