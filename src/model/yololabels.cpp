#include "yololabels.h"

#include <QStringList>
#include <QStringRef>

namespace yolo {

QString formatLine(const BoxInfo &box)
{
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(box.catId)
        .arg(box.cx)
        .arg(box.cy)
        .arg(box.cw)
        .arg(box.ch);
}

QByteArray formatLabels(const QList<std::shared_ptr<BoxInfo>> &boxes)
{
    QStringList lines;
    lines.reserve(boxes.size());
    for (const auto &box : boxes)
        lines.append(formatLine(*box));
    return lines.join(QLatin1Char('\n')).toUtf8();
}

void parseLabels(const QByteArray &bytes, const std::function<void(const BoxInfo &)> &add)
{
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
            fields[count++] = text.midRef(fieldStart, fieldEnd - fieldStart);
            if (fieldEnd == lineEnd)
                break;
            fieldStart = fieldEnd + 1;
        }

        // A line with fewer than five fields (blank lines, the piece after a final line
        // feed, the one line of an empty file) carries no box.
        if (count == 5) {
            BoxInfo box;
            box.catId = fields[0].toInt(nullptr, 10);
            box.cx = fields[1].toDouble();
            box.cy = fields[2].toDouble();
            box.cw = fields[3].toDouble();
            box.ch = fields[4].toDouble();
            add(box);
        }
        lineStart = lineEnd + 1;
    }
}

} // namespace yolo
