// A strip across the main window that tells at a glance how the last operation went, or how far
// the running one has come: a sign, a word in bold and a line of detail, on a light background
// in the meaning's colour. Colour only adds to sign and word.
#pragma once

#include "ui/QvMarks.h"

#include <QFrame>

class QLabel;

class TQvOutcomePanel : public QFrame {
public:
    explicit TQvOutcomePanel(QWidget* parent = nullptr);

    // Shows `word` (bold) and `detail` with the sign and colours of `mark`.
    void Show(EQvMark mark, const QString& word, const QString& detail);

    EQvMark Mark() const { return fMark; }
    // The whole text as read: "Completed: serial number 271828, application v2.5.0, in 0:41".
    QString Text() const;

private:
    class TSign;

    EQvMark fMark = MARK_NONE;
    TSign* fSign;
    QLabel* fWord;
    QLabel* fDetail;
};
