#pragma once

#include <QString>
#include <QVector>

// What a label line holds besides its class: a box, a polygon (segmentation, oriented boxes) or a
// box with keypoints (pose).
enum class ShapeKind : quint8 { Box, Polygon, Keypoints };

// The `kpt_shape: [count, dims]` of a pose dataset's YAML: `dims` values per keypoint, x y and
// for 3 a visibility (0 not labelled, 1 hidden, 2 visible).
struct KeypointShape
{
    int count = 0;
    int dims = 0;

    bool isValid() const { return count > 0 && count <= 0xffff && (dims == 2 || dims == 3); }
    bool operator==(const KeypointShape &o) const { return count == o.count && dims == o.dims; }
};

// The vertices of a polygon (x y pairs) or the keypoints of a pose line (x y [v]), as fractions
// of the image. One implicitly shared array whose first element holds the kind and the values per
// point, so that a box pays one null pointer and a shape one allocation. The values are floats:
// seven significant digits, more than the six a label line is written with, in half the memory
// of doubles (a segmentation dataset holds tens of millions of them).
class ShapePoints
{
public:
    ShapePoints() = default;
    ShapePoints(ShapeKind kind, int dims, const double *values, int count);

    bool isNull() const { return data.isEmpty(); }
    ShapeKind kind() const
    {
        return data.isEmpty() ? ShapeKind::Box : ShapeKind(int(data[0]) >> 2);
    }
    // Values per point: 2 for a polygon, 2 or 3 for keypoints, 0 for a box.
    int dims() const { return data.isEmpty() ? 0 : int(data[0]) & 3; }
    // The number of values, not of points.
    int size() const { return data.isEmpty() ? 0 : data.size() - 1; }
    int pointCount() const { return data.isEmpty() ? 0 : size() / dims(); }
    // Value `i` as the double of the decimal it was read from, when that had six decimals or
    // fewer (0.123456, not 0.12345600128173828), else as the float holds it.
    double at(int i) const { return decimal(data[i + 1]); }
    // Detaches: copies kept elsewhere (an undo step) keep the values they had.
    void set(int i, double value) { data[i + 1] = float(value); }
    // The smallest and largest x and y of x y pairs, as at() gives them.
    void bounds(double *left, double *top, double *right, double *bottom) const;

    bool operator==(const ShapePoints &o) const { return data == o.data; }

    // Whether a shape can hold `value` as it is: within the range of a float.
    static bool fits(double value);

private:
    static double decimal(float value);

    QVector<float> data;
};

// What a new box of a list becomes, so that a label file stays one kind: a four-corner polygon
// in a polygon file, a box with unlabelled keypoints in a pose file.
// Eight bytes: every image's list holds one.
class LabelLayout
{
public:
    ShapeKind kind = ShapeKind::Box;

    // Of the file's pose lines.
    KeypointShape keypoints() const { return {count, dims}; }
    void setKeypoints(const KeypointShape &shape) { set(shape, &count, &dims); }
    // The dataset YAML's kpt_shape, if any: how the file's lines are read.
    KeypointShape datasetKeypoints() const { return {datasetCount, datasetDims}; }
    void setDatasetKeypoints(const KeypointShape &shape)
    {
        set(shape, &datasetCount, &datasetDims);
    }

private:
    static void set(const KeypointShape &shape, quint16 *count, quint8 *dims)
    {
        *count = shape.isValid() ? quint16(shape.count) : 0;
        *dims = shape.isValid() ? quint8(shape.dims) : 0;
    }

    quint8 dims = 0, datasetDims = 0;
    quint16 count = 0, datasetCount = 0;
};

struct BoxInfo;

namespace shape {

// How a label line of `fields` fields (class included) is read: see the definition.
ShapeKind kindOfLine(int fields, const KeypointShape &keypoints, int *dims);

// Whether the keypoint whose first value is value `i` has no label: visibility 0, or for two
// values per point both coordinates 0 (how pose tools write a missing point without visibility).
bool isUnlabelled(const ShapePoints &points, int i);

// Sets the box of a polygon to the bounding rectangle of its vertices.
void fitBox(BoxInfo &box);

// Gives `box` the geometry cx, cy, cw, ch, taking its vertices or labelled keypoints along axis
// by axis from the old box to the new one (a move translates, a resize scales; from a zero
// width or height only translates). A polygon's box is then fitted to its vertices again.
void setGeometry(BoxInfo &box, double cx, double cy, double cw, double ch);

// `box`, made with only its five fields, as a new line of a file laid out as `layout`.
BoxInfo shapedLike(const BoxInfo &box, const LabelLayout &layout);

// The layout of a file whose lines are `boxes`, in a dataset whose kpt_shape is `keypoints`: that
// of its first polygon or keypoints line; without one, keypoints when `keypoints` is valid, else
// boxes.
LabelLayout layoutOf(const QVector<BoxInfo> &boxes, const KeypointShape &keypoints);

// The edits of a polygon's outline, in fractions of the picture, each fitting the box to the
// vertices after it. A picture `width` by `height` pixels is given where distances or angles
// are measured, so that they are those seen.

// A polygon of class `catId` through `points` (x y pairs), each clamped into the picture; a
// plain box of nothing for fewer than three points.
BoxInfo polygonThrough(qint32 catId, const QVector<double> &points);
// The vertex whose edge to the next one passes nearest (x, y), within `reach` pixels; -1 for
// none (or no polygon).
int edgeNear(const BoxInfo &box, double x, double y, double width, double height, double reach);
// Puts (x, y), clamped into the picture, between vertex `after` and the next; false for no
// polygon or no such vertex.
bool insertVertex(BoxInfo &box, int after, double x, double y);
// Takes vertex `index` out; false when it would leave fewer than three, or there is none.
bool removeVertex(BoxInfo &box, int index);
// Turns a polygon by `radians` about the middle of its vertices, as seen on the picture (a
// rectangle stays one), the vertices in their order; false, changing nothing, when a vertex
// would leave the picture.
bool rotate(BoxInfo &box, double radians, double width, double height);

// Gives a polygon that is a rectangle as seen on the picture (an oriented box) the box cx, cy,
// cw, ch by moving and stretching it along its own sides, so that it stays a rectangle of the
// same angle, its corners in order; false, changing nothing, for any other shape.
bool resizeRectangle(BoxInfo &box, double cx, double cy, double cw, double ch, double width,
                     double height);

// The text of a kind as the roles and the dataset JSON give it, and back (Box for anything else).
const char *kindName(ShapeKind kind);
ShapeKind kindFromName(const QString &name);

// A shape from the values a dataset JSON file gives; null (a plain box) when they do not make
// one: a polygon needs an even number of at least six values, keypoints whole points.
ShapePoints fromValues(ShapeKind kind, int dims, const QVector<double> &values);

} // namespace shape
