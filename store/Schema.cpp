#include "Schema.h"

#include <QHash>
#include <QRegularExpression>

#include "Statement.h"
#include "TableDef.h"

namespace orvik::store::schema {

namespace {

using T = ColType;

Column c(const char* name, ColType type, const char* def = "") {
    return Column{QString::fromUtf8(name), type, QString::fromUtf8(def)};
}

Index idx(const char* name, std::initializer_list<const char*> cols, bool unique = false) {
    Index i{QString::fromUtf8(name), {}, unique};
    for (const char* col : cols)
        i.keys.push_back({QString::fromUtf8(col), {}});
    return i;
}

// Voucher numbers are text of nine characters up to 民國 99 and ten from 民國 100 (2011) on,
// so text order puts 1000101001 before 991231001. Every list in number order sorts by
// (length(單號), 單號), and this index serves that order.
Index numberOrderIndex() {
    Index i{QStringLiteral("iof_number_order"),
            {{QString(), QStringLiteral("length(\"單號\")")}, {QStringLiteral("單號"), QString()}}};
    i.since = 2;
    return i;
}

// Indexes of version 3, for the windows that read the books by project, account, date and due
// date. The first two carry every column their totals read, so a project's or a period's
// totals come from the index alone.
Index since3(Index i) {
    i.since = 3;
    return i;
}

// The audit trail of version 4: one row per event, appended in the transaction of the change
// it records and never changed afterwards. `id` counts the events from 1; `hash` chains each
// event to the one before it (audit/Audit.cpp says what it covers).
Table auditTable() {
    Table t{QStringLiteral("audit"),
            {c("id", T::Number), c("work_date", T::Date), c("real_time", T::Text),
             c("login", T::Text), c("kind", T::Text), c("tbl", T::Text), c("row_key", T::Text),
             c("voucher", T::Text), c("before_values", T::Text), c("after_values", T::Text),
             c("note", T::Text), c("hash", T::Text)},
            {idx("audit_id", {"id"}, true), idx("audit_voucher", {"voucher"}),
             idx("audit_date", {"work_date"})}};
    t.since = 4;
    for (auto& i : t.indexes)
        i.since = 4;
    return t;
}

QVector<Column> instalmentColumns() {
    return {c("id", T::Text),          c("期別", T::Number),       c("應付金額", T::Amount),
            c("預付日期", T::Date),    c("佔總價比例", T::Double), c("送帳單日", T::Date),
            c("發票號碼", T::Text),    c("沖帳金額", T::Amount),   c("沖帳日期", T::Date),
            c("現金沖帳", T::Boolean), c("沖帳票據號碼", T::Text), c("沖帳單號", T::Text),
            c("處理", T::Boolean)};
}

QVector<Column> additionColumns() {
    return {c("id", T::Text),       c("期別", T::Number),      c("報價單號", T::Text),
            c("合約單號", T::Text), c("應付金額", T::Amount),  c("預付日期", T::Date),
            c("送帳單日", T::Date), c("發票號碼", T::Text),    c("沖帳金額", T::Amount),
            c("沖帳日期", T::Date), c("現金沖帳", T::Boolean), c("沖帳票據號碼", T::Text),
            c("沖帳單號", T::Text), c("處理", T::Boolean)};
}

QVector<Column> bankListColumns(bool withPs) {
    QVector<Column> cols{c("bank", T::Text), c("id", T::Text), c("user", T::Text)};
    if (withPs)
        cols << c("ps", T::Amount);
    return cols;
}

Table wordList(const char* name, const char* word) {
    return Table{QString::fromUtf8(name),
                 {c("id", T::Number), c(word, T::Text)},
                 {idx((std::string(name) + "_id").c_str(), {"id"})}};
}

File makeAcc() {
    File f{QStringLiteral("acc.mdb"), QStringLiteral("kavrintolpe"), {}};
    f.tables = {
        Table{
            QStringLiteral("iof"),
            {c("輸入日期", T::Date), c("單號", T::Text),      c("用途說明", T::Text),
             c("方式", T::Int16),    c("金額", T::Amount),    c("科目代號", T::Text),
             c("pay", T::Boolean),   c("科目名稱", T::Text),  c("附註一", T::Text),
             c("附註二", T::Text),   c("專案號碼", T::Text),  c("專案名稱", T::Text),
             c("工程種類", T::Text), c("發生日期", T::Date),  c("申請人", T::Text),
             c("簽收人", T::Text),   c("有單據", T::Boolean), c("單據號碼", T::Text),
             c("稅額", T::Amount),   c("進銷項", T::Boolean), c("建議現金", T::Int16)},
            {idx("iof_no", {"單號"}, true), idx("iof_status", {"方式", "單號"}), numberOrderIndex(),
             since3(idx("iof_project", {"專案號碼", "發生日期", "pay", "方式", "金額"})),
             since3(idx("iof_occurred", {"發生日期", "方式", "pay", "科目代號", "金額"})),
             since3(idx("iof_entered", {"輸入日期"})), since3(idx("iof_account", {"科目代號"}))}},
        Table{QStringLiteral("iofs"),
              {c("多單號", T::Text), c("單號", T::Text)},
              {idx("iofs_no", {"單號"}), idx("iofs_key", {"多單號"})}},
        Table{QStringLiteral("cash"),
              {c("id", T::Int32), c("收入", T::Boolean), c("異動日期", T::Date),
               c("異動金額", T::Amount), c("摘要", T::Text), c("收支單號", T::Text),
               c("bala", T::Amount)},
              {idx("cash_id", {"id"}), idx("cash_no", {"收支單號"}),
               since3(idx("cash_date", {"異動日期"}))}},
        Table{QStringLiteral("acc"),
              {c("id", T::Text), c("incom", T::Boolean), c("acc", T::Text)},
              {idx("acc_id", {"id"})}},
        Table{
            QStringLiteral("prj"), {c("id", T::Text), c("prj", T::Text)}, {idx("prj_id", {"id"})}},
        Table{QStringLiteral("w4pj"),
              {c("pj_id", T::Text), c("w", T::Text)},
              {idx("w4pj_pj", {"pj_id"})}},
        wordList("use", "use"),
        wordList("ps1", "ps"),
        wordList("ps2", "ps"),
        Table{QStringLiteral("bill"),
              {c("票據號碼", T::Text), c("開票日期", T::Date), c("提醒日期", T::Date),
               c("到期日期", T::Date), c("可用日期", T::Date), c("開票銀行", T::Text),
               c("收票銀行", T::Text), c("開票人", T::Text), c("收票人", T::Text),
               c("開票帳號", T::Text), c("收票帳號", T::Text), c("票據金額", T::Amount),
               c("大寫金額", T::Text), c("收入", T::Boolean), c("收支單號", T::Text),
               c("方式", T::Int16)},
              {idx("bill_voucher", {"收支單號"}), idx("bill_no", {"票據號碼"}),
               idx("bill_status", {"方式"}), since3(idx("bill_due", {"到期日期"})),
               since3(idx("bill_remind", {"提醒日期"}))}},
        Table{QStringLiteral("bank"),
              {c("id", T::Int32), c("Bid", T::Text), c("bank", T::Text), c("存入", T::Boolean),
               c("異動日期", T::Date), c("異動金額", T::Amount), c("摘要", T::Text),
               c("票據號碼", T::Text), c("bala", T::Amount)},
              {idx("bank_account", {"bank", "Bid", "id"})}},
        Table{QStringLiteral("obank"), bankListColumns(false), {}},
        Table{QStringLiteral("ibank"), bankListColumns(false), {}},
        Table{QStringLiteral("bbank"), bankListColumns(true), {}},
        Table{QStringLiteral("ri"),
              {c("id", T::Text), c("收名稱", T::Text), c("Let", T::Text)},
              {idx("ri_id", {"id"})}},
        Table{QStringLiteral("ri期"), instalmentColumns(), {idx("ri期_id", {"id", "期別"})}},
        Table{QStringLiteral("ri加"), additionColumns(), {idx("ri加_id", {"id", "期別"})}},
        Table{QStringLiteral("ro"),
              {c("id", T::Text), c("收名稱", T::Text), c("Let", T::Text)},
              {idx("ro_id", {"id"})}},
        Table{QStringLiteral("ro期"), instalmentColumns(), {idx("ro期_id", {"id", "期別"})}},
        Table{QStringLiteral("ro加"), additionColumns(), {idx("ro加_id", {"id", "期別"})}},
        auditTable(),
    };
    return f;
}

File makeGeneral() {
    File f{QStringLiteral("voro3.mdb"), QStringLiteral("sembrovixal"), {}};
    f.tables = {
        Table{QStringLiteral("super"), {c("super_id", T::Text), c("super_pass", T::Text)}, {}},
        Table{QStringLiteral("員工"),
              {c("員工編號", T::Text), c("中文姓名", T::Text), c("英文姓名", T::Text),
               c("pass", T::Text), c("AccS", T::Int32, "1")},
              {idx("員工_login", {"英文姓名"}), idx("員工_no", {"員工編號"})}},
        Table{QStringLiteral("廠商"),
              {c("廠商編號", T::Text), c("廠商名稱", T::Text)},
              {idx("廠商_no", {"廠商編號"})}},
        auditTable(),
    };
    return f;
}

File makePrint() {
    File f{QStringLiteral("pt.mdb"), QString(), {}};
    QVector<Column> ptios;
    for (const char* name :
         {"輸入日期", "單號",     "建議方式", "用途說明", "專案號碼", "專案名稱", "工程種類",
          "科目代號", "收支",     "科目名稱", "金額",     "附註一",   "附註二",   "申請人",
          "簽收人",   "發生日期", "單據號碼", "稅額",     "單據類別", "大寫金額"})
        ptios << c(name, T::Text);
    f.tables = {Table{QStringLiteral("company"), {c("ion", T::Text)}, {}},
                Table{QStringLiteral("ptios"), ptios, {}}};
    return f;
}

QString quote(const QString& name) {
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// On a server the text compares as SQLite's NOCASE does: citext folds case with lower(), which
// under the "C" collation folds ASCII letters only, and orders by bytes. Dates stay ISO text,
// so both engines hold the same values and the forms read them alike.
QString sqlType(ColType t, Engine engine) {
    if (engine == Engine::PostgreSQL) {
        switch (t) {
            case T::Text:
                return QStringLiteral("citext COLLATE \"C\"");
            case T::Date:
                return QStringLiteral("text COLLATE \"C\"");
            case T::Double:
                return QStringLiteral("double precision");
            case T::Int16:
            case T::Boolean:
                return QStringLiteral("smallint");
            case T::Int32:
                return QStringLiteral("integer");
            case T::Amount:
            case T::Number:
                return QStringLiteral("bigint");
        }
    }
    switch (t) {
        case T::Text:
            return QStringLiteral("TEXT COLLATE NOCASE");
        case T::Date:
            return QStringLiteral("TEXT");  // ISO text keeps dates sortable and readable
        case T::Double:
            return QStringLiteral("REAL");
        case T::Int16:
        case T::Int32:
        case T::Amount:
        case T::Number:
        case T::Boolean:
            return QStringLiteral("INTEGER");
    }
    return QStringLiteral("TEXT COLLATE NOCASE");
}

// An SQL fragment without blanks and identifier quotes, for comparing index keys however they
// were written ("length( [單號] )" and length("單號") alike).
QString plainSql(const QString& sql) {
    QString out;
    for (const QChar ch : sql) {
        if (!ch.isSpace() && ch != QLatin1Char('"') && ch != QLatin1Char('`') &&
            ch != QLatin1Char('[') && ch != QLatin1Char(']'))
            out += ch;
    }
    return out;
}

// The key terms of a CREATE INDEX text: what stands between the parentheses after the table
// name, split at the top-level commas. Empty when the text cannot be read.
QStringList indexTerms(const QString& createSql) {
    qsizetype open = -1;
    QChar quoteChar;
    for (qsizetype i = 0; i < createSql.size(); ++i) {
        const QChar ch = createSql.at(i);
        if (!quoteChar.isNull()) {
            if (ch == quoteChar)
                quoteChar = QChar();
        } else if (ch == QLatin1Char('"') || ch == QLatin1Char('`') || ch == QLatin1Char('\'')) {
            quoteChar = ch;
        } else if (ch == QLatin1Char('[')) {
            quoteChar = QLatin1Char(']');
        } else if (ch == QLatin1Char('(')) {
            open = i;
            break;
        }
    }
    if (open < 0)
        return {};
    QStringList terms;
    QString term;
    int depth = 0;
    quoteChar = QChar();
    for (qsizetype i = open + 1; i < createSql.size(); ++i) {
        const QChar ch = createSql.at(i);
        if (!quoteChar.isNull()) {
            if (ch == quoteChar)
                quoteChar = QChar();
        } else if (ch == QLatin1Char('"') || ch == QLatin1Char('`') || ch == QLatin1Char('\'')) {
            quoteChar = ch;
        } else if (ch == QLatin1Char('[')) {
            quoteChar = QLatin1Char(']');
        } else if (ch == QLatin1Char('(')) {
            ++depth;
        } else if (ch == QLatin1Char(')')) {
            if (depth == 0) {
                terms << term.trimmed();
                return terms;
            }
            --depth;
        } else if (ch == QLatin1Char(',') && depth == 0) {
            terms << term.trimmed();
            term.clear();
            continue;
        }
        term += ch;
    }
    return {};
}

QString indexPhrase(bool unique, const QString& keys) {
    return (unique ? QStringLiteral("唯一索引") : QStringLiteral("索引")) + QStringLiteral("（") +
           keys + QStringLiteral("）");
}

}  // namespace

QString IndexKey::sql() const {
    return expression.isEmpty() ? quote(column) : expression;
}

QString Index::describe() const {
    QStringList parts;
    for (const auto& k : keys)
        parts << (k.expression.isEmpty() ? k.column : plainSql(k.expression));
    return parts.join(QLatin1Char(','));
}

QStringList Table::columnNames() const {
    QStringList names;
    for (const auto& col : columns)
        names << col.name;
    return names;
}

QString File::connect() const {
    return password.isEmpty() ? QString() : QStringLiteral(";pwd=") + password;
}

const Table* File::table(const QString& name) const {
    for (const auto& t : tables) {
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    }
    return nullptr;
}

const File& acc() {
    static const File f = makeAcc();
    return f;
}

const File& general() {
    static const File f = makeGeneral();
    return f;
}

const File& print() {
    static const File f = makePrint();
    return f;
}

const QVector<const File*>& files() {
    static const QVector<const File*> all{&acc(), &general(), &print()};
    return all;
}

QString createTableSql(const Table& t, Engine engine) {
    QStringList cols;
    for (const auto& col : t.columns) {
        QString def = quote(col.name) + QLatin1Char(' ') + sqlType(col.type, engine);
        if (!col.defaultSql.isEmpty())
            def += QStringLiteral(" DEFAULT ") + col.defaultSql;
        cols << def;
    }
    // A server has no rowid of its own that stays put (ctid moves with every update): the
    // row key that cursors keep is a real column after the stored ones, which the store
    // leaves out of "select *" and of the table's definition.
    if (engine == Engine::PostgreSQL)
        cols << QStringLiteral("rowid bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
    return QStringLiteral("CREATE TABLE %1 (%2)")
        .arg(quote(t.name), cols.join(QStringLiteral(", ")));
}

QString createIndexSql(const Table& t, const Index& i, Engine engine) {
    QStringList cols;
    for (const auto& key : i.keys)
        cols << key.sql();
    QString sql = QStringLiteral("CREATE %1INDEX IF NOT EXISTS %2 ON %3 (%4)")
                      .arg(i.unique ? QStringLiteral("UNIQUE ") : QString(), quote(i.name),
                           quote(t.name), cols.join(QStringLiteral(", ")));
    // The row keys of a cursor in this order come from the index alone.
    if (engine == Engine::PostgreSQL && !i.unique)
        sql += QStringLiteral(" INCLUDE (rowid)");
    return sql;
}

void createAll(Database& db, const File& file, int version) {
    Transaction tx(db);
    for (const auto& t : file.tables) {
        if (t.since > version)
            continue;
        db.execute(createTableSql(t, db.engine()));
        for (const auto& i : t.indexes) {
            if (i.since <= version)
                db.execute(createIndexSql(t, i, db.engine()));
        }
    }
    db.setMeta(QStringLiteral("schema_version"), QString::number(version));
    tx.commit();
}

namespace {

// A server's own text of an index key, as pg_get_indexdef gives it, in the words of
// plainSql: the casts it adds (length(("單號")::text)) and the parentheses around them left
// out, so that it reads like the definition.
QString plainServerSql(QString sql) {
    sql.remove(QStringLiteral("::citext"));
    sql.remove(QStringLiteral("::text"));
    sql = plainSql(sql);
    // "length((單號))" is "length(單號)": a name alone in parentheses loses them.
    static const QRegularExpression lone(QStringLiteral("\\(\\(([^()]+)\\)\\)"));
    sql.replace(lone, QStringLiteral("(\\1)"));
    return sql;
}

// One key term of a stored index against the one wanted: a column by its name, an expression
// by its text, either without regard to case.
bool keyMatches(const IndexKey& want, bool isExpression, const QString& text) {
    if (isExpression != !want.expression.isEmpty())
        return false;
    return (isExpression ? plainSql(want.expression) : want.column)
               .compare(text, Qt::CaseInsensitive) == 0;
}

bool serverIndexMatches(Database& db, const Index& index, QString* found) {
    Statement st(db, QStringLiteral(
                         "SELECT i.indisunique, i.indkey[k - 1] = 0, pg_get_indexdef(i.indexrelid, "
                         "k, true) FROM pg_index i JOIN pg_class c ON c.oid = i.indexrelid "
                         "JOIN pg_namespace n ON n.oid = c.relnamespace, "
                         "generate_series(1, i.indnkeyatts) k "
                         "WHERE n.nspname = current_schema() AND c.relname = ? ORDER BY k"));
    st.bind({index.name.toLower()});
    QStringList have;
    bool unique = false, matches = true, any = false;
    for (int n = 0; st.step(); ++n) {
        any = true;
        unique = st.columnInt64(0) != 0;
        const bool isExpression = st.columnInt64(1) != 0;
        const QString text = plainServerSql(st.column(2).toString());
        have << text;
        if (n >= index.keys.size()) {
            matches = false;
            continue;
        }
        matches = matches && keyMatches(index.keys.at(n), isExpression, text);
    }
    if (!any)
        return false;
    matches = matches && unique == index.unique && have.size() == index.keys.size();
    if (found)
        *found = indexPhrase(unique, have.join(QLatin1Char(',')));
    return matches;
}

}  // namespace

bool indexMatches(Database& db, const Table& table, const Index& index, QString* found) {
    if (found)
        found->clear();
    if (db.engine() == Engine::PostgreSQL)
        return serverIndexMatches(db, index, found);
    const QVariant unique =
        db.scalar(QStringLiteral("SELECT \"unique\" FROM pragma_index_list(?) WHERE name = ?"),
                  {table.name, index.name});
    if (!unique.isValid())
        return false;
    const QStringList written = indexTerms(
        db.scalar(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'index' AND name = ?"),
                  {index.name})
            .toString());
    // The key terms in order: a column's name, or the expression as written (cid -2).
    QStringList have;
    bool matches = (unique.toInt() != 0) == index.unique;
    {
        Statement st(db, QStringLiteral("SELECT cid, name FROM pragma_index_xinfo(?) WHERE key = 1 "
                                        "ORDER BY seqno"));
        st.bind({index.name});
        for (int n = 0; st.step(); ++n) {
            const bool isExpression = st.columnInt64(0) == -2;
            const QString text = isExpression ? plainSql(written.value(n, QStringLiteral("?")))
                                              : st.column(1).toString();
            have << text;
            if (n >= index.keys.size()) {
                matches = false;
                continue;
            }
            matches = matches && keyMatches(index.keys.at(n), isExpression, text);
        }
    }
    if (have.size() != index.keys.size())
        matches = false;
    if (found)
        *found = indexPhrase(unique.toInt() != 0, have.join(QLatin1Char(',')));
    return matches;
}

QVector<Difference> compare(Database& db, const File& file) {
    QVector<Difference> out;
    for (const auto& t : file.tables) {
        if (!db.hasTable(t.name)) {
            out.push_back({t.name, QStringLiteral("資料表不存在")});
            continue;
        }
        const QStringList want = t.columnNames();
        const QStringList have = db.tableDef(t.name).fieldNames();
        for (int i = 0; i < std::max(want.size(), have.size()); ++i) {
            const QString w = i < want.size() ? want.at(i) : QString();
            const QString h = i < have.size() ? have.at(i) : QString();
            if (w == h)
                continue;
            if (h.isEmpty())
                out.push_back({t.name, QStringLiteral("第 %1 欄應為 %2，但缺少").arg(i).arg(w)});
            else if (w.isEmpty())
                out.push_back({t.name, QStringLiteral("第 %1 欄 %2 不在定義中").arg(i).arg(h)});
            else
                out.push_back(
                    {t.name, QStringLiteral("第 %1 欄應為 %2，實為 %3").arg(i).arg(w, h)});
        }
        // An index of the right name must also have the right keys: the unique voucher number
        // keeps two copies saving at once from sharing a number, and the number-order index is
        // what keeps the lists in number order fast.
        for (const auto& index : t.indexes) {
            QString found;
            if (indexMatches(db, t, index, &found))
                continue;
            if (found.isEmpty())
                out.push_back({t.name, QStringLiteral("缺少索引 %1").arg(index.name)});
            else
                out.push_back(
                    {t.name,
                     QStringLiteral("索引 %1 應為%2，實為%3")
                         .arg(index.name, indexPhrase(index.unique, index.describe()), found)});
        }
    }
    const int version = versionOf(db);
    if (version != kVersion)
        out.push_back(
            {QString(), QStringLiteral("資料庫版本為 %1，程式需要 %2").arg(version).arg(kVersion)});
    return out;
}

QString knownName(const QString& name) {
    static const QHash<QString, QString> names = [] {
        QHash<QString, QString> all;
        for (const File* f : files()) {
            for (const Table& t : f->tables) {
                all.insert(t.name.toLower(), t.name);
                for (const Column& col : t.columns)
                    all.insert(col.name.toLower(), col.name);
            }
        }
        return all;
    }();
    return names.value(name.toLower(), name);
}

int versionOf(Database& db) {
    return db.meta(QStringLiteral("schema_version")).toInt();
}

}  // namespace orvik::store::schema
