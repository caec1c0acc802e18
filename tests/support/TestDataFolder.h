#pragma once

// Database folders for tests, made the way the administrator tool makes them: the three files
// with the full schema and the version stamp, the passwords of acc.mdb and voro3.mdb, the
// 'voro' row of super and the company row of pt.mdb.

#include <QString>

#include "Database.h"
#include "Schema.h"
#include "TestLocation.h"

namespace orvik::testing {

struct DataFolderOptions {
    bool acc = true;  // which files to make
    bool general = true;
    bool print = true;
    QString printPassword;  // pt.mdb has none; set one to make a wrong folder
    // The stamp written into every file; an older version also lacks that version's indexes.
    int version = store::schema::kVersion;
    QString company = QStringLiteral("測試工程有限公司");
};

// Makes the files in `folder` (a folder that exists and holds none of them, or a server location
// without the three schemas). Throws EngineError.
void createDatabaseFiles(const QString& folder, const DataFolderOptions& options = {});

// Opens one of a folder's files with the password the program uses.
store::DatabasePtr openDatabaseFile(const QString& folder, const store::schema::File& file);

// Opens the three files of `folder` into dbAcc, dbGeneral and dbPrint and sets gDataPath, as
// start-up does.
void openFolderAsProgram(const QString& folder);

// Makes every insert into `table` fail with `message`, on either engine, until allowInserts;
// for tests of what a failed write leaves behind.
void refuseInserts(store::Database& db, const QString& table, const QString& message);
void allowInserts(store::Database& db, const QString& table);

// A database folder inside its own temporary directory, removed with the object; when the tests
// run for the server (onServer()), a database of its own on the server instead.
class TestDataFolder {
  public:
    explicit TestDataFolder(const DataFolderOptions& options = {},
                            const QString& name = QStringLiteral("data"));

    bool isValid() const { return valid_; }
    // The location as accpath.ini would hold it: a folder or a server URI.
    QString path() const { return where_.location(); }
    // A temporary folder for other files, beside the books.
    QString root() const { return where_.root(); }
    // One of the books (store::databasePath): a file in the folder, or a schema on the server.
    QString filePath(const QString& fileName) const;

    // Opens the three files into dbAcc, dbGeneral and dbPrint and sets gDataPath, as start-up
    // does, for tests of the forms.
    void openAsProgram() const;

  private:
    TestLocation where_;
    bool valid_ = false;
};

}  // namespace orvik::testing
