#pragma once

#include "format/boxinfo.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <memory>

// The YOLO label line, read as a YOLO trainer reads it: fields separated by any run of spaces or
// tabs, leading and trailing ones ignored, the class any number that is whole. Written with
// single spaces: "catId cx cy cw ch" for a box (a sixth
// field, a confidence, kept as text), "catId x1 y1 x2 y2 x3 y3 ..." for a polygon, "catId cx cy
// cw ch x1 y1 [v1] ..." for a box with keypoints; what is read as none of these is a box and the
// text after its fifth field, kept as it was read.
namespace yolo {

// A line in the form it was read, with as many fields; numbers in at most six significant
// digits (QString::number).
QString formatLine(const BoxInfo &box);

// How a label file ends its lines: CRLF (as its first line ends) or LF, and whether its last
// line has a line end.
struct FileStyle
{
    bool crlf = false;
    bool finalNewline = false;
};
FileStyle styleOf(const QByteArray &bytes);

// The label file content for these boxes, with the lines that are not labels in their places.
// Without `original`, lines are formatted and joined as `style` says. With the bytes of the file
// the boxes were read from, a box or line that still reads as its source line (sourceLine) is
// written as those bytes, line end and all, so that only what was edited changes; new and edited
// lines are formatted, with the file's line ends, and the file keeps its final line end or its
// lack of one. `keypoints` is the kpt_shape the boxes were read with.
QByteArray formatLabels(const BoxRecords &boxes, const ForeignLines &foreign = {},
                        FileStyle style = {}, const QByteArray *original = nullptr,
                        const KeypointShape &keypoints = {});

// Gives each box and line the number of the line formatLabels writes it on.
void numberLines(const BoxRecords &boxes, ForeignLines &foreign);

// The boxes and shapes of the label lines of `bytes`, in order (see firstForeignLine for what a
// label line is, shape::kindOfLine for which shape it holds; `keypoints` is the dataset's
// kpt_shape, if it has one). The other lines, blank ones aside, go to `foreign` when it is given.
QVector<BoxInfo> parseLabels(const QByteArray &bytes, ForeignLines *foreign = nullptr,
                             const KeypointShape &keypoints = {});

// The number (from 1) of the first line of `bytes` that is not understood as a label line, or
// 0 when there is none. A line is understood when it is blank, or when it has at least five
// fields of which the first converts as an integer and the next four as numbers.
int firstForeignLine(const QByteArray &bytes);

// A line of a model's predictions: the label it proposes and how sure the model is of it. In
// floats, which keep the six decimals a predict step writes: a dataset's predictions run to
// millions of lines.
struct Prediction
{
    float cx = 0, cy = 0, cw = 0, ch = 0;
    float confidence = 1;
    qint32 catId = 0;
    ShapePoints points; // a polygon's vertices or a pose line's keypoints; null for a box

    Prediction() = default;
    Prediction(const BoxInfo &box, float confidence);
    ShapeKind kind() const { return points.kind(); }
    // The prediction as a label line.
    BoxInfo box() const;
};
static_assert(sizeof(void *) != 8 || sizeof(Prediction) == 32, "a prediction in 32 bytes");

// The lines of a predictions file, as a trainer's predict step writes them with confidences:
// a label line (read as parseLabels reads it) with the confidence as its last field. A line
// carries one when its number of fields says so: six for a box, an even number from eight
// (a polygon's pairs and one more), or with a valid `keypoints` one more than its pose lines
// have. Every other label line (a second annotator's labels) has confidence 1. Lines that are
// not labels are skipped; each prediction keeps its source line.
QVector<Prediction> parsePredictions(const QByteArray &bytes, const KeypointShape &keypoints = {});

} // namespace yolo

Q_DECLARE_TYPEINFO(yolo::Prediction, Q_MOVABLE_TYPE);
