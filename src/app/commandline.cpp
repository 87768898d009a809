#include "app/commandline.h"

#include "io/fileio.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <yaml-cpp/yaml.h>

#include <string>

namespace {

CommandLine failure(const QString &message)
{
    CommandLine line;
    line.action = CommandLine::Fail;
    line.message = message;
    return line;
}

const QString splitOption = QStringLiteral("split");

QString scalar(const YAML::Node &node)
{
    if (!node || !node.IsScalar())
        return QString();
    return QString::fromStdString(node.Scalar());
}

// The entries of a split: one path, or a sequence of them; false when it is something else.
bool entriesOf(const YAML::Node &node, QStringList *entries)
{
    if (!node || node.IsNull())
        return true;
    if (node.IsScalar()) {
        if (!node.Scalar().empty())
            *entries << scalar(node);
        return true;
    }
    if (!node.IsSequence())
        return false;
    for (const YAML::Node &entry : node) {
        if (!entry.IsScalar())
            return false;
        if (!entry.Scalar().empty())
            *entries << scalar(entry);
    }
    return true;
}

// "train, val and test"
QString listed(const QStringList &names)
{
    if (names.size() < 2)
        return names.join(QString());
    return QStringLiteral("%1 and %2")
        .arg(names.mid(0, names.size() - 1).join(QLatin1String(", ")), names.last());
}

// The labels folder of an images folder: its last "images" component made "labels"; empty when
// it has none.
QString labelsFolderOf(const QString &images)
{
    QStringList parts = images.split(QLatin1Char('/'));
    const int last = parts.lastIndexOf(QStringLiteral("images"));
    if (last < 0)
        return QString();
    parts[last] = QStringLiteral("labels");
    return parts.join(QLatin1Char('/'));
}

// A threshold of --compare: a number in [0, 1]; false when it is not one.
bool thresholdOf(const QCommandLineParser &parser, const QString &option, double *value)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    *value = parser.value(option).toDouble(&ok);
    return ok && *value >= 0 && *value <= 1;
}

} // namespace

static CommandLine compareLine(const QCommandLineParser &parser, const QStringList &positional)
{
    if (positional.size() != 3)
        return failure(QStringLiteral("--compare takes IMAGES LABELS PRED"));
    for (const char *option : {"split", "unlabelled", "predictions"}) {
        if (parser.isSet(QLatin1String(option)))
            return failure(
                QStringLiteral("--%1 does not go with --compare").arg(QLatin1String(option)));
    }
    CommandLine line;
    line.action = CommandLine::Compare;
    line.images = QFileInfo(positional.at(0)).absoluteFilePath();
    line.labels = QFileInfo(positional.at(1)).absoluteFilePath();
    line.predictions = QFileInfo(positional.at(2)).absoluteFilePath();
    for (const auto &[option, value] : {std::make_pair(QStringLiteral("iou"), &line.iou),
                                        std::make_pair(QStringLiteral("conf"), &line.confidence)}) {
        if (!thresholdOf(parser, option, value))
            return failure(QStringLiteral("--%1 takes a number from 0 to 1").arg(option));
    }
    return line;
}

static void describeOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Review and correct the labels of an object-detection dataset."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(
        splitOption,
        QStringLiteral("The split of DATA.yaml to open: train (the default), val or test."),
        QStringLiteral("NAME")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("export-coco"),
        QStringLiteral("Write the dataset as a COCO instances file, without a window."),
        QStringLiteral("OUT.json")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("export-yolo"),
        QStringLiteral("Write the dataset's YOLO label files and classes.txt into a folder, "
                       "without a window."),
        QStringLiteral("OUTDIR")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("check"),
        QStringLiteral("Print every problem a trainer would trip on, one a line as "
                       "path:line: kind: detail, then the counts of each kind; exit 1 when there "
                       "is any, 0 when none. Without a window.")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("compare"),
        QStringLiteral("With IMAGES LABELS PRED: print each image whose labels disagree with the "
                       "predictions in PRED, most suspect first, as "
                       "name<TAB>score<TAB>missing<TAB>spurious<TAB>wrong-class<TAB>mislocated, "
                       "then a summary line. Without a window.")));
    parser.addOption(QCommandLineOption(QStringLiteral("iou"),
                                        QStringLiteral("With --compare, the IoU threshold (0.5)."),
                                        QStringLiteral("X")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("conf"), QStringLiteral("With --compare, the confidence threshold (0.5)."),
        QStringLiteral("X")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("predictions"),
        QStringLiteral("A folder of a model's predictions (one .txt per image) to compare the "
                       "labels with in the window."),
        QStringLiteral("PRED")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("unlabelled"),
        QStringLiteral("With --check, also report images without a label file.")));
    parser.addPositionalArgument(
        QStringLiteral("IMAGES LABELS | DATA.yaml"),
        QStringLiteral("The images folder and the YOLO labels folder to open (or a COCO "
                       "instances file instead of the labels), or an Ultralytics dataset file: "
                       "the images of one of its splits (under its path), each a folder, a list "
                       "of folders or a .txt file of image paths, labels where the last "
                       "\"images\" folder is \"labels\"."),
        QStringLiteral("[IMAGES LABELS | IMAGES INSTANCES.json | DATA.yaml [--split NAME]]"));
}

QString usageText()
{
    QCommandLineParser parser;
    describeOptions(parser);
    return parser.helpText();
}

const QStringList &knownSplits()
{
    static const QStringList names{QStringLiteral("train"), QStringLiteral("val"),
                                   QStringLiteral("test")};
    return names;
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    describeOptions(parser);
    // Qt's own options (-platform, ...) are taken out by the application before this.
    const bool parsed = parser.parse(QStringList(QStringLiteral("pallaster")) + arguments);
    if (parser.isSet(QStringLiteral("help"))) {
        CommandLine line;
        line.action = CommandLine::Help;
        return line;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        CommandLine line;
        line.action = CommandLine::Version;
        return line;
    }
    if (!parsed)
        return failure(parser.errorText());
    const bool toCoco = parser.isSet(QStringLiteral("export-coco"));
    const bool toYolo = parser.isSet(QStringLiteral("export-yolo"));
    const bool check = parser.isSet(QStringLiteral("check"));
    const bool compare = parser.isSet(QStringLiteral("compare"));
    if (int(toCoco) + int(toYolo) + int(check) + int(compare) > 1)
        return failure(
            QStringLiteral("Give one of --check, --compare, --export-coco and --export-yolo"));
    const QStringList positional = parser.positionalArguments();
    if (compare)
        return compareLine(parser, positional);
    for (const char *option : {"iou", "conf"}) {
        if (parser.isSet(QLatin1String(option)))
            return failure(QStringLiteral("--%1 goes with --compare").arg(QLatin1String(option)));
    }
    const bool predictions = parser.isSet(QStringLiteral("predictions"));
    if (predictions && (toCoco || toYolo || check))
        return failure(QStringLiteral("--predictions is for the window; use --compare"));
    const bool splitGiven = parser.isSet(splitOption);
    const QString split = splitGiven ? parser.value(splitOption) : QStringLiteral("train");
    const bool yaml = positional.size() == 1
        && (positional.first().endsWith(QLatin1String(".yaml"), Qt::CaseInsensitive)
            || positional.first().endsWith(QLatin1String(".yml"), Qt::CaseInsensitive));
    if (splitGiven && !yaml)
        return failure(QStringLiteral("--split names a split of a DATA.yaml, and none is given"));
    if (!knownSplits().contains(split))
        return failure(
            QStringLiteral("Unknown split \"%1\": choose train, val or test").arg(split));
    CommandLine line;
    if (positional.isEmpty()) {
        if (toCoco || toYolo || check)
            return failure(QStringLiteral("Give the dataset: IMAGES LABELS, IMAGES "
                                          "INSTANCES.json or a DATA.yaml"));
        return line;
    }
    if (positional.size() == 1) {
        if (!yaml)
            return failure(QStringLiteral("Give both folders, IMAGES and LABELS, or a DATA.yaml"));
        line = foldersOfDatasetYaml(positional.first(), split);
    } else if (positional.size() > 2) {
        return failure(QStringLiteral("Too many arguments"));
    } else {
        // Absolute, since the window builds image paths by putting "/" before the folder.
        line.images = QFileInfo(positional.at(0)).absoluteFilePath();
        const QFileInfo second(positional.at(1));
        if (second.isFile()
            && second.suffix().compare(QLatin1String("json"), Qt::CaseInsensitive) == 0)
            line.instances = second.absoluteFilePath();
        else
            line.labels = second.absoluteFilePath();
    }
    if (parser.isSet(QStringLiteral("unlabelled")) && !check)
        return failure(QStringLiteral("--unlabelled goes with --check"));
    if (line.action == CommandLine::Run && check) {
        line.action = CommandLine::Check;
        line.unlabelled = parser.isSet(QStringLiteral("unlabelled"));
    }
    if (line.action == CommandLine::Run && (toCoco || toYolo)) {
        line.action = toCoco ? CommandLine::ExportCoco : CommandLine::ExportYolo;
        const QString option = QLatin1String(toCoco ? "export-coco" : "export-yolo");
        line.output = QFileInfo(parser.value(option)).absoluteFilePath();
    }
    if (predictions) {
        if (positional.isEmpty())
            return failure(QStringLiteral("--predictions needs a dataset to compare with"));
        line.predictions
            = QFileInfo(parser.value(QStringLiteral("predictions"))).absoluteFilePath();
    }
    return line;
}

bool isPipelineAction(CommandLine::Action action)
{
    return action == CommandLine::ExportCoco || action == CommandLine::ExportYolo
        || action == CommandLine::Check || action == CommandLine::Compare;
}

bool isPipelineCommand(const QStringList &arguments)
{
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--"))
            break;
        for (const char *command :
             {"--export-coco", "--export-yolo", "--check", "--unlabelled", "--compare"}) {
            if (argument == QLatin1String(command)
                || argument.startsWith(QLatin1String(command) + QLatin1Char('=')))
                return true;
        }
    }
    return false;
}

CommandLine foldersOfDatasetYaml(const QString &yamlPath, const QString &split)
{
    const DatasetFile file = readDatasetFile(yamlPath);
    if (!file.error.isEmpty())
        return failure(file.error);
    QString error;
    const QVector<ImageList::YoloPart> parts = splitParts(file, split, &error);
    if (!error.isEmpty())
        return failure(error);
    CommandLine line;
    if (parts.size() == 1 && !parts.first().listed) {
        line.images = parts.first().images;
        line.labels = parts.first().labels;
    }
    line.yaml = file.path;
    line.split = split;
    return line;
}

DatasetFile readDatasetFile(const QString &yamlPath)
{
    DatasetFile file;
    file.path = QFileInfo(yamlPath).absoluteFilePath();
    QByteArray bytes;
    if (!io::readFile(yamlPath, bytes)) {
        file.error = QStringLiteral("%1 cannot be read").arg(yamlPath);
        return file;
    }
    YAML::Node root;
    try {
        root = YAML::Load(std::string(bytes.constData(), size_t(bytes.size())));
    } catch (const YAML::Exception &error) {
        file.error = QStringLiteral("%1 is not YAML: %2")
                         .arg(yamlPath, QString::fromStdString(error.what()));
        return file;
    }
    if (!root.IsMap()) {
        file.error = QStringLiteral("%1 is not a dataset file").arg(yamlPath);
        return file;
    }
    const QDir yamlFolder = QFileInfo(yamlPath).absoluteDir();
    const QString base = scalar(root["path"]);
    file.root = QDir::cleanPath(base.isEmpty() ? yamlFolder.absolutePath()
                                               : yamlFolder.absoluteFilePath(base));
    for (const QString &name : knownSplits()) {
        QStringList entries;
        if (!entriesOf(root[name.toStdString()], &entries)) {
            file.error = QStringLiteral("The %1 of %2 is neither a path nor a list of paths")
                             .arg(name, yamlPath);
            return file;
        }
        if (!entries.isEmpty())
            file.splits.append({name, entries});
    }
    return file;
}

QStringList DatasetFile::splitNames() const
{
    QStringList names;
    for (const auto &split : splits)
        names << split.first;
    return names;
}

QStringList DatasetFile::entries(const QString &split) const
{
    for (const auto &named : splits) {
        if (named.first == split)
            return named.second;
    }
    return {};
}

QString DatasetFile::name() const
{
    const QString folder = QFileInfo(root).fileName();
    return folder.isEmpty() ? QFileInfo(path).completeBaseName() : folder;
}

QVector<ImageList::YoloPart> splitParts(const DatasetFile &file, const QString &split,
                                        QString *error)
{
    const QStringList entries = file.entries(split);
    if (entries.isEmpty()) {
        const QStringList named = file.splitNames();
        *error = named.isEmpty()
            ? QStringLiteral("%1 names no %2 images, nor any others").arg(file.path, split)
            : QStringLiteral("%1 names no %2 images; its splits are %3")
                  .arg(file.path, split, listed(named));
        return {};
    }
    const QDir root(file.root);
    QVector<ImageList::YoloPart> parts;
    for (const QString &entry : entries) {
        const QString path = QDir::cleanPath(root.absoluteFilePath(entry));
        const QFileInfo info(path);
        ImageList::YoloPart part;
        if (info.isDir()) {
            part.images = path;
            part.labels = labelsFolderOf(path);
            if (part.labels.isEmpty()) {
                *error = QStringLiteral("The %1 images %2 of %3 have no \"images\" folder in "
                                        "their path, so their labels cannot be found")
                             .arg(split, path, file.path);
                return {};
            }
        } else if (info.isFile()) {
            QByteArray bytes;
            if (!io::readFile(path, bytes)) {
                *error = QStringLiteral("The %1 image list %2 of %3 cannot be read")
                             .arg(split, path, file.path);
                return {};
            }
            part.listed = true;
            part.imageFiles = imagesOfList(bytes, info.absolutePath(), file.root);
        } else {
            *error
                = QStringLiteral("The %1 images %2 of %3 do not exist").arg(split, path, file.path);
            return {};
        }
        parts.append(part);
    }
    error->clear();
    return parts;
}

QStringList imagesOfList(const QByteArray &bytes, const QString &listFolder, const QString &root)
{
    QStringList images;
    for (const QByteArray &bytesOfLine : bytes.split('\n')) {
        const QString line = QString::fromUtf8(bytesOfLine).trimmed();
        if (line.isEmpty())
            continue;
        QString path;
        if (line.startsWith(QLatin1String("./")))
            path = listFolder + line.midRef(1);
        else if (QDir::isAbsolutePath(line))
            path = line;
        else
            path = root + QLatin1Char('/') + line;
        images << QDir::cleanPath(path);
    }
    return images;
}
