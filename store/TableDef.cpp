#include "TableDef.h"

#include "Engine.h"

namespace orvik::store {

using detail::quoteIdent;

TableDef::TableDef(Database& db, QString table) : db_(db), table_(std::move(table)) {
    if (!db_.hasTable(table_))
        throw EngineError(err::ItemNotFound,
                          QStringLiteral("在這個集合中找不到項目 '%1'。").arg(table_));
    reload();
}

void TableDef::reload() {
    fields_ = db_.engineConnection().columns(table_);
}

QStringList TableDef::fieldNames() const {
    QStringList names;
    for (const auto& f : fields_)
        names << f.name;
    return names;
}

const FieldDef& TableDef::field(int pos) const {
    if (pos < 0 || pos >= fields_.size())
        throw EngineError(err::ItemNotFound,
                          QStringLiteral("在這個集合中找不到項目 %1。").arg(pos));
    return fields_.at(pos);
}

const FieldDef& TableDef::field(const QString& name) const {
    for (const auto& f : fields_) {
        if (f.name.compare(name, Qt::CaseInsensitive) == 0)
            return f;
    }
    throw EngineError(err::ItemNotFound, QStringLiteral("在這個集合中找不到項目 '%1'。").arg(name));
}

bool TableDef::hasField(const QString& name) const {
    for (const auto& f : fields_) {
        if (f.name.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString TableDef::sqlType(FieldType type, Engine engine) {
    if (engine == Engine::PostgreSQL) {
        switch (type) {
            case FieldType::Double:
                return QStringLiteral("double precision");
            case FieldType::Date:
                return QStringLiteral("text COLLATE \"C\"");
            case FieldType::Text:
            case FieldType::Memo:
                return QStringLiteral("citext COLLATE \"C\"");
            case FieldType::Boolean:
            case FieldType::Integer:
                return QStringLiteral("smallint");
            case FieldType::Long:
                return QStringLiteral("integer");
            case FieldType::Currency:
                return QStringLiteral("bigint");
        }
    }
    switch (type) {
        case FieldType::Double:
            return QStringLiteral("REAL");
        case FieldType::Date:
            return QStringLiteral("TEXT");
        case FieldType::Text:
        case FieldType::Memo:
            return QStringLiteral("TEXT COLLATE NOCASE");
        case FieldType::Boolean:
        case FieldType::Integer:
        case FieldType::Long:
        case FieldType::Currency:
            return QStringLiteral("INTEGER");
    }
    return QStringLiteral("TEXT COLLATE NOCASE");
}

void TableDef::appendField(const QString& name, FieldType type, const QVariant& defaultValue,
                           bool allowZeroLength) {
    if (hasField(name))
        throw EngineError(3191, QStringLiteral("無法定義欄位多於一次: '%1'。").arg(name));
    QString sql = QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                      .arg(quoteIdent(table_), quoteIdent(name), sqlType(type, db_.engine()));
    // A default is part of the table's definition, so it cannot be a bound parameter; only
    // numbers are taken as they are, any other value becomes a quoted literal.
    if (defaultValue.isValid() && !defaultValue.isNull()) {
        const QVariant v = toStored(defaultValue);
        bool isNumber = false;
        v.toString().toDouble(&isNumber);
        QString literal = v.toString();
        if (!isNumber || v.typeId() == QMetaType::QString) {
            literal.replace(QLatin1Char('\''), QLatin1String("''"));
            literal = QLatin1Char('\'') + literal + QLatin1Char('\'');
        }
        sql += QStringLiteral(" DEFAULT ") + literal;
    }
    if (!allowZeroLength && (type == FieldType::Text || type == FieldType::Memo))
        sql += QStringLiteral(" CHECK (%1 <> '')").arg(quoteIdent(name));
    db_.execute(sql);
    reload();
}

}  // namespace orvik::store
