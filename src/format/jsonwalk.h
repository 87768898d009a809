#pragma once

// A walk over JSON with simdjson's on-demand parser that reads exactly what the QJsonDocument
// reading of the same bytes gives, or gives up. Every function returns false for input that
// simdjson rejects or that QJsonDocument could read otherwise (an error it would report, a
// number it would refuse or store differently, a nesting it would refuse); the caller then
// reads the same bytes with QJsonDocument, which stays the reference. The walk knows JSON
// only: what the members mean is the business of each format's reader.

#include <QString>

#include <simdjson.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <string_view>

namespace jsonwalk {

namespace ondemand = simdjson::ondemand;

// Bytes that must be readable after the end of a buffer simdjson reads.
constexpr int padding = 64;

// How QJsonValue holds a number: a value that is integral is kept as an integer (so -0 becomes
// 0), and toInt gives 0 for what is not an integer within int's range.
inline double jsonDouble(double number)
{
    return number == 0 ? 0.0 : number;
}

inline int jsonInt(double number)
{
    if (number >= double(std::numeric_limits<int>::min())
        && number <= double(std::numeric_limits<int>::max()) && std::floor(number) == number)
        return int(number);
    return 0;
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

// A walk over one document that checks every token as QJsonDocument would read it. `depth` is
// the nesting of the value, counted from the top-level array's elements at 1.
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

    // A number whose value is not used only needs to be one that QJsonDocument reads.
    static bool skipNumber(ondemand::value &value);

    // A string, read into `result` or, without one, only checked.
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
    static bool skip(ondemand::value &value, int depth);

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

// Calls `element` for each element of the top-level array of the file at `path`, reading the
// file in batches so that neither it nor simdjson's index of it is ever held whole. False where
// QJsonDocument must read the file instead, and then what `element` was given is to be
// dropped; `bytesRead` is the file's size when true. A document that is an object reads as an
// array without elements, as QJsonDocument::array gives it.
bool forEachElement(const QString &path, qint64 &bytesRead,
                    const std::function<bool(ondemand::value &)> &element);

// Called for a member of a top-level object: with `element` true for each element of a member
// that is an array, false with the value of a member that is not.
using MemberVisit = std::function<bool(const std::string &key, bool element, ondemand::value &)>;

// Calls `visit` for the members of the top-level object of the file at `path`, streaming the
// arrays among them as forEachElement streams a top-level array. False where QJsonDocument must
// read the file instead (also for a document that is not an object, or whose keys repeat or
// have escapes); `bytesRead` is the file's size when true.
bool forEachMemberElement(const QString &path, qint64 &bytesRead, const MemberVisit &visit);

} // namespace jsonwalk
