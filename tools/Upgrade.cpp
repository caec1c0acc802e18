#include "Upgrade.h"

#include <QFileInfo>

#include "Admin.h"
#include "AdminError.h"
#include "Audit.h"
#include "Passwords.h"
#include "Recordset.h"
#include "TableDef.h"

namespace orvik::admin {

using store::Database;
using store::DatabasePtr;
using store::EngineError;
namespace schema = store::schema;

namespace {

QString quote(const QString& name) {
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// The definition text of one column, exactly as the schema writes it in CREATE TABLE.
QString columnSql(const schema::Column& col, store::Engine engine) {
    const QString sql =
        schema::createTableSql(schema::Table{QStringLiteral("x"), {col}, {}}, engine);
    if (engine == store::Engine::PostgreSQL)  // without the row key the server adds
        return sql.mid(sql.indexOf(QLatin1Char('(')) + 1).section(QStringLiteral(", rowid "), 0, 0);
    const int open = int(sql.indexOf(QLatin1Char('(')));
    return sql.mid(open + 1, sql.lastIndexOf(QLatin1Char(')')) - open - 1);
}

// Values that the program's own schema check gives a column it adds, so an upgraded file
// reads the same as one the program fixed itself.
QString fillFor(const QString& table, const QString& column) {
    if ((table == QLatin1String("ri") || table == QLatin1String("ro")) &&
        column == QLatin1String("Let"))
        return QStringLiteral("'0'");
    if (table == QStringLiteral("員工") && column == QLatin1String("AccS"))
        return QStringLiteral("1");
    return {};
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool indexExists(Database& db, const QString& name) {
    if (db.engine() == store::Engine::PostgreSQL) {
        // The server keeps ASCII names in lower case.
        QString stored = name;
        for (QChar& c : stored) {
            if (c.unicode() < 128)
                c = c.toLower();
        }
        return db
            .scalar(QStringLiteral("SELECT 1 FROM pg_indexes WHERE schemaname = current_schema() "
                                   "AND indexname = ?"),
                    {stored})
            .isValid();
    }
    return db
        .scalar(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ?"),
                {name})
        .isValid();
}

// Makes the file's indexes of one schema version as defined: missing ones are created, one of
// the same name with other keys or uniqueness (made by hand or by an older tool) is rebuilt.
void buildIndexes(Database& db, const schema::File& file, int version, QStringList& actions) {
    for (const auto& t : file.tables) {
        for (const auto& index : t.indexes) {
            if (index.since != version)
                continue;
            if (indexExists(db, index.name)) {
                if (schema::indexMatches(db, t, index))
                    continue;
                db.execute(QStringLiteral("DROP INDEX %1").arg(quote(index.name)));
                actions << QStringLiteral("索引 %1 與定義不符，重建").arg(index.name);
            }
            try {
                db.execute(schema::createIndexSql(t, index, db.engine()));
            } catch (const EngineError& e) {
                throw AdminError(
                    QStringLiteral("%1: 無法建立索引 %2（%3）：%4")
                        .arg(file.fileName, index.name, index.describe(), e.description()));
            }
            actions << QStringLiteral("建立索引 %1（%2）").arg(index.name, index.describe());
        }
    }
}

// Version 0 → 1: a file made by an earlier tool. Missing tables are created, missing columns
// added (at the end with ALTER TABLE when only trailing columns are missing, otherwise by
// rebuilding the table in the defined column order, keeping every row), missing indexes
// created, and a missing password set.
void stepStamp(Database& db, const schema::File& file, QStringList& actions) {
    for (const auto& t : file.tables) {
        if (t.since > 1)
            continue;  // a later step makes it
        if (!db.hasTable(t.name)) {
            db.execute(schema::createTableSql(t, db.engine()));
            actions << QStringLiteral("建立資料表 %1").arg(t.name);
        } else {
            const QStringList have = db.tableDef(t.name).fieldNames();
            const QStringList want = t.columnNames();
            QStringList extra;
            for (const auto& h : have) {
                if (std::none_of(want.begin(), want.end(),
                                 [&](const QString& w) { return sameName(w, h); }))
                    extra << h;
            }
            if (!extra.isEmpty())
                throw AdminError(QStringLiteral("%1: 資料表 %2 有定義以外的欄位 %3，無法自動升級")
                                     .arg(file.fileName, t.name, extra.join(QStringLiteral("、"))));
            bool prefix = have.size() <= want.size();
            for (int i = 0; prefix && i < have.size(); ++i)
                prefix = sameName(have.at(i), want.at(i));
            QStringList added;
            if (prefix) {
                for (int i = int(have.size()); i < want.size(); ++i) {
                    db.execute(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2")
                                   .arg(quote(t.name), columnSql(t.columns.at(i), db.engine())));
                    added << want.at(i);
                }
                if (!added.isEmpty())
                    actions << QStringLiteral("資料表 %1 加上欄位 %2")
                                   .arg(t.name, added.join(QStringLiteral("、")));
            } else {
                // Rebuild in the defined order; the indexes go with the old table and are
                // created again below.
                const QString tmp = t.name + QStringLiteral("__orvik_upgrade");
                schema::Table copy = t;
                copy.name = tmp;
                db.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(quote(tmp)));
                db.execute(schema::createTableSql(copy, db.engine()));
                QStringList common;
                for (const auto& w : want) {
                    if (std::any_of(have.begin(), have.end(),
                                    [&](const QString& h) { return sameName(w, h); }))
                        common << quote(w);
                    else
                        added << w;
                }
                db.execute(QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3")
                               .arg(quote(tmp), common.join(QStringLiteral(", ")), quote(t.name)));
                db.execute(QStringLiteral("DROP TABLE %1").arg(quote(t.name)));
                db.execute(
                    QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(quote(tmp), quote(t.name)));
                actions << QStringLiteral("資料表 %1 依定義的欄位順序重建%2")
                               .arg(t.name, added.isEmpty() ? QString()
                                                            : QStringLiteral("，加上欄位 ") +
                                                                  added.join(QStringLiteral("、")));
            }
            for (const auto& col : added) {
                const QString fill = fillFor(t.name, col);
                if (!fill.isEmpty())
                    db.execute(QStringLiteral("UPDATE %1 SET %2 = %3")
                                   .arg(quote(t.name), quote(col), fill));
            }
        }
    }
    buildIndexes(db, file, 1, actions);
    if (!file.password.isEmpty() && db.meta(QStringLiteral("password_hash")).isEmpty()) {
        db.setPassword(file.password);
        actions << QStringLiteral("設定密碼");
    }
}

// Version 1 → 2: acc.mdb gets iof_number_order, the index of the lists in number order.
void stepNumberOrder(Database& db, const schema::File& file, QStringList& actions) {
    buildIndexes(db, file, 2, actions);
}

void stepReadingIndexes(Database& db, const schema::File& file, QStringList& actions) {
    buildIndexes(db, file, 3, actions);
}

// Version 3 → 4: the audit trail in acc.mdb and voro3.mdb, and in voro3.mdb every login
// password that is still plain text replaced by its hash, each with its event, in the one
// transaction of the file's upgrade.
void stepAuditTrail(Database& db, const schema::File& file, QStringList& actions) {
    for (const auto& t : file.tables) {
        if (t.since != 4)
            continue;
        if (!db.hasTable(t.name)) {
            db.execute(schema::createTableSql(t, db.engine()));
            actions << QStringLiteral("建立資料表 %1").arg(t.name);
        }
    }
    buildIndexes(db, file, 4, actions);
    if (&file != &schema::general())
        return;
    int converted = 0;
    store::Recordset rs = db.openRecordset(QStringLiteral("select * from 員工"));
    for (; !rs.isEOF(); rs.MoveNext()) {
        const QString stored = rs.text(QStringLiteral("pass"));
        if (stored.isEmpty() || audit::isHashed(stored))
            continue;
        const QString login = rs.text(QStringLiteral("英文姓名"));
        rs.Edit();
        rs.setField(QStringLiteral("pass"), audit::hashPassword(stored));
        rs.Update();
        audit::record(db, {audit::Kind::PasswordChange,
                           QStringLiteral("員工"),
                           login,
                           {},
                           {},
                           QStringLiteral("升級時把明文密碼換成雜湊")});
        ++converted;
    }
    rs.Close();
    if (converted > 0)
        actions << QStringLiteral("把 %1 位員工的登入密碼換成雜湊").arg(converted);
}

}  // namespace

const QVector<UpgradeStep>& upgradeSteps() {
    static const QVector<UpgradeStep> steps = {
        {0, QStringLiteral("未標版本 → 第 1 版：補上缺少的資料表、欄位、索引與密碼，並標上版本"),
         stepStamp},
        {1, QStringLiteral("第 1 版 → 第 2 版：收支單依單號長度與單號排序的索引 iof_number_order"),
         stepNumberOrder},
        {2,
         QStringLiteral(
             "第 2 版 → 第 3 版：依專案、發生日期、輸入日期、科目、現金帳日期與票據到期、"
             "提醒日期讀取的索引"),
         stepReadingIndexes},
        {3,
         QStringLiteral("第 3 版 → 第 4 版：稽核紀錄（acc.mdb 與 voro3.mdb 的 audit 資料表），"
                        "登入密碼換成雜湊"),
         stepAuditTrail},
    };
    static_assert(schema::kVersion == 4, "add an upgrade step for the new schema version");
    return steps;
}

QVector<FileUpgrade> upgradeFolder(const QString& dir) {
    const bool server = store::isServerLocation(dir);
    if (!server && !QFileInfo(dir).isDir())
        throw AdminError(QStringLiteral("%1 不是資料夾").arg(dir));
    for (const auto* f : schema::files()) {
        if (!server && !QFileInfo::exists(filePath(dir, *f)))
            throw AdminError(QStringLiteral("%1: 找不到檔案").arg(f->fileName));
    }
    // Nobody may work on the files while their structure changes, nor open them meanwhile.
    const auto held = takeFolder(dir, QStringLiteral("升級"));
    struct Opened {
        const schema::File* file;
        DatabasePtr db;
        int version;
    };
    QVector<Opened> opened;
    for (const auto* f : schema::files()) {
        const QString path = filePath(dir, *f);
        DatabasePtr db;
        try {
            db = Database::open(path, f->connect());
        } catch (const EngineError& e) {
            // A file made by an earlier tool may have no password yet.
            if (e.number() != store::err::InvalidPassword || f->password.isEmpty())
                throw AdminError(QStringLiteral("%1: %2 (%3)")
                                     .arg(f->fileName, e.description())
                                     .arg(e.number()));
            try {
                db = Database::open(path);
            } catch (const EngineError&) {
                throw AdminError(QStringLiteral("%1: %2 (%3)")
                                     .arg(f->fileName, e.description())
                                     .arg(e.number()));
            }
            if (schema::versionOf(*db) != 0)
                throw AdminError(
                    QStringLiteral("%1: 已標版本的檔案沒有密碼，請檢查檔案來源").arg(f->fileName));
        }
        // Only this program's files are upgraded: "upgrading" an empty file or another
        // program's database would turn it into empty books that check calls right.
        const QString foreign = notThisProgramsFile(path, *db, *f);
        if (!foreign.isEmpty())
            throw AdminError(QStringLiteral("%1 不是本程式的資料庫檔案（%2），沒有升級任何檔案")
                                 .arg(path, foreign));
        const int version = schema::versionOf(*db);
        if (version > schema::kVersion)
            throw AdminError(
                QStringLiteral("%1 的版本 %2 比本工具支援的第 %3 版新；請改用較新的 orvik-admin")
                    .arg(f->fileName)
                    .arg(version)
                    .arg(schema::kVersion));
        opened.push_back({f, db, version});
    }

    QVector<FileUpgrade> out;
    for (auto& o : opened) {
        FileUpgrade fu{o.file->fileName, o.version, schema::kVersion, {}};
        if (o.version < schema::kVersion) {
            store::Transaction tx(*o.db);
            for (int v = o.version; v < schema::kVersion; ++v) {
                const UpgradeStep& step = upgradeSteps().at(v);
                try {
                    step.apply(*o.db, *o.file, fu.actions);
                } catch (const EngineError& e) {
                    throw AdminError(QStringLiteral("%1: 升級到第 %2 版失敗：%3 (%4)")
                                         .arg(o.file->fileName)
                                         .arg(v + 1)
                                         .arg(e.description())
                                         .arg(e.number()));
                }
            }
            o.db->setMeta(QStringLiteral("schema_version"), QString::number(schema::kVersion));
            fu.actions << QStringLiteral("標上第 %1 版").arg(schema::kVersion);
            tx.commit();
        }
        out << fu;
    }
    return out;
}

}  // namespace orvik::admin
