#include "format/jsonwalk.h"

#include "io/fileio.h"

#include <algorithm>
#include <cstring>
#include <memory>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

static_assert(jsonwalk::padding >= simdjson::SIMDJSON_PADDING,
              "simdjson reads further past the end");

namespace jsonwalk {

namespace {

// QJsonDocument refuses a document nested deeper than 1024 levels; give up well before.
constexpr int maxDepth = 1000;

const char utf8Bom[] = "\xEF\xBB\xBF";

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

bool Walk::skipNumber(ondemand::value &value)
{
    const std::string_view token = value.raw_json_token();
    const char *p = token.data(), *end = p + token.size();
    while (end > p && isSpace(end[-1]))
        --end;
    if (p < end && *p == '-')
        ++p;
    if (p == end || !isDigit(*p))
        return false;
    // The position of the first significant digit relative to the decimal point.
    int magnitude = 0;
    bool significant = false;
    if (*p == '0') {
        ++p;
    } else {
        while (p < end && isDigit(*p)) {
            ++magnitude;
            ++p;
        }
        significant = true;
    }
    if (p < end && *p == '.') {
        ++p;
        if (p == end || !isDigit(*p))
            return false;
        while (p < end && isDigit(*p)) {
            if (!significant) {
                if (*p != '0')
                    significant = true;
                else
                    --magnitude;
            }
            ++p;
        }
    }
    int exponent = 0;
    bool exponentFits = true;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negative = false;
        if (p < end && (*p == '+' || *p == '-'))
            negative = *p++ == '-';
        if (p == end || !isDigit(*p))
            return false;
        int digits = 0;
        while (p < end && isDigit(*p)) {
            if (++digits <= 6)
                exponent = exponent * 10 + (*p - '0');
            ++p;
        }
        exponentFits = digits <= 6;
        if (negative)
            exponent = -exponent;
    }
    if (p != end)
        return false;
    if (!significant)
        return true; // zero, whatever its exponent
    if (exponentFits && std::abs(magnitude + exponent) < 300)
        return true;
    double d;
    return number(value, d);
}

bool Walk::skip(ondemand::value &value, int depth)
{
    if (depth > maxDepth)
        return false;
    ondemand::json_type type;
    if (value.type().get(type))
        return false;
    switch (type) {
    case ondemand::json_type::array:
        return items(value, [depth](ondemand::value &item) { return skip(item, depth + 1); });
    case ondemand::json_type::object:
        return members(value, [depth](const Key &, ondemand::value &member) {
            return skip(member, depth + 1);
        });
    case ondemand::json_type::number:
        return skipNumber(value);
    case ondemand::json_type::string:
        return string(value, nullptr);
    case ondemand::json_type::boolean: {
        bool b;
        return !value.get_bool().get(b);
    }
    case ondemand::json_type::null: {
        bool isNull = false;
        return !value.is_null().get(isNull) && isNull;
    }
    }
    return false;
}

namespace {

// Whether a whole document whose top-level value is not an array is one QJsonDocument reads
// without an error: an object is, and then has no elements; a scalar is not.
bool checkNotArray(const char *data, size_t size)
{
    ondemand::parser parser;
    ondemand::document doc;
    ondemand::json_type type;
    ondemand::value value;
    if (parser.iterate(data, size, size + padding).get(doc) || doc.type().get(type)
        || type != ondemand::json_type::object || doc.get_value().get(value)
        || !Walk::skip(value, 0))
        return false;
    return doc.current_location().error() == simdjson::OUT_OF_BOUNDS;
}

// Reads the top-level array of a file, or the arrays that are members of its top-level object,
// in batches of whole elements, so that neither the file nor simdjson's index of it is ever held
// whole: a batch runs from the bracket or comma before its first element to the comma or
// bracket after its last, and is parsed as an array of its own with the comma before it written
// over as "[" and the one after as "]". A member of the object that is not an array is parsed
// the same way, as an array of one element running from the colon before it to the comma or
// brace after it. The batches' limits are found by a scan that follows strings and nesting;
// simdjson checks everything in between, and the scan itself checks what lies outside all
// batches.
class JsonStream
{
public:
    using Element = std::function<bool(ondemand::value &)>;

    explicit JsonStream(const QString &path)
        : reader(path)
    {
    }

    // Calls `element` for each element of the top-level array. False where QJsonDocument must
    // read the file instead; `bytesRead` is the file's size when true.
    bool run(qint64 &bytesRead, const Element &element)
    {
        if (!start())
            return false;
        if (buffer[pos] != '[')
            return readWhole(bytesRead);
        if (!streamArray(element) || !onlySpaceLeft())
            return false;
        bytesRead = total;
        return true;
    }

    // Calls `visit` for each member of the top-level object: with each element of a member that
    // is an array, or with the value of one that is not. Gives up on a document that is not an
    // object and on a key that repeats or has an escape.
    bool runObject(qint64 &bytesRead, const MemberVisit &visit)
    {
        if (!start() || buffer[pos] != '{')
            return false;
        ++pos;
        std::vector<std::string> seen;
        bool first = true;
        for (;;) {
            if (!skipSpace())
                return false;
            const char c = buffer[pos];
            if (c == '}' && first) {
                ++pos;
                break;
            }
            if (!first) {
                if (c == '}') {
                    ++pos;
                    break;
                }
                if (c != ',')
                    return false;
                ++pos;
                if (!skipSpace())
                    return false;
            }
            first = false;
            std::string key;
            if (!readKey(key) || std::find(seen.begin(), seen.end(), key) != seen.end())
                return false;
            seen.push_back(key);
            if (!skipSpace() || buffer[pos] != ':')
                return false;
            ++pos;
            if (!skipSpace())
                return false;
            if (buffer[pos] == '[') {
                const auto element = [&](ondemand::value &v) { return visit(key, true, v); };
                if (!streamArray(element))
                    return false;
                continue;
            }
            // A value that is not an array: one element from the colon (or a space after it) to
            // the comma or brace after it.
            batchStart = pos - 1;
            depth = 1;
            splitAfter = 0;
            closer = '}';
            const Scan found = scanFilling();
            if (found != Scan::Comma && found != Scan::Close)
                return false;
            firstBatch = false;
            const auto value = [&](ondemand::value &v) { return visit(key, false, v); };
            if (!parseBatch(pos - 1, found == Scan::Close, value))
                return false;
            if (found == Scan::Close)
                break;
            --pos; // the comma, looked at by the loop
        }
        if (!onlySpaceLeft())
            return false;
        bytesRead = total;
        return true;
    }

private:
    enum class Scan { More, Comma, Close, Error };
    static constexpr size_t initialCapacity = size_t(1) << 22;
    static constexpr size_t batchSize = size_t(1) << 20;

    // Opens the file and finds its first byte after a byte-order mark and white space.
    bool start()
    {
        if (!reader.isOpen())
            return false;
        const qint64 fileSize = reader.size();
        // Larger files are refused by io::readFile; the reference path must read the same.
        if (fileSize < 0 || fileSize > io::maxReadSize)
            return false;
        // A small file needs no more than its size.
        grow(size_t(qBound<qint64>(4096, fileSize + 1, qint64(initialCapacity))));
        if (!fill())
            return false;
        // One byte-order mark may come first, then white space, then the value.
        if (end >= 3 && std::memcmp(buffer.get(), utf8Bom, 3) == 0)
            pos = 3;
        if (parser.allocate(std::min(2 * batchSize, capacity)))
            return false;
        return skipSpace();
    }

    // Moves `pos` past white space, reading on as needed; false at the end of the file.
    bool skipSpace()
    {
        for (;;) {
            while (pos < end && isSpace(buffer[pos]))
                ++pos;
            if (pos < end)
                return true;
            // The byte before stays: a member's value is parsed from the one before it.
            batchStart = pos > 0 ? pos - 1 : 0;
            compact();
            if (eof || !fill() || pos == end)
                return false;
        }
    }

    // Only white space may follow the document.
    bool onlySpaceLeft()
    {
        for (;;) {
            while (pos < end && isSpace(buffer[pos]))
                ++pos;
            if (pos < end)
                return false;
            if (eof)
                return true;
            pos = end = 0;
            if (!fill())
                return false;
        }
    }

    // A key without escapes at `pos`, which moves past its closing quote.
    bool readKey(std::string &key)
    {
        if (buffer[pos] != '"')
            return false;
        batchStart = pos;
        size_t p = pos + 1;
        for (;;) {
            while (p < end && buffer[p] != '"' && buffer[p] != '\\')
                ++p;
            if (p < end)
                break;
            const size_t offset = p - batchStart;
            compact();
            if (eof || !fill())
                return false;
            p = batchStart + offset;
        }
        if (buffer[p] == '\\')
            return false;
        key.assign(buffer.get() + pos + 1, p - pos - 1);
        // simdjson checks what it parses; a key outside every batch is checked here.
        if (!simdjson::validate_utf8(key.data(), key.size())
            || std::any_of(key.begin(), key.end(), [](char c) { return uchar(c) < 0x20; }))
            return false;
        pos = p + 1;
        return true;
    }

    // The scan, reading on while it needs more bytes.
    Scan scanFilling()
    {
        for (;;) {
            const Scan found = scan();
            if (found != Scan::More)
                return found;
            if (eof)
                return Scan::Error;
            compact();
            if (!fill())
                return Scan::Error;
        }
    }

    // Streams the array whose bracket is at `pos` through `element`; `pos` ends past its
    // closing bracket.
    bool streamArray(const Element &element)
    {
        batchStart = pos++;
        depth = 1;
        closer = ']';
        splitAfter = batchSize;
        firstBatch = true;
        lastComma = 0;
        bool closed = false;
        while (!closed) {
            const Scan found = scan();
            if (found == Scan::Error)
                return false;
            if (found == Scan::More) {
                if (eof)
                    return false; // the array never ends
                // The whole elements in hand are parsed before the buffer is refilled, so that
                // only the one cut off moves to the front.
                if (lastComma > batchStart) {
                    if (!parseBatch(lastComma, false, element))
                        return false;
                    batchStart = lastComma;
                    firstBatch = false;
                }
                compact();
                if (!fill())
                    return false;
                continue;
            }
            closed = found == Scan::Close;
            // `pos` is just past the comma or the closing bracket.
            if (!parseBatch(pos - 1, closed, element))
                return false;
            batchStart = pos - 1;
            firstBatch = false;
        }
        return true;
    }

    void grow(size_t capacity)
    {
        std::unique_ptr<char[]> bigger(new char[capacity + padding]);
        if (end > 0)
            std::memcpy(bigger.get(), buffer.get(), end);
        buffer = std::move(bigger);
        this->capacity = capacity;
    }

    // Reads until the buffer is full or the file ends; false on a read error.
    bool fill()
    {
        if (end == capacity)
            grow(capacity * 2);
        while (end < capacity && !eof) {
            const qint64 got = reader.read(buffer.get() + end, qint64(capacity - end));
            if (got < 0)
                return false;
            if (got == 0)
                eof = true;
            end += size_t(got);
            total += got;
            if (total > io::maxReadSize)
                return false;
        }
        return true;
    }

    // Moves the unparsed bytes to the front of the buffer.
    void compact()
    {
        if (batchStart == 0)
            return;
        std::memmove(buffer.get(), buffer.get() + batchStart, end - batchStart);
        pos -= batchStart;
        end -= batchStart;
        lastComma = lastComma > batchStart ? lastComma - batchStart : 0;
        batchStart = 0;
    }

    // Finds the next comma between elements of the top-level array, or its closing bracket.
    // The position of the first byte at or after `p` (before `stop`) that is one of the
    // characters the scan looks at: quotes and backslashes in a string, quotes, brackets,
    // braces and commas outside. Sixteen bytes at a time where SSE2 is there.
    const char *nextSignificant(const char *p, const char *stop) const
    {
#ifdef __SSE2__
        const __m128i quote = _mm_set1_epi8('"');
        if (inString) {
            const __m128i backslash = _mm_set1_epi8('\\');
            for (; p + 16 <= stop; p += 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
                const int mask = _mm_movemask_epi8(
                    _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)));
                if (mask)
                    return p + __builtin_ctz(unsigned(mask));
            }
        } else {
            // '[' and '{', and ']' and '}', differ only in the bit 0x20. Only the commas between
            // the elements cut into batches matter: deeper ones (a polygon's many) are passed.
            const __m128i open = _mm_set1_epi8('{'), close = _mm_set1_epi8('}');
            const __m128i comma = _mm_set1_epi8(depth == 1 ? ',' : '"');
            const __m128i lower = _mm_set1_epi8(0x20);
            for (; p + 16 <= stop; p += 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
                const __m128i folded = _mm_or_si128(v, lower);
                const __m128i hits = _mm_or_si128(
                    _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, comma)),
                    _mm_or_si128(_mm_cmpeq_epi8(folded, open), _mm_cmpeq_epi8(folded, close)));
                const int mask = _mm_movemask_epi8(hits);
                if (mask)
                    return p + __builtin_ctz(unsigned(mask));
            }
        }
#endif
        if (inString) {
            while (p < stop && *p != '"' && *p != '\\')
                ++p;
        } else {
            while (p < stop && *p != '"' && (*p != ',' || depth != 1) && (*p | 0x20) != '{'
                   && (*p | 0x20) != '}')
                ++p;
        }
        return p;
    }

    // Finds the next comma between elements of the top-level array, or its closing bracket.
    Scan scan()
    {
        const char *data = buffer.get(), *stop = data + end;
        const char *p = data + pos;
        for (;;) {
            p = nextSignificant(p, stop);
            if (p == stop) {
                pos = end;
                return Scan::More;
            }
            const char c = *p++;
            if (inString) {
                if (c == '"') {
                    inString = false;
                } else if (p == stop) {
                    pos = size_t(p - 1 - data); // the backslash, to be looked at again
                    return Scan::More;
                } else {
                    ++p; // the escaped character
                }
                continue;
            }
            switch (c) {
            case '"':
                inString = true;
                break;
            case '[':
            case '{':
                ++depth;
                break;
            case ']':
            case '}':
                if (--depth == 0) {
                    pos = size_t(p - data);
                    return c == closer ? Scan::Close : Scan::Error;
                }
                break;
            case ',':
                if (depth == 1) {
                    lastComma = size_t(p - 1 - data);
                    if (lastComma - batchStart >= splitAfter) {
                        pos = size_t(p - data);
                        return Scan::Comma;
                    }
                }
                break;
            default:
                break;
            }
        }
    }

    bool parseBatch(size_t last, bool closed, const Element &element)
    {
        char *data = buffer.get();
        // Between two commas, or a comma and a bracket, there must be an element: simdjson
        // would take "[]" for an empty array where QJsonDocument sees a missing value.
        bool empty = true;
        for (size_t i = batchStart + 1; i < last && empty; ++i)
            empty = isSpace(data[i]);
        if (empty && !(firstBatch && closed))
            return false;
        const char before = data[batchStart], after = data[last];
        data[batchStart] = '[';
        data[last] = ']';
        const size_t length = last + 1 - batchStart;
        ondemand::document doc;
        ondemand::array array;
        bool ok = !parser.iterate(data + batchStart, length, end - batchStart + padding).get(doc)
            && !doc.get_array().get(array);
        if (ok) {
            for (auto item : array) {
                ondemand::value value;
                if (item.get(value) || !element(value)) {
                    ok = false;
                    break;
                }
            }
        }
        ok = ok && doc.current_location().error() == simdjson::OUT_OF_BOUNDS;
        data[batchStart] = before;
        data[last] = after;
        return ok;
    }

    // A document that is not an array: read whole and checked.
    bool readWhole(qint64 &bytesRead)
    {
        while (!eof) {
            if (!fill())
                return false;
        }
        if (!checkNotArray(buffer.get() + pos, end - pos))
            return false;
        bytesRead = total;
        return true;
    }

    io::FileReader reader;
    std::unique_ptr<char[]> buffer;
    // Offsets in `buffer`: the end of what was read, where the scan goes on, the bracket or
    // comma before the elements not yet parsed, the last comma between elements scanned.
    size_t capacity = 0, end = 0, pos = 0, batchStart = 0, lastComma = 0;
    qint64 total = 0;
    // Where the scan stops at a comma between elements: once the batch is this long.
    size_t splitAfter = batchSize;
    // What closes the value being scanned: ']' for an array, '}' for the document's object.
    char closer = ']';
    bool eof = false, inString = false, firstBatch = true;
    int depth = 0;
    ondemand::parser parser;
};

} // namespace

bool forEachElement(const QString &path, qint64 &bytesRead,
                    const std::function<bool(ondemand::value &)> &element)
{
    JsonStream stream(path);
    return stream.run(bytesRead, element);
}

bool forEachMemberElement(const QString &path, qint64 &bytesRead, const MemberVisit &visit)
{
    JsonStream stream(path);
    return stream.runObject(bytesRead, visit);
}

} // namespace jsonwalk
