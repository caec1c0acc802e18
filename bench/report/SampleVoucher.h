#pragma once

#include <QString>
#include <QStringList>
#include <utility>

#include "Database.h"

namespace orvik::bench {

// A realistic expense voucher with a document, as the voucher form writes it for printing.
inline QList<std::pair<QString, QString>> sampleVoucher() {
    return {
        {"輸入日期", "中華民國 113 年 03 月 15 日"},
        {"單號", "1130315002"},
        {"建議方式", "票據"},
        {"用途說明", "三月份工地鋼筋材料款（第一期）"},
        {"專案號碼", "P11302"},
        {"專案名稱", "新竹科學園區第三期廠房新建工程"},
        {"工程種類", "鋼筋工程"},
        {"科目代號", "5102"},
        {"收支", "(支出)"},
        {"科目名稱", "工程材料費"},
        {"金額", "1,234,567"},
        {"附註一", "分三期付款，本期為第一期"},
        {"附註二", "發票隨貨附上，請財務部核對數量"},
        {"申請人", "王小明"},
        {"簽收人", "大同鋼鐵股份有限公司"},
        {"發生日期", "中華民國 113 年 03 月 12 日"},
        {"單據號碼", "AB12345678"},
        {"稅額", "58789"},
        {"單據類別", "進銷項"},
        {"大寫金額", "壹佰貳拾參萬肆仟伍佰陸拾柒  元整"},
    };
}

// Rebuilds the one `ptios` row and the heading, as printing does.
inline void writeSample(store::Database& db, const QString& heading) {
    store::Transaction tx(db);
    db.execute(QStringLiteral("DELETE FROM company"));
    db.execute(QStringLiteral("INSERT INTO company (ion) VALUES (?)"), {heading});
    db.execute(QStringLiteral("DELETE FROM ptios"));
    QStringList names, marks;
    QVariantList values;
    for (const auto& [name, value] : sampleVoucher()) {
        names << QLatin1Char('"') + name + QLatin1Char('"');
        marks << QStringLiteral("?");
        values << value;
    }
    db.execute(QStringLiteral("INSERT INTO ptios (%1) VALUES (%2)")
                   .arg(names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
               values);
    tx.commit();
}

}  // namespace orvik::bench
