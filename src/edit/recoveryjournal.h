#pragma once

#include "dataset/bboxlist.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

class ImageList;

// Keeps the edits that are not in their label files yet in a recovery file, so that a crash
// loses none of them: within a second of a change, the boxes of every modified image of the
// loaded labels folder are written (atomically) to a file of that folder and this process's own
// under $XDG_STATE_HOME/pallaster/, which goes once nothing is unsaved. Each window keeps its
// own, and an orderly end removes only its own. When the same labels folder is loaded again,
// the edits of every such file whose process is gone can be put back as unsaved ones.
class RecoveryJournal : public QObject
{
    Q_OBJECT

public:
    explicit RecoveryJournal(ImageList *images, QObject *parent = nullptr);
    ~RecoveryJournal() override;

    // The recovery file of the labels folder `labelsFolder` kept by the process `pid` (this
    // one's by default).
    static QString pathFor(const QString &labelsFolder, qint64 pid = -1);

    // How many images of the loaded dataset the recovery file found at Load has edits for;
    // nothing is written until they are restored or discarded.
    int pending() const { return found.size(); }
    // Puts the edits found back on their images, unsaved; the number of images restored.
    int restore();
    // Drops the recovery file found at Load.
    void discard();

    // A change that may have made or cleared unsaved edits: written within a second.
    void schedule();
    // Writes the recovery file now (or removes it when nothing is unsaved).
    void writeNow();
    // The window was closed as the user chose (saved or discarded): nothing is left to recover.
    void finish();

signals:
    void pendingChanged();

private:
    struct Entry
    {
        QString labelFile;
        BBoxList::LoadedFile edits;
    };

    void datasetLoaded();
    void setFound(QVector<Entry> entries);
    void dropFoundFiles();

    ImageList *imageList;
    QString path; // the recovery file of the loaded labels folder; empty when there is none
    QTimer timer;
    QVector<Entry> found;
    QStringList foundFiles; // the files of windows gone that `found` came from
};
