// Appends vouchers with their cash-ledger rows the way the voucher save does, so the store test
// can run two of these against one file at the same time. With "hold" instead of a tag it opens
// the file as the program does, says "open" and keeps it open, idle, until its input closes.
#include <QCoreApplication>
#include <cstdio>

#include "Database.h"
#include "Schema.h"

using namespace orvik::store;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[2]) == "hold") {
        try {
            auto db = Database::open(QString::fromLocal8Bit(argv[1]), schema::acc().connect());
            std::printf("open\n");
            std::fflush(stdout);
            while (std::getchar() != EOF) {
            }
        } catch (const EngineError& e) {
            std::fprintf(stderr, "%d %s\n", e.number(), qPrintable(e.description()));
            return 1;
        }
        return 0;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: store_writer ACC_MDB TAG COUNT | store_writer ACC_MDB hold\n");
        return 2;
    }
    const QString tag = QString::fromLocal8Bit(argv[2]);
    const int count = QString::fromLocal8Bit(argv[3]).toInt();
    try {
        auto db = Database::open(QString::fromLocal8Bit(argv[1]), schema::acc().connect());
        for (int i = 0; i < count; ++i) {
            Transaction tx(*db);
            const QString no = QStringLiteral("%1%2").arg(tag).arg(i, 6, 10, QLatin1Char('0'));
            db->execute("insert into iof (單號, 方式, 金額) values (?, 0, 10)", {no});
            const int id = db->scalar("select coalesce(max(id), 0) from cash").toInt() + 1;
            const qint64 bala =
                db->scalar("select coalesce((select bala from cash order by id desc limit 1), 0)")
                    .toLongLong();
            db->execute(
                "insert into cash (id, 收入, 異動金額, 收支單號, bala) values (?, -1, 10, ?, ?)",
                {id, no, bala + 10});
            tx.commit();
        }
    } catch (const EngineError& e) {
        std::fprintf(stderr, "%d %s\n", e.number(), qPrintable(e.description()));
        return 1;
    }
    return 0;
}
