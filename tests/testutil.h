#pragma once

#include "imagelist.h"

#include <QDir>
#include <QFile>
#include <QIdentityProxyModel>
#include <QString>
#include <QtTest>

inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
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
