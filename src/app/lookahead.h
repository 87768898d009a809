#pragma once

#include <QObject>
#include <QSize>
#include <QVariantList>

class ImageDecoder;

// Keeps the images of some rows of the image list decoded at one size, ahead of any Image item
// asking for them: the editor names the open image and the two that PageDown and PageUp would
// open, at the size it shows a picture that fits it, so that the next one is ready before the
// key is pressed. Rows below 0 are left out; no rows (or no size) lets go of all.
class Lookahead : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QVariantList rows READ rows WRITE setRows NOTIFY rowsChanged)
    // In pixels, as the Image items' requests give them.
    Q_PROPERTY(QSize size READ size WRITE setSize NOTIFY sizeChanged)

public:
    explicit Lookahead(QObject *parent = nullptr);
    ~Lookahead() override;

    QVariantList rows() const { return wanted; }
    void setRows(const QVariantList &rows);
    QSize size() const { return decodeSize; }
    void setSize(const QSize &size);
    // How many of the images are decoded and kept.
    Q_INVOKABLE int readyCount() const;

signals:
    void rowsChanged();
    void sizeChanged();

private:
    ImageDecoder *decoder() const;
    void apply();

    QVariantList wanted;
    QSize decodeSize;
};
