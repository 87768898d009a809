#include "format/labelshape.h"

#include "format/boxinfo.h"

#include <algorithm>
#include <cmath>
#include <limits>

ShapePoints::ShapePoints(ShapeKind kind, int dims, const double *values, int count)
    : data(count + 1)
{
    data[0] = float(int(kind) << 2 | dims);
    float *out = data.data() + 1;
    for (int i = 0; i < count; ++i)
        out[i] = float(values[i]);
}

bool ShapePoints::fits(double value)
{
    return !(std::abs(value) > double(std::numeric_limits<float>::max())) || std::isinf(value);
}

void ShapePoints::bounds(double *left, double *top, double *right, double *bottom) const
{
    // On the floats, then four conversions: decimal() keeps their order.
    const float *v = data.constData() + 1;
    const int n = size();
    float l = v[0], r = v[0], t = v[1], b = v[1];
    for (int i = 2; i + 1 < n; i += 2) {
        l = std::min(l, v[i]);
        r = std::max(r, v[i]);
        t = std::min(t, v[i + 1]);
        b = std::max(b, v[i + 1]);
    }
    *left = decimal(l);
    *top = decimal(t);
    *right = decimal(r);
    *bottom = decimal(b);
}

double ShapePoints::decimal(float value)
{
    // One rounding and one exact division: the correctly rounded double of the six-decimal
    // number, kept when it is the one the float stands for.
    const double widened = value;
    const double decimal = std::round(widened * 1e6) / 1e6;
    return float(decimal) == value ? decimal : widened;
}

namespace shape {

ShapeKind kindOfLine(int fields, const KeypointShape &keypoints, int *dims)
{
    // The dataset's kpt_shape decides first: with two values per keypoint every pose line has an
    // odd number of fields and would otherwise read as a polygon.
    if (keypoints.isValid() && fields == 5 + keypoints.count * keypoints.dims) {
        *dims = keypoints.dims;
        return ShapeKind::Keypoints;
    }
    // Five fields are a box, six a box with a confidence after it, kept as text.
    if (fields < 7)
        return ShapeKind::Box;
    // A class and at least three x y pairs. Nine fields are an oriented box: four corners.
    if (fields % 2 == 1) {
        *dims = 2;
        return ShapeKind::Polygon;
    }
    // Without a kpt_shape, a box and whole x y visibility triples. With one, a line of another
    // length is none of the dataset's poses: it is read as before, a box and text.
    if (!keypoints.isValid() && (fields - 5) % 3 == 0) {
        *dims = 3;
        return ShapeKind::Keypoints;
    }
    return ShapeKind::Box;
}

bool isUnlabelled(const ShapePoints &points, int i)
{
    return points.dims() == 3 ? points.at(i + 2) == 0 : points.at(i) == 0 && points.at(i + 1) == 0;
}

void fitBox(BoxInfo &box)
{
    const int n = box.shape().size();
    if (n < 2)
        return;
    double left, top, right, bottom;
    box.shape().bounds(&left, &top, &right, &bottom);
    box.cx = (left + right) / 2;
    box.cy = (top + bottom) / 2;
    box.cw = right - left;
    box.ch = bottom - top;
}

void setGeometry(BoxInfo &box, double cx, double cy, double cw, double ch)
{
    if (!box.shape().isNull()) {
        const double oldLeft = box.cx - box.cw / 2, oldTop = box.cy - box.ch / 2;
        const double left = cx - cw / 2, top = cy - ch / 2;
        const double sx = box.cw != 0 ? cw / box.cw : 1.0;
        const double sy = box.ch != 0 ? ch / box.ch : 1.0;
        const int dims = box.shape().dims();
        const int n = box.shape().size();
        const bool keypoints = box.kind() == ShapeKind::Keypoints;
        ShapePoints &v = box.editShape();
        for (int i = 0; i + 1 < n; i += dims) {
            if (keypoints && isUnlabelled(v, i))
                continue;
            v.set(i, left + (v.at(i) - oldLeft) * sx);
            v.set(i + 1, top + (v.at(i + 1) - oldTop) * sy);
        }
    }
    box.cx = cx;
    box.cy = cy;
    box.cw = cw;
    box.ch = ch;
    if (box.kind() == ShapeKind::Polygon)
        fitBox(box);
}

BoxInfo shapedLike(const BoxInfo &box, const LabelLayout &layout)
{
    BoxInfo shaped = box;
    if (layout.kind == ShapeKind::Polygon) {
        const double l = box.cx - box.cw / 2, r = box.cx + box.cw / 2;
        const double t = box.cy - box.ch / 2, b = box.cy + box.ch / 2;
        const double corners[] = {l, t, r, t, r, b, l, b};
        shaped.setShape(ShapePoints(ShapeKind::Polygon, 2, corners, 8));
        fitBox(shaped);
    } else if (layout.kind == ShapeKind::Keypoints && layout.keypoints().isValid()) {
        const KeypointShape keypoints = layout.keypoints();
        const QVector<double> unlabelled(keypoints.count * keypoints.dims, 0.0);
        shaped.setShape(ShapePoints(ShapeKind::Keypoints, keypoints.dims, unlabelled.constData(),
                                    unlabelled.size()));
    }
    return shaped;
}

LabelLayout layoutOf(const QVector<BoxInfo> &boxes, const KeypointShape &keypoints)
{
    LabelLayout layout;
    layout.setKeypoints(keypoints);
    layout.setDatasetKeypoints(keypoints);
    for (const BoxInfo &box : boxes) {
        if (box.shape().isNull())
            continue;
        layout.kind = box.kind();
        if (layout.kind == ShapeKind::Keypoints)
            layout.setKeypoints({box.shape().pointCount(), box.shape().dims()});
        return layout;
    }
    if (keypoints.isValid())
        layout.kind = ShapeKind::Keypoints;
    return layout;
}

const char *kindName(ShapeKind kind)
{
    switch (kind) {
    case ShapeKind::Polygon:
        return "polygon";
    case ShapeKind::Keypoints:
        return "keypoints";
    default:
        return "box";
    }
}

ShapeKind kindFromName(const QString &name)
{
    if (name == QLatin1String("polygon"))
        return ShapeKind::Polygon;
    if (name == QLatin1String("keypoints"))
        return ShapeKind::Keypoints;
    return ShapeKind::Box;
}

ShapePoints fromValues(ShapeKind kind, int dims, const QVector<double> &values)
{
    const int n = values.size();
    if (!std::all_of(values.cbegin(), values.cend(), ShapePoints::fits))
        return ShapePoints();
    if (kind == ShapeKind::Polygon && n >= 6 && n % 2 == 0)
        return ShapePoints(kind, 2, values.constData(), n);
    if (kind == ShapeKind::Keypoints && (dims == 2 || dims == 3) && n > 0 && n % dims == 0)
        return ShapePoints(kind, dims, values.constData(), n);
    return ShapePoints();
}

namespace {

bool isPolygon(const BoxInfo &box)
{
    return box.kind() == ShapeKind::Polygon && box.shape().pointCount() >= 3;
}

QVector<double> valuesOf(const ShapePoints &points)
{
    QVector<double> values(points.size());
    for (int i = 0; i < values.size(); ++i)
        values[i] = points.at(i);
    return values;
}

void setPolygon(BoxInfo &box, const QVector<double> &values)
{
    box.setShape(ShapePoints(ShapeKind::Polygon, 2, values.constData(), values.size()));
    fitBox(box);
}

} // namespace

BoxInfo polygonThrough(qint32 catId, const QVector<double> &points)
{
    BoxInfo box(catId);
    if (points.size() < 6 || points.size() % 2 != 0)
        return box;
    QVector<double> values(points.size());
    for (int i = 0; i < values.size(); ++i)
        values[i] = std::clamp(points[i], 0.0, 1.0);
    setPolygon(box, values);
    return box;
}

int edgeNear(const BoxInfo &box, double x, double y, double width, double height, double reach)
{
    if (!isPolygon(box))
        return -1;
    const ShapePoints &v = box.shape();
    const int n = v.pointCount();
    int nearest = -1;
    double best = reach * reach;
    for (int i = 0; i < n; ++i) {
        const int j = (i + 1) % n;
        const double ax = v.at(2 * i) * width, ay = v.at(2 * i + 1) * height;
        const double bx = v.at(2 * j) * width - ax, by = v.at(2 * j + 1) * height - ay;
        const double px = x * width - ax, py = y * height - ay;
        const double length = bx * bx + by * by;
        const double t = length > 0 ? std::clamp((px * bx + py * by) / length, 0.0, 1.0) : 0;
        const double dx = px - t * bx, dy = py - t * by;
        if (dx * dx + dy * dy <= best) {
            best = dx * dx + dy * dy;
            nearest = i;
        }
    }
    return nearest;
}

bool insertVertex(BoxInfo &box, int after, double x, double y)
{
    if (!isPolygon(box) || after < 0 || after >= box.shape().pointCount())
        return false;
    QVector<double> values = valuesOf(box.shape());
    values.insert(2 * after + 2, std::clamp(y, 0.0, 1.0));
    values.insert(2 * after + 2, std::clamp(x, 0.0, 1.0));
    setPolygon(box, values);
    return true;
}

bool removeVertex(BoxInfo &box, int index)
{
    if (!isPolygon(box) || box.shape().pointCount() <= 3 || index < 0
        || index >= box.shape().pointCount())
        return false;
    QVector<double> values = valuesOf(box.shape());
    values.remove(2 * index, 2);
    setPolygon(box, values);
    return true;
}

bool rotate(BoxInfo &box, double radians, double width, double height)
{
    if (!isPolygon(box) || !(width > 0 && height > 0))
        return false;
    QVector<double> values = valuesOf(box.shape());
    const int n = values.size() / 2;
    double mx = 0, my = 0;
    for (int i = 0; i < n; ++i) {
        mx += values[2 * i] / n;
        my += values[2 * i + 1] / n;
    }
    const double c = std::cos(radians), s = std::sin(radians);
    for (int i = 0; i < n; ++i) {
        const double dx = (values[2 * i] - mx) * width, dy = (values[2 * i + 1] - my) * height;
        const double x = mx + (c * dx - s * dy) / width, y = my + (s * dx + c * dy) / height;
        if (x < 0 || x > 1 || y < 0 || y > 1)
            return false;
        values[2 * i] = x;
        values[2 * i + 1] = y;
    }
    setPolygon(box, values);
    return true;
}

bool resizeRectangle(BoxInfo &box, double cx, double cy, double cw, double ch, double width,
                     double height)
{
    if (!isPolygon(box) || box.shape().pointCount() != 4 || !(width > 0 && height > 0))
        return false;
    const ShapePoints &v = box.shape();
    double x[4], y[4];
    for (int i = 0; i < 4; ++i) {
        x[i] = v.at(2 * i) * width;
        y[i] = v.at(2 * i + 1) * height;
    }
    // Half of each side from the middle: u along the first side, w along the second.
    const double ux = (x[1] - x[0]) / 2, uy = (y[1] - y[0]) / 2;
    const double wx = (x[2] - x[1]) / 2, wy = (y[2] - y[1]) / 2;
    const double lu = std::hypot(ux, uy), lw = std::hypot(wx, wy);
    const double tolerance = 1e-3 * (lu + lw) * (lu + lw);
    const bool rectangle = lu > 0 && lw > 0 && std::abs(ux * wx + uy * wy) <= tolerance
        && std::abs(x[2] - x[3] - (x[1] - x[0])) <= 1e-3 * (lu + lw)
        && std::abs(y[2] - y[3] - (y[1] - y[0])) <= 1e-3 * (lu + lw);
    if (!rectangle)
        return false;
    // The stretch of each side that gives the box asked for: its half width and half height
    // are |u| s + |w| t along each axis.
    const double halfW = cw * width / 2, halfH = ch * height / 2;
    const double a = std::abs(ux), b = std::abs(wx), c = std::abs(uy), d = std::abs(wy);
    const double det = a * d - b * c;
    double s, t;
    if (std::abs(det) > 1e-6 * (a + b) * (c + d)) {
        s = (halfW * d - b * halfH) / det;
        t = (a * halfH - halfW * c) / det;
    } else {
        // Near 45 degrees both sides count alike in both axes: stretched alike.
        s = t = a + b > 0 ? halfW / (a + b) : 1;
    }
    s = std::max(s, 1e-3);
    t = std::max(t, 1e-3);
    const double mx = cx * width, my = cy * height;
    // Corner i is the middle less or plus u and w, in the order they were.
    const double signU[4] = {-1, 1, 1, -1}, signW[4] = {-1, -1, 1, 1};
    QVector<double> values(8);
    for (int i = 0; i < 4; ++i) {
        values[2 * i] = (mx + signU[i] * s * ux + signW[i] * t * wx) / width;
        values[2 * i + 1] = (my + signU[i] * s * uy + signW[i] * t * wy) / height;
    }
    setPolygon(box, values);
    return true;
}

} // namespace shape
