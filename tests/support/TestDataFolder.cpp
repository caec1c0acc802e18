#include "TestDataFolder.h"

#include <QDir>
#include <algorithm>

#include "Globals.h"

namespace orvik::testing {

namespace schema = store::schema;

namespace {

store::DatabasePtr createFile(const QString& folder, const schema::File& file,
                              const QString& password, int version) {
    auto db = store::Database::create(store::databasePath(folder, file.fileName), password);
    // An older version as that version's tool made it, without the later indexes.
    schema::createAll(*db, file, std::min(version, schema::kVersion));
    if (version > schema::kVersion)
        db->setMeta(QStringLiteral("schema_version"), QString::number(version));
    return db;
}

}  // namespace

void createDatabaseFiles(const QString& folder, const DataFolderOptions& options) {
    if (options.acc)
        createFile(folder, schema::acc(), schema::acc().password, options.version);
    if (options.general) {
        auto db =
            createFile(folder, schema::general(), schema::general().password, options.version);
        db->execute(QStringLiteral("INSERT INTO super (super_id, super_pass) VALUES (?, ?)"),
                    {QStringLiteral("voro"), QStringLiteral("voro")});
    }
    if (options.print) {
        auto db = createFile(folder, schema::print(), options.printPassword, options.version);
        db->execute(QStringLiteral("INSERT INTO company (ion) VALUES (?)"), {options.company});
    }
}

store::DatabasePtr openDatabaseFile(const QString& folder, const schema::File& file) {
    // A folder, or a server's location: the screen programs open either.
    return store::Database::open(store::databasePath(folder, file.fileName), file.connect());
}

TestDataFolder::TestDataFolder(const DataFolderOptions& options, const QString& name)
    : where_(name) {
    if (!where_.isValid())
        return;
    createDatabaseFiles(where_.location(), options);
    valid_ = true;
}

QString TestDataFolder::filePath(const QString& fileName) const {
    return where_.path(fileName);
}

void refuseInserts(store::Database& db, const QString& table, const QString& message) {
    const QString name = QStringLiteral("refuse_") + table;
    if (db.engine() == store::Engine::PostgreSQL) {
        db.execute(QStringLiteral("CREATE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS "
                                  "$$ BEGIN RAISE EXCEPTION '%2'; END $$")
                       .arg(name, message));
        db.execute(QStringLiteral("CREATE TRIGGER %1 BEFORE INSERT ON %2 FOR EACH ROW "
                                  "EXECUTE FUNCTION %1()")
                       .arg(name, table));
        return;
    }
    db.execute(QStringLiteral("CREATE TRIGGER %1 BEFORE INSERT ON %2 "
                              "BEGIN SELECT raise(abort, '%3'); END")
                   .arg(name, table, message));
}

void allowInserts(store::Database& db, const QString& table) {
    const QString name = QStringLiteral("refuse_") + table;
    if (db.engine() == store::Engine::PostgreSQL) {
        db.execute(QStringLiteral("DROP TRIGGER %1 ON %2").arg(name, table));
        db.execute(QStringLiteral("DROP FUNCTION %1()").arg(name));
        return;
    }
    db.execute(QStringLiteral("DROP TRIGGER %1").arg(name));
}

void openFolderAsProgram(const QString& folder) {
    app::gDataPath = folder;
    app::dbAcc = openDatabaseFile(folder, schema::acc());
    app::dbGeneral = openDatabaseFile(folder, schema::general());
    app::dbPrint = openDatabaseFile(folder, schema::print());
}

void TestDataFolder::openAsProgram() const {
    openFolderAsProgram(where_.location());
}

}  // namespace orvik::testing
