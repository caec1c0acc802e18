// 專案: a project's totals per year of occurrence, split into income and expense, approved and
// not; the refusals that keep vouchers and projects together; work types in their order; and a
// voucher of the list shown in the voucher form.

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QtTest>

#include "Clock.h"
#include "Forms.h"
#include "Globals.h"
#include "MasterDataKit.h"
#include "ProgramSandbox.h"
#include "ProjectTotals.h"
#include "Recordset.h"
#include "TestDataFolder.h"
#include "frmProjects.h"

using namespace orvik;
using namespace orvik::testing;
using masterdata::frmProjects;
using masterdata::ProjectYear;
using masterdata::Tally;

namespace {

struct Voucher {
    QString no;
    QString project;
    QDate occurred;
    bool expense;
    int status;
    qint64 amount;
    QString account;
    // Entry falls on another day (here and there in another year) than occurrence, so a total
    // taken by the wrong date shows.
    QDate entered = occurred.addDays(6);
};

class Fixture {
  public:
    Fixture() {
        folder.openAsProgram();
        app::gRights = 4194303;
        app::Clock::setFixedNow(QDateTime(QDate(2024, 5, 10), QTime(10, 0)));
        acc().execute(
            "insert into acc (id, incom, acc) values ('4101', -1, '工程收入'), "
            "('5101', 0, '文具'), ('5203', 0, '材料')");
        // The vouchers' purpose is a known word: the voucher form asks about no new one.
        acc().execute("insert into use (id, use) values (1, '用途')");
    }

    TestDataFolder folder;  // outlives the sandbox, which closes the databases
    ProgramSandbox sandbox;

    store::Database& acc() { return *app::dbAcc; }
    ScriptedPrompts& prompts() { return sandbox.prompts(); }

    void project(const QString& code, const QString& name) {
        acc().execute("insert into prj (id, prj) values (?, ?)", {code, name});
    }
    void workType(const QString& code, const QString& w) {
        acc().execute("insert into w4pj (pj_id, w) values (?, ?)", {code, w});
    }
    void voucher(const Voucher& v) {
        acc().execute(
            "insert into iof values (?, ?, '用途', ?, ?, ?, ?, '科目', '', '', ?, '', "
            "'', ?, '王大明', '李小華', 0, '', 0, 0, -1)",
            {v.entered, v.no, v.status, v.amount, v.account, v.expense, v.project, v.occurred});
    }
    int count(const QString& sql, const QVariantList& params = {}) {
        return acc().scalar(sql, params).toInt();
    }

    frmProjects* open() {
        auto* form = app::Forms::get<frmProjects>();
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

QWidget* voucherForm() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == "frmIo" && w->isVisible())
            return w;
    }
    return nullptr;
}

QString voucherShown() {
    QWidget* f = voucherForm();
    return f ? f->findChild<QLabel*>("lbNo")->text() : QString();
}

void doubleClick(QTableView* view, const QString& no) {
    const int row = int(column(view, 0).indexOf(no));
    QVERIFY2(row >= 0, qPrintable(no));
    QCoreApplication::processEvents();  // the tab just shown is laid out
    const QRect cell = view->visualRect(view->model()->index(row, 1));
    QVERIFY(view->isVisible() && cell.isValid());
    // As the system delivers it: a click, then the second press as a double-click.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

}  // namespace

class tst_Projects : public QObject {
    Q_OBJECT

  private slots:
    void totals_perYearSideAndApproval();
    void totals_readFromTheCoveringIndex();
    void projects_refusals();
    void projects_staleEdit_refused();
    void workTypes_inTheirOrder();
    void vouchers_inNumberOrder_doubleClickShowsOne();
};

void tst_Projects::totals_perYearSideAndApproval() {
    Fixture fx;
    fx.project("P1", "河堤工程");
    fx.project("P2", "校舍工程");
    const QList<Voucher> vouchers{
        {"1121105001", "P1", {2023, 11, 5}, false, 0, 50000, "4101"},
        {"1121106001", "P1", {2023, 11, 6}, false, -1, 7000, "4101"},
        {"1120301001", "P1", {2023, 3, 1}, true, 1, 12000, "5203"},
        {"1120302001", "P1", {2023, 3, 2}, true, 4, 300, "5101"},
        {"1120715001", "P1", {2023, 7, 15}, true, -2, 4500, "5203"},
        {"1120716001", "P1", {2023, 7, 16}, true, -3, 8000, "5203"},  // void: in no total
        // Occurred in 112, entered and numbered in 113.
        {"1130103001", "P1", {2023, 12, 28}, true, 0, 999, "5101", {2024, 1, 3}},
        {"1130201001", "P1", {2024, 2, 1}, false, 2, 80000, "4101"},
        {"1130202001", "P1", {2024, 2, 2}, true, -1, 600, "5101"},
        {"1130203001", "P2", {2024, 2, 3}, false, 0, 11111, "4101"},  // another project
        {"990305001", "P1", {2010, 3, 5}, false, -2, 20, "4101"},
    };
    for (const Voucher& v : vouchers)
        fx.voucher(v);

    const masterdata::ProjectTotals t = masterdata::projectTotals(fx.acc(), "P1");
    struct Expected {
        int year;
        Tally incomeApproved, incomeUnapproved, expenseApproved, expenseUnapproved;
    };
    const QList<Expected> expected{
        {99, {}, {1, 20}, {}, {}},
        {112, {1, 50000}, {1, 7000}, {3, 13299}, {1, 4500}},
        {113, {1, 80000}, {}, {}, {1, 600}},
        {0, {2, 130000}, {2, 7020}, {3, 13299}, {2, 5100}},  // all years
    };
    QCOMPARE(t.years.size(), 3);
    for (int i = 0; i < expected.size(); ++i) {
        const Expected& e = expected.at(i);
        const ProjectYear& y = i < 3 ? t.years.at(i) : t.all;
        QCOMPARE(y.rocYear, e.year);
        QCOMPARE(y.incomeApproved, e.incomeApproved);
        QCOMPARE(y.incomeUnapproved, e.incomeUnapproved);
        QCOMPARE(y.expenseApproved, e.expenseApproved);
        QCOMPARE(y.expenseUnapproved, e.expenseUnapproved);
    }
    QVERIFY(masterdata::projectTotals(fx.acc(), "P9").years.isEmpty());

    // The window shows the same figures, with a row for all years.
    frmProjects* form = fx.open();
    choose(form->lstProjects, "P1");
    QCOMPARE(column(form->lstTotals, 0), QStringList({"99", "112", "113", "合計"}));
    QStringList row112;
    for (int c = 1; c < 9; ++c)
        row112 << form->lstTotals->model()->index(1, c).data().toString();
    QCOMPARE(row112, QStringList({"1", "50,000", "1", "7,000", "3", "13,299", "1", "4,500"}));
}

void tst_Projects::totals_readFromTheCoveringIndex() {
    if (testing::onServer())
        QSKIP(
            "SQLite only: the plan is read from SQLite's EXPLAIN QUERY PLAN; the server "
            "plans by its own statistics");
    Fixture fx;
    QSqlQuery q(fx.acc().connection());
    QVERIFY(q.prepare("EXPLAIN QUERY PLAN " + masterdata::projectTotalsSql()));
    q.addBindValue("P1");
    QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
    QString plan;
    while (q.next())
        plan += q.value(3).toString() + "\n";
    QVERIFY2(plan.contains("USING COVERING INDEX iof_project"), qPrintable(plan));
}

void tst_Projects::projects_refusals() {
    Fixture fx;
    fx.project("P1", "河堤工程");
    fx.project("P3", "停車場");
    fx.workType("P3", "土方");
    fx.project("P4", "圍牆");
    fx.workType("P4", "鋼筋");
    for (int i = 1; i <= 3; ++i)
        fx.voucher({QString("113020%1001").arg(i), "P1", {2024, 2, i}, true, -1, 100, "5101"});
    frmProjects* form = fx.open();
    QCOMPARE(column(form->lstProjects, 0), QStringList({"P1", "P3", "P4"}));

    // A new project under a code in use, whatever its letter case: refused, naming the holder.
    form->cmdNew->click();
    form->txtCode->setText("p1");
    form->txtName->setText("新工程");
    fx.prompts().expectMessage("專案號碼 p1 已由 河堤工程 使用");
    form->cmdSave->click();
    QCOMPARE(fx.count("select count(*) from prj"), 3);

    // A used project keeps its code and stays; its name may change.
    choose(form->lstProjects, "P1");
    form->txtCode->setText("P1A");
    fx.prompts().expectMessage("專案 P1 已有 3 張收支單使用，專案號碼不能修改");
    form->cmdSave->click();
    form->txtCode->setText("P1");
    form->txtName->setText("河堤工程二期");
    form->cmdSave->click();
    QCOMPARE(fx.acc().scalar("select prj from prj where id = 'P1'").toString(),
             QString("河堤工程二期"));
    fx.prompts().expectMessage("確定刪除專案 P1 河堤工程二期", app::Answer::Yes);
    fx.prompts().expectMessage("專案 P1 河堤工程二期 已有 3 張收支單使用，不能刪除");
    form->cmdDelete->click();
    QCOMPARE(fx.count("select count(*) from prj where id = 'P1'"), 1);

    // An unused project takes its work types along when renumbered or removed.
    choose(form->lstProjects, "P3");
    form->txtCode->setText("P5");
    form->cmdSave->click();
    QCOMPARE(fx.count("select count(*) from w4pj where pj_id = 'P5' and w = '土方'"), 1);
    QCOMPARE(column(form->lstProjects, 0), QStringList({"P1", "P4", "P5"}));
    QCOMPARE(form->txtCode->text(), QString("P5"));
    choose(form->lstProjects, "P4");
    fx.prompts().expectMessage("確定刪除專案 P4 圍牆", app::Answer::Yes);
    form->cmdDelete->click();
    QCOMPARE(fx.count("select count(*) from prj where id = 'P4'"), 0);
    QCOMPARE(fx.count("select count(*) from w4pj where pj_id = 'P4'"), 0);
    QCOMPARE(column(form->lstProjects, 0), QStringList({"P1", "P5"}));
}

void tst_Projects::projects_staleEdit_refused() {
    Fixture fx;
    fx.project("P1", "河堤工程");
    fx.project("P2", "校舍工程");
    frmProjects* form = fx.open();
    choose(form->lstProjects, "P1");
    form->txtName->setText("河堤工程（改）");

    // Another copy renames the project meanwhile, through its own connection.
    auto other = openDatabaseFile(fx.folder.path(), store::schema::acc());
    other->execute("update prj set prj = '河堤整治' where id = 'P1'");
    fx.prompts().expectMessage("此筆資料已由別人修改或刪除");
    form->cmdSave->click();
    QCOMPARE(fx.acc().scalar("select prj from prj where id = 'P1'").toString(),
             QString("河堤整治"));
    QCOMPARE(form->txtName->text(), QString("河堤整治"));  // shown as stored

    // And removes the other one before this copy does.
    choose(form->lstProjects, "P2");
    other->execute("update prj set prj = '校舍' where id = 'P2'");
    fx.prompts().expectMessage("確定刪除專案 P2", app::Answer::Yes);
    fx.prompts().expectMessage("此筆資料已由別人修改或刪除");
    form->cmdDelete->click();
    QCOMPARE(fx.count("select count(*) from prj where id = 'P2'"), 1);
}

void tst_Projects::workTypes_inTheirOrder() {
    Fixture fx;
    fx.project("P1", "河堤工程");
    fx.project("P2", "校舍工程");
    fx.workType("P2", "油漆");
    frmProjects* form = fx.open();
    QVERIFY(!form->tabWork->isEnabled());  // no project chosen
    choose(form->lstProjects, "P1");
    for (const char* w : {"土方", "模板", "鋼筋"}) {
        form->cmdWorkNew->click();
        form->txtWork->setText(w);
        form->cmdWorkSave->click();
    }
    const auto stored = [&](const QString& code) {
        QStringList out;
        // As the voucher form reads them.
        store::Recordset rs = fx.acc().openRecordset("select w from w4pj where pj_id = ?",
                                                     store::RecordsetType::Snapshot, {code});
        for (const auto& r : rs.takeRows())
            out << r.value(0).toString();
        return out;
    };
    QCOMPARE(stored("P1"), QStringList({"土方", "模板", "鋼筋"}));
    QCOMPARE(column(form->lstWork, 0), stored("P1"));

    choose(form->lstWork, "模板");
    form->txtWork->setText("鋼筋");
    fx.prompts().expectMessage("「鋼筋」已在專案 P1 的工程種類中");
    form->cmdWorkSave->click();
    form->txtWork->setText("混凝土");
    form->cmdWorkSave->click();
    choose(form->lstWork, "土方");
    fx.prompts().expectMessage("確定刪除工程種類「土方」", app::Answer::Yes);
    form->cmdWorkDelete->click();
    QCOMPARE(stored("P1"), QStringList({"混凝土", "鋼筋"}));
    QCOMPARE(stored("P2"), QStringList({"油漆"}));

    // A work type renamed by another copy meanwhile is not written over.
    choose(form->lstWork, "鋼筋");
    fx.acc().execute("update w4pj set w = '鋼構' where w = '鋼筋'");
    form->txtWork->setText("鋼筋綁紮");
    fx.prompts().expectMessage("此筆資料已由別人修改或刪除");
    form->cmdWorkSave->click();
    QCOMPARE(stored("P1"), QStringList({"混凝土", "鋼構"}));
}

void tst_Projects::vouchers_inNumberOrder_doubleClickShowsOne() {
    Fixture fx;
    fx.project("P1", "河堤工程");
    fx.voucher({"1130105001", "P1", {2024, 1, 5}, true, -1, 100, "5101"});
    fx.voucher({"991231001", "P1", {2010, 12, 31}, false, 0, 200, "4101"});
    fx.voucher({"1121228001", "P1", {2023, 12, 28}, true, -3, 300, "5203"});
    fx.voucher({"1121229001", "", {2023, 12, 29}, true, -1, 400, "5101"});
    frmProjects* form = fx.open();
    choose(form->lstProjects, "P1");
    QCOMPARE(column(form->lstVouchers, 0), QStringList({"991231001", "1121228001", "1130105001"}));
    QCOMPARE(column(form->lstVouchers, 3), QStringList({"已簽核", "作廢", "未簽核"}));
    form->tabDetail->setCurrentWidget(form->tabVouchers);

    doubleClick(form->lstVouchers, "1121228001");
    QVERIFY(voucherForm());
    QCOMPARE(voucherShown(), QString("1121228001"));

    // An entry in progress is given up only when the user agrees.
    QWidget* io = voucherForm();
    io->findChild<QPushButton*>("cmdAdd")->click();
    const QString entering = io->findChild<QLabel*>("lbStat")->text();
    fx.prompts().expectMessage("此收支單尚未儲存", app::Answer::No);
    doubleClick(form->lstVouchers, "991231001");
    QCOMPARE(io->findChild<QLabel*>("lbStat")->text(), entering);
    fx.prompts().expectMessage("此收支單尚未儲存", app::Answer::Yes);
    doubleClick(form->lstVouchers, "991231001");
    QCOMPARE(voucherShown(), QString("991231001"));

    // A voucher removed meanwhile is told, and the list is read again.
    fx.acc().execute("delete from iof where 單號 = '1130105001'");
    fx.prompts().expectMessage("收支單 1130105001 已不存在");
    doubleClick(form->lstVouchers, "1130105001");
    QCOMPARE(column(form->lstVouchers, 0), QStringList({"991231001", "1121228001"}));
    QCOMPARE(voucherShown(), QString("991231001"));
}

QTEST_MAIN(tst_Projects)
#include "tst_projects.moc"
