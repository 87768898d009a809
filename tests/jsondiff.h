#pragma once

// Runs a JSON loader once with the simdjson readers and once with QJsonDocument only, and
// records everything a caller can see of each run, so that the two can be compared: shared by
// the differential tests and the fuzz targets.

#include "dataset/imagelist.h"
#include "format/fastjson.h"

#include <QFile>
#include <QObject>
#include <QStringList>
#include <QVector>

#include <cstring>
#include <functional>

namespace jsondiff {

struct Outcome
{
    QByteArray text; // the dataset as the reference exportJsonDocument writes it
    QVector<quint64> bits; // every box and shape value, bit for bit, catIds as they are
    QStringList messages; // the debug messages, in order
    int resets = 0; // model resets
    int completed = 0; // readFileCompleted signals

    bool operator==(const Outcome &o) const
    {
        return text == o.text && bits == o.bits && messages == o.messages && resets == o.resets
            && completed == o.completed;
    }
    bool operator!=(const Outcome &o) const { return !(*this == o); }
};

inline QStringList *capturedMessages = nullptr;

inline quint64 bitsOf(double value)
{
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Empties the model, then runs `load` under `mode`; `scratch` is a file the outcome may use.
inline Outcome run(fastjson::Mode mode, const QString &scratch, const std::function<void()> &load)
{
    ImageList *model = ImageList::instance();
    Outcome outcome;
    QStringList messages;
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) {
              if (capturedMessages)
                  capturedMessages->append(text);
          });
    model->loadYolo(scratch + QStringLiteral(".no-such-folder"), QString());
    capturedMessages = &messages;
    const auto resets = QObject::connect(model, &QAbstractItemModel::modelReset,
                                         [&outcome] { ++outcome.resets; });
    const auto completed = QObject::connect(model, &ImageList::readFileCompleted,
                                            [&outcome] { ++outcome.completed; });
    const fastjson::Mode before = fastjson::mode();
    fastjson::setMode(mode);
    load();
    fastjson::setMode(before);
    QObject::disconnect(resets);
    QObject::disconnect(completed);
    qInstallMessageHandler(previous);
    capturedMessages = nullptr;
    outcome.messages = messages;

    model->exportJsonDocument(scratch);
    QFile file(scratch);
    if (file.open(QIODevice::ReadOnly))
        outcome.text = file.readAll();
    for (int row = 0; row < model->rowCount(); ++row) {
        auto *boxes
            = qobject_cast<BBoxList *>(model->data(model->index(row, 0), 4).value<QObject *>());
        if (!boxes)
            continue;
        for (const auto &box : boxes->boxList()) {
            const BoxInfo &b = *box;
            outcome.bits << quint64(quint32(b.catId)) << bitsOf(b.cx) << bitsOf(b.cy)
                         << bitsOf(b.cw) << bitsOf(b.ch) << quint64(b.kind())
                         << quint64(b.shape().dims());
            for (int i = 0; i < b.shape().size(); ++i)
                outcome.bits << bitsOf(b.shape().at(i));
        }
    }
    return outcome;
}

// Both runs of `load`; `usedFast` tells whether the simdjson readers kept every document.
inline void compare(const QString &scratch, const std::function<void()> &load, Outcome &reference,
                    Outcome &fast, bool *usedFast = nullptr)
{
    reference = run(fastjson::Mode::Reference, scratch, load);
    const int fallbacks = fastjson::fallbackCount();
    fast = run(fastjson::Mode::Fast, scratch, load);
    if (usedFast)
        *usedFast = fastjson::fallbackCount() == fallbacks;
}

} // namespace jsondiff
