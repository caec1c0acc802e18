#include "ProjectTotals.h"

#include <QMap>

#include "Database.h"
#include "Recordset.h"

namespace orvik::masterdata {

QString projectTotalsSql() {
    // Unapproved: -3 < 方式 < 0; approved: 方式 >= 0; -3 is void. pay is true (-1) for an
    // expense. Every column read lies in iof_project.
    return QStringLiteral(
        "select substr(發生日期, 1, 4), case when pay <> 0 then 1 else 0 end, "
        "case when 方式 >= 0 then 1 else 0 end, count(*), coalesce(sum(金額), 0) "
        "from iof where 專案號碼 = ? and 方式 > -3 group by 1, 2, 3");
}

ProjectTotals projectTotals(store::Database& acc, const QString& project) {
    QMap<int, ProjectYear> byYear;
    store::Recordset rs =
        acc.openRecordset(projectTotalsSql(), store::RecordsetType::Snapshot, {project});
    for (const QVector<QVariant>& r : rs.takeRows()) {
        bool dated = false;
        const int year = r.value(0).toString().toInt(&dated);
        const int rocYear = dated && year > 1911 ? year - 1911 : 0;
        const bool expense = r.value(1).toInt() != 0;
        const bool approved = r.value(2).toInt() != 0;
        const Tally tally{r.value(3).toLongLong(), r.value(4).toLongLong()};
        ProjectYear& y = byYear[rocYear];
        y.rocYear = rocYear;
        Tally& into = expense ? (approved ? y.expenseApproved : y.expenseUnapproved)
                              : (approved ? y.incomeApproved : y.incomeUnapproved);
        // Every date that is not ISO text lands in the undated group: add up.
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
