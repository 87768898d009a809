#include "app/pipeline.h"

#include "app/commandline.h"
#include "app/datasetactions.h"
#include "dataset/imagelist.h"
#include "format/cocoinstances.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryDir>

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
    if (!QFileInfo(line.images).isDir()) {
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
    if (!QFileInfo(line.labels).isDir()) {
        fail(QStringLiteral("The labels folder %1 does not exist.").arg(line.labels));
        return false;
    }
    list.setDatasetFile(line.yaml, line.labels);
    list.loadYolo(line.labels, line.images);
    if (list.rowCount() == 0) {
        fail(list.emptyReason());
        return false;
    }
    say(QStringLiteral("Read %1 label files from %2").arg(list.rowCount()).arg(line.labels));
    return true;
}

int exportYolo(ImageList &list, const QString &dir)
{
    // A folder that is not there yet is made beside its place and moved there once complete,
    // so that a failure leaves nothing half-written.
    const bool fresh = !QFileInfo::exists(dir);
    QString target = dir;
    std::unique_ptr<QTemporaryDir> staging;
    if (fresh) {
        const QFileInfo info(dir);
        if (!QDir().mkpath(info.absolutePath()))
            return fail(QStringLiteral("The folder %1 cannot be made.").arg(info.absolutePath()));
        staging = std::make_unique<QTemporaryDir>(info.absolutePath() + QStringLiteral("/.")
                                                  + info.fileName() + QStringLiteral("-XXXXXX"));
        if (!staging->isValid())
            return fail(
                QStringLiteral("%1 cannot be written: %2").arg(dir, staging->errorString()));
        target = staging->path();
    } else if (!QFileInfo(dir).isDir()) {
        return fail(QStringLiteral("%1 is not a folder.").arg(dir));
    }
    const ImageList::ExportResult done = list.exportLabels(target);
    if (!done.failures.isEmpty()) {
        for (const QString &failure : done.failures)
            fail(failure);
        return 1;
    }
    if (fresh) {
        if (!QDir().rename(target, dir))
            return fail(QStringLiteral("%1 could not be made from %2.").arg(dir, target));
        staging->setAutoRemove(false);
    }
    say(DatasetActions::labelsWritten(dir, done.written, done.leftOut));
    return 0;
}

} // namespace

int runPipeline(const CommandLine &line)
{
    // Only what the command says: the debug lines of a load are for the window's log.
    QLoggingCategory::setFilterRules(QStringLiteral("pallaster.*.debug=false"));
    ImageList &list = *ImageList::instance();
    if (!readDataset(line, list))
        return 1;
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
