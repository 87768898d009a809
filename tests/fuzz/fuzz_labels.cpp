// Label text through the reader, then every box read through the writer and the reader again:
// the values (a shape's vertices and keypoints too) must come back as they were, rounded to six
// significant digits, and the fields after the fifth of a box line exactly as they were. Checking a
// text for lines that are not labels never fails on it.
#include "format/yololabels.h"
#include "fuzzcommon.h"

#include <cmath>

namespace {

double rounded(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.6g", value);
    return std::strtod(text, nullptr);
}

// `back` is `value` rounded to six significant digits: that rounding, or for an exact tie
// (printf rounds 222222.5 and 15650.25 to the even digit, Qt up) a number of six significant
// digits no further from `value` than half a unit of the sixth digit. The writer prints -0 as 0,
// which reads back equal.
bool roundedTo6(double back, double value)
{
    if (std::isnan(value))
        return std::isnan(back);
    if (back == rounded(value))
        return true;
    if (rounded(back) != back || value == 0 || !std::isfinite(value))
        return false;
    const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(value))) - 5);
    return std::fabs(back - value) <= unit / 2 * (1 + 1e-9);
}

// A shape keeps its values as floats: a value rounded to six digits comes back as the float
// nearest to that rounding (123456500125 as 1.23457e+11, held as 123457003520; an exact tie
// such as 15650.25 may have gone up, to the float of 15650.3).
bool shapeRoundedTo6(double back, double value)
{
    if (roundedTo6(back, value))
        return true;
    if (value == 0 || !std::isfinite(value))
        return false;
    const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(value))) - 5);
    const double nearest = rounded(value);
    for (const double candidate : {nearest, rounded(nearest - unit), rounded(nearest + unit)}) {
        if (float(back) == float(candidate) && roundedTo6(candidate, value))
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QVector<BoxInfo> boxes = yolo::parseLabels(bytes);
    BoxRecords records;
    for (const BoxInfo &box : boxes) {
        const QString line = yolo::formatLine(box);
        // As many fields as were read: a polygon's class and vertices; five fields, then the
        // keypoints or the fields after the fifth as they were read.
        const int extraFields
            = box.extra().isNull() ? 0 : box.extra().split(QLatin1Char(' ')).size();
        const bool polygon = box.kind() == ShapeKind::Polygon;
        FUZZ_CHECK(line.split(QLatin1Char(' ')).size()
                   == (polygon ? 1 : 5 + extraFields) + box.shape().size());
        const QVector<BoxInfo> again = yolo::parseLabels(line.toUtf8());
        FUZZ_CHECK(again.size() == 1);
        FUZZ_CHECK(again[0].extra() == box.extra());
        FUZZ_CHECK(again[0].catId == box.catId);
        FUZZ_CHECK(again[0].kind() == box.kind() && again[0].shape().dims() == box.shape().dims());
        FUZZ_CHECK(again[0].shape().size() == box.shape().size());
        for (int i = 0; i < box.shape().size(); ++i)
            FUZZ_CHECK(shapeRoundedTo6(again[0].shape().at(i), box.shape().at(i)));
        // A polygon's box is its vertices' bounding rectangle, not a field of the line.
        FUZZ_CHECK(polygon || roundedTo6(again[0].cx, box.cx));
        FUZZ_CHECK(polygon || roundedTo6(again[0].cy, box.cy));
        FUZZ_CHECK(polygon || roundedTo6(again[0].cw, box.cw));
        FUZZ_CHECK(polygon || roundedTo6(again[0].ch, box.ch));
        records.append(std::make_shared<BoxInfo>(box));
    }
    const int foreign = yolo::firstForeignLine(bytes);
    FUZZ_CHECK(foreign >= 0 && foreign <= bytes.count('\n') + 1);
    // A whole file written from them reads back as as many boxes, all of them label lines.
    const QByteArray file = yolo::formatLabels(records);
    FUZZ_CHECK(yolo::parseLabels(file).size() == boxes.size());
    FUZZ_CHECK(!file.endsWith('\n'));
    FUZZ_CHECK(yolo::firstForeignLine(file) == 0);
    return 0;
}
