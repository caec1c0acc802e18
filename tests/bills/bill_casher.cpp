// Cashes the expense cheques TAG0 .. TAG<COUNT-1> of an acc.mdb one after another, as the bill
// form does, so that the processing test can run two of these against one file at once. It
// starts cashing when a line arrives on its input.
#include <QCoreApplication>
#include <cstdio>

#include "BillStore.h"
#include "Database.h"
#include "Recordset.h"
#include "Schema.h"

using namespace orvik;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: bill_casher ACC_MDB TAG COUNT\n");
        return 2;
    }
    const QString tag = QString::fromLocal8Bit(argv[2]);
    const int count = QString::fromLocal8Bit(argv[3]).toInt();
    try {
        auto db =
            store::Database::open(QString::fromLocal8Bit(argv[1]), store::schema::acc().connect());
        // Start together with the other casher: say ready, wait for the go line.
        std::printf("ready\n");
        std::fflush(stdout);
        char go[8];
        if (!std::fgets(go, sizeof go, stdin))
            return 2;
        for (int i = 0; i < count; ++i) {
            const QString key = tag + QString::number(i);
            store::Recordset rs = db->openRecordset(
                QStringLiteral("select 開票銀行, 開票帳號, 票據金額, 到期日期, 票據號碼 from bill "
                               "where 收支單號 = ?"),
                store::RecordsetType::Snapshot, {key});
            bills::ProcessRequest request;
            request.key = key;
            request.action = bills::BillStatus::Cashed;
            request.income = false;
            request.bank = rs.text(0);
            request.account = rs.text(1);
            request.amount = rs.field(2).toLongLong();
            request.movementDate = store::storedDate(rs.field(3));
            request.billNo = rs.text(4);
            request.today = QDate(9999, 12, 31);  // long after every bill here falls due
            rs.Close();
            const auto result = bills::processBill(*db, request);
            if (result.outcome != bills::ProcessResult::Outcome::Done) {
                std::fprintf(stderr, "%s not cashed: %d\n", qPrintable(key), int(result.outcome));
                return 1;
            }
        }
    } catch (const store::EngineError& e) {
        std::fprintf(stderr, "%d %s\n", e.number(), qPrintable(e.description()));
        return 1;
    }
    return 0;
}
