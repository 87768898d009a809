#include "yololabels.h"

#include <QStringList>
#include <QStringRef>

namespace yolo {

namespace {

constexpr double powersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The plain decimals that label files are made of ("0.603714", "-0.25", "12"), converted
// without QString::toDouble's locale machinery, which costs thousands of instructions a number.
// A significand of at most 15 digits and its power of ten are both exact doubles, so one
// division gives the correctly rounded value, the same double toDouble returns. Anything
// else (exponents, blanks, signs other than a leading minus, more digits) takes the general
// path.
bool fastDouble(const QStringRef &field, double &value)
{
    const QChar *p = field.constData();
    const QChar *end = p + field.size();
    bool negative = false;
    if (p != end && *p == QLatin1Char('-')) {
        negative = true;
        ++p;
    }
    const QChar *intStart = p;
    quint64 significand = 0;
    int digits = 0;
    while (p != end && p->unicode() >= '0' && p->unicode() <= '9') {
        significand = significand * 10 + (p->unicode() - '0');
        ++digits;
        ++p;
    }
    const int intDigits = int(p - intStart);
    if (intDigits == 0 || (intDigits > 1 && intStart->unicode() == '0'))
        return false;
    int fractionDigits = 0;
    if (p != end && *p == QLatin1Char('.')) {
        ++p;
        while (p != end && p->unicode() >= '0' && p->unicode() <= '9') {
            significand = significand * 10 + (p->unicode() - '0');
            ++digits;
            ++fractionDigits;
            ++p;
        }
        if (fractionDigits == 0)
            return false;
    }
    if (p != end || digits > 15)
        return false;
    const double magnitude = double(significand) / powersOfTen[fractionDigits];
    value = negative ? -magnitude : magnitude;
    return true;
}

double toDouble(const QStringRef &field)
{
    double value;
    return fastDouble(field, value) ? value : field.toDouble();
}

// Decimal integers of up to nine digits, with an optional leading minus; QStringRef::toInt
// for everything else.
int toInt(const QStringRef &field)
{
    const QChar *p = field.constData();
    const QChar *end = p + field.size();
    const bool negative = p != end && *p == QLatin1Char('-');
    if (negative)
        ++p;
    const int digits = int(end - p);
    if (digits < 1 || digits > 9)
        return field.toInt(nullptr, 10);
    int value = 0;
    for (; p != end; ++p) {
        if (p->unicode() < '0' || p->unicode() > '9')
            return field.toInt(nullptr, 10);
        value = value * 10 + (p->unicode() - '0');
    }
    return negative ? -value : value;
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
    QVector<BoxInfo> result;
    // The text ends at the first NUL byte, as QString::fromUtf8 of a QByteArray does.
    const QString text = QString::fromUtf8(bytes.constData(), int(qstrnlen(bytes.constData(),
                                                                           uint(bytes.size()))));
    const int length = text.size();
    int lineStart = 0;
    while (lineStart <= length) {
        int lineEnd = text.indexOf(QLatin1Char('\n'), lineStart);
        if (lineEnd < 0)
            lineEnd = length;

        // Fields are separated by single spaces; two spaces make an empty field.
        QStringRef fields[5];
        int count = 0;
        const QChar *data = text.constData();
        int fieldStart = lineStart;
        while (count < 5) {
            int fieldEnd = fieldStart;
            while (fieldEnd < lineEnd && data[fieldEnd] != QLatin1Char(' '))
                ++fieldEnd;
            fields[count++] = QStringRef(&text, fieldStart, fieldEnd - fieldStart);
            if (fieldEnd == lineEnd)
                break;
            fieldStart = fieldEnd + 1;
        }

        // A line with fewer than five fields (blank lines, the piece after a final line
        // feed, the one line of an empty file) carries no box.
        if (count == 5) {
            BoxInfo box;
            box.catId = toInt(fields[0]);
            box.cx = toDouble(fields[1]);
            box.cy = toDouble(fields[2]);
            box.cw = toDouble(fields[3]);
            box.ch = toDouble(fields[4]);
            result.append(box);
        }
        lineStart = lineEnd + 1;
    }
    return result;
}

} // namespace yolo
