// Imports a COCO-sized pair of files: 118,287 images and 860,001 annotations shaped like
// COCO train2017's (about 300 MB), with an empty file for every image.
#include "benchutil.h"
#include "dataset/imagelist.h"
#include "format/cocoinstances.h"
#include "io/fileio.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <simdjson.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

int imageCount = 118287;
int annotationCount = 860001;

void writeAll(const std::string &path, const std::string &text)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

void generate(const std::string &folder, const std::string &imageDir)
{
    std::mt19937 rng(2017);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::string images = "[";
    char buffer[4096];
    for (int i = 0; i < imageCount; ++i) {
        const int id = 9 + i * 5;
        std::snprintf(buffer, sizeof buffer,
                      "%s{\"license\": 3, \"file_name\": \"%012d.jpg\", \"coco_url\": "
                      "\"http://images.cocodataset.org/train2017/%012d.jpg\", \"height\": 480, "
                      "\"width\": 640, \"date_captured\": \"2013-11-14 11:18:45\", "
                      "\"flickr_url\": \"http://farm6.staticflickr.com/5/%d_abcdef_z.jpg\", "
                      "\"id\": %d}",
                      i ? ", " : "", id, id, id, id);
        images += buffer;
        writeAll(imageDir + "/" + std::to_string(1000000000000LL + id).substr(1) + ".jpg", "");
    }
    images += "]";
    writeAll(folder + "/images.json", images);

    std::string anns;
    anns.reserve(size_t(annotationCount) * 340);
    anns += "[";
    for (int a = 0; a < annotationCount; ++a) {
        const int imageId = 9 + int(rng() % unsigned(imageCount)) * 5;
        const int category = unit(rng) < 0.5 ? 1 : 2 + int(rng() % 89);
        const double w = 20 + unit(rng) * 400, h = 20 + unit(rng) * 400;
        const double x = unit(rng) * (640 - w), y = unit(rng) * (480 - h);
        std::string polygon;
        for (int p = 0; p < 22; ++p) {
            std::snprintf(buffer, sizeof buffer, "%s%.2f", p ? ", " : "", x + unit(rng) * w);
            polygon += buffer;
        }
        std::snprintf(buffer, sizeof buffer,
                      "%s{\"segmentation\": [[%s]], \"area\": %.5f, \"iscrowd\": 0, "
                      "\"image_id\": %d, \"bbox\": [%.2f, %.2f, %.2f, %.2f], "
                      "\"category_id\": %d, \"id\": %d}",
                      a ? ", " : "", polygon.c_str(), w * h * 0.7, imageId, x, y, w, h, category,
                      900000 + a);
        anns += buffer;
    }
    anns += "]";
    writeAll(folder + "/anns.json", anns);
    std::printf("dataset: %d images (%.1f MB), %d annotations (%.1f MB)\n", imageCount,
                images.size() / 1e6, annotationCount, anns.size() / 1e6);
}

namespace od = simdjson::ondemand;

// Calls `field` with the key and value of every member of every element of the file's array;
// the sum of what it returns, or -1.
template<typename Field>
long walk(od::parser &parser, const simdjson::padded_string &json, Field field)
{
    long sum = 0;
    od::document doc;
    od::array array;
    if (parser.iterate(json).get(doc) || doc.get_array().get(array))
        return -1;
    for (auto element : array) {
        od::object object;
        if (element.get_object().get(object))
            return -1;
        for (auto member : object)
            sum += field(member.key(), member.value());
    }
    return sum;
}

// The fields the import uses, read from every element of each file.
long walkImages(od::parser &parser, const simdjson::padded_string &json)
{
    return walk(parser, json, [](const od::raw_json_string &key, od::value value) -> long {
        if (key == "id" || key == "width" || key == "height")
            return int64_t(value.get_int64());
        if (key == "file_name")
            return long(std::string_view(value.get_string()).size());
        return 0;
    });
}

long walkAnnotations(od::parser &parser, const simdjson::padded_string &json)
{
    return walk(parser, json, [](const od::raw_json_string &key, od::value value) -> long {
        long sum = 0;
        if (key == "image_id" || key == "category_id") {
            sum = int64_t(value.get_int64());
        } else if (key == "bbox") {
            for (auto n : value.get_array())
                sum += long(double(n.get_double()));
        }
        return sum;
    });
}

// The least simdjson work that answers what the import asks: both files loaded into padded
// buffers and walked on demand by a new parser, as a program that used simdjson alone would.
long barePass(const std::string &imagesPath, const std::string &annsPath)
{
    od::parser parser;
    long images = -1, anns = -1;
    {
        simdjson::padded_string json;
        if (!simdjson::padded_string::load(imagesPath).get(json))
            images = walkImages(parser, json);
    }
    simdjson::padded_string json;
    if (!simdjson::padded_string::load(annsPath).get(json))
        anns = walkAnnotations(parser, json);
    return images < 0 || anns < 0 ? -1 : images + anns;
}

// The same images and annotations as one COCO instances file, with 80 categories of ids up to
// 90 listed after them as COCO lists them.
void writeInstances(const QString &folder)
{
    QByteArray images, anns;
    io::readFile(folder + QStringLiteral("/images.json"), images);
    io::readFile(folder + QStringLiteral("/anns.json"), anns);
    std::string text
        = R"({"info": {"description": "COCO-shaped", "year": 2017}, "licenses": [{"id": 3, "name": "x"}], "images": )";
    text.append(images.constData(), size_t(images.size()));
    images.clear();
    text += ", \"annotations\": ";
    text.append(anns.constData(), size_t(anns.size()));
    anns.clear();
    text += ", \"categories\": [";
    for (int id = 1, n = 0; n < 80; ++id) {
        if (id == 12 || id == 26 || id == 29 || id == 30 || id == 45 || id == 66 || id == 68
            || id == 69 || id == 71 || id == 83)
            continue;
        text += (n++ ? ", " : "") + std::string("{\"supercategory\": \"thing\", \"id\": ")
            + std::to_string(id) + ", \"name\": \"class" + std::to_string(id) + "\"}";
    }
    text += "]}";
    writeAll((folder + QStringLiteral("/instances.json")).toStdString(), text);
}

// What the instances reader asks of the file, walked by simdjson alone: the file loaded into a
// padded buffer, every image's id, name and size, every annotation's ids, box and polygon
// numbers, every category.
long bareInstancesPass(const std::string &path)
{
    simdjson::padded_string json;
    if (simdjson::padded_string::load(path).get(json))
        return -1;
    od::parser parser;
    od::document doc;
    od::object root;
    if (parser.iterate(json).get(doc) || doc.get_object().get(root))
        return -1;
    long sum = 0;
    for (auto member : root) {
        const std::string_view key = member.unescaped_key();
        if (key == "images" || key == "annotations" || key == "categories") {
            for (auto element : member.value().get_array()) {
                for (auto field : element.get_object()) {
                    const std::string_view name = field.unescaped_key();
                    od::value value = field.value();
                    if (name == "id" || name == "image_id" || name == "category_id"
                        || name == "width" || name == "height" || name == "iscrowd") {
                        sum += int64_t(value.get_int64());
                    } else if (name == "file_name" || name == "name") {
                        sum += long(std::string_view(value.get_string()).size());
                    } else if (name == "bbox") {
                        for (auto n : value.get_array())
                            sum += long(double(n.get_double()));
                    } else if (name == "segmentation") {
                        for (auto part : value.get_array())
                            for (auto n : part.get_array())
                                sum += long(double(n.get_double()));
                    }
                }
            }
        }
    }
    return sum;
}

// Reads the instances file into rows: time against the bare pass, memory against its size.
int benchInstances(const QString &folder, const QString &imageDir)
{
    const QString path = folder + QStringLiteral("/instances.json");
    if (!QFileInfo::exists(path))
        writeInstances(folder);
    const double fileMB = QFileInfo(path).size() / 1048576.0;
    std::printf("instances file: %.1f MB\n", fileMB);
    QByteArray bytes;
    io::readFile(path, bytes); // warm the page cache
    bytes.clear();

    ImageList *model = ImageList::instance();
    const double before = bench::currentRssMB();
    bench::resetPeakRss();
    coco::Instances report;
    QString error;
    const auto open = [&] {
        if (!model->openCocoInstances(path, imageDir, report, &error)) {
            std::printf("the instances file could not be read: %s\n", qPrintable(error));
            std::exit(1);
        }
    };
    open();
    const double peak = bench::peakRssMB() - before;
    std::printf("read: %d images, %d boxes, %d left out\n", model->rowCount(), report.boxes,
                report.leftOut.total());
    bench::figure("instances_peak_memory", peak, "MB");
    bench::figure("instances_peak_to_file_size", peak / fileMB, "x (target at most 0.5)");

    const double resident = bench::currentRssMB() - before;
    bench::figure("instances_resident_after_read", resident, "MB");

    // The read and the bare pass alternate, so that both meet the same machine; the rows of
    // the run before go first, outside the time. The ratio is the median of the pairs'.
    std::vector<double> reads, bares, ratios;
    for (int run = 0; run < 5; ++run) {
        model->clear();
        QElapsedTimer timer;
        timer.start();
        open();
        reads.push_back(timer.nsecsElapsed() / 1e9);
        timer.restart();
        if (bareInstancesPass(path.toStdString()) < 0) {
            std::printf("the bare simdjson pass over the instances file failed\n");
            return 1;
        }
        bares.push_back(timer.nsecsElapsed() / 1e9);
        ratios.push_back(reads.back() / bares.back());
    }
    model->clear();
    for (auto *times : {&reads, &bares, &ratios})
        std::sort(times->begin(), times->end());
    bench::figure("instances_read_median", reads[2], "s");
    bench::figure("instances_simdjson_bare_pass_median", bares[2], "s");
    bench::figure("instances_read_to_bare_pass", ratios[2],
                  "x, median of alternated pairs (target at most 1.5)");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    imageCount = bench::imageCount(imageCount);
    if (qEnvironmentVariableIsSet("BENCH_ANNOTATIONS"))
        annotationCount = qEnvironmentVariableIntValue("BENCH_ANNOTATIONS");
    // BENCH_COCO_DIR keeps the generated files there and uses them again on the next run.
    QTemporaryDir tmp;
    const QString folder = bench::workFolder("BENCH_COCO_DIR", tmp);
    const QString imageDir = folder + QStringLiteral("/images");
    if (!QFileInfo::exists(folder + QStringLiteral("/anns.json"))) {
        QDir().mkpath(imageDir);
        generate(folder.toStdString(), imageDir.toStdString());
    }
    bench::silenceStderr();

    if (!qEnvironmentVariableIsSet("BENCH_COCO_IMPORT_ONLY")) {
        if (const int failed = benchInstances(folder, imageDir))
            return failed;
        if (qEnvironmentVariableIsSet("BENCH_COCO_INSTANCES_ONLY"))
            return 0;
    }

    const QString imagesFile = folder + QStringLiteral("/images.json");
    const QString annsFile = folder + QStringLiteral("/anns.json");
    QByteArray bytes;
    io::readFile(annsFile, bytes); // warm the page cache
    bytes.clear();

    bench::resetPeakRss();
    ImageList *model = ImageList::instance();
    const double import = bench::medianSeconds(
        3, [&] { model->loadCocoJsonFromDir(imagesFile, annsFile, imageDir); });
    std::printf("imported: %d images with boxes\n", model->rowCount());
    bench::figure("coco_import_median", import, "s");
    bench::figure("rss_loaded", bench::currentRssMB(), "MB");
    const double peak = bench::peakRssMB();
    bench::figure("rss_peak", peak, "MB");
    const double fileMB = (QFileInfo(imagesFile).size() + QFileInfo(annsFile).size()) / 1048576.0;
    bench::figure("rss_peak_to_file_size", peak / fileMB, "x (target at most 2.5)");
    if (qEnvironmentVariableIsSet("BENCH_COCO_IMPORT_ONLY"))
        return 0;

    const double read = bench::medianSeconds(5, [&] {
        QByteArray a, b;
        io::readFile(imagesFile, a);
        io::readFile(annsFile, b);
    });
    bench::figure("coco_read_both_files_median", read, "s");

    long check = 0;
    const double bare = bench::medianSeconds(
        3, [&] { check = barePass(imagesFile.toStdString(), annsFile.toStdString()); });
    if (check < 0) {
        std::printf("the bare simdjson pass failed\n");
        return 1;
    }
    bench::figure("simdjson_bare_pass_median", bare, "s");
    bench::figure("coco_import_to_bare_pass", import / bare, "x (target at most 2.5)");

    // The same walk over files already in memory, with a parser that has walked them before:
    // simdjson's work alone, without reading the files or touching new memory.
    simdjson::padded_string imagesJson, annsJson;
    if (simdjson::padded_string::load(imagesFile.toStdString()).get(imagesJson)
        || simdjson::padded_string::load(annsFile.toStdString()).get(annsJson))
        return 1;
    od::parser warmParser;
    const double warm = bench::medianSeconds(3, [&] {
        check = walkImages(warmParser, imagesJson) + walkAnnotations(warmParser, annsJson);
    });
    bench::figure("simdjson_in_memory_pass_median", warm, "s");
    bench::figure("coco_import_to_in_memory_pass", import / warm, "x");
    return 0;
}
