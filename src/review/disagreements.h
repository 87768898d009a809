#pragma once

#include "format/yololabels.h"

#include <QString>
#include <QVector>

// Where a model's predictions and an image's labels disagree, after the error kinds of
// detection-error analysis. Predictions at or above the confidence threshold are matched to
// labels greedily, the most confident first, each label used once:
//  1. a label of the same class with the highest IoU ≥ the IoU threshold: they agree;
//  2. else a label of another class with the highest IoU ≥ the IoU threshold: wrong class;
//  3. else a label of the same class with the highest IoU in [0.1, IoU threshold): mislocated;
//  4. else, when no label of any class overlaps it with IoU ≥ 0.1: missing label. A prediction
//     that overlaps a label already taken (a second detection of one object) is no finding.
// A label left unused that no prediction at or above the threshold overlaps with IoU ≥ 0.1 is a
// spurious label. Shapes are compared by their boxes (a polygon's is its bounding rectangle).
namespace disagreement {

enum class Kind : quint8 { Missing, Spurious, WrongClass, Mislocated };
constexpr int kindCount = 4;

// "missing", "spurious", "wrong-class", "mislocated": the names the command line prints.
const char *kindName(Kind kind);
// "missing label", "spurious label", "wrong class", "mislocated".
QString kindTitle(Kind kind);

struct Thresholds
{
    double iou = 0.5;
    double confidence = 0.5;
};

// How much more likely a label is wrong than right, in [0, 1]:
//  - missing label and wrong class: the prediction's confidence;
//  - mislocated: 1 − the IoU of the prediction and its label;
//  - spurious label: half of 1 − the highest confidence of a prediction below the threshold
//    that overlaps the label with IoU ≥ 0.1 (0 for none). A model that misses an object is
//    more common than a label drawn where nothing is, so these rank after the others.
// An image's score is the highest of its findings'.
struct Finding
{
    Kind kind = Kind::Missing;
    qint32 prediction = -1; // index in the image's predictions; -1 for a spurious label
    qint32 label = -1; // row of the label; -1 for a missing label
    float iou = 0;
    float score = 0;
};
using Findings = QVector<Finding>;

// The box IoU of a prediction and a line (their boxes, whatever their shapes).
double iou(const yolo::Prediction &a, const BoxInfo &b);

// The findings of one image, most suspect first (ties in the order of the predictions, then the
// labels).
Findings match(const BoxRecords &labels, const QVector<yolo::Prediction> &predictions,
               const Thresholds &thresholds);

// The highest score of `findings`, 0 for none.
float scoreOf(const Findings &findings);

} // namespace disagreement
