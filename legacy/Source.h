#pragma once

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>
#include <stdexcept>

namespace orvik::legacy {

// What the old desktop engine declared a column as.
enum class SourceType {
    Boolean,
    Byte,
    Integer,  // 16-bit
    Long,     // 32-bit
    Money,    // fixed point, four decimals
    Single,
    Double,
    DateTime,
    Binary,
    Text,
    Ole,
    Memo,
    ReplicationId,
    Numeric,  // decimal with precision and scale
    Other,
};

QString typeName(SourceType type);

struct SourceColumn {
    QString name;
    SourceType type = SourceType::Other;
    int size = 0;  // bytes as declared in the file
};

// One value exactly as the old file holds it, before any conversion: money as an integer count
// of ten-thousandths, dates as the engine's raw day number, so nothing is rounded or clipped
// on the way in.
struct SourceValue {
    enum class Kind { Null, Boolean, Integer, Money, Real, Date, Text, Decimal, Bytes };
    Kind kind = Kind::Null;
    qint64 integer = 0;  // Boolean (-1/0), Integer, Money (ten-thousandths)
    double real = 0;     // Real; Date: days since 1899-12-30, the fraction is the time of day
    QString text;        // Text; Decimal: "-123.4500"
    QByteArray bytes;    // Bytes; Text that did not decode: the bytes as stored
    // A text the code page could not decode whole: the library put '?' for what it could not.
    bool lossy = false;

    static SourceValue null() { return {}; }
    static SourceValue yesNo(bool b) { return make(Kind::Boolean, b ? -1 : 0); }
    static SourceValue whole(qint64 v) { return make(Kind::Integer, v); }
    static SourceValue money(qint64 tenThousandths) { return make(Kind::Money, tenThousandths); }
    static SourceValue number(double v);
    static SourceValue date(double days);
    static SourceValue string(const QString& s);
    static SourceValue decimal(const QString& s);
    static SourceValue binary(const QByteArray& b);

    bool isNull() const { return kind == Kind::Null; }
    // The value as a person reads it in the report; dates as yyyy-MM-dd where they have one.
    QString display() const;

  private:
    static SourceValue make(Kind k, qint64 v) {
        SourceValue s;
        s.kind = k;
        s.integer = v;
        return s;
    }
};

// The engine counts days from 1899-12-30; the whole part is the day, also for days before it
// (-1.25 is 1899-12-29 06:00).
QDate dateFromDays(double days, bool* ok = nullptr);

// Money as exact decimal text, "-1234.5" for -12345000 ten-thousandths.
QString moneyText(qint64 tenThousandths);

// Warnings of the library that reads an old file: how many, and the first few kinds of them
// ("「page 17 from map doesn't match」（3 則）"). A sound file gives none.
struct ReaderWarnings {
    qint64 count = 0;
    QStringList kinds;
};

class SourceTable {
  public:
    virtual ~SourceTable() = default;
    virtual QString name() const = 0;
    virtual QVector<SourceColumn> columns() const = 0;
    // Fills `row` with the next row, one value per column; false after the last one.
    virtual bool next(QVector<SourceValue>& row) = 0;
};

class SourceFile {
  public:
    virtual ~SourceFile() = default;
    virtual QString format() const = 0;          // "Jet 3", "Jet 4"
    virtual QStringList tableNames() const = 0;  // the user tables, in catalogue order
    // Null when the file has no such table; names compare without regard to letter case.
    virtual std::unique_ptr<SourceTable> openTable(const QString& name) = 0;
    // What the library reading the file warned about so far; none for a sound file.
    virtual ReaderWarnings readerWarnings() { return {}; }
};

// The old database folder: acc.mdb, voro3.mdb, pt.mdb.
class Source {
  public:
    virtual ~Source() = default;
    // Null when the folder has no such file. Throws LegacyError when the file cannot be read.
    virtual std::unique_ptr<SourceFile> openFile(const QString& fileName) = 0;
};

class LegacyError : public std::runtime_error {
  public:
    explicit LegacyError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const noexcept { return message_; }

  private:
    QString message_;
};

// A source held in memory: the tests build old folders with it, the benchmark a large one.
class MemorySource : public Source {
  public:
    struct Table {
        QString name;
        QVector<SourceColumn> columns;
        QVector<QVector<SourceValue>> rows;
        // When set, rows are made on demand instead: row i into `row`, for i < generatedRows.
        std::function<void(qint64 i, QVector<SourceValue>& row)> generate;
        qint64 generatedRows = 0;
    };
    struct File {
        QString format = QStringLiteral("Jet 3");
        QVector<Table> tables;
        Table* table(const QString& name);
    };

    File& file(const QString& fileName);  // made on first use
    void removeFile(const QString& fileName);
    std::unique_ptr<SourceFile> openFile(const QString& fileName) override;

  private:
    QHash<QString, std::shared_ptr<File>> files_;
};

}  // namespace orvik::legacy
