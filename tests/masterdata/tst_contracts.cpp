// 應收付: contracts and their schedules as stored, the open and overdue sums by the program's
// today, the overdue rows painted, and the rows the write-off form has settled left alone.

#include <QtTest>

#include "Clock.h"
#include "Forms.h"
#include "Globals.h"
#include "MasterDataKit.h"
#include "ProgramSandbox.h"
#include "Recordset.h"
#include "TestDataFolder.h"
#include "frmContracts.h"

using namespace orvik;
using namespace orvik::testing;
using masterdata::frmContracts;
using masterdata::OpenTotals;

namespace {

const QDate kToday(2024, 5, 10);

class Fixture {
  public:
    Fixture() {
        folder.openAsProgram();
        app::gRights = 4194303;
        app::Clock::setFixedNow(QDateTime(kToday, QTime(10, 0)));
    }

    TestDataFolder folder;  // outlives the sandbox, which closes the databases
    ProgramSandbox sandbox;

    store::Database& acc() { return *app::dbAcc; }
    ScriptedPrompts& prompts() { return sandbox.prompts(); }

    void contract(const QString& side, const QString& id, const QString& name) {
        acc().execute(QString("insert into %1 (id, 收名稱, Let) values (?, ?, '0')").arg(side),
                      {id, name});
    }
    // An instalment (table ri期/ro期) or addition (ri加/ro加); settled by `voucher` if given.
    void row(const QString& table, const QString& id, int period, qint64 amount, const QDate& due,
             const QString& voucher = {}) {
        const bool settled = !voucher.isEmpty();
        if (table.endsWith("期"))
            acc().execute(QString("insert into %1 values (?, ?, ?, ?, 0.25, '2024-04-01', 'AB', "
                                  "?, ?, -1, '', ?, ?)")
                              .arg(table),
                          {id, period, amount, due, settled ? QVariant(amount) : QVariant(),
                           settled ? QVariant(QDate(2024, 5, 3)) : QVariant(),
                           settled ? QVariant(voucher) : QVariant(), settled ? -1 : 0});
        else
            acc().execute(QString("insert into %1 values (?, ?, 'Q', 'C', ?, ?, '2024-04-01', "
                                  "'AB', ?, ?, -1, '', ?, ?)")
                              .arg(table),
                          {id, period, amount, due, settled ? QVariant(amount) : QVariant(),
                           settled ? QVariant(QDate(2024, 5, 3)) : QVariant(),
                           settled ? QVariant(voucher) : QVariant(), settled ? -1 : 0});
    }
    QVariantList stored(const QString& sql, const QVariantList& params = {}) {
        store::Recordset rs = acc().openRecordset(sql, store::RecordsetType::Snapshot, params);
        QVariantList out;
        for (int i = 0; !rs.isEOF() && i < rs.fieldCount(); ++i)
            out << rs.field(i);
        return out;
    }
    int count(const QString& sql) { return acc().scalar(sql).toInt(); }

    frmContracts* open() {
        auto* form = app::Forms::get<frmContracts>();
        form->show();
        if (!QTest::qWaitForWindowExposed(form))
            qWarning("the window was not shown");
        return form;
    }
};

using testing::column;

void choose(QTableView* view, const QString& firstColumn) {
    QVERIFY2(testing::pick(view, {firstColumn}), qPrintable(firstColumn));
}

void enterRow(frmContracts* form, bool addition, const QString& amount, double percent,
              const QDate& due, const QString& invoice) {
    form->cmdRowNew->click();
    (addition ? form->optAddition : form->optInstalment)->click();
    form->txtAmount->setText(amount);
    form->spnShare->setValue(percent);
    form->dtpDue->setDate(due);
    form->dtpBilled->setDate(due.isValid() ? due.addDays(-10) : QDate());
    form->txtInvoice->setText(invoice);
    if (addition) {
        form->txtQuote->setText("Q-" + invoice);
        form->txtContractNo->setText("C-" + invoice);
    }
    form->cmdRowSave->click();
}

}  // namespace

class tst_Contracts : public QObject {
    Q_OBJECT

  private slots:
    void entering_contractAndSchedule();
    void overdue_totalsAndColour();
    void writtenOff_rowsBelongToTheirVoucher();
    void refusals_clashAndStaleEdits();
};

void tst_Contracts::entering_contractAndSchedule() {
    Fixture fx;
    frmContracts* form = fx.open();
    QVERIFY(form->optIn->isChecked());
    form->cmdNew->click();
    form->txtId->setText("A01");
    form->txtName->setText("甲工程");
    form->cmdSave->click();
    QCOMPARE(fx.stored("select id, 收名稱, Let from ri"), QVariantList({"A01", "甲工程", "0"}));
    QCOMPARE(column(form->lstContracts, 0), QStringList({"A01"}));

    enterRow(form, false, "300000", 30, kToday.addDays(-1), "AB001");
    enterRow(form, false, "500000", 50, kToday, "AB002");
    enterRow(form, true, "45000", 0, QDate(), "AB003");
    enterRow(form, false, "200000", 20, kToday.addDays(40), "AB004");
    QCOMPARE(column(form->lstRows, 0), QStringList({"1期", "2期", "3期", "追加1"}));
    QCOMPARE(column(form->lstRows, 2), QStringList({"30%", "50%", "20%", ""}));
    QCOMPARE(fx.stored("select 期別, 應付金額, 預付日期, 佔總價比例, 送帳單日, 發票號碼, 處理 "
                       "from ri期 where 期別 = 1"),
             QVariantList({1, 300000, "2024-05-09", 0.3, "2024-04-29", "AB001", 0}));
    QCOMPARE(fx.stored("select 期別, 報價單號, 合約單號, 應付金額, 預付日期, 處理 from ri加"),
             QVariantList({1, "Q-AB003", "C-AB003", 45000, QVariant(), 0}));

    // Changing a row: its period may move to a free number.
    choose(form->lstRows, "2期");
    QVERIFY(!form->optAddition->isEnabled());
    form->spnPeriod->setValue(5);
    form->txtAmount->setText("480000");
    form->cmdRowSave->click();
    QCOMPARE(fx.stored("select 應付金額 from ri期 where id = 'A01' and 期別 = 5"),
             QVariantList({480000}));
    QCOMPARE(column(form->lstRows, 0), QStringList({"1期", "3期", "5期", "追加1"}));

    // The payables side keeps its own contracts and tables.
    form->optOut->click();
    QVERIFY(column(form->lstContracts, 0).isEmpty());
    form->cmdNew->click();
    form->txtId->setText("B01");
    form->txtName->setText("外包商");
    form->cmdSave->click();
    enterRow(form, false, "12000", 100, kToday.addDays(3), "X1");
    QCOMPARE(fx.count("select count(*) from ro期 where id = 'B01' and 應付金額 = 12000"), 1);
    QCOMPARE(fx.count("select count(*) from ri期"), 3);
    QCOMPARE(fx.stored("select Let from ro"), QVariantList({"0"}));

    // A contract without settled rows is removed with its schedule.
    form->optIn->click();
    choose(form->lstContracts, "A01");
    fx.prompts().expectMessage("確定刪除應收 A01 甲工程 與它的 4 期", app::Answer::Yes);
    form->cmdDelete->click();
    QCOMPARE(fx.count("select (select count(*) from ri) + (select count(*) from ri期) + "
                      "(select count(*) from ri加)"),
             0);
    QCOMPARE(fx.count("select count(*) from ro期"), 1);
}

void tst_Contracts::overdue_totalsAndColour() {
    Fixture fx;
    fx.contract("ri", "A01", "甲工程");
    fx.contract("ri", "A02", "乙工程");
    fx.contract("ro", "B01", "外包商");
    struct Row {
        QString table;
        QString id;
        int period;
        qint64 amount;
        QDate due;
        QString settledBy;
    };
    const QList<Row> rows{
        {"ri期", "A01", 1, 1000, kToday.addDays(-1), {}},              // overdue since yesterday
        {"ri期", "A01", 2, 2000, kToday, {}},                          // due today: not yet
        {"ri期", "A01", 3, 4000, kToday.addDays(1), {}},               // tomorrow
        {"ri期", "A01", 4, 8000, {}, {}},                              // no date: never overdue
        {"ri期", "A01", 5, 16000, kToday.addDays(-30), "1130410001"},  // settled: neither
        {"ri加", "A01", 1, 32000, kToday.addYears(-1), {}},            // an addition, long overdue
        {"ri期", "A02", 1, 64000, kToday.addDays(-2), {}},             // another contract
        {"ro期", "B01", 1, 128000, kToday.addDays(-5), {}},            // the other side
    };
    for (const Row& r : rows)
        fx.row(r.table, r.id, r.period, r.amount, r.due, r.settledBy);

    QCOMPARE(masterdata::openTotals(fx.acc(), true, "A01", kToday),
             (OpenTotals{5, 1000 + 2000 + 4000 + 8000 + 32000, 2, 1000 + 32000}));
    QCOMPARE(masterdata::openTotals(fx.acc(), true, {}, kToday),
             (OpenTotals{6, 47000 + 64000, 3, 33000 + 64000}));
    QCOMPARE(masterdata::openTotals(fx.acc(), false, {}, kToday),
             (OpenTotals{1, 128000, 1, 128000}));
    // Two days on, today's and tomorrow's rows are overdue too.
    QCOMPARE(masterdata::openTotals(fx.acc(), true, "A01", kToday.addDays(2)),
             (OpenTotals{5, 47000, 4, 1000 + 2000 + 4000 + 32000}));

    frmContracts* form = fx.open();
    QVERIFY(form->lbAllTotals->text().contains("未沖帳 6 期 111,000 元；逾期 3 期 97,000 元"));
    QCOMPARE(column(form->lstContracts, 3), QStringList({"33,000", "64,000"}));
    choose(form->lstContracts, "A01");
    QVERIFY2(form->lbTotals->text().contains("未沖帳 5 期 47,000 元；逾期 2 期 33,000 元"),
             qPrintable(form->lbTotals->text()));
    const auto painted = [&] {
        QStringList out;
        for (int r = 0; r < form->lstRows->model()->rowCount(); ++r) {
            if (form->lstRows->model()->index(r, 1).data(Qt::BackgroundRole).isValid())
                out << form->lstRows->model()->index(r, 0).data().toString();
        }
        return out;
    };
    QCOMPARE(painted(), QStringList({"1期", "追加1"}));
    QCOMPARE(form->lstRows->model()->index(0, 1).data(Qt::BackgroundRole).value<QColor>(),
             QColor(255, 200, 200));

    // The program's today decides, not the computer's.
    app::Clock::setFixedNow(QDateTime(kToday.addDays(2), QTime(9, 0)));
    form->optOut->click();
    form->optIn->click();
    choose(form->lstContracts, "A01");
    QCOMPARE(painted(), QStringList({"1期", "2期", "3期", "追加1"}));
}

void tst_Contracts::writtenOff_rowsBelongToTheirVoucher() {
    Fixture fx;
    fx.contract("ri", "A01", "甲工程");
    fx.row("ri期", "A01", 1, 10000, kToday.addDays(-20), "1130503001");
    fx.row("ri期", "A01", 2, 20000, kToday.addDays(20));
    fx.row("ri加", "A01", 1, 5000, kToday.addDays(20));
    frmContracts* form = fx.open();
    choose(form->lstContracts, "A01");
    QCOMPARE(column(form->lstRows, 8), QStringList({"已沖帳", "未沖帳", "未沖帳"}));
    QCOMPARE(column(form->lstRows, 9), QStringList({"1130503001", "", ""}));

    choose(form->lstRows, "1期");
    QVERIFY(form->lbWrittenOff->text().contains("已由收支單 1130503001 沖帳"));
    QVERIFY(!form->cmdRowSave->isEnabled() && !form->cmdRowDelete->isEnabled());
    // Past the shut buttons too (a handler reached another way), nothing is written.
    form->txtAmount->setText("1");
    fx.prompts().expectMessage("1期已由收支單 1130503001 沖帳，屬於該收支單，不能在這裡修改");
    form->cmdRowSave_Click();
    choose(form->lstRows, "1期");
    fx.prompts().expectMessage("確定刪除1期", app::Answer::Yes);
    fx.prompts().expectMessage("1期已由收支單 1130503001 沖帳，屬於該收支單，不能在這裡刪除");
    form->cmdRowDelete_Click();
    QCOMPARE(fx.stored("select 應付金額, 處理 from ri期 where 期別 = 1"),
             QVariantList({10000, -1}));

    // Written off by another copy while this one edits it.
    choose(form->lstRows, "追加1");
    form->txtAmount->setText("5500");
    auto other = openDatabaseFile(fx.folder.path(), store::schema::acc());
    other->execute("update ri加 set 處理 = -1, 沖帳單號 = '1130510002' where id = 'A01'");
    fx.prompts().expectMessage("追加1已由收支單 1130510002 沖帳");
    form->cmdRowSave->click();
    QCOMPARE(fx.stored("select 應付金額 from ri加"), QVariantList({5000}));

    // The contract stays while rows of it are settled; its open rows stay too.
    fx.prompts().expectMessage("確定刪除應收 A01", app::Answer::Yes);
    fx.prompts().expectMessage("應收 A01 甲工程 已有 2 期由收支單沖帳，不能刪除");
    form->cmdDelete->click();
    QCOMPARE(fx.count("select (select count(*) from ri) + (select count(*) from ri期) + "
                      "(select count(*) from ri加)"),
             4);
}

void tst_Contracts::refusals_clashAndStaleEdits() {
    Fixture fx;
    fx.contract("ri", "A01", "甲工程");
    fx.contract("ri", "A02", "乙工程");
    fx.row("ri期", "A01", 1, 10000, kToday.addDays(10));
    fx.row("ri期", "A01", 2, 20000, kToday.addDays(40));
    frmContracts* form = fx.open();

    form->cmdNew->click();
    form->txtId->setText("a02");
    form->txtName->setText("丙工程");
    fx.prompts().expectMessage("代號 a02 已由 乙工程 使用");
    form->cmdSave->click();
    QCOMPARE(fx.count("select count(*) from ri"), 2);

    choose(form->lstContracts, "A01");
    choose(form->lstRows, "1期");
    form->spnPeriod->setValue(2);
    fx.prompts().expectMessage("2期已在清單中");
    form->cmdRowSave->click();

    // Another copy changes the instalment, then the contract, meanwhile.
    auto other = openDatabaseFile(fx.folder.path(), store::schema::acc());
    choose(form->lstRows, "1期");
    form->txtAmount->setText("11000");
    other->execute("update ri期 set 應付金額 = 12000 where id = 'A01' and 期別 = 1");
    fx.prompts().expectMessage("此筆資料已由別人修改或刪除");
    form->cmdRowSave->click();
    QCOMPARE(fx.stored("select 應付金額 from ri期 where 期別 = 1"), QVariantList({12000}));

    choose(form->lstContracts, "A01");
    form->txtName->setText("甲工程（改）");
    other->execute("update ri set 收名稱 = '甲工程二期' where id = 'A01'");
    fx.prompts().expectMessage("此筆資料已由別人修改或刪除");
    form->cmdSave->click();
    QCOMPARE(fx.stored("select 收名稱 from ri where id = 'A01'"), QVariantList({"甲工程二期"}));
    QCOMPARE(form->txtName->text(), QString("甲工程二期"));

    // A new code moves the schedule along.
    form->txtId->setText("A09");
    form->cmdSave->click();
    QCOMPARE(fx.count("select count(*) from ri期 where id = 'A09'"), 2);
    QCOMPARE(column(form->lstContracts, 0), QStringList({"A02", "A09"}));
}

QTEST_MAIN(tst_Contracts)
#include "tst_contracts.moc"
