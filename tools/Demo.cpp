#include "Demo.h"

#include <QHash>
#include <algorithm>
#include <cmath>

#include "AdminError.h"
#include "EraDate.h"
#include "Passwords.h"
#include "Rng.h"
#include "Routines.h"
#include "Vocabulary.h"
#include "Words.h"

namespace orvik::admin {

using store::Database;

namespace {

struct Voucher {
    QDate entry;
    QDate occurred;
    QDate approved;  // invalid while unapproved
    QString no;
    QString purpose;
    QString account;
    QString accountName;
    bool pay = true;
    qint64 amount = 0;
    QString ps1, ps2;
    QString project, projectName, workType;
    QString applicant, signer;
    bool hasDocument = false;
    QString documentNo;
    qint64 tax = 0;
    bool purchase = false;
    int suggestion = -1;  // -1 cash, -2 bill
    int status = 0;
    bool forced = false;  // status chosen by the plan, not by age
    int combined = -1;    // group number of a combined bill
    int billFate = -1;    // forced bill status, -1 = by date
    QString tag;          // links a write-off row to this voucher
    int order = 0;        // keeps the plan's order within a day
};

qint64 nearestEven(double x) {
    return qint64(std::nearbyint(x));
}

qint64 taxOf(qint64 amount) {
    return nearestEven(double(amount) - double(nearestEven(amount / 1.05)));
}

QString documentNo(Rng& rng) {
    const QString letters = QStringLiteral("ABCDEFGHJKLMNPQRSTUVWXYZ");
    return QString(letters.at(int(rng.range(0, letters.size() - 1)))) +
           letters.at(int(rng.range(0, letters.size() - 1))) +
           QStringLiteral("%1").arg(rng.range(0, 99999999), 8, 10, QLatin1Char('0'));
}

QDate workingDayOnOrBefore(QDate d) {
    while (d.dayOfWeek() > 5)
        d = d.addDays(-1);
    return d;
}

class Planner {
  public:
    Planner(const QDate& reference, const QString& company)
        : ref_(reference),
          company_(company),
          rng_(0x0A5C1E2026ULL),
          projects_(projects(reference)) {
        for (const auto& e : demoEmployees()) {
            if (e.rights != 0)
                staff_ << e.name;
        }
    }

    const QVector<Project>& projectList() const { return projects_; }

    Voucher make(const VoucherKind& k, const QDate& day) {
        Voucher v;
        v.entry = day;
        v.occurred = day.addDays(-rng_.range(0, 6));
        v.purpose = k.purpose;
        v.account = k.account;
        const Account* a = findAccount(k.account);
        v.accountName = a ? a->name : QString();
        v.pay = a ? !a->income : true;
        qint64 amount = rng_.range(k.minAmount, k.maxAmount);
        amount = std::max<qint64>(k.roundTo, amount / k.roundTo * k.roundTo);
        v.amount = amount;
        const Project* p = nullptr;
        if (k.project) {
            p = &projects_.at(int(rng_.range(0, projects_.size() - 1)));
            v.project = p->id;
            v.projectName = p->name;
            v.workType = p->workTypes.at(int(rng_.range(0, p->workTypes.size() - 1)));
        }
        const QString clerk = staff_.at(int(rng_.range(0, staff_.size() - 1)));
        switch (k.party) {
            case VoucherKind::Party::Customer: {
                const QStringList customers = customerNames();
                v.applicant =
                    p ? p->customer : customers.at(int(rng_.range(0, customers.size() - 1)));
                v.signer = QStringLiteral("陳美玲");
                break;
            }
            case VoucherKind::Party::Vendor: {
                const QStringList names = k.parties.isEmpty() ? vendorNames() : k.parties;
                v.applicant = clerk;
                v.signer = names.at(int(rng_.range(0, names.size() - 1)));
                break;
            }
            case VoucherKind::Party::Employee:
                v.applicant = clerk;
                v.signer = clerk;
                break;
            case VoucherKind::Party::Bank:
                v.applicant = QStringLiteral("黃淑芬");
                v.signer = QStringLiteral("黃淑芬");
                v.ps1 = depositAccounts(company_).at(0).bank;
                break;
        }
        v.hasDocument = k.party != VoucherKind::Party::Employee || rng_.chance(0.5);
        if (k.party == VoucherKind::Party::Bank)
            v.hasDocument = false;
        if (v.hasDocument) {
            v.documentNo = documentNo(rng_);
            v.purchase = k.purchase;
            if (v.ps1.isEmpty())
                v.ps1 = rng_.chance(0.7) ? QStringLiteral("發票已收") : QStringLiteral("收據已附");
        } else if (v.ps1.isEmpty() && rng_.chance(0.5)) {
            v.ps1 = notes1().at(int(rng_.range(0, notes1().size() - 1)));
        }
        v.tax = taxOf(v.amount);
        if (k.purchase && rng_.chance(0.6))
            v.ps2 = notes2().at(int(rng_.range(0, notes2().size() - 1)));
        v.suggestion = rng_.chance(k.billShare) ? -2 : -1;
        return v;
    }

    Voucher make(const QString& purpose, const QDate& day) {
        for (const auto& k : voucherKinds()) {
            if (k.purpose == purpose)
                return make(k, day);
        }
        throw AdminError(QStringLiteral("示範資料沒有用途 %1").arg(purpose));
    }

    Voucher forced(const QString& purpose, const QDate& day, int status, qint64 amount,
                   int projectIndex = -1, const QString& tag = {}) {
        Voucher v = make(purpose, workingDayOnOrBefore(day));
        if (projectIndex >= 0) {
            const Project& p = projects_.at(projectIndex);
            v.project = p.id;
            v.projectName = p.name;
            v.workType = p.workTypes.first();
            if (!v.pay)
                v.applicant = p.customer;
        }
        if (amount > 0) {
            v.amount = amount;
            v.tax = taxOf(amount);
        }
        v.status = status;
        v.forced = true;
        if (status == -1 || status == 0)
            v.suggestion = -1;
        else if (status == -2 || status >= 1)
            v.suggestion = -2;
        v.tag = tag;
        return v;
    }

    Rng& rng() { return rng_; }

  private:
    QDate ref_;
    QString company_;
    Rng rng_;
    QVector<Project> projects_;
    QStringList staff_;
};

struct Bill {
    QString no;
    QDate issued, due;
    bool income = false;
    QString drawerBank, payeeBank, drawer, payee, drawerAccount, payeeAccount;
    qint64 amount = 0;
    QString key;  // voucher number or combined key
    int status = 0;
    QDate cashable() const { return income ? due.addDays(2) : due; }
};

}  // namespace

DemoResult fillDemo(Database& acc, Database& general, const QDate& ref, const QString& company,
                    const QString& skipLogin) {
    DemoResult result;
    insertReferenceLists(acc, ref, company);
    insertVendors(general);
    for (const auto& e : demoEmployees()) {
        if (e.login.compare(skipLogin, Qt::CaseInsensitive) == 0)
            continue;
        general.execute(
            QStringLiteral("INSERT INTO 員工 (員工編號, 中文姓名, 英文姓名, pass, AccS) "
                           "VALUES (?, ?, ?, ?, ?)"),
            {e.no, e.name, e.login,
             e.password.isEmpty() ? QString() : audit::hashPassword(e.password), e.rights});
        ++result.employees;
    }

    // ---- the plan: random everyday vouchers on working days, plus the ones that the
    // receivables, payables, bills and statuses need.
    Planner plan(ref, company);
    Rng& rng = plan.rng();
    const QDate start = workingDayOnOrBefore(ref.addDays(-55));
    QVector<Voucher> vs;
    vs << plan.forced(QStringLiteral("零用金撥補"), start, 0, 500000);
    vs.last().applicant = QStringLiteral("黃淑芬");
    vs.last().signer = QStringLiteral("陳美玲");

    QVector<int> weights;
    for (const auto& k : voucherKinds())
        weights << k.weight;
    for (QDate d = start; d <= ref; d = d.addDays(1)) {
        if (d.dayOfWeek() > 5)
            continue;
        const int n = 1 + (rng.chance(0.3) ? 1 : 0);
        for (int i = 0; i < n; ++i)
            vs << plan.make(voucherKinds().at(rng.weighted(weights)), d);
    }

    // Statuses 2, 3, 4 (written by no form, shown by the voucher form), a bounced bill, voids,
    // a forgotten unapproved voucher and the newest unapproved ones.
    vs << plan.forced(QStringLiteral("支付外包工程款"), ref.addDays(-48), 2, 0, 1);
    vs << plan.forced(QStringLiteral("收取工程款"), ref.addDays(-46), 4, 0, 1);
    vs << plan.forced(QStringLiteral("購買工程材料"), ref.addDays(-42), 3, 0, 0);
    vs << plan.forced(QStringLiteral("收取保固維修費"), ref.addDays(-41), 1, 48000);
    vs.last().billFate = 3;  // bounced: its amount is cleared, as processing does
    vs << plan.forced(QStringLiteral("客戶餐敘"), ref.addDays(-29), -3, 0);
    vs << plan.forced(QStringLiteral("出差旅費"), ref.addDays(-22), -1, 0, 2);
    vs << plan.forced(QStringLiteral("購買文具用品"), ref.addDays(-2), -3, 0);
    vs << plan.forced(QStringLiteral("工地雜支"), ref, -1, 0, 3);
    vs << plan.forced(QStringLiteral("支付外包工程款"), ref, -2, 0, 4);

    // Vouchers that settle receivable and payable instalments.
    vs << plan.forced(QStringLiteral("收取工程款"), ref.addDays(-38), 1, 1500000, 0, "ri1");
    vs << plan.forced(QStringLiteral("收取工程款"), ref.addDays(-31), 0, 350000, 1, "ri2");
    vs << plan.forced(QStringLiteral("收取設計費"), ref.addDays(-20), 1, 180000, 2, "ri3");
    vs << plan.forced(QStringLiteral("購買工程材料"), ref.addDays(-15), 0, 120000, 2, "ro2");
    vs.last().signer = QStringLiteral("台灣鋼鐵材料行");
    // One combined bill for three expense vouchers of one day.
    const QDate groupDay = ref.addDays(-26);
    vs << plan.forced(QStringLiteral("支付外包工程款"), groupDay, 1, 600000, 0, "ro1");
    vs.last().signer = QStringLiteral("建興營造股份有限公司");
    vs << plan.forced(QStringLiteral("購買工程材料"), groupDay, 1, 186400, 0);
    vs << plan.forced(QStringLiteral("機具租金"), groupDay, 1, 42000, 0);
    for (int i = int(vs.size()) - 3; i < vs.size(); ++i)
        vs[i].combined = 0;

    for (int i = 0; i < vs.size(); ++i)
        vs[i].order = i;
    std::stable_sort(vs.begin(), vs.end(), [](const Voucher& a, const Voucher& b) {
        return a.entry != b.entry ? a.entry < b.entry : a.order < b.order;
    });
    QHash<QString, int> perDay;
    for (auto& v : vs) {
        const int seq = ++perDay[dayPrefix(v.entry)];
        v.no = voucherNo(v.entry, seq);
        if (!v.forced)
            v.status = v.entry.daysTo(ref) <= 3 ? v.suggestion : (v.suggestion == -1 ? 0 : 1);
        if (v.status >= 0)
            v.approved = std::min(ref, v.entry.addDays(v.forced ? 0 : rng.range(0, 2)));
    }

    // ---- bills
    const auto deposit = depositAccounts(company);
    const auto cheque = chequeAccounts(company);
    const auto others = counterpartyBanks();
    auto partyBank = [&](const QString& name) -> BankAccount {
        for (const auto& b : others) {
            if (b.user == name)
                return b;
        }
        return {};
    };
    QVector<Bill> bills;
    QHash<QString, QString> billOfVoucher;  // voucher number → bill number
    int chequeSerial = int(rng.range(1000, 9000));
    auto newBill = [&](const Voucher& v, qint64 amount, const QString& key) {
        Bill b;
        b.income = !v.pay;
        b.issued = v.approved;
        b.due = v.approved.addDays(30);
        b.amount = amount;
        b.key = key;
        if (b.income) {
            const BankAccount from = partyBank(v.applicant);
            b.no = QStringLiteral("KB%1").arg(rng.range(1000000, 9999999));
            b.drawerBank = from.bank;
            b.drawerAccount = from.id;
            b.drawer = v.applicant;
            b.payeeBank = deposit.at(0).bank;
            b.payeeAccount = deposit.at(0).id;
            b.payee = company;
        } else {
            const BankAccount& own = cheque.at(rng.chance(0.8) ? 0 : 1);
            const BankAccount to = partyBank(v.signer);
            b.no = QStringLiteral("FA%1").arg(++chequeSerial, 7, 10, QLatin1Char('0'));
            b.drawerBank = own.bank;
            b.drawerAccount = own.id;
            b.drawer = company;
            b.payeeBank = to.bank;
            b.payeeAccount = to.id;
            b.payee = v.signer;
        }
        if (v.billFate >= 0)
            b.status = v.billFate;
        else if (v.status == 2 || v.status == 4)
            b.status = 1;
        else if (v.status == 3)
            b.status = 0;
        else
            b.status = b.cashable() <= ref ? 1 : 0;
        return b;
    };
    QHash<int, QVector<int>> groups;
    for (int i = 0; i < vs.size(); ++i) {
        Voucher& v = vs[i];
        if (v.status < 1)
            continue;
        if (v.combined >= 0) {
            groups[v.combined] << i;
            continue;
        }
        const Bill b = newBill(v, v.amount, v.no);
        if (b.status == 2 || b.status == 3)
            v.amount = 0;  // a voided or bounced bill clears its voucher's amount
        billOfVoucher.insert(v.no, b.no);
        bills << b;
    }
    QVector<QPair<QString, QString>> iofsRows;
    for (auto it = groups.cbegin(); it != groups.cend(); ++it) {
        const QVector<int>& members = it.value();
        qint64 total = 0;
        for (int i : members)
            total += vs.at(i).amount;
        const QString key = vs.at(members.first()).no + QLatin1Char('S');
        Bill b = newBill(vs.at(members.first()), total, key);
        b.payee = vs.at(members.first()).signer;
        for (int i : members) {
            iofsRows.push_back({key, vs.at(i).no});
            billOfVoucher.insert(vs.at(i).no, b.no);
        }
        bills << b;
    }

    // ---- write rows
    for (const auto& v : vs) {
        acc.execute(
            QStringLiteral("INSERT INTO iof VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"),
            {v.entry,    v.no,          v.purpose,   v.status, v.amount,      v.account,
             v.pay,      v.accountName, v.ps1,       v.ps2,    v.project,     v.projectName,
             v.workType, v.occurred,    v.applicant, v.signer, v.hasDocument, v.documentNo,
             v.tax,      v.purchase,    v.suggestion});
    }
    result.vouchers = int(vs.size());
    for (const auto& r : iofsRows)
        acc.execute(QStringLiteral("INSERT INTO iofs (多單號, 單號) VALUES (?, ?)"),
                    {r.first, r.second});
    for (const auto& b : bills) {
        acc.execute(QStringLiteral("INSERT INTO bill VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"),
                    {b.no, b.issued, b.income ? QVariant() : QVariant(b.due.addDays(-3)), b.due,
                     b.income ? QVariant(b.due.addDays(2)) : QVariant(), b.drawerBank, b.payeeBank,
                     b.drawer, b.payee, b.drawerAccount, b.payeeAccount, b.amount,
                     app::AmountInWords(QString::number(b.amount)) + QStringLiteral(" 元整"),
                     b.income, b.key, b.status});
    }

    // Cash ledger: cash-approved vouchers in the order they were approved.
    QVector<const Voucher*> cashed;
    for (const auto& v : vs) {
        if (v.status == 0)
            cashed << &v;
    }
    std::stable_sort(cashed.begin(), cashed.end(), [](const Voucher* a, const Voucher* b) {
        return a->approved != b->approved ? a->approved < b->approved : a->no < b->no;
    });
    qint64 balance = 0;
    int id = 0;
    for (const Voucher* v : cashed) {
        balance += v->pay ? -v->amount : v->amount;
        acc.execute(QStringLiteral("INSERT INTO cash VALUES (?,?,?,?,?,?,?)"),
                    {++id, !v->pay, v->approved, v->amount, v->purpose, v->no, balance});
    }

    // Bank ledger: an opening balance on each of the company's accounts, then every cashed
    // bill on the day it could be cashed.
    struct Movement {
        QDate when;
        QDate booked;
        QString bank, account, memo, billNo;
        bool in;
        qint64 amount;
    };
    QVector<Movement> moves;
    const qint64 opening[] = {3000000, 800000, 2000000, 1500000};
    QVector<BankAccount> own = deposit;
    own += cheque;
    for (int i = 0; i < own.size(); ++i)
        moves.push_back({start.addDays(-1), start.addDays(-1), own.at(i).bank, own.at(i).id,
                         QStringLiteral("期初餘額"), QString(), true, opening[i]});
    for (const auto& b : bills) {
        if (b.status != 1)
            continue;
        moves.push_back({b.cashable(), b.due, b.income ? b.payeeBank : b.drawerBank,
                         b.income ? b.payeeAccount : b.drawerAccount,
                         b.income ? QStringLiteral("收入票據兌現") : QStringLiteral("支出票據兌現"),
                         b.no, b.income, b.amount});
    }
    std::stable_sort(moves.begin(), moves.end(),
                     [](const Movement& a, const Movement& b) { return a.when < b.when; });
    QHash<QString, QPair<int, qint64>> accountState;
    for (const auto& m : moves) {
        auto& st = accountState[m.bank + QLatin1Char('\x1f') + m.account];
        st.first += 1;
        st.second += m.in ? m.amount : -m.amount;
        acc.execute(
            QStringLiteral("INSERT INTO bank VALUES (?,?,?,?,?,?,?,?,?)"),
            {st.first, m.account, m.bank, m.in, m.booked, m.amount, m.memo, m.billNo, st.second});
    }

    // ---- receivables and payables
    auto byTag = [&](const char* tag) -> const Voucher& {
        for (const auto& v : vs) {
            if (v.tag == QLatin1String(tag))
                return v;
        }
        throw AdminError(QStringLiteral("示範資料內部錯誤：%1").arg(QLatin1String(tag)));
    };
    const QVector<Project>& prj = plan.projectList();
    const int ey = app::EraYear(ref);
    struct Item {
        const char* table;
        QString id;
        QString name;
    };
    const Item items[] = {
        {"ri", QStringLiteral("R%1001").arg(ey - 1), prj.at(0).name + QStringLiteral(" 工程款")},
        {"ri", QStringLiteral("R%1002").arg(ey - 1), prj.at(1).name + QStringLiteral(" 工程款")},
        {"ri", QStringLiteral("R%1001").arg(ey), prj.at(2).name + QStringLiteral(" 設計監造費")},
        {"ro", QStringLiteral("O%1001").arg(ey - 1), QStringLiteral("建興營造 南屯住宅外包工程款")},
        {"ro", QStringLiteral("O%1001").arg(ey), QStringLiteral("台灣鋼鐵材料行 鋼材採購款")},
    };
    for (const auto& it : items)
        acc.execute(QStringLiteral("INSERT INTO \"%1\" (id, 收名稱, Let) VALUES (?, ?, '0')")
                        .arg(QLatin1String(it.table)),
                    {it.id, it.name});

    auto instalment = [&](const char* table, const QString& owner, int n, qint64 due,
                          QDate expected, double share, const Voucher* settledBy) {
        QVariantList row{owner, n, due, expected, share};
        if (settledBy) {
            row << expected.addDays(-10) << documentNo(rng) << settledBy->amount
                << settledBy->occurred << (settledBy->status == 0)
                << (settledBy->status == 0 ? QString() : billOfVoucher.value(settledBy->no))
                << settledBy->no << true;
        } else {
            row << QVariant() << QString() << QVariant() << QVariant() << false << QVariant()
                << QVariant() << false;
        }
        acc.execute(QStringLiteral("INSERT INTO \"%1\" VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)")
                        .arg(QString::fromUtf8(table)),
                    row);
    };
    auto addition = [&](const char* table, const QString& owner, int n, const QString& quote,
                        const QString& contract, qint64 due, QDate expected) {
        acc.execute(QStringLiteral("INSERT INTO \"%1\" VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)")
                        .arg(QString::fromUtf8(table)),
                    {owner, n, quote, contract, due, expected, QVariant(), QString(), QVariant(),
                     QVariant(), false, QVariant(), QVariant(), false});
    };
    const Voucher& ri1 = byTag("ri1");
    instalment("ri期", items[0].id, 1, 1500000, ri1.occurred.addDays(-3), 0.3, &ri1);
    instalment("ri期", items[0].id, 2, 1500000, ref.addDays(25), 0.3, nullptr);
    instalment("ri期", items[0].id, 3, 1500000, ref.addDays(85), 0.3, nullptr);
    instalment("ri期", items[0].id, 4, 500000, ref.addDays(145), 0.1, nullptr);
    addition("ri加", items[0].id, 1, QStringLiteral("Q%1-015").arg(ey),
             QStringLiteral("C%1-003A").arg(ey - 1), 120000, ref.addDays(30));
    const Voucher& ri2 = byTag("ri2");
    instalment("ri期", items[1].id, 1, 350000, ri2.occurred, 0.25, &ri2);
    instalment("ri期", items[1].id, 2, 700000, ref.addDays(40), 0.5, nullptr);
    instalment("ri期", items[1].id, 3, 350000, ref.addDays(100), 0.25, nullptr);
    // Every instalment settled, one addition still open: the item stays listed.
    const Voucher& ri3 = byTag("ri3");
    instalment("ri期", items[2].id, 1, 180000, ri3.occurred, 1.0, &ri3);
    addition("ri加", items[2].id, 1, QStringLiteral("Q%1-022").arg(ey),
             QStringLiteral("C%1-007").arg(ey), 60000, ref.addDays(45));
    const Voucher& ro1 = byTag("ro1");
    instalment("ro期", items[3].id, 1, 600000, ro1.occurred, 0.4, &ro1);
    instalment("ro期", items[3].id, 2, 600000, ref.addDays(20), 0.4, nullptr);
    instalment("ro期", items[3].id, 3, 300000, ref.addDays(80), 0.2, nullptr);
    addition("ro加", items[3].id, 1, QStringLiteral("Q%1-009").arg(ey),
             QStringLiteral("S%1-011").arg(ey), 85000, ref.addDays(35));
    const Voucher& ro2 = byTag("ro2");
    instalment("ro期", items[4].id, 1, 120000, ro2.occurred, 0.6, &ro2);
    instalment("ro期", items[4].id, 2, 80000, ref.addDays(15), 0.4, nullptr);
    return result;
}

}  // namespace orvik::admin
