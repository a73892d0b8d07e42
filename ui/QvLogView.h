// The program log on screen: one line per log entry, exactly the entry's message, in a
// monospaced font. Error and warning lines are marked with a sign in a narrow column at the left
// (a cross in a red disc, "!" in an amber triangle) and coloured text. New lines follow at the
// bottom while the view is there; the view stays where the operator scrolled sideways, at the
// start of the lines unless the operator moved it.
#pragma once

#include "framework/CvAppLog.h"

#include <QPlainTextEdit>

class TQvLogView : public QPlainTextEdit {
public:
    explicit TQvLogView(QWidget* parent = nullptr);

    // Adds a line at the end.
    void AddLine(const QString& text, TCvAppLogMsgType type);
    // The type of line `line` (0 for the first); logInfo for lines added otherwise.
    TCvAppLogMsgType LineType(int line) const;
    // The rectangle of the sign of line `line` in view coordinates; empty when it is not shown.
    QRect MarkRect(int line) const;

    // A monospaced font of `pointSize` points: the design's typewriter face where the system
    // maps it to one, else the system's fixed font, else any family that measures as monospaced.
    static QFont MonospacedFont(int pointSize);
    // Whether every character of `font` advances the same width ("iiii" as wide as "MMMM").
    static bool IsMonospaced(const QFont& font);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    class TMarkArea;
    int MarkWidth() const;
    void PaintMarks(QPaintEvent* event);

    TMarkArea* fMarkArea;
    bool fShown = false;
};
