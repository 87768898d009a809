#include "format/jsontext.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace jsontext {

namespace {

void appendChars(QByteArray &out, const char *text, int size)
{
    out.append(text, size);
}

void appendZeros(QByteArray &out, int count)
{
    if (count > 0)
        out.append(count, '0');
}

} // namespace

void appendInteger(QByteArray &out, qint64 number)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    appendChars(out, buffer, int(result.ptr - buffer));
}

void appendNumber(QByteArray &out, double number)
{
    if (!std::isfinite(number)) {
        out.append("null", 4);
        return;
    }
    if (number == 0) {
        out.append('0');
        return;
    }
    // The shortest digits that read back as `number`, and its decimal exponent: the value is
    // 0.<digits> times ten to `point`.
    char buffer[40];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(number),
                                      std::chars_format::scientific);
    const char *end = result.ptr;
    const char *e = static_cast<const char *>(std::memchr(buffer, 'e', size_t(end - buffer)));
    char digits[20];
    int count = 0;
    for (const char *p = buffer; p < e; ++p) {
        if (*p != '.')
            digits[count++] = *p;
    }
    int exponent = 0;
    std::from_chars(e + (e[1] == '+' ? 2 : 1), end, exponent);
    const int point = exponent + 1;

    if (number < 0)
        out.append('-');
    // Integral values below 2^64 are written in full; the rest in decimal or exponent form,
    // whichever QLocale's shortest form picks.
    const bool integral
        = std::floor(number) == number && std::fabs(number) < 18446744073709551616.0;
    bool exponential = false;
    if (!integral) {
        int cutoff = count + 4;
        if (point > 0) {
            cutoff += point <= 10 ? 1 : (point > 100 ? 2 : 1);
            if (count > 1 && point < count)
                ++cutoff;
        }
        exponential = point - 1 < -4 || (point > 0 && point > cutoff);
    }
    if (exponential) {
        out.append(digits[0]);
        if (count > 1) {
            out.append('.');
            appendChars(out, digits + 1, count - 1);
        }
        out.append('e');
        out.append(exponent < 0 ? '-' : '+');
        const int magnitude = std::abs(exponent);
        if (magnitude < 10)
            out.append('0');
        appendInteger(out, magnitude);
    } else if (point <= 0) {
        out.append("0.", 2);
        appendZeros(out, -point);
        appendChars(out, digits, count);
    } else if (point < count) {
        appendChars(out, digits, point);
        out.append('.');
        appendChars(out, digits + point, count - point);
    } else {
        appendChars(out, digits, count);
        appendZeros(out, point - count);
    }
}

void appendString(QByteArray &out, const QString &text)
{
    static const char hex[] = "0123456789abcdef";
    out.append('"');
    const QChar *chars = text.constData();
    const int size = text.size();
    for (int i = 0; i < size; ++i) {
        const ushort u = chars[i].unicode();
        if (u >= 0x20 && u < 0x80 && u != '"' && u != '\\') {
            out.append(char(u));
            continue;
        }
        switch (u) {
        case '"':
            out.append("\\\"", 2);
            continue;
        case '\\':
            out.append("\\\\", 2);
            continue;
        case '\b':
            out.append("\\b", 2);
            continue;
        case '\f':
            out.append("\\f", 2);
            continue;
        case '\n':
            out.append("\\n", 2);
            continue;
        case '\r':
            out.append("\\r", 2);
            continue;
        case '\t':
            out.append("\\t", 2);
            continue;
        default:
            break;
        }
        uint code = u;
        if (QChar::isHighSurrogate(u) && i + 1 < size && chars[i + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(u, chars[i + 1].unicode());
            ++i;
        } else if (u < 0x20 || QChar::isSurrogate(u)) {
            // Control characters, and surrogates without their other half, which UTF-8
            // cannot carry.
            const char escape[6]
                = {'\\', 'u', hex[u >> 12], hex[(u >> 8) & 15], hex[(u >> 4) & 15], hex[u & 15]};
            out.append(escape, 6);
            continue;
        }
        char utf8[4];
        int n;
        if (code < 0x800) {
            utf8[0] = char(0xc0 | (code >> 6));
            utf8[1] = char(0x80 | (code & 0x3f));
            n = 2;
        } else if (code < 0x10000) {
            utf8[0] = char(0xe0 | (code >> 12));
            utf8[1] = char(0x80 | ((code >> 6) & 0x3f));
            utf8[2] = char(0x80 | (code & 0x3f));
            n = 3;
        } else {
            utf8[0] = char(0xf0 | (code >> 18));
            utf8[1] = char(0x80 | ((code >> 12) & 0x3f));
            utf8[2] = char(0x80 | ((code >> 6) & 0x3f));
            utf8[3] = char(0x80 | (code & 0x3f));
            n = 4;
        }
        out.append(utf8, n);
    }
    out.append('"');
}

} // namespace jsontext
