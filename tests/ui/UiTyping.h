// Typing into the real windows as an operator does.
#pragma once

#include <QTest>
#include <QWidget>

// Replaces the text of a control by typing and leaves it with Tab.
inline void QvTypeAndLeave(QWidget* control, const QString& text)
{
    control->setFocus(Qt::TabFocusReason);
    QTest::keyClick(control, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(control, Qt::Key_Delete);
    QTest::keyClicks(control, text);
    QTest::keyClick(control, Qt::Key_Tab);
}
