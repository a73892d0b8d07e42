#include "ui/QvOutcomePanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

class TQvOutcomePanel::TSign : public QWidget {
public:
    explicit TSign(QWidget* parent) : QWidget(parent) {}

    void SetMark(EQvMark mark)
    {
        fMark = mark;
        update();
    }
    // A square as high as a line of text, whatever the screen's scale.
    QSize sizeHint() const override
    {
        const int side = fontMetrics().height() + 2;
        return QSize(side, side);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        TQvMarks::Paint(p, QRectF(rect()).adjusted(1, 1, -1, -1), fMark);
    }

private:
    EQvMark fMark = MARK_NONE;
};

TQvOutcomePanel::TQvOutcomePanel(QWidget* parent)
    : QFrame(parent)
    , fSign(new TSign(this))
    , fWord(new QLabel(this))
    , fDetail(new QLabel(this))
{
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    fSign->setFixedSize(fSign->sizeHint());
    QFont bold = fWord->font();
    bold.setBold(true);
    fWord->setFont(bold);
    fWord->setObjectName("uOutcomeWordLbl");
    fDetail->setObjectName("uOutcomeDetailLbl");
    fDetail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    fDetail->setWordWrap(true); // a long error line wraps instead of widening the window
    fDetail->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    fDetail->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 3, 6, 3);
    row->setSpacing(6);
    row->addWidget(fSign, 0, Qt::AlignTop);
    row->addWidget(fWord, 0, Qt::AlignTop);
    row->addWidget(fDetail, 1);
}

void TQvOutcomePanel::Show(EQvMark mark, const QString& word, const QString& detail)
{
    fMark = mark;
    const TQvMarkColours colours = TQvMarks::Colours(mark);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, colours.Tint);
    pal.setColor(QPalette::WindowText, colours.Text);
    setPalette(pal);
    fSign->SetMark(mark);
    fWord->setText(detail.isEmpty() ? word : word + ":");
    fDetail->setText(detail);
    setVisible(true);
}

QString TQvOutcomePanel::Text() const
{
    return fDetail->text().isEmpty() ? fWord->text() : fWord->text() + " " + fDetail->text();
}
