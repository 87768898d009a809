#pragma once

// The problems a YOLO trainer trips on, found in one image's label file and image: coordinates
// out of range, degenerate and tiny boxes, unknown classes, duplicates, shapes it cannot pair,
// lines that are not labels, and images missing, undecodable or without labels.

#include "format/boxinfo.h"

#include <QSize>
#include <QString>
#include <QVector>

namespace health {

enum class Kind : quint8 {
    Outside,
    Degenerate,
    Class,
    Duplicate,
    ExactDuplicate,
    Tiny,
    Polygon,
    Keypoints,
    NotALabel,
    NoImage,
    BadImage,
    NoLabels,
};
constexpr int kindCount = int(Kind::NoLabels) + 1;

// The name a problem has on the command line ("exact-duplicate") and its title in the window.
const char *kindName(Kind kind);
QString kindTitle(Kind kind);

// Same class boxes overlapping at least this much are duplicates.
constexpr double duplicateOverlap = 0.9;
// A box narrower or lower than this many pixels of its image is tiny.
constexpr double tinyPixels = 3.0;
// The largest coordinate a YOLO trainer accepts; beyond it drops the image's labels.
constexpr double trainerLimit = 1.01;

struct Finding
{
    Kind kind = Kind::Outside;
    int line = 0; // of the label file, from 1; 0 for the whole file
    int box = -1; // the box's row in its list, -1 for none
    QString detail;
};
using Findings = QVector<Finding>;

// What is known of an image besides its boxes.
struct ImageFacts
{
    int classCount = 0; // class names known; 0 when there are none
    KeypointShape keypoints; // the dataset's kpt_shape
    QSize size; // from the image's header; invalid when unknown or unreadable
    bool hasLabelFile = true;
    bool imageMissing = false;
    bool imageUnreadable = false; // the file is there, its header is not an image's
    QString imageName; // its file's name, for what is said of it
};

// Every problem of one image, in the order of the file's lines, whole-file problems first.
Findings check(const BoxRecords &boxes, const ForeignLines &foreign, const ImageFacts &facts);

// The box's geometry cut to the image, with its points taken along: false when it has none left
// there or needs no cut.
bool clampedIntoImage(const BoxInfo &box, BoxInfo *clamped);

// Whether a finding is one a fix takes away: a box outside the image is cut to it, an exact
// duplicate line deleted.
bool fixable(const Finding &finding, const BoxRecords &boxes);

// The overlap of two boxes (intersection over union), 0 for boxes without area.
double overlap(const BoxInfo &a, const BoxInfo &b);

} // namespace health
