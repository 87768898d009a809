#include "review/reviewmarks.h"

#include "format/jsontext.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>

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

bool fromJson(const QByteArray &bytes, Marks *marks)
{
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
