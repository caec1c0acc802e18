#include "ProjectTotals.h"

#include <QMap>

#include "Database.h"
#include "Recordset.h"

namespace orvik::masterdata {

QString projectTotalsSql() {
    // pay is true (-1) for an expense. Unapproved: -3 < 方式 < 0; approved: 方式 >= 0; -3 is
    // void. Grouped in the index's own order (date, pay, status), so the engine sums while it
    // reads; the day rows are added into years here. Grouping by year in the statement sorted
    // every voucher (twice as slow on 130,000); an outer grouping by year over this statement
    // was seen to count void vouchers with the SQLite of this platform.
    return QStringLiteral(
        "select 發生日期, pay <> 0, 方式 >= 0, count(*), coalesce(sum(金額), 0) "
        "from iof where 專案號碼 = ? and 方式 > -3 group by 發生日期, pay, 方式");
}

ProjectTotals projectTotals(store::Database& acc, const QString& project) {
    QMap<int, ProjectYear> byYear;
    store::Recordset rs =
        acc.openRecordset(projectTotalsSql(), store::RecordsetType::Snapshot, {project});
    for (const QVector<QVariant>& r : rs.takeRows()) {
        // Dates are ISO text; whatever else is stored counts as undated, all added up.
        bool dated = false;
        const int year = r.value(0).toString().left(4).toInt(&dated);  // the date's year
        const int rocYear = dated && year > 1911 ? year - 1911 : 0;
        const bool expense = r.value(1).toLongLong() != 0;
        const bool approved = r.value(2).toLongLong() != 0;
        const Tally tally{r.value(3).toLongLong(), r.value(4).toLongLong()};
        ProjectYear& y = byYear[rocYear];
        y.rocYear = rocYear;
        Tally& into = expense ? (approved ? y.expenseApproved : y.expenseUnapproved)
                              : (approved ? y.incomeApproved : y.incomeUnapproved);
        into.count += tally.count;
        into.amount += tally.amount;
    }
    ProjectTotals out;
    for (const ProjectYear& y : byYear) {
        out.years << y;
        for (auto [from, to] : {std::pair{&y.incomeApproved, &out.all.incomeApproved},
                                {&y.incomeUnapproved, &out.all.incomeUnapproved},
                                {&y.expenseApproved, &out.all.expenseApproved},
                                {&y.expenseUnapproved, &out.all.expenseUnapproved}}) {
            to->count += from->count;
            to->amount += from->amount;
        }
    }
    return out;
}

}  // namespace orvik::masterdata
