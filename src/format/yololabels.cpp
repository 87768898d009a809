#include "format/yololabels.h"

#include <QStringList>
#include <QVarLengthArray>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace yolo {

namespace {

constexpr double powersOfTen[]
    = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

inline unsigned code(char c)
{
    return static_cast<unsigned char>(c);
}
inline unsigned code(QChar c)
{
    return c.unicode();
}
inline bool isDigit(unsigned c)
{
    return c - '0' < 10u;
}

// What separates the fields of a line, as a YOLO trainer splits them (Python's str.split()):
// any run of spaces and tabs, and the carriage return of a CRLF line end.
inline bool isSeparator(unsigned c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

template<typename Ch>
inline const Ch *findSeparator(const Ch *p, const Ch *end)
{
    while (p != end && !isSeparator(code(*p)))
        ++p;
    return p;
}

template<typename Ch>
inline const Ch *skipSeparators(const Ch *p, const Ch *end)
{
    while (p != end && isSeparator(code(*p)))
        ++p;
    return p;
}

// The first `c` in [begin, end), or end.
inline const char *find(const char *begin, const char *end, char c)
{
    const void *hit = std::memchr(begin, c, size_t(end - begin));
    return hit ? static_cast<const char *>(hit) : end;
}
inline const QChar *find(const QChar *begin, const QChar *end, char c)
{
    while (begin != end && begin->unicode() != ushort(c))
        ++begin;
    return begin;
}

bool isAscii(const char *p, const char *end)
{
    for (; end - p >= 8; p += 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        if (word & Q_UINT64_C(0x8080808080808080))
            return false;
    }
    for (; p != end; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80)
            return false;
    return true;
}

// A field as a QString, for the general conversions.
inline QString fieldText(const char *begin, const char *end)
{
    return QString::fromLatin1(begin, int(end - begin));
}
inline QString fieldText(const QChar *begin, const QChar *end)
{
    return QString::fromRawData(begin, int(end - begin));
}

// A piece of the text as a string of its own, to keep after the text is gone. Never null: an
// empty piece is still a piece.
inline QString ownedText(const char *begin, const char *end)
{
    return QString::fromLatin1(begin, int(end - begin));
}
inline QString ownedText(const QChar *begin, const QChar *end)
{
    return QString(begin, int(end - begin));
}

// The plain decimals that label files are made of ("0.603714", "-0.25", "12"), converted
// without QString::toDouble's locale machinery, which costs thousands of instructions a number.
// A significand of at most 15 digits and its power of ten are both exact doubles, so one
// division gives the correctly rounded value, the same double toDouble returns. Anything
// else (exponents, blanks, signs other than a leading minus, more digits) takes the general
// path.
template<typename Ch>
double toDouble(const Ch *begin, const Ch *end, bool *ok = nullptr)
{
    const Ch *p = begin;
    const bool negative = p != end && code(*p) == '-';
    if (negative)
        ++p;
    const Ch *intStart = p;
    quint64 significand = 0;
    int digits = 0;
    for (; p != end && isDigit(code(*p)); ++p, ++digits)
        significand = significand * 10 + (code(*p) - '0');
    const int intDigits = int(p - intStart);
    bool plain = intDigits > 0 && (intDigits == 1 || code(*intStart) != '0');
    int fractionDigits = 0;
    if (plain && p != end && code(*p) == '.') {
        ++p;
        for (; p != end && isDigit(code(*p)); ++p, ++digits, ++fractionDigits)
            significand = significand * 10 + (code(*p) - '0');
        plain = fractionDigits > 0;
    }
    if (!plain || p != end || digits > 15)
        return fieldText(begin, end).toDouble(ok);
    if (ok)
        *ok = true;
    const double magnitude = double(significand) / powersOfTen[fractionDigits];
    return negative ? -magnitude : magnitude;
}

// The number that starts at `p` and ends at the next space or at `end`, leaving `p` there. Bytes
// holding plain decimals are converted as they are scanned, without finding the field's end
// first: a polygon has hundreds of such fields. Whatever toDouble would not take that way goes to
// it, and gives the same double.
inline bool scanNumber(const char *&p, const char *end, double &value)
{
    const char *q = p;
    const bool negative = q != end && *q == '-';
    if (negative)
        ++q;
    const char *intStart = q;
    quint64 significand = 0;
    for (; q != end && isDigit(code(*q)); ++q)
        significand = significand * 10 + (code(*q) - '0');
    const int intDigits = int(q - intStart);
    bool plain = intDigits > 0 && (intDigits == 1 || *intStart != '0');
    int fractionDigits = 0;
    if (plain && q != end && *q == '.') {
        const char *fractionStart = ++q;
        for (; q != end && isDigit(code(*q)); ++q)
            significand = significand * 10 + (code(*q) - '0');
        fractionDigits = int(q - fractionStart);
        plain = fractionDigits > 0;
    }
    if (plain && intDigits + fractionDigits <= 15 && (q == end || isSeparator(code(*q)))) {
        const double magnitude = double(significand) / powersOfTen[fractionDigits];
        value = negative ? -magnitude : magnitude;
        p = q;
        return true;
    }
    const char *fieldEnd = findSeparator(p, end);
    bool ok = false;
    value = toDouble(p, fieldEnd, &ok);
    p = fieldEnd;
    return ok;
}
inline bool scanNumber(const QChar *&p, const QChar *end, double &value)
{
    const QChar *fieldEnd = findSeparator(p, end);
    bool ok = false;
    value = toDouble(p, fieldEnd, &ok);
    p = fieldEnd;
    return ok;
}

// Decimal integers of up to nine digits, with an optional leading minus; QString::toInt for
// everything else.
template<typename Ch>
int toInt(const Ch *begin, const Ch *end, bool *ok = nullptr)
{
    const Ch *p = begin;
    const bool negative = p != end && code(*p) == '-';
    if (negative)
        ++p;
    const int digits = int(end - p);
    if (digits < 1 || digits > 9)
        return fieldText(begin, end).toInt(ok, 10);
    int value = 0;
    for (; p != end; ++p) {
        if (!isDigit(code(*p)))
            return fieldText(begin, end).toInt(ok, 10);
        value = value * 10 + int(code(*p) - '0');
    }
    if (ok)
        *ok = true;
    return negative ? -value : value;
}

// One line of label text split into fields at runs of separators, leading and trailing ones
// ignored: the first five fields and, where there are more, the text of the rest.
template<typename Ch>
struct Line
{
    const Ch *fields[6];
    const Ch *ends[6];
    int count = 0; // up to 6; 6 means "more than five"
    const Ch *end; // the end of the line's last field
    const Ch *start; // the line as it stands, without its line end
    const Ch *stop;

    Line(const Ch *line, const Ch *lineEnd)
        : end(lineEnd)
        , start(line)
        , stop(lineEnd != line && code(lineEnd[-1]) == '\r' ? lineEnd - 1 : lineEnd)
    {
        while (end != line && isSeparator(code(end[-1])))
            --end;
        for (const Ch *p = skipSeparators(line, end); p != end && count < 6;) {
            fields[count] = p;
            p = findSeparator(p, end);
            ends[count++] = p;
            p = skipSeparators(p, end);
        }
    }
    const Ch *fieldEnd(int i) const { return ends[i]; }

    // The fields after the fifth as they stand, separators and all.
    QString rest() const { return ownedText(fields[5], end); }
};

// Calls `visit` with every line of [text, end): split at every "\n", keeping empty pieces.
template<typename Ch, typename Visit>
void forEachLine(const Ch *text, const Ch *end, Visit visit)
{
    const Ch *line = text;
    for (int number = 1;; ++number) {
        const Ch *lineEnd = find(line, end, '\n');
        if (!visit(Line<Ch>(line, lineEnd), number) || lineEnd == end)
            return;
        line = lineEnd + 1;
    }
}

template<typename Ch>
bool isBlankLine(const Line<Ch> &line)
{
    return line.count == 0;
}

// A class as a trainer reads it: a number (1, 1.0, 1e0) that is a whole number within int.
template<typename Ch>
qint32 toClass(const Ch *begin, const Ch *end, bool *ok)
{
    const qint32 value = toInt(begin, end, ok);
    if (*ok)
        return value;
    const double number = toDouble(begin, end, ok);
    *ok = *ok && std::floor(number) == number && number >= double(INT_MIN)
        && number <= double(INT_MAX);
    return *ok ? qint32(number) : 0;
}

// Whether `line` is a label line: at least five fields, of which the first converts as a class
// and the next four as numbers, read into `box`.
template<typename Ch>
bool readLabel(const Line<Ch> &line, BoxInfo &box)
{
    bool ok = line.count >= 5;
    if (ok)
        box.catId = toClass(line.fields[0], line.fieldEnd(0), &ok);
    double *values[] = {&box.cx, &box.cy, &box.cw, &box.ch};
    for (int i = 1; i < 5 && ok; ++i)
        *values[i - 1] = toDouble(line.fields[i], line.fieldEnd(i), &ok);
    return ok;
}

using Values = QVarLengthArray<double, 256>;

// Reads a label line of more than five fields as a polygon or a box with keypoints, by its number
// of fields (see shape::kindOfLine); false, leaving `box` as readLabel made it, for a line whose
// fields after the fifth are not all numbers or that is neither. `values` is scratch space.
template<typename Ch>
bool readShape(const Line<Ch> &line, BoxInfo &box, const KeypointShape &keypoints, Values &values)
{
    const Ch *end = line.end;
    // A polygon's first two vertices are the four numbers read as the box.
    values.resize(4);
    values[0] = box.cx;
    values[1] = box.cy;
    values[2] = box.cw;
    values[3] = box.ch;
    for (const Ch *p = line.fields[5]; p != end; p = skipSeparators(p, end)) {
        double value = 0;
        if (!scanNumber(p, end, value) || !ShapePoints::fits(value))
            return false;
        values.append(value);
    }
    int dims = 0;
    switch (shape::kindOfLine(1 + values.size(), keypoints, &dims)) {
    case ShapeKind::Polygon:
        box.setShape(ShapePoints(ShapeKind::Polygon, 2, values.constData(), values.size()));
        shape::fitBox(box);
        return true;
    case ShapeKind::Keypoints:
        // Keypoints guessed without a kpt_shape must look like them: visibilities 0, 1 or 2.
        for (int i = 6; !keypoints.isValid() && i < values.size(); i += 3) {
            if (values[i] != 0 && values[i] != 1 && values[i] != 2)
                return false;
        }
        box.setShape(
            ShapePoints(ShapeKind::Keypoints, dims, values.constData() + 4, values.size() - 4));
        return true;
    default:
        return false;
    }
}

// A line whose first five fields convert is a label: a box, a polygon or a box with keypoints
// (readShape), or a box with the text of the fields after the fifth kept with it; any other line,
// blank ones too, is kept whole, without its line end, in its place. The piece after a final line
// feed (and an empty file) is no line. Each record knows the number of its line.
template<typename Ch>
QVector<BoxInfo> parseText(const Ch *text, const Ch *end, ForeignLines *foreign,
                           const KeypointShape &keypoints)
{
    // One array of the right size: a line is a box more often than not. A box line has ten
    // characters at least, so a file of blank lines reserves no more than its boxes could need.
    int lines = 1;
    for (const Ch *p = find(text, end, '\n'); p != end; p = find(p + 1, end, '\n'))
        ++lines;
    QVector<BoxInfo> result;
    result.reserve(std::min(lines, int((end - text) / 10) + 1));
    Values values;
    forEachLine(text, end, [&](const Line<Ch> &line, int number) {
        BoxInfo box;
        if (readLabel(line, box)) {
            if (line.count > 5 && !readShape(line, box, keypoints, values))
                box.setExtra(line.rest());
            box.setSourceLine(number);
            result.append(std::move(box));
        } else if (foreign && line.start != end) {
            foreign->append({int(result.size()), ownedText(line.start, line.stop), number});
        }
        return true;
    });
    return result;
}

// The number of the first line (from 1) that is neither blank nor a label line, or 0.
template<typename Ch>
int firstForeign(const Ch *text, const Ch *end)
{
    int foreign = 0;
    forEachLine(text, end, [&](const Line<Ch> &line, int number) {
        if (isBlankLine(line))
            return true;
        BoxInfo box;
        const bool ok = readLabel(line, box);
        if (!ok)
            foreign = number;
        return ok;
    });
    return foreign;
}

// Whether a line of `fields` fields ends with a confidence (see parsePredictions).
bool endsWithConfidence(int fields, const KeypointShape &keypoints)
{
    if (keypoints.isValid()) {
        const int pose = 5 + keypoints.count * keypoints.dims;
        if (fields == pose || fields == pose + 1)
            return fields == pose + 1;
    }
    return fields == 6 || (fields >= 8 && fields % 2 == 0);
}

template<typename Ch>
QVector<Prediction> parsePredictionText(const Ch *text, const Ch *end,
                                        const KeypointShape &keypoints)
{
    QVector<Prediction> result;
    Values values;
    forEachLine(text, end, [&](const Line<Ch> &whole, int) {
        if (whole.count < 5)
            return true;
        int fields = 0;
        const Ch *last = nullptr;
        for (const Ch *p = skipSeparators(whole.start, whole.end); p != whole.end;
             p = skipSeparators(findSeparator(p, whole.end), whole.end)) {
            ++fields;
            last = p;
        }
        const bool scored = endsWithConfidence(fields, keypoints);
        bool ok = true;
        const double confidence = scored ? toDouble(last, whole.end, &ok) : 1;
        const Line<Ch> line = scored ? Line<Ch>(whole.start, last) : whole;
        BoxInfo box;
        if (ok && readLabel(line, box)
            && (line.count == 5 || readShape(line, box, keypoints, values)))
            result.append(Prediction(box, float(confidence)));
        return true;
    });
    return result;
}

// Runs `parse` over the bytes up to the first NUL, as QString::fromUtf8 of a QByteArray reads
// them. Label files are ASCII, where every byte is its own character: those are split and
// converted as bytes. Anything else is decoded first, with the same splitting after.
template<typename Parse>
auto withText(const QByteArray &bytes, Parse parse)
{
    // memchr rather than qstrnlen, which looks at one byte at a time.
    const char *data = bytes.constData();
    const void *nul = std::memchr(data, 0, size_t(bytes.size()));
    const int length = nul ? int(static_cast<const char *>(nul) - data) : bytes.size();
    if (isAscii(data, data + length))
        return parse(data, data + length);
    const QString text = QString::fromUtf8(data, length);
    return parse(text.constData(), text.constData() + text.size());
}

} // namespace

QString formatLine(const BoxInfo &box)
{
    const int n = box.shape().size();
    if (box.kind() == ShapeKind::Polygon) {
        QString line = QString::number(box.catId);
        for (int i = 0; i < n; ++i)
            line += QLatin1Char(' ') + QString::number(box.shape().at(i));
        return line;
    }
    QString line = QStringLiteral("%1 %2 %3 %4 %5")
                       .arg(box.catId)
                       .arg(box.cx)
                       .arg(box.cy)
                       .arg(box.cw)
                       .arg(box.ch);
    if (!box.extra().isNull())
        line += QLatin1Char(' ') + box.extra();
    for (int i = 0; i < n; ++i)
        line += QLatin1Char(' ') + QString::number(box.shape().at(i));
    return line;
}

namespace {

// A line of a file's bytes: its text, then its line end ("\n", "\r\n" or none for a last
// line without one).
struct ByteLine
{
    int begin = 0;
    int textEnd = 0;
    int end = 0;
};

QVector<ByteLine> byteLines(const QByteArray &bytes)
{
    QVector<ByteLine> lines;
    const char *data = bytes.constData();
    for (int begin = 0; begin < bytes.size();) {
        const char *hit = find(data + begin, data + bytes.size(), '\n');
        const int newline = int(hit - data);
        if (newline == bytes.size()) {
            lines.append({begin, newline, newline});
            break;
        }
        const int textEnd = newline > begin && data[newline - 1] == '\r' ? newline - 1 : newline;
        lines.append({begin, textEnd, newline + 1});
        begin = newline + 1;
    }
    return lines;
}

bool sameValue(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

bool sameBox(const BoxInfo &a, const BoxInfo &b)
{
    return a.catId == b.catId && sameValue(a.cx, b.cx) && sameValue(a.cy, b.cy)
        && sameValue(a.cw, b.cw) && sameValue(a.ch, b.ch) && a.extra() == b.extra()
        && a.shape() == b.shape();
}

// The lines of a file being written: each either a line of the original bytes, kept as it is,
// or new text.
class Writer
{
public:
    Writer(const QByteArray *bytes, const KeypointShape &keypoints, FileStyle style)
        : keypoints(keypoints)
    {
        if (bytes) {
            // What the reader saw: nothing after a NUL byte.
            const int nul = bytes->indexOf('\0');
            storage = nul < 0 ? *bytes : bytes->left(nul);
            original = &storage;
            lines = byteLines(*original);
            style = styleOf(*original);
        }
        lineEnd = style.crlf ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
        finalNewline = style.finalNewline;
    }

    void addBox(const BoxInfo &box)
    {
        const ByteLine *kept = keptLine(box.sourceLine());
        if (kept) {
            const QVector<BoxInfo> read = parseLabels(lineText(*kept), nullptr, keypoints);
            if (read.size() != 1 || !sameBox(read.first(), box))
                kept = nullptr;
        }
        add(kept, kept ? QByteArray() : formatLine(box).toUtf8());
    }

    void addForeign(const ForeignLine &line)
    {
        const ByteLine *kept = keptLine(line.sourceLine);
        if (kept && QString::fromUtf8(lineText(*kept)) != line.text)
            kept = nullptr;
        add(kept, kept ? QByteArray() : line.text.toUtf8());
    }

    QByteArray finish()
    {
        if (!out.isEmpty() && finalNewline)
            out.append(lastEnd.isEmpty() ? lineEnd : lastEnd);
        return out;
    }

private:
    const ByteLine *keptLine(int number) const
    {
        return number > 0 && number <= lines.size() ? &lines.at(number - 1) : nullptr;
    }
    QByteArray lineText(const ByteLine &line) const
    {
        return QByteArray::fromRawData(original->constData() + line.begin,
                                       line.textEnd - line.begin);
    }
    // Line ends go between lines: the one a kept line had, else the file's.
    void add(const ByteLine *kept, const QByteArray &text)
    {
        if (started)
            out.append(lastEnd.isEmpty() ? lineEnd : lastEnd);
        started = true;
        if (kept) {
            out.append(original->constData() + kept->begin, kept->textEnd - kept->begin);
            lastEnd = original->mid(kept->textEnd, kept->end - kept->textEnd);
        } else {
            out.append(text);
            lastEnd.clear();
        }
    }

    QByteArray storage;
    const QByteArray *original = nullptr;
    KeypointShape keypoints;
    QVector<ByteLine> lines;
    QByteArray lineEnd;
    bool finalNewline = false;
    bool started = false;
    QByteArray lastEnd;
    QByteArray out;
};

// Calls `box` and `foreign` for the lines of a file in their order.
template<typename Lines, typename Box, typename Foreign>
void forEachItem(const BoxRecords &boxes, Lines &lines, Box box, Foreign foreign)
{
    auto line = lines.begin();
    for (int i = 0; i <= boxes.size(); ++i) {
        for (; line != lines.end() && line->before <= i; ++line)
            foreign(*line);
        if (i < boxes.size())
            box(*boxes.at(i));
    }
    // Lines placed beyond the last box (none are, but a caller may say so) go at the end.
    for (; line != lines.end(); ++line)
        foreign(*line);
}

} // namespace

FileStyle styleOf(const QByteArray &bytes)
{
    FileStyle style;
    const int newline = bytes.indexOf('\n');
    style.crlf = newline > 0 && bytes.at(newline - 1) == '\r';
    style.finalNewline = bytes.endsWith('\n');
    return style;
}

QByteArray formatLabels(const BoxRecords &boxes, const ForeignLines &foreign, FileStyle style,
                        const QByteArray *original, const KeypointShape &keypoints)
{
    Writer writer(original, keypoints, style);
    forEachItem(
        boxes, foreign, [&](const BoxInfo &box) { writer.addBox(box); },
        [&](const ForeignLine &line) { writer.addForeign(line); });
    return writer.finish();
}

void numberLines(const BoxRecords &boxes, ForeignLines &foreign)
{
    int number = 0;
    forEachItem(
        boxes, foreign, [&](BoxInfo &box) { box.setSourceLine(++number); },
        [&](ForeignLine &line) { line.sourceLine = ++number; });
}

QVector<BoxInfo> parseLabels(const QByteArray &bytes, ForeignLines *foreign,
                             const KeypointShape &keypoints)
{
    return withText(bytes, [foreign, &keypoints](const auto *begin, const auto *end) {
        return parseText(begin, end, foreign, keypoints);
    });
}

int firstForeignLine(const QByteArray &bytes)
{
    return withText(bytes,
                    [](const auto *begin, const auto *end) { return firstForeign(begin, end); });
}

Prediction::Prediction(const BoxInfo &box, float confidence)
    : cx(float(box.cx))
    , cy(float(box.cy))
    , cw(float(box.cw))
    , ch(float(box.ch))
    , confidence(confidence)
    , catId(box.catId)
    , points(box.shape())
{
}

BoxInfo Prediction::box() const
{
    BoxInfo box(catId, cx, cy, cw, ch);
    if (!points.isNull())
        box.setShape(points);
    return box;
}

QVector<Prediction> parsePredictions(const QByteArray &bytes, const KeypointShape &keypoints)
{
    return withText(bytes, [&keypoints](const auto *begin, const auto *end) {
        return parsePredictionText(begin, end, keypoints);
    });
}

} // namespace yolo
