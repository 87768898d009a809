#pragma once

// The records a label file is read into and written from: one line's box or shape (BoxInfo), the
// lines that are not labels (ForeignLine), and the shared array a box list keeps them in.

#include "format/labelshape.h"

#include <QMetaType>
#include <QString>
#include <QVector>

#include <memory>
#include <new>
#include <utility>

struct BoxInfo
{
    BoxInfo(qint32 catId = 0, double cx = 0.0, double cy = 0.0, double cw = 0.0, double ch = 0.0)
        : cx(cx)
        , cy(cy)
        , cw(cw)
        , ch(ch)
        , catId(catId)
        , hasText(0)
        , line(0)
        , points()
    {
    }
    BoxInfo(const BoxInfo &other)
        : BoxInfo(other.catId, other.cx, other.cy, other.cw, other.ch)
    {
        line = other.line;
        copyRest(other);
    }
    BoxInfo(BoxInfo &&other) noexcept
        : BoxInfo(other.catId, other.cx, other.cy, other.cw, other.ch)
    {
        line = other.line;
        moveRest(other);
    }
    BoxInfo &operator=(const BoxInfo &other)
    {
        if (this != &other) {
            assignGeometry(other);
            copyRest(other);
        }
        return *this;
    }
    BoxInfo &operator=(BoxInfo &&other) noexcept
    {
        if (this != &other) {
            assignGeometry(other);
            moveRest(other);
        }
        return *this;
    }
    ~BoxInfo() { destroyRest(); }

    double cx = 0.0;
    double cy = 0.0;
    double cw = 0.0;
    double ch = 0.0;
    qint32 catId = 0;

    // The text after the fifth field of a line read as a box, written back after the five
    // fields; null when the line had five fields, was read as a shape or the box was made here.
    QString extra() const { return hasText ? text : QString(); }
    void setExtra(QString value)
    {
        destroyRest();
        new (&text) QString(std::move(value));
        hasText = true;
    }
    // A polygon's vertices (cx..ch are then their bounding rectangle) or a pose line's
    // keypoints; null for a box.
    const ShapePoints &shape() const { return hasText ? noShape() : points; }
    void setShape(ShapePoints value)
    {
        destroyRest();
        new (&points) ShapePoints(std::move(value));
        hasText = false;
    }
    // The shape, to change its values in place; the box must have one.
    ShapePoints &editShape()
    {
        Q_ASSERT(!hasText);
        return points;
    }

    ShapeKind kind() const { return shape().kind(); }

    // The number (from 1) of the line of the label file this box was read from or last written
    // to, 0 for none. Only a hint: a writer checks that the line still reads as this box before
    // it writes the line's bytes again instead of formatting the box.
    int sourceLine() const { return int(line); }
    void setSourceLine(int number)
    {
        line = number > 0 && number <= maxSourceLine ? quint32(number) : 0;
    }
    static constexpr int maxSourceLine = 0x7fffffff;

private:
    static const ShapePoints &noShape()
    {
        static const ShapePoints none;
        return none;
    }
    void assignGeometry(const BoxInfo &other)
    {
        line = other.line;
        catId = other.catId;
        cx = other.cx;
        cy = other.cy;
        cw = other.cw;
        ch = other.ch;
    }
    void destroyRest()
    {
        if (hasText)
            text.~QString();
        else
            points.~ShapePoints();
    }
    void copyRest(const BoxInfo &other)
    {
        if (other.hasText)
            setExtra(other.text);
        else
            setShape(other.points);
    }
    void moveRest(BoxInfo &other)
    {
        destroyRest();
        if (other.hasText)
            new (&text) QString(std::move(other.text));
        else
            new (&points) ShapePoints(std::move(other.points));
        hasText = other.hasText;
    }

    // A line holds the text after its fifth field or a shape, never both: one member for
    // either keeps a box in 48 bytes (a dataset holds millions). `hasText` and the source line
    // share the word after catId.
    quint32 hasText : 1;
    quint32 line : 31;
    union {
        QString text;
        ShapePoints points;
    };
};
static_assert(sizeof(void *) != 8 || sizeof(BoxInfo) == 48, "a box's text or shape in one member");
// Its members hold no pointer into the box itself, so a QVector may move boxes by their bytes.
Q_DECLARE_TYPEINFO(BoxInfo, Q_MOVABLE_TYPE);
Q_DECLARE_METATYPE(BoxInfo)

// A line of a label file that is not a label (a comment, a list of paths, notes). It is kept
// as it was read, without its line end, and written back before the box it stood before:
// `before` counts the boxes ahead of it.
struct ForeignLine
{
    int before = 0;
    QString text;
    // The line of the file it was read from or last written to, as BoxInfo::sourceLine.
    int sourceLine = 0;

    bool operator==(const ForeignLine &other) const
    {
        return before == other.before && text == other.text;
    }
};
using ForeignLines = QVector<ForeignLine>;

// Shared box records in a contiguous array: a QList would allocate every shared pointer
// separately, which costs about 32 bytes per box across a million boxes.
using BoxRecords = QVector<std::shared_ptr<BoxInfo>>;
