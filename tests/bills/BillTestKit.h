#pragma once

// Around each bill test: a database folder of its own opened as the program opens it, the
// program clock fixed on a given day, scripted prompts, and no voucher form hooks left over.

#include <QTest>

#include "BillHandOver.h"
#include "Clock.h"
#include "Globals.h"
#include "Pickers.h"
#include "ProgramSandbox.h"
#include "Recordset.h"
#include "Routines.h"
#include "TestDataFolder.h"

namespace orvik::testing {

class BillTestKit {
  public:
    explicit BillTestKit(const QDate& today) {
        folder_.openAsProgram();
        app::gRights = app::kAllRights;  // a user who may handle bills; tests lower it
        app::Clock::setFixedNow(QDateTime(today, QTime(10, 0)));
        bills::resetHandOver();
    }
    ~BillTestKit() { bills::resetHandOver(); }

    bool isValid() const { return folder_.isValid() && app::dbAcc; }
    ScriptedPrompts& prompts() { return sandbox_.prompts(); }
    store::Database& db() { return *app::dbAcc; }
    QString accPath() const { return folder_.filePath(QStringLiteral("acc.mdb")); }

    void addVoucher(const QString& no, int status, qint64 amount, bool pay = true) {
        db().execute(QStringLiteral("insert into iof (單號, 方式, 金額, pay) values (?, ?, ?, ?)"),
                     {no, status, amount, pay});
    }
    // table is obank, ibank or bbank; ps only for bbank.
    void addBank(const QString& table, const QString& bank, const QString& id, const QString& user,
                 qint64 ps = 0) {
        db().execute(QStringLiteral("insert into %1 (bank, id, user) values (?, ?, ?)").arg(table),
                     {bank, id, user});
        if (ps)
            db().execute(QStringLiteral("update bbank set ps = ? where bank = ? and id = ?"),
                         {ps, bank, id});
    }
    void addLedger(const QString& bank, const QString& account, int id, qint64 balance) {
        db().execute(QStringLiteral("insert into bank (id, Bid, bank, 存入, 異動金額, bala) "
                                    "values (?, ?, ?, -1, 0, ?)"),
                     {id, account, bank, balance});
    }
    QVariant value(const QString& sql, const QVariantList& params = {}) {
        return db().scalar(sql, params);
    }
    // Every column of the first row as text, in stored order; null reads "<null>".
    QStringList rowTexts(const QString& sql, const QVariantList& params = {}) {
        store::Recordset rs = db().openRecordset(sql, store::RecordsetType::Snapshot, params);
        QStringList out;
        for (int i = 0; !rs.isEOF() && i < rs.fieldCount(); ++i)
            out << (rs.field(i).isNull() ? QStringLiteral("<null>") : rs.text(i));
        rs.Close();
        return out;
    }

  private:
    TestDataFolder folder_;
    ProgramSandbox sandbox_;
};

}  // namespace orvik::testing
