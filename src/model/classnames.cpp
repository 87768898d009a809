#include "model/classnames.h"

#include "app/logging.h"
#include "io/fileio.h"

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

// A class id written as a YAML key: a whole number that fits an int, nothing else.
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

bool parseYamlNames(const QByteArray &bytes, ClassNames *names, QString *error)
{
    names->clear();
    try {
        const YAML::Node root = YAML::Load(std::string(bytes.constData(), size_t(bytes.size())));
        if (!root.IsMap())
            return true;
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
        return false;
    }
}

namespace {

// A class list is a few kilobytes; a larger file is something else and is not parsed.
constexpr qint64 maxClassFileSize = 16 * 1024 * 1024;

// The class names in `path`, empty when it names none or cannot be read or parsed.
ClassNames namesIn(const QString &path, bool yaml)
{
    QByteArray bytes;
    if (QFileInfo(path).size() > maxClassFileSize || !io::readFile(path, bytes))
        return {};
    if (!yaml)
        return parseClassesTxt(bytes);
    ClassNames names;
    QString error;
    if (!parseYamlNames(bytes, &names, &error))
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
                          QString *found)
{
    if (labelsFolder.isEmpty())
        return {};
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
            const ClassNames classNames = namesIn(path, name.endsWith(QLatin1String(".yaml")));
            if (!classNames.isEmpty()) {
                if (found)
                    *found = path;
                return classNames;
            }
        }
    }
    return {};
}

} // namespace yolo
