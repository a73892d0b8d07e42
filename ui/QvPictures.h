// The program's drawn pictures: the beacon emblem (header picture and program icon) and the
// footer banner. Drawn as vector shapes, so they stay sharp at any screen scale.
#pragma once

#include <QIcon>
#include <QWidget>

class QPainter;
class QRectF;

enum EQvPicture : uint8_t { PIC_EMBLEM, PIC_BANNER };

class TQvPictures {
public:
    TQvPictures() = delete;

    // A beacon on the sea floor sending acoustic rings, on a round sea-blue badge.
    static void PaintEmblem(QPainter& painter, const QRectF& rect);
    // A band of deep water with wave lines and a faint ring pattern.
    static void PaintBanner(QPainter& painter, const QRectF& rect);
    // The program icon at the usual icon sizes.
    static QIcon AppIcon();
};

// A widget that shows one of the pictures at its own size.
class TQvPictureBox : public QWidget {
public:
    TQvPictureBox(EQvPicture picture, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    EQvPicture fPicture;
};
