#pragma once

#include "dataset/bboxlist.h"

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

// An edit of one line made by a gesture: the reports of one drag come as several commands
// marked `continuing` after the first; they merge into it, so one undo takes the whole drag
// back. Undo and redo put back the whole line as it was before and after (vertices included),
// exactly, rather than computing it again.
class LineEditCommand : public BoxCommand
{
public:
    LineEditCommand(BBoxList *boxes, int row, bool continuing);
    void redo() override;
    void undo() override;
    int selectionAfter(bool) const override { return row; }
    bool mergeWith(const QUndoCommand *other) override;

protected:
    // Makes the edit the first time the command is done.
    virtual void apply() = 0;
    // Whether `other` continues the same gesture on the same line.
    virtual bool continues(const LineEditCommand &other) const;

    int row;

private:
    BoxInfo before, after;
    bool continuing;
    bool done = false;
};

// A move or resize of a line's box, its vertices or keypoints along.
class MoveBoxCommand : public LineEditCommand
{
public:
    MoveBoxCommand(BBoxList *boxes, int row, const BoxInfo &to, bool continuing);
    int id() const override { return 1; }

private:
    void apply() override;

    BoxInfo to;
};

// A move of one vertex of a polygon or one keypoint.
class MovePointCommand : public LineEditCommand
{
public:
    MovePointCommand(BBoxList *boxes, int row, int point, double x, double y, bool continuing);
    int id() const override { return 2; }

private:
    void apply() override;
    bool continues(const LineEditCommand &other) const override;

    int point;
    double x, y;
};

// A line given a new shape as a whole (a vertex added or taken out, a polygon turned); the
// reports of one turning drag come `continuing` and make one step.
class ReshapeCommand : public LineEditCommand
{
public:
    ReshapeCommand(BBoxList *boxes, int row, const BoxInfo &to, bool continuing);
    int id() const override { return 3; }

private:
    void apply() override;

    BoxInfo to;
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
