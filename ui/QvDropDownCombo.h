// A drop-down list that tells its owner just before the list opens, so the items can be
// refreshed (the serial port list is read again whenever the operator opens it). Typing a
// character opens the list instead of choosing an item behind the operator's back.
#pragma once

#include <QComboBox>
#include <QKeyEvent>

#include <functional>

class TQvDropDownCombo : public QComboBox {
public:
    using QComboBox::QComboBox;

    void SetOnDropDown(std::function<void()> handler) { fOnDropDown = std::move(handler); }

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
    std::function<void()> fOnDropDown;
};
