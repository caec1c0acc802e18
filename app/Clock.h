#pragma once

// The program's clock. Every reading of today's date or the current time goes through here,
// never through the system clock directly, so that the working date chosen at login applies
// to the whole program without changing the computer's clock.

#include <QDate>
#include <QDateTime>

namespace orvik::app {

class Clock {
  public:
    // Today's working date: the system date shifted by the working date chosen at login.
    static QDate today();
    // Now on the working date. The time of day keeps running, so passing midnight moves
    // today() on by one day, as the system clock would.
    static QDateTime now();

    // Makes `date` today from now on (login's date picker). An invalid date goes back to the
    // system date.
    static void setWorkingDate(const QDate& date);

    // Test hook: fixes the underlying clock at `moment` (the working-date shift still applies).
    // An invalid moment lets the system clock run again.
    static void setFixedNow(const QDateTime& moment);

    // Back to the system clock with no shift. For tests.
    static void reset();
};

}  // namespace orvik::app
