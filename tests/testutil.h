#pragma once

#include "dataset/imagelist.h"

#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <functional>
#include <memory>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QIdentityProxyModel>
#include <QString>
#include <QtTest>

// Sets the modification time of the file at `path`, so that a test can tell whether it is
// written again.
inline bool setFileTime(const QString &path, const QDateTime &time)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite)
        && file.setFileTime(time, QFileDevice::FileModificationTime);
}

inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

// What `run` prints on the standard output while it runs; `status` gets what it returns.
inline QByteArray capturedStdout(const std::function<int()> &run, int *status)
{
    QTemporaryFile output;
    if (!output.open())
        return QByteArray("<no temporary file>");
    const int saved = dup(fileno(stdout));
    fflush(stdout);
    dup2(output.handle(), fileno(stdout));
    *status = run();
    fflush(stdout);
    dup2(saved, fileno(stdout));
    ::close(saved);
    output.seek(0);
    return output.readAll();
}

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

// saveTxtFile writes its own signature and the path to the debug stream: a test that saves
// expects both.
inline void expectSaveMessages(const QString &path)
{
    QTest::ignoreMessage(QtDebugMsg, "bool BBoxList::saveTxtFile(const QString&)");
    QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("\"%1\"").arg(path)));
}

// The box list of an image row, as QML receives it through the imgBBoxes role.
inline BBoxList *boxListAt(const ImageList *model, int row)
{
    return qobject_cast<BBoxList *>(model->data(model->index(row, 0), 4).value<QObject *>());
}

// The image list's role 4 holds a BBoxList object where Qt's generic roles expect the status
// tip text, which QAbstractItemModelTester checks for. This proxy hides that one role so the
// tester can judge rows, resets and removals of the real model underneath.
class StatusTipHidingProxy : public QIdentityProxyModel
{
public:
    QVariant data(const QModelIndex &index, int role) const override
    {
        return role == Qt::StatusTipRole ? QVariant() : QIdentityProxyModel::data(index, role);
    }
};

// What the dataset tests share: a fresh temporary folder per test (made by newFolder() in
// init()), the ImageList singleton, and lookups of its rows by role and by name.
class DatasetFixture
{
protected:
    std::unique_ptr<QTemporaryDir> dir;
    ImageList *model = nullptr;

    void newFolder() { dir = std::make_unique<QTemporaryDir>(); }
    QString path(const QString &name) const { return dir->filePath(name); }
    QVariant role(int row, int r) const { return model->data(model->index(row, 0), r); }
    BBoxList *boxes(int row) const { return boxListAt(model, row); }
    int rowOf(const QString &name) const
    {
        for (int r = 0; r < model->rowCount(); ++r)
            if (role(r, 0).toString() == name)
                return r;
        return -1;
    }
    QStringList names() const
    {
        QStringList result;
        for (int r = 0; r < model->rowCount(); ++r)
            result << role(r, 0).toString();
        return result;
    }
};

// Checks that `mo` declares each of `signatures` as a public method of `type`: the members QML
// relies on, whatever else the class has gained.
inline void verifyMethods(const QMetaObject &mo, const QList<QByteArray> &signatures,
                          QMetaMethod::MethodType type)
{
    for (const QByteArray &signature : signatures) {
        const int i = mo.indexOfMethod(signature.constData());
        QVERIFY2(i >= mo.methodOffset(), signature.constData());
        QCOMPARE(mo.method(i).methodType(), type);
        QCOMPARE(mo.method(i).access(), QMetaMethod::Public);
    }
}
