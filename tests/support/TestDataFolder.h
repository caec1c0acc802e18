#pragma once

// Database folders for tests, made the way the administrator tool makes them: the three files
// with the full schema and the version stamp, the passwords of acc.mdb and voro3.mdb, the
// 'voro' row of super and the company row of pt.mdb.

#include <QString>
#include <QTemporaryDir>

#include "Database.h"
#include "Schema.h"

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

// Makes the files in `folder`, which must exist and hold none of them. Throws EngineError.
void createDatabaseFiles(const QString& folder, const DataFolderOptions& options = {});

// Opens one of a folder's files with the password the program uses.
store::DatabasePtr openDatabaseFile(const QString& folder, const store::schema::File& file);

// Opens the three files of `folder` into dbAcc, dbGeneral and dbPrint and sets gDataPath, as
// start-up does.
void openFolderAsProgram(const QString& folder);

// A database folder inside its own temporary directory, removed with the object.
class TestDataFolder {
  public:
    explicit TestDataFolder(const DataFolderOptions& options = {},
                            const QString& name = QStringLiteral("data"));

    bool isValid() const { return valid_; }
    QString path() const { return path_; }  // the database folder
    QString root() const { return dir_.path(); }
    QString filePath(const QString& fileName) const;

    // Opens the three files into dbAcc, dbGeneral and dbPrint and sets gDataPath, as start-up
    // does, for tests of the forms.
    void openAsProgram() const;

  private:
    QTemporaryDir dir_;
    QString path_;
    bool valid_ = false;
};

}  // namespace orvik::testing
