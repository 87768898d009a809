#include "edit/editsession.h"

#include "dataset/bboxlist.h"
#include "dataset/categorytable.h"
#include "dataset/imagelist.h"
#include "edit/boxcommands.h"
#include "edit/recoveryjournal.h"
#include "io/fileio.h"
#include "io/logging.h"

#include <QAbstractProxyModel>
#include <QFileInfo>
#include <QQmlEngine>
#include <QUndoStack>

#include <algorithm>
#include <cmath>

EditSession *EditSession::s_instance = nullptr;

EditSession::EditSession(ImageList *images, QObject *parent)
    : QObject(parent)
    , imageList(images)
    , categoryTable(new CategoryTable)
    , recoveryJournal(new RecoveryJournal(images, this))
{
    categoryTable->setParent(this);
    // Whatever may make or clear unsaved edits is kept in the recovery file.
    connect(this, &EditSession::historyChanged, recoveryJournal, &RecoveryJournal::schedule);
    connect(this, &EditSession::ableToSaveChanged, recoveryJournal, &RecoveryJournal::schedule);
    connect(recoveryJournal, &RecoveryJournal::pendingChanged, this, &EditSession::recoveryChanged);
    categoryTable->setClassNames(imageList->classNames());
    connect(imageList, &ImageList::classNamesChanged, this,
            [this] { categoryTable->setClassNames(imageList->classNames()); });
    // The open row follows rows inserted and removed before it; the editor closes when its
    // image goes.
    connect(imageList, &QAbstractItemModel::modelReset, this, &EditSession::close);
    connect(imageList, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex &, int first, int last) {
                if (openRow < first)
                    return;
                if (openRow <= last) {
                    close();
                    return;
                }
                openRow -= last - first + 1;
                emit openChanged();
            });
    connect(imageList, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) {
                if (openRow < first)
                    return;
                openRow += last - first + 1;
                emit openChanged();
            });
    s_instance = this;
}

EditSession::~EditSession()
{
    // An orderly end: the user has saved or discarded what was unsaved.
    recoveryJournal->finish();
    s_instance = nullptr;
}

void EditSession::create()
{
    auto *session = new EditSession(ImageList::instance());
    QQmlEngine::setObjectOwnership(session, QQmlEngine::CppOwnership);
    QQmlEngine::setObjectOwnership(session->categories(), QQmlEngine::CppOwnership);
    qmlRegisterSingletonInstance("Pallaster", 1, 0, "EditSession", session);
    qmlRegisterSingletonInstance("Pallaster", 1, 0, "Categories", session->categories());
}

EditSession *EditSession::instance()
{
    if (!s_instance)
        create();
    return s_instance;
}

QUndoStack *EditSession::history(BBoxList *boxes)
{
    auto found = histories.find(boxes);
    if (found != histories.end())
        return found->second.get();
    auto stack = std::make_unique<QUndoStack>();
    stack->setUndoLimit(undoLimit);
    QUndoStack *result = stack.get();
    histories.emplace(boxes, std::move(stack));
    connect(boxes, &QObject::destroyed, this, [this, boxes] { histories.erase(boxes); });
    // A list read again from its file no longer has the boxes its history speaks of.
    connect(boxes, &QAbstractItemModel::modelReset, this, [this, boxes] {
        forgetHistory(boxes);
        if (boxes == openBoxes)
            clearSelection();
    });
    return result;
}

void EditSession::forgetHistory(BBoxList *boxes)
{
    const auto found = histories.find(boxes);
    if (found == histories.end())
        return;
    found->second->clear();
    if (boxes == openBoxes)
        emit historyChanged();
}

bool EditSession::canUndo() const
{
    const auto found = histories.find(openBoxes.data());
    return found != histories.end() && found->second->canUndo();
}

bool EditSession::canRedo() const
{
    const auto found = histories.find(openBoxes.data());
    return found != histories.end() && found->second->canRedo();
}

void EditSession::setOpen(int row)
{
    for (const QMetaObject::Connection &c : qAsConst(boxConnections))
        disconnect(c);
    boxConnections.clear();
    selected = -1;
    const auto info = imageList->imageAt(row);
    openRow = info ? row : -1;
    openBoxes = info ? info->bboxes.get() : nullptr;
    openImagePath = info ? info->filePath : QString();
    openCaption = info ? info->fileName : QString();
    openLabelPath = info ? info->yoloTxtFilePath : QString();
    openImageSize = info ? io::imageSize(info->filePath) : QSize();
    if (openBoxes) {
        history(openBoxes);
        BBoxList *boxes = openBoxes;
        // Any edit of the open boxes, through here or not, enables Save and Reset.
        boxConnections << connect(boxes, &BBoxList::modifiedChanged, this, [this, boxes] {
            if (boxes->isModified())
                setAbleToSave(true);
        });
        // What the grid's filters and the class counts look at: rows, classes, unsaved.
        const auto edited = [this] { imageList->editedRow(openRow); };
        boxConnections << connect(boxes, &BBoxList::modifiedChanged, this, edited);
        boxConnections << connect(boxes, &QAbstractItemModel::rowsInserted, this, edited);
        boxConnections << connect(boxes, &QAbstractItemModel::rowsRemoved, this, edited);
        boxConnections << connect(boxes, &QAbstractItemModel::modelReset, this, edited);
        boxConnections << connect(
            boxes, &QAbstractItemModel::dataChanged, this,
            [edited](const QModelIndex &, const QModelIndex &, const QVector<int> &roles) {
                if (roles.isEmpty() || roles.contains(BBoxList::CatId))
                    edited();
            });
        // The selection stays on its box while rows before it come and go.
        boxConnections << connect(boxes, &QAbstractItemModel::rowsRemoved, this,
                                  [this](const QModelIndex &, int first, int last) {
                                      if (selected < first)
                                          return;
                                      select(selected <= last ? -1 : selected - (last - first + 1));
                                  });
        boxConnections << connect(boxes, &QAbstractItemModel::rowsInserted, this,
                                  [this](const QModelIndex &, int first, int last) {
                                      if (selected >= first)
                                          select(selected + last - first + 1);
                                  });
    }
    emit selectedBoxChanged();
    emit openChanged();
    emit historyChanged();
}

void EditSession::open(int row)
{
    if (!imageList->imageAt(row))
        return;
    setOpen(row);
    const auto &categories = categoryTable->categories();
    setCurrentCatId(categories.isEmpty() ? 0 : categories.first().catId);
    setMessage(QString());
    setAbleToSave(false);

    BBoxList *boxes = openBoxes;
    bool replaced = false;
    if (boxes->changedOnDisk(openLabelPath)) {
        if (boxes->isModified())
            replaced = true;
        else
            imageList->yoloReloadRow(row);
    }
    // An image without a label file gets one from Save (an empty one marks it reviewed) or
    // once it has boxes; opening alone makes none.
    if (!imageList->hasLabelFile(row) && boxes->rowCount() == 0
        && boxes->foreignLines().isEmpty()) {
        setAbleToSave(imageList->labelsWritable());
        return;
    }
    // A dataset that cannot be written is reviewed without trying: only edits enable Save.
    if (!imageList->labelsWritable()) {
        setAbleToSave(boxes->isModified());
        return;
    }
    // Looking writes nothing: only edits kept from an earlier visit are written on opening, and
    // not those made for review elsewhere (fixes of the problems panel).
    if (!boxes->isModified())
        return;
    if (held.contains(boxes)) {
        setAbleToSave(true);
        return;
    }
    const int foreignLine = boxes->firstForeignLine(openLabelPath);
    if (foreignLine > 0) {
        setAbleToSave(true);
        setMessage(tr("%1 has lines that are not labels (the first is line %2). It was not "
                      "written on opening; only Save will replace it.")
                       .arg(openLabelPath)
                       .arg(foreignLine));
        return;
    }
    if (writeLabels()) {
        if (replaced)
            setMessage(tr("%1 had changed on disk since it was read; it was replaced by the "
                          "boxes edited here.")
                           .arg(openLabelPath));
    } else if (!io::folderWritable(QFileInfo(openLabelPath).path())) {
        // Not this file but its whole folder: said once, and not tried again on opening.
        imageList->markLabelsReadOnly();
        setMessage(imageList->notice());
        setAbleToSave(boxes->isModified());
    }
}

void EditSession::close()
{
    if (openRow < 0)
        return;
    setOpen(-1);
    setMessage(QString());
    setAbleToSave(false);
}

void EditSession::setOrder(QAbstractProxyModel *order)
{
    viewOrder = order;
}

int EditSession::neighbourRow(int step) const
{
    if (openRow < 0 || step == 0)
        return -1;
    if (!viewOrder) {
        const int next = openRow + step;
        return next >= 0 && next < imageList->rowCount() ? next : -1;
    }
    const QModelIndex shown = viewOrder->mapFromSource(imageList->index(openRow, 0));
    if (shown.isValid()) {
        const QModelIndex next = viewOrder->index(shown.row() + step, 0);
        return next.isValid() ? viewOrder->mapToSource(next).row() : -1;
    }
    // The open image is not shown (an edit took it out of the filter): the nearest shown row
    // on that side, in list order, which is the order of the rows shown.
    const int direction = step > 0 ? 1 : -1;
    int remaining = std::abs(step);
    for (int row = openRow + direction; row >= 0 && row < imageList->rowCount(); row += direction) {
        if (viewOrder->mapFromSource(imageList->index(row, 0)).isValid() && --remaining == 0)
            return row;
    }
    return -1;
}

void EditSession::openNeighbour(int step)
{
    if (openRow < 0)
        return;
    const int next = neighbourRow(step);
    if (next < 0) {
        setMessage(step > 0 ? tr("This is the last image.") : tr("This is the first image."));
        return;
    }
    open(next);
}

bool EditSession::save()
{
    qCDebug(lcEditor, "Save");
    return writeLabels();
}

bool EditSession::writeLabels()
{
    if (!openBoxes)
        return false;
    const ImageList::Origin origin = imageList->origin();
    if (origin == ImageList::Origin::DatasetJson || origin == ImageList::Origin::CocoInstances) {
        // The image's boxes live in the dataset's own file, written whole.
        QString error;
        if (imageList->saveToOrigin(&error)) {
            for (const auto &entry : histories)
                entry.second->setClean();
            imageList->editedRow(openRow);
            setAbleToSave(false);
            setMessage(QString());
            return true;
        }
        setAbleToSave(true);
        setMessage(origin == ImageList::Origin::CocoInstances
                       ? tr("Edits of a COCO instances file are kept until you export it: File → "
                            "Export COCO instances file…")
                       : tr("Could not write %1: %2").arg(imageList->originFile(), error));
        return false;
    }
    if (openBoxes->saveTxtFile(openLabelPath)) {
        held.remove(openBoxes);
        imageList->editedRow(openRow);
        setAbleToSave(false);
        setMessage(QString());
        return true;
    }
    setAbleToSave(true);
    setMessage(tr("Could not write %1: %2").arg(openLabelPath, openBoxes->saveError()));
    return false;
}

void EditSession::reset()
{
    if (openRow < 0)
        return;
    setAbleToSave(false);
    setMessage(QString());
    clearSelection();
    if (openLabelPath.isEmpty()) {
        // Boxes that live in a dataset file: back through the history to where they were read
        // or last saved.
        QUndoStack *stack = history(openBoxes);
        stack->setIndex(std::max(stack->cleanIndex(), 0));
        openBoxes->markSaved();
        imageList->editedRow(openRow);
        emit historyChanged();
        return;
    }
    // Reading the file again resets the list, which drops its history (redo too).
    imageList->yoloReloadRow(openRow);
    forgetHistory(openBoxes);
}

void EditSession::select(int box)
{
    if (!openBoxes || box < 0 || box >= openBoxes->rowCount())
        box = -1;
    if (selected == box)
        return;
    selected = box;
    selectPoint(-1);
    stopPlacing();
    emit selectedBoxChanged();
}

void EditSession::selectPoint(int point)
{
    if (selectedKeypoint == point)
        return;
    selectedKeypoint = point;
    emit selectedPointChanged();
}

void EditSession::cycleVisibility()
{
    if (!openBoxes || selected < 0 || selected >= openBoxes->rowCount())
        return;
    BoxInfo line = *openBoxes->boxList().at(selected);
    const int at = selectedKeypoint * 3 + 2;
    if (line.kind() != ShapeKind::Keypoints || line.shape().dims() != 3 || selectedKeypoint < 0
        || at >= line.shape().size())
        return;
    line.editShape().set(at, (int(line.shape().at(at)) + 1) % 3);
    push(new ReshapeCommand(openBoxes, selected, line, false));
}

void EditSession::placeKeypoint(double x, double y)
{
    if (!openBoxes || placing < 0 || selected < 0 || selected >= openBoxes->rowCount())
        return;
    const int count = openBoxes->boxList().at(selected)->shape().pointCount();
    movePoint(selected, placing, x, y, false);
    placing = placing + 1 < count ? placing + 1 : -1;
    emit placingPointChanged();
    setMessage(placing < 0 ? QString()
                           : tr("Click keypoint %1 of %2 (Esc leaves the rest unlabelled)")
                                 .arg(placing + 1)
                                 .arg(count));
}

void EditSession::stopPlacing()
{
    if (placing < 0)
        return;
    placing = -1;
    emit placingPointChanged();
    setMessage(QString());
}

int EditSession::boxAt(double x, double y, int after) const
{
    if (!openBoxes)
        return -1;
    QVector<int> holding;
    const BoxRecords &records = openBoxes->boxList();
    for (int row = 0; row < records.size(); ++row) {
        const BoxInfo &box = *records.at(row);
        if (std::abs(x - box.cx) <= box.cw / 2 && std::abs(y - box.cy) <= box.ch / 2)
            holding.append(row);
    }
    std::stable_sort(holding.begin(), holding.end(), [&records](int a, int b) {
        return records.at(a)->cw * records.at(a)->ch < records.at(b)->cw * records.at(b)->ch;
    });
    if (holding.isEmpty())
        return -1;
    const int at = holding.indexOf(after);
    return holding.at(at < 0 ? 0 : (at + 1) % holding.size());
}

void EditSession::selectStep(int step)
{
    if (!openBoxes)
        return;
    const int n = openBoxes->rowCount();
    if (n == 0)
        return;
    if (selected < 0)
        select(step > 0 ? 0 : n - 1);
    else
        select(((selected + step) % n + n) % n);
}

void EditSession::editImage(int row, const QVector<QPair<int, BoxInfo>> &moves,
                            QVector<int> removals, const QString &text)
{
    const auto info = imageList->imageAt(row);
    if (!info || (moves.isEmpty() && removals.isEmpty()))
        return;
    BBoxList *boxes = info->bboxes.get();
    QUndoStack *stack = history(boxes);
    stack->beginMacro(text);
    for (const auto &move : moves) {
        if (move.first >= 0 && move.first < boxes->rowCount())
            stack->push(new MoveBoxCommand(boxes, move.first, move.second, false));
    }
    // From the last, so that the rows still to go keep their numbers.
    std::sort(removals.begin(), removals.end(), std::greater<int>());
    removals.erase(std::unique(removals.begin(), removals.end()), removals.end());
    for (int box : qAsConst(removals)) {
        if (box >= 0 && box < boxes->rowCount())
            stack->push(new DeleteBoxCommand(boxes, box));
    }
    stack->endMacro();
    held.insert(boxes);
    connect(boxes, &QObject::destroyed, this, [this, boxes] { held.remove(boxes); });
    if (row != openRow)
        imageList->editedRow(row);
    emit historyChanged();
}

void EditSession::record(int row, QUndoCommand *command)
{
    const auto info = imageList->imageAt(row);
    if (!info) {
        delete command;
        return;
    }
    history(info->bboxes.get())->push(command);
    if (row == openRow) {
        if (const auto *edit = dynamic_cast<const BoxCommand *>(command))
            select(edit->selectionAfter(false));
    } else {
        imageList->editedRow(row);
    }
    emit historyChanged();
}

void EditSession::push(BoxCommand *command)
{
    history(openBoxes)->push(command);
    emit historyChanged();
}

void EditSession::addBox(int catId, double x, double y, double width, double height)
{
    if (!openBoxes || !(width > 0 && height > 0))
        return;
    qCDebug(lcEditor).noquote() << "Activated" << categoryTable->nameOf(catId);
    BoxInfo box;
    box.catId = catId;
    box.cx = std::clamp(x, 0.0, width) / width;
    box.cy = std::clamp(y, 0.0, height) / height;
    box.cw = BBoxList::newBoxSize;
    box.ch = BBoxList::newBoxSize;
    noteUsed(catId);
    push(new AddBoxCommand(openBoxes, box));
}

void EditSession::addPolygon(int catId, const QVariantList &points)
{
    QVector<double> values;
    for (const QVariant &value : points)
        values << value.toDouble();
    const BoxInfo polygon = shape::polygonThrough(catId, values);
    if (!openBoxes || polygon.kind() != ShapeKind::Polygon)
        return;
    noteUsed(catId);
    push(new AddBoxCommand(openBoxes, polygon));
    select(openBoxes->rowCount() - 1);
    const BoxRecords &lines = openBoxes->boxList();
    const bool mixed = std::any_of(lines.cbegin(), lines.cend(), [](const auto &line) {
        return line->kind() != ShapeKind::Polygon;
    });
    if (mixed)
        setMessage(tr("This label file now holds boxes and polygons. A YOLO trainer reads every "
                      "line of a file with a polygon as a polygon, which spoils its boxes: keep "
                      "one kind in a file."));
}

bool EditSession::insertVertexAt(int box, double x, double y, double width, double height)
{
    if (!openBoxes || box < 0 || box >= openBoxes->rowCount())
        return false;
    BoxInfo line = *openBoxes->boxList().at(box);
    const int edge = shape::edgeNear(line, x, y, width, height, 6);
    if (edge < 0 || !shape::insertVertex(line, edge, x, y))
        return false;
    push(new ReshapeCommand(openBoxes, box, line, false));
    return true;
}

int EditSession::vertexAt(int box, double x, double y, double width, double height) const
{
    if (!openBoxes || box < 0 || box >= openBoxes->rowCount())
        return -1;
    const BoxInfo &line = *openBoxes->boxList().at(box);
    if (line.kind() != ShapeKind::Polygon)
        return -1;
    const ShapePoints &v = line.shape();
    int nearest = -1;
    double best = 6.0 * 6.0;
    for (int i = 0; i < v.pointCount(); ++i) {
        const double dx = (v.at(2 * i) - x) * width, dy = (v.at(2 * i + 1) - y) * height;
        if (dx * dx + dy * dy <= best) {
            best = dx * dx + dy * dy;
            nearest = i;
        }
    }
    return nearest;
}

bool EditSession::removeVertex(int box, int point)
{
    if (!openBoxes || box < 0 || box >= openBoxes->rowCount())
        return false;
    BoxInfo line = *openBoxes->boxList().at(box);
    if (!shape::removeVertex(line, point))
        return false;
    push(new ReshapeCommand(openBoxes, box, line, false));
    return true;
}

void EditSession::rotateBox(int box, double radians, double width, double height, bool continuing)
{
    if (!openBoxes || box < 0 || box >= openBoxes->rowCount())
        return;
    BoxInfo line = *openBoxes->boxList().at(box);
    if (shape::rotate(line, radians, width, height))
        push(new ReshapeCommand(openBoxes, box, line, continuing));
}

void EditSession::drawBox(int catId, double x0, double y0, double x1, double y1, double width,
                          double height)
{
    if (!openBoxes || !(width > 0 && height > 0))
        return;
    const double left = std::clamp(std::min(x0, x1), 0.0, width);
    const double right = std::clamp(std::max(x0, x1), 0.0, width);
    const double top = std::clamp(std::min(y0, y1), 0.0, height);
    const double bottom = std::clamp(std::max(y0, y1), 0.0, height);
    if (right <= left || bottom <= top)
        return;
    BoxInfo box;
    box.catId = catId;
    box.cx = (left + right) / 2 / width;
    box.cy = (top + bottom) / 2 / height;
    box.cw = (right - left) / width;
    box.ch = (bottom - top) / height;
    noteUsed(catId);
    push(new AddBoxCommand(openBoxes, box));
    select(openBoxes->rowCount() - 1);
    // A pose line: its keypoints are placed by the next clicks, in order.
    const BoxInfo &added = *openBoxes->boxList().last();
    if (added.kind() == ShapeKind::Keypoints && added.shape().pointCount() > 0) {
        placing = 0;
        emit placingPointChanged();
        setMessage(tr("Click keypoint 1 of %1 (Esc leaves the rest unlabelled)")
                       .arg(added.shape().pointCount()));
    }
}

void EditSession::moveBox(int box, double cx, double cy, double cw, double ch, bool continuing)
{
    if (!openBoxes || box < 0 || box >= openBoxes->rowCount())
        return;
    // An oriented box stays a rectangle of its angle.
    BoxInfo line = *openBoxes->boxList().at(box);
    if (openImageSize.isValid()
        && shape::resizeRectangle(line, cx, cy, cw, ch, openImageSize.width(),
                                  openImageSize.height())) {
        push(new ReshapeCommand(openBoxes, box, line, continuing));
        return;
    }
    BoxInfo to;
    to.cx = cx;
    to.cy = cy;
    to.cw = cw;
    to.ch = ch;
    push(new MoveBoxCommand(openBoxes, box, to, continuing));
}

void EditSession::nudgeSelected(double dx, double dy, double width, double height)
{
    if (!openBoxes || selected < 0 || !(width > 0 && height > 0))
        return;
    const BoxInfo &box = *openBoxes->boxList().at(selected);
    const double x = (box.cx - box.cw / 2) * width;
    const double y = (box.cy - box.ch / 2) * height;
    const double nx = std::max(0.0, std::min(width - box.cw * width, x + dx));
    const double ny = std::max(0.0, std::min(height - box.ch * height, y + dy));
    if (nx == x && ny == y)
        return;
    moveBox(selected, box.cx + (nx - x) / width, box.cy + (ny - y) / height, box.cw, box.ch, false);
}

void EditSession::movePoint(int box, int point, double x, double y, bool continuing)
{
    if (!openBoxes || box < 0 || box >= openBoxes->rowCount())
        return;
    push(new MovePointCommand(openBoxes, box, point, x, y, continuing));
}

void EditSession::deleteBox(int box)
{
    if (!openBoxes || box < 0 || box >= openBoxes->rowCount())
        return;
    push(new DeleteBoxCommand(openBoxes, box));
}

void EditSession::setCategory(int box, int catId)
{
    if (!openBoxes || box < 0 || box >= openBoxes->rowCount()
        || openBoxes->boxList().at(box)->catId == catId)
        return;
    push(new CategoryCommand(openBoxes, box, catId));
}

void EditSession::noteUsed(int catId)
{
    recent.removeAll(catId);
    recent.prepend(catId);
    while (recent.size() > 5)
        recent.removeLast();
    emit recentCategoriesChanged();
}

void EditSession::chooseCategory(int catId)
{
    noteUsed(catId);
    if (selected >= 0)
        setCategory(selected, catId);
    else
        setCurrentCatId(catId);
}

// After an undo or redo the box it changed is selected, so that the next key acts on it.
void EditSession::undo()
{
    QUndoStack *stack = openBoxes ? history(openBoxes) : nullptr;
    if (!stack || !stack->canUndo())
        return;
    // A fix of several boxes is a macro, not one box's command: nothing stays selected.
    const auto *command = dynamic_cast<const BoxCommand *>(stack->command(stack->index() - 1));
    stack->undo();
    select(command ? command->selectionAfter(true) : -1);
    emit historyChanged();
}

void EditSession::redo()
{
    QUndoStack *stack = openBoxes ? history(openBoxes) : nullptr;
    if (!stack || !stack->canRedo())
        return;
    const auto *command = dynamic_cast<const BoxCommand *>(stack->command(stack->index()));
    stack->redo();
    select(command ? command->selectionAfter(false) : -1);
    emit historyChanged();
}

int EditSession::recoveryCount() const
{
    return recoveryJournal->pending();
}

void EditSession::restoreRecovery()
{
    recoveryJournal->restore();
}

void EditSession::discardRecovery()
{
    recoveryJournal->discard();
}

void EditSession::setAbleToSave(bool value)
{
    if (saveEnabled == value)
        return;
    saveEnabled = value;
    emit ableToSaveChanged();
}

void EditSession::setMessage(const QString &text)
{
    if (messageText == text)
        return;
    messageText = text;
    emit messageChanged();
}

void EditSession::setCurrentCatId(int catId)
{
    if (currentCategory == catId)
        return;
    currentCategory = catId;
    emit currentCatIdChanged();
}
