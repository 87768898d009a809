#pragma once

#include "dataset/imagelist.h"

#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

// What the command line asks of the application.
struct CommandLine
{
    enum Action { Run, Help, Version, Fail, ExportCoco, ExportYolo, Check, Compare };
    Action action = Run;
    // The folders to open (those of a dataset file's split of one folder); empty to start
    // without a dataset, or with a split of several parts.
    QString images, labels;
    QString instances; // a COCO instances file named instead of a labels folder
    QString output; // what an export writes: a COCO instances file or a folder of label files
    bool unlabelled = false; // --check also reports images without a label file
    QString yaml; // the dataset file named, absolute; its class names win over any near the labels
    QString split; // the split of `yaml` to open: train, val or test
    QString predictions; // a folder of a model's predictions to compare the labels with
    double iou = 0.5, confidence = 0.5; // the thresholds of --compare
    QString message; // why it failed
};

// Reads the arguments after the program's name with QCommandLineParser: none, IMAGES LABELS,
// IMAGES INSTANCES.json or DATA.yaml with --split NAME (train when not given), each also after
// --export-coco OUT.json or --export-yolo OUTDIR; --compare IMAGES LABELS PRED [--iou X]
// [--conf X]; --predictions PRED with a dataset for the window; --help (-h) and --version (-v)
// anywhere win over the rest.
CommandLine parseCommandLine(const QStringList &arguments);

// The split `split` of an Ultralytics-style dataset file, checked for opening: the command line
// that opens it, or that fails saying why. A split of one folder gives its images and labels
// folders (see splitParts).
CommandLine foldersOfDatasetYaml(const QString &yamlPath, const QString &split);

// What an Ultralytics-style dataset file says of its images.
struct DatasetFile
{
    QString path; // absolute
    // Its `path`, absolute (under the file's folder when relative), or the file's folder
    // without one: what the splits' entries are relative to.
    QString root;
    // The splits the file names (train, val and test, in that order), each with its entries as
    // written: a path, or several.
    QVector<QPair<QString, QStringList>> splits;
    QString error; // why the file cannot be used; empty when it can

    QStringList splitNames() const;
    QStringList entries(const QString &split) const;
    // The folder name of the root, which names the dataset ("coco8").
    QString name() const;
};

DatasetFile readDatasetFile(const QString &yamlPath);

// The split names a dataset file may use.
const QStringList &knownSplits();

// The parts of the split `split` of `file`, in the order it names them: an entry that is a
// folder is an images folder, its labels in the folder whose last "images" component is
// "labels"; an entry that is a file lists image paths (see imagesOfList), and is read. Empty
// with `error` set when the split is not one the file names or an entry cannot be used.
QVector<ImageList::YoloPart> splitParts(const DatasetFile &file, const QString &split,
                                        QString *error);

// The image paths of an image list, one a line, as Ultralytics reads them: a line starting
// with "./" is relative to the list's folder `listFolder`, an absolute line stands as it is;
// another relative line is taken under the dataset's root `root` rather than the process's
// working folder. Blank lines are skipped, and the spaces around a path.
QStringList imagesOfList(const QByteArray &bytes, const QString &listFolder, const QString &root);

// The help text, as QCommandLineParser lays it out; needs a QCoreApplication.
QString usageText();

// Whether the arguments ask for a command that runs without a window (an export, a check, a
// comparison).
bool isPipelineCommand(const QStringList &arguments);
// Whether the action is one of those.
bool isPipelineAction(CommandLine::Action action);
