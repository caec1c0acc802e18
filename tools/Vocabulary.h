#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>

namespace orvik::store {
class Database;
}

namespace orvik::admin {

// The reference lists of the demo company, shared by `init --demo` and `generate`.

inline const QString kDefaultCompany = QStringLiteral("歐維克工程有限公司");

struct Account {
    QString id;
    bool income;
    QString name;
};

struct Project {
    QString id;
    QString name;
    QStringList workTypes;
    QString customer;  // the customer who pays for it
};

struct Party {
    QString no;
    QString name;
};

struct DemoEmployee {
    QString no;
    QString name;
    QString login;
    QString password;
    int rights;
    QString role;
};

struct BankAccount {
    QString bank;
    QString id;
    QString user;
    qint64 ps = 0;
};

// What a voucher of one kind looks like.
struct VoucherKind {
    enum class Party { Customer, Vendor, Employee, Bank };
    QString purpose;      // word of the `use` list
    QString account;      // account code
    bool project;         // bound to a project
    Party party;          // who applies / signs
    QStringList parties;  // preferred names; empty = any of that kind
    qint64 minAmount;
    qint64 maxAmount;
    int roundTo;       // amounts are multiples of this
    double billShare;  // share of vouchers whose applicant suggests a bill
    bool purchase;     // 進銷項 rather than 費用
    int weight;        // how common
};

const QVector<Account>& accounts();
const Account* findAccount(const QString& id);
QVector<Project> projects(const QDate& reference);
const QStringList& uses();
const QStringList& notes1();
const QStringList& notes2();
const QVector<DemoEmployee>& demoEmployees();
const QVector<Party>& vendors();  // 廠商 rows: vendors (V…) and customers (C…)
QStringList vendorNames();
QStringList customerNames();
QVector<BankAccount> depositAccounts(const QString& company);  // obank
QVector<BankAccount> chequeAccounts(const QString& company);   // bbank
QVector<BankAccount> counterpartyBanks();                      // ibank
const QVector<VoucherKind>& voucherKinds();
QString bankOf(const QString& partyName);  // the counterparty's bank row for a name, or empty

// Fills the empty reference tables of acc.mdb (acc, prj, w4pj, use, ps1, ps2, obank, ibank,
// bbank); tables that already hold rows are left alone. Returns the number of rows added.
int insertReferenceLists(store::Database& acc, const QDate& reference, const QString& company);
// Fills an empty 廠商 table of voro3.mdb.
int insertVendors(store::Database& general);

}  // namespace orvik::admin
