#pragma once

// Where a test keeps its books: a temporary folder of SQLite files or, when the test runs for
// the server (ORVIK_TEST_ENGINE=pg, which ctest sets for the variants labelled "pg" and runs
// under pg_virtualenv), a database of its own on the server that PGHOST, PGPORT and PGUSER
// name. It starts no server itself. Either is removed with the object.

#include <QString>
#include <QTemporaryDir>

#include "Database.h"

namespace orvik::testing {

// Whether this run of the tests keeps its books on the server.
bool onServer();

class TestLocation {
  public:
    explicit TestLocation(const QString& name = QStringLiteral("data"));
    ~TestLocation();
    TestLocation(const TestLocation&) = delete;
    TestLocation& operator=(const TestLocation&) = delete;

    bool isValid() const { return valid_; }
    // A folder or a postgresql:// URI, as accpath.ini would hold it.
    QString location() const { return location_; }
    // One of the books' files in it (store::databasePath).
    QString path(const QString& fileName) const;
    // The temporary folder beside it, for other files.
    QString root() const { return dir_.path(); }

  private:
    QTemporaryDir dir_;
    QString location_;
    QString database_;  // on a server
    bool valid_ = false;
};

}  // namespace orvik::testing
