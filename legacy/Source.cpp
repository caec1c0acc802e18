#include "Source.h"

#include <cmath>

namespace orvik::legacy {

QString typeName(SourceType type) {
    switch (type) {
        case SourceType::Boolean:
            return QStringLiteral("是/否");
        case SourceType::Byte:
            return QStringLiteral("位元組");
        case SourceType::Integer:
            return QStringLiteral("整數");
        case SourceType::Long:
            return QStringLiteral("長整數");
        case SourceType::Money:
            return QStringLiteral("貨幣");
        case SourceType::Single:
            return QStringLiteral("單精度");
        case SourceType::Double:
            return QStringLiteral("雙精度");
        case SourceType::DateTime:
            return QStringLiteral("日期/時間");
        case SourceType::Binary:
            return QStringLiteral("二進位");
        case SourceType::Text:
            return QStringLiteral("文字");
        case SourceType::Ole:
            return QStringLiteral("OLE 物件");
        case SourceType::Memo:
            return QStringLiteral("備忘");
        case SourceType::ReplicationId:
            return QStringLiteral("複寫識別碼");
        case SourceType::Numeric:
            return QStringLiteral("小數");
        case SourceType::Other:
            break;
    }
    return QStringLiteral("其他");
}

SourceValue SourceValue::number(double v) {
    SourceValue s;
    s.kind = Kind::Real;
    s.real = v;
    return s;
}

SourceValue SourceValue::date(double days) {
    SourceValue s;
    s.kind = Kind::Date;
    s.real = days;
    return s;
}

SourceValue SourceValue::string(const QString& text) {
    SourceValue s;
    s.kind = Kind::Text;
    // An empty text stays an empty text, not a null.
    s.text = text.isNull() ? QString(QLatin1String("")) : text;
    return s;
}

SourceValue SourceValue::decimal(const QString& text) {
    SourceValue s;
    s.kind = Kind::Decimal;
    s.text = text;
    return s;
}

SourceValue SourceValue::binary(const QByteArray& b) {
    SourceValue s;
    s.kind = Kind::Bytes;
    s.bytes = b;
    return s;
}

QDate dateFromDays(double days, bool* ok) {
    // The engine's own range: 100-01-01 to 9999-12-31.
    const bool inRange = std::isfinite(days) && days > -657435.0 && days < 2958466.0;
    if (ok)
        *ok = inRange;
    if (!inRange)
        return {};
    return QDate(1899, 12, 30).addDays(qint64(std::trunc(days)));
}

QString moneyText(qint64 v) {
    const bool negative = v < 0;
    // Unsigned, so the most negative value has a magnitude too.
    const quint64 magnitude = negative ? quint64(0) - quint64(v) : quint64(v);
    QString text = QString::number(magnitude / 10000);
    quint64 fraction = magnitude % 10000;
    if (fraction != 0) {
        QString digits = QStringLiteral("%1").arg(fraction, 4, 10, QLatin1Char('0'));
        while (digits.endsWith(QLatin1Char('0')))
            digits.chop(1);
        text += QLatin1Char('.') + digits;
    }
    return negative ? QLatin1Char('-') + text : text;
}

QString SourceValue::display() const {
    switch (kind) {
        case Kind::Null:
            return QStringLiteral("(空值)");
        case Kind::Boolean:
            return integer ? QStringLiteral("True") : QStringLiteral("False");
        case Kind::Integer:
            return QString::number(integer);
        case Kind::Money:
            return moneyText(integer);
        case Kind::Real:
            return QString::number(real, 'g', 17);
        case Kind::Date: {
            bool ok = false;
            const QDate d = dateFromDays(real, &ok);
            return ok ? d.toString(Qt::ISODate) : QStringLiteral("日期值 %1").arg(real, 0, 'g', 17);
        }
        case Kind::Text:
        case Kind::Decimal:
            return QLatin1Char('"') + text + QLatin1Char('"');
        case Kind::Bytes:
            return QStringLiteral("%1 位元組的二進位資料").arg(bytes.size());
    }
    return {};
}

// ---------------------------------------------------------------------------------------------

namespace {

class MemoryTable : public SourceTable {
  public:
    explicit MemoryTable(const MemorySource::Table& t) : t_(t) {}
    QString name() const override { return t_.name; }
    QVector<SourceColumn> columns() const override { return t_.columns; }
    bool next(QVector<SourceValue>& row) override {
        if (t_.generate) {
            if (at_ >= t_.generatedRows)
                return false;
            row.resize(t_.columns.size());
            t_.generate(at_++, row);
            return true;
        }
        if (at_ >= t_.rows.size())
            return false;
        row = t_.rows.at(at_++);
        row.resize(t_.columns.size());
        return true;
    }

  private:
    const MemorySource::Table& t_;
    qint64 at_ = 0;
};

class MemoryFile : public SourceFile {
  public:
    explicit MemoryFile(std::shared_ptr<MemorySource::File> f) : f_(std::move(f)) {}
    QString format() const override { return f_->format; }
    QStringList tableNames() const override {
        QStringList names;
        for (const auto& t : f_->tables)
            names << t.name;
        return names;
    }
    std::unique_ptr<SourceTable> openTable(const QString& name) override {
        const MemorySource::Table* t = f_->table(name);
        return t ? std::make_unique<MemoryTable>(*t) : nullptr;
    }

  private:
    std::shared_ptr<MemorySource::File> f_;
};

}  // namespace

MemorySource::Table* MemorySource::File::table(const QString& name) {
    for (auto& t : tables) {
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    }
    return nullptr;
}

MemorySource::File& MemorySource::file(const QString& fileName) {
    auto& f = files_[fileName.toLower()];
    if (!f)
        f = std::make_shared<File>();
    return *f;
}

void MemorySource::removeFile(const QString& fileName) {
    files_.remove(fileName.toLower());
}

std::unique_ptr<SourceFile> MemorySource::openFile(const QString& fileName) {
    const auto it = files_.constFind(fileName.toLower());
    if (it == files_.constEnd())
        return nullptr;
    return std::make_unique<MemoryFile>(*it);
}

}  // namespace orvik::legacy
