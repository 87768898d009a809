#include "app/pipeline.h"

#include "app/commandline.h"
#include "app/datasetactions.h"
#include "dataset/imagelist.h"
#include "format/cocoinstances.h"
#include "review/healthreport.h"
#include "review/predictions.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QUuid>

#include <cstdio>

namespace {

void say(const QString &text)
{
    std::fprintf(stdout, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

int fail(const QString &text)
{
    std::fprintf(stderr, "pallaster: %s\n", text.toLocal8Bit().constData());
    return 1;
}

// The dataset the command names, in `list`; false once the reason is said.
bool readDataset(const CommandLine &line, ImageList &list)
{
    if (!line.images.isEmpty() && !QFileInfo(line.images).isDir()) {
        fail(QStringLiteral("The images folder %1 does not exist.").arg(line.images));
        return false;
    }
    if (!line.instances.isEmpty()) {
        coco::Instances report;
        QString error;
        if (!list.openCocoInstances(line.instances, line.images, report, &error)) {
            fail(QStringLiteral("%1 %2.").arg(line.instances, error));
            return false;
        }
        say(DatasetActions::instancesLoaded(list.rowCount(), line.instances, report));
        return true;
    }
    list.setShowUnlabelled(line.unlabelled);
    if (line.labels.isEmpty() && !line.yaml.isEmpty()) {
        // A split of several folders or an image list.
        QString error;
        const QVector<ImageList::YoloPart> parts
            = splitParts(readDatasetFile(line.yaml), line.split, &error);
        if (!error.isEmpty()) {
            fail(error);
            return false;
        }
        list.setDatasetFile(line.yaml, QString());
        list.loadYoloParts(parts);
    } else if (!QFileInfo(line.labels).isDir()) {
        fail(QStringLiteral("The labels folder %1 does not exist.").arg(line.labels));
        return false;
    } else {
        list.setDatasetFile(line.yaml, line.labels);
        list.loadYolo(line.labels, line.images);
    }
    if (list.rowCount() == 0) {
        fail(list.emptyReason());
        return false;
    }
    if (line.action != CommandLine::Check && line.action != CommandLine::Compare)
        say(QStringLiteral("Read %1 label files from %2")
                .arg(list.rowCount())
                .arg(line.labels.isEmpty() ? line.yaml : line.labels));
    return true;
}

int exportYolo(ImageList &list, const QString &dir)
{
    // A folder that is not there yet is made beside its place and moved there once complete,
    // so that a failure leaves nothing half-written.
    const bool fresh = !QFileInfo::exists(dir);
    QString target = dir;
    if (fresh) {
        const QFileInfo info(dir);
        if (!QDir().mkpath(info.absolutePath()))
            return fail(QStringLiteral("The folder %1 cannot be made.").arg(info.absolutePath()));
        // Made as any folder is (the user's umask), unlike a temporary folder.
        target = info.absolutePath() + QStringLiteral("/.") + info.fileName() + QLatin1Char('-')
            + QUuid::createUuid().toString(QUuid::Id128).left(12);
        if (!QDir().mkdir(target))
            return fail(QStringLiteral("%1 cannot be written.").arg(info.absolutePath()));
    } else if (!QFileInfo(dir).isDir()) {
        return fail(QStringLiteral("%1 is not a folder.").arg(dir));
    }
    const ImageList::ExportResult done = list.exportLabels(target);
    if (!done.failures.isEmpty()) {
        for (const QString &failure : done.failures)
            fail(failure);
        if (fresh)
            QDir(target).removeRecursively();
        return 1;
    }
    if (fresh && !QDir().rename(target, dir)) {
        QDir(target).removeRecursively();
        return fail(QStringLiteral("%1 could not be made from %2.").arg(dir, target));
    }
    say(DatasetActions::labelsWritten(dir, done.written, done.leftOut));
    return 0;
}

// Every problem, one a line, then the counts of each kind; 1 when there is any.
int check(ImageList &list)
{
    HealthReport report(&list);
    report.setReportUnlabelled(list.showUnlabelled());
    report.checkNow();
    int problems = 0;
    QByteArray out;
    for (int row = 0; row < list.rowCount(); ++row) {
        const auto info = list.imageAt(row);
        const QString path = info->yoloTxtFilePath.isEmpty() || !list.hasLabelFile(row)
            ? ImageList::plainPath(info->filePath)
            : info->yoloTxtFilePath;
        for (const health::Finding &f : report.findings(row)) {
            out += QStringLiteral("%1:%2: %3: %4\n")
                       .arg(path)
                       .arg(f.line)
                       .arg(QLatin1String(health::kindName(f.kind)), f.detail)
                       .toLocal8Bit();
            ++problems;
        }
        if (out.size() > (1 << 16)) {
            std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
            out.clear();
        }
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    for (int k = 0; k < health::kindCount; ++k) {
        const auto kind = health::Kind(k);
        if (report.imagesOf(kind) > 0)
            say(QStringLiteral("%1: %2 %3, %4 %5")
                    .arg(QLatin1String(health::kindName(kind)))
                    .arg(report.imagesOf(kind))
                    .arg(QLatin1String(report.imagesOf(kind) == 1 ? "image" : "images"))
                    .arg(report.boxesOf(kind))
                    .arg(QLatin1String(report.boxesOf(kind) == 1 ? "box" : "boxes")));
    }
    say(QStringLiteral("%1 problems in %2 of %3 images")
            .arg(problems)
            .arg(report.imagesWithProblems())
            .arg(list.rowCount()));
    return problems > 0 ? 1 : 0;
}

// Each image whose labels disagree with the predictions, most suspect first, then the summary.
int compare(ImageList &list, const CommandLine &line)
{
    Predictions predictions(&list);
    predictions.setIouThreshold(line.iou);
    predictions.setConfidenceThreshold(line.confidence);
    const QString why = predictions.openNow(line.predictions);
    if (!why.isEmpty()) {
        fail(why);
        return 2;
    }
    QByteArray out;
    for (const int row : predictions.ranked()) {
        const auto info = list.imageAt(row);
        out += QFileInfo(ImageList::plainPath(info->filePath)).fileName().toUtf8();
        out += '\t' + QByteArray::number(double(predictions.score(row)), 'f', 3);
        for (int k = 0; k < disagreement::kindCount; ++k)
            out += '\t' + QByteArray::number(predictions.count(row, disagreement::Kind(k)));
        out += '\n';
        if (out.size() > (1 << 16)) {
            std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
            out.clear();
        }
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    say(predictions.summary());
    return 0;
}

} // namespace

int runPipeline(const CommandLine &line)
{
    // Only what the command says: the debug lines of a load are for the window's log.
    QLoggingCategory::setFilterRules(QStringLiteral("pallaster.*.debug=false"));
    ImageList &list = *ImageList::instance();
    // A dataset that cannot be read is a usage error for --check, whose 1 means problems found.
    if (!readDataset(line, list))
        return line.action == CommandLine::Check || line.action == CommandLine::Compare ? 2 : 1;
    if (line.action == CommandLine::Check)
        return check(list);
    if (line.action == CommandLine::Compare)
        return compare(list, line);
    if (line.action == CommandLine::ExportCoco) {
        coco::ExportCounts counts;
        QString error;
        if (!list.exportCocoInstances(line.output, counts, &error))
            return fail(QStringLiteral("%1 could not be written: %2").arg(line.output, error));
        say(DatasetActions::instancesWritten(line.output, counts));
        return 0;
    }
    return exportYolo(list, line.output);
}
