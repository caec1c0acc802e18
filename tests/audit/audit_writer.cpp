// Writes one voucher and its event the way the program does, and is killed where the test
// says: "before" (the change written, its event not yet), "after" (both written, not yet
// committed) or "none" (it commits). The test then reads what the file kept.
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>

#include "Audit.h"
#include "Database.h"
#include "Schema.h"

using namespace orvik;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: audit_writer ACC_MDB VOUCHER before|after|none\n");
        return 2;
    }
    const QByteArray where = argv[3];
    audit::setRecordHook([&](audit::Moment m) {
        if ((m == audit::Moment::BeforeEvent && where == "before") ||
            (m == audit::Moment::AfterEvent && where == "after"))
            ::_exit(9);  // as abrupt as a power cut: no destructor, no rollback
    });
    try {
        auto db =
            store::Database::open(QString::fromLocal8Bit(argv[1]), store::schema::acc().connect());
        const QString no = QString::fromLocal8Bit(argv[2]);
        store::Transaction tx(*db);
        db->execute(QStringLiteral("insert into iof (單號, 方式, 金額) values (?, -1, 10)"), {no});
        audit::record(*db, {audit::Kind::Insert,
                            QStringLiteral("iof"),
                            no,
                            {},
                            audit::rowOf(*db, QStringLiteral("iof"), QStringLiteral("單號"), no)});
        tx.commit();
    } catch (const store::EngineError& e) {
        std::fprintf(stderr, "%d %s\n", e.number(), qPrintable(e.description()));
        return 1;
    }
    return 0;
}
