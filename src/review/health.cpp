#include "review/health.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace health {

namespace {

constexpr double epsilon = 1e-6;

QString number(double value)
{
    return QString::number(value, 'g', 6);
}

// Where a line's values leave [0, 1]: empty when they do not.
QString outsideDetail(const BoxInfo &box)
{
    double low = 0, high = 1;
    bool finiteValues = true;
    const auto take = [&](double v) {
        finiteValues = finiteValues && std::isfinite(v);
        low = std::min(low, v);
        high = std::max(high, v);
    };
    take(box.cx);
    take(box.cy);
    take(box.cw);
    take(box.ch);
    const ShapePoints &shape = box.shape();
    const int dims = shape.dims();
    for (int i = 0; i < shape.size(); ++i) {
        if (dims != 3 || i % 3 != 2) // a keypoint's visibility is no coordinate
            take(shape.at(i));
    }
    if (!finiteValues)
        return QStringLiteral("a value is not a number: the trainer drops the image's labels");
    if (low < 0 || high > trainerLimit)
        return QStringLiteral("value %1 is beyond the trainer's limits [0, %2]: it drops the "
                              "image's labels")
            .arg(number(low < 0 ? low : high))
            .arg(trainerLimit);
    if (high > 1 + epsilon)
        return QStringLiteral("value %1 is outside [0, 1], within the trainer's limit %2")
            .arg(number(high))
            .arg(trainerLimit);
    // A box's edges: its values may all lie in [0, 1] while it reaches past the image.
    if (shape.isNull()) {
        const double left = box.cx - box.cw / 2, right = box.cx + box.cw / 2;
        const double top = box.cy - box.ch / 2, bottom = box.cy + box.ch / 2;
        if (left < -epsilon || top < -epsilon || right > 1 + epsilon || bottom > 1 + epsilon)
            return QStringLiteral("the box reaches past the image's edge");
    }
    return QString();
}

// Fields separated by runs of white space, as the trainer splits a line.
int fieldsOf(const QString &text)
{
    int fields = 0;
    bool inField = false;
    for (const QChar c : text) {
        const bool space = c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r')
            || c == QLatin1Char('\v') || c == QLatin1Char('\f');
        if (!space && !inField)
            ++fields;
        inField = !space;
    }
    return fields;
}

bool sameLine(const BoxInfo &a, const BoxInfo &b)
{
    return a.catId == b.catId && a.cx == b.cx && a.cy == b.cy && a.cw == b.cw && a.ch == b.ch
        && a.shape() == b.shape() && a.extra() == b.extra();
}

} // namespace

const char *kindName(Kind kind)
{
    static const char *const names[kindCount]
        = {"outside", "degenerate", "class",       "duplicate", "exact-duplicate", "tiny",
           "polygon", "keypoints",  "not-a-label", "no-image",  "bad-image",       "no-labels"};
    return names[int(kind)];
}

QString kindTitle(Kind kind)
{
    static const char *const titles[kindCount] = {
        QT_TRANSLATE_NOOP("health", "Outside the image"),
        QT_TRANSLATE_NOOP("health", "No width or height"),
        QT_TRANSLATE_NOOP("health", "Unknown class"),
        QT_TRANSLATE_NOOP("health", "Duplicate boxes"),
        QT_TRANSLATE_NOOP("health", "Exact duplicate lines"),
        QT_TRANSLATE_NOOP("health", "Tiny boxes"),
        QT_TRANSLATE_NOOP("health", "Polygons that cannot be paired"),
        QT_TRANSLATE_NOOP("health", "Keypoints not as kpt_shape"),
        QT_TRANSLATE_NOOP("health", "Lines that are not labels"),
        QT_TRANSLATE_NOOP("health", "Label file without its image"),
        QT_TRANSLATE_NOOP("health", "Image that cannot be read"),
        QT_TRANSLATE_NOOP("health", "Image without a label file"),
    };
    return QCoreApplication::translate("health", titles[int(kind)]);
}

bool clampedIntoImage(const BoxInfo &box, BoxInfo *clamped)
{
    const double left = std::max(0.0, box.cx - box.cw / 2);
    const double right = std::min(1.0, box.cx + box.cw / 2);
    const double top = std::max(0.0, box.cy - box.ch / 2);
    const double bottom = std::min(1.0, box.cy + box.ch / 2);
    if (!(right > left && bottom > top))
        return false;
    if (left == box.cx - box.cw / 2 && right == box.cx + box.cw / 2 && top == box.cy - box.ch / 2
        && bottom == box.cy + box.ch / 2)
        return false;
    clamped->cx = (left + right) / 2;
    clamped->cy = (top + bottom) / 2;
    clamped->cw = right - left;
    clamped->ch = bottom - top;
    return true;
}

bool fixable(const Finding &finding, const BoxRecords &boxes)
{
    if (finding.box < 0 || finding.box >= boxes.size())
        return false;
    if (finding.kind == Kind::ExactDuplicate)
        return true;
    const BoxInfo &box = *boxes[finding.box];
    BoxInfo clamped;
    return finding.kind == Kind::Outside && box.extra().isEmpty()
        && clampedIntoImage(box, &clamped);
}

double overlap(const BoxInfo &a, const BoxInfo &b)
{
    const double w
        = std::min(a.cx + a.cw / 2, b.cx + b.cw / 2) - std::max(a.cx - a.cw / 2, b.cx - b.cw / 2);
    const double h
        = std::min(a.cy + a.ch / 2, b.cy + b.ch / 2) - std::max(a.cy - a.ch / 2, b.cy - b.ch / 2);
    if (w <= 0 || h <= 0 || a.cw <= 0 || a.ch <= 0 || b.cw <= 0 || b.ch <= 0)
        return 0;
    const double both = w * h;
    return both / (a.cw * a.ch + b.cw * b.ch - both);
}

Findings check(const BoxRecords &boxes, const ForeignLines &foreign, const ImageFacts &facts)
{
    Findings found;
    if (!facts.hasLabelFile)
        found.append({Kind::NoLabels, 0, -1, QStringLiteral("the image has no label file")});
    if (facts.imageMissing)
        found.append({Kind::NoImage, 0, -1, QStringLiteral("no image file for these labels")});
    else if (facts.imageUnreadable)
        found.append({Kind::BadImage, 0, -1,
                      QStringLiteral("the image file %1 cannot be read as an image: the trainer "
                                     "skips it")
                          .arg(facts.imageName)});
    const int wholeFile = found.size();

    for (const ForeignLine &line : foreign) {
        if (!line.text.trimmed().isEmpty())
            found.append({Kind::NotALabel, line.sourceLine, -1,
                          QStringLiteral("not a label line: the trainer rejects the whole "
                                         "file")});
    }

    const int n = boxes.size();
    for (int i = 0; i < n; ++i) {
        const BoxInfo &box = *boxes[i];
        const int line = box.sourceLine();
        const auto add = [&](Kind kind, const QString &detail) {
            found.append({kind, line, i, detail});
        };
        if (box.catId < 0 || (facts.classCount > 0 && box.catId >= facts.classCount))
            add(Kind::Class,
                facts.classCount > 0 ? QStringLiteral("class %1 is not among the %2 class names")
                                           .arg(box.catId)
                                           .arg(facts.classCount)
                                     : QStringLiteral("class %1 is negative").arg(box.catId));
        // In a pose dataset a line of another length than kpt_shape's is read as a polygon
        // when it can be, which the trainer does not: its values are no outline.
        const bool strayPose = facts.keypoints.isValid() && box.kind() == ShapeKind::Polygon;
        if (strayPose)
            add(Kind::Keypoints,
                QStringLiteral("%1 values after the class; kpt_shape [%2, %3] needs %4")
                    .arg(box.shape().size())
                    .arg(facts.keypoints.count)
                    .arg(facts.keypoints.dims)
                    .arg(4 + facts.keypoints.count * facts.keypoints.dims));
        // A box without keypoints in a pose dataset: the trainer wants every line of kpt_shape.
        if (facts.keypoints.isValid() && box.kind() == ShapeKind::Box && box.extra().isEmpty())
            add(Kind::Keypoints,
                QStringLiteral("a box without keypoints; kpt_shape [%1, %2] "
                               "needs %3 values after the class")
                    .arg(facts.keypoints.count)
                    .arg(facts.keypoints.dims)
                    .arg(4 + facts.keypoints.count * facts.keypoints.dims));
        // A line read as a box and more than one field of text is no box to the trainer: only
        // what it is is said of it, and no fix touches it.
        const bool strayText = !box.extra().isEmpty() && fieldsOf(box.extra()) > 1;
        const QString outside = strayPose || strayText ? QString() : outsideDetail(box);
        if (!outside.isEmpty())
            add(Kind::Outside, outside);
        const bool degenerate = !strayPose && !strayText && (box.cw <= 0 || box.ch <= 0);
        if (degenerate)
            add(Kind::Degenerate,
                QStringLiteral("width %1, height %2").arg(number(box.cw), number(box.ch)));
        if (!degenerate && !strayPose && !strayText && facts.size.isValid()) {
            const double w = box.cw * facts.size.width(), h = box.ch * facts.size.height();
            if (w < tinyPixels || h < tinyPixels)
                add(Kind::Tiny,
                    QStringLiteral("%1 x %2 pixels of a %3 x %4 image")
                        .arg(number(w), number(h))
                        .arg(facts.size.width())
                        .arg(facts.size.height()));
        }
        // A line the reader took as a box and text: the trainer takes more than six fields as
        // a polygon, or as keypoints of the dataset's kpt_shape, and six as a wrong column count.
        if (!box.extra().isEmpty()) {
            const int fields = 5 + fieldsOf(box.extra());
            if (facts.keypoints.isValid() && fields > 5)
                add(Kind::Keypoints,
                    QStringLiteral("%1 values after the class; kpt_shape [%2, %3] needs %4")
                        .arg(fields - 1)
                        .arg(facts.keypoints.count)
                        .arg(facts.keypoints.dims)
                        .arg(4 + facts.keypoints.count * facts.keypoints.dims));
            else if (fields > 6)
                add(Kind::Polygon,
                    QStringLiteral("%1 coordinates cannot be paired into points").arg(fields - 1));
            else
                add(Kind::NotALabel,
                    QStringLiteral("6 fields (a box and a confidence): the trainer wants 5"));
        }
        for (int j = 0; j < i; ++j) {
            const BoxInfo &earlier = *boxes[j];
            if (earlier.catId != box.catId)
                continue;
            const QString where = earlier.sourceLine() > 0
                ? QStringLiteral("line %1").arg(earlier.sourceLine())
                : QStringLiteral("box %1").arg(j + 1);
            if (sameLine(earlier, box)) {
                add(Kind::ExactDuplicate,
                    QStringLiteral("the same as %1: the trainer removes it").arg(where));
                break;
            }
            const double iou = overlap(earlier, box);
            if (iou >= duplicateOverlap) {
                add(Kind::Duplicate,
                    QStringLiteral("overlaps %1 of the same class by %2 %")
                        .arg(where)
                        .arg(qRound(iou * 100)));
                break;
            }
        }
    }
    std::stable_sort(found.begin() + wholeFile, found.end(),
                     [](const Finding &a, const Finding &b) { return a.line < b.line; });
    return found;
}

} // namespace health
