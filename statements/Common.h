#pragma once

// Small pieces the statements share: whole amounts as stored, dates bound as stored.

#include <QDate>
#include <QString>
#include <QVariant>
#include <cmath>

namespace orvik::statements {

// A stored amount as whole dollars (a legacy fractional value rounds; null is 0).
inline qint64 whole(const QVariant& v) {
    if (v.isNull() || !v.isValid())
        return 0;
    if (v.typeId() == QMetaType::Double)
        return std::llround(v.toDouble());
    if (v.typeId() == QMetaType::QString) {
        bool ok = false;
        const double d = v.toString().toDouble(&ok);
        return ok ? std::llround(d) : 0;
    }
    return v.toLongLong();
}

// A date as the books store it ("yyyy-MM-dd"), for binding: comparisons of the stored text
// are comparisons of dates.
inline QString iso(const QDate& d) {
    return d.toString(Qt::ISODate);
}

// A date range, both ends included; an invalid end leaves that side open.
struct DateRange {
    QDate from;
    QDate to;
    bool contains(const QDate& d) const {
        return d.isValid() && (!from.isValid() || d >= from) && (!to.isValid() || d <= to);
    }
};

}  // namespace orvik::statements
