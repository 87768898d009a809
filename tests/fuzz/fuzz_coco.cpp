// A COCO images file and annotations file (the input split at its first NUL byte) through the
// import, once with the simdjson readers and once with QJsonDocument: both must give the same
// rows, boxes, messages and signals, and every kept row must be what the import promises.
#include "../jsondiff.h"
#include "dataset/imagelist.h"
#include "fuzzcommon.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::quiet();
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    const int split = input.indexOf('\0');
    const QByteArray images = split < 0 ? input : input.left(split);
    const QByteArray anns = split < 0 ? input : input.mid(split + 1);

    static const QString imageDir = [] {
        const QString dir = fuzz::scratch(QStringLiteral("images"));
        QDir().mkpath(dir);
        for (const char *name : {"a.jpg", "b.jpg", "1.jpg", "000000000042.jpg"})
            fuzz::writeScratch(QStringLiteral("images/") + QLatin1String(name), QByteArray());
        return dir;
    }();
    const QString imagesPath = fuzz::writeScratch(QStringLiteral("images.json"), images);
    const QString annsPath = fuzz::writeScratch(QStringLiteral("anns.json"), anns);

    ImageList *model = ImageList::instance();
    jsondiff::Outcome reference, fast;
    jsondiff::compare(
        fuzz::scratch(QStringLiteral("out.json")),
        [&] { model->loadCocoJsonFromDir(imagesPath, annsPath, imageDir); }, reference, fast);
    FUZZ_CHECK(fast == reference);
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        FUZZ_CHECK(model->data(index, 2).toInt() > 0);
        FUZZ_CHECK(model->data(index, 3).toInt() > 0);
        FUZZ_CHECK(model->data(index, 5).toString().isEmpty());
        FUZZ_CHECK(model->data(index, 1).toString().startsWith(imageDir + QLatin1Char('/')));
        auto *boxes = qobject_cast<BBoxList *>(model->data(index, 4).value<QObject *>());
        FUZZ_CHECK(boxes && boxes->rowCount() > 0);
        for (const auto &box : boxes->boxList())
            FUZZ_CHECK(box->catId == 1);
    }
    return 0;
}
