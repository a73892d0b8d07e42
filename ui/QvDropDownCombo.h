// A drop-down list that tells its owner just before the list opens, so the items can be
// refreshed (the serial port list is read again whenever the operator opens it). Typing a
// character opens the list instead of choosing an item behind the operator's back.
#pragma once

#include <QComboBox>
#include <QKeyEvent>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>
#include <functional>

class TQvDropDownCombo : public QComboBox {
public:
    using QComboBox::QComboBox;

    void SetOnDropDown(std::function<void()> handler) { fOnDropDown = std::move(handler); }

    // The box is at least wide enough to show each of these texts whole, in its font and style
    // (whatever the items, which may be longer: their hints give them whole).
    void SetFitTexts(const QStringList& texts)
    {
        fFitTexts = texts;
        updateGeometry();
    }

    QSize sizeHint() const override { return QComboBox::sizeHint().expandedTo(FitSize()); }
    QSize minimumSizeHint() const override { return QComboBox::minimumSizeHint().expandedTo(FitSize()); }

    void showPopup() override
    {
        if (fOnDropDown)
            fOnDropDown();
        QComboBox::showPopup();
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        const QString text = event->text();
        const bool typed = !text.isEmpty() && text.at(0).isPrint()
                           && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        if (typed && isEnabled()) {
            showPopup();
            event->accept();
            return;
        }
        QComboBox::keyPressEvent(event);
    }

private:
    QSize FitSize() const
    {
        int width = 0;
        for (const QString& text : fFitTexts)
            width = std::max(width, fontMetrics().horizontalAdvance(text));
        if (width == 0)
            return QSize();
        QStyleOptionComboBox option;
        initStyleOption(&option);
        return style()->sizeFromContents(QStyle::CT_ComboBox, &option, QSize(width, fontMetrics().height()), this);
    }

    std::function<void()> fOnDropDown;
    QStringList fFitTexts;
};
