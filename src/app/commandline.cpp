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

QString scalar(const YAML::Node &node)
{
    if (node && node.IsSequence() && node.size() > 0)
        return scalar(node[0]);
    if (!node || !node.IsScalar())
        return QString();
    return QString::fromStdString(node.Scalar());
}

} // namespace

static void describeOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Review and correct the labels of an object-detection dataset."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(
        QStringLiteral("export-coco"),
        QStringLiteral("Write the dataset as a COCO instances file, without a window."),
        QStringLiteral("OUT.json")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("export-yolo"),
        QStringLiteral("Write the dataset's YOLO label files and classes.txt into a folder, "
                       "without a window."),
        QStringLiteral("OUTDIR")));
    parser.addPositionalArgument(
        QStringLiteral("IMAGES LABELS | DATA.yaml"),
        QStringLiteral("The images folder and the YOLO labels folder to open (or a COCO "
                       "instances file instead of the labels), or an Ultralytics dataset file: "
                       "its train images (under its path), labels in the folder whose last "
                       "\"images\" component is \"labels\"."),
        QStringLiteral("[IMAGES LABELS | IMAGES INSTANCES.json | DATA.yaml]"));
}

QString usageText()
{
    QCommandLineParser parser;
    describeOptions(parser);
    return parser.helpText();
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
    if (toCoco && toYolo)
        return failure(QStringLiteral("Give one of --export-coco and --export-yolo"));
    const QStringList positional = parser.positionalArguments();
    CommandLine line;
    if (positional.isEmpty()) {
        if (toCoco || toYolo)
            return failure(QStringLiteral("Give the dataset to export: IMAGES LABELS, IMAGES "
                                          "INSTANCES.json or a DATA.yaml"));
        return line;
    }
    if (positional.size() == 1) {
        const QString &path = positional.first();
        if (path.endsWith(QLatin1String(".yaml"), Qt::CaseInsensitive)
            || path.endsWith(QLatin1String(".yml"), Qt::CaseInsensitive))
            line = foldersOfDatasetYaml(path);
        else
            return failure(QStringLiteral("Give both folders, IMAGES and LABELS, or a DATA.yaml"));
    } else if (positional.size() > 2) {
        return failure(QStringLiteral("Too many arguments"));
    } else {
        // Absolute, since the window builds image paths by putting "/" before the folder.
        line.images = QFileInfo(positional.at(0)).absoluteFilePath();
        const QFileInfo second(positional.at(1));
        if (second.isFile() && second.suffix().compare(QLatin1String("json"), Qt::CaseInsensitive) == 0)
            line.instances = second.absoluteFilePath();
        else
            line.labels = second.absoluteFilePath();
    }
    if (line.action == CommandLine::Run && (toCoco || toYolo)) {
        line.action = toCoco ? CommandLine::ExportCoco : CommandLine::ExportYolo;
        const QString option = QLatin1String(toCoco ? "export-coco" : "export-yolo");
        line.output = QFileInfo(parser.value(option)).absoluteFilePath();
    }
    return line;
}

bool isPipelineCommand(const QStringList &arguments)
{
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--"))
            break;
        for (const char *command : {"--export-coco", "--export-yolo"}) {
            if (argument == QLatin1String(command)
                || argument.startsWith(QLatin1String(command) + QLatin1Char('=')))
                return true;
        }
    }
    return false;
}

CommandLine foldersOfDatasetYaml(const QString &yamlPath)
{
    QByteArray bytes;
    if (!io::readFile(yamlPath, bytes))
        return failure(QStringLiteral("%1 cannot be read").arg(yamlPath));
    YAML::Node root;
    try {
        root = YAML::Load(std::string(bytes.constData(), size_t(bytes.size())));
    } catch (const YAML::Exception &error) {
        return failure(QStringLiteral("%1 is not YAML: %2")
                           .arg(yamlPath, QString::fromStdString(error.what())));
    }
    if (!root.IsMap())
        return failure(QStringLiteral("%1 is not a dataset file").arg(yamlPath));
    const QString train = scalar(root["train"]);
    if (train.isEmpty())
        return failure(QStringLiteral("%1 names no train images").arg(yamlPath));
    const QDir yamlFolder = QFileInfo(yamlPath).absoluteDir();
    const QString base = scalar(root["path"]);
    const QDir dataRoot = base.isEmpty() ? yamlFolder : QDir(yamlFolder.absoluteFilePath(base));
    const QString images = QDir::cleanPath(dataRoot.absoluteFilePath(train));
    if (!QFileInfo(images).isDir())
        return failure(
            QStringLiteral("The train images %1 of %2 are not a folder").arg(images, yamlPath));
    QStringList parts = images.split(QLatin1Char('/'));
    const int last = parts.lastIndexOf(QStringLiteral("images"));
    if (last < 0)
        return failure(
            QStringLiteral("The train images %1 of %2 have no \"images\" folder in their path, "
                           "so their labels cannot be found")
                .arg(images, yamlPath));
    parts[last] = QStringLiteral("labels");
    CommandLine line;
    line.images = images;
    line.labels = parts.join(QLatin1Char('/'));
    line.yaml = QFileInfo(yamlPath).absoluteFilePath();
    return line;
}
