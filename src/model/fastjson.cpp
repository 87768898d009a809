#include "model/fastjson.h"

#include "app/utils.h"

#include <simdjson.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace ondemand = simdjson::ondemand;

static_assert(fastjson::padding >= simdjson::SIMDJSON_PADDING,
              "simdjson reads further past the end");

namespace fastjson {

namespace {

std::atomic<Mode> currentMode{Mode::Fast};
std::atomic<int> fallbacks{0};

// QJsonDocument refuses a document nested deeper than 1024 levels; give up well before.
constexpr int maxDepth = 1000;

const char utf8Bom[] = "\xEF\xBB\xBF";

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// How QJsonValue holds a number: a value that is integral is kept as an integer (so -0 becomes
// 0), and toInt gives 0 for what is not an integer within int's range.
double jsonDouble(double number)
{
    return number == 0 ? 0.0 : number;
}

int jsonInt(double number)
{
    if (number >= double(std::numeric_limits<int>::min())
        && number <= double(std::numeric_limits<int>::max()) && std::floor(number) == number)
        return int(number);
    return 0;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The key of a field as QJsonObject sees it: escapes resolved. Keys without a backslash (all
// of them in practice) are compared in place.
class Key
{
public:
    bool read(ondemand::field &field)
    {
        const char *raw = field.key().raw();
        const char *end = raw;
        while (*end != '"' && *end != '\\')
            ++end;
        if (*end == '"') {
            text = std::string_view(raw, size_t(end - raw));
            return true;
        }
        return !field.unescaped_key().get(text);
    }
    bool is(std::string_view name) const { return text == name; }

private:
    std::string_view text;
};

// A walk over one document that checks every token as QJsonDocument would read it. Every
// function returns false where the caller must fall back.
class Walk
{
public:
    // A number as QJsonValue holds it. QJsonDocument refuses a number that is not zero but
    // reads as zero (1e-400); simdjson reads it as 0.
    static bool number(ondemand::value &value, double &result)
    {
        const std::string_view token = value.raw_json_token();
        double d;
        if (value.get_double().get(d))
            return false;
        if (d == 0) {
            for (char c : token) {
                if (c == 'e' || c == 'E' || c == ',' || c == ']' || c == '}' || c == ' '
                    || c == '\t' || c == '\n' || c == '\r')
                    break;
                if (c >= '1' && c <= '9')
                    return false;
            }
        }
        result = jsonDouble(d);
        return true;
    }

    // A number whose value is not used only needs to be one that QJsonDocument reads: JSON's
    // grammar, checked here without converting, and a magnitude clear of the double's limits.
    // Only a number near those limits is converted.
    static bool skipNumber(ondemand::value &value)
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

    static bool string(ondemand::value &value, QString *result)
    {
        if (result) {
            std::string_view text;
            if (value.get_string().get(text))
                return false;
            *result = QString::fromUtf8(text.data(), int(text.size()));
            return true;
        }
        // Only a string with an escape needs to be looked at: simdjson has checked the UTF-8
        // of the whole input, and QJsonDocument accepts every escape simdjson accepts.
        const std::string_view token = value.raw_json_token();
        if (token.find('\\') != std::string_view::npos) {
            std::string_view text;
            return !value.get_string().get(text);
        }
        ondemand::raw_json_string raw;
        return !value.get_raw_json_string().get(raw);
    }

    // Checks a value that is not used.
    static bool skip(ondemand::value &value, int depth)
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

    // QJsonValue::toInt, toDouble and toString of a value; anything else is checked and read
    // as the default.
    static bool toInt(ondemand::value &value, int depth, qint32 &result)
    {
        double d = 0;
        if (!numberOrDefault(value, depth, d))
            return false;
        result = jsonInt(d);
        return true;
    }

    static bool numberOrDefault(ondemand::value &value, int depth, double &result)
    {
        result = 0;
        return ifType(value, depth, ondemand::json_type::number,
                      [&] { return number(value, result); });
    }

    static bool toString(ondemand::value &value, int depth, QString &result)
    {
        result.clear();
        return ifType(value, depth, ondemand::json_type::string,
                      [&] { return string(value, &result); });
    }

    // An array as QJsonValue::toArray gives it: `item` is called for each element; a value of
    // another type is checked and reads as an empty array.
    template<typename Item>
    static bool forEachItem(ondemand::value &value, int depth, Item item)
    {
        return ifType(value, depth, ondemand::json_type::array, [&] { return items(value, item); });
    }

    // An object as QJsonValue::toObject gives it: `member` is called with each key and value,
    // in the order of the text (so that of two equal keys the last one wins, as in
    // QJsonObject); a value of another type is checked and reads as an object without keys.
    template<typename Member>
    static bool forEachMember(ondemand::value &value, int depth, Member member)
    {
        return ifType(value, depth, ondemand::json_type::object,
                      [&] { return members(value, member); });
    }

private:
    // `read` for a value of the type `wanted`; a value of another type is checked and skipped.
    template<typename Read>
    static bool ifType(ondemand::value &value, int depth, ondemand::json_type wanted, Read read)
    {
        ondemand::json_type type;
        if (value.type().get(type))
            return false;
        return type == wanted ? read() : skip(value, depth);
    }

    // `item` for each element of an array value.
    template<typename Item>
    static bool items(ondemand::value &value, Item item)
    {
        ondemand::array array;
        if (value.get_array().get(array))
            return false;
        for (auto element : array) {
            ondemand::value v;
            if (element.get(v) || !item(v))
                return false;
        }
        return true;
    }

    // `member` for each key and value of an object value.
    template<typename Member>
    static bool members(ondemand::value &value, Member member)
    {
        ondemand::object object;
        if (value.get_object().get(object))
            return false;
        for (auto element : object) {
            ondemand::field field;
            Key key;
            if (std::move(element).get(field) || !key.read(field) || !member(key, field.value()))
                return false;
        }
        return true;
    }
};

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

// Reads the top-level array of a file in batches of whole elements, so that neither the file
// nor simdjson's index of it is ever held whole: a batch runs from the bracket or comma before
// its first element to the comma or bracket after its last, and is parsed as an array of its
// own with the comma before it written over as "[" and the one after as "]". The batches'
// limits are found by a scan that follows strings and nesting; simdjson checks everything in
// between, and the scan itself checks what lies outside all batches.
class ArrayStream
{
public:
    explicit ArrayStream(const QString &path)
        : reader(path)
    {
    }

    // Calls `element` for each element of the top-level array. False where QJsonDocument must
    // read the file instead; `bytesRead` is the file's size when true.
    template<typename Element>
    bool run(qint64 &bytesRead, Element element)
    {
        if (!reader.isOpen())
            return false;
        const qint64 fileSize = reader.size();
        // Larger files are refused by Utils::readFile; the reference path must read the same.
        if (fileSize < 0 || fileSize > Utils::maxReadSize)
            return false;
        // A small file needs no more than its size.
        grow(size_t(qBound<qint64>(4096, fileSize + 1, qint64(initialCapacity))));
        if (!fill())
            return false;
        // One byte-order mark may come first, then white space, then the array.
        if (end >= 3 && std::memcmp(buffer.get(), utf8Bom, 3) == 0)
            pos = 3;
        for (;;) {
            while (pos < end && isSpace(buffer[pos]))
                ++pos;
            if (pos < end)
                break;
            pos = end = 0;
            if (eof || !fill())
                return false;
        }
        if (buffer[pos] != '[')
            return readWhole(bytesRead);
        batchStart = pos++;
        depth = 1;
        if (parser.allocate(std::min(2 * batchSize, capacity)))
            return false;

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
        // Only white space may follow.
        for (;;) {
            while (pos < end && isSpace(buffer[pos]))
                ++pos;
            if (pos < end)
                return false;
            if (eof)
                break;
            pos = end = 0;
            if (!fill())
                return false;
        }
        bytesRead = total;
        return true;
    }

private:
    enum class Scan { More, Comma, Close, Error };
    static constexpr size_t initialCapacity = size_t(1) << 22;
    static constexpr size_t batchSize = size_t(1) << 20;

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
            if (total > Utils::maxReadSize)
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
            // '[' and '{', and ']' and '}', differ only in the bit 0x20.
            const __m128i open = _mm_set1_epi8('{'), close = _mm_set1_epi8('}');
            const __m128i comma = _mm_set1_epi8(','), lower = _mm_set1_epi8(0x20);
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
            while (p < stop && *p != '"' && *p != ',' && (*p | 0x20) != '{' && (*p | 0x20) != '}')
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
                    return c == ']' ? Scan::Close : Scan::Error;
                }
                break;
            case ',':
                if (depth == 1) {
                    lastComma = size_t(p - 1 - data);
                    if (lastComma - batchStart >= batchSize) {
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

    template<typename Element>
    bool parseBatch(size_t last, bool closed, Element &element)
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

    FileReader reader;
    std::unique_ptr<char[]> buffer;
    // Offsets in `buffer`: the end of what was read, where the scan goes on, the bracket or
    // comma before the elements not yet parsed, the last comma between elements scanned.
    size_t capacity = 0, end = 0, pos = 0, batchStart = 0, lastComma = 0;
    qint64 total = 0;
    bool eof = false, inString = false, firstBatch = true;
    int depth = 0;
    ondemand::parser parser;
};

template<typename Element>
bool forEachElement(const QString &path, qint64 &bytesRead, Element element)
{
    if (currentMode.load(std::memory_order_relaxed) == Mode::Reference)
        return false;
    ArrayStream stream(path);
    return stream.run(bytesRead, element);
}

} // namespace

void setMode(Mode mode)
{
    currentMode = mode;
}

Mode mode()
{
    return currentMode;
}

int fallbackCount()
{
    return fallbacks;
}

void countFallback()
{
    if (currentMode == Mode::Fast)
        ++fallbacks;
}

bool readCocoImages(const QString &path, QVector<CocoImage> &images, qint64 &bytesRead)
{
    images.clear();
    return forEachElement(path, bytesRead, [&](ondemand::value &element) {
        CocoImage image;
        const bool ok = Walk::forEachMember(element, 1, [&](const Key &key, ondemand::value &v) {
            if (key.is("id"))
                return Walk::toInt(v, 2, image.id);
            if (key.is("file_name"))
                return Walk::toString(v, 2, image.fileName);
            if (key.is("width"))
                return Walk::toInt(v, 2, image.width);
            if (key.is("height"))
                return Walk::toInt(v, 2, image.height);
            return Walk::skip(v, 2);
        });
        images.append(std::move(image));
        return ok;
    });
}

bool readCocoAnnotations(const QString &path,
                         const std::function<void(qint32, const QVector<double> &)> &add,
                         qint64 &bytesRead)
{
    QVector<double> numbers;
    return forEachElement(path, bytesRead, [&](ondemand::value &element) {
        qint32 imageId = 0, category = 0;
        numbers.clear();
        const bool ok = Walk::forEachMember(element, 1, [&](const Key &key, ondemand::value &v) {
            if (key.is("image_id"))
                return Walk::toInt(v, 2, imageId);
            if (key.is("category_id"))
                return Walk::toInt(v, 2, category);
            if (key.is("bbox")) {
                numbers.clear();
                return Walk::forEachItem(v, 2, [&](ondemand::value &n) {
                    double d;
                    if (!Walk::numberOrDefault(n, 3, d))
                        return false;
                    numbers.append(d);
                    return true;
                });
            }
            return Walk::skip(v, 2);
        });
        if (ok && category == 1)
            add(imageId, numbers);
        return ok;
    });
}

bool readDataset(const QString &path, const std::function<void(DatasetImage &)> &add)
{
    DatasetImage image;
    qint64 bytesRead = 0;
    return forEachElement(path, bytesRead, [&](ondemand::value &element) {
        image.id = image.width = image.height = 0;
        image.fileName.clear();
        image.filePath.clear();
        image.boxes.clear();
        const bool ok = Walk::forEachMember(element, 1, [&](const Key &key, ondemand::value &v) {
            if (key.is("id"))
                return Walk::toInt(v, 2, image.id);
            if (key.is("fileName"))
                return Walk::toString(v, 2, image.fileName);
            if (key.is("filePath"))
                return Walk::toString(v, 2, image.filePath);
            if (key.is("width"))
                return Walk::toInt(v, 2, image.width);
            if (key.is("height"))
                return Walk::toInt(v, 2, image.height);
            if (key.is("bboxes")) {
                image.boxes.clear();
                return Walk::forEachItem(v, 2, [&](ondemand::value &item) {
                    BoxInfo box;
                    const bool boxOk
                        = Walk::forEachMember(item, 3, [&](const Key &boxKey, ondemand::value &b) {
                              if (boxKey.is("catId"))
                                  return Walk::toInt(b, 4, box.catId);
                              if (boxKey.is("cx"))
                                  return Walk::numberOrDefault(b, 4, box.cx);
                              if (boxKey.is("cy"))
                                  return Walk::numberOrDefault(b, 4, box.cy);
                              if (boxKey.is("cw"))
                                  return Walk::numberOrDefault(b, 4, box.cw);
                              if (boxKey.is("ch"))
                                  return Walk::numberOrDefault(b, 4, box.ch);
                              return Walk::skip(b, 4);
                          });
                    image.boxes.append(box);
                    return boxOk;
                });
            }
            return Walk::skip(v, 2);
        });
        if (ok)
            add(image);
        return ok;
    });
}

} // namespace fastjson
