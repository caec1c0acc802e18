#include "Import.h"

#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>
#include <cmath>
#include <limits>
#include <set>

#include "Audit.h"
#include "Database.h"
#include "Passwords.h"

namespace orvik::legacy {

using store::Database;
using store::DatabasePtr;
namespace schema = store::schema;
using schema::ColType;

namespace {

// The tables whose stored column order the forms rely on; the others are matched by name.
const QSet<QString>& positionalTables() {
    static const QSet<QString> names{
        QStringLiteral("iof"),  QStringLiteral("iofs"), QStringLiteral("cash"),
        QStringLiteral("acc"),  QStringLiteral("use"),  QStringLiteral("ps1"),
        QStringLiteral("ps2"),  QStringLiteral("bill"), QStringLiteral("bank"),
        QStringLiteral("ri期"), QStringLiteral("ri加"), QStringLiteral("ro期"),
        QStringLiteral("ro加"), QStringLiteral("ptios")};
    return names;
}

// The columns that name a row in the report.
QStringList keyColumns(const QString& table) {
    static const QHash<QString, QStringList> keys{
        {QStringLiteral("iof"), {QStringLiteral("單號")}},
        {QStringLiteral("iofs"), {QStringLiteral("多單號"), QStringLiteral("單號")}},
        {QStringLiteral("cash"), {QStringLiteral("id")}},
        {QStringLiteral("w4pj"), {QStringLiteral("pj_id"), QStringLiteral("w")}},
        {QStringLiteral("bill"), {QStringLiteral("票據號碼"), QStringLiteral("收支單號")}},
        {QStringLiteral("bank"),
         {QStringLiteral("bank"), QStringLiteral("Bid"), QStringLiteral("id")}},
        {QStringLiteral("super"), {QStringLiteral("super_id")}},
        {QStringLiteral("員工"), {QStringLiteral("員工編號")}},
        {QStringLiteral("廠商"), {QStringLiteral("廠商編號")}},
        {QStringLiteral("company"), {}},
        {QStringLiteral("ptios"), {QStringLiteral("單號")}},
    };
    const auto it = keys.constFind(table);
    if (it != keys.constEnd())
        return *it;
    if (table.endsWith(QStringLiteral("期")) || table.endsWith(QStringLiteral("加")))
        return {QStringLiteral("id"), QStringLiteral("期別")};
    return {QStringLiteral("id")};
}

// What a column that the old table lacks gets: what the program's own column check gives the
// two columns it adds, otherwise the schema's default, otherwise null.
QVariant missingValue(const QString& table, const schema::Column& col) {
    if (col.name == QLatin1String("Let") &&
        (table == QLatin1String("ri") || table == QLatin1String("ro")))
        return QStringLiteral("0");
    if (!col.defaultSql.isEmpty()) {
        bool ok = false;
        const qint64 v = col.defaultSql.toLongLong(&ok);
        return ok ? QVariant(v) : QVariant(col.defaultSql);
    }
    return {};
}

QString keyText(const SourceValue& v) {
    return v.kind == SourceValue::Kind::Text ? v.text : v.display();
}

// Parses "-1234.5" exactly into ten-thousandths; false for anything else or more than four
// decimals that are not zeros.
bool parseDecimal(const QString& raw, qint64* out) {
    const QString s = raw.trimmed();
    if (s.isEmpty())
        return false;
    int i = 0;
    bool negative = false;
    if (s.at(0) == QLatin1Char('-') || s.at(0) == QLatin1Char('+')) {
        negative = s.at(0) == QLatin1Char('-');
        ++i;
    }
    constexpr qint64 kMax = std::numeric_limits<qint64>::max() / 10;
    qint64 whole = 0;
    int digits = 0;
    for (; i < s.size() && s.at(i).isDigit(); ++i, ++digits) {
        if (whole > kMax / 1000)
            return false;
        whole = whole * 10 + s.at(i).digitValue();
    }
    qint64 fraction = 0;
    int places = 0;
    if (i < s.size() && s.at(i) == QLatin1Char('.')) {
        for (++i; i < s.size() && s.at(i).isDigit(); ++i, ++digits) {
            const int d = s.at(i).digitValue();
            if (places < 4) {
                fraction = fraction * 10 + d;
                ++places;
            } else if (d != 0) {
                return false;
            }
        }
    }
    if (i != s.size() || digits == 0)
        return false;
    while (places < 4) {
        fraction *= 10;
        ++places;
    }
    const qint64 v = whole * 10000 + fraction;
    *out = negative ? -v : v;
    return true;
}

bool wholeFrom(const SourceValue& v, qint64* out, QString* why) {
    qint64 tt = 0;
    switch (v.kind) {
        case SourceValue::Kind::Integer:
        case SourceValue::Kind::Boolean:
            *out = v.integer;
            return true;
        case SourceValue::Kind::Money:
            tt = v.integer;
            break;
        case SourceValue::Kind::Real:
            if (!std::isfinite(v.real) || std::fabs(v.real) > 9.0e15) {
                *why = QStringLiteral("超出範圍的數值");
                return false;
            }
            if (v.real != std::trunc(v.real)) {
                *why = QStringLiteral("有小數，這個欄位只存整數");
                return false;
            }
            *out = qint64(v.real);
            return true;
        case SourceValue::Kind::Decimal:
        case SourceValue::Kind::Text:
            if (!parseDecimal(v.text, &tt)) {
                *why = QStringLiteral("不是數字");
                return false;
            }
            break;
        default:
            *why = QStringLiteral("不是數字");
            return false;
    }
    if (tt % 10000 != 0) {
        *why = QStringLiteral("有小數，這個欄位只存整數（不自行四捨五入）");
        return false;
    }
    *out = tt / 10000;
    return true;
}

QVariant toDate(const SourceValue& v, QString* why) {
    if (v.kind == SourceValue::Kind::Date) {
        bool ok = false;
        const QDate d = dateFromDays(v.real, &ok);
        if (ok)
            return d.toString(Qt::ISODate);
        *why = QStringLiteral("日期超出 100 年到 9999 年的範圍");
        return {};
    }
    if (v.kind == SourceValue::Kind::Text) {
        for (const QString& format : {QStringLiteral("yyyy-MM-dd"), QStringLiteral("yyyy/M/d")}) {
            const QDate d = QDate::fromString(v.text.trimmed(), format);
            if (d.isValid())
                return d.toString(Qt::ISODate);
        }
    }
    *why = QStringLiteral("不是日期");
    return {};
}

}  // namespace

bool matchedByPosition(const QString& table) {
    return positionalTables().contains(table);
}

bool exactAmount(const SourceValue& v, qint64* out) {
    switch (v.kind) {
        case SourceValue::Kind::Integer:
            *out = v.integer * 10000;
            return true;
        case SourceValue::Kind::Money:
            *out = v.integer;
            return true;
        case SourceValue::Kind::Real:
            if (!std::isfinite(v.real) || std::fabs(v.real) > 9.0e14)
                return false;
            *out = std::llround(v.real * 10000.0);
            return true;
        case SourceValue::Kind::Decimal:
        case SourceValue::Kind::Text:
            return parseDecimal(v.text, out);
        default:
            return false;
    }
}

QVariant convertValue(const SourceValue& v, ColType type, QString* why) {
    why->clear();
    if (v.isNull())
        return {};
    if (v.kind == SourceValue::Kind::Bytes) {
        *why = QStringLiteral("二進位資料無法轉入");
        return {};
    }
    qint64 n = 0;
    switch (type) {
        case ColType::Text:
            switch (v.kind) {
                case SourceValue::Kind::Text:
                case SourceValue::Kind::Decimal:
                    return v.text;
                case SourceValue::Kind::Boolean:
                case SourceValue::Kind::Integer:
                    return QString::number(v.integer);
                case SourceValue::Kind::Money:
                    return moneyText(v.integer);
                case SourceValue::Kind::Real:
                    return QString::number(v.real, 'g', 15);
                case SourceValue::Kind::Date:
                    return toDate(v, why);
                default:
                    break;
            }
            break;
        case ColType::Int16:
        case ColType::Int32:
        case ColType::Number:
        case ColType::Amount: {
            if (v.kind == SourceValue::Kind::Date) {
                *why = QStringLiteral("日期不能當數字");
                return {};
            }
            if (!wholeFrom(v, &n, why))
                return {};
            const qint64 limit = type == ColType::Int16   ? 32767
                                 : type == ColType::Int32 ? 2147483647
                                                          : std::numeric_limits<qint64>::max();
            if (n > limit || n < -limit - 1) {
                *why = QStringLiteral("超出這個欄位的範圍");
                return {};
            }
            return n;
        }
        case ColType::Double:
            switch (v.kind) {
                case SourceValue::Kind::Integer:
                case SourceValue::Kind::Boolean:
                    return double(v.integer);
                case SourceValue::Kind::Money:
                    return double(v.integer) / 10000.0;
                case SourceValue::Kind::Real:
                    return v.real;
                case SourceValue::Kind::Decimal:
                case SourceValue::Kind::Text: {
                    bool ok = false;
                    const double d = v.text.trimmed().toDouble(&ok);
                    if (ok)
                        return d;
                    break;
                }
                default:
                    break;
            }
            *why = QStringLiteral("不是數字");
            return {};
        case ColType::Boolean:
            switch (v.kind) {
                case SourceValue::Kind::Boolean:
                case SourceValue::Kind::Integer:
                case SourceValue::Kind::Money:
                    return v.integer != 0 ? -1 : 0;
                case SourceValue::Kind::Real:
                    return v.real != 0 ? -1 : 0;
                case SourceValue::Kind::Text: {
                    const QString t = v.text.trimmed().toLower();
                    if (t == QLatin1String("-1") || t == QLatin1String("1") ||
                        t == QLatin1String("true") || t == QLatin1String("yes"))
                        return -1;
                    if (t == QLatin1String("0") || t == QLatin1String("false") ||
                        t == QLatin1String("no"))
                        return 0;
                    break;
                }
                default:
                    break;
            }
            *why = QStringLiteral("不是是/否的值");
            return {};
        case ColType::Date:
            return toDate(v, why);
    }
    *why = QStringLiteral("無法轉換");
    return {};
}

QString groupedMoney(qint64 v) {
    QString text = moneyText(v);
    const bool negative = text.startsWith(QLatin1Char('-'));
    if (negative)
        text.remove(0, 1);
    int dot = int(text.indexOf(QLatin1Char('.')));
    if (dot < 0)
        dot = int(text.size());
    for (int i = dot - 3; i > 0; i -= 3)
        text.insert(i, QLatin1Char(','));
    return negative ? QLatin1Char('-') + text : text;
}

// ---------------------------------------------------------------------------------------------

namespace {

class Statement {
  public:
    Statement(sqlite3* db, const QString& sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st_, nullptr) != SQLITE_OK)
            fail();
    }
    ~Statement() { sqlite3_finalize(st_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(int i, const QVariant& v) {
        if (v.isNull()) {
            sqlite3_bind_null(st_, i);
        } else if (v.typeId() == QMetaType::QString) {
            const QByteArray u = v.toString().toUtf8();
            sqlite3_bind_text(st_, i, u.constData(), int(u.size()), SQLITE_TRANSIENT);
        } else if (v.typeId() == QMetaType::Double) {
            sqlite3_bind_double(st_, i, v.toDouble());
        } else {
            sqlite3_bind_int64(st_, i, v.toLongLong());
        }
    }
    // SQLITE_DONE or SQLITE_ROW; a constraint failure is given back for the caller to report.
    int step() { return sqlite3_step(st_); }
    void reset() { sqlite3_reset(st_); }
    sqlite3_stmt* get() { return st_; }
    [[noreturn]] void fail() const {
        Database::raise(QString::fromUtf8(sqlite3_errmsg(db_)), sqlite3_extended_errcode(db_));
    }

  private:
    sqlite3* db_;
    sqlite3_stmt* st_ = nullptr;
};

QString quoted(const QString& name) {
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString yearOf(const QVariant& storedDate) {
    const QString s = storedDate.toString();
    return s.size() >= 10 ? s.left(s.size() - 6) : QString();
}

// Collects the per-year figures of one side. Rows come in the same order on both sides, so
// "the row with the highest id" picks the same row (the first of equal ids) on both.
class FigureCollector {
  public:
    explicit FigureCollector(Figures& f) : f_(f) {}

    void voucher(const QVariant& date, const QVariant& status, bool hasAmount, qint64 amount) {
        Figure& fig = f_[{0, yearOf(date), status.isNull() ? QString() : status.toString()}];
        ++fig.count;
        if (hasAmount)
            fig.total += amount;
    }

    void movement(int section, const QVariant& date, const QString& group, bool in, bool hasAmount,
                  qint64 amount, const QVariant& id, bool hasBalance, qint64 balance) {
        Figure& fig = f_[{section, yearOf(date), group}];
        ++fig.count;
        if (hasAmount)
            (in ? fig.total : fig.totalOut) += amount;
        const qint64 rowId = id.isNull() ? std::numeric_limits<qint64>::min() : id.toLongLong();
        if (!fig.hasLast || rowId > fig.lastId) {
            fig.hasLast = true;
            fig.lastId = rowId;
            fig.lastBalance = hasBalance ? balance : 0;
            fig.lastBalanceNull = !hasBalance;
        }
    }

  private:
    Figures& f_;
};

// A stored amount back as ten-thousandths.
bool storedAmount(sqlite3_stmt* st, int col, qint64* out) {
    switch (sqlite3_column_type(st, col)) {
        case SQLITE_INTEGER:
            *out = sqlite3_column_int64(st, col) * 10000;
            return true;
        case SQLITE_FLOAT:
            *out = std::llround(sqlite3_column_double(st, col) * 10000.0);
            return true;
        default:
            return false;
    }
}

QVariant storedValue(sqlite3_stmt* st, int col) {
    switch (sqlite3_column_type(st, col)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_INTEGER:
            return qint64(sqlite3_column_int64(st, col));
        case SQLITE_FLOAT:
            return sqlite3_column_double(st, col);
        default:
            return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, col)),
                                     sqlite3_column_bytes(st, col));
    }
}

QString bankGroup(const QVariant& bank, const QVariant& account) {
    return bank.toString() + QLatin1Char(' ') + account.toString();
}

// Feeds the figures of one table's row (positions as in the new schema).
void collect(FigureCollector& c, const QString& table, const QVector<QVariant>& stored,
             const std::function<bool(int, qint64*)>& amountAt) {
    qint64 a = 0, b = 0;
    if (table == QLatin1String("iof")) {
        const bool has = amountAt(4, &a);
        c.voucher(stored.at(0), stored.at(3), has, a);
    } else if (table == QLatin1String("cash")) {
        const bool has = amountAt(3, &a);
        const bool hasBalance = amountAt(6, &b);
        c.movement(1, stored.at(2), QString(), store::storedBool(stored.at(1)), has, a,
                   stored.at(0), hasBalance, b);
    } else if (table == QLatin1String("bank")) {
        const bool has = amountAt(5, &a);
        const bool hasBalance = amountAt(8, &b);
        c.movement(2, stored.at(4), bankGroup(stored.at(2), stored.at(1)),
                   store::storedBool(stored.at(3)), has, a, stored.at(0), hasBalance, b);
    }
}

bool hasFigures(const QString& table) {
    return table == QLatin1String("iof") || table == QLatin1String("cash") ||
           table == QLatin1String("bank");
}

struct Importer {
    ImportReport& r;
    const ImportOptions& o;

    void progress(const QString& line) {
        if (o.progress)
            o.progress(line);
    }

    void problem(const QString& file, const QString& table, qint64 row, const QString& key,
                 const QString& column, const QString& value, const QString& reason) {
        r.problems.push_back({file, table, row, key, column, value, reason});
    }

    // One new table from its old counterpart (or none).
    void copyTable(SourceFile* in, Database& db, const schema::File& file, const schema::Table& t,
                   const QStringList& legacyTables) {
        TableCount count{file.fileName, t.name, {}, 0, 0};
        QString legacyName;
        for (const QString& n : legacyTables) {
            if (n.compare(t.name, Qt::CaseInsensitive) == 0)
                legacyName = n;
        }
        std::unique_ptr<SourceTable> src =
            (in && !legacyName.isEmpty()) ? in->openTable(legacyName) : nullptr;
        if (!src) {
            r.notes << QStringLiteral("%1: 舊檔沒有資料表 %2，新資料夾裡的 %2 是空的")
                           .arg(file.fileName, t.name);
            r.tables.push_back(count);
            return;
        }
        count.legacyName = src->name();
        const QVector<SourceColumn> cols = src->columns();
        const bool byPosition = matchedByPosition(t.name);

        // Where each new column comes from: an old column, or -1 for none.
        QVector<int> from(t.columns.size(), -1);
        QStringList renamed;
        for (int i = 0; i < t.columns.size(); ++i) {
            if (byPosition) {
                if (i < cols.size()) {
                    from[i] = i;
                    if (cols.at(i).name.compare(t.columns.at(i).name, Qt::CaseInsensitive) != 0)
                        renamed << QStringLiteral("%1 → %2").arg(cols.at(i).name,
                                                                 t.columns.at(i).name);
                }
            } else {
                for (int j = 0; j < cols.size(); ++j) {
                    if (cols.at(j).name.compare(t.columns.at(i).name, Qt::CaseInsensitive) == 0)
                        from[i] = j;
                }
            }
        }
        if (!renamed.isEmpty())
            r.notes << QStringLiteral("%1 的 %2 依欄位位置對應：%3")
                           .arg(file.fileName, t.name, renamed.join(QStringLiteral("、")));
        QVector<QVariant> fill(t.columns.size());
        for (int i = 0; i < t.columns.size(); ++i) {
            if (from.at(i) >= 0)
                continue;
            fill[i] = missingValue(t.name, t.columns.at(i));
            r.notes << QStringLiteral("%1 的 %2: 舊表沒有第 %3 欄 %4，填入%5")
                           .arg(file.fileName, t.name)
                           .arg(i)
                           .arg(t.columns.at(i).name,
                                fill.at(i).isNull()
                                    ? QStringLiteral("空值")
                                    : QStringLiteral(" %1").arg(fill.at(i).toString()));
        }
        for (int j = 0; j < cols.size(); ++j) {
            if (!from.contains(j))
                r.notes << QStringLiteral("%1 的 %2: 舊欄位 %3（%4）未轉入")
                               .arg(file.fileName, t.name, cols.at(j).name,
                                    typeName(cols.at(j).type));
        }

        QVector<bool> hashed(t.columns.size(), false);
        for (int i = 0; i < t.columns.size(); ++i)
            hashed[i] =
                t.name == QStringLiteral("員工") && t.columns.at(i).name == QLatin1String("pass");

        QVector<int> keyFrom;
        QStringList keyNames;
        for (const QString& k : keyColumns(t.name)) {
            for (int i = 0; i < t.columns.size(); ++i) {
                if (t.columns.at(i).name == k && from.at(i) >= 0) {
                    keyFrom << from.at(i);
                    keyNames << k;
                }
            }
        }

        QStringList names, marks;
        for (const auto& c : t.columns) {
            names << quoted(c.name);
            marks << QStringLiteral("?");
        }
        Statement insert(db.handle(), QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                          .arg(quoted(t.name), names.join(QLatin1Char(',')),
                                               marks.join(QLatin1Char(','))));
        const bool figures = hasFigures(t.name);
        FigureCollector collector(r.legacyFigures);
        QVector<SourceValue> row;
        QVector<QVariant> stored(t.columns.size());
        QString why;
        auto keyOf = [&] {
            QStringList parts;
            for (int k = 0; k < keyFrom.size(); ++k)
                parts << keyNames.at(k) + QLatin1Char(' ') + keyText(row.at(keyFrom.at(k)));
            return parts.join(QStringLiteral("，"));
        };
        while (src->next(row)) {
            ++count.read;
            for (int i = 0; i < t.columns.size(); ++i) {
                if (from.at(i) < 0) {
                    stored[i] = fill.at(i);
                    continue;
                }
                const SourceValue& v = row.at(from.at(i));
                stored[i] = convertValue(v, t.columns.at(i).type, &why);
                // The old files kept login passwords as typed; the new folder never holds them
                // so, only their hashes.
                if (hashed.at(i) && !stored.at(i).toString().isEmpty())
                    stored[i] = audit::hashPassword(stored.at(i).toString());
                if (!why.isEmpty())
                    problem(file.fileName, t.name, count.read, keyOf(), t.columns.at(i).name,
                            v.display(), why);
                else if (v.lossy)
                    problem(file.fileName, t.name, count.read, keyOf(), t.columns.at(i).name,
                            v.display(),
                            QStringLiteral("有無法解碼的字元，已以 ? 代替後轉入（原始位元組 %1）")
                                .arg(QString::fromLatin1(v.bytes.toHex(' '))));
            }
            for (int i = 0; i < stored.size(); ++i)
                insert.bind(i + 1, stored.at(i));
            // A row the unique index refuses (a voucher number that came twice) is reported and
            // left out; any other failure ends the import.
            const int rc = insert.step();
            if ((rc & 0xff) == SQLITE_CONSTRAINT) {
                problem(file.fileName, t.name, count.read, keyOf(), QString(), QString(),
                        QStringLiteral("資料列無法寫入：與前面的資料列重複（%1）")
                            .arg(QString::fromUtf8(sqlite3_errmsg(db.handle()))));
            } else if (rc != SQLITE_DONE) {
                insert.fail();
            }
            insert.reset();
            if (figures) {
                collect(collector, t.name, stored, [&](int pos, qint64* out) {
                    return from.at(pos) >= 0 && exactAmount(row.at(from.at(pos)), out);
                });
            }
            if (count.read % 50000 == 0)
                progress(QStringLiteral("%1: 已讀入 %2 列").arg(t.name).arg(count.read));
        }
        if (t.name == QLatin1String("iof"))
            r.vouchers = count.read;
        r.tables.push_back(count);
        progress(QStringLiteral("%1 %2: %3 列").arg(file.fileName, t.name).arg(count.read));
    }

    // What the new folder holds, read back: row counts and the per-year figures.
    void readBack(Database& db, const schema::Table& t, TableCount& count) {
        Statement n(db.handle(), QStringLiteral("SELECT count(*) FROM %1").arg(quoted(t.name)));
        if (n.step() == SQLITE_ROW)
            count.written = sqlite3_column_int64(n.get(), 0);
        if (!hasFigures(t.name))
            return;
        QStringList names;
        for (const auto& c : t.columns)
            names << quoted(c.name);
        Statement all(db.handle(), QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
                                       .arg(names.join(QLatin1Char(',')), quoted(t.name)));
        FigureCollector collector(r.newFigures);
        QVector<QVariant> stored(t.columns.size());
        int rc;
        while ((rc = all.step()) == SQLITE_ROW) {
            for (int i = 0; i < stored.size(); ++i)
                stored[i] = storedValue(all.get(), i);
            collect(collector, t.name, stored,
                    [&](int pos, qint64* out) { return storedAmount(all.get(), pos, out); });
        }
        if (rc != SQLITE_DONE)
            all.fail();
    }
};

// The audit trail is the new folder's own, with nothing to bring across.
bool isTrail(const schema::Table& t) {
    return t.name == QLatin1String("audit");
}

QString tempName(const QString& dir, const schema::File& file) {
    return QDir(dir).filePath(QStringLiteral(".orvik-import-%1-%2")
                                  .arg(QCoreApplication::applicationPid())
                                  .arg(file.fileName));
}

void removeWithJournal(const QString& path) {
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
}

QString sectionName(int section) {
    switch (section) {
        case 0:
            return QStringLiteral("收支單");
        case 1:
            return QStringLiteral("現金帳");
        default:
            return QStringLiteral("銀行帳");
    }
}

QString yearText(const QString& year) {
    if (year.isEmpty())
        return QStringLiteral("無日期");
    const int y = year.toInt();
    return y > 1911 ? QStringLiteral("%1 年（民國 %2 年）").arg(year).arg(y - 1911)
                    : QStringLiteral("%1 年").arg(year);
}

QString figureLabel(const FigureKey& k) {
    QString label = sectionName(k.section) + QLatin1Char(' ') + yearText(k.year);
    if (k.section == 0)
        label +=
            QStringLiteral(" 方式 %1").arg(k.group.isEmpty() ? QStringLiteral("(空值)") : k.group);
    else if (k.section == 2)
        label += QLatin1Char(' ') + k.group.trimmed();
    return label;
}

QString figureText(int section, const Figure& f) {
    if (section == 0)
        return QStringLiteral("%1 張，金額 %2").arg(f.count).arg(groupedMoney(f.total));
    QString text = QStringLiteral("%1 筆，%2 %3，%4 %5")
                       .arg(f.count)
                       .arg(section == 1 ? QStringLiteral("收入") : QStringLiteral("存入"),
                            groupedMoney(f.total),
                            section == 1 ? QStringLiteral("支出") : QStringLiteral("提出"),
                            groupedMoney(f.totalOut));
    text += QStringLiteral("，年底餘額 %1")
                .arg(f.lastBalanceNull ? QStringLiteral("(空值)") : groupedMoney(f.lastBalance));
    return text;
}

std::set<FigureKey> allKeys(const ImportReport& r) {
    std::set<FigureKey> keys;
    for (auto it = r.legacyFigures.cbegin(); it != r.legacyFigures.cend(); ++it)
        keys.insert(it.key());
    for (auto it = r.newFigures.cbegin(); it != r.newFigures.cend(); ++it)
        keys.insert(it.key());
    return keys;
}

bool sameFigure(const Figure& a, const Figure& b) {
    return a.count == b.count && a.total == b.total && a.totalOut == b.totalOut &&
           a.lastBalance == b.lastBalance && a.lastBalanceNull == b.lastBalanceNull;
}

void compareFigures(ImportReport& r) {
    for (const FigureKey& k : allKeys(r)) {
        const Figure a = r.legacyFigures.value(k);
        const Figure b = r.newFigures.value(k);
        if (!sameFigure(a, b))
            r.mismatches << QStringLiteral("%1：舊檔 %2；新資料夾 %3")
                                .arg(figureLabel(k), figureText(k.section, a),
                                     figureText(k.section, b));
    }
}

}  // namespace

ImportReport importLegacy(Source& source, const ImportOptions& o) {
    QElapsedTimer timer;
    timer.start();
    if (o.destDir.trimmed().isEmpty())
        throw LegacyError(QStringLiteral("需要新資料夾的名稱"));
    ImportReport r;
    r.sourceDir = o.sourceDir;
    const QString dest = QDir(o.destDir).absolutePath();
    r.destDir = dest;
    const QFileInfo destInfo(dest);
    if (destInfo.exists() && !destInfo.isDir())
        throw LegacyError(QStringLiteral("%1 不是資料夾").arg(dest));
    if (!o.sourceDir.isEmpty() &&
        QFileInfo(o.sourceDir).canonicalFilePath() == destInfo.canonicalFilePath() &&
        destInfo.exists())
        throw LegacyError(QStringLiteral("新資料夾不能是舊資料夾本身"));
    QStringList present;
    for (const auto* f : schema::files()) {
        if (QFileInfo::exists(QDir(dest).filePath(f->fileName)))
            present << f->fileName;
    }
    if (!present.isEmpty())
        throw LegacyError(QStringLiteral("新資料夾 %1 已有 %2；請指定一個沒有資料庫檔案的資料夾")
                              .arg(dest, present.join(QStringLiteral("、"))));

    // Every old file is opened before anything is made, so a missing one costs nothing.
    std::vector<std::unique_ptr<SourceFile>> inputs;
    for (const auto* f : schema::files()) {
        std::unique_ptr<SourceFile> in = source.openFile(f->fileName);
        if (!in && f != &schema::print())
            throw LegacyError(QStringLiteral("舊資料夾裡找不到 %1").arg(f->fileName));
        // A folder of other files altogether (a copy of the wrong database) is refused
        // before anything is made, instead of yielding an empty set of books.
        const QString core = f == &schema::acc()       ? QStringLiteral("iof")
                             : f == &schema::general() ? QStringLiteral("員工")
                                                       : QString();
        if (in && !core.isEmpty()) {
            bool found = false;
            for (const QString& n : in->tableNames())
                found = found || n.compare(core, Qt::CaseInsensitive) == 0;
            if (!found)
                throw LegacyError(QStringLiteral("%1 裡沒有資料表 %2，不是舊版帳務程式的資料庫")
                                      .arg(f->fileName, core));
        }
        if (in)
            r.formats << QStringLiteral("%1：%2").arg(f->fileName, in->format());
        else
            r.notes << QStringLiteral("舊資料夾裡沒有 %1（只存列印用的暫存資料），新的 %1 是空的")
                           .arg(f->fileName);
        inputs.push_back(std::move(in));
    }

    const bool madeFolder = !destInfo.exists();
    // Made for the office's group only, as the administrator tool makes a new folder: the
    // books and the login passwords are not for every user of the computer.
    if (!store::makeFolder(dest))
        throw LegacyError(QStringLiteral("無法建立資料夾 %1").arg(dest));
    QVector<QPair<QString, QString>> moves;
    for (const auto* f : schema::files())
        moves.push_back({tempName(dest, *f), QDir(dest).filePath(f->fileName)});
    auto cleanUp = [&] {
        for (const auto& m : moves)
            removeWithJournal(m.first);
        if (madeFolder)
            QDir().rmdir(dest);
    };

    Importer imp{r, o};
    try {
        for (const auto& m : moves)
            removeWithJournal(m.first);
        {
            std::vector<DatabasePtr> dbs;
            for (int i = 0; i < schema::files().size(); ++i) {
                const schema::File& file = *schema::files().at(i);
                SourceFile* in = inputs.at(i).get();
                DatabasePtr db = Database::create(moves.at(i).first, file.password);
                schema::createAll(*db, file);
                sqlite3_exec(db->handle(), "PRAGMA cache_size=-131072", nullptr, nullptr, nullptr);
                const QStringList legacyTables = in ? in->tableNames() : QStringList();
                store::Transaction tx(*db);
                const qsizetype firstCount = r.tables.size();
                for (const auto& t : file.tables) {
                    if (!isTrail(t))
                        imp.copyTable(in, *db, file, t, legacyTables);
                }
                if (file.table(QStringLiteral("audit"))) {
                    // The import is the trail's first event: where the books came from and
                    // how many rows of each table.
                    QJsonObject rows;
                    for (qsizetype c = firstCount; c < r.tables.size(); ++c)
                        rows.insert(r.tables.at(c).table, r.tables.at(c).written > 0
                                                              ? r.tables.at(c).written
                                                              : r.tables.at(c).read);
                    audit::record(*db, {audit::Kind::Import,
                                        QString(),
                                        file.fileName,
                                        {},
                                        rows,
                                        QStringLiteral("由舊版資料庫 %1 轉入")
                                            .arg(o.sourceDir.isEmpty() ? QStringLiteral("(記憶體)")
                                                                       : o.sourceDir)});
                }
                tx.commit();
                for (const QString& name : legacyTables) {
                    if (file.table(name))
                        continue;
                    qint64 rows = 0;
                    QVector<SourceValue> row;
                    if (auto extra = in->openTable(name)) {
                        while (extra->next(row))
                            ++rows;
                    }
                    r.notes << QStringLiteral("%1: 略過舊資料表 %2（%3 列），Orvik 不使用它")
                                   .arg(file.fileName, name)
                                   .arg(rows);
                }
                dbs.push_back(db);
            }
            // Counts and figures as the new files hold them, read back after the commits.
            int at = 0;
            for (int i = 0; i < schema::files().size(); ++i) {
                for (const auto& t : schema::files().at(i)->tables) {
                    if (!isTrail(t))
                        imp.readBack(*dbs.at(i), t, r.tables[at++]);
                }
            }
        }
        // What the reading library warned about goes into the report, not the terminal.
        for (int i = 0; i < schema::files().size(); ++i) {
            if (!inputs.at(i))
                continue;
            const ReaderWarnings w = inputs.at(i)->readerWarnings();
            if (w.count == 0)
                continue;
            const QString& name = schema::files().at(i)->fileName;
            r.readerWarnings += w.count;
            r.notes << QStringLiteral(
                           "%1: 讀取時發出 %2 則警告，舊檔可能有損壞，"
                           "有些資料列可能沒有讀到；請核對這個檔案轉入的資料")
                           .arg(name)
                           .arg(w.count);
            for (const QString& kind : w.kinds)
                r.notes << QStringLiteral("%1: 警告%2").arg(name, kind);
        }
        inputs.clear();
        for (const auto& m : moves) {
            if (!QFile::rename(m.first, m.second))
                throw LegacyError(QStringLiteral("無法把 %1 改名為 %2").arg(m.first, m.second));
        }
    } catch (const store::EngineError& e) {
        cleanUp();
        throw LegacyError(
            QStringLiteral("寫入新資料夾失敗：%1 (%2)").arg(e.description()).arg(e.number()));
    } catch (...) {
        cleanUp();
        throw;
    }

    for (const auto& c : r.tables) {
        if (c.read != c.written)
            r.mismatches << QStringLiteral("%1 的 %2：讀入 %3 列，寫入 %4 列")
                                .arg(c.file, c.table)
                                .arg(c.read)
                                .arg(c.written);
    }
    compareFigures(r);
    r.seconds = double(timer.nsecsElapsed()) / 1e9;

    const QDir parent = QFileInfo(dest).dir();
    r.reportPath =
        o.reportPath.isEmpty()
            ? parent.filePath(QFileInfo(dest).fileName() + QStringLiteral("-轉入報告.txt"))
            : o.reportPath;
    QSaveFile out(r.reportPath);
    QByteArray bytes = r.text().toUtf8();
    bytes.replace("\n", "\r\n");
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
        r.notes << QStringLiteral("無法寫入報告檔 %1").arg(r.reportPath);
    return r;
}

int exitStatus(const ImportReport& report) {
    return report.clean() ? 0 : 1;
}

QString ImportReport::text() const {
    QStringList l;
    l << QStringLiteral("舊版資料庫轉入報告");
    l << QStringLiteral("舊資料夾：%1（%2）").arg(sourceDir, formats.join(QStringLiteral("，")));
    l << QStringLiteral("新資料夾：%1").arg(destDir);
    l << QStringLiteral("費時 %1 秒，收支單 %2 張").arg(seconds, 0, 'f', 1).arg(vouchers);
    l << QString();
    l << QStringLiteral("一、各資料表的列數（讀入 / 寫入）");
    for (const auto& c : tables) {
        l << QStringLiteral("  %1 %2：%3 / %4%5")
                 .arg(c.file, c.table)
                 .arg(c.read)
                 .arg(c.written)
                 .arg(c.read != c.written ? QStringLiteral("  ← 不一致") : QString());
    }
    l << QString();
    l << QStringLiteral("二、逐年核對（舊檔；新資料夾）");
    const std::set<FigureKey> sorted = allKeys(*this);
    if (sorted.empty())
        l << QStringLiteral("  （沒有收支單、現金帳或銀行帳）");
    for (const FigureKey& k : sorted) {
        const Figure a = legacyFigures.value(k);
        const Figure b = newFigures.value(k);
        if (sameFigure(a, b))
            l << QStringLiteral("  %1：%2").arg(figureLabel(k), figureText(k.section, a));
        else
            l << QStringLiteral("  %1：舊檔 %2；新資料夾 %3  ← 不一致")
                     .arg(figureLabel(k), figureText(k.section, a), figureText(k.section, b));
    }
    l << QString();
    l << QStringLiteral("三、無法轉換或寫入的值（%1 個）").arg(problems.size());
    for (const auto& p : problems) {
        QString where = QStringLiteral("%1 的 %2 第 %3 列").arg(p.file, p.table).arg(p.row);
        if (!p.key.isEmpty())
            where += QStringLiteral("（%1）").arg(p.key);
        if (!p.column.isEmpty())
            where += QStringLiteral(" 欄位 %1 的值 %2").arg(p.column, p.value);
        l << QStringLiteral("  %1：%2").arg(where, p.reason);
    }
    if (!notes.isEmpty()) {
        l << QString();
        l << QStringLiteral("四、說明");
        for (const auto& n : notes)
            l << QStringLiteral("  ") + n;
    }
    l << QString();
    if (clean())
        l << QStringLiteral("結果：筆數與金額全部相符。");
    else
        l << QStringLiteral("結果：%1 處筆數或金額不一致，%2 個值無法轉換或寫入%3；請逐項核對。")
                 .arg(mismatches.size())
                 .arg(problems.size())
                 .arg(readerWarnings == 0
                          ? QString()
                          : QStringLiteral("，讀取舊檔時有 %1 則警告").arg(readerWarnings));
    return l.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

}  // namespace orvik::legacy
