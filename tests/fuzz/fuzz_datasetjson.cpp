// A dataset JSON file through loadJson with the simdjson reader and with QJsonDocument, which
// must agree; then exportJson, whose text must be QJsonDocument's, and loadJson again: the
// second load must reproduce the rows of the first exactly.
#include "../jsondiff.h"
#include "dataset/imagelist.h"
#include "fuzzcommon.h"

#include <cmath>
#include <cstring>

namespace {

struct Row
{
    QString fileName, filePath;
    int width = 0, height = 0;
    QVector<BoxInfo> boxes;
};

QVector<Row> rows(ImageList *model)
{
    QVector<Row> result;
    for (int r = 0; r < model->rowCount(); ++r) {
        const QModelIndex index = model->index(r, 0);
        Row row{model->data(index, 0).toString(),
                model->data(index, 1).toString(),
                model->data(index, 2).toInt(),
                model->data(index, 3).toInt(),
                {}};
        auto *boxes = qobject_cast<BBoxList *>(model->data(index, 4).value<QObject *>());
        FUZZ_CHECK(boxes);
        for (const auto &box : boxes->boxList())
            row.boxes << *box;
        result << row;
    }
    return result;
}

bool same(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::quiet();
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    ImageList *model = ImageList::instance();
    const QString empty = fuzz::scratch(QStringLiteral("no-such-folder"));

    const QString in = fuzz::writeScratch(QStringLiteral("in.json"), input);
    jsondiff::Outcome reference, fast;
    jsondiff::compare(
        fuzz::scratch(QStringLiteral("diff.json")), [&] { model->loadJson(in); }, reference, fast);
    FUZZ_CHECK(fast == reference);

    const QVector<Row> first = rows(model);
    const QString exported = fuzz::scratch(QStringLiteral("out.json"));
    model->exportJson(exported);
    const QString document = fuzz::scratch(QStringLiteral("document.json"));
    model->exportJsonDocument(document);
    QFile a(exported), b(document);
    FUZZ_CHECK(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    FUZZ_CHECK(a.readAll() == b.readAll());
    model->loadYolo(empty, QString());
    model->loadJson(exported);
    const QVector<Row> second = rows(model);

    FUZZ_CHECK(first.size() == second.size());
    for (int r = 0; r < first.size(); ++r) {
        const Row &a = first[r], &b = second[r];
        FUZZ_CHECK(a.fileName == b.fileName);
        FUZZ_CHECK(a.filePath == b.filePath);
        FUZZ_CHECK(a.width == b.width && a.height == b.height);
        FUZZ_CHECK(a.boxes.size() == b.boxes.size());
        for (int i = 0; i < a.boxes.size(); ++i) {
            FUZZ_CHECK(a.boxes[i].catId == b.boxes[i].catId);
            FUZZ_CHECK(same(a.boxes[i].cx, b.boxes[i].cx));
            FUZZ_CHECK(same(a.boxes[i].cy, b.boxes[i].cy));
            FUZZ_CHECK(same(a.boxes[i].cw, b.boxes[i].cw));
            FUZZ_CHECK(same(a.boxes[i].ch, b.boxes[i].ch));
        }
    }
    return 0;
}
