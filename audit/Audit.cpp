#include "Audit.h"

#include <sodium.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QMap>
#include <algorithm>
#include <array>

#include "Clock.h"
#include "Globals.h"
#include "Recordset.h"

namespace orvik::audit {

using store::Database;
using store::EngineError;
using store::Recordset;
using store::RecordsetType;

namespace {

struct KindInfo {
    Kind kind;
    const char* name;
    const char* caption;
};

constexpr KindInfo kKinds[] = {
    {Kind::Insert, "insert", "新增"},
    {Kind::Rewrite, "rewrite", "修改"},
    {Kind::Void, "void", "作廢"},
    {Kind::ApproveCash, "approve-cash", "現金簽核"},
    {Kind::ApproveBill, "approve-bill", "票據簽核"},
    {Kind::CombinedBill, "combined-bill", "合計開票"},
    {Kind::BillCashed, "bill-cashed", "票據兌現"},
    {Kind::BillVoided, "bill-voided", "票據作廢"},
    {Kind::BillBounced, "bill-bounced", "退票"},
    {Kind::WriteOff, "write-off", "沖帳"},
    {Kind::Transfer, "transfer", "轉帳"},
    {Kind::MasterData, "master-data", "基本資料"},
    {Kind::Rights, "rights", "權限"},
    {Kind::LoginFailure, "login-failure", "登入失敗"},
    {Kind::Import, "import", "轉入"},
    {Kind::PasswordChange, "password-change", "密碼變更"},
};

const QString kColumns = QStringLiteral(
    "id, work_date, real_time, login, kind, tbl, row_key, voucher, before_values, after_values, "
    "note, hash");

std::function<void(Moment)>& recordHook() {
    static std::function<void(Moment)> hook;
    return hook;
}

QString quoteName(const QString& name) {
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

bool isEmployeeTable(const QString& table) {
    return table == QStringLiteral("員工");
}

bool isPasswordColumn(const QString& column) {
    return column.compare(QLatin1String("pass"), Qt::CaseInsensitive) == 0;
}

// What the trail shows of a password: whether one is set, never the value or its hash.
QJsonValue passwordShown(const QJsonValue& v) {
    if (v.isNull() || v.isUndefined() || v.toString().isEmpty())
        return QString();
    return QStringLiteral("(已設定)");
}

QJsonObject withoutPasswords(const QString& table, QJsonObject o) {
    if (!isEmployeeTable(table))
        return o;
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (isPasswordColumn(it.key()))
            it.value() = passwordShown(it.value());
    }
    return o;
}

QJsonValue jsonOf(const QVariant& v) {
    if (!v.isValid() || v.isNull())
        return QJsonValue(QJsonValue::Null);
    switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UInt:
        case QMetaType::Long:
            return QJsonValue(v.toLongLong());
        case QMetaType::Double:
        case QMetaType::Float:
            return QJsonValue(v.toDouble());
        case QMetaType::Bool:
            return QJsonValue(qint64(v.toBool() ? -1 : 0));  // as the books store it
        case QMetaType::QDate:
            return QJsonValue(v.toDate().toString(Qt::ISODate));
        case QMetaType::QByteArray:
            return QJsonValue(QString::fromLatin1(v.toByteArray().toBase64()));
        default:
            return QJsonValue(v.toString());
    }
}

// Before and after as the event keeps them: what is on one side only, and what differs.
void keepDifferences(QJsonObject& before, QJsonObject& after) {
    if (before.isEmpty() || after.isEmpty())
        return;
    QStringList same;
    for (auto it = before.constBegin(); it != before.constEnd(); ++it) {
        const auto other = after.constFind(it.key());
        if (other != after.constEnd() && other.value() == it.value())
            same << it.key();
    }
    for (const QString& key : same) {
        before.remove(key);
        after.remove(key);
    }
}

QString jsonText(const QJsonObject& o) {
    return o.isEmpty() ? QString()
                       : QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

// The fields of an event in the order the hash takes them, each as the text stored.
struct Fields {
    QString id, workDate, realTime, login, kind, table, key, voucher, before, after, note;
};

// The chained hash: BLAKE2b-256 over the previous event's hash (as its 64 hexadecimal
// characters; nothing for the first event) followed by every field as a netstring of its
// UTF-8 bytes ("<length>:<bytes>,"), in the order of Fields. Hex, lower case.
using FieldBytes = std::array<QByteArray, 11>;

QByteArray chainHashOf(const QByteArray& previous, const FieldBytes& fields) {
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, crypto_generichash_BYTES);
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(previous.constData()),
                              quint64(previous.size()));
    QByteArray buffer;
    for (const QByteArray& bytes : fields) {
        buffer.clear();
        buffer += QByteArray::number(bytes.size());
        buffer += ':';
        buffer += bytes;
        buffer += ',';
        crypto_generichash_update(&state,
                                  reinterpret_cast<const unsigned char*>(buffer.constData()),
                                  quint64(buffer.size()));
    }
    unsigned char out[crypto_generichash_BYTES];
    crypto_generichash_final(&state, out, sizeof out);
    return QByteArray(reinterpret_cast<const char*>(out), sizeof out).toHex();
}

QString chainHash(const QByteArray& previous, const Fields& f) {
    return QString::fromLatin1(chainHashOf(
        previous, {f.id.toUtf8(), f.workDate.toUtf8(), f.realTime.toUtf8(), f.login.toUtf8(),
                   f.kind.toUtf8(), f.table.toUtf8(), f.key.toUtf8(), f.voucher.toUtf8(),
                   f.before.toUtf8(), f.after.toUtf8(), f.note.toUtf8()}));
}

void ensureSodium() {
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw EngineError(store::err::ReservedError,
                          QStringLiteral("無法啟用加密函式庫 libsodium。"));
}

// Now on the computer's clock, not the program's: the event must show when it was written,
// whatever working date the user chose at login.
QString realNow() {
    return QDateTime::currentDateTime()
        .toOffsetFromUtc(QDateTime::currentDateTime().offsetFromUtc())
        .toString(Qt::ISODateWithMs);
}

StoredEvent storedOf(const Recordset& rs) {
    StoredEvent e;
    e.id = rs.field(0).toLongLong();
    e.workDate = store::storedDate(rs.field(1));
    e.realTime = rs.text(2);
    e.login = rs.text(3);
    e.kind = rs.text(4);
    e.table = rs.text(5);
    e.key = rs.text(6);
    e.voucher = rs.text(7);
    e.before = rs.text(8);
    e.after = rs.text(9);
    e.note = rs.text(10);
    e.hash = rs.text(11);
    return e;
}

// Every value of a JSON object by its path of keys, nested objects walked through.
void flatten(const QJsonObject& o, const QString& prefix, QMap<QString, QJsonValue>& out) {
    for (auto it = o.constBegin(); it != o.constEnd(); ++it) {
        const QString path = prefix.isEmpty() ? it.key() : prefix + QLatin1Char(' ') + it.key();
        if (it.value().isObject())
            flatten(it.value().toObject(), path, out);
        else
            out.insert(path, it.value());
    }
}

QString shown(const QJsonValue& v) {
    if (v.isNull() || v.isUndefined())
        return QStringLiteral("(空)");
    if (v.isDouble()) {
        const double d = v.toDouble();
        return d == double(qint64(d)) ? QString::number(qint64(d)) : QString::number(d);
    }
    if (v.isBool())
        return v.toBool() ? QStringLiteral("是") : QStringLiteral("否");
    if (v.isArray())
        return QString::fromUtf8(QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact));
    const QString s = v.toString();
    return s.isEmpty() ? QStringLiteral("(空)") : s;
}

}  // namespace

QString describeChange(const QString& beforeJson, const QString& afterJson) {
    QMap<QString, QJsonValue> before, after;
    flatten(QJsonDocument::fromJson(beforeJson.toUtf8()).object(), QString(), before);
    flatten(QJsonDocument::fromJson(afterJson.toUtf8()).object(), QString(), after);
    QStringList paths = before.keys();
    for (const QString& p : after.keys()) {
        if (!before.contains(p))
            paths << p;
    }
    QStringList parts;
    for (const QString& p : paths) {
        if (before.contains(p) && after.contains(p))
            parts << QStringLiteral("%1: %2 → %3")
                         .arg(p, shown(before.value(p)), shown(after.value(p)));
        else if (after.contains(p))
            parts << QStringLiteral("%1: %2").arg(p, shown(after.value(p)));
        else
            parts << QStringLiteral("%1: %2 → (無)").arg(p, shown(before.value(p)));
    }
    return parts.join(QStringLiteral("；"));
}

QString kindName(Kind kind) {
    for (const auto& k : kKinds) {
        if (k.kind == kind)
            return QString::fromUtf8(k.name);
    }
    return {};
}

std::optional<Kind> kindFromName(const QString& name) {
    for (const auto& k : kKinds) {
        if (name == QLatin1String(k.name))
            return k.kind;
    }
    return std::nullopt;
}

QString kindCaption(Kind kind) {
    for (const auto& k : kKinds) {
        if (k.kind == kind)
            return QString::fromUtf8(k.caption);
    }
    return {};
}

QVector<Kind> allKinds() {
    QVector<Kind> out;
    for (const auto& k : kKinds)
        out << k.kind;
    return out;
}

void setRecordHook(std::function<void(Moment)> hook) {
    recordHook() = std::move(hook);
}

void record(Database& db, const Event& e) {
    if (db.transactionDepth() == 0)
        throw EngineError(store::err::ReservedError,
                          QStringLiteral("稽核紀錄必須與它所記錄的變更在同一個交易中寫入。"));
    ensureSodium();
    if (recordHook())
        recordHook()(Moment::BeforeEvent);

    QJsonObject before = withoutPasswords(e.table, e.before);
    QJsonObject after = withoutPasswords(e.table, e.after);
    keepDifferences(before, after);

    // The previous event is read inside this transaction, which no other writer shares, so
    // two copies writing at once still make one chain.
    qint64 lastId = 0;
    QByteArray previous;
    {
        Recordset last =
            db.openRecordset(QStringLiteral("select id, hash from audit order by id desc limit 1"),
                             RecordsetType::Snapshot);
        if (!last.isEOF()) {
            lastId = last.field(0).toLongLong();
            previous = last.text(1).toLatin1();
        }
        last.Close();
    }

    Fields f;
    f.id = QString::number(lastId + 1);
    f.workDate = app::Clock::today().toString(Qt::ISODate);
    f.realTime = realNow();
    f.login = app::gLoginName;
    f.kind = kindName(e.kind);
    f.table = e.table;
    f.key = e.key;
    f.voucher = e.voucher;
    if (f.voucher.isEmpty() &&
        (e.table == QLatin1String("iof") || e.table == QLatin1String("bill")))
        f.voucher = e.key;
    f.before = jsonText(before);
    f.after = jsonText(after);
    f.note = e.note;
    const QString hash = chainHash(previous, f);

    db.execute(QStringLiteral("insert into audit (%1) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                   .arg(kColumns),
               {lastId + 1, f.workDate, f.realTime, f.login, f.kind, f.table, f.key, f.voucher,
                f.before, f.after, f.note, hash});
    if (recordHook())
        recordHook()(Moment::AfterEvent);
}

QJsonObject currentRow(const Recordset& rs) {
    QJsonObject o;
    if (rs.isEOF() || rs.isBOF())
        return o;
    const QStringList names = rs.fieldNames();
    for (int i = 0; i < names.size(); ++i)
        o.insert(names.at(i), jsonOf(rs.field(i)));
    return o;
}

QJsonObject rowOf(Database& db, const QString& table, const QStringList& keyColumns,
                  const QVariantList& keys) {
    QStringList where;
    for (const QString& c : keyColumns)
        where << quoteName(c) + QStringLiteral(" = ?");
    Recordset rs = db.openRecordset(QStringLiteral("select * from %1 where %2")
                                        .arg(quoteName(table), where.join(QStringLiteral(" and "))),
                                    RecordsetType::Snapshot, keys);
    const QJsonObject o = currentRow(rs);
    rs.Close();
    return withoutPasswords(table, o);
}

QJsonObject rowOf(Database& db, const QString& table, const QString& keyColumn,
                  const QVariant& key) {
    return rowOf(db, table, QStringList{keyColumn}, QVariantList{key});
}

void recordRowChange(Database& db, Kind kind, const QString& table, const QStringList& keyColumns,
                     const QVariantList& oldKeys, const QVariantList& newKeys,
                     const std::function<void()>& write, const QString& note) {
    const QJsonObject before =
        oldKeys.isEmpty() ? QJsonObject() : rowOf(db, table, keyColumns, oldKeys);
    write();
    const QJsonObject after =
        newKeys.isEmpty() ? QJsonObject() : rowOf(db, table, keyColumns, newKeys);
    QStringList key;
    for (const QVariant& v : newKeys.isEmpty() ? oldKeys : newKeys)
        key << v.toString();
    record(db, {kind, table, key.join(QLatin1Char('/')), before, after, note});
}

void recordRowChange(Database& db, Kind kind, const QString& table, const QString& keyColumn,
                     const QVariant& oldKey, const QVariant& newKey,
                     const std::function<void()>& write, const QString& note) {
    recordRowChange(db, kind, table, QStringList{keyColumn},
                    oldKey.isValid() ? QVariantList{oldKey} : QVariantList(),
                    newKey.isValid() ? QVariantList{newKey} : QVariantList(), write, note);
}

QVector<StoredEvent> readEvents(Database& db, const Filter& filter) {
    QStringList where;
    QVariantList params;
    if (filter.from.isValid()) {
        where << QStringLiteral("work_date >= ?");
        params << filter.from.toString(Qt::ISODate);
    }
    if (filter.to.isValid()) {
        where << QStringLiteral("work_date <= ?");
        params << filter.to.toString(Qt::ISODate);
    }
    if (!filter.login.isEmpty()) {
        where << QStringLiteral("login = ?");
        params << filter.login;
    }
    if (filter.kind) {
        where << QStringLiteral("kind = ?");
        params << kindName(*filter.kind);
    }
    if (!filter.voucher.isEmpty()) {
        // A voucher settled with others has its combined bill's events under the bill's key.
        QString combined;
        if (db.hasTable(QStringLiteral("iofs")))
            combined = db.scalar(QStringLiteral("select 多單號 from iofs where 單號 = ?"),
                                 {filter.voucher})
                           .toString();
        where << QStringLiteral("voucher in (?, ?)");
        params << filter.voucher << (combined.isEmpty() ? filter.voucher : combined);
    }
    QString sql = QStringLiteral("select %1 from audit").arg(kColumns);
    if (!where.isEmpty())
        sql += QStringLiteral(" where ") + where.join(QStringLiteral(" and "));
    sql += QStringLiteral(" order by id desc");
    if (filter.limit > 0)
        sql += QStringLiteral(" limit %1").arg(filter.limit);
    QVector<StoredEvent> out;
    Recordset rs = db.openRecordset(sql, RecordsetType::Snapshot, params);
    for (; !rs.isEOF(); rs.MoveNext())
        out << storedOf(rs);
    rs.Close();
    std::reverse(out.begin(), out.end());
    return out;
}

ChainReport verifyChain(Database& db) {
    ensureSodium();
    ChainReport report;
    report.events = db.scalar(QStringLiteral("select count(*) from audit")).toLongLong();
    // Streamed in pieces: a long trail is never held in memory, and other copies may write
    // between the pieces rather than wait for the whole check.
    constexpr int kPiece = 100000;
    qint64 expected = 1;
    QByteArray previous;
    for (;;) {
        store::RowReader rs(
            db,
            QStringLiteral("select %1 from audit where id >= ? order by id limit %2")
                .arg(kColumns)
                .arg(kPiece),
            {expected});
        int read = 0;
        for (; rs.next(); ++read) {
            const qint64 id = rs.integer(0);
            // The stored bytes as they are: the hash covers the UTF-8 text, so nothing needs
            // converting (this is most of the time of a long chain).
            FieldBytes f;
            for (int c = 0; c < int(f.size()); ++c)
                f[size_t(c)] = rs.bytes(c);
            const QByteArray stored = rs.bytes(11);
            if (id != expected) {
                report.brokenAt = id;
                report.problem =
                    id == expected + 1
                        ? QStringLiteral("第 %1 筆事件不見了").arg(expected)
                        : QStringLiteral("第 %1 到 %2 筆事件不見了").arg(expected).arg(id - 1);
                return report;
            }
            if (chainHashOf(previous, f) != stored) {
                report.brokenAt = id;
                report.problem =
                    QStringLiteral("第 %1 筆事件的內容與它的雜湊不符（事件或它前一筆被改過）")
                        .arg(id);
                return report;
            }
            previous = stored;
            report.lastId = id;
            report.lastHash = QString::fromLatin1(stored);
            ++expected;
        }
        if (read < kPiece)
            break;
    }
    if (report.lastId != report.events && report.brokenAt == 0) {
        // Rows whose number is not a whole number in order (null, repeated) are not in the
        // chain at all.
        report.brokenAt = report.lastId + 1;
        report.problem =
            QStringLiteral("有 %1 筆事件的編號不在順序中").arg(report.events - report.lastId);
    }
    return report;
}

}  // namespace orvik::audit
