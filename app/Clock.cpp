#include "Clock.h"

namespace orvik::app {

namespace {

qint64 dayShift = 0;  // days between the system date and the working date
QDateTime fixedNow;

QDateTime systemNow() {
    return fixedNow.isValid() ? fixedNow : QDateTime::currentDateTime();
}

}  // namespace

QDate Clock::today() {
    return now().date();
}

QDateTime Clock::now() {
    return systemNow().addDays(dayShift);
}

void Clock::setWorkingDate(const QDate& date) {
    dayShift = date.isValid() ? systemNow().date().daysTo(date) : 0;
}

void Clock::setFixedNow(const QDateTime& moment) {
    fixedNow = moment;
}

void Clock::reset() {
    dayShift = 0;
    fixedNow = QDateTime();
}

}  // namespace orvik::app
