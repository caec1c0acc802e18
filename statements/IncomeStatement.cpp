#include "IncomeStatement.h"

#include <QHash>
#include <QMap>

#include "EraDate.h"
#include "Recordset.h"

namespace orvik::statements {

namespace {

QDate monthStart(const QDate& d) {
    return QDate(d.year(), d.month(), 1);
}

DateRange months(const QDate& first, int count) {
    return {first, first.addMonths(count).addDays(-1)};
}

}  // namespace

DateRange periodOf(PeriodKind kind, const QDate& day, const QDate& to) {
    switch (kind) {
        case PeriodKind::Month:
            return months(monthStart(day), 1);
        case PeriodKind::Quarter:
            return months(QDate(day.year(), (day.month() - 1) / 3 * 3 + 1, 1), 3);
        case PeriodKind::Year:
            return months(QDate(day.year(), 1, 1), 12);
        case PeriodKind::Range:
            break;
    }
    return {day, to};
}

DateRange previousPeriod(PeriodKind kind, const DateRange& p) {
    switch (kind) {
        case PeriodKind::Month:
            return months(p.from.addMonths(-1), 1);
        case PeriodKind::Quarter:
            return months(p.from.addMonths(-3), 3);
        case PeriodKind::Year:
            return months(p.from.addYears(-1), 12);
        case PeriodKind::Range:
            break;
    }
    const qint64 days = p.from.daysTo(p.to) + 1;
    return {p.from.addDays(-days), p.from.addDays(-1)};
}

DateRange yearEarlier(PeriodKind kind, const DateRange& p) {
    switch (kind) {
        case PeriodKind::Month:
            return months(p.from.addYears(-1), 1);
        case PeriodKind::Quarter:
            return months(p.from.addYears(-1), 3);
        case PeriodKind::Year:
            return months(p.from.addYears(-1), 12);
        case PeriodKind::Range:
            break;
    }
    // QDate::addYears makes 29 February of a year without one the 28th.
    return {p.from.addYears(-1), p.to.addYears(-1)};
}

QString periodLabel(PeriodKind kind, const DateRange& p) {
    const int year = app::EraYear(p.from);
    switch (kind) {
        case PeriodKind::Month:
            return QStringLiteral("%1 年 %2 月").arg(year).arg(p.from.month());
        case PeriodKind::Quarter:
            return QStringLiteral("%1 年第 %2 季").arg(year).arg((p.from.month() - 1) / 3 + 1);
        case PeriodKind::Year:
            return QStringLiteral("%1 年度").arg(year);
        case PeriodKind::Range:
            break;
    }
    return app::FormatEra(p.from, app::kEraShort) + QStringLiteral(" – ") +
           app::FormatEra(p.to, app::kEraShort);
}

QString incomeTotalsSql(bool includeUnapproved) {
    // Served by the index on (發生日期, 方式, pay, 科目代號, 金額) alone.
    return QStringLiteral(
               "SELECT 科目代號, pay <> 0, sum(金額) FROM iof WHERE 發生日期 >= ? AND 發生日期 "
               "<= ? AND %1 GROUP BY 科目代號, pay <> 0")
        .arg(includeUnapproved ? QStringLiteral("方式 >= -2") : QStringLiteral("方式 >= 0"));
}

IncomeStatement incomeStatement(store::Database& db, PeriodKind kind, const DateRange& period,
                                bool includeUnapproved) {
    IncomeStatement st;
    st.periods = {period, previousPeriod(kind, period), yearEarlier(kind, period)};
    store::ReadTransaction read(db);

    // (expense, account folded) → line
    QMap<QPair<bool, QString>, IncomeLine> lines;
    const QString sql = incomeTotalsSql(includeUnapproved);
    for (int i = 0; i < 3; ++i) {
        auto rs =
            db.openRecordset(sql, store::RecordsetType::Snapshot,
                             {iso(st.periods[size_t(i)].from), iso(st.periods[size_t(i)].to)});
        for (; !rs.isEOF(); rs.MoveNext()) {
            const QString account = rs.text(0);
            const bool expense = whole(rs.field(1)) != 0;
            const qint64 amount = whole(rs.field(2));
            IncomeLine& line = lines[{expense, account.toCaseFolded()}];
            line.account = account;
            line.expense = expense;
            line.amount[size_t(i)] += amount;
            (expense ? st.totalExpense : st.totalIncome)[size_t(i)] += amount;
        }
        rs.Close();
    }

    QHash<QString, QString> names;
    {
        auto rs = db.openRecordset(QStringLiteral("SELECT id, acc FROM acc"),
                                   store::RecordsetType::Snapshot);
        for (; !rs.isEOF(); rs.MoveNext())
            names.insert(rs.text(0).toCaseFolded(), rs.text(1));
        rs.Close();
    }
    for (auto it = lines.begin(); it != lines.end(); ++it) {
        IncomeLine& line = it.value();
        line.name = names.value(line.account.toCaseFolded());
        if (line.name.isEmpty())  // an account no longer in the chart: as the vouchers name it
            line.name = db.scalar(QStringLiteral("SELECT 科目名稱 FROM iof WHERE 科目代號 = ? "
                                                 "AND 科目名稱 IS NOT NULL LIMIT 1"),
                                  {line.account})
                            .toString();
        (line.expense ? st.expense : st.income) << line;
    }
    return st;
}

}  // namespace orvik::statements
