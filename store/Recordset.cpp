#include "Recordset.h"

#include <optional>

#include "Statement.h"

namespace orvik::store {

namespace {

using detail::quoteIdent;

bool isIdentChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// Where a keyword stands outside quotes and brackets, or -1.
int findTopLevel(const QString& sql, QLatin1String word, int from = 0) {
    int depth = 0;
    for (int i = from; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('[') ||
            c == QLatin1Char('`')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            i = sql.indexOf(close, i + 1);
            if (i < 0)
                return -1;
            continue;
        }
        if (c == QLatin1Char('('))
            ++depth;
        else if (c == QLatin1Char(')'))
            --depth;
        else if (depth == 0 && sql.mid(i, word.size()).compare(word, Qt::CaseInsensitive) == 0 &&
                 (i == 0 || !isIdentChar(sql.at(i - 1))) &&
                 (i + word.size() >= sql.size() || !isIdentChar(sql.at(i + word.size()))))
            return i;
    }
    return -1;
}

// A one-table SELECT split into what the dynaset needs.
struct SingleTable {
    QString selectList;
    QString table;
    QString tail;  // WHERE / ORDER BY ...
};

std::optional<SingleTable> splitSingleTable(const QString& source) {
    const QString sql = source.trimmed();
    if (sql.startsWith(QLatin1String("with"), Qt::CaseInsensitive) ||
        sql.startsWith(QLatin1String("explain"), Qt::CaseInsensitive))
        return std::nullopt;  // a query with its own named subqueries is read as a snapshot
    if (!sql.startsWith(QLatin1String("select"), Qt::CaseInsensitive))
        return SingleTable{QStringLiteral("*"), sql, QString()};  // a bare table name
    const int fromAt = findTopLevel(sql, QLatin1String("from"));
    if (fromAt < 0)
        return std::nullopt;
    SingleTable t;
    t.selectList = sql.mid(6, fromAt - 6).trimmed();
    if (t.selectList.startsWith(QLatin1String("distinct"), Qt::CaseInsensitive))
        return std::nullopt;
    QString rest = sql.mid(fromAt + 4).trimmed();
    int end = 0;
    if (rest.startsWith(QLatin1Char('"')) || rest.startsWith(QLatin1Char('['))) {
        const QChar close = rest.at(0) == QLatin1Char('[') ? QLatin1Char(']') : QLatin1Char('"');
        end = rest.indexOf(close, 1) + 1;
        if (end <= 0)
            return std::nullopt;
        t.table = rest.mid(1, end - 2);
    } else {
        while (end < rest.size() && isIdentChar(rest.at(end)))
            ++end;
        t.table = rest.left(end);
    }
    t.tail = rest.mid(end).trimmed();
    if (t.table.isEmpty())
        return std::nullopt;
    // Anything but WHERE / ORDER BY after the table means joins, aliases or grouping.
    if (!t.tail.isEmpty() && !t.tail.startsWith(QLatin1String("where"), Qt::CaseInsensitive) &&
        !t.tail.startsWith(QLatin1String("order"), Qt::CaseInsensitive))
        return std::nullopt;
    for (auto word : {QLatin1String("group"), QLatin1String("union"), QLatin1String("join"),
                      QLatin1String("having"), QLatin1String("limit")}) {
        if (findTopLevel(t.tail, word) >= 0)
            return std::nullopt;
    }
    if (t.selectList.contains(QLatin1Char('(')))
        return std::nullopt;  // aggregates and expressions cannot be written back
    return t;
}

[[noreturn]] void noCurrentRecord() {
    throw EngineError(err::NoCurrentRecord, QStringLiteral("沒有目前的記錄。"));
}

}  // namespace

enum class EditMode { None, Add, Edit };

struct Recordset::Impl {
    std::shared_ptr<Database> db;
    RecordsetType type = RecordsetType::Dynaset;
    bool updatable = false;
    QStringList names;
    QHash<QString, int> index;  // lower-case name → position

    // Snapshot rows, or the dynaset's keys.
    QVector<QVector<QVariant>> rows;
    QVector<qint64> keys;
    QString table;
    bool wholeTable = false;  // a dynaset without WHERE or parameters
    std::unique_ptr<Statement> fetch;
    mutable QVector<QVariant> current;
    mutable bool loaded = false;

    int pos = -1;  // -1 is BOF, count() is EOF
    bool deleted = false;
    EditMode mode = EditMode::None;
    QVector<QVariant> buffer;
    QVector<bool> changed;

    int count() const { return updatable ? int(keys.size()) : int(rows.size()); }

    void setNames(const Statement& st) {
        names.clear();
        index.clear();
        for (int i = 0; i < st.columnCount(); ++i) {
            names << st.columnName(i);
            index.insert(names.last().toLower(), i);
        }
    }

    const QVector<QVariant>& row() const {
        if (pos < 0 || pos >= count() || deleted)
            noCurrentRecord();
        if (!updatable)
            return rows.at(pos);
        if (!loaded) {
            fetch->bind({keys.at(pos)});
            if (!fetch->step())
                throw EngineError(err::RecordDeleted, QStringLiteral("記錄已被刪除。"));
            current.resize(names.size());
            for (int i = 0; i < names.size(); ++i)
                current[i] = fetch->column(i);
            fetch->reset();
            loaded = true;
        }
        return current;
    }

    void moveTo(int p) {
        if (mode != EditMode::None)
            mode = EditMode::None;  // moving away abandons an unfinished AddNew/Edit
        deleted = false;
        loaded = false;
        pos = std::clamp(p, -1, count());
    }

    int column(const QString& name) const {
        const auto it = index.constFind(name.toLower());
        if (it == index.constEnd())
            throw EngineError(err::ItemNotFound,
                              QStringLiteral("在這個集合中找不到項目 '%1'。").arg(name));
        return it.value();
    }

    void checkColumn(int p) const {
        if (p < 0 || p >= names.size())
            throw EngineError(err::ItemNotFound,
                              QStringLiteral("在這個集合中找不到項目 %1。").arg(p));
    }
};

Recordset::Recordset(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Recordset::Recordset() = default;
Recordset::Recordset(Recordset&&) noexcept = default;
Recordset& Recordset::operator=(Recordset&&) noexcept = default;
Recordset::~Recordset() = default;

Recordset Database::openRecordset(const QString& source, RecordsetType type,
                                  const QVariantList& params) {
    auto impl = std::make_unique<Recordset::Impl>();
    impl->db = shared_from_this();
    impl->type = type;
    const auto single = type == RecordsetType::Dynaset ? splitSingleTable(source) : std::nullopt;

    if (single) {
        if (!hasTable(single->table))
            throw EngineError(err::TableNotFound,
                              QStringLiteral("找不到輸入資料表或查詢 '%1'。").arg(single->table));
        impl->updatable = true;
        impl->table = single->table;
        const QString from = QStringLiteral(" FROM ") + quoteIdent(single->table);
        impl->fetch = std::make_unique<Statement>(
            *this, QStringLiteral("SELECT ") + single->selectList + from + " WHERE rowid = ?");
        impl->setNames(*impl->fetch);
        Statement keys(*this,
                       QStringLiteral("SELECT rowid") + from + QLatin1Char(' ') + single->tail);
        keys.bind(params);
        while (keys.step())
            impl->keys.push_back(keys.columnInt64(0));
        impl->wholeTable = params.isEmpty() &&
                           !single->tail.startsWith(QLatin1String("where"), Qt::CaseInsensitive);
    } else {
        QString sql = source.trimmed();
        if (!sql.startsWith(QLatin1String("select"), Qt::CaseInsensitive) &&
            !sql.startsWith(QLatin1String("with"), Qt::CaseInsensitive) &&
            !sql.startsWith(QLatin1String("explain"), Qt::CaseInsensitive)) {
            if (!hasTable(sql))
                throw EngineError(err::TableNotFound,
                                  QStringLiteral("找不到輸入資料表或查詢 '%1'。").arg(sql));
            sql = QStringLiteral("SELECT * FROM ") + quoteIdent(sql);
        }
        Statement st(*this, sql);
        st.bind(params);
        // The first step runs the statement; a server knows its columns only then.
        bool more = st.step();
        impl->setNames(st);
        for (; more; more = st.step()) {
            QVector<QVariant> row(impl->names.size());
            for (int i = 0; i < row.size(); ++i)
                row[i] = st.column(i);
            impl->rows.push_back(std::move(row));
        }
    }
    impl->pos = impl->count() > 0 ? 0 : -1;
    return Recordset(std::move(impl));
}

namespace {

// The expressions of an ORDER BY list, split at its top-level commas.
QStringList orderTerms(const QString& orderBy) {
    QStringList terms;
    int depth = 0;
    QString term;
    for (const QChar c : orderBy) {
        if (c == QLatin1Char('('))
            ++depth;
        else if (c == QLatin1Char(')'))
            --depth;
        if (c == QLatin1Char(',') && depth == 0) {
            terms << term.trimmed();
            term.clear();
        } else {
            term += c;
        }
    }
    terms << term.trimmed();
    return terms;
}

}  // namespace

bool Recordset::takeInAddedRows(const QString& orderBy) {
    Impl& d = *impl_;
    if (!d.updatable || !d.wholeTable || d.mode != EditMode::None)
        return false;
    Database& db = *d.db;
    const QString table = quoteIdent(d.table);
    const QStringList terms = orderTerms(orderBy);
    const qint64 highest = d.keys.isEmpty() ? 0 : *std::max_element(d.keys.begin(), d.keys.end());
    // Keys grow with every row added (no row is ever removed), so the new rows are those above
    // the highest key held; read with the values they are ordered by.
    struct Added {
        qint64 key;
        QVariantList values;
        qsizetype at = 0;
    };
    QVector<Added> added;
    {
        Statement st(db, QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid > ?")
                             .arg(terms.join(QStringLiteral(", ")), table));
        st.bind({highest});
        while (st.step()) {
            Added a{st.columnInt64(0), {}};
            for (int i = 0; i < terms.size(); ++i)
                a.values << st.column(i + 1);
            added.push_back(std::move(a));
        }
    }
    if (added.isEmpty())
        return true;
    // A new row's place counted from the end: the rows after it, one index range per term
    // (after on the first, or equal on the first and after on the second, ...), each short
    // when the row sorts near the end, as new vouchers do. A row value compared as a whole
    // would make SQLite read the whole index.
    QStringList counts;
    for (int k = 0; k < terms.size(); ++k) {
        QStringList conditions;
        for (int j = 0; j < k; ++j)
            conditions << terms.at(j) + QStringLiteral(" = ?");
        conditions << terms.at(k) + QStringLiteral(" > ?");
        counts << QStringLiteral("(SELECT count(*) FROM %1 WHERE %2)")
                      .arg(table, conditions.join(QStringLiteral(" AND ")));
    }
    Statement after(db, QStringLiteral("SELECT ") + counts.join(QStringLiteral(" + ")));
    const qsizetype total = d.keys.size() + added.size();
    for (Added& a : added) {
        QVariantList params;
        for (int k = 0; k < terms.size(); ++k) {
            params << a.values.mid(0, k);
            params << a.values.at(k);
        }
        after.bind(params);
        const qsizetype later = after.step() ? qsizetype(after.columnInt64(0)) : total;
        after.reset();
        a.at = total - 1 - later;
    }
    // Put in from the first place on, each at its place in the finished order.
    std::sort(added.begin(), added.end(),
              [](const Added& x, const Added& y) { return x.at < y.at; });
    const bool onRow = d.pos >= 0 && d.pos < d.keys.size();
    const qint64 current = onRow ? d.keys.at(d.pos) : 0;
    for (const Added& a : added) {
        if (a.at < 0 || a.at > d.keys.size())
            return false;  // not as the rows were assumed to be: open the cursor again
        d.keys.insert(a.at, a.key);
    }
    d.loaded = false;
    if (onRow)
        d.pos = int(d.keys.indexOf(current));
    else if (d.pos >= 0)
        d.pos = d.count();  // it was EOF
    return true;
}

bool Recordset::isBOF() const {
    return impl_->count() == 0 || impl_->pos < 0;
}
bool Recordset::isEOF() const {
    return impl_->count() == 0 || impl_->pos >= impl_->count();
}
int Recordset::RecordCount() const {
    return impl_->count();
}
int Recordset::AbsolutePosition() const {
    return (isBOF() || isEOF() || impl_->deleted) ? -1 : impl_->pos;
}

void Recordset::MoveFirst() {
    if (impl_->count() == 0)
        noCurrentRecord();
    impl_->moveTo(0);
}

void Recordset::MoveLast() {
    if (impl_->count() == 0)
        noCurrentRecord();
    impl_->moveTo(impl_->count() - 1);
}

void Recordset::MoveNext() {
    if (isEOF())
        noCurrentRecord();
    impl_->moveTo(impl_->pos + 1);
}

void Recordset::MovePrevious() {
    if (isBOF() && !impl_->deleted)
        noCurrentRecord();
    // After a Delete the position already stands on the row before the deleted one.
    impl_->moveTo(impl_->deleted ? impl_->pos : impl_->pos - 1);
}

void Recordset::Move(int rows) {
    if (rows == 0)
        return;
    if (impl_->count() == 0 || (rows > 0 && isEOF()) || (rows < 0 && isBOF()))
        noCurrentRecord();
    impl_->moveTo(impl_->pos + rows);
}

int Recordset::fieldCount() const {
    return impl_->names.size();
}
QStringList Recordset::fieldNames() const {
    return impl_->names;
}
int Recordset::fieldIndex(const QString& name) const {
    return impl_->column(name);
}

QVariant Recordset::field(int pos) const {
    impl_->checkColumn(pos);
    if (impl_->mode != EditMode::None)
        return impl_->buffer.at(pos);
    return impl_->row().at(pos);
}

QVariant Recordset::field(const QString& name) const {
    return field(impl_->column(name));
}

void Recordset::AddNew() {
    if (!impl_->updatable)
        throw EngineError(err::ReadOnly, QStringLiteral("無法更新。資料庫或物件為唯讀。"));
    impl_->mode = EditMode::Add;
    impl_->buffer = QVector<QVariant>(impl_->names.size());
    impl_->changed = QVector<bool>(impl_->names.size(), false);
}

void Recordset::Edit() {
    if (!impl_->updatable)
        throw EngineError(err::ReadOnly, QStringLiteral("無法更新。資料庫或物件為唯讀。"));
    impl_->buffer = impl_->row();
    impl_->changed = QVector<bool>(impl_->names.size(), false);
    impl_->mode = EditMode::Edit;
}

void Recordset::setField(int pos, const QVariant& value) {
    impl_->checkColumn(pos);
    if (impl_->mode == EditMode::None)
        throw EngineError(err::UpdateWithoutEdit,
                          QStringLiteral("沒有使用 AddNew 或 Edit 就執行更新或取消更新。"));
    impl_->buffer[pos] = toStored(value);
    impl_->changed[pos] = true;
}

void Recordset::setField(const QString& name, const QVariant& value) {
    setField(impl_->column(name), value);
}

void Recordset::Update() {
    Impl& d = *impl_;
    if (d.mode == EditMode::None)
        throw EngineError(err::UpdateWithoutEdit,
                          QStringLiteral("沒有使用 AddNew 或 Edit 就執行更新或取消更新。"));
    QStringList cols;
    QVariantList values;
    for (int i = 0; i < d.names.size(); ++i) {
        if (d.changed.at(i)) {
            cols << quoteIdent(d.names.at(i));
            values << d.buffer.at(i);
        }
    }
    const QString table = quoteIdent(d.table);
    if (d.mode == EditMode::Add) {
        QString sql;
        if (cols.isEmpty()) {
            sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table);
        } else {
            QStringList marks;
            for (int i = 0; i < cols.size(); ++i)
                marks << QStringLiteral("?");
            sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(table, cols.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
        }
        // The new row joins the end of the cursor; the current row stays where it was.
        d.keys.push_back(d.db->insert(sql, values));
        if (d.pos < 0 && d.keys.size() == 1)
            d.pos = 0;
        else if (d.pos == d.keys.size() - 1)
            d.pos = d.keys.size();  // it was EOF before the row was added
    } else if (!cols.isEmpty()) {
        values << d.keys.at(d.pos);
        d.db->execute(QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
                          .arg(table, cols.join(QLatin1String(" = ?, "))),
                      values);
    }
    d.mode = EditMode::None;
    d.loaded = false;
}

void Recordset::CancelUpdate() {
    impl_->mode = EditMode::None;
}

void Recordset::Delete() {
    Impl& d = *impl_;
    if (!d.updatable)
        throw EngineError(err::ReadOnly, QStringLiteral("無法更新。資料庫或物件為唯讀。"));
    if (d.pos < 0 || d.pos >= d.count() || d.deleted)
        noCurrentRecord();
    d.db->execute(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quoteIdent(d.table)),
                  {d.keys.at(d.pos)});
    d.keys.remove(d.pos);
    // The deleted row stays current until the next move, which lands on its neighbour.
    --d.pos;
    d.deleted = true;
    d.loaded = false;
}

void Recordset::Close() {
    impl_.reset();
}

QVector<QVector<QVariant>> Recordset::takeRows() {
    if (!impl_)
        return {};
    if (impl_->updatable)
        throw EngineError(err::ReadOnly, QStringLiteral("只有快照才能整批取出資料列。"));
    QVector<QVector<QVariant>> rows = std::move(impl_->rows);
    const int from = std::clamp(impl_->pos, 0, int(rows.size()));
    if (from > 0)
        rows.remove(0, from);
    impl_.reset();
    return rows;
}

}  // namespace orvik::store
