#include "review/reviewmarks.h"

#include "format/jsontext.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>
#include <cstring>

namespace review {

namespace {

const QString stateKey = QStringLiteral("state"), noteKey = QStringLiteral("note"),
              sizeKey = QStringLiteral("labelSize"),
              modifiedKey = QStringLiteral("labelModifiedNs"),
              changedKey = QStringLiteral("changedMs");

} // namespace

const char *stateName(State state)
{
    switch (state) {
    case State::Reviewed:
        return "reviewed";
    case State::NeedsWork:
        return "needs-work";
    case State::NotReviewed:
        break;
    }
    return "not-reviewed";
}

State stateFromName(const QString &name)
{
    for (State state : {State::Reviewed, State::NeedsWork}) {
        if (name == QLatin1String(stateName(state)))
            return state;
    }
    return State::NotReviewed;
}

QByteArray toJson(const Marks &marks)
{
    QStringList names = marks.keys();
    std::sort(names.begin(), names.end());
    QByteArray bytes = "{\n";
    for (int i = 0; i < names.size(); ++i) {
        const Mark &mark = marks[names[i]];
        bytes += "  ";
        jsontext::appendString(bytes, names[i]);
        bytes += ": {\"state\": \"";
        bytes += stateName(mark.state);
        bytes += "\", \"labelSize\": ";
        jsontext::appendInteger(bytes, mark.labelSize);
        // Nanoseconds pass 2^53, beyond what a JSON number reads back exactly.
        bytes += ", \"labelModifiedNs\": \"" + QByteArray::number(mark.labelModifiedNs);
        bytes += "\", \"changedMs\": ";
        jsontext::appendInteger(bytes, mark.changedMs);
        if (!mark.note.isEmpty()) {
            bytes += ", \"note\": ";
            jsontext::appendString(bytes, mark.note);
        }
        bytes += i + 1 < names.size() ? "},\n" : "}\n";
    }
    return bytes + "}\n";
}

namespace {

// A reader of the file as toJson writes it, a line a mark, several times faster than a document
// of it: false, for the reader of documents, at anything else (an escape, other spacing, a
// member more or less).
class Lines
{
public:
    explicit Lines(const QByteArray &bytes)
        : p(bytes.constData())
        , end(bytes.constData() + bytes.size())
    {
    }
    bool read(Marks *marks)
    {
        if (!literal("{\n"))
            return false;
        while (p != end && *p != '}') {
            QString key;
            Mark mark;
            QByteArray state;
            if (!(literal("  \"") && text(&key) && literal(": {\"state\": \"")
                  && bytesUntilQuote(&state) && literal(", \"labelSize\": ")
                  && number(&mark.labelSize) && literal(", \"labelModifiedNs\": \"")
                  && number(&mark.labelModifiedNs) && literal("\", \"changedMs\": ")
                  && number(&mark.changedMs)))
                return false;
            if (literal(", \"note\": \"") && !text(&mark.note))
                return false;
            if (!literal("}"))
                return false;
            mark.state = stateFromName(QString::fromLatin1(state));
            marks->insert(key, mark);
            if (!literal(",\n") && !literal("\n"))
                return false;
        }
        return literal("}\n") && p == end;
    }

private:
    bool literal(const char *text)
    {
        const size_t n = std::strlen(text);
        if (size_t(end - p) < n || std::memcmp(p, text, n) != 0)
            return false;
        p += n;
        return true;
    }
    // Up to the closing quote, which is taken; no escapes.
    bool bytesUntilQuote(QByteArray *out)
    {
        const char *q = p;
        while (q != end && *q != '"' && *q != '\\' && uchar(*q) >= 0x20)
            ++q;
        if (q == end || *q != '"')
            return false;
        *out = QByteArray(p, int(q - p));
        p = q + 1;
        return true;
    }
    bool text(QString *out)
    {
        QByteArray bytes;
        if (!bytesUntilQuote(&bytes))
            return false;
        *out = QString::fromUtf8(bytes);
        return true;
    }
    bool number(qint64 *out)
    {
        const char *q = p;
        if (q != end && *q == '-')
            ++q;
        while (q != end && *q >= '0' && *q <= '9')
            ++q;
        bool ok = false;
        *out = QByteArray::fromRawData(p, int(q - p)).toLongLong(&ok);
        p = q;
        return ok;
    }

    const char *p, *end;
};

} // namespace

bool fromJson(const QByteArray &bytes, Marks *marks)
{
    marks->clear();
    if (Lines(bytes).read(marks))
        return true;
    marks->clear();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonObject object = document.object();
    marks->clear();
    marks->reserve(object.size());
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (!it.value().isObject())
            continue;
        const QJsonObject entry = it.value().toObject();
        Mark mark;
        mark.state = stateFromName(entry.value(stateKey).toString());
        mark.note = entry.value(noteKey).toString();
        mark.labelSize = qint64(entry.value(sizeKey).toDouble(-1));
        mark.labelModifiedNs = entry.value(modifiedKey).toString().toLongLong();
        mark.changedMs = qint64(entry.value(changedKey).toDouble());
        marks->insert(it.key(), mark);
    }
    return true;
}

QStringList mergeInto(Marks &ours, const Marks &theirs)
{
    QStringList taken;
    for (auto it = theirs.constBegin(); it != theirs.constEnd(); ++it) {
        const auto mine = ours.constFind(it.key());
        if (mine != ours.constEnd() && mine->changedMs >= it->changedMs)
            continue;
        ours.insert(it.key(), *it);
        taken << it.key();
    }
    return taken;
}

} // namespace review
