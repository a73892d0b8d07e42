#include "ui/QvLogView.h"

#include "ui/QvMarks.h"

#include <QFontDatabase>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>

namespace {

// Block state of a line added without a type (a new document's blocks carry -1).
constexpr int kNoType = -1;

EQvMark MarkOf(int type)
{
    switch (type) {
    case logError:
        return MARK_ERROR;
    case logWarning:
        return MARK_WARNING;
    default:
        return MARK_NONE;
    }
}

} // namespace

class TQvLogView::TMarkArea : public QWidget {
public:
    explicit TMarkArea(TQvLogView* view) : QWidget(view), fView(view) {}

protected:
    void paintEvent(QPaintEvent* event) override { fView->PaintMarks(event); }

private:
    TQvLogView* fView;
};

TQvLogView::TQvLogView(QWidget* parent)
    : QPlainTextEdit(parent)
    , fMarkArea(new TMarkArea(this))
{
    fMarkArea->setObjectName("uProgramLogMarks");
    setViewportMargins(MarkWidth(), 0, 0, 0);
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
        if (dy != 0)
            fMarkArea->scroll(0, dy);
        else
            fMarkArea->update(0, rect.y(), fMarkArea->width(), rect.height());
    });
}

QFont TQvLogView::MonospacedFont(int pointSize)
{
    auto sized = [pointSize](QFont f) {
        f.setPointSize(pointSize);
        return f;
    };
    QFont typewriter("Courier New");
    typewriter.setStyleHint(QFont::TypeWriter);
    for (const QFont& f : {sized(typewriter), sized(QFontDatabase::systemFont(QFontDatabase::FixedFont))})
        if (IsMonospaced(f))
            return f;
    // Families that call themselves fixed pitch first; the measurement decides.
    QStringList families = QFontDatabase::families();
    std::stable_partition(families.begin(), families.end(),
                          [](const QString& family) { return QFontDatabase::isFixedPitch(family); });
    for (const QString& family : families) {
        const QFont f = sized(QFont(family));
        if (IsMonospaced(f))
            return f;
    }
    return sized(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

bool TQvLogView::IsMonospaced(const QFont& font)
{
    const QFontMetrics m(font);
    const int narrow = m.horizontalAdvance("iiii");
    return narrow > 0 && narrow == m.horizontalAdvance("MMMM");
}

int TQvLogView::MarkWidth() const
{
    return fontMetrics().height() + 4;
}

void TQvLogView::AddLine(const QString& text, TCvAppLogMsgType type)
{
    QScrollBar* sideways = horizontalScrollBar();
    QScrollBar* down = verticalScrollBar();
    const int left = sideways->value();
    const bool atBottom = down->value() >= down->maximum();

    // Inserted through a cursor of its own: the view's cursor (and with it the view) stays
    // where it is instead of following the end of a wide line.
    QTextDocument* doc = document();
    QTextCursor end(doc);
    end.movePosition(QTextCursor::End);
    const bool empty = doc->blockCount() == 1 && doc->firstBlock().userState() == kNoType && doc->isEmpty();
    if (!empty)
        end.insertBlock(QTextBlockFormat(), QTextCharFormat());
    QTextCharFormat format;
    if (const EQvMark mark = MarkOf(type); mark != MARK_NONE)
        format.setForeground(TQvMarks::Colours(mark).Text);
    end.insertText(text, format);
    end.block().setUserState(type);

    sideways->setValue(left);
    if (atBottom)
        down->setValue(down->maximum());
}

TCvAppLogMsgType TQvLogView::LineType(int line) const
{
    const int state = document()->findBlockByNumber(line).userState();
    return state == logError || state == logWarning ? static_cast<TCvAppLogMsgType>(state) : logInfo;
}

QRect TQvLogView::MarkRect(int line) const
{
    const QTextBlock block = document()->findBlockByNumber(line);
    if (!block.isValid() || !block.isVisible())
        return QRect();
    const QRectF box = blockBoundingGeometry(block).translated(contentOffset());
    const int lineHeight = fontMetrics().height();
    const int side = std::max(6, lineHeight - 3);
    const QRect inArea(2, static_cast<int>(box.top()) + (lineHeight - side) / 2, side, side);
    if (inArea.bottom() < 0 || inArea.top() > fMarkArea->height())
        return QRect();
    return inArea.translated(fMarkArea->pos());
}

void TQvLogView::PaintMarks(QPaintEvent* event)
{
    QPainter p(fMarkArea);
    p.fillRect(event->rect(), palette().base());
    const int first = firstVisibleBlock().blockNumber();
    for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
        const QRect r = MarkRect(block.blockNumber()).translated(-fMarkArea->pos());
        if (r.isNull()) {
            if (block.blockNumber() > first)
                break; // below the view
            continue;
        }
        TQvMarks::Paint(p, r, MarkOf(block.userState()));
    }
}

void TQvLogView::resizeEvent(QResizeEvent* event)
{
    QPlainTextEdit::resizeEvent(event);
    const QRect area = contentsRect();
    fMarkArea->setGeometry(area.left(), area.top(), MarkWidth(), viewport()->height());
}

void TQvLogView::showEvent(QShowEvent* event)
{
    const int left = horizontalScrollBar()->value();
    QPlainTextEdit::showEvent(event);
    horizontalScrollBar()->setValue(left);
    // Lines added before the view was first shown: it opens on the latest.
    if (!fShown)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    fShown = true;
}
