// A drop-down list that tells its owner just before the list opens, so the items can be
// refreshed (the serial port list is read again whenever the operator opens it).
#pragma once

#include <QComboBox>

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

private:
    std::function<void()> fOnDropDown;
};
