#include "review/disagreements.h"

#include <QCoreApplication>
#include <QVarLengthArray>

#include <algorithm>

namespace disagreement {

namespace {

// Overlap below this is no overlap at all.
constexpr double touching = 0.1;

} // namespace

const char *kindName(Kind kind)
{
    switch (kind) {
    case Kind::Missing:
        return "missing";
    case Kind::Spurious:
        return "spurious";
    case Kind::WrongClass:
        return "wrong-class";
    case Kind::Mislocated:
        break;
    }
    return "mislocated";
}

QString kindTitle(Kind kind)
{
    switch (kind) {
    case Kind::Missing:
        return QCoreApplication::translate("disagreement", "missing label");
    case Kind::Spurious:
        return QCoreApplication::translate("disagreement", "spurious label");
    case Kind::WrongClass:
        return QCoreApplication::translate("disagreement", "wrong class");
    case Kind::Mislocated:
        break;
    }
    return QCoreApplication::translate("disagreement", "mislocated");
}

double iou(const yolo::Prediction &a, const BoxInfo &b)
{
    const double ax = a.cx, ay = a.cy, aw = a.cw, ah = a.ch;
    const double w
        = std::min(ax + aw / 2, b.cx + b.cw / 2) - std::max(ax - aw / 2, b.cx - b.cw / 2);
    const double h
        = std::min(ay + ah / 2, b.cy + b.ch / 2) - std::max(ay - ah / 2, b.cy - b.ch / 2);
    if (!(w > 0 && h > 0))
        return 0;
    const double both = w * h;
    const double either = aw * ah + b.cw * b.ch - both;
    return either > 0 ? both / either : 0;
}

Findings match(const BoxRecords &labels, const QVector<yolo::Prediction> &predictions,
               const Thresholds &thresholds)
{
    const int nLabels = labels.size(), nPredictions = predictions.size();
    Findings findings;
    if (nLabels == 0 && nPredictions == 0)
        return findings;
    // The predictions that count, the most confident first.
    QVarLengthArray<int, 64> order;
    for (int p = 0; p < nPredictions; ++p) {
        if (predictions[p].confidence >= thresholds.confidence)
            order.append(p);
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return predictions[a].confidence > predictions[b].confidence;
    });
    // The IoU of every counted prediction with every label, a row a prediction.
    QVarLengthArray<float, 1024> overlap(order.size() * nLabels);
    for (int i = 0; i < order.size(); ++i) {
        const yolo::Prediction &p = predictions[order[i]];
        for (int l = 0; l < nLabels; ++l)
            overlap[i * nLabels + l] = float(iou(p, *labels[l]));
    }
    QVarLengthArray<bool, 64> used(nLabels), done(order.size());
    std::fill(used.begin(), used.end(), false);
    std::fill(done.begin(), done.end(), false);
    // The unused label that prediction i overlaps most within [low, high), of its class or of
    // another; -1 for none. Ties go to the first label.
    auto best = [&](int i, bool sameClass, double low, double high) {
        const int catId = predictions[order[i]].catId;
        int found = -1;
        float most = -1;
        for (int l = 0; l < nLabels; ++l) {
            const float v = overlap[i * nLabels + l];
            if (used[l] || (labels[l]->catId == catId) != sameClass || v < low || v >= high)
                continue;
            if (v > most) {
                most = v;
                found = l;
            }
        }
        return found;
    };
    auto pass = [&](bool sameClass, double low, double high, Kind kind, bool report) {
        for (int i = 0; i < order.size(); ++i) {
            if (done[i])
                continue;
            const int l = best(i, sameClass, low, high);
            if (l < 0)
                continue;
            done[i] = used[l] = true;
            if (!report)
                continue;
            const float v = overlap[i * nLabels + l];
            const float score = kind == Kind::Mislocated ? 1 - v : predictions[order[i]].confidence;
            findings.append({kind, order[i], l, v, score});
        }
    };
    const double threshold = thresholds.iou;
    pass(true, threshold, 2, Kind::Missing, false);
    pass(false, threshold, 2, Kind::WrongClass, true);
    pass(true, touching, threshold, Kind::Mislocated, true);
    for (int i = 0; i < order.size(); ++i) {
        const float *row = overlap.constData() + i * nLabels;
        if (!done[i] && std::all_of(row, row + nLabels, [](float v) { return v < touching; }))
            findings.append({Kind::Missing, order[i], -1, 0, predictions[order[i]].confidence});
    }
    for (int l = 0; l < nLabels; ++l) {
        if (used[l])
            continue;
        bool seen = false;
        float doubt = 0;
        for (int p = 0; p < nPredictions && !seen; ++p) {
            if (iou(predictions[p], *labels[l]) < touching)
                continue;
            if (predictions[p].confidence >= thresholds.confidence)
                seen = true;
            else
                doubt = std::max(doubt, predictions[p].confidence);
        }
        if (!seen)
            findings.append({Kind::Spurious, -1, l, 0, (1 - doubt) / 2});
    }
    std::stable_sort(findings.begin(), findings.end(),
                     [](const Finding &a, const Finding &b) { return a.score > b.score; });
    return findings;
}

float scoreOf(const Findings &findings)
{
    return findings.isEmpty() ? 0 : findings.first().score;
}

} // namespace disagreement
