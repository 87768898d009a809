#include "edit/boxcommands.h"

namespace {
BoxInfo boxAt(const BBoxList *boxes, int row)
{
    const BoxRecords &records = boxes->boxList();
    return row >= 0 && row < records.size() ? *records.at(row) : BoxInfo();
}
} // namespace

AddBoxCommand::AddBoxCommand(BBoxList *boxes, const BoxInfo &box)
    : BoxCommand(boxes)
    , added(box)
    , row(boxes->rowCount())
{
}

void AddBoxCommand::redo()
{
    list->insertBox(row, added);
}

void AddBoxCommand::undo()
{
    list->deleteRow(row);
}

DeleteBoxCommand::DeleteBoxCommand(BBoxList *boxes, int row)
    : BoxCommand(boxes)
    , removed(boxAt(boxes, row))
    , row(row)
    , foreignBefore(boxes->foreignLines())
{
}

void DeleteBoxCommand::redo()
{
    list->deleteRow(row);
}

void DeleteBoxCommand::undo()
{
    list->insertBox(row, removed);
    list->setForeignLines(foreignBefore);
}

LineEditCommand::LineEditCommand(BBoxList *boxes, int row, bool continuing)
    : BoxCommand(boxes)
    , row(row)
    , before(boxAt(boxes, row))
    , continuing(continuing)
{
}

void LineEditCommand::redo()
{
    if (done) {
        list->setBox(row, after);
        return;
    }
    apply();
    after = boxAt(list, row);
    done = true;
}

void LineEditCommand::undo()
{
    list->setBox(row, before);
}

bool LineEditCommand::continues(const LineEditCommand &other) const
{
    return other.list == list && other.row == row;
}

bool LineEditCommand::mergeWith(const QUndoCommand *other)
{
    // Commands of the same id only: QUndoStack merges nothing else.
    const auto *next = static_cast<const LineEditCommand *>(other);
    if (!next->continuing || !continues(*next))
        return false;
    after = next->after;
    return true;
}

MoveBoxCommand::MoveBoxCommand(BBoxList *boxes, int row, const BoxInfo &to, bool continuing)
    : LineEditCommand(boxes, row, continuing)
    , to(to)
{
}

void MoveBoxCommand::apply()
{
    list->setGeometry(row, to.cx, to.cy, to.cw, to.ch);
}

MovePointCommand::MovePointCommand(BBoxList *boxes, int row, int point, double x, double y,
                                   bool continuing)
    : LineEditCommand(boxes, row, continuing)
    , point(point)
    , x(x)
    , y(y)
{
}

void MovePointCommand::apply()
{
    list->setPoint(row, point, x, y);
}

bool MovePointCommand::continues(const LineEditCommand &other) const
{
    return LineEditCommand::continues(other)
        && static_cast<const MovePointCommand &>(other).point == point;
}

ReshapeCommand::ReshapeCommand(BBoxList *boxes, int row, const BoxInfo &to, bool continuing)
    : LineEditCommand(boxes, row, continuing)
    , to(to)
{
}

void ReshapeCommand::apply()
{
    list->setBox(row, to);
}

CategoryCommand::CategoryCommand(BBoxList *boxes, int row, int catId)
    : BoxCommand(boxes)
    , row(row)
    , from(boxAt(boxes, row).catId)
    , to(catId)
{
}

void CategoryCommand::redo()
{
    list->setCategory(row, to);
}

void CategoryCommand::undo()
{
    list->setCategory(row, from);
}
