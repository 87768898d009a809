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
    parser.addPositionalArgument(
        QStringLiteral("IMAGES LABELS | DATA.yaml"),
        QStringLiteral("The images folder and the YOLO labels folder to open, or an Ultralytics "
                       "dataset file: its train images (under its path), labels in the folder "
                       "whose last \"images\" component is \"labels\"."),
        QStringLiteral("[IMAGES LABELS | DATA.yaml]"));
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
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return CommandLine();
    if (positional.size() == 1) {
        const QString &path = positional.first();
        if (path.endsWith(QLatin1String(".yaml"), Qt::CaseInsensitive)
            || path.endsWith(QLatin1String(".yml"), Qt::CaseInsensitive))
            return foldersOfDatasetYaml(path);
        return failure(QStringLiteral("Give both folders, IMAGES and LABELS, or a DATA.yaml"));
    }
    if (positional.size() > 2)
        return failure(QStringLiteral("Too many arguments"));
    // Absolute, since the window builds image paths by putting "/" before the folder.
    CommandLine line;
    line.images = QFileInfo(positional.at(0)).absoluteFilePath();
    line.labels = QFileInfo(positional.at(1)).absoluteFilePath();
    return line;
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
