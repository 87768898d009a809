#include "review/predictions.h"

#include "dataset/categorytable.h"
#include "dataset/imagefilter.h"
#include "dataset/imagelist.h"
#include "edit/boxcommands.h"
#include "edit/editsession.h"
#include "io/fileio.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QTimer>
#include <QUndoCommand>

#include <algorithm>

namespace {

// The matching runs on the GUI thread in slices no longer than this.
constexpr qint64 sliceMs = 8;

const QVector<yolo::Prediction> noPredictions;
const disagreement::Findings noFindings;

// A dismissal, undone and done again with the image's edits.
class DismissCommand : public QUndoCommand
{
public:
    DismissCommand(Predictions *owner, QString image, QString key)
        : QUndoCommand(QCoreApplication::translate("Predictions", "Dismiss"))
        , owner(owner)
        , image(std::move(image))
        , key(std::move(key))
    {
    }
    void redo() override
    {
        if (owner)
            owner->setDismissed(image, key, true);
    }
    void undo() override
    {
        if (owner)
            owner->setDismissed(image, key, false);
    }

private:
    QPointer<Predictions> owner;
    QString image, key;
};

} // namespace

Predictions::Predictions(ImageList *images, QObject *parent)
    : QObject(parent)
    , imageList(images)
{
    // Rows made or dropped, or the dataset read again: the folder is read again for the rows
    // there are. The predictions of one dataset are not another's: they go with it.
    const auto reread = [this] {
        if (folderPath.isEmpty())
            return;
        if (datasetOf() == datasetPath)
            startReading(folderPath);
        else
            close();
    };
    connect(imageList, &QAbstractItemModel::modelReset, this, reread);
    connect(imageList, &QAbstractItemModel::rowsInserted, this, reread);
    connect(imageList, &QAbstractItemModel::rowsRemoved, this, reread);
    // Edits of an image's boxes: its findings are made again. The grid's order and filter stay
    // until the next full match, so that an image does not move away while it is worked on.
    connect(imageList, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &first, const QModelIndex &last) {
                for (int row = first.row(); row <= last.row(); ++row)
                    matchRow(row);
            });
    if (EditSession::hasInstance())
        connect(EditSession::instance(), &EditSession::openChanged, this,
                &Predictions::openRowChanged);
}

Predictions::~Predictions()
{
    stopReading();
}

void Predictions::setShown(bool on)
{
    if (shownFlag == on)
        return;
    shownFlag = on;
    emit shownChanged();
}

void Predictions::setIouThreshold(double value)
{
    value = std::clamp(value, 0.01, 1.0);
    if (qFuzzyCompare(thresholds.iou, value))
        return;
    thresholds.iou = value;
    emit thresholdsChanged();
    rematch();
}

void Predictions::setConfidenceThreshold(double value)
{
    value = std::clamp(value, 0.0, 1.0);
    if (qFuzzyCompare(1 + thresholds.confidence, 1 + value))
        return;
    thresholds.confidence = value;
    emit thresholdsChanged();
    rematch();
}

QString Predictions::summary() const
{
    if (folderPath.isEmpty())
        return QString();
    if (busy)
        return tr("Comparing with the predictions…");
    if (imagesFound == 0)
        return tr("The labels agree with the predictions");
    const QLocale locale(QLocale::English, QLocale::UnitedStates);
    QStringList kinds;
    for (int k = 0; k < disagreement::kindCount; ++k) {
        const auto kind = Kind(k);
        const QString words[]
            = {tr("missing"), tr("spurious"), tr("wrong class"), tr("mislocated")};
        kinds << QStringLiteral("%1 %2").arg(locale.toString(countOf(kind)), words[k]);
    }
    const QString images = imagesFound == 1
        ? tr("1 image with disagreements")
        : tr("%1 images with disagreements").arg(locale.toString(imagesFound));
    return images + QStringLiteral(": ") + kinds.join(QStringLiteral(", "));
}

void Predictions::serve(ImageFilter *filter)
{
    filter->setDisagreementTest([this](int row, int kind) { return hasKind(row, kind); });
    filter->setSuspicion([this](int row) { return score(row); });
    connect(this, &Predictions::folderChanged, filter, [this, filter] {
        if (folderPath.isEmpty()) {
            filter->setDisagreementKind(-1);
            filter->setSuspectFirst(false);
        }
    });
    connect(this, &Predictions::busyChanged, filter, [this, filter] {
        if (!busy)
            QTimer::singleShot(0, filter, &ImageFilter::suspicionChanged);
    });
}

QString Predictions::open(const QString &folder)
{
    if (!QFileInfo(folder).isDir())
        return tr("The predictions folder %1 does not exist.").arg(folder);
    if (QFileInfo(folder).canonicalFilePath()
        == QFileInfo(imageList->labelsFolderPath()).canonicalFilePath())
        return tr("%1 is the labels folder: choose the folder of the predictions.").arg(folder);
    folderPath = QFileInfo(folder).absoluteFilePath();
    datasetPath = datasetOf();
    readDismissals();
    emit folderChanged();
    return startReading(folderPath);
}

QString Predictions::openNow(const QString &folder)
{
    const QString why = open(folder);
    if (!why.isEmpty())
        return why;
    if (reader.joinable())
        reader.join();
    filesRead();
    while (nextRow >= 0)
        matchSlice();
    return QString();
}

void Predictions::close()
{
    stopReading();
    ++generation;
    folderPath.clear();
    datasetPath.clear();
    predicted.clear();
    found.clear();
    hidden.clear();
    masks.clear();
    scores.clear();
    dismissed.clear();
    nextRow = -1;
    recount();
    setBusy(false);
    emit folderChanged();
}

QString Predictions::startReading(const QString &folder)
{
    stopReading();
    ++generation;
    nextRow = -1;
    setBusy(true);
    QStringList paths;
    paths.reserve(imageList->rowCount());
    const QString base = folder + QLatin1Char('/');
    for (int row = 0; row < imageList->rowCount(); ++row)
        paths << base + imageName(row);
    KeypointShape keypoints;
    if (imageList->rowCount() > 0)
        keypoints = imageList->imageAt(0)->bboxes->layout().datasetKeypoints();
    reading = std::make_shared<Read>();
    const int started = generation;
    reader = std::thread([this, paths, keypoints, into = reading, started] {
        into->rows = readFiles(paths, keypoints, stopFlag);
        QMetaObject::invokeMethod(this, [this, started] {
            if (started == generation)
                filesRead();
        });
    });
    return QString();
}

void Predictions::stopReading()
{
    stopFlag = true;
    if (reader.joinable())
        reader.join();
    stopFlag = false;
}

QVector<QVector<yolo::Prediction>> Predictions::readFiles(const QStringList &paths,
                                                          const KeypointShape &keypoints,
                                                          const std::atomic<bool> &stop)
{
    const int n = paths.size();
    QVector<QVector<yolo::Prediction>> rows(n);
    std::atomic<int> next{0};
    // Opening the files is most of the work, and it goes faster on two threads than on one.
    const auto work = [&] {
        QByteArray bytes;
        for (int i = next++; i < n && !stop; i = next++) {
            QString path = paths[i];
            const int slash = path.lastIndexOf(QLatin1Char('/'));
            const int dot = path.lastIndexOf(QLatin1Char('.'));
            if (dot > slash + 1)
                path.truncate(dot);
            path += QLatin1String(".txt");
            if (io::readFile(path, bytes))
                rows[i] = yolo::parsePredictions(bytes, keypoints);
        }
    };
    std::thread second(work);
    work();
    second.join();
    return rows;
}

void Predictions::filesRead()
{
    if (reader.joinable())
        reader.join();
    if (!reading)
        return;
    predicted = std::move(reading->rows);
    reading.reset();
    found = QVector<disagreement::Findings>(predicted.size());
    hidden = QVector<QVector<qint32>>(predicted.size());
    masks = QVector<quint8>(predicted.size(), 0);
    scores = QVector<float>(predicted.size(), 0);
    rematch();
}

void Predictions::rematch()
{
    if (predicted.isEmpty() && folderPath.isEmpty())
        return;
    if (reading)
        return; // the files being read are matched once they are
    ++generation;
    nextRow = 0;
    setBusy(true);
    const int started = generation;
    QTimer::singleShot(0, this, [this, started] {
        if (started == generation)
            matchSlice();
    });
}

void Predictions::matchSlice()
{
    if (nextRow < 0)
        return;
    QElapsedTimer timer;
    timer.start();
    const int rows = std::min(predicted.size(), imageList->rowCount());
    while (nextRow < rows && timer.elapsed() < sliceMs) {
        const int end = std::min(rows, nextRow + 256);
        for (; nextRow < end; ++nextRow)
            matchRow(nextRow);
    }
    if (nextRow < rows) {
        const int started = generation;
        QTimer::singleShot(0, this, [this, started] {
            if (started == generation)
                matchSlice();
        });
        return;
    }
    nextRow = -1;
    recount();
    setBusy(false);
}

void Predictions::matchRow(int row)
{
    if (row < 0 || row >= predicted.size())
        return;
    const auto info = imageList->imageAt(row);
    if (!info)
        return;
    disagreement::Findings all
        = disagreement::match(info->bboxes->boxList(), predicted[row], thresholds);
    QVector<qint32> &hide = hidden[row];
    hide.clear();
    const auto mine
        = dismissed.isEmpty() ? dismissed.constEnd() : dismissed.constFind(imageName(row));
    if (mine != dismissed.constEnd()) {
        all.erase(std::remove_if(all.begin(), all.end(),
                                 [&](const disagreement::Finding &f) {
                                     const bool gone = mine->contains(keyOf(row, f));
                                     if (gone && f.prediction >= 0)
                                         hide << f.prediction;
                                     return gone;
                                 }),
                  all.end());
    }
    const bool same = all.size() == found[row].size()
        && std::equal(all.cbegin(), all.cend(), found[row].cbegin(),
                      [](const disagreement::Finding &a, const disagreement::Finding &b) {
                          return a.kind == b.kind && a.prediction == b.prediction
                              && a.label == b.label && a.score == b.score;
                      });
    quint8 mask = 0;
    for (const disagreement::Finding &f : all)
        mask |= quint8(1u << int(f.kind));
    masks[row] = mask;
    scores[row] = disagreement::scoreOf(all);
    found[row] = std::move(all);
    // A row matched alone (an edit) is counted at once; a full match counts at its end.
    if (nextRow < 0 && !same) {
        recount();
        if (EditSession::hasInstance() && row == EditSession::instance()->row())
            setCurrent(std::min(currentFinding, found[row].size() - 1));
    }
}

void Predictions::recount()
{
    std::fill(std::begin(kindImages), std::end(kindImages), 0);
    std::fill(std::begin(kindCounts), std::end(kindCounts), 0);
    imagesFound = 0;
    rankDirty = true;
    for (int row = 0; row < found.size(); ++row) {
        const disagreement::Findings &f = found[row];
        if (f.isEmpty())
            continue;
        ++imagesFound;
        bool seen[disagreement::kindCount] = {};
        for (const disagreement::Finding &finding : f) {
            ++kindCounts[int(finding.kind)];
            seen[int(finding.kind)] = true;
        }
        for (int k = 0; k < disagreement::kindCount; ++k)
            kindImages[k] += seen[k];
    }
    ++revisionCount;
    emit findingsChanged();
}

void Predictions::setBusy(bool on)
{
    if (busy == on)
        return;
    busy = on;
    emit busyChanged();
    emit findingsChanged();
}

const QVector<yolo::Prediction> &Predictions::of(int row) const
{
    return row >= 0 && row < predicted.size() ? predicted[row] : noPredictions;
}

bool Predictions::isDrawn(int row, int index) const
{
    const QVector<yolo::Prediction> &all = of(row);
    return index >= 0 && index < all.size() && all[index].confidence >= thresholds.confidence
        && !hidden[row].contains(index);
}

const disagreement::Findings &Predictions::findings(int row) const
{
    return row >= 0 && row < found.size() ? found[row] : noFindings;
}

float Predictions::score(int row) const
{
    return row >= 0 && row < scores.size() ? scores[row] : 0;
}

bool Predictions::hasKind(int row, int kind) const
{
    const quint8 mask = row >= 0 && row < masks.size() ? masks[row] : 0;
    return kind < 0 ? mask != 0 : (mask & (1u << kind)) != 0;
}

int Predictions::count(int row, Kind kind) const
{
    const disagreement::Findings &f = findings(row);
    return int(std::count_if(f.cbegin(), f.cend(),
                             [kind](const disagreement::Finding &x) { return x.kind == kind; }));
}

QString Predictions::findingText(int row, int index) const
{
    const disagreement::Findings &f = findings(row);
    if (index < 0 || index >= f.size())
        return QString();
    const disagreement::Finding &finding = f[index];
    const CategoryTable *table = EditSession::instance()->categories();
    QString text = disagreement::kindTitle(finding.kind);
    if (finding.prediction >= 0) {
        const yolo::Prediction &p = of(row)[finding.prediction];
        text += QStringLiteral(": %1 %2").arg(table->nameOf(p.catId)).arg(p.confidence, 0, 'f', 2);
    }
    const auto info = imageList->imageAt(row);
    if (finding.label >= 0 && info && finding.label < info->bboxes->rowCount()) {
        const QString label = table->nameOf(info->bboxes->boxList()[finding.label]->catId);
        text += finding.prediction >= 0 ? tr(", labelled %1").arg(label)
                                        : QStringLiteral(": ") + label;
    }
    if (finding.kind == Kind::Mislocated)
        text += tr(", IoU %1").arg(double(finding.iou), 0, 'f', 2);
    return text;
}

int Predictions::predictionOf(int row, int index) const
{
    const disagreement::Findings &f = findings(row);
    return index >= 0 && index < f.size() ? f[index].prediction : -1;
}

int Predictions::labelOf(int row, int index) const
{
    const disagreement::Findings &f = findings(row);
    return index >= 0 && index < f.size() ? f[index].label : -1;
}

void Predictions::setCurrent(int index)
{
    const int row = EditSession::instance()->row();
    index = findings(row).isEmpty() ? -1 : std::clamp(index, 0, findings(row).size() - 1);
    if (index == currentFinding)
        return;
    currentFinding = index;
    emit currentChanged();
}

void Predictions::openRowChanged()
{
    for (const QMetaObject::Connection &connection : qAsConst(openConnections))
        disconnect(connection);
    openConnections.clear();
    EditSession *session = EditSession::instance();
    if (BBoxList *boxes = session->boxes()) {
        // Every edit of the open image, a drag's too: its findings follow.
        const auto edited = [this, session] { matchRow(session->row()); };
        openConnections = {
            connect(boxes, &QAbstractItemModel::dataChanged, this, edited),
            connect(boxes, &QAbstractItemModel::rowsInserted, this, edited),
            connect(boxes, &QAbstractItemModel::rowsRemoved, this, edited),
            connect(boxes, &QAbstractItemModel::modelReset, this, edited),
        };
    }
    currentFinding = -2; // so that setCurrent reports the change
    setCurrent(0);
}

const QVector<int> &Predictions::ranked() const
{
    if (rankDirty) {
        rankedRows.clear();
        for (int row = 0; row < found.size(); ++row) {
            if (!found[row].isEmpty())
                rankedRows << row;
        }
        std::stable_sort(rankedRows.begin(), rankedRows.end(),
                         [this](int a, int b) { return score(a) > score(b); });
        rankDirty = false;
    }
    return rankedRows;
}

bool Predictions::step(int step)
{
    EditSession *session = EditSession::instance();
    const int row = session->row();
    const int next = currentFinding + step;
    if (row >= 0 && currentFinding >= 0 && next >= 0 && next < findings(row).size()) {
        setCurrent(next);
        session->select(labelOf(row, next));
        return true;
    }
    // The next image in order of score: after this one, or the first when it has none.
    const QVector<int> &order = ranked();
    const int at = order.indexOf(row);
    const int to = at < 0 ? (step > 0 ? 0 : -1) : at + step;
    if (to < 0 || to >= order.size())
        return false;
    session->open(order[to]);
    const int target = session->row();
    setCurrent(step > 0 ? 0 : findings(target).size() - 1);
    session->select(labelOf(target, currentFinding));
    return true;
}

QString Predictions::accept(int index)
{
    EditSession *session = EditSession::instance();
    const int row = session->row();
    const disagreement::Findings &f = findings(row);
    const auto info = imageList->imageAt(row);
    if (!info || index < 0 || index >= f.size())
        return tr("No disagreement to accept");
    const disagreement::Finding finding = f[index];
    BBoxList *boxes = info->bboxes.get();
    const CategoryTable *table = session->categories();
    if (finding.kind == Kind::Spurious) {
        // Named before it goes.
        const QString name = table->nameOf(boxes->boxList()[finding.label]->catId);
        session->record(row, new DeleteBoxCommand(boxes, finding.label));
        return tr("Deleted the %1 label").arg(name);
    }
    if (finding.kind == Kind::WrongClass)
        return takeClass(index);
    const yolo::Prediction &p = of(row)[finding.prediction];
    if (finding.kind == Kind::Mislocated) {
        session->record(row, new MoveBoxCommand(boxes, finding.label, p.box(), false));
        return tr("Moved the %1 label to the prediction").arg(table->nameOf(p.catId));
    }
    BoxInfo box = p.box();
    // A pose prediction's third values are confidences: a point the model sees is visible.
    if (box.kind() == ShapeKind::Keypoints && box.shape().dims() == 3) {
        for (int i = 2; i < box.shape().size(); i += 3)
            box.editShape().set(i, box.shape().at(i) >= 0.5 ? 2 : 0);
    }
    session->record(row, new AddBoxCommand(boxes, box));
    return tr("Added a %1 label").arg(table->nameOf(box.catId));
}

QString Predictions::takeClass(int index)
{
    EditSession *session = EditSession::instance();
    const int row = session->row();
    const disagreement::Findings &f = findings(row);
    const auto info = imageList->imageAt(row);
    if (!info || index < 0 || index >= f.size() || f[index].kind != Kind::WrongClass)
        return tr("The disagreement is not of class");
    const int catId = of(row)[f[index].prediction].catId;
    session->record(row, new CategoryCommand(info->bboxes.get(), f[index].label, catId));
    return tr("The label is now %1").arg(session->categories()->nameOf(catId));
}

QString Predictions::dismiss(int index)
{
    const int row = EditSession::instance()->row();
    const disagreement::Findings &f = findings(row);
    if (index < 0 || index >= f.size())
        return tr("No disagreement to dismiss");
    const QString text = disagreement::kindTitle(f[index].kind);
    EditSession::instance()->record(row,
                                    new DismissCommand(this, imageName(row), keyOf(row, f[index])));
    return tr("Dismissed: %1").arg(text);
}

void Predictions::setDismissed(const QString &image, const QString &key, bool on)
{
    QSet<QString> &keys = dismissed[image];
    if (on)
        keys.insert(key);
    else
        keys.remove(key);
    if (keys.isEmpty())
        dismissed.remove(image);
    writeDismissals();
    for (int row = 0; row < found.size(); ++row) {
        if (imageName(row) == image)
            matchRow(row);
    }
}

QString Predictions::imageName(int row) const
{
    const auto info = imageList->imageAt(row);
    if (!info)
        return QString();
    const QString path = ImageList::plainPath(info->filePath);
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString Predictions::keyOf(int row, const disagreement::Finding &finding) const
{
    if (finding.prediction >= 0)
        return QLatin1String("p ") + yolo::formatLine(of(row)[finding.prediction].box());
    const auto info = imageList->imageAt(row);
    return QLatin1String("l ") + yolo::formatLine(*info->bboxes->boxList()[finding.label]);
}

// One file for each labels folder (or dataset file) and predictions folder.
QString Predictions::datasetOf() const
{
    const QString dataset = imageList->originFile().isEmpty() ? imageList->labelsFolderPath()
                                                              : imageList->originFile();
    return QFileInfo(dataset).absoluteFilePath();
}

QString Predictions::dismissalFile() const
{
    const QByteArray key = QCryptographicHash::hash(
        (datasetPath + QLatin1Char('\n') + folderPath).toUtf8(), QCryptographicHash::Sha1);
    return QStringLiteral("%1/dismissed-%2.tsv")
        .arg(io::stateFolder(), QString::fromLatin1(key.toHex()));
}

// A line a dismissal: the image's name, a tab, the key.
void Predictions::readDismissals()
{
    dismissed.clear();
    QByteArray bytes;
    if (!io::readFile(dismissalFile(), bytes))
        return;
    for (const QByteArray &line : bytes.split('\n')) {
        const int tab = line.indexOf('\t');
        if (tab > 0)
            dismissed[QString::fromUtf8(line.left(tab))].insert(
                QString::fromUtf8(line.mid(tab + 1)));
    }
}

void Predictions::writeDismissals() const
{
    QByteArray bytes;
    QStringList images = dismissed.keys();
    std::sort(images.begin(), images.end());
    for (const QString &image : qAsConst(images)) {
        QStringList keys = dismissed[image].values();
        std::sort(keys.begin(), keys.end());
        for (const QString &key : qAsConst(keys))
            bytes += image.toUtf8() + '\t' + key.toUtf8() + '\n';
    }
    const QString path = dismissalFile();
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (bytes.isEmpty())
        io::removeFile(path);
    else
        io::writeFile(path, bytes);
}
