#pragma once

// JSON text exactly as QJsonDocument::toJson writes it, for writers that stream their output
// instead of building a QJsonDocument.

#include <QByteArray>
#include <QString>

namespace jsontext {

// A number as QJsonDocument writes a QJsonValue holding `number`: "null" for what is not
// finite, "0" for either zero, integral values below 2^64 in full, everything else in the
// shortest form that reads back as the same double.
void appendNumber(QByteArray &out, double number);
void appendInteger(QByteArray &out, qint64 number);
// A string in quotes, escaped as QJsonDocument escapes it.
void appendString(QByteArray &out, const QString &text);

} // namespace jsontext
