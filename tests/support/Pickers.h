#pragma once

#include <QCalendarWidget>
#include <QCoreApplication>
#include <QDate>
#include <QDateEdit>

namespace orvik::testing {

// Picks `date` in a date picker's calendar and closes it, as a user does: the forms act when
// the calendar closes, not when the date changes.
inline void pickDate(QDateEdit* picker, const QDate& date) {
    QWidget* popup = picker->calendarWidget()->window();
    popup->show();
    picker->calendarWidget()->setSelectedDate(date);
    popup->hide();
    QCoreApplication::processEvents();
}

}  // namespace orvik::testing
