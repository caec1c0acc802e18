// The statements' figures against SQL written here, on a generated folder and on rows the
// tests add: voucher query totals, period boundaries, the income statement, the cash and bank
// books with their check, the bill register and the login reminder, the cash-flow projection,
// transfers; the exports read back; the PDF text layer.

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "Audit.h"
#include "BillRegister.h"
#include "Books.h"
#include "CashFlow.h"
#include "Export.h"
#include "IncomeStatement.h"
#include "Layout.h"
#include "Recordset.h"
#include "StatementsKit.h"
#include "TestDataFolder.h"
#include "Transfer.h"
#include "VoucherQuery.h"

using namespace orvik;
using namespace orvik::statements;
using namespace orvik::testing;
using store::Database;

namespace {

QDate d(int y, int m, int day) {
    return QDate(y, m, day);
}

void addVoucher(Database& db, const QString& no, const QDate& occurred, const QString& account,
                bool pay, qint64 amount, int status, qint64 tax = 0) {
    db.execute(
        QStringLiteral("INSERT INTO iof (輸入日期, 單號, 用途說明, 方式, 金額, 科目代號, pay, "
                       "科目名稱, 發生日期, 稅額, 有單據) VALUES (?,?,?,?,?,?,?,?,?,?,0)"),
        {occurred, no, QStringLiteral("測試"), status, amount, account, pay,
         QStringLiteral("測試科目"), occurred, tax});
}

void addBill(Database& db, const QString& no, bool received, int status, const QDate& remind,
             const QDate& due, const QDate& available, qint64 amount,
             const QString& bank = QStringLiteral("台灣銀行"),
             const QString& account = QStringLiteral("001")) {
    db.execute(QStringLiteral("INSERT INTO bill VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"),
               {no, due.addDays(-30), remind, due, available, bank, bank, QStringLiteral("甲"),
                QStringLiteral("乙"), account, account, amount, QString(), received,
                QStringLiteral("V") + no, status});
}

void addCash(Database& db, int id, bool in, const QDate& date, qint64 amount, qint64 balance) {
    db.execute(QStringLiteral("INSERT INTO cash VALUES (?,?,?,?,?,?,?)"),
               {id, in, date, amount, QStringLiteral("現金"), QString(), balance});
}

void addBank(Database& db, const QString& bank, const QString& account, int id, bool in,
             const QDate& date, qint64 amount, qint64 balance) {
    db.execute(QStringLiteral("INSERT INTO bank VALUES (?,?,?,?,?,?,?,?,?)"),
               {id, account, bank, in, date, amount, QStringLiteral("存提"), QString(), balance});
}

}  // namespace

class TestStatements : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();

    void voucherQueryTotals_data();
    void voucherQueryTotals();
    void periods_data();
    void periods();
    void incomeStatementMatchesSql_data();
    void incomeStatementMatchesSql();
    void incomeStatementBoundaries();
    void cashAndBankBooks();
    void bookCheckNamesFirstDivergence();
    void billRegisterTotalsAndReminder();
    void cashFlowProjection();
    void transfersAndReversal();
    void exportXlsxReadBack();
    void exportCsvReadBack();
    void layoutRowsAndPdfText();

  private:
    QTemporaryDir dir_;
    store::DatabasePtr db_;
};

void TestStatements::initTestCase() {
    QVERIFY(dir_.isValid());
    makeGeneratedFolder(dir_);
    db_ = Database::open(dir_.filePath(QStringLiteral("acc.mdb")), store::schema::acc().connect());
    QVERIFY(num(*db_, QStringLiteral("SELECT count(*) FROM iof")) > 4000);
}

void TestStatements::cleanupTestCase() {
    db_.reset();
}

// ---------------------------------------------------------------------------------------------

void TestStatements::voucherQueryTotals_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("where");
    QTest::newRow("leap February by occurrence")
        << 0 << "發生日期 BETWEEN '2024-02-01' AND '2024-02-29'";
    QTest::newRow("entered in 民國 112") << 1 << "輸入日期 BETWEEN '2023-01-01' AND '2023-12-31'";
    QTest::newRow("approved in cash, expense, 1000-50000")
        << 2 << "方式 = 0 AND pay <> 0 AND 金額 BETWEEN 1000 AND 50000";
    QTest::newRow("unapproved income") << 3 << "方式 IN (-1, -2) AND pay = 0";
    QTest::newRow("void") << 4 << "方式 = -3";
    QTest::newRow("by bill, with a document") << 5 << "方式 >= 1 AND 有單據 <> 0";
    QTest::newRow("one account")
        << 6 << "科目代號 = (SELECT 科目代號 FROM iof GROUP BY 1 ORDER BY count(*) DESC LIMIT 1)";
    QTest::newRow("a purpose word")
        << 7
        << "用途說明 LIKE '%費%' OR 附註一 LIKE '%費%' OR 附註二 LIKE '%費%' OR 科目名稱 LIKE "
           "'%費%' OR 專案名稱 LIKE '%費%' OR 單據號碼 LIKE '%費%'";
}

void TestStatements::voucherQueryTotals() {
    QFETCH(int, which);
    QFETCH(QString, where);
    VoucherFilter f;
    switch (which) {
        case 0:
            f.occurred = {d(2024, 2, 1), d(2024, 2, 29)};
            break;
        case 1:
            f.entered = {d(2023, 1, 1), d(2023, 12, 31)};
            break;
        case 2:
            f.status = VoucherStatus::Cash;
            f.direction = Direction::Expense;
            f.minAmount = 1000;
            f.maxAmount = 50000;
            break;
        case 3:
            f.status = VoucherStatus::Unapproved;
            f.direction = Direction::Income;
            break;
        case 4:
            f.status = VoucherStatus::Void;
            break;
        case 5:
            f.status = VoucherStatus::Bill;
            f.hasDocument = true;
            break;
        case 6:
            f.account = db_->scalar(QStringLiteral("SELECT 科目代號 FROM iof GROUP BY 1 ORDER BY "
                                                   "count(*) DESC LIMIT 1"))
                            .toString();
            break;
        case 7:
            f.text = QStringLiteral("費");
            break;
    }
    const VoucherQueryResult r = runVoucherQuery(*db_, f);
    const QString sums =
        QStringLiteral(
            "SELECT count(*), coalesce(sum(CASE WHEN pay = 0 AND 方式 <> -3 THEN 金額 END), 0), "
            "coalesce(sum(CASE WHEN pay <> 0 AND 方式 <> -3 THEN 金額 END), 0), "
            "coalesce(sum(CASE WHEN 方式 <> -3 THEN 稅額 END), 0), "
            "count(CASE WHEN 方式 = -3 THEN 1 END) FROM iof WHERE ") +
        where;
    auto rs = db_->openRecordset(sums, store::RecordsetType::Snapshot);
    QVERIFY(rs.field(0).toLongLong() > 0);
    QCOMPARE(r.totals.count, rs.field(0).toLongLong());
    QCOMPARE(r.totals.income, rs.field(1).toLongLong());
    QCOMPARE(r.totals.expense, rs.field(2).toLongLong());
    QCOMPARE(r.totals.tax, rs.field(3).toLongLong());
    QCOMPARE(r.totals.voided, rs.field(4).toLongLong());
    rs.Close();
    // In number order.
    for (int i = 1; i < r.rows.size(); ++i) {
        const QString a = r.rows.at(i - 1).at(vfNumber).toString();
        const QString b = r.rows.at(i).at(vfNumber).toString();
        QVERIFY(a.size() < b.size() || (a.size() == b.size() && a < b));
    }
}

// ---------------------------------------------------------------------------------------------

void TestStatements::periods_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QString>("expected");  // period; previous; a year earlier
    QTest::newRow("leap February") << int(PeriodKind::Month) << d(2024, 2, 10) << QDate()
                                   << "2024-02-01..2024-02-29;2024-01-01..2024-01-31;"
                                      "2023-02-01..2023-02-28";
    QTest::newRow("January over the 民國 year end")
        << int(PeriodKind::Month) << d(2024, 1, 31) << QDate()
        << "2024-01-01..2024-01-31;2023-12-01..2023-12-31;2023-01-01..2023-01-31";
    QTest::newRow("first quarter") << int(PeriodKind::Quarter) << d(2024, 3, 31) << QDate()
                                   << "2024-01-01..2024-03-31;2023-10-01..2023-12-31;"
                                      "2023-01-01..2023-03-31";
    QTest::newRow("民國 113") << int(PeriodKind::Year) << d(2024, 7, 1) << QDate()
                              << "2024-01-01..2024-12-31;2023-01-01..2023-12-31;"
                                 "2023-01-01..2023-12-31";
    QTest::newRow("range over the leap day")
        << int(PeriodKind::Range) << d(2024, 2, 29) << d(2024, 3, 1)
        << "2024-02-29..2024-03-01;2024-02-27..2024-02-28;2023-02-28..2023-03-01";
}

void TestStatements::periods() {
    QFETCH(int, kind);
    QFETCH(QDate, day);
    QFETCH(QDate, to);
    QFETCH(QString, expected);
    const auto k = PeriodKind(kind);
    const DateRange p = periodOf(k, day, to);
    QStringList got;
    for (const DateRange& r : {p, previousPeriod(k, p), yearEarlier(k, p)})
        got << r.from.toString(Qt::ISODate) + QStringLiteral("..") + r.to.toString(Qt::ISODate);
    QCOMPARE(got.join(QLatin1Char(';')), expected);
}

// ---------------------------------------------------------------------------------------------

void TestStatements::incomeStatementMatchesSql_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QDate>("day");
    QTest::addColumn<bool>("unapproved");
    QTest::newRow("month") << int(PeriodKind::Month) << d(2024, 2, 1) << false;
    QTest::newRow("quarter with unapproved") << int(PeriodKind::Quarter) << d(2023, 11, 1) << true;
    QTest::newRow("year") << int(PeriodKind::Year) << d(2023, 1, 1) << false;
}

void TestStatements::incomeStatementMatchesSql() {
    QFETCH(int, kind);
    QFETCH(QDate, day);
    QFETCH(bool, unapproved);
    const auto k = PeriodKind(kind);
    const IncomeStatement st = incomeStatement(*db_, k, periodOf(k, day), unapproved);
    const QString statuses = unapproved ? QStringLiteral("方式 IN (-2, -1, 0, 1, 2, 3, 4)")
                                        : QStringLiteral("方式 IN (0, 1, 2, 3, 4)");
    for (int i = 0; i < 3; ++i) {
        const DateRange p = st.periods[size_t(i)];
        QHash<QString, qint64> expected;  // "I|code" / "E|code"
        auto rs = db_->openRecordset(
            QStringLiteral(
                "SELECT CASE WHEN pay = 0 THEN 'I|' ELSE 'E|' END || 科目代號, sum(金額) "
                "FROM iof WHERE 發生日期 BETWEEN ? AND ? AND ") +
                statuses + QStringLiteral(" GROUP BY 1"),
            store::RecordsetType::Snapshot, {iso(p.from), iso(p.to)});
        qint64 in = 0, out = 0;
        for (; !rs.isEOF(); rs.MoveNext()) {
            expected.insert(rs.text(0), rs.field(1).toLongLong());
            (rs.text(0).startsWith(u'I') ? in : out) += rs.field(1).toLongLong();
        }
        rs.Close();
        QVERIFY(in + out > 0);
        QHash<QString, qint64> got;
        for (const auto* lines : {&st.income, &st.expense})
            for (const auto& l : *lines)
                if (l.amount[size_t(i)] != 0 ||
                    expected.contains((l.expense ? "E|" : "I|") + l.account))
                    got.insert(
                        (l.expense ? QStringLiteral("E|") : QStringLiteral("I|")) + l.account,
                        l.amount[size_t(i)]);
        QCOMPARE(got, expected);
        QCOMPARE(st.totalIncome[size_t(i)], in);
        QCOMPARE(st.totalExpense[size_t(i)], out);
        QCOMPARE(st.net()[size_t(i)], in - out);
    }
}

void TestStatements::incomeStatementBoundaries() {
    // A folder of its own: vouchers on the edges of the periods, void and unapproved ones.
    TestDataFolder folder;
    auto db = openDatabaseFile(folder.path(), store::schema::acc());
    db->execute(
        QStringLiteral("INSERT INTO acc VALUES ('4101', -1, '工程收入'), ('5101', 0, '材料費')"));
    addVoucher(*db, QStringLiteral("1130229001"), d(2024, 2, 29), QStringLiteral("4101"), false,
               700, 0);
    addVoucher(*db, QStringLiteral("1130301001"), d(2024, 3, 1), QStringLiteral("4101"), false, 50,
               0);
    addVoucher(*db, QStringLiteral("1130201001"), d(2024, 2, 1), QStringLiteral("5101"), true, 300,
               1);
    addVoucher(*db, QStringLiteral("1130215001"), d(2024, 2, 15), QStringLiteral("5101"), true,
               9000, -3);
    addVoucher(*db, QStringLiteral("1130216001"), d(2024, 2, 16), QStringLiteral("5101"), true, 40,
               -1);
    addVoucher(*db, QStringLiteral("1130131001"), d(2024, 1, 31), QStringLiteral("4101"), false, 20,
               0);
    addVoucher(*db, QStringLiteral("1120228001"), d(2023, 2, 28), QStringLiteral("4101"), false, 5,
               2);
    addVoucher(*db, QStringLiteral("1121231001"), d(2023, 12, 31), QStringLiteral("5101"), true, 8,
               0);

    IncomeStatement st =
        incomeStatement(*db, PeriodKind::Month, periodOf(PeriodKind::Month, d(2024, 2, 1)), false);
    QCOMPARE(st.totalIncome, (std::array<qint64, 3>{700, 20, 5}));
    QCOMPARE(st.totalExpense, (std::array<qint64, 3>{300, 0, 0}));
    QCOMPARE(st.income.size(), 1);
    QCOMPARE(st.income.first().name, QStringLiteral("工程收入"));
    st = incomeStatement(*db, PeriodKind::Month, periodOf(PeriodKind::Month, d(2024, 2, 1)), true);
    QCOMPARE(st.totalExpense[0], 340);  // the unapproved 40 counts, the void 9000 never
    st = incomeStatement(*db, PeriodKind::Year, periodOf(PeriodKind::Year, d(2024, 1, 1)), false);
    QCOMPARE(st.totalIncome, (std::array<qint64, 3>{770, 5, 5}));
    QCOMPARE(st.totalExpense, (std::array<qint64, 3>{300, 8, 8}));
}

// ---------------------------------------------------------------------------------------------

void TestStatements::cashAndBankBooks() {
    const DateRange year{d(2023, 1, 1), d(2023, 12, 31)};
    const Book cash = cashBook(*db_, year);
    QVERIFY(cash.check.consistent);
    QVERIFY(cash.rows.size() > 50);
    const qint64 opening = num(*db_, QStringLiteral("SELECT coalesce(sum(CASE WHEN 收入 <> 0 THEN "
                                                    "異動金額 ELSE -異動金額 END), 0) FROM cash "
                                                    "WHERE 異動日期 < '2023-01-01'"));
    QCOMPARE(cash.opening, opening);
    QCOMPARE(cash.totalIn,
             num(*db_, QStringLiteral("SELECT sum(異動金額) FROM cash WHERE 收入 <> 0 "
                                      "AND 異動日期 BETWEEN '2023-01-01' AND '2023-12-31'")));
    QCOMPARE(cash.totalOut,
             num(*db_, QStringLiteral("SELECT sum(異動金額) FROM cash WHERE 收入 = 0 "
                                      "AND 異動日期 BETWEEN '2023-01-01' AND '2023-12-31'")));
    qint64 running = cash.opening;
    for (const auto& r : cash.rows) {
        running += r.in - r.out;
        QCOMPARE(r.balance, running);
    }
    QCOMPARE(cash.closing, running);

    const QVector<BankAccount> accounts = bankAccounts(*db_);
    QVERIFY(!accounts.isEmpty());
    const BankAccount busiest{
        db_->scalar(QStringLiteral(
                        "SELECT bank FROM bank GROUP BY bank, Bid ORDER BY count(*) DESC LIMIT 1"))
            .toString(),
        db_->scalar(QStringLiteral(
                        "SELECT Bid FROM bank GROUP BY bank, Bid ORDER BY count(*) DESC LIMIT 1"))
            .toString()};
    const Book bank = bankBook(*db_, busiest, year);
    QVERIFY(bank.check.consistent);
    QVERIFY(!bank.rows.isEmpty());
    QCOMPARE(bank.opening + bank.totalIn - bank.totalOut, bank.closing);
    QCOMPARE(
        bank.closing,
        num(*db_,
            QStringLiteral("SELECT sum(CASE WHEN 存入 <> 0 THEN 異動金額 ELSE -異動金額 END) "
                           "FROM bank WHERE bank = ? AND Bid = ? AND 異動日期 <= '2023-12-31'"),
            {busiest.bank, busiest.account}));
    QCOMPARE(bankBalance(*db_, busiest),
             num(*db_,
                 QStringLiteral(
                     "SELECT bala FROM bank WHERE bank = ? AND Bid = ? ORDER BY id DESC LIMIT 1"),
                 {busiest.bank, busiest.account}));
}

void TestStatements::bookCheckNamesFirstDivergence() {
    TestDataFolder folder;
    auto db = openDatabaseFile(folder.path(), store::schema::acc());
    addCash(*db, 1, true, d(2024, 1, 5), 1000, 1000);
    addCash(*db, 2, false, d(2024, 1, 9), 300, 700);
    addCash(*db, 3, true, d(2024, 2, 1), 50, 760);  // stored 760, the movements give 750
    addCash(*db, 4, false, d(2024, 2, 2), 10, 750);
    Book book = cashBook(*db, {d(2024, 2, 1), d(2024, 2, 29)});
    QCOMPARE(book.opening, 700);
    QCOMPARE(book.rows.size(), 2);
    QCOMPARE(book.rows.at(1).balance, 740);
    QVERIFY(!book.check.consistent);
    QCOMPARE(book.check.firstBadId, 3);
    QCOMPARE(book.check.expected, 750);
    QCOMPARE(book.check.stored, 760);
    db->execute(QStringLiteral("UPDATE cash SET bala = 750 WHERE id = 3"));
    db->execute(QStringLiteral("UPDATE cash SET bala = 740 WHERE id = 4"));
    QVERIFY(cashBook(*db, {}).check.consistent);

    // Rows stored out of id order are still walked by id; an undated row belongs to the open
    // range only; a date stored with a time counts on its day.
    db->execute(
        QStringLiteral("INSERT INTO cash VALUES (6, 0, '2024-02-29 00:00:00', 45, '', "
                       "'', 700)"));
    addCash(*db, 5, true, QDate(), 5, 745);
    book = cashBook(*db, {});
    QVERIFY(book.check.consistent);
    QCOMPARE(book.rows.size(), 6);
    book = cashBook(*db, {d(2024, 2, 1), d(2024, 2, 29)});
    QVERIFY(book.check.consistent);
    QCOMPARE(book.rows.size(), 3);
    QCOMPARE(book.rows.last().id, 6);
    QCOMPARE(book.opening, 700);
    QCOMPARE(book.closing, 695);
}

// ---------------------------------------------------------------------------------------------

void TestStatements::billRegisterTotalsAndReminder() {
    // Totals per status on the generated folder.
    const BillRegisterResult all = billRegister(*db_, BillFilter{});
    for (int s = 0; s < 4; ++s) {
        QCOMPARE(all.byStatus[size_t(s)].count,
                 num(*db_, QStringLiteral("SELECT count(*) FROM bill WHERE 方式 = ?"), {s}));
        QCOMPARE(
            all.byStatus[size_t(s)].amount,
            num(*db_, QStringLiteral("SELECT coalesce(sum(票據金額), 0) FROM bill WHERE 方式 = ?"),
                {s}));
    }
    BillFilter received;
    received.side = BillSide::Received;
    received.status = 0;
    QCOMPARE(billRegister(*db_, received).all.count,
             num(*db_, QStringLiteral("SELECT count(*) FROM bill WHERE 收入 <> 0 AND 方式 = 0")));

    // The reminder on a fixed date, with bills on either side of it.
    TestDataFolder folder;
    auto db = openDatabaseFile(folder.path(), store::schema::acc());
    const QDate today = kToday;
    addBill(*db, "A1", false, 0, today.addDays(-5), today.addDays(5), QDate(), 100);  // reminded
    addBill(*db, "A2", false, 0, today, today.addDays(10), QDate(), 200);  // reminded today
    addBill(*db, "A3", false, 0, today.addDays(1), today.addDays(9), QDate(), 400);     // not yet
    addBill(*db, "A4", false, 1, today.addDays(-20), today.addDays(-2), QDate(), 800);  // cashed
    addBill(*db, "B1", true, 0, QDate(), today, today.addDays(2), 1000);                // due today
    addBill(*db, "B2", true, 0, QDate(), today.addDays(1), today.addDays(3), 2000);     // tomorrow
    addBill(*db, "B3", true, 2, QDate(), today.addDays(-9), today.addDays(-7), 4000);   // void
    addBill(*db, "B4", true, 0, QDate(), today.addDays(-40), today.addDays(-38), 8000,
            QStringLiteral("第一銀行"));  // overdue
    const Reminder r = reminderCounts(*db, today);
    QCOMPARE(r.issuedReminded, 2);
    QCOMPARE(r.receivedDue, 2);
    QCOMPARE(reminderCounts(*db, today.addDays(-1)).issuedReminded, 1);

    BillFilter f;
    f.today = today;
    f.reminderReached = true;
    BillRegisterResult got = billRegister(*db, f);
    QStringList numbers;
    for (const auto& row : got.rows)
        numbers << row.at(bfNumber).toString();
    QCOMPARE(numbers, (QStringList{"B4", "B1", "A1", "A2"}));  // by due date
    f = BillFilter{};
    f.today = today;
    f.overdueOnly = true;
    QCOMPARE(billRegister(*db, f).all.amount, 8000);
    f = BillFilter{};
    f.today = today;
    f.dueWithinDays = 5;
    QCOMPARE(billRegister(*db, f).all.amount, 100 + 1000 + 2000);
    f = BillFilter{};
    f.bank = QStringLiteral("第一銀行");
    QCOMPARE(billRegister(*db, f).all.count, 1);
}

// ---------------------------------------------------------------------------------------------

void TestStatements::cashFlowProjection() {
    TestDataFolder folder;
    auto db = openDatabaseFile(folder.path(), store::schema::acc());
    const QDate today = kToday;  // 2024-03-15, a Friday
    addCash(*db, 1, true, d(2024, 1, 2), 5000, 5000);
    addCash(*db, 2, false, d(2024, 2, 2), 1000, 4000);
    addBank(*db, QStringLiteral("台灣銀行"), QStringLiteral("001"), 1, true, d(2024, 1, 3), 70000,
            70000);
    addBank(*db, QStringLiteral("台灣銀行"), QStringLiteral("001"), 2, false, d(2024, 1, 4), 10000,
            60000);
    addBank(*db, QStringLiteral("第一銀行"), QStringLiteral("002"), 1, true, d(2024, 1, 5), 6000,
            6000);
    // Received: available date counts; issued: due date; processed bills never.
    addBill(*db, "R1", true, 0, QDate(), d(2024, 3, 20), d(2024, 4, 2), 3000);    // April
    addBill(*db, "R2", true, 0, QDate(), d(2024, 3, 1), d(2024, 3, 3), 500);      // overdue
    addBill(*db, "I1", false, 0, d(2024, 3, 10), d(2024, 3, 25), QDate(), 2000);  // March
    addBill(*db, "I2", false, 1, d(2024, 3, 10), d(2024, 3, 26), QDate(), 9999);  // cashed
    addBill(*db, "I3", false, 0, d(2024, 7, 1), d(2024, 7, 10), QDate(), 7777);   // beyond May
    db->execute(QStringLiteral("INSERT INTO ri VALUES ('C1', '甲公司', '0')"));
    db->execute(
        QStringLiteral("INSERT INTO \"ri期\" (id, 期別, 應付金額, 預付日期, 沖帳金額, 處理) "
                       "VALUES ('C1', 1, 10000, '2024-05-31', 0, 0), ('C1', 2, 20000, "
                       "'2024-04-10', 0, -1)"));
    db->execute(
        QStringLiteral("INSERT INTO \"ro加\" (id, 期別, 應付金額, 預付日期, 沖帳金額, 處理) "
                       "VALUES ('P1', 1, 1500, '2024-03-16', 500, 0)"));
    const CashFlow cf = cashFlow(*db, today, Step::Month, 3);
    QCOMPARE(cf.cash, 4000);
    QCOMPARE(cf.bank, 66000);
    QCOMPARE(cf.buckets.size(), 3);
    QCOMPARE(cf.buckets.at(0).range.from, d(2024, 3, 1));
    QCOMPARE(cf.buckets.at(2).range.to, d(2024, 5, 31));
    QCOMPARE(cf.overdue.in, 500);
    QCOMPARE(cf.overdue.balance, 70500);
    QCOMPARE(cf.buckets.at(0).out, 2000 + 1000);  // I1 and the open part of the addition
    QCOMPARE(cf.buckets.at(1).in, 3000);
    QCOMPARE(cf.buckets.at(2).in, 10000);
    QCOMPARE(cf.buckets.at(2).balance, 70000 + 500 - 3000 + 3000 + 10000);
    QCOMPARE(cf.items.size(), 5);

    const CashFlow weekly = cashFlow(*db, today, Step::Week, 1);
    QCOMPARE(weekly.buckets.first().range.from, d(2024, 3, 11));  // the Monday of the week
    QCOMPARE(weekly.buckets.first().out, 1000);                   // the addition on the 16th
}

// ---------------------------------------------------------------------------------------------

void TestStatements::transfersAndReversal() {
    TestDataFolder folder;
    auto db = openDatabaseFile(folder.path(), store::schema::acc());
    const BankAccount a{QStringLiteral("台灣銀行"), QStringLiteral("001")};
    const BankAccount b{QStringLiteral("第一銀行"), QStringLiteral("002")};
    addCash(*db, 1, true, d(2024, 1, 2), 500, 500);
    addBank(*db, a.bank, a.account, 1, true, d(2024, 1, 3), 1000, 1000);
    db->execute(QStringLiteral("INSERT INTO bbank VALUES (?, ?, '公司', 200)"),
                {a.bank, a.account});

    // The funds check of cashing a cheque: balance 1000 plus ps 200.
    TransferRequest r{Side{false, a}, Side{false, b}, 1300, kToday, QStringLiteral("調撥")};
    TransferResult t = transfer(*db, r);
    QCOMPARE(t.outcome, TransferResult::Outcome::InsufficientFunds);
    QCOMPARE(t.available, 1200);
    QCOMPARE(num(*db, QStringLiteral("SELECT count(*) FROM bank")), 1);  // nothing written
    r.amount = 1200;
    t = transfer(*db, r);
    QCOMPARE(t.outcome, TransferResult::Outcome::Done);
    QCOMPARE(t.key, QStringLiteral("轉1130315-001"));
    QCOMPARE(t.fromId, 2);
    QCOMPARE(t.fromBalance, -200);
    QCOMPARE(t.toId, 1);
    QCOMPARE(t.toBalance, 1200);
    auto rs =
        db->openRecordset(QStringLiteral("SELECT id, bank, 存入, 異動金額, bala, 票據號碼 FROM "
                                         "bank WHERE 票據號碼 = ? ORDER BY bank"),
                          store::RecordsetType::Snapshot, {t.key});
    QCOMPARE(rs.RecordCount(), 2);
    rs.Close();

    // Cash can only pay what it holds.
    t = transfer(*db, {Side{true, {}}, Side{false, b}, 600, kToday, {}});
    QCOMPARE(t.outcome, TransferResult::Outcome::InsufficientFunds);
    QCOMPARE(t.available, 500);
    t = transfer(*db, {Side{true, {}}, Side{false, b}, 500, kToday, {}});
    QCOMPARE(t.outcome, TransferResult::Outcome::Done);
    QCOMPARE(t.key, QStringLiteral("轉1130315-002"));
    QCOMPARE(cashBalance(*db), 0);
    QCOMPARE(bankBalance(*db, b), 1700);
    QCOMPARE(transfer(*db, {Side{true, {}}, Side{true, {}}, 5, kToday, {}}).outcome,
             TransferResult::Outcome::SameSide);

    // Reversal: the opposite rows, once.
    t = reverseTransfer(*db, QStringLiteral("轉1130315-002"), kToday.addDays(1));
    QCOMPARE(t.outcome, TransferResult::Outcome::Done);
    QCOMPARE(t.key, QStringLiteral("轉1130315-002R"));
    QCOMPARE(cashBalance(*db), 500);
    QCOMPARE(bankBalance(*db, b), 1200);
    QCOMPARE(reverseTransfer(*db, QStringLiteral("轉1130315-002"), kToday).outcome,
             TransferResult::Outcome::AlreadyReversed);
    QCOMPARE(reverseTransfer(*db, QStringLiteral("轉1130315-002R"), kToday).outcome,
             TransferResult::Outcome::NotFound);
    const QVector<TransferLine> lines = transfers(*db);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.at(0).reversal);
    // Every ledger still follows from its movements.
    QVERIFY(cashBook(*db, {}).check.consistent);
    QVERIFY(bankBook(*db, a, {}).check.consistent);
    QVERIFY(bankBook(*db, b, {}).check.consistent);
    // One event per transfer made and none for a refusal, with the ledger rows it wrote.
    const QVector<audit::StoredEvent> trail = audit::readEvents(*db, {});
    QStringList keys;
    for (const audit::StoredEvent& e : trail)
        keys << e.kind + QLatin1Char(' ') + e.key;
    QCOMPARE(keys, (QStringList{QStringLiteral("transfer 轉1130315-001"),
                                QStringLiteral("transfer 轉1130315-002"),
                                QStringLiteral("transfer 轉1130315-002R")}));
    const QJsonObject first = QJsonDocument::fromJson(trail.first().after.toUtf8()).object();
    QCOMPARE(first[QStringLiteral("轉出")].toObject()[QStringLiteral("id")].toInt(), 2);
    QCOMPARE(first[QStringLiteral("轉出")].toObject()[QStringLiteral("帳")].toString(),
             QStringLiteral("bank 台灣銀行 001"));
    QCOMPARE(first[QStringLiteral("轉入")].toObject()[QStringLiteral("id")].toInt(), 1);
    QCOMPARE(first[QStringLiteral("轉入")].toObject()[QStringLiteral("異動金額")].toInt(), 1200);
}

// ---------------------------------------------------------------------------------------------

namespace {

ExportTable sampleTable() {
    ExportTable t;
    t.sheetName = QStringLiteral("收支單查詢");
    t.titleLines = {QStringLiteral("測試工程有限公司"), QStringLiteral("收支單查詢")};
    t.columns = {{QStringLiteral("單號"), CellKind::Text},
                 {QStringLiteral("發生日期"), CellKind::Date},
                 {QStringLiteral("用途說明"), CellKind::Text},
                 {QStringLiteral("金額"), CellKind::Amount}};
    t.rowCount = 3;
    t.cell = [](int r, int c) -> QVariant {
        const QVector<QVector<QVariant>> rows{
            {QStringLiteral("1130229001"), d(2024, 2, 29), QStringLiteral("支出 材料費, \"鋼筋\""),
             1234567},
            {QStringLiteral("1121231002"), d(2023, 12, 31), QStringLiteral("收入"), 5},
            {QStringLiteral("0990101001"), QDate(), QString(), QVariant()}};
        return rows.at(r).at(c);
    };
    return t;
}

}  // namespace

void TestStatements::exportXlsxReadBack() {
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("查詢.xlsx"));
    writeXlsx(sampleTable(), path);
    const QString script = QStringLiteral(R"(
import json, sys, datetime, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.active
cells = [[(type(c.value).__name__, c.value.isoformat() if isinstance(c.value, datetime.datetime) else c.value, c.number_format) for c in row] for row in ws.iter_rows()]
print(json.dumps({"title": ws.title, "freeze": ws.freeze_panes, "cells": cells,
                  "widthA": ws.column_dimensions["A"].width, "widthC": ws.column_dimensions["C"].width}))
)");
    // The system's Python, where python3-openpyxl installs (a python3 earlier on PATH may
    // lack it).
    const QString python = QFile::exists(QStringLiteral("/usr/bin/python3"))
                               ? QStringLiteral("/usr/bin/python3")
                               : QStringLiteral("python3");
    QProcess py;
    py.start(python, {QStringLiteral("-c"), script, path});
    QVERIFY(py.waitForFinished(30000));
    QVERIFY2(py.exitCode() == 0, py.readAllStandardError().constData());
    const QJsonObject o = QJsonDocument::fromJson(py.readAllStandardOutput()).object();
    QCOMPARE(o.value("title").toString(), QStringLiteral("收支單查詢"));
    QCOMPARE(o.value("freeze").toString(), QStringLiteral("A4"));  // two title lines, the heading
    const QJsonArray cells = o.value("cells").toArray();
    auto cell = [&](int r, int c) { return cells.at(r).toArray().at(c).toArray(); };
    QCOMPARE(cell(2, 1).at(1).toString(), QStringLiteral("發生日期"));
    QCOMPARE(cell(2, 2).at(1).toString(), QStringLiteral("發生日期（民國）"));
    QCOMPARE(cell(3, 0).at(1).toString(), QStringLiteral("1130229001"));  // text, not a number
    QCOMPARE(cell(3, 1).at(0).toString(), QStringLiteral("datetime"));
    QCOMPARE(cell(3, 1).at(1).toString(), QStringLiteral("2024-02-29T00:00:00"));
    QCOMPARE(cell(3, 2).at(1).toString(), QStringLiteral("113/02/29"));
    QCOMPARE(cell(3, 3).at(1).toString(), QStringLiteral("支出 材料費, \"鋼筋\""));
    QVERIFY(cell(3, 4).at(0).toString() == "int" || cell(3, 4).at(0).toString() == "float");
    QCOMPARE(cell(3, 4).at(1).toDouble(), 1234567.0);
    QCOMPARE(cell(3, 4).at(2).toString(), QStringLiteral("#,##0"));
    QVERIFY(cell(5, 1).at(1).isNull());  // no date: an empty cell
    QVERIFY(o.value("widthA").toDouble() >= 10);
    QVERIFY(o.value("widthC").toDouble() >= 10);
}

void TestStatements::exportCsvReadBack() {
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("查詢.csv"));
    writeExport(sampleTable(), path);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.at(2), QStringLiteral("單號,發生日期,發生日期（民國）,用途說明,金額"));
    QCOMPARE(
        lines.at(3),
        QStringLiteral("1130229001,2024-02-29,113/02/29,\"支出 材料費, \"\"鋼筋\"\"\",1234567"));
    QCOMPARE(lines.at(5), QStringLiteral("0990101001,,,,"));
}

// ---------------------------------------------------------------------------------------------

void TestStatements::layoutRowsAndPdfText() {
    const QString layout = QStringLiteral(
        "<html><head><meta name=\"footer\" content=\"{{標題}} 第 {{page}} 頁，共 {{pages}} 頁\">"
        "</head><body><p>{{ion}} {{標題}}</p><table>{{#rows}}<tr><td>{{科目}}</td><td>{{金額}}"
        "</td><td>{{標題}}</td></tr>{{/rows}}</table>{{#none}}<p>不該出現</p>{{/none}}</body></"
        "html>");
    QVector<report::Values> rows;
    const QStringList words{QStringLiteral("支出"), QStringLiteral("收入"),
                            QStringLiteral("長期借款"), QStringLiteral("工程金額"),
                            QStringLiteral("一般<費用>")};
    for (int i = 0; i < 60; ++i)
        rows << report::Values{{QStringLiteral("科目"), words.at(i % words.size())},
                               {QStringLiteral("金額"), QString::number(1000 + i)}};
    const report::Values values{{QStringLiteral("ion"), QStringLiteral("大同工程有限公司")},
                                {QStringLiteral("標題"), QStringLiteral("損益表")}};
    const QString html =
        report::Layout::fromText(layout).fill(values, {{QStringLiteral("rows"), rows}});
    QCOMPARE(html.count(QStringLiteral("<tr>")), 60);
    QVERIFY(html.contains(QStringLiteral("一般&lt;費用&gt;")));
    QVERIFY(!html.contains(QStringLiteral("不該出現")));
    QVERIFY(html.contains(QStringLiteral("<td>損益表</td>")));  // the outer value inside a row

    QTemporaryDir tmp;
    const QString pdf = tmp.filePath(QStringLiteral("s.pdf"));
    report::renderToPdf(report::Layout::fromText(layout), values, {{QStringLiteral("rows"), rows}},
                        pdf, QStringLiteral("損益表"));
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
    QVERIFY(p.waitForFinished(30000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    for (const QString& w :
         words + QStringList{QStringLiteral("大同工程有限公司"), QStringLiteral("1059")})
        QVERIFY2(text.contains(w.contains(u'<') ? QStringLiteral("一般<費用>") : w), qPrintable(w));
    QVERIFY2(text.contains(QStringLiteral("第 1 頁，共 2 頁")) ||
                 text.contains(QStringLiteral("共 3 頁")),
             qPrintable(text.right(200)));
    for (const QChar c : text)
        QVERIFY2(!(c.unicode() >= 0x2E80 && c.unicode() <= 0x2FDF), qPrintable(QString(c)));
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TestStatements t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_statements.moc"
