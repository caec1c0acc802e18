#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>

#include "Database.h"
#include "Schema.h"

namespace orvik::admin {

// Rights numbers use 22 bits, one per function of the program.
inline constexpr int kAllRights = (1 << 22) - 1;  // 4194303

// Full path of one of the three files in a database folder.
QString filePath(const QString& dir, const store::schema::File& file);

// Opens one file of a folder with its password; an engine error becomes a one-line
// AdminError naming the file.
store::DatabasePtr openFile(const QString& dir, const store::schema::File& file);

struct InitOptions {
    QString dir;
    bool demo = false;
    QString adminLogin = QStringLiteral("admin");
    QString adminPassword = QStringLiteral("admin");
    QString company;  // empty: the default heading
    QDate reference;  // demo dates are relative to it; invalid: today
    bool force = false;
};

struct InitResult {
    QString dir;
    int employees = 0;
    int vouchers = 0;
};

// Creates the three files in `dir` (made if missing), atomically enough: everything is built
// under temporary names in the folder and renamed at the end.
InitResult initFolder(const InitOptions& options);

struct Employee {
    QString no;
    QString name;
    QString login;
    bool hasPassword = false;
    qint64 rights = 0;
};

void addEmployee(const QString& dir, const QString& no, const QString& name, const QString& login,
                 const QString& password, qint64 rights);
void setEmployeePassword(const QString& dir, const QString& login, const QString& password);
void setEmployeeRights(const QString& dir, const QString& login, qint64 rights);
QVector<Employee> listEmployees(const QString& dir);

// The 22-character rights string the program reads, lowest bit first.
QString rightsString(qint64 rights);
// Parses a rights number (decimal); throws a UsageError outside 0..4194303.
qint64 parseRights(const QString& text);

struct CheckResult {
    QStringList problems;  // one line each
    QStringList notes;     // a short summary of what was looked at
    QStringList hints;     // what to do about the problems, when there is an obvious step
    bool ok() const { return problems.isEmpty(); }
};

CheckResult checkFolder(const QString& dir);

// Writes PROGRAM_FOLDER/accpath.ini: the folder's absolute path followed by CR LF, UTF-8.
// Gives a warning (or empty) when the folder does not hold the three files.
QString writePathFile(const QString& programFolder, const QString& dir);

// Copies the three files with SQLite's online backup, so other copies of the program may
// keep working; the copies are made under temporary names in `dest` and renamed at the end.
void backupFolder(const QString& dir, const QString& dest, bool force);

}  // namespace orvik::admin
