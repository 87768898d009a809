#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// What a reviewer said of each image, and the file that keeps it beside the dataset so that it
// travels with it: a JSON object of one member per image, named by the image's path relative to
// the file's folder, each written on a line of its own in name order.
namespace review {

enum class State : quint8 { NotReviewed, Reviewed, NeedsWork };

struct Mark
{
    State state = State::NotReviewed;
    QString note; // why it needs work
    // The label file's size and modification time when it was marked (-1: there was none).
    qint64 labelSize = -1;
    qint64 labelModifiedNs = 0;
    // When the mark was made, in milliseconds since 1970: of two marks of one image, the later
    // wins. An image marked not reviewed again keeps its mark, so that the change wins too.
    qint64 changedMs = 0;

    bool operator==(const Mark &o) const
    {
        return state == o.state && note == o.note && labelSize == o.labelSize
            && labelModifiedNs == o.labelModifiedNs && changedMs == o.changedMs;
    }
};
using Marks = QHash<QString, Mark>;

// "reviewed", "needs-work", "not-reviewed" as the file writes them, and back (NotReviewed for
// anything else).
const char *stateName(State state);
State stateFromName(const QString &name);

// The file's bytes for `marks`.
QByteArray toJson(const Marks &marks);
// The marks of a file's bytes; false when they are not a review file. Members that are not
// marks are skipped.
bool fromJson(const QByteArray &bytes, Marks *marks);
// `theirs` taken into `ours` image by image where theirs is later; the images taken.
QStringList mergeInto(Marks &ours, const Marks &theirs);

} // namespace review
