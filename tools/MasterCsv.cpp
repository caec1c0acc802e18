#include "MasterCsv.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringDecoder>
#include <algorithm>
#include <cmath>
#include <limits>

#include "Admin.h"
#include "AdminError.h"
#include "Audit.h"
#include "Database.h"
#include "Recordset.h"
#include "Schema.h"
#include "TableDef.h"

namespace orvik::admin {

using store::DatabasePtr;
namespace schema = store::schema;
using schema::ColType;

namespace {

// What the tool needs to know about a list beyond its columns: the columns that tell its rows
// apart (each list of `keys` is one key, none may repeat), the columns a row cannot do without,
// and the list its rows belong to.
struct MasterTable {
    QString name;
    const schema::File* file = nullptr;
    QVector<QStringList> keys;
    QStringList required;  // besides the key columns
    QString parent;        // the table whose `id` the first key column names
    QStringList hidden;    // never written to nor read from a file
    bool singleRow = false;
};

const QVector<MasterTable>& masterDefs() {
    static const QVector<MasterTable> all = [] {
        const schema::File* acc = &schema::acc();
        const schema::File* general = &schema::general();
        const schema::File* print = &schema::print();
        auto s = [](const char* text) { return QString::fromUtf8(text); };
        QVector<MasterTable> t;
        // One row: the heading on every voucher, which is also the company's name.
        t.push_back({s("company"), print, {{s("ion")}}, {}, {}, {}, true});
        // The bank lists name an account by its bank and number, as the ledger and bills do.
        for (const char* bank : {"obank", "bbank", "ibank"})
            t.push_back({s(bank), acc, {{s("bank"), s("id")}}, {}, {}, {}, false});
        // Logins are looked up without regard to case, so they are a key of their own.
        t.push_back({s("員工"),
                     general,
                     {{s("員工編號")}, {s("英文姓名")}},
                     {s("中文姓名")},
                     {},
                     {s("pass")},
                     false});
        t.push_back({s("廠商"), general, {{s("廠商編號")}}, {s("廠商名稱")}, {}, {}, false});
        t.push_back({s("prj"), acc, {{s("id")}}, {s("prj")}, {}, {}, false});
        t.push_back({s("w4pj"), acc, {{s("pj_id"), s("w")}}, {}, s("prj"), {}, false});
        // A word list is read in rank order; the word is what must not repeat.
        t.push_back({s("use"), acc, {{s("use")}}, {s("id")}, {}, {}, false});
        t.push_back({s("ps1"), acc, {{s("ps")}}, {s("id")}, {}, {}, false});
        t.push_back({s("ps2"), acc, {{s("ps")}}, {s("id")}, {}, {}, false});
        t.push_back({s("acc"), acc, {{s("id")}}, {s("acc")}, {}, {}, false});
        for (const char* side : {"ri", "ro"}) {
            const QString name = s(side);
            t.push_back({name, acc, {{s("id")}}, {}, {}, {}, false});
            t.push_back({name + s("期"), acc, {{s("id"), s("期別")}}, {}, name, {}, false});
            t.push_back({name + s("加"), acc, {{s("id"), s("期別")}}, {}, name, {}, false});
        }
        return t;
    }();
    return all;
}

// Tables the tool knows but will not take, with the reason.
QString notAMasterList(const QString& table) {
    static const QStringList ledgers{QStringLiteral("iof"),  QStringLiteral("iofs"),
                                     QStringLiteral("cash"), QStringLiteral("bill"),
                                     QStringLiteral("bank"), QStringLiteral("ptios")};
    if (ledgers.contains(table, Qt::CaseInsensitive))
        return QStringLiteral("%1 是程式自己寫入的帳，不能從檔案匯出入").arg(table);
    if (table.compare(QStringLiteral("super"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("super 是登入用的資料，不能從檔案匯出入");
    return QStringLiteral("不認得的資料表 %1").arg(table);
}

const MasterTable& master(const QString& table) {
    for (const auto& m : masterDefs()) {
        if (m.name.compare(table, Qt::CaseInsensitive) == 0)
            return m;
    }
    throw UsageError(QStringLiteral("%1；可用的資料表：%2")
                         .arg(notAMasterList(table), masterTables().join(QStringLiteral("、"))));
}

QString quoteIdent(const QString& name) {
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

struct Col {
    QString name;
    ColType type;
};

// A column the schema does not describe (an older file's extra one) is typed by its declaration.
ColType declaredType(const QString& declared) {
    const QString d = declared.toUpper();
    if (d.contains(QLatin1String("INT")))
        return ColType::Number;
    if (d.contains(QLatin1String("REAL")) || d.contains(QLatin1String("FLOA")) ||
        d.contains(QLatin1String("DOUB")))
        return ColType::Double;
    return ColType::Text;
}

// The columns of the table as the file holds them, typed by the schema.
QVector<Col> columnsOf(store::Database& db, const MasterTable& m) {
    const store::TableDef def = db.tableDef(m.name);
    const schema::Table* known = m.file->table(m.name);
    QVector<Col> cols;
    for (int i = 0; i < def.fieldCount(); ++i) {
        const store::FieldDef& f = def.field(i);
        Col c{f.name, declaredType(f.declaredType)};
        if (known) {
            for (const auto& k : known->columns) {
                if (k.name.compare(f.name, Qt::CaseInsensitive) == 0)
                    c.type = k.type;
            }
        }
        cols << c;
    }
    return cols;
}

bool isHidden(const MasterTable& m, const QString& column) {
    return m.hidden.contains(column, Qt::CaseInsensitive);
}

// The columns a file may carry, in stored order.
QStringList fileColumns(const MasterTable& m, const QVector<Col>& cols) {
    QStringList names;
    for (const Col& c : cols) {
        if (!isHidden(m, c.name))
            names << c.name;
    }
    return names;
}

QString exportValue(const Col& c, const QVariant& v) {
    if (v.isNull() || !v.isValid())
        return {};
    switch (c.type) {
        case ColType::Boolean:
            return store::storedBool(v) ? QStringLiteral("是") : QStringLiteral("否");
        case ColType::Date: {
            const QDate d = store::storedDate(v);
            return d.isValid() ? d.toString(Qt::ISODate) : v.toString();
        }
        default:
            break;
    }
    if (v.typeId() == QMetaType::Double)
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    return v.toString();
}

// SQLite's NOCASE folds only the ASCII letters; the keys of the file are compared the same way.
QString foldAscii(const QString& s) {
    QString out = s;
    for (QChar& ch : out) {
        if (ch.unicode() >= 'A' && ch.unicode() <= 'Z')
            ch = QChar(ch.unicode() + ('a' - 'A'));
    }
    return out;
}

bool parseWhole(const QString& s, qint64 min, qint64 max, qint64* out, QString* problem) {
    // Spreadsheets may keep the thousands separators of a formatted amount.
    static const QRegularExpression whole(QStringLiteral("^[+-]?(\\d+|\\d{1,3}(,\\d{3})+)$"));
    if (!whole.match(s).hasMatch()) {
        *problem = QStringLiteral("「%1」不是整數").arg(s);
        return false;
    }
    QString digits = s;
    digits.remove(QLatin1Char(','));
    bool ok = false;
    const qint64 v = digits.toLongLong(&ok);
    if (!ok || v < min || v > max) {
        *problem = QStringLiteral("%1 超出範圍（%2 到 %3）").arg(s).arg(min).arg(max);
        return false;
    }
    *out = v;
    return true;
}

// One cell to the value stored; empty cells are empty text, "no" for a yes/no column, and no
// value otherwise.
bool importValue(ColType type, const QString& raw, QVariant* out, QString* problem) {
    const QString s = raw.trimmed();
    if (type == ColType::Text) {
        *out = s;
        return true;
    }
    if (s.isEmpty()) {
        *out = type == ColType::Boolean ? QVariant(qint64(0)) : QVariant();
        return true;
    }
    switch (type) {
        case ColType::Int16:
        case ColType::Int32:
        case ColType::Amount:
        case ColType::Number: {
            qint64 min = std::numeric_limits<qint64>::min();
            qint64 max = std::numeric_limits<qint64>::max();
            if (type == ColType::Int16) {
                min = std::numeric_limits<qint16>::min();
                max = std::numeric_limits<qint16>::max();
            } else if (type == ColType::Int32) {
                min = std::numeric_limits<qint32>::min();
                max = std::numeric_limits<qint32>::max();
            }
            qint64 v = 0;
            if (!parseWhole(s, min, max, &v, problem))
                return false;
            *out = v;
            return true;
        }
        case ColType::Double: {
            bool ok = false;
            const double v = s.toDouble(&ok);
            if (!ok || !std::isfinite(v)) {
                *problem = QStringLiteral("「%1」不是數字").arg(s);
                return false;
            }
            *out = v;
            return true;
        }
        case ColType::Boolean: {
            static const QStringList yes{QStringLiteral("是"),  QStringLiteral("true"),
                                         QStringLiteral("yes"), QStringLiteral("y"),
                                         QStringLiteral("-1"),  QStringLiteral("1")};
            static const QStringList no{QStringLiteral("否"), QStringLiteral("false"),
                                        QStringLiteral("no"), QStringLiteral("n"),
                                        QStringLiteral("0")};
            if (yes.contains(s, Qt::CaseInsensitive)) {
                *out = qint64(-1);
                return true;
            }
            if (no.contains(s, Qt::CaseInsensitive)) {
                *out = qint64(0);
                return true;
            }
            *problem = QStringLiteral("「%1」不是是或否").arg(s);
            return false;
        }
        case ColType::Date: {
            const QDate d = csv::parseDate(s);
            if (!d.isValid()) {
                *problem =
                    QStringLiteral("「%1」不是日期（請寫成 2024-03-05 或 113/03/05）").arg(s);
                return false;
            }
            *out = d.toString(Qt::ISODate);
            return true;
        }
        case ColType::Text:
            break;
    }
    *out = s;
    return true;
}

// The line of the first byte sequence that is not UTF-8, or 0 when the whole file is UTF-8.
int firstNonUtf8Line(const QByteArray& bytes) {
    int line = 1;
    for (const QByteArray& piece : bytes.split('\n')) {
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        const QString decoded = utf8.decode(piece);  // decodes only when taken as a string
        if (utf8.hasError())
            return line;
        ++line;
    }
    return 0;
}

QString describeKey(const QStringList& columns, const QVariantList& values) {
    QStringList parts;
    for (int i = 0; i < columns.size(); ++i)
        parts << QStringLiteral("%1 %2").arg(columns.at(i), values.at(i).toString());
    return parts.join(QStringLiteral("、"));
}

}  // namespace

QStringList masterTables() {
    QStringList names;
    for (const auto& m : masterDefs())
        names << m.name;
    return names;
}

int exportTable(const QString& dir, const QString& table, const QString& csvPath) {
    const MasterTable& m = master(table);
    DatabasePtr db = openFile(dir, *m.file);
    QVector<Col> cols;
    QStringList names;
    for (const Col& c : columnsOf(*db, m)) {
        if (isHidden(m, c.name))
            continue;
        cols << c;
        names << quoteIdent(c.name);
    }
    // The office's spreadsheet takes a file without the mark for its own code page.
    QString text(QChar(0xFEFF));
    QStringList header;
    for (const Col& c : cols)
        header << csv::quote(c.name);
    text += header.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    store::Recordset rs =
        db->openRecordset(QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
                              .arg(names.join(QStringLiteral(", ")), quoteIdent(m.name)),
                          store::RecordsetType::Snapshot);
    int rows = 0;
    while (!rs.isEOF()) {
        QStringList fields;
        for (int i = 0; i < cols.size(); ++i)
            fields << csv::quote(exportValue(cols.at(i), rs.field(i)));
        text += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
        ++rows;
        rs.MoveNext();
    }
    rs.Close();
    QSaveFile out(csvPath);
    if (!out.open(QIODevice::WriteOnly) || out.write(text.toUtf8()) < 0 || !out.commit())
        throw AdminError(QStringLiteral("無法寫入 %1：%2").arg(csvPath, out.errorString()));
    return rows;
}

ImportResult importTable(const QString& dir, const QString& table, const QString& csvPath) {
    const MasterTable& m = master(table);
    QFile in(csvPath);
    if (!in.open(QIODevice::ReadOnly))
        throw AdminError(QStringLiteral("無法讀取 %1：%2").arg(csvPath, in.errorString()));
    const QByteArray bytes = in.readAll();
    in.close();

    ImportResult r;
    auto refuse = [&r](int line, const QString& reason) { r.refusals.push_back({line, reason}); };
    if (const int bad = firstNonUtf8Line(bytes)) {
        refuse(bad, QStringLiteral("不是 UTF-8 文字；請在試算表另存為「CSV UTF-8」"));
        return r;
    }
    CsvRefusal malformed;
    const QVector<csv::Record> records = csv::parse(QString::fromUtf8(bytes), &malformed);
    if (malformed.line > 0) {
        r.refusals.push_back(malformed);
        return r;
    }
    if (records.isEmpty()) {
        refuse(0, QStringLiteral("檔案是空的；第一行須是欄位名稱"));
        return r;
    }

    DatabasePtr db = openFile(dir, *m.file);
    const QVector<Col> cols = columnsOf(*db, m);

    // The header: every name a column of the table, each once, the required ones all there.
    const csv::Record& head = records.first();
    QVector<int> colOf;  // header position → column
    QStringList insertNames;
    for (int i = 0; i < head.fields.size(); ++i) {
        const QString name = head.fields.at(i).trimmed();
        int found = -1;
        for (int c = 0; c < cols.size(); ++c) {
            if (cols.at(c).name.compare(name, Qt::CaseInsensitive) == 0)
                found = c;
        }
        if (name.isEmpty())
            refuse(head.line, QStringLiteral("第 %1 欄沒有欄位名稱").arg(i + 1));
        else if (isHidden(m, name))
            refuse(head.line, QStringLiteral("欄位 %1 不能從檔案匯入：密碼不放在檔案裡，"
                                             "請在匯入後用 orvik-admin employee password 設定")
                                  .arg(name));
        else if (found < 0)
            refuse(head.line,
                   QStringLiteral("不認得的欄位 %1（%2 的欄位有：%3）")
                       .arg(name, m.name, fileColumns(m, cols).join(QStringLiteral("、"))));
        else if (colOf.contains(found))
            refuse(head.line, QStringLiteral("欄位 %1 出現兩次").arg(cols.at(found).name));
        colOf << found;
        insertNames << (found >= 0 ? quoteIdent(cols.at(found).name) : QString());
    }
    QStringList required;
    for (const QStringList& key : m.keys)
        required << key;
    required << m.required;
    QVector<int> requiredAt;  // header positions of the required columns
    for (const QString& need : required) {
        int at = -1;
        for (int i = 0; i < colOf.size(); ++i) {
            if (colOf.at(i) >= 0 && cols.at(colOf.at(i)).name.compare(need) == 0)
                at = i;
        }
        if (at < 0)
            refuse(head.line, QStringLiteral("缺少必填的欄位 %1").arg(need));
        requiredAt << at;
    }
    if (!r.ok())
        return r;

    QVector<csv::Record> rows;
    for (int i = 1; i < records.size(); ++i) {
        const bool blank = std::all_of(records.at(i).fields.begin(), records.at(i).fields.end(),
                                       [](const QString& f) { return f.trimmed().isEmpty(); });
        if (!blank)
            rows << records.at(i);
    }
    if (m.singleRow && rows.size() != 1) {
        refuse(0, QStringLiteral("%1 只有一列，檔案須正好有一列資料（現有 %2 列）")
                      .arg(m.name)
                      .arg(rows.size()));
        return r;
    }

    auto headerPos = [&](const QString& column) {
        for (int i = 0; i < colOf.size(); ++i) {
            if (cols.at(colOf.at(i)).name.compare(column) == 0)
                return i;
        }
        return -1;
    };
    QStringList marks;
    for (int i = 0; i < insertNames.size(); ++i)
        marks << QStringLiteral("?");
    const QString insertSql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                  .arg(quoteIdent(m.name), insertNames.join(QStringLiteral(", ")),
                                       marks.join(QStringLiteral(", ")));
    QVector<QHash<QString, int>> seen(m.keys.size());  // key → line, per key
    QStringList logins;
    QJsonArray imported;  // the rows' keys, for the audit trail

    // Reading the stored keys and writing the rows in one transaction keeps another copy from
    // adding the same key in between; it waits for the lock like any other writer.
    store::Transaction tx(*db);
    if (m.singleRow)
        db->execute(QStringLiteral("DELETE FROM %1").arg(quoteIdent(m.name)));
    for (const csv::Record& row : rows) {
        if (row.fields.size() != head.fields.size()) {
            refuse(row.line, QStringLiteral("有 %1 欄，標題列有 %2 欄")
                                 .arg(row.fields.size())
                                 .arg(head.fields.size()));
            continue;
        }
        QStringList problems;
        QVariantList values;
        for (int i = 0; i < row.fields.size(); ++i) {
            const Col& c = cols.at(colOf.at(i));
            QVariant v;
            QString problem;
            if (!importValue(c.type, row.fields.at(i), &v, &problem))
                problems << QStringLiteral("欄位 %1：%2").arg(c.name, problem);
            values << v;
        }
        for (int k = 0; k < required.size(); ++k) {
            if (row.fields.at(requiredAt.at(k)).trimmed().isEmpty())
                problems << QStringLiteral("欄位 %1 不可空白").arg(required.at(k));
        }
        // Rights use 22 bits, one per function of the program.
        if (m.name == QStringLiteral("員工") && problems.isEmpty()) {
            const int at = headerPos(QStringLiteral("AccS"));
            if (at >= 0 && !values.at(at).isNull() &&
                (values.at(at).toLongLong() < 0 || values.at(at).toLongLong() > kAllRights))
                problems << QStringLiteral("欄位 AccS：權限值須是 0 到 %1").arg(kAllRights);
        }
        if (problems.isEmpty()) {
            for (int k = 0; k < m.keys.size(); ++k) {
                const QStringList& key = m.keys.at(k);
                QVariantList keyValues;
                QStringList folded;
                QStringList where;
                for (const QString& column : key) {
                    const QVariant v = values.at(headerPos(column));
                    keyValues << v;
                    folded << (v.typeId() == QMetaType::QString ? foldAscii(v.toString())
                                                                : v.toString());
                    where << quoteIdent(column) + QStringLiteral(" = ?");
                }
                const QString text = folded.join(QChar(0x1f));
                if (const int earlier = seen[k].value(text)) {
                    problems << QStringLiteral("%1 與第 %2 行重複")
                                    .arg(describeKey(key, keyValues))
                                    .arg(earlier);
                    continue;
                }
                seen[k].insert(text, row.line);
                if (!m.singleRow &&
                    db->scalar(QStringLiteral("SELECT 1 FROM %1 WHERE %2 LIMIT 1")
                                   .arg(quoteIdent(m.name), where.join(QStringLiteral(" AND "))),
                               keyValues)
                        .isValid())
                    problems
                        << QStringLiteral("%1 已在 %2 中").arg(describeKey(key, keyValues), m.name);
            }
        }
        if (problems.isEmpty() && !m.parent.isEmpty()) {
            const QVariant owner = values.at(headerPos(m.keys.first().first()));
            if (!db->scalar(QStringLiteral("SELECT 1 FROM %1 WHERE id = ? LIMIT 1")
                                .arg(quoteIdent(m.parent)),
                            {owner})
                     .isValid())
                problems
                    << QStringLiteral("%1 沒有 id 為 %2 的資料").arg(m.parent, owner.toString());
        }
        if (!problems.isEmpty()) {
            refuse(row.line, problems.join(QStringLiteral("；")));
            continue;
        }
        db->execute(insertSql, values);
        ++r.rows;
        QStringList key;
        for (const QString& column : m.keys.first())
            key << values.at(headerPos(column)).toString();
        imported << key.join(QLatin1Char('/'));
        if (m.name == QStringLiteral("員工"))
            logins << values.at(headerPos(QStringLiteral("英文姓名"))).toString();
    }
    if (!r.ok()) {
        r.rows = 0;
        return r;  // the transaction rolls back
    }
    // A receivable or payable without Let gets the "0" that the program's own column check
    // gives every row.
    if (m.name == QStringLiteral("ri") || m.name == QStringLiteral("ro"))
        db->execute(QStringLiteral("UPDATE %1 SET Let = '0' WHERE Let IS NULL OR Let = ''")
                        .arg(quoteIdent(m.name)));
    // The print file holds only the heading and keeps no trail.
    if (m.file != &schema::print())
        audit::record(*db, {audit::Kind::Import,
                            m.name,
                            QFileInfo(csvPath).fileName(),
                            {},
                            {{QStringLiteral("筆數"), r.rows}, {QStringLiteral("鍵"), imported}},
                            QStringLiteral("由 CSV 檔 %1 匯入").arg(csvPath)});
    tx.commit();
    if (!logins.isEmpty())
        r.notes << QStringLiteral(
                       "新員工還沒有密碼，在設定前可用空白密碼登入；請用 orvik-admin "
                       "employee password 設定：%1")
                       .arg(logins.join(QStringLiteral("、")));
    return r;
}

namespace csv {

QVector<Record> parse(const QString& text, CsvRefusal* error) {
    QVector<Record> records;
    Record record;
    QString field;
    bool inQuotes = false;
    bool quoted = false;  // the field was quoted and its closing quote is behind
    int line = 1;
    record.line = 1;
    const qsizetype start = text.startsWith(QChar(0xFEFF)) ? 1 : 0;
    auto fail = [&](int at, const QString& reason) {
        if (error)
            *error = {at, reason};
        return records;
    };
    auto endField = [&] {
        record.fields << field;
        field.clear();
        quoted = false;
    };
    auto endRecord = [&] {
        endField();
        records << record;
        record = Record{};
    };
    for (qsizetype i = start; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        const bool crlf =
            ch == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n');
        if (inQuotes) {
            if (ch == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    field += ch;
                    ++i;
                } else {
                    inQuotes = false;
                    quoted = true;
                }
                continue;
            }
            field += ch;
            if (ch == QLatin1Char('\n') || (ch == QLatin1Char('\r') && !crlf))
                ++line;
            continue;
        }
        if (ch == QLatin1Char('"')) {
            if (!field.isEmpty() || quoted)
                return fail(line, QStringLiteral("引號只能包住整個欄位（欄位中的引號要寫成兩個）"));
            inQuotes = true;
        } else if (ch == QLatin1Char(',')) {
            endField();
        } else if (ch == QLatin1Char('\r') || ch == QLatin1Char('\n')) {
            if (crlf)
                ++i;
            endRecord();
            record.line = ++line;
        } else {
            if (quoted)
                return fail(line, QStringLiteral("結束的引號後面還有文字"));
            field += ch;
        }
    }
    if (inQuotes)
        return fail(record.line, QStringLiteral("引號沒有結束"));
    if (!field.isEmpty() || quoted || !record.fields.isEmpty())
        endRecord();
    return records;
}

QString quote(const QString& field) {
    static const QRegularExpression special(QStringLiteral("[,\"\r\n]"));
    if (!field.contains(special))
        return field;
    QString q = field;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QDate parseDate(const QString& text) {
    static const QRegularExpression iso(QStringLiteral("^(\\d{4})-(\\d{1,2})-(\\d{1,2})$"));
    static const QRegularExpression slash(QStringLiteral("^(\\d{2,4})/(\\d{1,2})/(\\d{1,2})$"));
    const QString s = text.trimmed();
    QRegularExpressionMatch match = iso.match(s);
    int year = 0;
    if (match.hasMatch()) {
        year = match.captured(1).toInt();
    } else {
        match = slash.match(s);
        if (!match.hasMatch())
            return {};
        year = match.captured(1).toInt();
        if (match.captured(1).size() < 4)
            year += 1911;  // 民國
    }
    const QDate d(year, match.captured(2).toInt(), match.captured(3).toInt());
    return d.isValid() && d.year() >= 1912 ? d : QDate();
}

}  // namespace csv

}  // namespace orvik::admin
