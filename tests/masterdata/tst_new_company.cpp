// A new company from a folder fresh from the administrator tool: everything the books need is
// entered through the master-data windows, and an employee made there logs in, enters an income
// voucher on the new account and project, approves it by a cheque from the new counterparty
// bank and writes off the contract's first instalment with it.

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardItemModel>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include "AccountPanel.h"
#include "Admin.h"
#include "BankListPanel.h"
#include "BillHandOver.h"
#include "Clock.h"
#include "Forms.h"
#include "Globals.h"
#include "MasterDataKit.h"
#include "Modal.h"
#include "Pickers.h"
#include "ProgramSandbox.h"
#include "Recordset.h"
#include "TestDataFolder.h"
#include "WordListPanel.h"
#include "WriteOffHandOver.h"
#include "frmBill.h"
#include "frmCompany.h"
#include "frmContracts.h"
#include "frmEmployees.h"
#include "frmIo.h"
#include "frmLogin.h"
#include "frmMach.h"
#include "frmProjects.h"
#include "frmRights.h"
#include "frmWords.h"

using namespace orvik;
using namespace orvik::masterdata;
using orvik::testing::ProgramSandbox;

namespace {

// The day the company starts (民國 115年3月18日); the work happened two days before.
const QDate kToday(2026, 3, 18);
const QDate kOccurred(2026, 3, 16);
const QDate kChequeDay(2026, 3, 25);

using testing::pick;

// Every row of a query, cells as text joined by '|'; null reads "<null>".
QStringList dump(store::Database& db, const QString& sql, const QVariantList& params = {}) {
    return testing::dump(db, sql, params, QStringLiteral("<null>"));
}

// The rows of a combo's list model: its first `columns` cells joined by '|'.
QStringList offered(QComboBox* box, int columns) {
    QStringList out;
    const QAbstractItemModel* m = box->model();
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < columns; ++c)
            cells << m->index(r, c).data().toString();
        out << cells.join('|');
    }
    return out;
}

// Chooses the row of a combo whose cell `column` reads `text`, as a click in its list does.
bool choose(QComboBox* box, int column, const QString& text) {
    const QAbstractItemModel* m = box->model();
    for (int r = 0; r < m->rowCount(); ++r) {
        if (m->index(r, column).data().toString() == text) {
            box->setCurrentIndex(r);
            emit box->activated(r);
            return true;
        }
    }
    return false;
}

void addBank(BankListPanel* p, const QString& bank, const QString& account, const QString& holder,
             const QString& allowance = {}) {
    p->cmdNew->click();
    p->txtBank->setText(bank);
    p->txtAccount->setText(account);
    p->txtHolder->setText(holder);
    p->txtAllowance->setText(allowance);
    p->cmdSave->click();
}

void addWord(WordListPanel* p, const QString& word) {
    p->cmdNew->click();
    p->txtWord->setText(word);
    p->cmdSave->click();
}

void addInstalment(frmContracts* form, const QString& amount, double percent, const QDate& due,
                   const QString& invoice) {
    form->cmdRowNew->click();
    form->optInstalment->click();
    form->txtAmount->setText(amount);
    form->spnShare->setValue(percent);
    form->dtpDue->setDate(due);
    form->dtpBilled->setDate(due.addDays(-7));
    form->txtInvoice->setText(invoice);
    form->cmdRowSave->click();
}

// In the write-off form: lists the contracts offered ("id|name"), chooses `contract`, presses
// the mouse on its instalment row `period` ("1期") and confirms.
QStringList writeOff(writeoff::frmMach* form, const QString& contract, const QString& period) {
    QStringList listed;
    for (int i = 0; i < form->lstRio->topLevelItemCount(); ++i)
        listed << form->lstRio->topLevelItem(i)->text(0) + "|" +
                      form->lstRio->topLevelItem(i)->text(1);
    form->lstRio->setCurrentItem(form->lstRio->findItems(contract, Qt::MatchExactly).value(0));
    QTableWidget* grid = form->hfgC;
    for (int r = 1; r < grid->rowCount(); ++r) {
        if (grid->item(r, 0) && grid->item(r, 0)->text() == period) {
            QTest::mousePress(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                              grid->visualRect(grid->model()->index(r, 1)).center());
            break;
        }
    }
    if (form->cmd->isVisible())  // only once a row is chosen
        form->cmd->click();
    return listed;
}

// Logs in through the login form as a user does; true when it let the user in.
bool logIn(const QString& login, const QString& password) {
    auto* form = app::Forms::get<shell::frmLogin>();
    form->txtUserName->setText(login);
    form->txtPassword->setText(password);
    form->cmdOK_Click();
    return app::isTrue(app::gLoggedIn) && !app::Forms::isLoaded<shell::frmLogin>();
}

}  // namespace

class TestNewCompany : public QObject {
    Q_OBJECT
  private slots:
    void setsItselfUpAndWritesOffTheFirstInstalment();
};

void TestNewCompany::setsItselfUpAndWritesOffTheFirstInstalment() {
    // The folder is made as `orvik-admin init DIR --admin boss --password pw` makes it and
    // opened as start-up opens it; it outlives the sandbox, which closes the databases.
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString dir = QDir(root.path()).filePath("books");
    admin::InitOptions init;
    init.dir = dir;
    init.adminLogin = "boss";
    init.adminPassword = "pw";
    admin::initFolder(init);

    ProgramSandbox sandbox;
    testing::ScriptedPrompts& prompts = sandbox.prompts();
    app::Clock::setFixedNow(QDateTime(kToday, QTime(9, 30)));
    testing::openFolderAsProgram(dir);
    store::Database& acc = *app::dbAcc;
    store::Database& general = *app::dbGeneral;
    // Nothing but the administrator and the heading yet.
    QCOMPARE(dump(general, "select 員工編號, 英文姓名, AccS from 員工"),
             QStringList{"A001|boss|4194303"});
    QCOMPARE(dump(acc,
                  "select (select count(*) from acc) + (select count(*) from prj) + "
                  "(select count(*) from obank) + (select count(*) from ri)"),
             QStringList{"0"});

    QVERIFY(logIn("boss", "pw"));
    QCOMPARE(app::gRights, 4194303);

    // 公司資料: the heading and one bank in each list.
    auto* company = app::Forms::get<frmCompany>();
    QCOMPARE(company->txtHeading->text(), QStringLiteral("歐維克工程有限公司"));
    company->txtHeading->setText("新竹營造股份有限公司");
    company->cmdSaveHeading->click();
    addBank(company->deposits, "台灣銀行", "012-345678", "新竹營造");
    addBank(company->cheques, "土地銀行", "777-100-9", "新竹營造支存", "50000");
    addBank(company->counterparts, "華南銀行", "55-0088", "竹北建設");
    QCOMPARE(dump(*app::dbPrint, "select ion from company"), QStringList{"新竹營造股份有限公司"});
    QCOMPARE(dump(acc, "select bank, id, user from obank"),
             QStringList{"台灣銀行|012-345678|新竹營造"});
    QCOMPARE(dump(acc, "select bank, id, user, ps from bbank"),
             QStringList{"土地銀行|777-100-9|新竹營造支存|50000"});
    QCOMPARE(dump(acc, "select bank, id, user from ibank"),
             QStringList{"華南銀行|55-0088|竹北建設"});

    // 員工資料: a vendor, and the employee who will keep the books.
    auto* staff = app::Forms::get<frmEmployees>();
    staff->cmdVendorNew->click();
    staff->txtVendorNo->setText("V07");
    staff->txtVendorName->setText("永豐五金");
    staff->cmdVendorSave->click();
    staff->cmdStaffNew->click();
    staff->txtNo->setText("E02");
    staff->txtName->setText("陳美玲");
    staff->txtLogin->setText("Mei");
    staff->txtPassword->setText("s3cret");
    staff->txtPassword2->setText("s3cret");
    staff->cmdStaffSave->click();
    QCOMPARE(dump(general, "select 廠商編號, 廠商名稱 from 廠商"), QStringList{"V07|永豐五金"});
    QCOMPARE(dump(general, "select 員工編號, 中文姓名, 英文姓名, AccS from 員工 order by 員工編號"),
             (QStringList{"A001|系統管理員|boss|4194303", "E02|陳美玲|Mei|1"}));

    // 權限設定: entry (1), approval (3) and write-off (4).
    auto* rights = app::Forms::get<frmRights>();
    QVERIFY(pick(rights->lstStaff, {"E02"}));
    rights->ck[3]->setChecked(true);
    rights->ck[4]->setChecked(true);
    rights->cmdSave->click();
    QCOMPARE(dump(general, "select AccS from 員工 where 員工編號 = 'E02'"),
             QStringList{QString::number(1 + 4 + 8)});

    // 專案 with one work type.
    auto* projects = app::Forms::get<frmProjects>();
    projects->cmdNew->click();
    projects->txtCode->setText("P15");
    projects->txtName->setText("竹北河堤工程");
    projects->cmdSave->click();
    QVERIFY(pick(projects->lstProjects, {"P15"}));
    projects->cmdWorkNew->click();
    projects->txtWork->setText("鋼構");
    projects->cmdWorkSave->click();
    QCOMPARE(dump(acc, "select id, prj from prj"), QStringList{"P15|竹北河堤工程"});
    QCOMPARE(dump(acc, "select pj_id, w from w4pj"), QStringList{"P15|鋼構"});

    // 詞庫: the income account and a purpose.
    auto* words = app::Forms::get<frmWords>();
    AccountPanel* accounts = words->accounts;
    accounts->cmdNew->click();
    accounts->txtCode->setText("4101");
    accounts->txtName->setText("工程收入");
    accounts->optIncome->setChecked(true);
    accounts->cmdSave->click();
    addWord(words->uses, "河堤工程第一期款");
    QCOMPARE(dump(acc, "select id, incom, acc from acc"), QStringList{"4101|-1|工程收入"});
    QCOMPARE(dump(acc, "select use from use"), QStringList{"河堤工程第一期款"});

    // 應收付: a receivable in two instalments of different amounts and dates.
    auto* contracts = app::Forms::get<frmContracts>();
    contracts->show();
    QVERIFY(contracts->optIn->isChecked());
    contracts->cmdNew->click();
    contracts->txtId->setText("R15");
    contracts->txtName->setText("竹北河堤");
    contracts->cmdSave->click();
    addInstalment(contracts, "360000", 40, QDate(2026, 3, 31), "AB-1101");
    addInstalment(contracts, "540000", 60, QDate(2026, 6, 30), "AB-1102");
    QCOMPARE(dump(acc, "select id, 收名稱, Let from ri"), QStringList{"R15|竹北河堤|0"});
    const QString instalments = "select * from ri期 where id = 'R15' order by 期別";
    const QStringList secondOpen{
        "R15|2|540000|2026-06-30|0.6|2026-06-23|AB-1102|<null>|<null>|0|<null>|<null>|0"};
    QCOMPARE(dump(acc, instalments),
             QStringList{"R15|1|360000|2026-03-31|0.4|2026-03-24|AB-1101|<null>|<null>|0|<null>|"
                         "<null>|0"} +
                 secondOpen);
    for (QWidget* w :
         std::initializer_list<QWidget*>{company, staff, rights, projects, words, contracts})
        w->close();

    // The employee logs in with what 員工資料 and 權限設定 stored.
    app::gRights = 0;
    app::gLoggedIn = app::False;
    app::gLoginName.clear();
    prompts.expectMessage("使用者名稱或密碼錯誤");
    QVERIFY(!logIn("Mei", "S3CRET"));
    QVERIFY(logIn("Mei", "s3cret"));
    QCOMPARE(app::gRights, 13);

    // An income voucher on the new account and project, for the first instalment.
    auto* io = app::Forms::get<vouchers::frmIo>();
    io->show();
    io->cmdAdd->click();
    const QString voucherNo = "1150318001";
    QCOMPARE(io->lbNo->text(), voucherNo);
    QCOMPARE(offered(io->cbUse, 1), QStringList{"河堤工程第一期款"});
    QVERIFY(choose(io->cbUse, 0, "河堤工程第一期款"));
    QTest::keyClicks(io->txtCash, "360000");
    QVERIFY(choose(io->cbAcc, 1, "4101"));
    QCOMPARE(io->lbAcIo->text(), QStringLiteral("(收入)"));
    QVERIFY(choose(io->cbPj, 0, "P15"));
    QCOMPARE(offered(io->cbWt, 1), QStringList{"鋼構"});
    QVERIFY(choose(io->cbWt, 0, "鋼構"));
    io->DTP1->setDate(kOccurred);
    io->DTP1_CloseUp();
    io->cbReq->setEditText("陳美玲");
    io->cmdSv->click();

    // Approved by a cheque: the counterparty's bank issues it, the deposit account receives it.
    QStringList issuers, receivers;
    {
        app::ScopedModalHook hook([&](QWidget* w) {
            auto* bill = qobject_cast<bills::frmBill*>(w);
            QVERIFY(bill);
            QCOMPARE(bill->lbIo->text(), QStringLiteral("收 到 票 據"));
            issuers = offered(bill->cbWbnk, 3);
            receivers = offered(bill->cbCbnk, 3);
            testing::pickDate(bill->DTP1, kChequeDay);
            QVERIFY(choose(bill->cbWbnk, 0, "華南銀行"));
            QVERIFY(choose(bill->cbCbnk, 0, "台灣銀行"));
            bill->txtBillNo->setText("HN-0012345");
            bill->cmdSv->click();
        });
        io->ck->click();
        io->optA[1]->click();
        io->cmdSv->click();
    }
    QCOMPARE(issuers, QStringList{"華南銀行|55-0088|竹北建設"});
    QCOMPARE(receivers, QStringList{"台灣銀行|012-345678|新竹營造"});

    // The first instalment written off with the voucher.
    QVERIFY(io->cmdMach->isVisible() && io->cmdMach->isEnabled());
    QStringList contractsListed;
    {
        app::ScopedModalHook hook([&](QWidget* w) {
            auto* mach = qobject_cast<writeoff::frmMach*>(w);
            QVERIFY(mach);
            contractsListed = writeOff(mach, "R15", "1期");
        });
        io->cmdMach->click();
    }
    QCOMPARE(contractsListed, QStringList{"R15|竹北河堤"});

    // The stored rows, column by column.
    struct Cell {
        const char* column;
        QString value;
    };
    struct Stored {
        QString table;
        QString key;  // the column that names the voucher
        QList<Cell> cells;
    };
    const QList<Stored> stored{
        {"iof",
         "單號",
         {{"輸入日期", "2026-03-18"},
          {"單號", voucherNo},
          {"用途說明", "河堤工程第一期款"},
          {"方式", "1"},  // settled by a bill
          {"金額", "360000"},
          {"科目代號", "4101"},
          {"pay", "0"},
          {"科目名稱", "工程收入"},
          {"附註一", ""},
          {"附註二", ""},
          {"專案號碼", "P15"},
          {"專案名稱", "竹北河堤工程"},
          {"工程種類", "鋼構"},
          {"發生日期", "2026-03-16"},
          {"申請人", "陳美玲"},
          {"簽收人", ""},
          {"有單據", "0"},
          {"單據號碼", ""},
          {"稅額", "17143"},  // 5 % within the amount
          {"進銷項", "0"},
          {"建議現金", "-1"}}},
        {"bill",
         "收支單號",
         {{"票據號碼", "HN-0012345"},
          {"開票日期", "2026-03-25"},
          {"提醒日期", "<null>"},
          {"到期日期", "2026-03-25"},
          {"可用日期", "2026-03-25"},
          {"開票銀行", "華南銀行"},
          {"收票銀行", "台灣銀行"},
          {"開票人", "竹北建設"},
          {"收票人", "新竹營造"},
          {"開票帳號", "55-0088"},
          {"收票帳號", "012-345678"},
          {"票據金額", "360000"},
          {"大寫金額", "參拾陸萬 元整"},
          {"收入", "-1"},
          {"收支單號", voucherNo},
          {"方式", "0"}}},
        {"ri期",
         "沖帳單號",
         {{"id", "R15"},
          {"期別", "1"},
          {"應付金額", "360000"},
          {"預付日期", "2026-03-31"},
          {"佔總價比例", "0.4"},
          {"送帳單日", "2026-03-24"},
          {"發票號碼", "AB-1101"},
          {"沖帳金額", "360000"},
          {"沖帳日期", "2026-03-16"},
          {"現金沖帳", "0"},
          {"沖帳票據號碼", "HN-0012345"},
          {"沖帳單號", voucherNo},
          {"處理", "-1"}}},
    };
    for (const Stored& s : stored) {
        QStringList columns;
        for (const Cell& c : s.cells)
            columns << c.column;
        const QStringList found = dump(
            acc, QString("select %1 from %2 where %3 = ?").arg(columns.join(", "), s.table, s.key),
            {voucherNo});
        QVERIFY2(found.size() == 1, qPrintable(s.table));
        const QStringList values = found.first().split('|');
        for (int c = 0; c < s.cells.size(); ++c)
            QVERIFY2(
                values.at(c) == s.cells.at(c).value,
                qPrintable(QString("%1.%2: stored %3, expected %4")
                               .arg(s.table, columns.at(c), values.at(c), s.cells.at(c).value)));
    }
    QCOMPARE(dump(acc, "select count(*) from bill union all select count(*) from cash"),
             (QStringList{"1", "0"}));
    // The second instalment stays open, and 應收付 counts it so.
    QCOMPARE(dump(acc, instalments).mid(1), secondOpen);
    QCOMPARE(openTotals(acc, true, "R15", kToday), (OpenTotals{1, 540000, 0, 0}));

    // Who did what: one event per write, in order, by whoever was logged in, with some of the
    // values it wrote and, for a change, what they were ("bill.票據號碼": the row of another
    // table written by the same change).
    struct Event {
        QString who, kind, table, key;
        QStringList after, before;  // "column=value", each must be in the event
    };
    auto flatten = [](const QString& json) {
        QStringList out;
        const QJsonObject o = QJsonDocument::fromJson(json.toUtf8()).object();
        for (auto it = o.begin(); it != o.end(); ++it) {
            if (!it.value().isObject()) {
                out << it.key() + "=" + it.value().toVariant().toString();
                continue;
            }
            const QJsonObject inner = it.value().toObject();
            for (auto in = inner.begin(); in != inner.end(); ++in)
                out << it.key() + "." + in.key() + "=" + in.value().toVariant().toString();
        }
        return out;
    };
    auto checkTrail = [&](store::Database& db, const QVector<Event>& expected) {
        store::Recordset rs = db.openRecordset(
            "select login, kind, tbl, row_key, after_values, before_values from audit order by id",
            store::RecordsetType::Snapshot);
        int i = 0;
        for (; !rs.isEOF(); rs.MoveNext(), ++i) {
            QVERIFY2(i < expected.size(), qPrintable("an extra event: " + rs.text(3)));
            const Event& e = expected.at(i);
            QCOMPARE(QStringList({rs.text(0), rs.text(1), rs.text(2), rs.text(3)}),
                     QStringList({e.who, e.kind, e.table, e.key}));
            const QStringList after = flatten(rs.text(4)), before = flatten(rs.text(5));
            for (const QString& cell : e.after)
                QVERIFY2(after.contains(cell),
                         qPrintable(e.key + " after: " + cell + " not in " + after.join(';')));
            for (const QString& cell : e.before)
                QVERIFY2(before.contains(cell),
                         qPrintable(e.key + " before: " + cell + " not in " + before.join(';')));
        }
        QCOMPARE(i, expected.size());
    };
    checkTrail(
        acc, {{"boss", "master-data", "obank", "台灣銀行/012-345678", {"user=新竹營造"}, {}},
              {"boss", "master-data", "bbank", "土地銀行/777-100-9", {"ps=50000"}, {}},
              {"boss", "master-data", "ibank", "華南銀行/55-0088", {"user=竹北建設"}, {}},
              {"boss", "master-data", "prj", "P15", {"prj=竹北河堤工程"}, {}},
              {"boss", "master-data", "w4pj", "P15/鋼構", {"w=鋼構"}, {}},
              {"boss", "master-data", "acc", "4101", {"acc=工程收入", "incom=-1"}, {}},
              {"boss", "master-data", "use", "河堤工程第一期款", {"id=1"}, {}},
              {"boss", "master-data", "ri", "R15", {"收名稱=竹北河堤"}, {}},
              {"boss", "master-data", "ri期", "R15/1", {"應付金額=360000", "發票號碼=AB-1101"}, {}},
              {"boss", "master-data", "ri期", "R15/2", {"預付日期=2026-06-30"}, {}},
              {"Mei",
               "insert",
               "iof",
               voucherNo,
               {"金額=360000", "科目代號=4101", "專案號碼=P15", "發生日期=2026-03-16"},
               {}},
              {"Mei",
               "approve-bill",
               "iof",
               voucherNo,
               {"方式=1", "bill.票據號碼=HN-0012345", "bill.票據金額=360000",
                "bill.收票帳號=012-345678"},
               {"方式=-1"}},
              {"Mei",
               "write-off",
               "ri期",
               "R15/1",
               {"沖帳金額=360000", "沖帳單號=" + voucherNo, "沖帳票據號碼=HN-0012345", "處理=-1"},
               {"沖帳金額=", "處理=0"}}});
    checkTrail(general, {{"boss", "master-data", "廠商", "V07", {"廠商名稱=永豐五金"}, {}},
                         {"boss", "master-data", "員工", "E02", {"英文姓名=Mei", "AccS=1"}, {}},
                         {"boss", "password-change", "員工", "E02", {"pass=(已設定)"}, {"pass="}},
                         {"boss", "rights", "員工", "E02", {"AccS=13"}, {"AccS=1"}},
                         {"", "login-failure", "員工", "Mei", {}, {}}});
    QCOMPARE(prompts.pending(), 0);
}

QTEST_MAIN(TestNewCompany)
#include "tst_new_company.moc"
