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

// Why the file at `path`, opened as `db`, is not one of this program's files of the kind
// `file`, or an empty string when it is: a stamped file is, and so is an unstamped one that
// holds the file's core tables (acc.mdb: iof, cash, acc; voro3.mdb: super, 員工; pt.mdb:
// company, ptios). An empty file, another program's database or a non-database is not.
QString notThisProgramsFile(const QString& path, store::Database& db,
                            const store::schema::File& file);

// The folder's files taken for this process alone while the object lives, so no copy of the
// program opens them meanwhile. Refuses (AdminError naming the file) while another copy of the
// program, or any SQLite connection inside a transaction, has one of them open. `purpose` ends
// the refusal ("重新建立", "升級").
class FolderInUse;
std::shared_ptr<FolderInUse> takeFolder(const QString& dir, const QString& purpose);

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

// What one file's copy holds and how the copying went.
struct BackupFile {
    QString fileName;
    qint64 pages = 0;
    qint64 pageSize = 0;
    qint64 bytes = 0;
    QVector<QPair<QString, qint64>> rows;  // the main tables and their row counts
    QString check;                         // the copy's integrity check: "ok"
    int steps = 0;
    int restarts = 0;          // copies begun again because another copy of the program wrote
    double longestStepMs = 0;  // the longest time the file was held for reading
    double seconds = 0;        // the copy
    double checkSeconds = 0;   // reading the copy back
    bool snapshot = false;     // read from a server's snapshot: no steps, nobody waited
};

struct BackupReport {
    QString dest;
    QVector<BackupFile> files;
    double seconds = 0;
    QStringList lines() const;  // one line per file, for the administrator
};

// How long one step of the copy may hold a file for reading, by the number of restarts so
// far: other copies of the program wait about that long at most to save (plus up to 0.1 s
// until their next try, and their own work; 0.9 s steps were measured to keep a writer
// waiting 1.08 s). A save between steps makes SQLite copy the file again from its start;
// longer steps leave fewer gaps for that, and a file copied within the last level's step
// cannot be interrupted at all. After the last level's restarts the backup gives up.
struct BackupPace {
    QVector<int> stepMs{100, 250, 450, 700};
    int restartsPerLevel = 3;
    int pauseMs = 10;  // between steps
};

// A server location's books go to DEST as new files through migrate's copy of one snapshot,
// with the same inspection of each copy.
// Copies the three files with SQLite's online backup, step by step so other copies of the
// program keep saving; each file is copied whole again when another copy wrote meanwhile.
// Every copy gets its source file's permissions, is checked with PRAGMA integrity_check and
// is made under a temporary name in `dest` (made 0770 if needed); all are renamed at the end.
BackupReport backupFolder(const QString& dir, const QString& dest, bool force,
                          const BackupPace& pace = {});

}  // namespace orvik::admin
