#pragma once

// The dataset JSON file: an indented array of image objects with their boxes (and shapes), read
// with the streaming JSON walk (QJsonDocument where that gives up) and written as
// QJsonDocument::toJson would write it.

#include "format/boxinfo.h"

#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

namespace datasetjson {

// One element of a dataset JSON file as read.
struct DatasetImage
{
    qint32 id = 0;
    QString fileName;
    QString filePath;
    qint32 width = 0;
    qint32 height = 0;
    QVector<BoxInfo> boxes;
    // The dataset's class names by class id ("" for an id without one); the writer gives them
    // to the first image only, a member that readers of boxes alone pass over.
    QStringList classNames;
    // What a reviewer said of the image ("reviewed", "needs-work"; empty for nothing) and why
    // it needs work: members written only when there is something to say.
    QString reviewState;
    QString reviewNote;
};
using AddImage = std::function<void(DatasetImage &)>;

// Calls `add` for each image of the file, in order. Where the fast reader gives up, `restart` is
// called (drop what `add` was given) and the file is read again with QJsonDocument.
void read(const QString &json, const AddImage &add, const std::function<void()> &restart);

// One image to write; `boxes` stays valid while the writer runs.
struct Row
{
    qint32 id = 0;
    QString fileName;
    QString filePath;
    qint32 width = 0;
    qint32 height = 0;
    const BoxRecords *boxes = nullptr;
    const QStringList *classNames = nullptr; // written when not null
    QString reviewState, reviewNote; // written when not empty
};
using RowAt = std::function<Row(int)>;

// Writes images 0 to count - 1 as QJsonDocument::toJson indents them, a part at a time (through
// QJsonDocument in fastjson's reference mode); false with `error` set when it could not.
bool write(const QString &json, int count, const RowAt &rowAt, QString *error);
// The same text through a QJsonDocument of the whole dataset: the reference.
bool writeDocument(const QString &json, int count, const RowAt &rowAt, QString *error);

// The boxes as the members of an image's "bboxes" array.
QJsonArray boxesToJson(const BoxRecords &boxes);

} // namespace datasetjson
