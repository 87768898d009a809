#pragma once

#include <QString>
#include <QStringList>

// What the command line asks of the application.
struct CommandLine
{
    enum Action { Run, Help, Version, Fail, ExportCoco, ExportYolo };
    Action action = Run;
    QString images, labels; // the folders to open; empty to start without a dataset
    QString instances; // a COCO instances file named instead of a labels folder
    QString output; // what an export writes: a COCO instances file or a folder of label files
    QString yaml; // the dataset file named, absolute; its class names win over any near the labels
    QString message; // why it failed
};

// Reads the arguments after the program's name with QCommandLineParser: none, IMAGES LABELS,
// IMAGES INSTANCES.json or DATA.yaml, each also after --export-coco OUT.json or --export-yolo
// OUTDIR; --help (-h) and --version (-v) anywhere win over the rest.
CommandLine parseCommandLine(const QStringList &arguments);

// The images and labels folders of an Ultralytics-style dataset file: its `train` (the first,
// when a list), under its `path` when relative, which is itself under the file's folder when
// relative; the labels folder replaces the last "images" component of it by "labels".
CommandLine foldersOfDatasetYaml(const QString &yamlPath);

// The help text, as QCommandLineParser lays it out; needs a QCoreApplication.
QString usageText();

// Whether the arguments ask for a command that runs without a window (an export).
bool isPipelineCommand(const QStringList &arguments);
