#pragma once

// Who did what: an append-only trail of events in acc.mdb (vouchers, bills, write-offs, master
// data, imports) and in voro3.mdb (employees, rights, passwords, failed logins). Each event is
// written in the transaction of the change it records, so one never exists without the other,
// and carries a hash over its content and the previous event's hash, so a changed, removed or
// inserted event breaks the chain where it happened (verifyChain, orvik-admin check).

#include <QDate>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <optional>

#include "Database.h"
#include "Recordset.h"

namespace orvik::audit {

enum class Kind {
    Insert,          // a new row (a voucher, a word, an account)
    Rewrite,         // a row changed in place
    Void,            // a voucher voided
    ApproveCash,     // a voucher approved and paid in cash (its cash-ledger row in `after`)
    ApproveBill,     // a voucher approved by its own bill (the bill row in `after`)
    CombinedBill,    // one bill for several vouchers
    BillCashed,      // a bill cashed against a bank ledger (the movement in `after`)
    BillVoided,      // a bill voided: its vouchers' former amounts in `before`
    BillBounced,     // a bill bounced: likewise
    WriteOff,        // an instalment or addition written off by a voucher
    Transfer,        // a movement between the company's own accounts
    MasterData,      // projects, contracts, word lists, accounts, company, employees, vendors
    Rights,          // an employee's rights number
    LoginFailure,    // a failed login or a wrong old password
    Import,          // books brought across from the legacy files
    PasswordChange,  // a login password set, changed, reset or converted to its hash
};

// The stored word of a kind ("insert", "approve-cash" ...): what the table and orvik-admin
// audit hold and show. Stable: the chain's hashes cover it.
QString kindName(Kind kind);
std::optional<Kind> kindFromName(const QString& name);
// The kind in the words of the window ("新增", "現金簽核" ...).
QString kindCaption(Kind kind);
QVector<Kind> allKinds();

struct Event {
    Kind kind = Kind::Insert;
    QString table = {};  // e.g. "iof", "bill", "員工"
    QString key = {};    // the row's key, e.g. the voucher number
    // Column → value; empty for none. When both are given only what differs is kept, so a
    // rewrite shows what it changed. Rows of other tables written by the same change go in
    // as objects under their table's name ("cash": {...}). A 員工 password is never kept.
    QJsonObject before = {}, after = {};
    QString note = {};  // free text, optional
    // The voucher (or combined-bill key) whose history shows the event; empty means the key
    // for events on iof and bill, none otherwise.
    QString voucher = {};
};

// Appends the event to the audit table of `db` inside the caller's open transaction (throws
// EngineError if no transaction is open), with who (app::gLoginName), the program's working
// date (app::Clock) and the real time, and the hash chained to the previous event.
void record(store::Database& db, const Event& e);

// The row as a JSON object (all columns by name), for before/after; empty when there is no
// such row. A 員工 row's password shows only whether one is set.
QJsonObject rowOf(store::Database& db, const QString& table, const QString& keyColumn,
                  const QVariant& key);
// The row whose `keyColumns` hold `keys` (a bank account: its bank and number).
QJsonObject rowOf(store::Database& db, const QString& table, const QStringList& keyColumns,
                  const QVariantList& keys);
// The current row of a cursor, likewise.
QJsonObject currentRow(const store::Recordset& rs);

// Runs `write` inside the caller's transaction and records it as one event on the row of
// `table` whose `keyColumn` holds `oldKey` before and `newKey` after: the row as it was and as
// it is. An invalid oldKey is a new row, an invalid newKey a removed one.
void recordRowChange(store::Database& db, Kind kind, const QString& table, const QString& keyColumn,
                     const QVariant& oldKey, const QVariant& newKey,
                     const std::function<void()>& write, const QString& note = {});
// Likewise for a key of several columns, shown as its values joined by "/"; an empty list is
// no row. `note` is read after `write`, so the write may fill it in ("已更新 3 張收支單").
void recordRowChange(store::Database& db, Kind kind, const QString& table,
                     const QStringList& keyColumns, const QVariantList& oldKeys,
                     const QVariantList& newKeys, const std::function<void()>& write,
                     const QString& note = {});

// --- Reading the trail ---

struct StoredEvent {
    qint64 id = 0;
    QDate workDate;    // the program's working date when it was written
    QString realTime;  // the computer's clock, ISO 8601 with its offset from UTC
    QString login;     // who was logged in; empty for failed logins and the tool
    QString kind;      // kindName
    QString table;
    QString key;
    QString voucher;
    QString before;  // JSON text
    QString after;
    QString note;
    QString hash;
};

struct Filter {
    QDate from = {}, to = {};  // working dates, inclusive; invalid for open
    QString login = {};        // exact, ignoring case; empty for all
    std::optional<Kind> kind = {};
    // A voucher number: its own events and those of the combined bill that covers it.
    QString voucher = {};
    int limit = 0;  // the newest this many; 0 for all
};

// The events that pass the filter, oldest first.
QVector<StoredEvent> readEvents(store::Database& db, const Filter& filter);

struct ChainReport {
    qint64 events = 0;
    qint64 brokenAt = 0;  // the first event whose hash does not follow; 0 when none
    QString problem;      // what is wrong there, in words
    qint64 lastId = 0;
    QString lastHash;  // the chain's head, to note down elsewhere
    bool ok() const { return brokenAt == 0; }
};

// Recomputes every event's hash in order and compares it with the stored one.
ChainReport verifyChain(store::Database& db);

// What an event changed, in words for a list: "金額: 500 → 650；用途說明: 文具", rows of
// other tables by their path ("cash id: 12", "iof 1150301001 金額: 5000 → 0").
QString describeChange(const QString& beforeJson, const QString& afterJson);

// Test hook: called inside record() before the event is written and after it, so a test can
// stop a writer between a change and its event, or between the event and the commit.
enum class Moment { BeforeEvent, AfterEvent };
void setRecordHook(std::function<void(Moment)> hook);

}  // namespace orvik::audit
