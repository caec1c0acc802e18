#include "Database.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QUrl>
#include <QUrlQuery>
#include <cerrno>
#include <cstring>
#include <set>

#include <sys/stat.h>

#include "Engine.h"
#include "Recordset.h"
#include "Statement.h"
#include "TableDef.h"

namespace orvik::store {

namespace {

const QString kMetaTable = QStringLiteral("orvik_meta");

std::set<Database*>& openDatabases() {
    // Never destroyed: program-wide handles may outlive every other static at exit.
    static auto* all = new std::set<Database*>;
    return *all;
}

QString passwordFromConnect(const QString& connect) {
    // The connect text is ";pwd=secret" (other keys, if ever given, are ignored).
    const auto parts = connect.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (part.trimmed().startsWith(QLatin1String("pwd="), Qt::CaseInsensitive))
            return part.trimmed().mid(4);
    }
    return {};
}

QString hashPassword(const QString& salt, const QString& password) {
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(salt.toUtf8());
    h.addData(QByteArrayLiteral("\x1f"));
    h.addData(password.toUtf8());
    return QString::fromLatin1(h.result().toHex());
}

bool isWriteStatement(const QString& sql) {
    const QString head = sql.trimmed().section(QLatin1Char(' '), 0, 0).toUpper();
    return head == QLatin1String("INSERT") || head == QLatin1String("UPDATE") ||
           head == QLatin1String("DELETE") || head == QLatin1String("REPLACE");
}

// Marks the file's name after a server's URI in a database path; a URI keeps '#' for nothing
// else that libpq reads.
const QChar kServerFileMark = QLatin1Char('#');

}  // namespace

bool isServerLocation(const QString& location) {
    const QString s = location.trimmed();
    return s.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           s.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive) ||
           s.startsWith(QLatin1String("service="), Qt::CaseInsensitive);
}

QString databasePath(const QString& location, const QString& fileName) {
    if (isServerLocation(location))
        return location.trimmed() + kServerFileMark + fileName;
    // A folder at the root ("/") is not doubled into "//acc.mdb".
    return location.endsWith(QLatin1Char('/')) ? location + fileName
                                               : location + QLatin1Char('/') + fileName;
}

QString shownLocation(const QString& location) {
    if (!isServerLocation(location))
        return location;
    QString s = location.trimmed();
    const qsizetype mark = s.lastIndexOf(kServerFileMark);
    if (mark >= 0)
        s.truncate(mark);
    if (!s.startsWith(QLatin1String("postgres"), Qt::CaseInsensitive))
        return s;  // service=name holds no password
    QUrl url(s, QUrl::TolerantMode);
    if (!url.isValid())
        return s;
    // A password written into the URI against the advice stays out of every message.
    url.setPassword(QString());
    QUrlQuery query(url);
    query.removeAllQueryItems(QStringLiteral("password"));
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
}

bool holdsPassword(const QString& location) {
    const QString s = location.trimmed();
    if (!isServerLocation(s) || !s.startsWith(QLatin1String("postgres"), Qt::CaseInsensitive))
        return false;
    const QUrl url(s, QUrl::TolerantMode);
    return !url.password().isEmpty() || QUrlQuery(url).hasQueryItem(QStringLiteral("password"));
}

QString detail::quoteIdent(const QString& name) {
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

bool makeFolder(const QString& path, QString* error) {
    const QString absolute = QDir::cleanPath(QDir(path).absolutePath());
    QStringList missing;
    QString at = absolute;
    while (!QFileInfo::exists(at)) {
        missing.prepend(at);
        const QString up = QFileInfo(at).path();
        if (up == at)
            break;
        at = up;
    }
    if (QFileInfo::exists(at) && !QFileInfo(at).isDir()) {
        if (error)
            *error = QStringLiteral("%1 不是資料夾").arg(at);
        return false;
    }
    for (const QString& dir : missing) {
        const QByteArray name = QFile::encodeName(dir);
        if (::mkdir(name.constData(), kFolderPermissions) != 0) {
            const int e = errno;
            if (e == EEXIST && QFileInfo(dir).isDir())
                continue;  // made by someone else meanwhile: theirs to set
            if (error)
                *error = QStringLiteral("無法建立資料夾 %1：%2")
                             .arg(dir, QString::fromLocal8Bit(std::strerror(e)));
            return false;
        }
        // The umask may have taken the group's bits away; a set-group-ID bit inherited from
        // the folder above stays, so the office's group follows the files down.
        struct stat st {};
        const mode_t setgid = ::stat(name.constData(), &st) == 0 ? (st.st_mode & S_ISGID) : 0;
        ::chmod(name.constData(), kFolderPermissions | setgid);
    }
    return true;
}

EngineError::EngineError(int number, const QString& description)
    : std::runtime_error(QStringLiteral("%1 %2").arg(number).arg(description).toStdString()),
      number_(number),
      description_(description) {}

// ---------------------------------------------------------------------------------------------
// RowReader

RowReader::RowReader(Database& db, const QString& sql, const QVariantList& params)
    : st_(std::make_unique<Statement>(db, sql, true)) {
    st_->bind(params);
}

RowReader::~RowReader() = default;

bool RowReader::next() {
    return st_->step();
}

QVariant RowReader::value(int column) const {
    return st_->column(column);
}

qint64 RowReader::integer(int column) const {
    return st_->columnInt64(column);
}

QByteArray RowReader::bytes(int column) const {
    return st_->columnBytes(column);
}

bool RowReader::isInteger(int column) const {
    return st_->columnIsInteger(column);
}

// ---------------------------------------------------------------------------------------------
// Statement

Statement::Statement(Database& db, const QString& sql, bool streamed)
    : impl_(db.engineConnection().prepare(sql, streamed)) {}

Statement::~Statement() = default;

void Statement::bind(const QVariantList& params) {
    impl_->clearBindings();
    for (int i = 0; i < params.size(); ++i)
        impl_->bind(i + 1, toStored(params.at(i)));
}

void Statement::bind(int index, const QVariant& value) {
    impl_->bind(index, toStored(value));
}

bool Statement::step() {
    return impl_->step();
}

void Statement::reset() {
    impl_->reset();
}

// ---------------------------------------------------------------------------------------------
// Database

Database::Database(QString path, std::unique_ptr<detail::Connection> conn)
    : path_(std::move(path)), conn_(std::move(conn)), engine_(conn_->engine()) {
    openDatabases().insert(this);
}

Database::~Database() {
    openDatabases().erase(this);
    if (depth_ > 0)
        conn_->runQuietly("ROLLBACK");
}

sqlite3* Database::handle() {
    return conn_->sqliteHandle();
}

QSqlDatabase& Database::connection() {
    static QSqlDatabase none;
    QSqlDatabase* db = conn_->qtConnection();
    return db ? *db : none;
}

std::shared_ptr<Database> Database::openConnection(const QString& path, bool create) {
    auto conn = isServerLocation(path) ? detail::openPostgres(path, create)
                                       : detail::openSqlite(path, create);
    return std::shared_ptr<Database>(new Database(path, std::move(conn)));
}

QString Database::containsMask(const QString& needle, const QStringList& columns) const {
    if (engine_ != Engine::PostgreSQL)
        return QStringLiteral("orvik_contains_mask(%1, %2)")
            .arg(needle, columns.join(QStringLiteral(", ")));
    // Written out on the server: a function call per row, unnesting its arguments, took ten
    // times as long as the tests themselves over a million vouchers.
    QStringList bits;
    for (qsizetype i = 0; i < columns.size(); ++i)
        bits << QStringLiteral(
                    "CASE WHEN strpos(lower(CAST(%1 AS text) COLLATE \"C\"), "
                    "lower(CAST(%2 AS text) COLLATE \"C\")) > 0 THEN %3 ELSE 0 END")
                    .arg(columns.at(i), needle)
                    .arg(qint64(1) << i);
    return QStringLiteral("(%1)").arg(bits.join(QStringLiteral(" + ")));
}

std::shared_ptr<Database> Database::open(const QString& path, const QString& connect) {
    auto db = openConnection(path, false);
    const QString given = passwordFromConnect(connect);
    QString salt, stored;
    if (db->hasTable(kMetaTable)) {
        salt = db->meta(QStringLiteral("password_salt"));
        stored = db->meta(QStringLiteral("password_hash"));
    }
    const bool ok = stored.isEmpty() ? given.isEmpty() : hashPassword(salt, given) == stored;
    if (!ok)
        throw EngineError(err::InvalidPassword, QStringLiteral("不是有效的密碼。"));
    return db;
}

std::shared_ptr<Database> Database::create(const QString& path, const QString& password) {
    auto db = openConnection(path, true);
    db->execute(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (key TEXT PRIMARY KEY, value TEXT)")
                    .arg(kMetaTable));
    db->setPassword(password);
    return db;
}

void Database::setPassword(const QString& password) {
    if (password.isEmpty()) {
        execute(QStringLiteral("DELETE FROM %1 WHERE key IN ('password_salt','password_hash')")
                    .arg(kMetaTable));
        return;
    }
    const QString salt =
        QString::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, u'0');
    Transaction tx(*this);
    setMeta(QStringLiteral("password_salt"), salt);
    setMeta(QStringLiteral("password_hash"), hashPassword(salt, password));
    tx.commit();
}

QString Database::meta(const QString& key) {
    if (!hasTable(kMetaTable))
        return {};
    return scalar(QStringLiteral("SELECT value FROM %1 WHERE key = ?").arg(kMetaTable), {key})
        .toString();
}

void Database::setMeta(const QString& key, const QString& value) {
    Transaction tx(*this);
    execute(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (key TEXT PRIMARY KEY, value TEXT)")
                .arg(kMetaTable));
    // Both engines read this form of an upsert.
    execute(QStringLiteral("INSERT INTO %1 (key, value) VALUES (?, ?) "
                           "ON CONFLICT (key) DO UPDATE SET value = excluded.value")
                .arg(kMetaTable),
            {key, value});
    tx.commit();
}

int Database::execute(const QString& sql, const QVariantList& params) {
    // A lone write still takes the write lock up front, so it waits for other writers
    // instead of failing half-way through a lock upgrade.
    const bool wrap = depth_ == 0 && isWriteStatement(sql);
    if (wrap)
        beginTrans();
    try {
        Statement st(*this, sql);
        st.bind(params);
        while (st.step()) {
        }
        const int changed = conn_->changes();
        if (wrap)
            commitTrans();
        return changed;
    } catch (...) {
        if (wrap)
            rollback();
        throw;
    }
}

qint64 Database::insert(const QString& sql, const QVariantList& params) {
    const bool wrap = depth_ == 0;
    if (wrap)
        beginTrans();
    try {
        QVariantList stored;
        stored.reserve(params.size());
        for (const QVariant& v : params)
            stored << toStored(v);
        const qint64 key = conn_->insertReturningKey(sql, stored);
        if (wrap)
            commitTrans();
        return key;
    } catch (...) {
        if (wrap)
            rollback();
        throw;
    }
}

QVariant Database::scalar(const QString& sql, const QVariantList& params) {
    Statement st(*this, sql);
    st.bind(params);
    if (!st.step())
        return {};
    QVariant v = st.column(0);
    st.reset();
    return v;
}

bool Database::hasTable(const QString& table) {
    return conn_->hasTable(table);
}

QStringList Database::tableNames() {
    return conn_->tableNames();
}

TableDef Database::tableDef(const QString& table) {
    return TableDef(*this, table);
}

void Database::beginTrans() {
    if (depth_ == 0)
        conn_->beginWrite();
    else
        conn_->run("SAVEPOINT orvik_" + QByteArray::number(depth_));
    ++depth_;
}

void Database::beginRead() {
    if (depth_ > 0) {
        ++readDepth_;
        return;
    }
    conn_->beginRead();
    ++depth_;
}

void Database::endRead() {
    if (readDepth_ > 0) {
        --readDepth_;
        return;
    }
    if (depth_ != 1)
        return;  // rolled back meanwhile (rollbackAll after an engine error)
    // Nothing was written: ending it cannot fail in a way that matters, and a destructor calls
    // this.
    try {
        conn_->run("COMMIT");
    } catch (const EngineError&) {
        conn_->runQuietly("ROLLBACK");
    }
    depth_ = 0;
}

void Database::commitTrans() {
    if (depth_ == 0)
        throw EngineError(err::ReservedError, QStringLiteral("沒有進行中的交易，無法認可。"));
    const QByteArray sql = depth_ == 1
                               ? QByteArray("COMMIT")
                               : "RELEASE SAVEPOINT orvik_" + QByteArray::number(depth_ - 1);
    try {
        conn_->run(sql);
    } catch (...) {
        // A failed COMMIT (busy readers past the timeout) leaves the transaction open; undo
        // it, so the caller's error path leaves nothing half-written.
        if (depth_ == 1) {
            conn_->runQuietly("ROLLBACK");
            depth_ = 0;
        }
        throw;
    }
    --depth_;
}

void Database::rollback() {
    if (depth_ == 0)
        return;
    if (depth_ == 1) {
        conn_->runQuietly("ROLLBACK");
    } else {
        const QByteArray name = "orvik_" + QByteArray::number(depth_ - 1);
        conn_->runQuietly("ROLLBACK TO SAVEPOINT " + name + "; RELEASE SAVEPOINT " + name);
    }
    --depth_;
}

void Database::rollbackAll() {
    for (Database* db : openDatabases()) {
        while (db->depth_ > 0)
            db->rollback();
    }
}

void Database::setBusyTimeout(int milliseconds) {
    conn_->setBusyTimeout(milliseconds);
}

Recordset Database::openRecordset(const QString& source, const QVariantList& params,
                                  RecordsetType type) {
    return openRecordset(source, type, params);
}

Transaction::~Transaction() {
    if (!done_) {
        db_.rollback();
    }
}

void Transaction::commit() {
    done_ = true;
    db_.commitTrans();
}

// ---------------------------------------------------------------------------------------------
// Conversions

QVariant toStored(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::Bool:
            return QVariant(qlonglong(v.toBool() ? -1 : 0));
        case QMetaType::QDate: {
            const QDate d = v.toDate();
            return d.isValid() ? QVariant(d.toString(Qt::ISODate)) : QVariant();
        }
        case QMetaType::QDateTime: {
            const QDate d = v.toDateTime().date();
            return d.isValid() ? QVariant(d.toString(Qt::ISODate)) : QVariant();
        }
        default:
            return v;
    }
}

bool storedBool(const QVariant& v) {
    if (v.isNull())
        return false;
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed();
        if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        bool ok = false;
        const double d = s.toDouble(&ok);
        return ok && d != 0;
    }
    return v.toDouble() != 0;
}

QDate storedDate(const QVariant& v) {
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::QDate)
        return v.toDate();
    const QString s = v.toString().trimmed();
    QDate d = QDate::fromString(s.left(10), Qt::ISODate);
    if (!d.isValid())
        d = QDate::fromString(s.left(10), QStringLiteral("yyyy/MM/dd"));
    return d;
}

QString likeContains(const QString& text) {
    QString escaped;
    escaped.reserve(text.size() + 2);
    escaped += QLatin1Char('%');
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    escaped += QLatin1Char('%');
    return escaped;
}

}  // namespace orvik::store
