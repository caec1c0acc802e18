#include "Admin.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "AdminError.h"
#include "Audit.h"
#include "Demo.h"
#include "Migrate.h"
#include "Passwords.h"
#include "Recordset.h"
#include "Routines.h"
#include "Vocabulary.h"

namespace orvik::admin {

using store::Database;
using store::DatabasePtr;
using store::EngineError;
namespace schema = store::schema;

namespace {

QString tempName(const QString& dir, const QString& purpose, const schema::File& file) {
    return QDir(dir).filePath(QStringLiteral(".orvik-%1-%2-%3")
                                  .arg(purpose)
                                  .arg(QCoreApplication::applicationPid())
                                  .arg(file.fileName));
}

void removeWithJournal(const QString& path) {
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
}

QStringList presentFiles(const QString& dir) {
    QStringList present;
    for (const auto* f : schema::files()) {
        if (QFileInfo::exists(QDir(dir).filePath(f->fileName)))
            present << f->fileName;
    }
    return present;
}

// Renames the finished temporary files onto their real names. With `replace` the old files
// (and any journals left beside them) go first.
void moveIntoPlace(const QVector<QPair<QString, QString>>& moves, bool replace) {
    if (replace) {
        for (const auto& m : moves)
            removeWithJournal(m.second);
    }
    for (const auto& m : moves) {
        if (QFileInfo::exists(m.second))
            throw AdminError(QStringLiteral("無法取代 %1：檔案仍然存在").arg(m.second));
        if (!QFile::rename(m.first, m.second))
            throw AdminError(QStringLiteral("無法把 %1 改名為 %2").arg(m.first, m.second));
    }
}

QString engineText(const QString& fileName, const EngineError& e) {
    return QStringLiteral("%1: %2 (%3)").arg(fileName, e.description()).arg(e.number());
}

DatabasePtr openGeneral(const QString& dir) {
    return openFile(dir, schema::general());
}

// Whether a connection of SQLite's own is inside a transaction on the file: an old copy of the
// program without the in-use lock, or an SQLite tool, in the middle of a write or a read.
bool sqliteBusy(const QString& path) {
    sqlite3* h = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &h, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK) {
        sqlite3_close(h);
        return false;
    }
    sqlite3_busy_timeout(h, 0);
    const int rc = sqlite3_exec(h, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(h);
    return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED;
}

// The tables that make a file one of this program's even without a version stamp.
QStringList coreTables(const schema::File& file) {
    if (&file == &schema::acc())
        return {QStringLiteral("iof"), QStringLiteral("cash"), QStringLiteral("acc")};
    if (&file == &schema::general())
        return {QStringLiteral("super"), QStringLiteral("員工")};
    return {QStringLiteral("company"), QStringLiteral("ptios")};
}

// The login exactly as typed, letter case included (the column itself ignores case).
QString sameLogin(Database& db) {
    return db.engine() == store::Engine::PostgreSQL ? QStringLiteral("英文姓名::text = ?")
                                                    : QStringLiteral("英文姓名 = ? COLLATE BINARY");
}

void requireLogin(Database& general, const QString& login) {
    const QVariant n = general.scalar(
        QStringLiteral("SELECT count(*) FROM 員工 WHERE %1").arg(sameLogin(general)), {login});
    if (n.toLongLong() == 0)
        throw AdminError(QStringLiteral("找不到登入名稱為 %1 的員工").arg(login));
}

}  // namespace

QString filePath(const QString& dir, const schema::File& file) {
    return store::isServerLocation(dir) ? store::databasePath(dir, file.fileName)
                                        : QDir(dir).filePath(file.fileName);
}

DatabasePtr openFile(const QString& dir, const schema::File& file) {
    try {
        return Database::open(filePath(dir, file), file.connect());
    } catch (const EngineError& e) {
        throw AdminError(engineText(file.fileName, e));
    }
}

QString notThisProgramsFile(const QString& path, Database& db, const schema::File& file) {
    if (!store::isServerLocation(path) && QFileInfo(path).size() == 0)
        return QStringLiteral("空檔案，0 位元組");
    if (schema::versionOf(db) > 0)
        return {};
    QStringList missing;
    for (const QString& table : coreTables(file)) {
        if (!db.hasTable(table))
            missing << table;
    }
    if (missing.isEmpty())
        return {};
    return QStringLiteral("沒有本程式的資料表 %1").arg(missing.join(QStringLiteral("、")));
}

class FolderInUse {
  public:
    std::vector<std::unique_ptr<store::ExclusiveUse>> held;
};

std::shared_ptr<FolderInUse> takeFolder(const QString& dir, const QString& purpose) {
    auto taken = std::make_shared<FolderInUse>();
    const bool server = store::isServerLocation(dir);
    for (const auto* f : schema::files()) {
        const QString path = filePath(dir, *f);
        if (!server && !QFileInfo::exists(path))
            continue;
        bool inUse = false;
        try {
            taken->held.push_back(std::make_unique<store::ExclusiveUse>(path));
            inUse = !server && sqliteBusy(path);
        } catch (const EngineError& e) {
            // A server that cannot be reached, or a database without the books, is not in use.
            if (e.number() != store::err::FileInUse)
                throw AdminError(QStringLiteral("%1: %2").arg(store::shownLocation(dir),
                                                              engineText(f->fileName, e)));
            inUse = true;
        }
        if (inUse)
            throw AdminError(
                QStringLiteral("%1 的 %2 正有另一個 Orvik 程式（或 orvik-admin）在使用；"
                               "請所有人先結束程式，再%3")
                    .arg(dir, f->fileName, purpose));
    }
    return taken;
}

// ---------------------------------------------------------------------------------------------
// init

namespace {

// Best effort after a failed init: the schemas `names` this run made, with all in them.
void dropSchemas(const DatabasePtr& db, const QStringList& names) {
    if (!db)
        return;
    for (const QString& name : names) {
        try {
            db->execute(QStringLiteral("DROP SCHEMA IF EXISTS \"%1\" CASCADE").arg(name));
        } catch (const EngineError&) {
        }
    }
}

// The tables, the administrator, the heading and (for --demo) the demo books, in new files
// or schemas. The staff file's transaction holds back the administrator until the demo is in.
void fillNewBooks(const InitOptions& o, Database& acc, Database& general, Database& print,
                  InitResult& result) {
    const QString company = o.company.isEmpty() ? kDefaultCompany : o.company;
    const QDate reference = o.reference.isValid() ? o.reference : QDate::currentDate();
    schema::createAll(acc, schema::acc());
    schema::createAll(general, schema::general());
    schema::createAll(print, schema::print());

    store::Transaction tg(general);
    general.execute(QStringLiteral("INSERT INTO super (super_id, super_pass) VALUES (?, ?)"),
                    {QStringLiteral("voro"), QStringLiteral("orvik")});
    general.execute(
        QStringLiteral("INSERT INTO 員工 (員工編號, 中文姓名, 英文姓名, pass, AccS) "
                       "VALUES (?, ?, ?, ?, ?)"),
        {QStringLiteral("A001"), QStringLiteral("系統管理員"), o.adminLogin,
         o.adminPassword.isEmpty() ? QString() : audit::hashPassword(o.adminPassword), kAllRights});
    result.employees = 1;
    print.execute(QStringLiteral("INSERT INTO company (ion) VALUES (?)"), {company});
    if (o.demo) {
        store::Transaction ta(acc);
        const DemoResult demo = fillDemo(acc, general, reference, company, o.adminLogin);
        ta.commit();
        result.employees += demo.employees;
        result.vouchers = demo.vouchers;
    }
    tg.commit();
}

// On a server the three files are schemas of one database: made one after the other, and
// those this run made are dropped again should a later step fail.
InitResult initServer(const InitOptions& o) {
    if (o.force)
        throw UsageError(QStringLiteral(
            "伺服器上的帳務不能用 --force 重新建立；要重來，請先在伺服器上移除 acc、voro3、pt "
            "三個 schema"));
    InitResult result;
    result.dir = store::shownLocation(o.dir);
    QStringList made;
    DatabasePtr first;  // a connection to drop them with
    try {
        std::vector<DatabasePtr> dbs;
        for (const auto* f : schema::files()) {
            dbs.push_back(Database::create(filePath(o.dir, *f), f->password));
            made << QFileInfo(f->fileName).completeBaseName().toLower();
            if (!first)
                first = dbs.back();
        }
        fillNewBooks(o, *dbs.at(0), *dbs.at(1), *dbs.at(2), result);
    } catch (const EngineError& e) {
        dropSchemas(first, made);
        throw AdminError(
            QStringLiteral("建立資料庫失敗：%1 (%2)").arg(e.description()).arg(e.number()));
    } catch (...) {
        dropSchemas(first, made);
        throw;
    }
    return result;
}

}  // namespace

InitResult initFolder(const InitOptions& o) {
    if (o.dir.trimmed().isEmpty())
        throw UsageError(QStringLiteral("init 需要資料夾名稱"));
    if (o.adminLogin.trimmed().isEmpty())
        throw UsageError(QStringLiteral("管理員的登入名稱不可空白"));
    if (store::isServerLocation(o.dir))
        return initServer(o);
    const QString dir = QDir(o.dir).absolutePath();
    if (QFileInfo(dir).exists() && !QFileInfo(dir).isDir())
        throw AdminError(QStringLiteral("%1 不是資料夾").arg(dir));
    QString error;
    if (!store::makeFolder(dir, &error))
        throw AdminError(error);
    const QStringList present = presentFiles(dir);
    if (!present.isEmpty() && !o.force)
        throw AdminError(QStringLiteral("資料夾 %1 已有 %2；要重新建立請加 --force")
                             .arg(dir, present.join(QStringLiteral("、"))));
    // Files replaced under a running copy would take its later saves with them: refuse while
    // any copy has them open, and keep them from being opened until the new ones are in place.
    const auto held = present.isEmpty() ? nullptr : takeFolder(dir, QStringLiteral("重新建立"));

    QVector<QPair<QString, QString>> moves;
    for (const auto* f : schema::files())
        moves.push_back({tempName(dir, QStringLiteral("init"), *f), filePath(dir, *f)});

    InitResult result;
    result.dir = dir;
    try {
        for (const auto& m : moves)
            removeWithJournal(m.first);
        {
            DatabasePtr acc = Database::create(moves[0].first, schema::acc().password);
            DatabasePtr general = Database::create(moves[1].first, schema::general().password);
            DatabasePtr print = Database::create(moves[2].first, schema::print().password);
            fillNewBooks(o, *acc, *general, *print, result);
        }
        moveIntoPlace(moves, o.force);
    } catch (const EngineError& e) {
        for (const auto& m : moves)
            removeWithJournal(m.first);
        throw AdminError(
            QStringLiteral("建立資料庫失敗：%1 (%2)").arg(e.description()).arg(e.number()));
    } catch (...) {
        for (const auto& m : moves)
            removeWithJournal(m.first);
        throw;
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// employees

QString rightsString(qint64 rights) {
    return app::ToBinaryRights(qint32(rights));
}

qint64 parseRights(const QString& text) {
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok);
    if (!ok || v < 0 || v > kAllRights)
        throw UsageError(
            QStringLiteral("權限值 '%1' 須是 0 到 %2 的整數").arg(text).arg(kAllRights));
    return v;
}

void addEmployee(const QString& dir, const QString& no, const QString& name, const QString& login,
                 const QString& password, qint64 rights) {
    if (no.trimmed().isEmpty() || name.trimmed().isEmpty() || login.trimmed().isEmpty())
        throw UsageError(QStringLiteral("員工編號、中文姓名與登入名稱都不可空白"));
    if (rights < 0 || rights > kAllRights)
        throw UsageError(QStringLiteral("權限值須是 0 到 %1 的整數").arg(kAllRights));
    const QString stored = password.isEmpty() ? QString() : audit::hashPassword(password);
    DatabasePtr general = openGeneral(dir);
    store::Transaction tx(*general);
    // The login query ignores letter case, so two logins that differ only in case would clash.
    if (general->scalar(QStringLiteral("SELECT count(*) FROM 員工 WHERE 英文姓名 = ?"), {login})
            .toLongLong() > 0)
        throw AdminError(QStringLiteral("登入名稱 %1 已有人使用").arg(login));
    if (general->scalar(QStringLiteral("SELECT count(*) FROM 員工 WHERE 員工編號 = ?"), {no})
            .toLongLong() > 0)
        throw AdminError(QStringLiteral("員工編號 %1 已有人使用").arg(no));
    general->execute(QStringLiteral("INSERT INTO 員工 (員工編號, 中文姓名, 英文姓名, pass, AccS) "
                                    "VALUES (?, ?, ?, ?, ?)"),
                     {no, name, login, stored, rights});
    audit::record(*general, {audit::Kind::MasterData,
                             QStringLiteral("員工"),
                             login,
                             {},
                             audit::rowOf(*general, QStringLiteral("員工"),
                                          QStringLiteral("英文姓名"), login),
                             QStringLiteral("新增員工")});
    tx.commit();
}

void setEmployeePassword(const QString& dir, const QString& login, const QString& password) {
    DatabasePtr general = openGeneral(dir);
    requireLogin(*general, login);
    if (!audit::setPassword(*general, login, password, QStringLiteral("系統管理員設定密碼")))
        throw AdminError(QStringLiteral("找不到登入名稱為 %1 的員工").arg(login));
}

void setEmployeeRights(const QString& dir, const QString& login, qint64 rights) {
    if (rights < 0 || rights > kAllRights)
        throw UsageError(QStringLiteral("權限值須是 0 到 %1 的整數").arg(kAllRights));
    DatabasePtr general = openGeneral(dir);
    store::Transaction tx(*general);
    requireLogin(*general, login);
    const QVariant before = general->scalar(
        QStringLiteral("SELECT AccS FROM 員工 WHERE %1").arg(sameLogin(*general)), {login});
    general->execute(QStringLiteral("UPDATE 員工 SET AccS = ? WHERE %1").arg(sameLogin(*general)),
                     {rights, login});
    audit::record(*general, {audit::Kind::Rights,
                             QStringLiteral("員工"),
                             login,
                             {{QStringLiteral("AccS"),
                               before.isNull() ? QJsonValue() : QJsonValue(before.toLongLong())}},
                             {{QStringLiteral("AccS"), rights}}});
    tx.commit();
}

QVector<Employee> listEmployees(const QString& dir) {
    DatabasePtr general = openGeneral(dir);
    QVector<Employee> out;
    store::Recordset rs = general->openRecordset(
        QStringLiteral(
            "SELECT 員工編號, 中文姓名, 英文姓名, pass, AccS FROM 員工 ORDER BY 員工編號"),
        store::RecordsetType::Snapshot);
    while (!rs.isEOF()) {
        Employee e;
        e.no = rs.text(0);
        e.name = rs.text(1);
        e.login = rs.text(2);
        e.hasPassword = !rs.text(3).isEmpty();
        e.rights = rs.field(4).toLongLong();
        out << e;
        rs.MoveNext();
    }
    rs.Close();
    return out;
}

// ---------------------------------------------------------------------------------------------
// check

namespace {

// SQLite's own check of every page and index of a file.
void integrityCheck(Database& db, const schema::File& f, CheckResult& r) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db.handle(), "PRAGMA integrity_check", -1, &st, nullptr) != SQLITE_OK)
        throw AdminError(QString::fromUtf8(sqlite3_errmsg(db.handle())));
    QStringList lines;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        lines << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    const QString err =
        rc == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(db.handle()));
    sqlite3_finalize(st);
    if (!err.isEmpty())
        r.problems << QStringLiteral("%1: 完整性檢查失敗：%2").arg(f.fileName, err);
    else if (lines != QStringList{QStringLiteral("ok")}) {
        for (const QString& line : lines)
            r.problems << QStringLiteral("%1: 完整性：%2").arg(f.fileName, line);
    }
}

}  // namespace

CheckResult checkFolder(const QString& dir) {
    CheckResult r;
    const bool server = store::isServerLocation(dir);
    if (!server && !QFileInfo(dir).isDir()) {
        r.problems << QStringLiteral("%1 不是資料夾").arg(dir);
        return r;
    }
    for (const auto* f : schema::files()) {
        const QString path = filePath(dir, *f);
        if (!server && !QFileInfo::exists(path)) {
            r.problems << QStringLiteral("%1: 找不到檔案").arg(f->fileName);
            continue;
        }
        DatabasePtr db;
        bool noPassword = false;
        try {
            db = Database::open(path, f->connect());
        } catch (const EngineError& e) {
            // A file made before version stamps may have no password yet: say so, and go on
            // checking it, since upgrade sets the password.
            if (e.number() == store::err::InvalidPassword && !f->password.isEmpty()) {
                try {
                    db = Database::open(path);
                } catch (const EngineError&) {
                }
            }
            if (!db || schema::versionOf(*db) != 0) {
                r.problems << engineText(f->fileName, e);
                continue;
            }
            noPassword = true;
        }
        try {
            // An empty file or another program's database is not an older file of this one:
            // upgrade would not take it, so neither the missing tables nor upgrade are named.
            const QString foreign = notThisProgramsFile(path, *db, *f);
            if (!foreign.isEmpty()) {
                r.problems
                    << QStringLiteral("%1: 不是本程式的資料庫檔案（%2）").arg(f->fileName, foreign);
                continue;
            }
            if (noPassword)
                r.problems << QStringLiteral("%1: 檔案沒有密碼（較舊的檔案）").arg(f->fileName);
            if (server)
                // The server keeps its own pages whole (write-ahead log, checksums where the
                // cluster has them); there is nothing like SQLite's page-by-page check to run.
                r.notes << QStringLiteral(
                               "%1: 完整性檢查：伺服器上沒有與 PRAGMA integrity_check 相當的檢查，"
                               "未做（資料表、索引與稽核紀錄照常檢查）")
                               .arg(f->fileName);
            else
                integrityCheck(*db, *f, r);
            for (const auto& d : schema::compare(*db, *f)) {
                if (d.table.isEmpty())
                    r.problems << QStringLiteral("%1: %2").arg(f->fileName, d.what);
                else
                    r.problems
                        << QStringLiteral("%1: 資料表 %2：%3").arg(f->fileName, d.table, d.what);
            }
            // Rows the program cannot start without.
            if (f == &schema::general() && db->hasTable(QStringLiteral("super")) &&
                db->scalar(QStringLiteral("SELECT count(*) FROM super WHERE super_id = 'voro'"))
                        .toLongLong() == 0)
                r.problems << QStringLiteral(
                                  "%1: 資料表 super 缺少 super_id 為 voro 的資料列，"
                                  "程式無法登入")
                                  .arg(f->fileName);
            if (f == &schema::print() && db->hasTable(QStringLiteral("company")) &&
                db->scalar(QStringLiteral("SELECT count(*) FROM company")).toLongLong() != 1)
                r.problems << QStringLiteral("%1: 資料表 company 應恰有一列").arg(f->fileName);
            // The audit trail: every event must follow from the one before it.
            if (db->hasTable(QStringLiteral("audit"))) {
                const audit::ChainReport chain = audit::verifyChain(*db);
                if (!chain.ok())
                    r.problems << QStringLiteral("%1: 稽核紀錄在第 %2 筆斷了：%3")
                                      .arg(f->fileName)
                                      .arg(chain.brokenAt)
                                      .arg(chain.problem);
                else if (chain.events > 0)
                    r.notes << QStringLiteral("%1: 稽核紀錄 %2 筆完整，最後一筆第 %3 筆，雜湊 %4")
                                   .arg(f->fileName)
                                   .arg(chain.events)
                                   .arg(chain.lastId)
                                   .arg(chain.lastHash);
            }
            if (f == &schema::general() && db->hasTable(QStringLiteral("員工"))) {
                int plain = 0;
                store::Recordset rs = db->openRecordset(QStringLiteral("SELECT pass FROM 員工"),
                                                        store::RecordsetType::Snapshot);
                for (; !rs.isEOF(); rs.MoveNext()) {
                    if (!rs.text(0).isEmpty() && !audit::isHashed(rs.text(0)))
                        ++plain;
                }
                rs.Close();
                if (plain > 0)
                    r.problems << QStringLiteral("%1: %2 位員工的登入密碼仍是明文")
                                      .arg(f->fileName)
                                      .arg(plain);
            }
            const int version = schema::versionOf(*db);
            if (version < schema::kVersion && !r.hints.contains(QStringLiteral("upgrade")))
                r.hints << QStringLiteral("upgrade");
            r.notes << QStringLiteral("%1: %2 個資料表，第 %3 版")
                           .arg(f->fileName)
                           .arg(db->tableNames().size())
                           .arg(version);
        } catch (const EngineError& e) {
            r.problems << engineText(f->fileName, e);
        }
    }
    return r;
}

// ---------------------------------------------------------------------------------------------
// set-path

QString writePathFile(const QString& programFolder, const QString& dir) {
    if (!QFileInfo(programFolder).isDir())
        throw AdminError(QStringLiteral("程式資料夾 %1 不存在").arg(programFolder));
    if (dir.trimmed().isEmpty())
        throw UsageError(QStringLiteral("資料庫資料夾不可空白"));
    const bool server = store::isServerLocation(dir);
    if (store::holdsPassword(dir))
        throw UsageError(QStringLiteral(
            "資料庫位置裡不可寫密碼：accpath.ini 人人可讀；請把密碼放在使用者的 ~/.pgpass "
            "或服務檔（service=）裡"));
    const QString absolute = server ? dir.trimmed() : QDir::cleanPath(QDir(dir).absolutePath());
    QSaveFile out(QDir(programFolder).filePath(QStringLiteral("accpath.ini")));
    if (!out.open(QIODevice::WriteOnly))
        throw AdminError(QStringLiteral("無法寫入 %1：%2").arg(out.fileName(), out.errorString()));
    out.write(absolute.toUtf8() + QByteArrayLiteral("\r\n"));
    if (!out.commit())
        throw AdminError(QStringLiteral("無法寫入 %1：%2").arg(out.fileName(), out.errorString()));
    if (server)
        return {};  // whether the schemas are there shows at the next start
    const QStringList present = presentFiles(absolute);
    if (present.size() < schema::files().size())
        return QStringLiteral("注意：%1 還沒有完整的三個資料庫檔案（可用 orvik-admin init 建立）")
            .arg(absolute);
    return {};
}

// ---------------------------------------------------------------------------------------------
// backup

namespace {

// A file that stays busy this long (another copy holding a write past the busy timeout, again
// and again) is given up.
constexpr int kBackupBusyGiveUpMs = 60000;

QStringList mainTables(const schema::File& file) {
    if (&file == &schema::acc())
        return {QStringLiteral("iof"), QStringLiteral("iofs"), QStringLiteral("cash"),
                QStringLiteral("bill"), QStringLiteral("bank")};
    if (&file == &schema::general())
        return {QStringLiteral("員工"), QStringLiteral("廠商")};
    return {QStringLiteral("company"), QStringLiteral("ptios")};
}

// Changes when another connection commits to the file; SQLite's backup then starts over.
qint64 dataVersion(sqlite3* h) {
    sqlite3_stmt* st = nullptr;
    qint64 v = -1;
    if (sqlite3_prepare_v2(h, "PRAGMA data_version", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        v = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return v;
}

// Makes the file of a copy with the permission bits (and, where the administrator may, the
// group) of its source: a backup is as private as the books.
void createLike(const QString& path, const QString& source) {
    struct stat st {};
    if (::stat(QFile::encodeName(source).constData(), &st) != 0)
        throw AdminError(QStringLiteral("無法讀取 %1 的權限：%2")
                             .arg(source, QString::fromLocal8Bit(std::strerror(errno))));
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        throw AdminError(QStringLiteral("無法建立 %1：%2")
                             .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    if (::fchown(fd, uid_t(-1), st.st_gid) != 0) {
        // Not a member of the source's group: the copy keeps the administrator's group.
    }
    const bool modeSet = ::fchmod(fd, st.st_mode & 07777) == 0;
    ::close(fd);
    if (!modeSet)
        throw AdminError(QStringLiteral("無法設定 %1 的權限").arg(path));
}

void syncToDisk(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

QString sqliteText(sqlite3* h) {
    return QString::fromUtf8(sqlite3_errmsg(h));
}

// Copies one file into `target` step by step. Between steps the source is free, so another
// copy of the program waits at most one step to save; a save makes SQLite begin the copy
// again, and after repeated restarts the steps grow (a writer then waits longer, up to the
// last level), until the backup gives up rather than copying forever.
void copySteps(Database& src, sqlite3* dst, BackupFile& out, const BackupPace& pace) {
    sqlite3_backup* b = sqlite3_backup_init(dst, "main", src.handle(), "main");
    if (!b)
        throw AdminError(QStringLiteral("%1: 無法開始備份：%2").arg(out.fileName, sqliteText(dst)));
    const int levels = std::max<int>(1, int(pace.stepMs.size()));
    const int perLevel = std::max(1, pace.restartsPerLevel);
    int pages = 64;  // the first step also measures how fast pages come
    double msPerPage = 0;
    qint64 version = dataVersion(src.handle());
    int busyMs = 0;
    int rc = SQLITE_OK;
    for (;;) {
        const int level = std::min(out.restarts / perLevel, levels - 1);
        const double budget = pace.stepMs.value(level, 100);
        if (msPerPage > 0)
            pages = int(std::clamp(budget / msPerPage, 16.0, 1e9));
        QElapsedTimer step;
        step.start();
        rc = sqlite3_backup_step(b, pages);
        const double ms = double(step.nsecsElapsed()) / 1e6;
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
            busyMs += int(ms) + 100;
            if (busyMs > kBackupBusyGiveUpMs)
                break;
            QThread::msleep(100);
            continue;
        }
        if (rc != SQLITE_OK && rc != SQLITE_DONE)
            break;
        ++out.steps;
        out.longestStepMs = std::max(out.longestStepMs, ms);
        if (rc == SQLITE_DONE)
            break;
        // A step that did not finish copied all its pages, also when it began the file again
        // after another copy's save. A slower step counts at once (the pages ahead may come
        // from the disk, not the cache), a faster one by half, so steps keep near their budget.
        const double rate = ms / std::max(1, pages);
        msPerPage = msPerPage <= 0 ? rate : std::max(rate, (msPerPage + rate) / 2);
        QThread::msleep(std::max(0, pace.pauseMs));
        const qint64 now = dataVersion(src.handle());
        if (now != version) {
            version = now;
            if (++out.restarts >= levels * perLevel)
                break;
        }
    }
    const int pageCount = sqlite3_backup_pagecount(b);
    sqlite3_backup_finish(b);
    if (rc == SQLITE_DONE) {
        out.pages = pageCount;
        return;
    }
    if (rc == SQLITE_OK)
        throw AdminError(
            QStringLiteral("%1: 備份期間其他使用者一直在存檔，複製重新開始 %2 次仍沒有一致的複本"
                           "（整個檔案約需 %3 秒複製）；請在較少人使用時再備份")
                .arg(out.fileName)
                .arg(out.restarts)
                .arg(pageCount * msPerPage / 1000, 0, 'f', 1));
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
        throw AdminError(QStringLiteral("%1: 備份失敗：檔案一直被其他程式鎖定").arg(out.fileName));
    throw AdminError(QStringLiteral("%1: 備份失敗：%2").arg(out.fileName, sqliteText(dst)));
}

// Reads the finished copy back: SQLite's integrity check, its size and its main tables' rows.
void inspectCopy(const QString& target, const schema::File& file, BackupFile& out) {
    sqlite3* h = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(target).constData(), &h, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        const QString msg = sqliteText(h);
        sqlite3_close(h);
        throw AdminError(QStringLiteral("%1: 無法讀回複本：%2").arg(file.fileName, msg));
    }
    auto query = [h](const QString& sql, QStringList* rows = nullptr) -> qint64 {
        sqlite3_stmt* st = nullptr;
        qint64 first = -1;
        if (sqlite3_prepare_v2(h, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW) {
                if (first < 0)
                    first = sqlite3_column_int64(st, 0);
                if (rows)
                    *rows << QString::fromUtf8(
                        reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            }
        }
        sqlite3_finalize(st);
        return first;
    };
    QStringList lines;
    query(QStringLiteral("PRAGMA integrity_check"), &lines);
    out.check = lines.join(QStringLiteral("；"));
    out.pageSize = query(QStringLiteral("PRAGMA page_size"));
    for (const QString& table : mainTables(file)) {
        QString quoted = table;
        quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
        const qint64 n = query(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(quoted));
        if (n >= 0)
            out.rows.push_back({table, n});
    }
    sqlite3_close(h);
    out.bytes = QFileInfo(target).size();
    if (lines != QStringList{QStringLiteral("ok")})
        throw AdminError(
            QStringLiteral(
                "%1: 複本的完整性檢查不通過（%2）；原檔可能已損壞，請執行 orvik-admin check")
                .arg(file.fileName, lines.value(0, QStringLiteral("無結果"))));
}

}  // namespace

QStringList BackupReport::lines() const {
    const QLocale n(QLocale::English);
    QStringList out;
    for (const auto& f : files) {
        QStringList rows;
        for (const auto& [table, count] : f.rows)
            rows << QStringLiteral("%1 %2 列").arg(table, n.toString(count));
        if (f.snapshot) {
            out << QStringLiteral(
                       "%1：%2 頁 × %3 位元組 = %4 MB；%5；完整性檢查 %6；"
                       "取自伺服器的同一個快照，讀回 %7 秒")
                       .arg(f.fileName, n.toString(f.pages), n.toString(f.pageSize),
                            QString::number(double(f.bytes) / 1e6, 'f', 1),
                            rows.join(QStringLiteral("、")), f.check,
                            QString::number(f.checkSeconds, 'f', 2));
            continue;
        }
        out << QStringLiteral(
                   "%1：%2 頁 × %3 位元組 = %4 MB；%5；完整性檢查 %6；複製 %7 秒，"
                   "%8 步，最長一步 %9 秒，重新開始 %10 次")
                   .arg(f.fileName, n.toString(f.pages), n.toString(f.pageSize),
                        QString::number(double(f.bytes) / 1e6, 'f', 1),
                        rows.join(QStringLiteral("、")), f.check,
                        QString::number(f.seconds, 'f', 2), n.toString(f.steps),
                        QString::number(f.longestStepMs / 1000, 'f', 2))
                   .arg(f.restarts);
    }
    return out;
}

namespace {

// A server's books as a new folder of files: migrate's copy of one snapshot, read while others
// keep working, then the same inspection as a folder's copy.
BackupReport backupServer(const QString& location, const QString& dest, bool force) {
    if (force)
        throw UsageError(
            QStringLiteral("伺服器的備份只寫到新的（或空的）資料夾，不能用 --force 覆蓋"));
    MigrateOptions o;
    o.source = location;
    o.dest = dest;
    o.exclusive = false;
    const MigrateReport m = migrate(o);
    if (!m.kept)
        throw AdminError(QStringLiteral("備份的列數或金額與伺服器不一致，沒有留下備份：%1")
                             .arg(m.mismatches.join(QStringLiteral("；"))));
    BackupReport report;
    report.dest = dest;
    for (const auto* f : schema::files()) {
        BackupFile out;
        out.fileName = f->fileName;
        out.snapshot = true;
        QElapsedTimer timer;
        timer.start();
        inspectCopy(filePath(dest, *f), *f, out);
        out.checkSeconds = double(timer.nsecsElapsed()) / 1e9;
        out.pages = out.pageSize > 0 ? out.bytes / out.pageSize : 0;
        report.files << out;
    }
    report.seconds = m.seconds;
    return report;
}

}  // namespace

BackupReport backupFolder(const QString& dir, const QString& dest, bool force,
                          const BackupPace& pace) {
    if (store::isServerLocation(dest))
        throw UsageError(QStringLiteral(
            "備份的目的地須是資料夾；要把帳冊放到伺服器上，請用 orvik-admin migrate"));
    if (store::isServerLocation(dir))
        return backupServer(dir, dest, force);
    if (!QFileInfo(dir).isDir())
        throw AdminError(QStringLiteral("%1 不是資料夾").arg(dir));
    if (QFileInfo(dest).exists() && !QFileInfo(dest).isDir())
        throw AdminError(QStringLiteral("%1 不是資料夾").arg(dest));
    QString error;
    if (!store::makeFolder(dest, &error))
        throw AdminError(error);
    if (QFileInfo(dir).canonicalFilePath() == QFileInfo(dest).canonicalFilePath())
        throw AdminError(QStringLiteral("備份資料夾不可與資料庫資料夾相同"));
    const QStringList present = presentFiles(dest);
    if (!present.isEmpty() && !force)
        throw AdminError(QStringLiteral("備份資料夾 %1 已有 %2；要覆蓋請加 --force")
                             .arg(dest, present.join(QStringLiteral("、"))));

    BackupReport report;
    report.dest = dest;
    QElapsedTimer whole;
    whole.start();
    QVector<QPair<QString, QString>> moves;
    for (const auto* f : schema::files())
        moves.push_back({tempName(dest, QStringLiteral("backup"), *f), filePath(dest, *f)});
    try {
        int i = 0;
        for (const auto* f : schema::files()) {
            const QString target = moves[i++].first;
            removeWithJournal(target);
            BackupFile out;
            out.fileName = f->fileName;
            QElapsedTimer timer;
            timer.start();
            DatabasePtr src = openFile(dir, *f);  // checks the password as the program does
            createLike(target, filePath(dir, *f));
            sqlite3* dst = nullptr;
            if (sqlite3_open_v2(QFile::encodeName(target).constData(), &dst, SQLITE_OPEN_READWRITE,
                                nullptr) != SQLITE_OK) {
                const QString msg = sqliteText(dst);
                sqlite3_close(dst);
                throw AdminError(QStringLiteral("無法建立 %1：%2").arg(target, msg));
            }
            // The copy is synced and checked once, at the end; journaling and syncing its
            // pages as they arrive would only lengthen the steps others may be waiting on.
            sqlite3_exec(dst, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF", nullptr, nullptr,
                         nullptr);
            try {
                copySteps(*src, dst, out, pace);
            } catch (...) {
                sqlite3_close(dst);
                throw;
            }
            sqlite3_close(dst);
            src.reset();
            syncToDisk(target);
            out.seconds = double(timer.nsecsElapsed()) / 1e9;
            timer.restart();
            inspectCopy(target, *f, out);
            out.checkSeconds = double(timer.nsecsElapsed()) / 1e9;
            report.files << out;
        }
        moveIntoPlace(moves, force);
        syncToDisk(dest);  // the renames
    } catch (...) {
        for (const auto& m : moves)
            removeWithJournal(m.first);
        throw;
    }
    report.seconds = double(whole.nsecsElapsed()) / 1e9;
    return report;
}

}  // namespace orvik::admin
