#pragma once

#include "format/labelshape.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// The class names of a YOLO dataset, from the files other tools keep next to the labels.
namespace yolo {

// Class names by class id.
using ClassNames = QMap<int, QString>;

// A classes.txt: line i (from 0) names class i. Names are trimmed; blank lines at the end are
// ignored.
ClassNames parseClassesTxt(const QByteArray &bytes);

// The `names` of a YAML dataset file: a sequence (the index is the class id) or a mapping from
// class id to name; and, when `keypoints` is given, its `kpt_shape: [count, dims]` (left invalid
// unless both are whole numbers, count above 0 and dims 2 or 3). False, with `error` set, when
// the text does not parse as YAML; true with `names` empty when it has no usable `names`.
bool parseYamlNames(const QByteArray &bytes, ClassNames *names, QString *error,
                    KeypointShape *keypoints = nullptr);

// What the labels folder holds besides label files, noted while it is listed so that finding
// the class file does not list it again.
struct LabelFolderExtras
{
    bool classesTxt = false;
    QStringList yamlFiles; // names ending in ".yaml"
    int imageFiles = 0; // names of image files, which a labels folder should not hold
};

// The class names of the dataset whose labels are in `labelsFolder`. Looked for there, then in
// its parent folder, then in that folder's parent; in each: classes.txt, data.yaml,
// dataset.yaml, then any other *.yaml in name order. The first file that names at least one
// class wins (`found` is set to its path); a file that does not parse is skipped with a debug
// message. Empty when there is none. `keypoints`, when given, gets the first kpt_shape of the
// YAML files tried in that order, looking no further than the folder of the winning file (a pose
// dataset's data.yaml may sit beside a classes.txt).
ClassNames findClassNames(const QString &labelsFolder, const LabelFolderExtras &extras,
                          QString *found = nullptr, KeypointShape *keypoints = nullptr);

} // namespace yolo
