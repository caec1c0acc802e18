#include "ReportData.h"

#include "Database.h"
#include "Recordset.h"
#include "ReportError.h"

namespace orvik::report {

Values readValues(store::Database& db) {
    Values values;
    values.insert(QStringLiteral("ion"),
                  db.scalar(QStringLiteral("SELECT ion FROM company LIMIT 1")).toString());

    auto rs = db.openRecordset(QStringLiteral("SELECT * FROM ptios LIMIT 1"),
                               store::RecordsetType::Snapshot);
    if (rs.isEOF())
        throw ReportError(QStringLiteral("沒有可列印的收支單：列印資料表 ptios 是空的。"));
    const QStringList names = rs.fieldNames();
    for (int i = 0; i < names.size(); ++i)
        values.insert(names.at(i), rs.field(i).toString());
    rs.Close();
    return values;
}

}  // namespace orvik::report
