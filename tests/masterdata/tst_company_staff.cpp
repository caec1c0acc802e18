// 公司資料, 員工資料, 權限設定 and 詞庫: what they write, and what they refuse to write.

#include <QCheckBox>
#include <QRadioButton>
#include <QTableView>
#include <QtTest>

#include "AccountPanel.h"
#include "BankListPanel.h"
#include "Forms.h"
#include "Globals.h"
#include "MasterDataKit.h"
#include "ProgramSandbox.h"
#include "TestDataFolder.h"
#include "WordListPanel.h"
#include "frmCompany.h"
#include "frmEmployees.h"
#include "frmRights.h"
#include "frmWords.h"

using namespace orvik;
using namespace orvik::masterdata;
using orvik::testing::dump;
using orvik::testing::pick;
using orvik::testing::ProgramSandbox;
using orvik::testing::TestDataFolder;

namespace {

struct Fixture {
    TestDataFolder folder;
    ProgramSandbox sandbox;
    Fixture() { folder.openAsProgram(); }
    testing::ScriptedPrompts& prompts() { return sandbox.prompts(); }
};

void fill(BankListPanel* p, const QString& bank, const QString& account, const QString& holder,
          const QString& allowance = {}) {
    p->txtBank->setText(bank);
    p->txtAccount->setText(account);
    p->txtHolder->setText(holder);
    p->txtAllowance->setText(allowance);
}

}  // namespace

class TestCompanyStaff : public QObject {
    Q_OBJECT
  private slots:
    void companyHeadingAndBankLists();
    void banksInUseKeepTheirNumbers();
    void aStaleEditIsRefusedEverywhere();
    void employeesVendorsAndLoginsWithoutRegardToCase();
    void rightsAreTickedAndSomebodyKeepsTheRightsWindow();
    void wordListsInTheirOrder();
    void accountsInUseKeepCodeAndSide();
};

void TestCompanyStaff::companyHeadingAndBankLists() {
    Fixture f;
    auto* form = app::Forms::get<frmCompany>();
    QCOMPARE(form->txtHeading->text(), QStringLiteral("測試工程有限公司"));
    form->txtHeading->setText(QStringLiteral("  新竹營造股份有限公司 "));
    form->cmdSaveHeading->click();
    QCOMPARE(dump(*app::dbPrint, "select ion from company"), QStringList{"新竹營造股份有限公司"});
    f.prompts().expectMessage("請填入公司名稱");
    form->txtHeading->clear();
    form->cmdSaveHeading->click();

    fill(form->deposits, "台灣銀行", "012-345", "新竹營造");
    form->deposits->cmdSave->click();
    form->cheques->cmdNew->click();
    fill(form->cheques, "土地銀行", "777-1", "新竹營造", "50000");
    form->cheques->cmdSave->click();
    fill(form->counterparts, "華南銀行", "", "");
    form->counterparts->cmdSave->click();
    // A second account of the same bank is a row of its own; the same number again is a clash.
    form->deposits->cmdNew->click();
    fill(form->deposits, "台灣銀行", "012-999", "");
    form->deposits->cmdSave->click();
    form->deposits->cmdNew->click();
    fill(form->deposits, "台灣銀行", "012-345", "");
    f.prompts().expectMessage("銀行 台灣銀行 帳號 012-345 已經在清單中");
    form->deposits->cmdSave->click();
    form->cheques->cmdNew->click();
    fill(form->cheques, "第一銀行", "1", "", "5e4");
    f.prompts().expectMessage("可透支額度必須是 12 位數以內的整數");
    form->cheques->cmdSave->click();

    QCOMPARE(dump(*app::dbAcc, "select bank, id, user from obank order by id"),
             (QStringList{"台灣銀行|012-345|新竹營造", "台灣銀行|012-999|"}));
    QCOMPARE(dump(*app::dbAcc, "select bank, id, user, ps from bbank"),
             QStringList{"土地銀行|777-1|新竹營造|50000"});
    QCOMPARE(dump(*app::dbAcc, "select bank, id from ibank"), QStringList{"華南銀行|"});

    // The account's holder may change; the list shows the row again as stored.
    QVERIFY(pick(form->deposits->lstBanks, {"台灣銀行", "012-999"}));
    QCOMPARE(form->deposits->txtAccount->text(), QStringLiteral("012-999"));
    form->deposits->txtHolder->setText(QStringLiteral("竹北工地"));
    form->deposits->cmdSave->click();
    QCOMPARE(dump(*app::dbAcc, "select user from obank where id = '012-999'"),
             QStringList{"竹北工地"});
    // An unused account goes after a question, 否 first.
    f.prompts().expectMessage("確定刪除", app::Answer::No);
    form->deposits->cmdDelete->click();
    QCOMPARE(dump(*app::dbAcc, "select count(*) from obank"), QStringList{"2"});
    f.prompts().expectMessage("確定刪除", app::Answer::Yes);
    form->deposits->cmdDelete->click();
    QCOMPARE(dump(*app::dbAcc, "select id from obank"), QStringList{"012-345"});
}

void TestCompanyStaff::banksInUseKeepTheirNumbers() {
    Fixture f;
    store::Database& acc = *app::dbAcc;
    acc.execute("insert into obank (bank, id, user) values ('台灣銀行', '012-345', '')");
    acc.execute("insert into bbank (bank, id, user, ps) values ('土地銀行', '777-1', '', 0)");
    acc.execute("insert into ibank (bank, id, user) values ('華南銀行', '', '')");
    // A ledger row on the deposit account, a cheque written on the cheque account and one
    // received from the counterparty's bank.
    acc.execute(
        "insert into bank (id, Bid, bank, 存入, 異動日期, 異動金額, 摘要, bala) values "
        "(1, '012-345', '台灣銀行', 1, '2026-03-04', 1200, '存入', 1200)");
    acc.execute(
        "insert into bill (票據號碼, 開票銀行, 開票帳號, 收入, 收支單號) values "
        "('AB001', '土地銀行', '777-1', 0, '1150304001')");
    acc.execute(
        "insert into bill (票據號碼, 開票銀行, 開票帳號, 收入, 收支單號) values "
        "('CD002', '華南銀行', '', 1, '1150305002')");
    auto* form = app::Forms::get<frmCompany>();

    struct Case {
        BankListPanel* panel;
        QStringList key;
        QString usage;
    };
    for (const Case& c : {Case{form->deposits, {"台灣銀行", "012-345"}, "1 筆銀行帳記錄"},
                          Case{form->cheques, {"土地銀行", "777-1"}, "票據 AB001"},
                          Case{form->counterparts, {"華南銀行", ""}, "票據 CD002"}}) {
        QVERIFY(pick(c.panel->lstBanks, c.key));
        QVERIFY2(c.panel->lbUsage->text().contains("不能刪除"), qPrintable(c.key.join(' ')));
        f.prompts().expectMessage("確定刪除", app::Answer::Yes).expectMessage(c.usage);
        c.panel->cmdDelete->click();
        c.panel->txtAccount->setText(c.key.at(1) + "9");
        f.prompts().expectMessage("不能更改銀行或帳號");
        c.panel->cmdSave->click();
    }
    QCOMPARE(dump(acc,
                  "select count(*) from obank union all select count(*) from bbank "
                  "union all select count(*) from ibank"),
             (QStringList{"1", "1", "1"}));
    QCOMPARE(dump(acc, "select id from obank union all select id from bbank"),
             (QStringList{"012-345", "777-1"}));
    // The bill of another direction does not hold an account: a received cheque names the
    // counterparty's bank, not the company's cheque account.
    acc.execute("delete from bill where 票據號碼 = 'AB001'");
    acc.execute(
        "insert into bill (票據號碼, 收票銀行, 收票帳號, 收入, 收支單號) values "
        "('EF003', '土地銀行', '777-1', 1, '1150306003')");
    form->Form_Load();
    QVERIFY(pick(form->cheques->lstBanks, {"土地銀行", "777-1"}));
    f.prompts().expectMessage("確定刪除", app::Answer::Yes);
    form->cheques->cmdDelete->click();
    QCOMPARE(dump(acc, "select count(*) from bbank"), QStringList{"0"});
}

void TestCompanyStaff::aStaleEditIsRefusedEverywhere() {
    Fixture f;
    app::dbAcc->execute("insert into obank (bank, id, user) values ('台灣銀行', '012-345', '甲')");
    app::dbGeneral->execute(
        "insert into 員工 (員工編號, 中文姓名, 英文姓名, pass, AccS) values "
        "('E01', '王小明', 'ming', 'x', 131072)");
    app::dbGeneral->execute("insert into 廠商 (廠商編號, 廠商名稱) values ('V1', '大同水電')");
    auto* company = app::Forms::get<frmCompany>();
    auto* staff = app::Forms::get<frmEmployees>();
    auto* rights = app::Forms::get<frmRights>();

    // Each window read its row; then another copy of the program changes it.
    QVERIFY(pick(company->deposits->lstBanks, {"台灣銀行"}));
    QVERIFY(pick(staff->lstStaff, {"E01"}));
    QVERIFY(pick(staff->lstVendors, {"V1"}));
    QVERIFY(pick(rights->lstStaff, {"E01"}));
    app::dbAcc->execute("update obank set user = '乙'");
    app::dbGeneral->execute("update 員工 set 中文姓名 = '王大明', AccS = 131073");
    app::dbGeneral->execute("update 廠商 set 廠商名稱 = '大同電機'");

    company->deposits->txtHolder->setText("丙");
    f.prompts().expectMessage("已由別人修改");
    company->deposits->cmdSave->click();
    staff->txtName->setText("王中明");
    f.prompts().expectMessage("已由別人修改");
    staff->cmdStaffSave->click();
    staff->txtVendorName->setText("大同五金");
    f.prompts().expectMessage("已由別人修改");
    staff->cmdVendorSave->click();
    rights->ck[3]->setChecked(true);
    f.prompts().expectMessage("已由別人修改");
    rights->cmdSave->click();

    QCOMPARE(dump(*app::dbAcc, "select user from obank"), QStringList{"乙"});
    QCOMPARE(dump(*app::dbGeneral, "select 中文姓名, AccS from 員工"),
             QStringList{"王大明|131073"});
    QCOMPARE(dump(*app::dbGeneral, "select 廠商名稱 from 廠商"), QStringList{"大同電機"});
    // After the message each window shows the row as stored.
    QCOMPARE(company->deposits->txtHolder->text(), QStringLiteral("乙"));
    QCOMPARE(staff->txtName->text(), QStringLiteral("王大明"));
    QCOMPARE(rights->tickedRights(), 131073);
}

void TestCompanyStaff::employeesVendorsAndLoginsWithoutRegardToCase() {
    Fixture f;
    app::dbGeneral->execute(
        "insert into 員工 (員工編號, 中文姓名, 英文姓名, pass, AccS) values "
        "('E01', '王小明', 'Ming', 'secret', 131072)");
    auto* form = app::Forms::get<frmEmployees>();
    // The password is never shown, only whether one is set.
    QVERIFY(pick(form->lstStaff, {"E01", "王小明", "Ming"}));
    QVERIFY(form->txtPassword->text().isEmpty());
    for (int c = 0; c < form->lstStaff->model()->columnCount(); ++c)
        QVERIFY(form->lstStaff->model()->index(0, c).data().toString() != "secret");

    struct Case {
        const char* no;
        const char* name;
        const char* login;
        const char* pass;
        const char* pass2;
        const char* refusal;  // empty: saved
    };
    const Case cases[] = {
        {"E02", "陳美玲", "MING", "p", "p", "登入名稱 MING 已由 王小明 使用"},
        {"E01", "陳美玲", "mei", "p", "p", "員工編號 E01 已由 王小明 使用"},
        {"E02", "陳美玲", "mei", "p1", "p2", "兩次輸入的密碼不相同"},
        {"E02", "", "mei", "p", "p", "請填入中文姓名"},
        {"E02", "陳美玲", "", "p", "p", "請填入登入名稱"},
        {"E02", "陳美玲", "Mei", "pw2", "pw2", ""},
    };
    for (const Case& c : cases) {
        form->cmdStaffNew->click();
        form->txtNo->setText(c.no);
        form->txtName->setText(c.name);
        form->txtLogin->setText(c.login);
        form->txtPassword->setText(c.pass);
        form->txtPassword2->setText(c.pass2);
        if (*c.refusal)
            f.prompts().expectMessage(c.refusal);
        form->cmdStaffSave->click();
        QCOMPARE(dump(*app::dbGeneral, "select count(*) from 員工").first(),
                 QString(*c.refusal ? "1" : "2"));
    }
    // A new employee may only enter vouchers until 權限設定 says more.
    QCOMPARE(
        dump(*app::dbGeneral, "select 中文姓名, 英文姓名, AccS from 員工 where 員工編號 = 'E02'"),
        QStringList{"陳美玲|Mei|1"});
    QVERIFY(
        !dump(*app::dbGeneral, "select pass from 員工 where 員工編號 = 'E02'").first().isEmpty());
    // Renaming keeps the password; an empty password box leaves it as it is.
    const QStringList before =
        dump(*app::dbGeneral, "select pass from 員工 where 員工編號 = 'E02'");
    QVERIFY(pick(form->lstStaff, {"E02"}));
    form->txtName->setText("陳美齡");
    form->cmdStaffSave->click();
    QCOMPARE(dump(*app::dbGeneral, "select pass from 員工 where 員工編號 = 'E02'"), before);
    QCOMPARE(dump(*app::dbGeneral, "select 中文姓名 from 員工 where 員工編號 = 'E02'"),
             QStringList{"陳美齡"});

    // Vendors in number order; a number is one vendor's only.
    for (const auto& [no, name] : {std::pair{"V2", "大同水電"}, std::pair{"V1", "永豐五金"}}) {
        form->cmdVendorNew->click();
        form->txtVendorNo->setText(no);
        form->txtVendorName->setText(name);
        form->cmdVendorSave->click();
    }
    form->cmdVendorNew->click();
    form->txtVendorNo->setText("v1");
    form->txtVendorName->setText("別家");
    f.prompts().expectMessage("廠商編號 v1 已由 永豐五金 使用");
    form->cmdVendorSave->click();
    QCOMPARE(form->lstVendors->model()->index(0, 1).data().toString(), QStringLiteral("永豐五金"));
    QCOMPARE(dump(*app::dbGeneral, "select 廠商編號, 廠商名稱 from 廠商 order by 廠商編號"),
             (QStringList{"V1|永豐五金", "V2|大同水電"}));
}

void TestCompanyStaff::rightsAreTickedAndSomebodyKeepsTheRightsWindow() {
    Fixture f;
    app::dbGeneral->execute(
        "insert into 員工 (員工編號, 中文姓名, 英文姓名, pass, AccS) values "
        "('E01', '王小明', 'ming', '', 65536), "
        "('E02', '陳美玲', 'mei', '', 1), ('E03', '林志強', 'chi', '', -1)");
    auto* form = app::Forms::get<frmRights>();
    QVERIFY(pick(form->lstStaff, {"E02"}));
    QVERIFY(form->ck[1]->isChecked());
    for (int k : {3, 4, 9, 14})
        form->ck[k]->setChecked(true);
    form->ck[1]->setChecked(false);
    form->cmdSave->click();
    // Position k is the bit 2^(k-1).
    QCOMPARE(dump(*app::dbGeneral, "select AccS from 員工 where 員工編號 = 'E02'"),
             QStringList{QString::number(4 + 8 + 256 + 8192)});

    // The only holder of 權限設定 cannot give it away …
    QVERIFY(pick(form->lstStaff, {"E01"}));
    QVERIFY(form->ck[17]->isChecked());
    form->ck[17]->setChecked(false);
    f.prompts().expectMessage("至少要有一位員工保有「權限設定」");
    form->cmdSave->click();
    QCOMPARE(dump(*app::dbGeneral, "select AccS from 員工 where 員工編號 = 'E01'"),
             QStringList{"65536"});
    // A rights number out of range grants nothing, so its owner holds nothing to give away.
    QVERIFY(pick(form->lstStaff, {"E03"}));
    QCOMPARE(form->tickedRights(), 0);
    form->ck[2]->setChecked(true);
    form->cmdSave->click();
    // … once another holds it, it can.
    QVERIFY(pick(form->lstStaff, {"E02"}));
    form->ck[17]->setChecked(true);
    form->cmdSave->click();
    QVERIFY(pick(form->lstStaff, {"E01"}));
    form->cmdNone->click();
    form->cmdSave->click();
    QCOMPARE(dump(*app::dbGeneral, "select AccS from 員工 order by 員工編號"),
             (QStringList{"0", QString::number(4 + 8 + 256 + 8192 + 65536), "2"}));
    form->cmdAll->click();
    QCOMPARE(form->tickedRights(), 4194303);
}

void TestCompanyStaff::wordListsInTheirOrder() {
    Fixture f;
    app::dbAcc->execute(
        "insert into prj (id, prj) values ('P01', '竹北廠房'), ('P02', '湖口倉庫')");
    auto* form = app::Forms::get<frmWords>();
    WordListPanel* uses = form->uses;
    for (const char* w : {"工地雜支", "材料費", "工資"}) {
        uses->cmdNew->click();
        uses->txtWord->setText(w);
        uses->cmdSave->click();
    }
    // The newest first, as the voucher form offers them.
    QCOMPARE(uses->words(), (QStringList{"工資", "材料費", "工地雜支"}));
    uses->cmdNew->click();
    uses->txtWord->setText("材料費");
    f.prompts().expectMessage("「材料費」已在清單中");
    uses->cmdSave->click();
    QVERIFY(pick(uses->lstWords, {"工地雜支"}));
    uses->cmdUp->click();
    uses->cmdUp->click();
    QCOMPARE(uses->words(), (QStringList{"工地雜支", "工資", "材料費"}));
    QCOMPARE(dump(*app::dbAcc, "select use from use order by id"),
             (QStringList{"工地雜支", "工資", "材料費"}));
    // A word that begins a stored word is a word of its own.
    uses->cmdNew->click();
    uses->txtWord->setText("工地");
    uses->cmdSave->click();
    QVERIFY(pick(uses->lstWords, {"材料費"}));
    uses->txtWord->setText("材料運費");
    uses->cmdSave->click();
    QVERIFY(pick(uses->lstWords, {"工資"}));
    f.prompts().expectMessage("確定刪除", app::Answer::Yes);
    uses->cmdDelete->click();
    QCOMPARE(dump(*app::dbAcc, "select use from use order by id"),
             (QStringList{"工地", "工地雜支", "材料運費"}));
    // Each change is one event: a word added, moved, renamed (only what changed) or removed.
    QCOMPARE(
        dump(*app::dbAcc,
             "select kind, row_key, before_values, after_values from audit where tbl = 'use' "
             "order by id"),
        (QStringList{
            R"(master-data|工地雜支||{"id":1,"use":"工地雜支"})",
            R"(master-data|材料費||{"id":1,"use":"材料費"})",
            R"(master-data|工資||{"id":1,"use":"工資"})",
            R"(master-data|順序|{"順序":"工資、材料費、工地雜支"}|{"順序":"工資、工地雜支、材料費"})",
            R"(master-data|順序|{"順序":"工資、工地雜支、材料費"}|{"順序":"工地雜支、工資、材料費"})",
            R"(master-data|工地||{"id":1,"use":"工地"})",
            R"(master-data|材料運費|{"use":"材料費"}|{"use":"材料運費"})",
            R"(master-data|工資|{"id":3,"use":"工資"}|)",
        }));

    // Work types belong to the project chosen.
    WordListPanel* types = form->workTypes;
    const auto chooseProject = [types](const QString& code) {
        const int at = types->cbProject->findText(code, Qt::MatchStartsWith);
        types->cbProject->setCurrentIndex(at);
        emit types->cbProject->activated(at);
    };
    chooseProject("P02");
    types->cmdNew->click();
    types->txtWord->setText("鋼構");
    types->cmdSave->click();
    QCOMPARE(dump(*app::dbAcc, "select pj_id, w from w4pj"), QStringList{"P02|鋼構"});
    chooseProject("P01");
    QVERIFY(types->words().isEmpty());
    chooseProject("P02");
    QCOMPARE(types->words(), QStringList{"鋼構"});
}

void TestCompanyStaff::accountsInUseKeepCodeAndSide() {
    Fixture f;
    store::Database& acc = *app::dbAcc;
    acc.execute(
        "insert into acc (id, incom, acc) values ('4101', 1, '工程收入'), "
        "('5201', 0, '材料費')");
    acc.execute(
        "insert into iof (單號, 科目代號, 科目名稱) values ('1150304001', '5201', '材料費'), "
        "('1150411002', '5201', '材料費'), ('1150411003', '4101', '工程收入')");
    auto* form = app::Forms::get<frmWords>();
    AccountPanel* p = form->accounts;
    // Income accounts first.
    QCOMPARE(p->lstAccounts->model()->index(0, 1).data().toString(), QStringLiteral("4101"));

    QVERIFY(pick(p->lstAccounts, {"(支出)", "5201"}));
    QVERIFY(p->lbUsage->text().contains("已有 2 張收支單使用此科目"));
    f.prompts().expectMessage("確定刪除", app::Answer::Yes).expectMessage("不能刪除");
    p->cmdDelete->click();
    p->optIncome->setChecked(true);
    f.prompts().expectMessage("不能更改代號或收支");
    p->cmdSave->click();
    p->optExpense->setChecked(true);
    p->txtCode->setText("5202");
    f.prompts().expectMessage("不能更改代號或收支");
    p->cmdSave->click();
    QCOMPARE(dump(acc, "select id, incom from acc order by id"), (QStringList{"4101|1", "5201|0"}));

    // A new name stays with the chart unless the stored vouchers are asked for too.
    p->txtCode->setText("5201");
    p->txtName->setText("材料及零件");
    p->ckVouchers->setChecked(false);
    p->cmdSave->click();
    QCOMPARE(dump(acc, "select distinct 科目名稱 from iof where 科目代號 = '5201'"),
             QStringList{"材料費"});
    QVERIFY(pick(p->lstAccounts, {"(收入)", "4101"}));
    p->txtName->setText("工程款收入");
    p->ckVouchers->setChecked(true);
    p->cmdSave->click();
    QVERIFY(p->lbUsage->text().contains("已更新 1 張收支單的科目名稱"));
    QCOMPARE(dump(acc, "select 科目名稱 from iof order by 單號"),
             (QStringList{"材料費", "材料費", "工程款收入"}));
    QCOMPARE(dump(acc, "select acc from acc order by id"),
             (QStringList{"工程款收入", "材料及零件"}));

    // A code is one account's only; an unused account goes.
    p->cmdNew->click();
    p->txtCode->setText("4101");
    p->txtName->setText("其他收入");
    p->optIncome->setChecked(true);
    f.prompts().expectMessage("科目代號 4101 已是「工程款收入」");
    p->cmdSave->click();
    p->txtCode->setText("4102");
    p->cmdSave->click();
    QVERIFY(pick(p->lstAccounts, {"(收入)", "4102"}));
    f.prompts().expectMessage("確定刪除", app::Answer::Yes);
    p->cmdDelete->click();
    QCOMPARE(dump(acc, "select count(*) from acc"), QStringList{"2"});
    // Refusals leave no event; a rename of the vouchers' names too is noted on its event.
    QCOMPARE(dump(acc, "select row_key, before_values, after_values, note from audit order by id"),
             (QStringList{
                 R"(5201|{"acc":"材料費"}|{"acc":"材料及零件"}|)",
                 // The fixture's true is 1; the window stores −1, and the event shows that too.
                 R"(4101|{"acc":"工程收入","incom":1}|{"acc":"工程款收入","incom":-1}|)"
                 R"(已更新 1 張收支單的科目名稱)",
                 R"(4102||{"acc":"其他收入","id":"4102","incom":-1}|)",
                 R"(4102|{"acc":"其他收入","id":"4102","incom":-1}||)",
             }));
}

QTEST_MAIN(TestCompanyStaff)
#include "tst_company_staff.moc"
