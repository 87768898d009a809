#pragma once

#include "model/bboxlist.h"

#include <QUndoCommand>

// The edits of one image's boxes as undo commands: redo() makes the edit, undo() takes it back.
// Each holds the box list it edits; the list's history dies with the list.
class BoxCommand : public QUndoCommand
{
public:
    explicit BoxCommand(BBoxList *boxes)
        : list(boxes)
    {
    }

    // The box to select once the command has been undone (`undone`) or redone: the one it
    // changed, or -1 when that box is gone.
    virtual int selectionAfter(bool undone) const = 0;

protected:
    BBoxList *list;
};

class AddBoxCommand : public BoxCommand
{
public:
    AddBoxCommand(BBoxList *boxes, const BoxInfo &box);
    void redo() override;
    void undo() override;
    int selectionAfter(bool undone) const override { return undone ? -1 : row; }

private:
    BoxInfo added;
    int row;
};

class DeleteBoxCommand : public BoxCommand
{
public:
    DeleteBoxCommand(BBoxList *boxes, int row);
    void redo() override;
    void undo() override;
    int selectionAfter(bool undone) const override { return undone ? row : -1; }

private:
    BoxInfo removed; // with the fields after the fifth, so that undo brings them back too
    int row;
    // Where the lines that are not labels stood: a deletion merges the places just before and
    // just after the box, which undo must tell apart again.
    ForeignLines foreignBefore;
};

// A move or resize. The reports of one drag come as several commands marked `continuing`
// after the first; they merge into it, so one undo takes the whole drag back.
class MoveBoxCommand : public BoxCommand
{
public:
    MoveBoxCommand(BBoxList *boxes, int row, const BoxInfo &to, bool continuing);
    void redo() override;
    void undo() override;
    int selectionAfter(bool) const override { return row; }
    int id() const override { return 1; }
    bool mergeWith(const QUndoCommand *other) override;

private:
    static void apply(BBoxList *boxes, int row, const BoxInfo &geometry);

    int row;
    BoxInfo from, to;
    bool continuing;
};

class CategoryCommand : public BoxCommand
{
public:
    CategoryCommand(BBoxList *boxes, int row, int catId);
    void redo() override;
    void undo() override;
    int selectionAfter(bool) const override { return row; }

private:
    int row;
    int from, to;
};
