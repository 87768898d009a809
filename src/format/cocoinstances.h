#pragma once

// A COCO instances file: one object with "images", "annotations" and "categories", as every COCO
// tool writes it. Read with the streaming JSON walk (QJsonDocument where that gives up) into
// normalised boxes and polygons, and written back from them.

#include "format/boxinfo.h"
#include "format/coco.h"

#include <QString>
#include <QVector>

#include <functional>

namespace coco {

struct Category
{
    qint32 id = 0;
    QString name;
};

// An image of the file with its boxes: catId is the class id (the index of its category in
// Instances::categories), values are fractions of the image's width and height.
struct InstancesImage : ImageEntry
{
    BoxRecords boxes;
};

// Annotations of the file that did not become a box, by reason.
struct LeftOut
{
    int crowd = 0; // run-length (crowd) masks
    int unknownImage = 0; // of an image id the file does not list
    int unknownCategory = 0; // of a category id the file does not list
    int repeatedId = 0; // an image, category or annotation id seen before (images too)
    int badGeometry = 0; // no usable box or polygon, or an image without a positive size

    int total() const { return crowd + unknownImage + unknownCategory + repeatedId + badGeometry; }
};

struct Instances
{
    // Ascending by id: class id i is categories[i].
    QVector<Category> categories;
    // In the order of the file.
    QVector<InstancesImage> images;
    int boxes = 0; // annotations kept
    int joined = 0; // of them, those of several polygons joined into one outline
    LeftOut leftOut;
};

// Reads the instances file at `path`. False with `error` set when it cannot be read, is not
// JSON, or is not an object with an "images" array (an array is the form of the two-file
// import, and says so).
bool readInstances(const QString &path, Instances &out, QString *error);

// Whether the file starts as a JSON object does (after white space): an instances file rather
// than one of the arrays of the two-file import.
bool looksLikeObject(const QString &path);

// The outline of several polygons as one: each further part is joined to the outline so far at
// their nearest vertices by a seam walked there and back (as YOLO tools convert such masks).
QVector<double> joinParts(const QVector<QVector<double>> &parts);

// One image to write; `boxes` stays valid while the writer runs.
struct ExportImage
{
    qint32 id = 0;
    QString fileName;
    qint32 width = 0;
    qint32 height = 0;
    const BoxRecords *boxes = nullptr;
};

struct ExportCounts
{
    int images = 0;
    int boxes = 0;
    int leftOut = 0; // boxes of images without a known size, or not finite
};

// Writes an instances file: `categories` (id and name of each class id, in class order; a box
// whose class has none is given id = class + 1 and its number as its name), the images and
// their boxes in pixels (polygons as one-part segmentations, boxes with an empty one).
// Atomic: the file is replaced only when all is written.
bool writeInstances(const QString &path, const QVector<Category> &categories, int count,
                    const std::function<ExportImage(int)> &imageAt, ExportCounts &counts,
                    QString *error);

} // namespace coco
