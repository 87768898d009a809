#pragma once

#include <QAbstractListModel>
#include <QColor>
#include <QHash>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <QVector>

// The categories boxes are drawn and added with: the dataset's classes when its class file
// names them, else the one category "People". Each has its colour and, for ids 0 to 9, the
// digit key that adds a box of it.
class CategoryTable : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int count READ rowCount NOTIFY countChanged)
    // Bumped whenever the table changes: bindings that look colours or names up read it, so they
    // are evaluated again.
    Q_PROPERTY(int revision READ revision NOTIFY revisionChanged)

public:
    enum Role { CatId = 0, CatName, CatShortcut, CatColor };

    struct Category
    {
        int catId = 0;
        QString catName;
        QString catShortcut;
        QColor catColor;
    };

    CategoryTable();
    ~CategoryTable() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int revision() const { return revisionNumber; }
    const QVector<Category> &categories() const { return table; }

    // The table for the class names {catId, catName} of a dataset, in that order.
    void setClassNames(const QVariantList &classNames);

    // The colour of class `catId`: its own for every id a dataset has.
    static QColor paletteColor(int catId);

signals:
    void countChanged();
    void revisionChanged();

public slots:
    // The entry in `row` as {catId, catName, catShortcut, catColor}; empty outside the table.
    QVariantMap get(int row) const;
    // The colour boxes of `catId` are drawn in: "black" for an id not in the table.
    QColor colorOf(int catId) const;
    // The name of `catId`; the id itself as text when the table has no such id.
    QString nameOf(int catId) const;
    // Whether the table has `catId`.
    bool contains(int catId) const;
    // The entries (as get gives them) whose name contains `text` (in any case) or whose number
    // starts with it; those of `recent` (ids) first, in that order, then the rest in table order.
    QVariantList pick(const QString &text, const QVariantList &recent) const;

private:
    int indexOf(int catId) const;

    QVector<Category> table;
    int revisionNumber = 0;
};
