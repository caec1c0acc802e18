// The bar's schema check: two columns that older databases lack are added when the bar loads.

#include "Database.h"
#include "Globals.h"
#include "Prompts.h"
#include "TableDef.h"
#include "frmAccMain.h"

namespace orvik::shell {

using namespace orvik::app;
namespace store = orvik::store;

namespace {

void reportSchemaError(const store::EngineError& error) {
    MsgBox(error.description(), Buttons::OK, Icon::None, QString());
}

// Adds `column` to `table` when it is missing. The column and the values that `fill` gives
// every row go in together, so a failure leaves neither a column without its values nor a
// half-filled one; the check is repeated inside the transaction because another copy of the
// program may have added the column in the meantime. Any failure, also of the recovery itself
// (the table is missing, another user holds the table), is shown and loading goes on.
template <class Fill>
void ensureColumn(store::Database& db, const QString& table, const QString& column, Fill fill) {
    try {
        db.tableDef(table).field(column);
        return;
    } catch (const store::EngineError& error) {
        if (error.number() != store::err::ItemNotFound) {
            reportSchemaError(error);
            return;
        }
    }
    try {
        store::Transaction tx(db);
        store::TableDef def = db.tableDef(table);
        if (!def.hasField(column))
            fill(def);
        tx.commit();
    } catch (const store::EngineError& error) {
        reportSchemaError(error);
    }
}

}  // namespace

void frmAccMain::EnsureAccSColumn() {
    store::Database& db = *dbGeneral;
    ensureColumn(db, QStringLiteral("員工"), QStringLiteral("AccS"), [&db](store::TableDef& def) {
        def.appendField(QStringLiteral("AccS"), store::FieldType::Long, 1);
        db.execute(QStringLiteral("update 員工 set Accs = 1"));
    });
}

void frmAccMain::EnsureLetColumn(const QString& table) {
    store::Database& db = *dbAcc;
    ensureColumn(db, table, QStringLiteral("Let"), [&db, &table](store::TableDef& def) {
        def.appendField(QStringLiteral("Let"), store::FieldType::Text, QVariant(), true);
        db.execute(QStringLiteral("update %1 set Let = 0").arg(table));
    });
}

}  // namespace orvik::shell
