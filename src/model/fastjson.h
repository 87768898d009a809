#pragma once

// Readers of the two JSON formats built on simdjson's on-demand parser. Each reads exactly what
// the QJsonDocument reading of the same bytes gives, or gives up: it returns false for any
// document that simdjson rejects or that QJsonDocument could read otherwise (an error it would
// report, a number it would refuse or store differently, a nesting it would refuse). The
// caller then reads the same bytes with QJsonDocument, which stays the reference.

#include "model/bboxlist.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <array>
#include <functional>

namespace fastjson {

// Bytes that must be readable after the end of a buffer simdjson reads.
constexpr int padding = 64;

// Which reader the loaders use. Reference makes them use QJsonDocument only: the differential
// tests and the fuzz targets compare the two.
enum class Mode { Fast, Reference };
void setMode(Mode mode);
Mode mode();
// How many documents the fast readers handed back to QJsonDocument since the program started;
// countFallback counts one (only in Fast mode, where the readers were asked).
int fallbackCount();
void countFallback();

// One element of a COCO images file, as the import reads it.
struct CocoImage
{
    qint32 id = 0;
    QString fileName;
    qint32 width = 0;
    qint32 height = 0;
};

// Each reader reads the file at `path`; `bytesRead` receives its size when it returns true.
// What a reader has handed on before it gives up is to be dropped.
bool readCocoImages(const QString &path, QVector<CocoImage> &images, qint64 &bytesRead);
// Calls `add` with the "image_id" and the "bbox" numbers (all of them, in order) of every
// annotation whose "category_id" is 1, in the order of the file.
bool readCocoAnnotations(const QString &path,
                         const std::function<void(qint32, const QVector<double> &)> &add,
                         qint64 &bytesRead);

// One element of a dataset JSON file.
struct DatasetImage
{
    qint32 id = 0;
    QString fileName;
    QString filePath;
    qint32 width = 0;
    qint32 height = 0;
    QVector<BoxInfo> boxes;
};

bool readDataset(const QString &path, const std::function<void(DatasetImage &)> &add);

} // namespace fastjson
