#include "model/yololabels.h"

#include <QStringList>

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

// The plain decimals that label files are made of ("0.603714", "-0.25", "12"), converted
// without QString::toDouble's locale machinery, which costs thousands of instructions a number.
// A significand of at most 15 digits and its power of ten are both exact doubles, so one
// division gives the correctly rounded value, the same double toDouble returns. Anything
// else (exponents, blanks, signs other than a leading minus, more digits) takes the general
// path.
template<typename Ch>
double toDouble(const Ch *begin, const Ch *end)
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
        return fieldText(begin, end).toDouble();
    const double magnitude = double(significand) / powersOfTen[fractionDigits];
    return negative ? -magnitude : magnitude;
}

// Decimal integers of up to nine digits, with an optional leading minus; QString::toInt for
// everything else.
template<typename Ch>
int toInt(const Ch *begin, const Ch *end)
{
    const Ch *p = begin;
    const bool negative = p != end && code(*p) == '-';
    if (negative)
        ++p;
    const int digits = int(end - p);
    if (digits < 1 || digits > 9)
        return fieldText(begin, end).toInt(nullptr, 10);
    int value = 0;
    for (; p != end; ++p) {
        if (!isDigit(code(*p)))
            return fieldText(begin, end).toInt(nullptr, 10);
        value = value * 10 + int(code(*p) - '0');
    }
    return negative ? -value : value;
}

// Splits at every "\n" and every single " ", keeping empty pieces; a line with fewer than five
// fields carries no box (blank lines, the piece after a final line feed, an empty file), and
// fields after the fifth are ignored.
template<typename Ch>
QVector<BoxInfo> parseText(const Ch *text, const Ch *end)
{
    QVector<BoxInfo> result;
    const Ch *line = text;
    for (;;) {
        const Ch *lineEnd = find(line, end, '\n');

        const Ch *fields[6];
        int count = 0;
        fields[count++] = line;
        for (const Ch *p = line; count < 6; ++p) {
            p = find(p, lineEnd, ' ');
            if (p == lineEnd)
                break;
            fields[count++] = p + 1;
        }
        if (count >= 5) {
            // A field ends where the next one starts, less the space; the fifth ends at the
            // sixth field or the end of the line.
            auto fieldEnd = [&](int i) { return i + 1 < count ? fields[i + 1] - 1 : lineEnd; };
            BoxInfo box;
            box.catId = toInt(fields[0], fieldEnd(0));
            box.cx = toDouble(fields[1], fieldEnd(1));
            box.cy = toDouble(fields[2], fieldEnd(2));
            box.cw = toDouble(fields[3], fieldEnd(3));
            box.ch = toDouble(fields[4], fieldEnd(4));
            result.append(box);
        }
        if (lineEnd == end)
            break;
        line = lineEnd + 1;
    }
    return result;
}

} // namespace

QString formatLine(const BoxInfo &box)
{
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(box.catId)
        .arg(box.cx)
        .arg(box.cy)
        .arg(box.cw)
        .arg(box.ch);
}

QByteArray formatLabels(const BoxRecords &boxes)
{
    QStringList lines;
    lines.reserve(boxes.size());
    for (const auto &box : boxes)
        lines.append(formatLine(*box));
    return lines.join(QLatin1Char('\n')).toUtf8();
}

QVector<BoxInfo> parseLabels(const QByteArray &bytes)
{
    // The text ends at the first NUL byte, as QString::fromUtf8 of a QByteArray does.
    const int length = int(qstrnlen(bytes.constData(), uint(bytes.size())));
    const char *data = bytes.constData();
    // Label files are ASCII, where every byte is its own character: split and convert the
    // bytes themselves. Anything else is decoded first, with the same splitting after.
    if (isAscii(data, data + length))
        return parseText(data, data + length);
    const QString text = QString::fromUtf8(data, length);
    return parseText(text.constData(), text.constData() + text.size());
}

} // namespace yolo
