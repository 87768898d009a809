// A COCO instances file through its reader, once with the simdjson walk and once with
// QJsonDocument: both must give the same rows, boxes, counts and errors; every box must be of a
// listed category with finite values, and an export must read back with as many boxes.
#include "../jsondiff.h"
#include "dataset/imagelist.h"
#include "format/cocoinstances.h"
#include "fuzzcommon.h"

#include <cmath>

namespace {

struct Read
{
    bool ok = false;
    QString error;
    int boxes = 0, joined = 0, leftOut = 0, categories = 0;

    bool operator==(const Read &o) const
    {
        return ok == o.ok && error == o.error && boxes == o.boxes && joined == o.joined
            && leftOut == o.leftOut && categories == o.categories;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::quiet();
    const QString path
        = fuzz::writeScratch(QStringLiteral("instances.json"),
                             QByteArray(reinterpret_cast<const char *>(data), int(size)));
    const QString imageDir = fuzz::scratch(QStringLiteral("images"));

    ImageList *model = ImageList::instance();
    Read byMode[2];
    jsondiff::Outcome reference, fast;
    jsondiff::compare(
        fuzz::scratch(QStringLiteral("out.json")),
        [&] {
            Read &read = byMode[fastjson::mode() == fastjson::Mode::Fast ? 1 : 0];
            coco::Instances report;
            read.ok = model->openCocoInstances(path, imageDir, report, &read.error);
            read.boxes = report.boxes;
            read.joined = report.joined;
            read.leftOut = report.leftOut.total();
            read.categories = report.categories.size();
        },
        reference, fast);
    FUZZ_CHECK(fast == reference);
    FUZZ_CHECK(byMode[0] == byMode[1]);
    if (!byMode[1].ok)
        return 0;

    int boxes = 0;
    for (int row = 0; row < model->rowCount(); ++row) {
        for (const auto &box : model->imageAt(row)->bboxes->boxList()) {
            FUZZ_CHECK(box->catId >= 0 && box->catId < byMode[1].categories);
            FUZZ_CHECK(std::isfinite(box->cx + box->cy + box->cw + box->ch));
            ++boxes;
        }
    }
    FUZZ_CHECK(boxes == byMode[1].boxes);

    coco::ExportCounts counts;
    const QString written = fuzz::scratch(QStringLiteral("written.json"));
    FUZZ_CHECK(model->exportCocoInstances(written, counts, nullptr));
    FUZZ_CHECK(counts.boxes + counts.leftOut == boxes);
    coco::Instances again;
    QString error;
    FUZZ_CHECK(coco::readInstances(written, again, &error));
    FUZZ_CHECK(again.boxes + again.leftOut.total() == counts.boxes);
    return 0;
}
