// bench_statements: the statement windows' work on a large folder, beside bare SQLite running
// the same SELECT on its own connection.
//
//   QT_QPA_PLATFORM=offscreen bench_statements [DIR] [--vouchers N] [--rounds R] [--keep]
//
// Without DIR a folder is made in a temporary directory with `orvik-admin init --demo` and
// `orvik-admin generate --vouchers N` (1,000,000 by default). Each figure is the median of R
// rounds (3), the store's and the bare run alternating.

#include <sqlite3.h>

#include "../BenchFolder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <functional>

#include "Books.h"
#include "CashFlow.h"
#include "Clock.h"
#include "Export.h"
#include "Globals.h"
#include "IncomeStatement.h"
#include "Recordset.h"
#include "RowsModel.h"
#include "Schema.h"
#include "VoucherQuery.h"

using namespace orvik;
using namespace orvik::statements;

namespace {

QTextStream out(stdout);

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double timed(const std::function<void()>& work) {
    QElapsedTimer t;
    t.start();
    work();
    return double(t.nsecsElapsed()) / 1e6;
}

// Bare SQLite: the SELECT stepped through, every column read, on its own connection.
class Bare {
  public:
    explicit Bare(const QString& dir) {
        sqlite3_open_v2(QDir(dir).filePath(QStringLiteral("acc.mdb")).toUtf8().constData(), &db_,
                        SQLITE_OPEN_READONLY, nullptr);
    }
    ~Bare() { sqlite3_close(db_); }
    qint64 run(const QString& sql, const QVariantList& params) {
        sqlite3_stmt* st = nullptr;
        const QByteArray utf8 = sql.toUtf8();
        sqlite3_prepare_v2(db_, utf8.constData(), -1, &st, nullptr);
        for (int i = 0; i < params.size(); ++i) {
            const QVariant& v = params.at(i);
            if (v.typeId() == QMetaType::QString) {
                const QByteArray b = v.toString().toUtf8();
                sqlite3_bind_text(st, i + 1, b.constData(), int(b.size()), SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_int64(st, i + 1, v.toLongLong());
            }
        }
        qint64 rows = 0, bytes = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            ++rows;
            for (int c = 0; c < sqlite3_column_count(st); ++c)
                bytes += sqlite3_column_bytes(st, c);
        }
        sqlite3_finalize(st);
        return rows + (bytes & 0);
    }

  private:
    sqlite3* db_ = nullptr;
};

void row(const QString& what, double store, double bare, const QString& target, bool ok,
         const QString& note = {}) {
    out << what.leftJustified(46) << QString::number(store, 'f', 1).rightJustified(10) << " ms"
        << (bare > 0 ? QString::number(bare, 'f', 1).rightJustified(10) + QStringLiteral(" ms")
                     : QStringLiteral("             "))
        << "  " << target.leftJustified(22) << (ok ? "ok" : "OVER") << "  " << note << Qt::endl;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    bench::FolderArgs folder = bench::parseFolderArgs(app.arguments().mid(1), 3);
    QTemporaryDir temp;
    if (!bench::ensureFolder(folder, temp, QStringLiteral(ORVIK_ADMIN), out))
        return 1;
    const QString dir = folder.dir;
    const int rounds = folder.rounds;
    auto db = store::Database::open(QDir(dir).filePath(QStringLiteral("acc.mdb")),
                                    store::schema::acc().connect());
    Bare bare(dir);
    const qint64 total = db->scalar(QStringLiteral("SELECT count(*) FROM iof")).toLongLong();
    const QDate last =
        store::storedDate(db->scalar(QStringLiteral("SELECT max(發生日期) FROM iof")));
    out << "folder " << dir << ": " << total << " vouchers, last occurrence "
        << last.toString(Qt::ISODate) << Qt::endl;
    out << QStringLiteral("what").leftJustified(46) << QStringLiteral("Orvik").rightJustified(13)
        << QStringLiteral("bare").rightJustified(13) << "  target" << Qt::endl;

    // 1. The voucher query: the days of occurrence back from the last that hold about 10,000.
    QDate from = last;
    {
        auto rs = db->openRecordset(
            QStringLiteral(
                "SELECT 發生日期, count(*) FROM iof GROUP BY 發生日期 ORDER BY 發生日期 DESC"),
            store::RecordsetType::Snapshot);
        qint64 n = 0;
        for (; !rs.isEOF() && n < 10000; rs.MoveNext()) {
            n += rs.field(1).toLongLong();
            from = store::storedDate(rs.field(0));
        }
        rs.Close();
    }
    VoucherFilter filter;
    filter.occurred = {from, last};
    QVariantList params;
    const QString sql = voucherQuerySql(filter, &params);
    std::vector<double> shown, bareQuery;
    int found = 0;
    for (int r = 0; r < rounds; ++r) {
        bareQuery.push_back(timed([&] { bare.run(sql, params); }));
        app::RowsModel model;
        model.setColumns({app::RowsModel::text(QStringLiteral("單號"), vfNumber),
                          app::RowsModel::rocDate(QStringLiteral("發生日期"), vfOccurred),
                          app::RowsModel::text(QStringLiteral("用途說明"), vfPurpose),
                          app::RowsModel::amount(QStringLiteral("金額"), vfAmount)});
        QTableView view;
        view.setModel(&model);
        view.resize(1000, 600);
        view.show();
        QCoreApplication::processEvents();
        shown.push_back(timed([&] {
            VoucherQueryResult result = runVoucherQuery(*db, filter);
            found = int(result.rows.size());
            model.setRows(std::move(result.rows));
            view.viewport()->repaint();
            QCoreApplication::processEvents();
        }));
    }
    const double q = median(shown), qb = median(bareQuery);
    row(QStringLiteral("voucher query, %1 results shown").arg(found), q, qb,
        QStringLiteral("< 500 ms, <= 2x bare"), q < 500 && q <= 2 * qb);

    // 2. A year's income statement (three periods) beside one period's bare totals.
    const DateRange year = periodOf(PeriodKind::Year, last.addYears(-1));
    std::vector<double> inc, incBare;
    for (int r = 0; r < rounds; ++r) {
        incBare.push_back(timed([&] {
            bare.run(incomeTotalsSql(false), {iso(year.from), iso(year.to)});
        }));
        inc.push_back(timed([&] { incomeStatement(*db, PeriodKind::Year, year, false); }));
    }
    row(QStringLiteral("income statement of %1 (with 2 comparisons)").arg(year.from.year()),
        median(inc), median(incBare), QStringLiteral("< 1000 ms"), median(inc) < 1000,
        QStringLiteral("bare: one period"));

    // 3. The cash book of a year: the whole ledger walked for the check and the opening.
    std::vector<double> cash, cashBare;
    qint64 cashRows = 0;
    for (int r = 0; r < rounds; ++r) {
        cashBare.push_back(timed([&] {
            bare.run(
                QStringLiteral("SELECT id, 收入, 異動日期, 異動金額, 收支單號, 摘要, bala FROM "
                               "cash WHERE 異動日期 BETWEEN ? AND ? ORDER BY 異動日期, id"),
                {iso(year.from), iso(year.to)});
        }));
        cash.push_back(timed([&] { cashRows = cashBook(*db, year).rows.size(); }));
    }
    row(QStringLiteral("cash book of a year (%1 rows)").arg(cashRows), median(cash),
        median(cashBare), QStringLiteral("< 300 ms"), median(cash) < 300,
        QStringLiteral("bare: the year's rows only"));

    // 4. The projection, monthly for 6 months from the last day.
    std::vector<double> flow;
    for (int r = 0; r < rounds; ++r)
        flow.push_back(timed([&] { cashFlow(*db, last, Step::Month, 6); }));
    row(QStringLiteral("cash-flow projection, 6 months"), median(flow), 0,
        QStringLiteral("< 500 ms"), median(flow) < 500);

    // 5. 100,000 rows to XLSX.
    VoucherFilter many;
    {
        QDate f = last;
        auto rs = db->openRecordset(
            QStringLiteral(
                "SELECT 發生日期, count(*) FROM iof GROUP BY 發生日期 ORDER BY 發生日期 DESC"),
            store::RecordsetType::Snapshot);
        qint64 n = 0;
        for (; !rs.isEOF() && n < 100000; rs.MoveNext()) {
            n += rs.field(1).toLongLong();
            f = store::storedDate(rs.field(0));
        }
        rs.Close();
        many.occurred = {f, last};
    }
    VoucherQueryResult big = runVoucherQuery(*db, many);
    big.rows.resize(std::min<qsizetype>(big.rows.size(), 100000));
    app::RowsModel model;
    model.setColumns({app::RowsModel::text(QStringLiteral("單號"), vfNumber),
                      app::RowsModel::rocDate(QStringLiteral("輸入日期"), vfEntered),
                      app::RowsModel::rocDate(QStringLiteral("發生日期"), vfOccurred),
                      app::RowsModel::text(QStringLiteral("科目代號"), vfAccount),
                      app::RowsModel::text(QStringLiteral("科目名稱"), vfAccountName),
                      app::RowsModel::text(QStringLiteral("用途說明"), vfPurpose),
                      app::RowsModel::amount(QStringLiteral("金額"), vfAmount),
                      app::RowsModel::amount(QStringLiteral("稅額"), vfTax),
                      app::RowsModel::text(QStringLiteral("申請人"), vfApplicant),
                      app::RowsModel::text(QStringLiteral("簽收人"), vfSigner)});
    model.setRows(std::move(big.rows));
    const QVector<CellKind> kinds{
        CellKind::Text, CellKind::Date,   CellKind::Date,   CellKind::Text, CellKind::Text,
        CellKind::Text, CellKind::Amount, CellKind::Amount, CellKind::Text, CellKind::Text};
    QTemporaryDir outDir;
    std::vector<double> xlsx, csv;
    for (int r = 0; r < rounds; ++r) {
        xlsx.push_back(timed([&] {
            writeXlsx(tableFromModel(model, kinds, QStringLiteral("收支單")),
                      outDir.filePath(QStringLiteral("x.xlsx")));
        }));
        csv.push_back(timed([&] {
            writeCsv(tableFromModel(model, kinds, QStringLiteral("收支單")),
                     outDir.filePath(QStringLiteral("x.csv")));
        }));
    }
    row(QStringLiteral("export %1 rows to XLSX").arg(model.rowCount()), median(xlsx), 0,
        QStringLiteral("< 5000 ms"), median(xlsx) < 5000,
        QStringLiteral("%1 MB").arg(
            QFileInfo(outDir.filePath(QStringLiteral("x.xlsx"))).size() / 1e6, 0, 'f', 1));
    row(QStringLiteral("export %1 rows to CSV").arg(model.rowCount()), median(csv), 0, QString(),
        true);
    return 0;
}
