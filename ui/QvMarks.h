// The signs that tell how something went, drawn as vector shapes so they stay sharp at any
// screen scale, each with its colours. Shape and word carry the meaning; colour only adds to it.
#pragma once

#include <QColor>

#include <cstdint>

class QPainter;
class QRectF;

enum EQvMark : uint8_t {
    MARK_NONE,
    MARK_RUNNING,  // an operation in progress: a ring with a dot
    MARK_DONE,     // completed: a tick in a green disc
    MARK_WARNING,  // a warning or a stop: "!" in an amber triangle
    MARK_ERROR     // an error or an abort: a cross in a red disc
};

struct TQvMarkColours {
    QColor Sign;       // the shape's fill
    QColor Text;       // text in that meaning, readable on white and on Tint
    QColor Tint;       // a light background in that meaning
};

class TQvMarks {
public:
    TQvMarks() = delete;

    static TQvMarkColours Colours(EQvMark mark);
    // Draws the sign centred in `rect` (a square of its smaller side).
    static void Paint(QPainter& painter, const QRectF& rect, EQvMark mark);
};
