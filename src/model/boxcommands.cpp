#include "model/boxcommands.h"

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

MoveBoxCommand::MoveBoxCommand(BBoxList *boxes, int row, const BoxInfo &to, bool continuing)
    : BoxCommand(boxes)
    , row(row)
    , from(boxAt(boxes, row))
    , to(to)
    , continuing(continuing)
{
}

void MoveBoxCommand::apply(BBoxList *boxes, int row, const BoxInfo &geometry)
{
    boxes->setGeometry(row, geometry.cx, geometry.cy, geometry.cw, geometry.ch);
}

void MoveBoxCommand::redo()
{
    apply(list, row, to);
}

void MoveBoxCommand::undo()
{
    apply(list, row, from);
}

bool MoveBoxCommand::mergeWith(const QUndoCommand *other)
{
    const auto *next = static_cast<const MoveBoxCommand *>(other);
    if (!next->continuing || next->list != list || next->row != row)
        return false;
    to = next->to;
    return true;
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
