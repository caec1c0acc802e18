#include "Vocabulary.h"

#include "Database.h"

namespace orvik::admin {

using store::Database;

const QVector<Account>& accounts() {
    static const QVector<Account> list = {
        {QStringLiteral("4101"), true, QStringLiteral("工程收入")},
        {QStringLiteral("4102"), true, QStringLiteral("設計監造收入")},
        {QStringLiteral("4103"), true, QStringLiteral("維修保養收入")},
        {QStringLiteral("4901"), true, QStringLiteral("利息收入")},
        {QStringLiteral("4902"), true, QStringLiteral("其他收入")},
        {QStringLiteral("5101"), false, QStringLiteral("工程材料費")},
        {QStringLiteral("5102"), false, QStringLiteral("外包工程費")},
        {QStringLiteral("5103"), false, QStringLiteral("機具設備租金")},
        {QStringLiteral("5104"), false, QStringLiteral("工地雜支")},
        {QStringLiteral("6101"), false, QStringLiteral("薪資支出")},
        {QStringLiteral("6102"), false, QStringLiteral("租金支出")},
        {QStringLiteral("6103"), false, QStringLiteral("文具用品")},
        {QStringLiteral("6104"), false, QStringLiteral("旅費")},
        {QStringLiteral("6105"), false, QStringLiteral("運費")},
        {QStringLiteral("6106"), false, QStringLiteral("郵電費")},
        {QStringLiteral("6107"), false, QStringLiteral("修繕費")},
        {QStringLiteral("6108"), false, QStringLiteral("水電瓦斯費")},
        {QStringLiteral("6109"), false, QStringLiteral("保險費")},
        {QStringLiteral("6110"), false, QStringLiteral("交際費")},
        {QStringLiteral("6111"), false, QStringLiteral("稅捐")},
        {QStringLiteral("6112"), false, QStringLiteral("伙食費")},
        {QStringLiteral("6113"), false, QStringLiteral("職工福利")},
        {QStringLiteral("6114"), false, QStringLiteral("勞健保費")},
        {QStringLiteral("6199"), false, QStringLiteral("雜項支出")},
    };
    return list;
}

const Account* findAccount(const QString& id) {
    for (const auto& a : accounts()) {
        if (a.id == id)
            return &a;
    }
    return nullptr;
}

QVector<Project> projects(const QDate& reference) {
    // Codes carry the era year the project started: last year's and this year's projects.
    const int ey = reference.year() - 1911;
    auto code = [](int year, int n) {
        return QStringLiteral("P%1%2").arg(year).arg(n, 2, 10, QLatin1Char('0'));
    };
    return {
        {code(ey - 1, 1),
         QStringLiteral("台中市南屯區集合住宅新建工程"),
         {QStringLiteral("土木工程"), QStringLiteral("水電工程"), QStringLiteral("裝修工程")},
         QStringLiteral("南屯建設股份有限公司")},
        {code(ey - 1, 2),
         QStringLiteral("新竹科學園區廠房機電工程"),
         {QStringLiteral("機電工程"), QStringLiteral("空調工程"), QStringLiteral("消防工程")},
         QStringLiteral("新竹晶圓科技股份有限公司")},
        {code(ey, 1),
         QStringLiteral("高雄港區倉庫整修工程"),
         {QStringLiteral("鋼構工程"), QStringLiteral("土木工程"), QStringLiteral("油漆工程")},
         QStringLiteral("高雄港務倉儲股份有限公司")},
        {code(ey, 2),
         QStringLiteral("桃園市立國小耐震補強工程"),
         {QStringLiteral("結構補強"), QStringLiteral("土木工程"), QStringLiteral("設計監造")},
         QStringLiteral("桃園市政府教育局")},
        {code(ey, 3),
         QStringLiteral("台北市信義區辦公大樓空調汰換工程"),
         {QStringLiteral("空調工程"), QStringLiteral("機電工程")},
         QStringLiteral("信義開發股份有限公司")},
    };
}

const QStringList& uses() {
    // Rank 1 (the first) is the most recently added word.
    static const QStringList list = {
        QStringLiteral("收取工程款"),     QStringLiteral("購買工程材料"),
        QStringLiteral("支付外包工程款"), QStringLiteral("機具租金"),
        QStringLiteral("工地雜支"),       QStringLiteral("員工薪資"),
        QStringLiteral("辦公室租金"),     QStringLiteral("購買文具用品"),
        QStringLiteral("出差旅費"),       QStringLiteral("材料運費"),
        QStringLiteral("電話及網路費"),   QStringLiteral("工地水電費"),
        QStringLiteral("工程保險費"),     QStringLiteral("客戶餐敘"),
        QStringLiteral("員工午餐"),       QStringLiteral("收取設計費"),
        QStringLiteral("收取保固維修費"), QStringLiteral("存款利息"),
        QStringLiteral("零用金撥補"),     QStringLiteral("勞健保費"),
        QStringLiteral("營業稅"),         QStringLiteral("辦公室修繕"),
    };
    return list;
}

const QStringList& notes1() {
    static const QStringList list = {
        QStringLiteral("發票已收"),   QStringLiteral("收據已附"),   QStringLiteral("請款單已附"),
        QStringLiteral("估價單已附"), QStringLiteral("月結"),       QStringLiteral("現場簽收"),
        QStringLiteral("待補發票"),   QStringLiteral("依合約請款"),
    };
    return list;
}

const QStringList& notes2() {
    static const QStringList list = {
        QStringLiteral("第一期款"), QStringLiteral("第二期款"), QStringLiteral("第三期款"),
        QStringLiteral("尾款"),     QStringLiteral("訂金"),     QStringLiteral("保留款"),
        QStringLiteral("追加款"),   QStringLiteral("月結款"),   QStringLiteral("預付款"),
    };
    return list;
}

const QVector<DemoEmployee>& demoEmployees() {
    // Rights bits (lowest first): 1 vouchers, 3 approve, 4 write-off, 5 bills, 9 projects,
    // 11 statistics, 13 receivables/payables, 14-20 the system menu.
    static const QVector<DemoEmployee> list = {
        {QStringLiteral("A002"), QStringLiteral("陳美玲"), QStringLiteral("chen"),
         QStringLiteral("1234"), 1, QStringLiteral("出納助理：只能輸入收支單")},
        {QStringLiteral("A003"), QStringLiteral("林志明"), QStringLiteral("lin"),
         QStringLiteral("5678"), 1 | 4 | 8 | 16 | 256 | 1024 | 4096,
         QStringLiteral("會計主管：輸入、簽核、沖帳、票據、專案、統計、應收付")},
        {QStringLiteral("A004"), QStringLiteral("黃淑芬"), QStringLiteral("huang"),
         QStringLiteral("8888"), 8191, QStringLiteral("會計：第 1 到 13 位（系統選單以外全部）")},
        {QStringLiteral("A005"), QStringLiteral("王大同"), QStringLiteral("wang"),
         QStringLiteral("wang"), 1 | 256, QStringLiteral("工地主任：收支單與專案")},
        {QStringLiteral("A006"), QStringLiteral("訪客"), QStringLiteral("guest"), QString(), 0,
         QStringLiteral("訪客：空白密碼，沒有任何權限")},
    };
    return list;
}

const QVector<Party>& vendors() {
    static const QVector<Party> list = {
        {QStringLiteral("C001"), QStringLiteral("南屯建設股份有限公司")},
        {QStringLiteral("C002"), QStringLiteral("新竹晶圓科技股份有限公司")},
        {QStringLiteral("C003"), QStringLiteral("高雄港務倉儲股份有限公司")},
        {QStringLiteral("C004"), QStringLiteral("桃園市政府教育局")},
        {QStringLiteral("C005"), QStringLiteral("信義開發股份有限公司")},
        {QStringLiteral("V001"), QStringLiteral("建興營造股份有限公司")},
        {QStringLiteral("V002"), QStringLiteral("台灣鋼鐵材料行")},
        {QStringLiteral("V003"), QStringLiteral("大同水電行")},
        {QStringLiteral("V004"), QStringLiteral("中興預拌混凝土公司")},
        {QStringLiteral("V005"), QStringLiteral("永豐五金行")},
        {QStringLiteral("V006"), QStringLiteral("長榮機電工程行")},
        {QStringLiteral("V007"), QStringLiteral("全聯文具行")},
        {QStringLiteral("V008"), QStringLiteral("中華電信股份有限公司")},
        {QStringLiteral("V009"), QStringLiteral("南山產物保險股份有限公司")},
        {QStringLiteral("V010"), QStringLiteral("佳佳便當店")},
        {QStringLiteral("V011"), QStringLiteral("大豐機具租賃公司")},
        {QStringLiteral("V012"), QStringLiteral("順發貨運行")},
    };
    return list;
}

QStringList vendorNames() {
    QStringList names;
    for (const auto& v : vendors()) {
        if (v.no.startsWith(QLatin1Char('V')))
            names << v.name;
    }
    return names;
}

QStringList customerNames() {
    QStringList names;
    for (const auto& v : vendors()) {
        if (v.no.startsWith(QLatin1Char('C')))
            names << v.name;
    }
    return names;
}

QVector<BankAccount> depositAccounts(const QString& company) {
    return {{QStringLiteral("臺灣銀行台中分行"), QStringLiteral("012-004-123456"), company},
            {QStringLiteral("第一商業銀行南屯分行"), QStringLiteral("221-10-045678"), company}};
}

QVector<BankAccount> chequeAccounts(const QString& company) {
    return {{QStringLiteral("合作金庫銀行台中分行"), QStringLiteral("5012-717-001234"), company,
             300000},
            {QStringLiteral("華南商業銀行文心分行"), QStringLiteral("432-10-005678"), company, 0}};
}

QVector<BankAccount> counterpartyBanks() {
    return {
        {QStringLiteral("國泰世華銀行竹科分行"), QStringLiteral("123-03-456789"),
         QStringLiteral("新竹晶圓科技股份有限公司")},
        {QStringLiteral("兆豐國際商業銀行高雄分行"), QStringLiteral("020-09-112233"),
         QStringLiteral("高雄港務倉儲股份有限公司")},
        {QStringLiteral("臺灣土地銀行桃園分行"), QStringLiteral("053-00-778899"),
         QStringLiteral("桃園市政府教育局")},
        {QStringLiteral("台北富邦銀行信義分行"), QStringLiteral("4821-10-998877"),
         QStringLiteral("信義開發股份有限公司")},
        {QStringLiteral("彰化商業銀行南屯分行"), QStringLiteral("5101-01-234567"),
         QStringLiteral("南屯建設股份有限公司")},
        {QStringLiteral("玉山商業銀行北屯分行"), QStringLiteral("0901-940-012345"),
         QStringLiteral("建興營造股份有限公司")},
        {QStringLiteral("台中商業銀行西屯分行"), QStringLiteral("033-22-556677"),
         QStringLiteral("台灣鋼鐵材料行")},
        {QStringLiteral("中國信託商業銀行文心分行"), QStringLiteral("7890-12-345678"),
         QStringLiteral("長榮機電工程行")},
    };
}

QString bankOf(const QString& partyName) {
    for (const auto& b : counterpartyBanks()) {
        if (b.user == partyName)
            return b.bank;
    }
    return {};
}

const QVector<VoucherKind>& voucherKinds() {
    using P = VoucherKind::Party;
    auto s = [](const char* t) { return QString::fromUtf8(t); };
    static const QVector<VoucherKind> list = {
        {s("收取工程款"), s("4101"), true, P::Customer, {}, 150000, 2500000, 1000, 0.8, true, 6},
        {s("收取設計費"), s("4102"), true, P::Customer, {}, 30000, 300000, 1000, 0.5, true, 2},
        {s("收取保固維修費"), s("4103"), false, P::Customer, {}, 3000, 60000, 100, 0.2, true, 2},
        {s("存款利息"), s("4901"), false, P::Bank, {}, 50, 3000, 1, 0.0, false, 1},
        {s("購買工程材料"),
         s("5101"),
         true,
         P::Vendor,
         {s("台灣鋼鐵材料行"), s("中興預拌混凝土公司"), s("永豐五金行")},
         3000,
         400000,
         10,
         0.6,
         true,
         14},
        {s("支付外包工程款"),
         s("5102"),
         true,
         P::Vendor,
         {s("建興營造股份有限公司"), s("長榮機電工程行"), s("大同水電行")},
         80000,
         900000,
         1000,
         0.9,
         true,
         6},
        {s("機具租金"),
         s("5103"),
         true,
         P::Vendor,
         {s("大豐機具租賃公司")},
         8000,
         90000,
         100,
         0.5,
         true,
         4},
        {s("工地雜支"), s("5104"), true, P::Employee, {}, 100, 5000, 10, 0.0, false, 12},
        {s("員工薪資"), s("6101"), false, P::Employee, {}, 32000, 68000, 100, 0.1, false, 8},
        {s("辦公室租金"),
         s("6102"),
         false,
         P::Vendor,
         {s("南屯建設股份有限公司")},
         45000,
         45000,
         1,
         0.7,
         false,
         2},
        {s("購買文具用品"),
         s("6103"),
         false,
         P::Vendor,
         {s("全聯文具行")},
         100,
         3000,
         10,
         0.0,
         false,
         6},
        {s("出差旅費"), s("6104"), true, P::Employee, {}, 300, 9000, 10, 0.0, false, 8},
        {s("材料運費"),
         s("6105"),
         true,
         P::Vendor,
         {s("順發貨運行")},
         800,
         15000,
         10,
         0.1,
         false,
         5},
        {s("電話及網路費"),
         s("6106"),
         false,
         P::Vendor,
         {s("中華電信股份有限公司")},
         1500,
         4500,
         1,
         0.0,
         false,
         2},
        {s("辦公室修繕"),
         s("6107"),
         false,
         P::Vendor,
         {s("大同水電行")},
         1000,
         20000,
         100,
         0.2,
         false,
         1},
        {s("工地水電費"),
         s("6108"),
         true,
         P::Vendor,
         {s("大同水電行")},
         1500,
         15000,
         1,
         0.1,
         false,
         3},
        {s("工程保險費"),
         s("6109"),
         true,
         P::Vendor,
         {s("南山產物保險股份有限公司")},
         8000,
         60000,
         1,
         0.6,
         false,
         1},
        {s("客戶餐敘"), s("6110"), false, P::Employee, {}, 800, 12000, 10, 0.0, false, 3},
        {s("營業稅"), s("6111"), false, P::Employee, {}, 5000, 150000, 1, 0.5, false, 1},
        {s("員工午餐"),
         s("6112"),
         false,
         P::Vendor,
         {s("佳佳便當店")},
         300,
         3000,
         10,
         0.0,
         false,
         5},
        {s("勞健保費"), s("6114"), false, P::Employee, {}, 20000, 60000, 1, 0.3, false, 2},
        // Only in the demo's opening entry (weight 0: never drawn at random).
        {s("零用金撥補"), s("4902"), false, P::Employee, {}, 50000, 500000, 1000, 0.0, false, 0},
    };
    return list;
}

int insertReferenceLists(Database& acc, const QDate& reference, const QString& company) {
    int added = 0;
    auto empty = [&](const char* table) {
        return acc.scalar(
                      QStringLiteral("SELECT count(*) FROM \"%1\"").arg(QString::fromUtf8(table)))
                   .toLongLong() == 0;
    };
    if (empty("acc")) {
        for (const auto& a : accounts())
            added +=
                acc.execute(QStringLiteral("INSERT INTO acc (id, incom, acc) VALUES (?, ?, ?)"),
                            {a.id, a.income ? -1 : 0, a.name});
    }
    if (empty("prj") && empty("w4pj")) {
        for (const auto& p : projects(reference)) {
            added += acc.execute(QStringLiteral("INSERT INTO prj (id, prj) VALUES (?, ?)"),
                                 {p.id, p.name});
            for (const auto& w : p.workTypes)
                added += acc.execute(QStringLiteral("INSERT INTO w4pj (pj_id, w) VALUES (?, ?)"),
                                     {p.id, w});
        }
    }
    const struct {
        const char* table;
        const char* column;
        const QStringList& words;
    } lists[] = {{"use", "use", uses()}, {"ps1", "ps", notes1()}, {"ps2", "ps", notes2()}};
    for (const auto& l : lists) {
        if (!empty(l.table))
            continue;
        for (int i = 0; i < l.words.size(); ++i)
            added += acc.execute(QStringLiteral("INSERT INTO \"%1\" (id, \"%2\") VALUES (?, ?)")
                                     .arg(QString::fromUtf8(l.table), QString::fromUtf8(l.column)),
                                 {i + 1, l.words.at(i)});
    }
    if (empty("obank")) {
        for (const auto& b : depositAccounts(company))
            added +=
                acc.execute(QStringLiteral("INSERT INTO obank (bank, id, user) VALUES (?, ?, ?)"),
                            {b.bank, b.id, b.user});
    }
    if (empty("bbank")) {
        for (const auto& b : chequeAccounts(company))
            added += acc.execute(
                QStringLiteral("INSERT INTO bbank (bank, id, user, ps) VALUES (?, ?, ?, ?)"),
                {b.bank, b.id, b.user, b.ps});
    }
    if (empty("ibank")) {
        for (const auto& b : counterpartyBanks())
            added +=
                acc.execute(QStringLiteral("INSERT INTO ibank (bank, id, user) VALUES (?, ?, ?)"),
                            {b.bank, b.id, b.user});
    }
    return added;
}

int insertVendors(Database& general) {
    if (general.scalar(QStringLiteral("SELECT count(*) FROM 廠商")).toLongLong() > 0)
        return 0;
    int added = 0;
    for (const auto& v : vendors())
        added += general.execute(
            QStringLiteral("INSERT INTO 廠商 (廠商編號, 廠商名稱) VALUES (?, ?)"), {v.no, v.name});
    return added;
}

}  // namespace orvik::admin
