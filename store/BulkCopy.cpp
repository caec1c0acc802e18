#include "BulkCopy.h"

#include <libpq-fe.h>

#include "Database.h"
#include "EngineError.h"
#include "ServerSql.h"

namespace orvik::store {

namespace {

QString serverError(PGconn* conn, const PGresult* res) {
    const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    const QString message =
        QString::fromUtf8(res ? PQresultErrorMessage(res) : PQerrorMessage(conn)).trimmed();
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(state ? state : ""), message);
}

// A failure while moving rows: the whole move is given up, whichever statement it was.
[[noreturn]] void fail(PGconn* conn, const PGresult* res, const QString& server) {
    const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    const int number = state && QByteArray(state) == "53100"   ? err::DiskFull
                       : state && QByteArray(state) == "23505" ? err::DuplicateKey
                       : PQstatus(conn) != CONNECTION_OK       ? err::ConnectionLost
                                                               : err::ReservedError;
    throw EngineError(number,
                      QStringLiteral("資料庫伺服器 '%1'：%2").arg(server, serverError(conn, res)));
}

struct ResultGuard {
    PGresult* res;
    ~ResultGuard() { PQclear(res); }
};

}  // namespace

struct BulkSession::Impl {
    PGconn* conn = nullptr;
    QString server;
    bool copying = false;

    QByteArray text(const QString& sql) const { return detail::toServerSql(sql).text; }

    void expect(PGresult* res, ExecStatusType want) {
        ResultGuard g{res};
        if (!res || PQresultStatus(res) != want)
            fail(conn, res, server);
    }

    // The result of a COPY that ended, and anything after it.
    void drain() {
        while (PGresult* res = PQgetResult(conn)) {
            ResultGuard g{res};
            if (PQresultStatus(res) != PGRES_COMMAND_OK && PQresultStatus(res) != PGRES_TUPLES_OK)
                fail(conn, res, server);
        }
    }
};

BulkSession::BulkSession(const QString& location) : d_(std::make_unique<Impl>()) {
    d_->server = shownLocation(location);
    const QByteArray uri = location.trimmed().toUtf8();
    const char* keys[] = {"application_name", "connect_timeout", "dbname", "client_encoding",
                          nullptr};
    const char* values[] = {"orvik-admin", "10", uri.constData(), "UTF8", nullptr};
    d_->conn = PQconnectdbParams(keys, values, 1);
    if (!d_->conn || PQstatus(d_->conn) != CONNECTION_OK) {
        const QString message = d_->conn ? QString::fromUtf8(PQerrorMessage(d_->conn)).trimmed()
                                         : QStringLiteral("out of memory");
        PQfinish(d_->conn);
        d_->conn = nullptr;
        throw EngineError(
            err::InvalidPath,
            QStringLiteral("無法連線到資料庫伺服器 '%1'。(%2)").arg(d_->server, message));
    }
    PQsetNoticeProcessor(
        d_->conn, [](void*, const char*) {}, nullptr);
    run(
        QStringLiteral("SET standard_conforming_strings = on; SET datestyle = ISO; "
                       "SET extra_float_digits = 3"));
}

BulkSession::~BulkSession() {
    if (d_->conn) {
        if (d_->copying)
            PQputCopyEnd(d_->conn, "given up");
        PQfinish(d_->conn);
    }
}

void BulkSession::run(const QString& sql) {
    PGresult* res = PQexec(d_->conn, d_->text(sql).constData());
    ResultGuard g{res};
    if (!res || (PQresultStatus(res) != PGRES_COMMAND_OK && PQresultStatus(res) != PGRES_TUPLES_OK))
        fail(d_->conn, res, d_->server);
}

QVector<QVector<QByteArray>> BulkSession::rows(const QString& sql) {
    PGresult* res = PQexec(d_->conn, d_->text(sql).constData());
    ResultGuard g{res};
    if (!res || PQresultStatus(res) != PGRES_TUPLES_OK)
        fail(d_->conn, res, d_->server);
    QVector<QVector<QByteArray>> out;
    const int columns = PQnfields(res);
    for (int r = 0; r < PQntuples(res); ++r) {
        QVector<QByteArray> row;
        for (int c = 0; c < columns; ++c)
            row << (PQgetisnull(res, r, c)
                        ? QByteArray()
                        : QByteArray(PQgetvalue(res, r, c), PQgetlength(res, r, c)));
        out << row;
    }
    return out;
}

void BulkSession::copyOut(const QString& sql, const std::function<void(const char*, int)>& line) {
    d_->expect(PQexec(d_->conn, d_->text(sql).constData()), PGRES_COPY_OUT);
    for (;;) {
        char* buffer = nullptr;
        const int n = PQgetCopyData(d_->conn, &buffer, 0);
        if (n == -1)
            break;
        if (n < 0)
            fail(d_->conn, nullptr, d_->server);
        try {
            line(buffer, n > 0 && buffer[n - 1] == '\n' ? n - 1 : n);
        } catch (...) {
            PQfreemem(buffer);
            // Reads the rest so the connection can be closed cleanly.
            while (PQgetCopyData(d_->conn, &buffer, 0) >= 0)
                PQfreemem(buffer);
            PQclear(PQgetResult(d_->conn));
            throw;
        }
        PQfreemem(buffer);
    }
    d_->drain();
}

void BulkSession::copyInBegin(const QString& sql) {
    d_->expect(PQexec(d_->conn, d_->text(sql).constData()), PGRES_COPY_IN);
    d_->copying = true;
}

void BulkSession::copyInData(const QByteArray& data) {
    if (PQputCopyData(d_->conn, data.constData(), int(data.size())) != 1)
        fail(d_->conn, nullptr, d_->server);
}

void BulkSession::copyInEnd() {
    d_->copying = false;
    if (PQputCopyEnd(d_->conn, nullptr) != 1)
        fail(d_->conn, nullptr, d_->server);
    d_->drain();
}

void appendCopyField(QByteArray& line, const char* text, qsizetype length) {
    if (!text) {
        line.append("\\N", 2);
        return;
    }
    qsizetype start = 0;
    for (qsizetype i = 0; i < length; ++i) {
        const char c = text[i];
        const char* escaped = c == '\\'   ? "\\\\"
                              : c == '\t' ? "\\t"
                              : c == '\n' ? "\\n"
                              : c == '\r' ? "\\r"
                                          : nullptr;
        if (!escaped)
            continue;
        line.append(text + start, i - start);
        line.append(escaped, 2);
        start = i + 1;
    }
    line.append(text + start, length - start);
}

QVector<QByteArray> splitCopyLine(const char* line, int length) {
    QVector<QByteArray> fields;
    int i = 0;
    for (;;) {
        int end = i;
        while (end < length && line[end] != '\t')
            ++end;
        if (end - i == 2 && line[i] == '\\' && line[i + 1] == 'N') {
            fields << QByteArray();
        } else {
            QByteArray f(line + i, end - i);
            if (f.contains('\\')) {
                QByteArray plain;
                plain.reserve(f.size());
                for (qsizetype k = 0; k < f.size(); ++k) {
                    char c = f.at(k);
                    if (c == '\\' && k + 1 < f.size()) {
                        const char e = f.at(++k);
                        c = e == 't'   ? '\t'
                            : e == 'n' ? '\n'
                            : e == 'r' ? '\r'
                            : e == 'b' ? '\b'
                            : e == 'f' ? '\f'
                            : e == 'v' ? '\v'
                                       : e;
                    }
                    plain.append(c);
                }
                f = plain;
            } else if (f.isNull()) {
                f = QByteArray("");  // an empty text, not NULL
            }
            fields << f;
        }
        if (end >= length)
            break;
        i = end + 1;
    }
    return fields;
}

}  // namespace orvik::store
