#include "app/datasetactions.h"

#include "app/commandline.h"

#include "dataset/classcounts.h"
#include "dataset/imagefilter.h"
#include "dataset/imagelist.h"
#include "edit/editsession.h"
#include "format/coco.h"
#include "format/cocoinstances.h"
#include "io/fileio.h"
#include "review/healthreport.h"
#include "review/predictions.h"
#include "review/reviewstates.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLocale>
#include <QQmlEngine>
#include <QSettings>

DatasetActions *DatasetActions::s_instance = nullptr;

namespace {

QString startImagesFolder, startLabelsFolder, startDatasetFile, startSplitName, startInstancesFile,
    startPredictionsFolder;

// Counts as the window writes them: 67,728.
QString counted(int n)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(n);
}

QString imagesLoaded(int n, const QString &from)
{
    return n == 1 ? DatasetActions::tr("Loaded 1 image from %1").arg(from)
                  : DatasetActions::tr("Loaded %1 images from %2").arg(counted(n), from);
}

// Whether `folder` holds a file matching one of `patterns` (other than a class file).
bool holdsFile(const QString &folder, const QStringList &patterns)
{
    if (folder.isEmpty())
        return false;
    QDirIterator it(folder, patterns, QDir::Files);
    while (it.hasNext()) {
        it.next();
        if (it.fileName() != QLatin1String("classes.txt"))
            return true;
    }
    return false;
}

} // namespace

DatasetActions::DatasetActions(ImageList *images, QObject *parent)
    : QObject(parent)
    , imageList(images)
    , imageFilter(new ImageFilter(images, this))
    , classCounts(new ClassCounts(images, EditSession::instance()->categories(), this))
    , healthReport(new HealthReport(images, this))
    , modelPredictions(new Predictions(images, this))
    , reviewStates(new ReviewStates(images, this))
{
    modelPredictions->serve(imageFilter);
    reviewStates->setOrder(imageFilter);
    imageFilter->setReviewTest(
        [r = reviewStates](int row, int state) { return r->passes(row, state); });
    // The problems panel's filter, and images without labels reported where they are shown.
    imageFilter->setProblemTest(
        [report = healthReport](int row, int kind) { return report->hasKind(row, kind); });
    // The problem filter follows the findings, and goes once no image has its problem.
    connect(healthReport, &HealthReport::findingsChanged, imageFilter,
            [filter = imageFilter, report = healthReport] {
                const int kind = filter->problemKind();
                if (kind >= 0 && !report->isBusy() && report->imagesOf(health::Kind(kind)) == 0)
                    filter->setProblemKind(-1);
                else
                    filter->problemsChanged();
            });
    healthReport->setReportUnlabelled(images->showUnlabelled());
    connect(images, &ImageList::showUnlabelledChanged, healthReport,
            [images, report = healthReport] {
                report->setReportUnlabelled(images->showUnlabelled());
                report->start();
            });
    EditSession::instance()->setOrder(imageFilter);
    if (!startDatasetFile.isEmpty()) {
        setDatasetFile(startDatasetFile);
        imageList->setDatasetFile(startDatasetFile, startLabelsFolder);
    }
    s_instance = this;
}

DatasetActions::~DatasetActions()
{
    if (EditSession::hasInstance())
        EditSession::instance()->setOrder(nullptr);
    s_instance = nullptr;
}

void DatasetActions::create()
{
    auto *actions = new DatasetActions(ImageList::instance());
    for (QObject *object :
         {static_cast<QObject *>(actions), static_cast<QObject *>(actions->imageFilter),
          static_cast<QObject *>(actions->classCounts),
          static_cast<QObject *>(actions->healthReport),
          static_cast<QObject *>(actions->modelPredictions),
          static_cast<QObject *>(actions->reviewStates)})
        QQmlEngine::setObjectOwnership(object, QQmlEngine::CppOwnership);
    qmlRegisterSingletonInstance("Pallaster", 1, 0, "Dataset", actions);
    qmlRegisterSingletonInstance("Pallaster", 1, 0, "ImageFilter", actions->imageFilter);
    qmlRegisterSingletonInstance("Pallaster", 1, 0, "ClassCounts", actions->classCounts);
    qmlRegisterSingletonInstance("Pallaster", 1, 0, "Health", actions->healthReport);
    qmlRegisterSingletonInstance("Pallaster", 1, 0, "Predictions", actions->modelPredictions);
    qmlRegisterSingletonInstance("Pallaster", 1, 0, "Review", actions->reviewStates);
}

DatasetActions *DatasetActions::instance()
{
    if (!s_instance)
        create();
    return s_instance;
}

void DatasetActions::setStartFolders(const QString &images, const QString &labels,
                                     const QString &yaml, const QString &split)
{
    startDatasetFile = yaml;
    startSplitName = split;
    startImagesFolder = images;
    startLabelsFolder = labels;
}

QString DatasetActions::startImages() const
{
    return startImagesFolder;
}

QString DatasetActions::startLabels() const
{
    return startLabelsFolder;
}

QString DatasetActions::startInstances() const
{
    return startInstancesFile;
}

void DatasetActions::setStartInstances(const QString &images, const QString &instances)
{
    startImagesFolder = images;
    startInstancesFile = instances;
}

void DatasetActions::setStartPredictions(const QString &folder)
{
    startPredictionsFolder = folder;
}

QString DatasetActions::startPredictions() const
{
    return startPredictionsFolder;
}

namespace {

// "675 boxes of other categories", "1 box ..."; nothing for none. `what` is "one|many".
void appendCount(QStringList &parts, int n, const char *what)
{
    const QString forms = QLatin1String(what);
    const QString word
        = n == 1 ? forms.section(QLatin1Char('|'), 0, 0) : forms.section(QLatin1Char('|'), -1);
    if (n > 0)
        parts << DatasetActions::tr("%1 %2").arg(counted(n), word);
}

QString joinedList(const QStringList &parts)
{
    if (parts.size() < 2)
        return parts.join(QString());
    return parts.mid(0, parts.size() - 1).join(QStringLiteral(", ")) + DatasetActions::tr(" and ")
        + parts.last();
}

} // namespace

QString DatasetActions::instancesLoaded(int images, const QString &file,
                                        const coco::Instances &report)
{
    QString text = tr("Loaded %1 images from %2, %3 boxes of %4 classes")
                       .arg(counted(images), QFileInfo(file).fileName(), counted(report.boxes),
                            counted(report.categories.size()));
    QStringList parts;
    appendCount(parts, report.leftOut.crowd, "crowd (RLE) annotation|crowd (RLE) annotations");
    appendCount(parts, report.leftOut.unknownImage,
                "of an image it does not list|of images it "
                "does not list");
    appendCount(parts, report.leftOut.unknownCategory,
                "of a category it does not list|of categories it does not list");
    appendCount(parts, report.leftOut.repeatedId, "with an id seen before");
    appendCount(parts, report.leftOut.badGeometry, "without a usable box or outline");
    if (!parts.isEmpty())
        text += tr("; left out %1").arg(joinedList(parts));
    if (report.joined > 0)
        text += tr("; %1 outlines of several polygons joined into one").arg(counted(report.joined));
    return text + QLatin1Char('.');
}

QString DatasetActions::instancesWritten(const QString &file, const coco::ExportCounts &counts)
{
    QString text = tr("Wrote %1 images and %2 boxes to %3")
                       .arg(counted(counts.images), counted(counts.boxes), file);
    if (counts.leftOut > 0)
        text += tr("; left out %1 boxes of images whose size is not known")
                    .arg(counted(counts.leftOut));
    return text + QLatin1Char('.');
}

QString DatasetActions::labelsWritten(const QString &dir, int written, int leftOut)
{
    QString text = written == 1 ? tr("Wrote 1 label file to %1").arg(dir)
                                : tr("Wrote %1 label files to %2").arg(counted(written), dir);
    if (leftOut > 0)
        text
            += tr("; left out %1 images whose file name is not a plain name").arg(counted(leftOut));
    return text;
}

QString DatasetActions::startSplit() const
{
    return startSplitName;
}

void DatasetActions::setDatasetFile(const QString &yaml)
{
    const DatasetFile file = yaml.isEmpty() ? DatasetFile() : readDatasetFile(yaml);
    datasetFile = yaml;
    splitNames = file.splitNames();
    nameOfDataset = yaml.isEmpty() ? QString() : file.name();
    imageList->setDatasetFile(yaml, QString());
    setSplit(QString());
    emit datasetFileChanged();
}

void DatasetActions::setSplit(const QString &name, const QString &images, const QString &labels)
{
    if (splitShown == name && splitImagesFolder == images && splitLabelsFolder == labels)
        return;
    splitShown = name;
    splitImagesFolder = images;
    splitLabelsFolder = labels;
    emit splitChanged();
}

QString DatasetActions::report(const QString &text, bool error)
{
    resultText = text;
    resultError = error;
    emit resultChanged();
    return text;
}

QString DatasetActions::openYolo(const QString &labels, const QString &images)
{
    // A dataset loaded before stays when these cannot replace it: folders that are not there,
    // or a labels folder without a label file (unless its images are to be shown without).
    if (!images.isEmpty() && !QFileInfo(images).isDir())
        return report(tr("The images folder %1 does not exist.").arg(images), true);
    if (!QFileInfo(labels).isDir()
        || (!imageList->showUnlabelled() && !holdsFile(labels, {QStringLiteral("*.txt")}))) {
        const QStringList pictures{QStringLiteral("*.jpg"), QStringLiteral("*.jpeg"),
                                   QStringLiteral("*.png"), QStringLiteral("*.JPG")};
        return report(ImageList::whyNoRows(labels, images, holdsFile(labels, pictures) ? 1 : 0,
                                           holdsFile(images, {QStringLiteral("*.txt")})),
                      true);
    }
    // Load again on the folders of the split shown still shows that split.
    if (labels != splitLabelsFolder || images != splitImagesFolder)
        setSplit(QString());
    imageList->loadYolo(labels, images);
    const int rows = imageList->rowCount();
    if (rows == 0)
        return report(imageList->emptyReason(), true);
    remember({{QStringLiteral("images"), images}, {QStringLiteral("labels"), labels}},
             QDir::toNativeSeparators(labels));
    return report(imagesLoaded(rows, QStringLiteral("yolo")), false);
}

QString DatasetActions::openSplit(const QString &name)
{
    if (datasetFile.isEmpty())
        return report(tr("No dataset file was named to open its %1 split.").arg(name), true);
    const DatasetFile file = readDatasetFile(datasetFile);
    QString error = file.error;
    const QVector<ImageList::YoloPart> parts
        = error.isEmpty() ? splitParts(file, name, &error) : QVector<ImageList::YoloPart>();
    if (!error.isEmpty())
        return report(error, true);
    const bool oneFolder = parts.size() == 1 && !parts.first().listed;
    const QString images = oneFolder ? parts.first().images : QString();
    const QString labels = oneFolder ? parts.first().labels : QString();
    // Load on the split's folder keeps the dataset file's class names.
    imageList->setDatasetFile(datasetFile, labels);
    imageList->loadYoloParts(parts);
    setSplit(name, images, labels);
    const int rows = imageList->rowCount();
    if (rows == 0)
        return report(imageList->emptyReason(), true);
    remember({{QStringLiteral("yaml"), datasetFile}, {QStringLiteral("split"), name}},
             QStringLiteral("%1 · %2").arg(QDir::toNativeSeparators(datasetFile), name));
    return report(imagesLoaded(rows, name), false);
}

QString DatasetActions::jsonProblem(const QString &path)
{
    QByteArray bytes;
    if (!io::readFile(path, bytes)) {
        return QFileInfo::exists(path) ? tr("%1 cannot be read.").arg(path)
                                       : tr("%1 does not exist.").arg(path);
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return tr("%1 is not JSON: %2 at byte %3.")
            .arg(path, error.errorString())
            .arg(error.offset);
    if (!document.isArray())
        return tr("%1 does not hold an array.").arg(path);
    return QString();
}

QString DatasetActions::openCoco(const QString &imagesFile, const QString &annsFile,
                                 const QString &imageDir)
{
    const QString dir = imageDir.isEmpty() ? ImageList::cocoImageDir() : imageDir;
    if (!QFileInfo(dir).isDir())
        return report(tr("The images folder %1 does not exist.").arg(dir), true);
    for (const QString &file : {imagesFile, annsFile}) {
        if (coco::looksLikeObject(file))
            return report(tr("This is a COCO instances file: use Open COCO instances file"), true);
    }
    coco::PairCounts counts;
    const int rows = imageList->openCocoPair(imagesFile, annsFile, dir, counts);
    if (rows > 0) {
        int boxes = 0;
        for (int row = 0; row < imageList->rowCount(); ++row)
            boxes += imageList->imageAt(row)->bboxes->rowCount();
        QString text = imagesLoaded(rows, QStringLiteral("coco"))
            + (boxes == 1 ? tr(", 1 box") : tr(", %1 boxes").arg(counted(boxes)));
        QStringList parts;
        appendCount(parts, counts.otherCategory,
                    "box of another category|boxes of other categories");
        appendCount(parts, counts.outsideLimits, "outside the size limits");
        if (!parts.isEmpty())
            text += tr("; left out %1").arg(joinedList(parts));
        setSplit(QString());
        return report(text + QLatin1Char('.'), false);
    }
    for (const QString &file : {imagesFile, annsFile}) {
        const QString problem = jsonProblem(file);
        if (!problem.isEmpty())
            return report(problem, true);
    }
    return report(
        tr("No image with a kept box was found in %1.").arg(QDir::toNativeSeparators(dir)), true);
}

QString DatasetActions::openCocoInstances(const QString &path, const QString &imageDir)
{
    if (!QFileInfo(imageDir).isDir())
        return report(tr("The images folder %1 does not exist.").arg(imageDir), true);
    if (!coco::looksLikeObject(path) && QFileInfo(path).isFile()) {
        const QString problem = jsonProblem(path);
        return report(problem.isEmpty()
                          ? tr("%1 is an array, not a COCO instances file: a dataset JSON file "
                               "opens with Open dataset JSON, a COCO images or annotations "
                               "array with Open COCO")
                                .arg(path)
                          : problem,
                      true);
    }
    coco::Instances instances;
    QString error;
    if (!imageList->openCocoInstances(path, imageDir, instances, &error)) {
        if (!QFileInfo::exists(path))
            return report(tr("%1 does not exist.").arg(path), true);
        return report(tr("%1 %2.").arg(path, error), true);
    }
    setSplit(QString());
    remember({{QStringLiteral("instances"), path}, {QStringLiteral("images"), imageDir}},
             QDir::toNativeSeparators(path));
    return report(instancesLoaded(imageList->rowCount(), path, instances), false);
}

QString DatasetActions::exportCoco(const QString &path)
{
    coco::ExportCounts counts;
    QString error;
    if (!imageList->exportCocoInstances(path, counts, &error))
        return report(tr("%1 could not be written: %2").arg(path, error), true);
    // The edits of a COCO dataset are kept once they are in a file.
    if (imageList->origin() == ImageList::Origin::CocoInstances) {
        for (int row = 0; row < imageList->rowCount(); ++row)
            imageList->imageAt(row)->bboxes->markSaved();
        emit imageList->unsavedChanged();
    }
    return report(instancesWritten(path, counts), false);
}

QString DatasetActions::openJson(const QString &path)
{
    // Opening a dataset file replaces the dataset (the slot itself adds to it), unless it has
    // no images.
    const int rows = imageList->openJsonFile(path);
    if (rows > 0) {
        setSplit(QString());
        remember({{QStringLiteral("json"), path}}, QDir::toNativeSeparators(path));
        return report(imagesLoaded(rows, QStringLiteral("json")), false);
    }
    if (coco::looksLikeObject(path) && QFileInfo(path).isFile())
        return report(tr("%1 is a JSON object, not a dataset JSON file: a COCO instances file "
                         "opens with Open COCO instances file")
                          .arg(path),
                      true);
    const QString problem = jsonProblem(path);
    return report(problem.isEmpty() ? tr("%1 holds no images.").arg(path) : problem, true);
}

QString DatasetActions::saveJson(const QString &path)
{
    QString error;
    if (!imageList->writeJson(path, &error))
        return report(tr("%1 could not be written: %2").arg(path, error), true);
    const int rows = imageList->rowCount();
    return report(rows == 1 ? tr("Wrote 1 image to %1").arg(path)
                            : tr("Wrote %1 images to %2").arg(counted(rows), path),
                  false);
}

QString DatasetActions::exportYolo(const QString &dir)
{
    if (!QFileInfo(dir).isDir())
        return report(tr("The folder %1 does not exist.").arg(dir), true);
    const ImageList::ExportResult done = imageList->exportLabels(dir);
    QString text = labelsWritten(dir, done.written, done.leftOut);
    if (done.failures.isEmpty())
        return report(text, false);
    text += tr("; %1 could not be written (%2)")
                .arg(counted(done.failures.size()), done.failures.first());
    return report(text, true);
}

QVariantList DatasetActions::recent() const
{
    return QSettings().value(QStringLiteral("recent/datasets")).toList();
}

void DatasetActions::remember(QVariantMap entry, const QString &title)
{
    QVariantList list = recent();
    for (int i = list.size() - 1; i >= 0; --i) {
        QVariantMap other = list[i].toMap();
        other.remove(QStringLiteral("title"));
        if (other == entry)
            list.removeAt(i);
    }
    entry.insert(QStringLiteral("title"), title);
    list.prepend(entry);
    QSettings().setValue(QStringLiteral("recent/datasets"), list.mid(0, 8));
    emit recentChanged();
}

QString DatasetActions::openRecent(const QVariantMap &entry)
{
    const auto text
        = [&entry](const char *key) { return entry.value(QLatin1String(key)).toString(); };
    if (entry.contains(QStringLiteral("yaml"))) {
        setDatasetFile(text("yaml"));
        return openSplit(text("split"));
    }
    if (entry.contains(QStringLiteral("json")))
        return openJson(text("json"));
    return openCocoInstances(text("instances"), text("images"));
}

QString DatasetActions::openPredictions(const QString &folder)
{
    if (imageList->rowCount() == 0)
        return report(tr("Open a dataset first: the predictions are compared with its labels."),
                      true);
    const QString why = modelPredictions->open(folder);
    if (!why.isEmpty())
        return report(why, true);
    // The predictions' own line says how they compare once they are read.
    return report(QString(), false);
}

QString DatasetActions::showUnlabelled(bool show)
{
    imageList->setShowUnlabelled(show);
    if (imageList->labelsFolderPath().isEmpty())
        return report(QString(), false);
    int without = 0;
    for (int row = 0; row < imageList->rowCount(); ++row)
        without += imageList->hasLabelFile(row) ? 0 : 1;
    const int rows = imageList->rowCount();
    return report(
        tr("%1 images, %2 of them without a label file").arg(counted(rows), counted(without)),
        false);
}
