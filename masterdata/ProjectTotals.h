#pragma once

// A project's income and expense vouchers, counted and summed per year of occurrence (民國
// year), each side split into approved and not yet approved. Void vouchers count in neither.
// Read from the project's covering index alone, so a project of many years answers at once.

#include <QString>
#include <QVector>

namespace orvik::store {
class Database;
}

namespace orvik::masterdata {

struct Tally {
    qint64 count = 0;
    qint64 amount = 0;

    bool operator==(const Tally&) const = default;
};

struct ProjectYear {
    int rocYear = 0;  // 0: vouchers without a date of occurrence
    Tally incomeApproved;
    Tally incomeUnapproved;
    Tally expenseApproved;
    Tally expenseUnapproved;
};

struct ProjectTotals {
    QVector<ProjectYear> years;  // in year order, the undated first
    ProjectYear all;             // every year together (rocYear 0)
};

// The totals of the project with code `project` in acc.mdb.
ProjectTotals projectTotals(store::Database& acc, const QString& project);

// The statement it runs (one bound value, the project code), for a look at its plan.
QString projectTotalsSql();

}  // namespace orvik::masterdata
