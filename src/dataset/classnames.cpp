#include "dataset/classnames.h"

#include "io/fileio.h"
#include "io/logging.h"

#include <QDir>
#include <QFileInfo>

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <string>

namespace yolo {

ClassNames parseClassesTxt(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    ClassNames names;
    for (int i = 0; i < lines.size(); ++i)
        names.insert(i, QString::fromUtf8(lines.at(i)).trimmed());
    return names;
}

namespace {

bool scalarName(const YAML::Node &node, QString *name)
{
    if (!node.IsScalar())
        return false;
    *name = QString::fromStdString(node.Scalar()).trimmed();
    return true;
}

// A class id written as a YAML key (or a kpt_shape number): a whole number that fits an int,
// nothing else.
bool classId(const YAML::Node &node, int *id)
{
    if (!node.IsScalar())
        return false;
    bool ok = false;
    const int value = QString::fromStdString(node.Scalar()).trimmed().toInt(&ok, 10);
    if (ok)
        *id = value;
    return ok;
}

} // namespace

namespace {

KeypointShape keypointShape(const YAML::Node &node)
{
    KeypointShape shape;
    if (node && node.IsSequence() && node.size() == 2 && classId(node[0], &shape.count)
        && classId(node[1], &shape.dims) && shape.isValid())
        return shape;
    return {};
}

} // namespace

bool parseYamlNames(const QByteArray &bytes, ClassNames *names, QString *error,
                    KeypointShape *keypoints)
{
    names->clear();
    if (keypoints)
        *keypoints = {};
    try {
        const YAML::Node root = YAML::Load(std::string(bytes.constData(), size_t(bytes.size())));
        if (!root.IsMap())
            return true;
        if (keypoints)
            *keypoints = keypointShape(root["kpt_shape"]);
        const YAML::Node list = root["names"];
        if (!list)
            return true;
        QString name;
        if (list.IsSequence()) {
            for (std::size_t i = 0; i < list.size() && i <= std::size_t(INT_MAX); ++i) {
                if (scalarName(list[i], &name))
                    names->insert(int(i), name);
            }
        } else if (list.IsMap()) {
            for (const auto &entry : list) {
                int id = 0;
                if (classId(entry.first, &id) && scalarName(entry.second, &name))
                    names->insert(id, name);
            }
        }
        return true;
    } catch (const YAML::Exception &e) {
        *error = QString::fromStdString(e.what());
        names->clear();
        if (keypoints)
            *keypoints = {};
        return false;
    }
}

namespace {

// A class list is a few kilobytes; a larger file is something else and is not parsed.
constexpr qint64 maxClassFileSize = 16 * 1024 * 1024;

// The class names in `path`, empty when it names none or cannot be read or parsed; and the
// kpt_shape of a YAML file.
ClassNames namesIn(const QString &path, bool yaml, KeypointShape *keypoints)
{
    *keypoints = {};
    QByteArray bytes;
    if (QFileInfo(path).size() > maxClassFileSize || !io::readFile(path, bytes))
        return {};
    if (!yaml)
        return parseClassesTxt(bytes);
    ClassNames names;
    QString error;
    if (!parseYamlNames(bytes, &names, &error, keypoints))
        qCDebug(lcLoad).noquote() << "Skipped" << path << "(not YAML:" << error << ")";
    return names;
}

// The candidates in one folder, in the order they are tried.
QStringList candidates(bool classesTxt, QStringList yamlFiles)
{
    QStringList names;
    if (classesTxt)
        names << QStringLiteral("classes.txt");
    std::sort(yamlFiles.begin(), yamlFiles.end());
    for (const QString &first : {QStringLiteral("data.yaml"), QStringLiteral("dataset.yaml")}) {
        if (yamlFiles.removeAll(first) > 0)
            names << first;
    }
    return names + yamlFiles;
}

} // namespace

ClassNames findClassNames(const QString &labelsFolder, const LabelFolderExtras &extras,
                          QString *found, KeypointShape *keypoints)
{
    KeypointShape firstShape;
    if (keypoints)
        *keypoints = {};
    if (labelsFolder.isEmpty())
        return {};
    ClassNames result;
    QDir folder(labelsFolder);
    for (int level = 0; level < 3; ++level) {
        QStringList names;
        if (level == 0) {
            names = candidates(extras.classesTxt, extras.yamlFiles);
        } else {
            if (!folder.cdUp())
                break;
            const QStringList yaml
                = folder.entryList({QStringLiteral("*.yaml")}, QDir::Files | QDir::Readable);
            names = candidates(folder.exists(QStringLiteral("classes.txt")), yaml);
        }
        for (const QString &name : qAsConst(names)) {
            const QString path = folder.filePath(name);
            KeypointShape shape;
            const ClassNames classNames
                = namesIn(path, name.endsWith(QLatin1String(".yaml")), &shape);
            if (!firstShape.isValid())
                firstShape = shape;
            if (result.isEmpty() && !classNames.isEmpty()) {
                if (found)
                    *found = path;
                result = classNames;
            }
            if (!result.isEmpty() && (!keypoints || firstShape.isValid()))
                break;
        }
        if (!result.isEmpty())
            break;
    }
    if (keypoints)
        *keypoints = firstShape;
    return result;
}

} // namespace yolo
