#pragma once

// Whole tables in and out of a server at the speed of PostgreSQL's COPY, for the
// administrator's tool (migrate, backup): a connection of its own, not a Database, because a
// copy of a million rows through one INSERT per row takes minutes where COPY takes seconds.
// Statements are written in the dialect both engines share and rewritten as the store does.

#include <QByteArray>
#include <QString>
#include <QVector>
#include <functional>
#include <memory>

namespace orvik::store {

class BulkSession {
  public:
    // Connects to a server location (a postgresql:// URI or service=...), not to one file of
    // it. Throws EngineError (3044) when the server cannot be reached.
    explicit BulkSession(const QString& location);
    ~BulkSession();
    BulkSession(const BulkSession&) = delete;
    BulkSession& operator=(const BulkSession&) = delete;

    // A statement without parameters; its rows, if any, are dropped. Throws EngineError with
    // the server's SQLSTATE and message.
    void run(const QString& sql);
    // The rows of a query as text, a null QByteArray for NULL.
    QVector<QVector<QByteArray>> rows(const QString& sql);

    // COPY ... TO STDOUT: hands each line (without its newline, in COPY's text form) over.
    void copyOut(const QString& sql, const std::function<void(const char*, int)>& line);

    // COPY ... FROM STDIN: begin, then whole lines (newline included) in any chunks, then end.
    void copyInBegin(const QString& sql);
    void copyInData(const QByteArray& data);
    void copyInEnd();

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// One field of a COPY text line: backslash, tab, newline and carriage return escaped; a null
// pointer writes NULL (\N).
void appendCopyField(QByteArray& line, const char* text, qsizetype length);
// The fields of one COPY text line, unescaped; NULL as a null QByteArray.
QVector<QByteArray> splitCopyLine(const char* line, int length);

}  // namespace orvik::store
