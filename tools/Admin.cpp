#include "Admin.h"

#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>

#include "AdminError.h"
#include "Demo.h"
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

void requireLogin(Database& general, const QString& login) {
    const QVariant n = general.scalar(
        QStringLiteral("SELECT count(*) FROM 員工 WHERE 英文姓名 = ? COLLATE BINARY"), {login});
    if (n.toLongLong() == 0)
        throw AdminError(QStringLiteral("找不到登入名稱為 %1 的員工").arg(login));
}

}  // namespace

QString filePath(const QString& dir, const schema::File& file) {
    return QDir(dir).filePath(file.fileName);
}

DatabasePtr openFile(const QString& dir, const schema::File& file) {
    try {
        return Database::open(filePath(dir, file), file.connect());
    } catch (const EngineError& e) {
        throw AdminError(engineText(file.fileName, e));
    }
}

// ---------------------------------------------------------------------------------------------
// init

InitResult initFolder(const InitOptions& o) {
    if (o.dir.trimmed().isEmpty())
        throw UsageError(QStringLiteral("init 需要資料夾名稱"));
    if (o.adminLogin.trimmed().isEmpty())
        throw UsageError(QStringLiteral("管理員的登入名稱不可空白"));
    const QString dir = QDir(o.dir).absolutePath();
    if (QFileInfo(dir).exists() && !QFileInfo(dir).isDir())
        throw AdminError(QStringLiteral("%1 不是資料夾").arg(dir));
    if (!QDir().mkpath(dir))
        throw AdminError(QStringLiteral("無法建立資料夾 %1").arg(dir));
    const QStringList present = presentFiles(dir);
    if (!present.isEmpty() && !o.force)
        throw AdminError(QStringLiteral("資料夾 %1 已有 %2；要重新建立請加 --force")
                             .arg(dir, present.join(QStringLiteral("、"))));

    const QString company = o.company.isEmpty() ? kDefaultCompany : o.company;
    const QDate reference = o.reference.isValid() ? o.reference : QDate::currentDate();
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
            schema::createAll(*acc, schema::acc());
            schema::createAll(*general, schema::general());
            schema::createAll(*print, schema::print());

            store::Transaction tg(*general);
            general->execute(
                QStringLiteral("INSERT INTO super (super_id, super_pass) VALUES (?, ?)"),
                {QStringLiteral("voro"), QStringLiteral("orvik")});
            general->execute(
                QStringLiteral("INSERT INTO 員工 (員工編號, 中文姓名, 英文姓名, pass, AccS) "
                               "VALUES (?, ?, ?, ?, ?)"),
                {QStringLiteral("A001"), QStringLiteral("系統管理員"), o.adminLogin,
                 o.adminPassword, kAllRights});
            result.employees = 1;
            print->execute(QStringLiteral("INSERT INTO company (ion) VALUES (?)"), {company});
            if (o.demo) {
                store::Transaction ta(*acc);
                const DemoResult demo = fillDemo(*acc, *general, reference, company, o.adminLogin);
                ta.commit();
                result.employees += demo.employees;
                result.vouchers = demo.vouchers;
            }
            tg.commit();
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
                     {no, name, login, password, rights});
    tx.commit();
}

void setEmployeePassword(const QString& dir, const QString& login, const QString& password) {
    DatabasePtr general = openGeneral(dir);
    store::Transaction tx(*general);
    requireLogin(*general, login);
    general->execute(QStringLiteral("UPDATE 員工 SET pass = ? WHERE 英文姓名 = ? COLLATE BINARY"),
                     {password, login});
    tx.commit();
}

void setEmployeeRights(const QString& dir, const QString& login, qint64 rights) {
    if (rights < 0 || rights > kAllRights)
        throw UsageError(QStringLiteral("權限值須是 0 到 %1 的整數").arg(kAllRights));
    DatabasePtr general = openGeneral(dir);
    store::Transaction tx(*general);
    requireLogin(*general, login);
    general->execute(QStringLiteral("UPDATE 員工 SET AccS = ? WHERE 英文姓名 = ? COLLATE BINARY"),
                     {rights, login});
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

CheckResult checkFolder(const QString& dir) {
    CheckResult r;
    if (!QFileInfo(dir).isDir()) {
        r.problems << QStringLiteral("%1 不是資料夾").arg(dir);
        return r;
    }
    for (const auto* f : schema::files()) {
        const QString path = filePath(dir, *f);
        if (!QFileInfo::exists(path)) {
            r.problems << QStringLiteral("%1: 找不到檔案").arg(f->fileName);
            continue;
        }
        DatabasePtr db;
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
            r.problems << QStringLiteral("%1: 檔案沒有密碼（較舊的檔案）").arg(f->fileName);
        }
        try {
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v2(db->handle(), "PRAGMA integrity_check", -1, &st, nullptr) !=
                SQLITE_OK)
                throw AdminError(QString::fromUtf8(sqlite3_errmsg(db->handle())));
            QStringList lines;
            int rc;
            while ((rc = sqlite3_step(st)) == SQLITE_ROW)
                lines << QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            const QString err =
                rc == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(db->handle()));
            sqlite3_finalize(st);
            if (!err.isEmpty())
                r.problems << QStringLiteral("%1: 完整性檢查失敗：%2").arg(f->fileName, err);
            else if (lines != QStringList{QStringLiteral("ok")}) {
                for (const QString& line : lines)
                    r.problems << QStringLiteral("%1: 完整性：%2").arg(f->fileName, line);
            }
            for (const auto& d : schema::compare(*db, *f)) {
                if (d.table.isEmpty())
                    r.problems << QStringLiteral("%1: %2").arg(f->fileName, d.what);
                else
                    r.problems
                        << QStringLiteral("%1: 資料表 %2：%3").arg(f->fileName, d.table, d.what);
            }
            // An index of the right name must also cover the right columns: the unique
            // voucher number is what keeps two copies saving at once from sharing a number.
            for (const auto& t : f->tables) {
                for (const auto& index : t.indexes) {
                    const QVariant unique = db->scalar(
                        QStringLiteral(
                            "SELECT \"unique\" FROM pragma_index_list(?) WHERE name = ?"),
                        {t.name, index.name});
                    if (!unique.isValid())
                        continue;  // a missing index is reported above
                    QStringList columns;
                    store::Recordset cols = db->openRecordset(
                        QStringLiteral("SELECT name FROM pragma_index_info(?) ORDER BY seqno"),
                        {index.name}, store::RecordsetType::Snapshot);
                    for (; !cols.isEOF(); cols.MoveNext())
                        columns << cols.text(0);
                    cols.Close();
                    if ((unique.toInt() != 0) != index.unique || columns != index.columns)
                        r.problems
                            << QStringLiteral("%1: 資料表 %2：索引 %3 應為%4（%5），實為%6（%7）")
                                   .arg(f->fileName, t.name, index.name,
                                        index.unique ? QStringLiteral("唯一索引")
                                                     : QStringLiteral("索引"),
                                        index.columns.join(QLatin1Char(',')),
                                        unique.toInt() ? QStringLiteral("唯一索引")
                                                       : QStringLiteral("索引"),
                                        columns.join(QLatin1Char(',')));
                }
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
    const QString absolute = QDir::cleanPath(QDir(dir).absolutePath());
    QSaveFile out(QDir(programFolder).filePath(QStringLiteral("accpath.ini")));
    if (!out.open(QIODevice::WriteOnly))
        throw AdminError(QStringLiteral("無法寫入 %1：%2").arg(out.fileName(), out.errorString()));
    out.write(absolute.toUtf8() + QByteArrayLiteral("\r\n"));
    if (!out.commit())
        throw AdminError(QStringLiteral("無法寫入 %1：%2").arg(out.fileName(), out.errorString()));
    const QStringList present = presentFiles(absolute);
    if (present.size() < schema::files().size())
        return QStringLiteral("注意：%1 還沒有完整的三個資料庫檔案（可用 orvik-admin init 建立）")
            .arg(absolute);
    return {};
}

// ---------------------------------------------------------------------------------------------
// backup

void backupFolder(const QString& dir, const QString& dest, bool force) {
    if (!QFileInfo(dir).isDir())
        throw AdminError(QStringLiteral("%1 不是資料夾").arg(dir));
    if (QFileInfo(dest).exists() && !QFileInfo(dest).isDir())
        throw AdminError(QStringLiteral("%1 不是資料夾").arg(dest));
    if (!QDir().mkpath(dest))
        throw AdminError(QStringLiteral("無法建立資料夾 %1").arg(dest));
    if (QFileInfo(dir).canonicalFilePath() == QFileInfo(dest).canonicalFilePath())
        throw AdminError(QStringLiteral("備份資料夾不可與資料庫資料夾相同"));
    const QStringList present = presentFiles(dest);
    if (!present.isEmpty() && !force)
        throw AdminError(QStringLiteral("備份資料夾 %1 已有 %2；要覆蓋請加 --force")
                             .arg(dest, present.join(QStringLiteral("、"))));

    QVector<QPair<QString, QString>> moves;
    for (const auto* f : schema::files())
        moves.push_back({tempName(dest, QStringLiteral("backup"), *f), filePath(dest, *f)});
    try {
        int i = 0;
        for (const auto* f : schema::files()) {
            const QString target = moves[i++].first;
            removeWithJournal(target);
            DatabasePtr src = openFile(dir, *f);  // checks the password as the program does
            sqlite3* out = nullptr;
            if (sqlite3_open_v2(target.toUtf8().constData(), &out,
                                SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
                const QString msg = QString::fromUtf8(sqlite3_errmsg(out));
                sqlite3_close(out);
                throw AdminError(QStringLiteral("無法建立 %1：%2").arg(target, msg));
            }
            sqlite3_backup* b = sqlite3_backup_init(out, "main", src->handle(), "main");
            if (!b) {
                const QString msg = QString::fromUtf8(sqlite3_errmsg(out));
                sqlite3_close(out);
                throw AdminError(QStringLiteral("%1: 無法開始備份：%2").arg(f->fileName, msg));
            }
            // One step copies the whole file under one read lock, so the copy is one consistent
            // state; while another copy of the program writes, wait and try again.
            int rc = SQLITE_OK;
            for (int attempt = 0; attempt < 600; ++attempt) {
                rc = sqlite3_backup_step(b, -1);
                if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
                    break;
                QThread::msleep(100);
            }
            sqlite3_backup_finish(b);
            const QString msg = QString::fromUtf8(sqlite3_errmsg(out));
            sqlite3_close(out);
            if (rc != SQLITE_DONE)
                throw AdminError(QStringLiteral("%1: 備份失敗：%2").arg(f->fileName, msg));
        }
        moveIntoPlace(moves, force);
    } catch (...) {
        for (const auto& m : moves)
            removeWithJournal(m.first);
        throw;
    }
}

}  // namespace orvik::admin
