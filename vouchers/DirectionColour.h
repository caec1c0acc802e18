#pragma once

#include <QColor>
#include <QWidget>

namespace orvik::vouchers {

// Income is shown blue and expense red, in the voucher form and the add-account dialog alike.
inline const QColor kIncomeColour(0, 0, 255);
inline const QColor kExpenseColour(255, 0, 0);

// Colours a label's or a box's text.
inline void setTextColour(QWidget* w, const QColor& colour) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::Text, colour);
    w->setPalette(p);
}

}  // namespace orvik::vouchers
