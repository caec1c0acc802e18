#include "Passwords.h"

#include <sodium.h>

#include <QJsonObject>

#include "Audit.h"
#include "Globals.h"
#include "Recordset.h"

namespace orvik::audit {

using store::Database;
using store::EngineError;
using store::Recordset;

namespace {

// libsodium's interactive cost: 64 MiB and two passes, about 0.1 s on the office's computers.
constexpr unsigned long long kOpsLimit = crypto_pwhash_OPSLIMIT_INTERACTIVE;
constexpr size_t kMemLimit = crypto_pwhash_MEMLIMIT_INTERACTIVE;

const QString kTable = QStringLiteral("員工");

void ensureSodium() {
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw EngineError(store::err::ReservedError,
                          QStringLiteral("無法啟用加密函式庫 libsodium。"));
}

QJsonObject passwordShown(const QString& stored) {
    return {{QStringLiteral("pass"), stored.isEmpty() ? QString() : QStringLiteral("(已設定)")}};
}

// The employee row whose login name is exactly `login`, as the current row of a cursor that
// can write it; false when there is none. The lookup ignores letter case, so "Chen" and
// "chen" may both come back.
bool findExact(Recordset& rs, const QString& login) {
    for (; !rs.isEOF(); rs.MoveNext()) {
        if (rs.text(QStringLiteral("英文姓名")) == login)
            return true;
    }
    return false;
}

Recordset employeeCursor(Database& general, const QString& login) {
    return general.openRecordset(QStringLiteral("select * from 員工 where 英文姓名 = ?"), {login});
}

// Writes `stored` as the password of the cursor's row, with its event.
void writePassword(Database& general, Recordset& rs, const QString& login, const QString& stored,
                   const QString& note) {
    const QString old = rs.text(QStringLiteral("pass"));
    rs.Edit();
    rs.setField(QStringLiteral("pass"), stored);
    rs.Update();
    record(general,
           {Kind::PasswordChange, kTable, login, passwordShown(old), passwordShown(stored), note});
}

QString changeNote(const QString& login) {
    if (app::gLoginName == login)
        return QStringLiteral("本人變更密碼");
    return QStringLiteral("由他人重設密碼");
}

}  // namespace

QString hashPassword(const QString& password) {
    ensureSodium();
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, utf8.constData(), quint64(utf8.size()), kOpsLimit, kMemLimit) != 0)
        throw EngineError(store::err::ReservedError,
                          QStringLiteral("記憶體不足，無法計算密碼的雜湊。"));
    return QString::fromLatin1(out);
}

bool isHashed(const QString& stored) {
    return stored.startsWith(QLatin1String("$argon2id$")) ||
           stored.startsWith(QLatin1String("$argon2i$"));
}

bool passwordMatches(const QString& stored, const QString& typed) {
    if (!isHashed(stored))
        return stored == typed;
    ensureSodium();
    const QByteArray hash = stored.toLatin1();
    const QByteArray utf8 = typed.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), utf8.constData(), quint64(utf8.size())) == 0;
}

bool needsRehash(const QString& stored) {
    if (!isHashed(stored))
        return !stored.isEmpty();
    ensureSodium();
    return crypto_pwhash_str_needs_rehash(stored.toLatin1().constData(), kOpsLimit, kMemLimit) != 0;
}

bool setPassword(Database& general, const QString& login, const QString& newPassword,
                 const QString& note) {
    // Hashed before the transaction: the slow part keeps nobody else waiting.
    const QString stored = newPassword.isEmpty() ? QString() : hashPassword(newPassword);
    store::Transaction tx(general);
    Recordset rs = employeeCursor(general, login);
    if (!findExact(rs, login))
        return false;
    writePassword(general, rs, login, stored, note.isEmpty() ? changeNote(login) : note);
    rs.Close();
    tx.commit();
    return true;
}

ChangeResult changeOwnPassword(Database& general, const QString& login, const QString& oldPassword,
                               const QString& newPassword) {
    const QString stored = newPassword.isEmpty() ? QString() : hashPassword(newPassword);
    bool matched = false;
    {
        store::Transaction tx(general);
        Recordset rs = employeeCursor(general, login);
        matched =
            findExact(rs, login) && passwordMatches(rs.text(QStringLiteral("pass")), oldPassword);
        if (matched) {
            writePassword(general, rs, login, stored, QStringLiteral("本人變更密碼"));
            rs.Close();
            tx.commit();
        }
    }
    if (matched)
        return ChangeResult::Changed;
    recordLoginFailure(general, login, QStringLiteral("變更密碼時舊密碼錯誤"));
    return ChangeResult::WrongPassword;
}

void recordLoginFailure(Database& general, const QString& typedName, const QString& note) {
    store::Transaction tx(general);
    const bool known =
        !typedName.isEmpty() &&
        general.scalar(QStringLiteral("select 1 from 員工 where 英文姓名 = ?"), {typedName})
            .isValid();
    record(general, {Kind::LoginFailure,
                     kTable,
                     known ? typedName : QString(),
                     {},
                     {},
                     known ? note : note + QStringLiteral("（沒有這個登入名稱）")});
    tx.commit();
}

}  // namespace orvik::audit
