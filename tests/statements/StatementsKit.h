#pragma once

// Folders for the statement tests: a generated one (the demo folder of orvik-admin init and
// the generator's vouchers, bills and ledgers over three years up to 2024-03-15, so that the
// leap day 2024-02-29 and the 民國 year ends 111/112 lie inside), and rows a test adds itself.

#include <QDate>
#include <QString>
#include <QTemporaryDir>
#include <QVariantList>

#include "Admin.h"
#include "Database.h"
#include "Generator.h"
#include "Globals.h"
#include "Schema.h"

namespace orvik::testing {

inline const QDate kToday(2024, 3, 15);

inline QString makeGeneratedFolder(const QTemporaryDir& dir, qint64 vouchers = 4000) {
    admin::InitOptions init;
    init.dir = dir.path();
    init.demo = true;
    init.reference = kToday;
    admin::initFolder(init);
    admin::GenerateOptions g;
    g.dir = dir.path();
    g.vouchers = vouchers;
    g.seed = 11;
    g.reference = kToday;
    g.years = 3;
    admin::generate(g);
    return dir.path();
}

// Opens the folder's three files into dbAcc, dbGeneral and dbPrint, as start-up does.
inline void openFolder(const QString& dir) {
    using namespace store;
    app::gDataPath = dir;
    app::dbAcc = Database::open(dir + QStringLiteral("/acc.mdb"), schema::acc().connect());
    app::dbGeneral =
        Database::open(dir + QStringLiteral("/voro3.mdb"), schema::general().connect());
    app::dbPrint = Database::open(dir + QStringLiteral("/pt.mdb"), schema::print().connect());
}

inline qint64 num(store::Database& db, const QString& sql, const QVariantList& params = {}) {
    return db.scalar(sql, params).toLongLong();
}

}  // namespace orvik::testing
