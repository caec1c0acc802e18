// The full-text search (全文檢索): every column of every stored voucher searched for a text,
// one grid row per column that matched in a voucher, in ascending voucher number. Closing the
// list and double-clicking a hit are shared with the unapproved-voucher list (frmIoPanels.cpp).

#include <algorithm>

#include "Globals.h"
#include "Prompts.h"
#include "TableDef.h"
#include "WaitCursor.h"
#include "frmIo.h"

namespace orvik::vouchers {

namespace {

constexpr int kColumns = 3;
constexpr int kNumberColumn = 1;
constexpr int kWidthsTwips[kColumns] = {300, 1200, 9000};

// The grid's row counter was 16-bit: one heading row and at most this many hits.
constexpr int kMaxHits = 32766;

QString quoted(const QString& name) {
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

struct Hit {
    QString number;
    QString text;  // 在 (column) 有  -->    value
};

// One scan of iof: the vouchers where any column contains `text` as typed (every character
// literal, ASCII letters without regard to case; the text is bound),
// with the value of each column that matched, in the text form the engine matched. Numbers
// are compared as numbers, as the list sorts them; a voucher's hits follow the stored order
// of its columns. `more` is set when hits beyond kMaxHits were left out (the lowest numbers
// are kept).
QVector<Hit> searchVouchers(store::Database& db, const QString& text, bool& more) {
    const QStringList names = db.tableDef(QStringLiteral("iof")).fieldNames();
    QStringList columns, select{quoted(QStringLiteral("單號")), QStringLiteral("m")};
    for (int i = 0; i < names.size(); ++i) {
        columns << quoted(names.at(i));
        // Only the columns that matched are turned into text: the rows sorted and read carry
        // nothing else.
        select << QStringLiteral("case when (m >> %1) & 1 <> 0 then cast(%2 as text) end")
                      .arg(i)
                      .arg(quoted(names.at(i)));
    }
    // The columns are tested by one mask per row (Database::containsMask; each bit of m: a
    // column holding the text, as LIKE '%text%' would find it) rather than by one LIKE per
    // column, which would turn every value into a pattern match of its own; the texts
    // are read only for the vouchers found. The vouchers found are set apart first, so that
    // the test is not made again for every column read of them. One voucher gives at least one
    // hit: the lowest kMaxHits + 1 vouchers by number are all that the list can show, and one
    // more tells that there are more. Ordering by the number's value keeps the sort to a
    // bounded top-N after a single scan of the table.
    const QString test = db.containsMask(QStringLiteral("?1"), columns);
    const QString sql =
        QStringLiteral(
            "with found as materialized (select *, %1 as m from iof where %1 <> 0) "
            "select %2 from found order by cast(%3 as integer), %3 limit %4")
            .arg(test, select.join(QStringLiteral(", ")), quoted(QStringLiteral("單號")))
            .arg(kMaxHits + 1);
    store::Recordset rs = db.openRecordset(sql, store::RecordsetType::Snapshot, {text});
    QVector<Hit> hits;
    more = false;
    for (; !rs.isEOF(); rs.MoveNext()) {
        const QString number = rs.text(0);
        const qint64 mask = rs.field(1).toLongLong();
        for (int i = 0; i < names.size(); ++i) {
            if (!(mask & (qint64(1) << i)))
                continue;
            const QVariant value = rs.field(i + 2);
            if (hits.size() == kMaxHits) {
                more = true;
                break;
            }
            hits.push_back({number, QStringLiteral("在 (") + names.at(i) +
                                        QStringLiteral(") 有  -->    ") + value.toString()});
        }
        if (more)
            break;
    }
    rs.Close();
    return hits;
}

}  // namespace

// The opening half of 全文檢索>> (cmdSall_Click, frmIoPanels.cpp, has already set gListMode
// and hidden the combined-bill controls).
void frmIo::OpenSearch() {
    const std::optional<QString> answer =
        app::InputBox(QStringLiteral("請輸入搜尋文字"), QStringLiteral("Acc"), app::gLastSearch);
    app::gLastSearch = answer.value_or(QString());
    if (app::gLastSearch.isEmpty()) {
        setHeightTwips(kHeight);
        return;
    }

    bool more = false;
    {
        const app::WaitCursor busy;
        setPanelColour(cmdSall->palette().color(QPalette::Button));
        const QStringList headings{QString(), QStringLiteral("收支單號"),
                                   QStringLiteral("搜尋結果:  (欄位名稱)  -->   找到字串")};
        setHeightTwips(kExpandedHeight);

        const QVector<Hit> hits = searchVouchers(*app::dbAcc, app::gLastSearch, more);
        // One row per hit after the heading; with no hit one empty row stays for the message.
        QVector<GridModel::Row> rows;
        rows.reserve(std::max<qsizetype>(1, hits.size()));
        qsizetype longest = 0;
        for (const Hit& hit : hits) {
            rows << GridModel::Row{QString(), hit.number, hit.text};
            longest = std::max(longest, hit.number.size());
        }
        if (hits.isEmpty())
            rows << GridModel::Row{QString(), QString(), QStringLiteral("找不到資料")};
        GridModel* model = HFG->grid();
        model->setColouredFrom(-1, {}, {});  // hits are never marked; the panel colour shows
        model->reset(headings, std::move(rows));
        for (int c = 0; c < kColumns; ++c)
            HFG->setColumnWidth(c, qRound(kWidthsTwips[c] / double(kTwipsPerPixel)));
        // The numbers column keeps its width unless the longest number would not show whole in
        // this program's font (the ten-character numbers since 2011 do not).
        const int needed =
            HFG->fontMetrics().horizontalAdvance(QString(longest, QLatin1Char('0'))) + 10;
        if (needed > HFG->columnWidth(kNumberColumn))
            HFG->setColumnWidth(kNumberColumn, needed);
        cmdSall->setText(QStringLiteral("全文檢索<<"));
    }

    if (more)
        app::MsgBox(QStringLiteral("找到的資料超過 %1 筆，只列出單號最小的 %1 筆。").arg(kMaxHits),
                    app::Buttons::OK, app::Icon::Information, QStringLiteral("Acc"));
}

}  // namespace orvik::vouchers
