// The list of unapproved vouchers below the fields (檢視未簽核收支單): opening it, its columns
// and colours, marking expense vouchers for one combined bill (合計開票) and settling them with
// it (確定開票). Closing the list and double-clicking a row are shared with the search hits
// (frmIoPanels.cpp).

#include <QFontMetrics>
#include <QSet>
#include <QSignalBlocker>
#include <QStyle>
#include <array>

#include "BillHandOver.h"
#include "BillStore.h"
#include "EraDate.h"
#include "Globals.h"
#include "Program.h"
#include "Prompts.h"
#include "VoucherRules.h"
#include "WaitCursor.h"
#include "frmIo.h"

namespace orvik::vouchers {

using app::False;
using app::True;

namespace {

// The vouchers waiting for approval (-1, -2): neither approved (0 and up) nor void (-3).
const QString kUnapprovedQuery = QStringLiteral(
    "select 單號, 發生日期, 用途說明, 專案名稱, 工程種類, pay, 科目代號, 科目名稱, 金額 "
    "from iof where 方式 < 0 and 方式 > -3 order by length(單號), 單號");

constexpr int kColumns = 9;
constexpr int kNumberColumn = 1;
constexpr int kFirstColouredColumn = 3;
constexpr int kDirectionColumn = 6;
constexpr int kAmountColumn = 8;
constexpr std::array<int, kColumns> kWidthsTwips{200, 900, 880, 2650, 2650, 1000, 500, 2000, 1000};

const QColor kMarked(0, 255, 255);
const QColor kUnmarked(255, 255, 255);
const QString kMark = QStringLiteral("*");

// The amount shown in the list ("12,345") as a whole number.
qint64 shownAmount(const QString& text) {
    QString digits = text;
    digits.remove(QLatin1Char(','));
    return RoundHalfEven(digits.toDouble());
}

const QStringList& headings() {
    static const QStringList texts{QString(),
                                   QStringLiteral("收支單號"),
                                   QStringLiteral("發生日期"),
                                   QStringLiteral("用途"),
                                   QStringLiteral("專案名稱"),
                                   QStringLiteral("工程種類"),
                                   QStringLiteral("收支"),
                                   QStringLiteral("科目"),
                                   QStringLiteral("金額")};
    return texts;
}

}  // namespace

void frmIo::OpenReviewList() {
    const app::WaitCursor busy;
    store::Recordset rs =
        app::dbAcc->openRecordset(kUnapprovedQuery, store::RecordsetType::Snapshot);
    if (rs.isEOF()) {
        rs.Close();
        app::MsgBox(QStringLiteral("無未簽核收支單"), app::Buttons::OK, app::Icon::Exclamation,
                    QStringLiteral("Acc"));
        return;
    }
    setHeightTwips(kExpandedHeight);
    ckco->show();
    // Combining vouchers into one bill approves them: only for those who may approve.
    ckco->setEnabled(rightGranted(3));
    setPanelColour(cmdNck->palette().color(QPalette::Button));
    FillReviewGrid(rs.takeRows(), {});
    cmdNck->setText(QStringLiteral("檢視未簽核收支單<<"));
}

// Lists the vouchers of `rs` (the unapproved-voucher query) in the grid, one row each after the
// heading row; an empty list keeps one empty row. The vouchers of `marked` that are listed
// again stay marked, and gMarkedTotal becomes the sum of their amounts as listed now.
void frmIo::FillReviewGrid(QVector<QVector<QVariant>> rows, const QStringList& marked) {
    // The rows as read; each cell's text is made when it is shown, so that only the rows in
    // view are ever formatted.
    const QSet<QString> keep(marked.begin(), marked.end());
    QVector<int> markedRows;
    qint64 total = 0;
    // The longest text of each column whose widths are fixed in twips but whose texts
    // (numbers, dates, amounts) may not show whole in this program's font.
    std::array<QString, kColumns> longest;
    QString latestDate;
    qint64 largest = 0;
    for (int r = 0; r < rows.size(); ++r) {
        const GridModel::Row& row = rows.at(r);
        const QString no = row.at(0).toString();
        if (no.size() > longest[kNumberColumn].size())
            longest[kNumberColumn] = no;
        const QString date = row.at(1).toString();
        if (date > latestDate)
            latestDate = date;  // the latest date has the longest era year
        const qint64 amount = RoundHalfEven(row.at(8).toDouble());
        largest = std::max(largest, amount < 0 ? -amount : amount);
        if (keep.contains(no)) {
            markedRows << r;
            total += amount;
        }
    }
    longest[2] = app::FormatEra(store::storedDate(latestDate), app::kEraShort);
    longest[kDirectionColumn] = QStringLiteral("支出");
    longest[kAmountColumn] = QLatin1Char('-') + app::FormatAmount(largest);
    const bool empty = rows.isEmpty();
    if (empty)
        rows << GridModel::Row(kColumns);  // an empty list keeps one empty row

    const auto text = [](int column) {
        return [column](const GridModel::Row& row) { return row.at(column).toString(); };
    };
    QVector<GridModel::Cell> cells{
        {},  // the mark
        text(0),
        [empty](const GridModel::Row& row) {
            return empty ? QString() : app::FormatEra(store::storedDate(row.at(1)), app::kEraShort);
        },
        text(2),
        text(3),
        text(4),
        [empty](const GridModel::Row& row) {
            if (empty)
                return QString();
            return store::storedBool(row.at(5)) ? QStringLiteral("支出") : QStringLiteral("收入");
        },
        [empty](const GridModel::Row& row) {
            return empty ? QString()
                         : QLatin1Char('(') + row.at(6).toString() + QLatin1Char(')') +
                               row.at(7).toString();
        },
        [empty](const GridModel::Row& row) {
            return empty ? QString() : app::FormatAmount(RoundHalfEven(row.at(8).toDouble()));
        },
    };

    GridModel* model = HFG->grid();
    model->setColouredFrom(kFirstColouredColumn, kMarked, kUnmarked);
    model->reset(headings(), std::move(rows), std::move(cells));
    model->setAlignment(7, Qt::AlignLeft | Qt::AlignVCenter);
    model->setAlignment(kAmountColumn, Qt::AlignRight | Qt::AlignVCenter);
    for (int row : std::as_const(markedRows))
        model->setMarked(row, true);
    for (int c = 0; c < kColumns; ++c)
        HFG->setColumnWidth(c, qRound(kWidthsTwips[size_t(c)] / double(kTwipsPerPixel)));

    // The widths are those of the list as it has always been, in twips; a column of numbers
    // or dates whose texts would not show whole in this program's font is widened to them.
    const QFontMetrics metrics(HFG->font());
    constexpr int kPadding = 8;
    int widened = 0;
    for (int c : {kNumberColumn, 2, kDirectionColumn, kAmountColumn}) {
        const int needed = std::max(metrics.horizontalAdvance(headings().at(c)),
                                    metrics.horizontalAdvance(longest[size_t(c)])) +
                           kPadding;
        const int width = HFG->columnWidth(c);
        if (needed > width) {
            widened += needed - width;
            HFG->setColumnWidth(c, needed);
        }
    }
    // What they took is given back by the two wide text columns, as far as the grid would
    // otherwise scroll sideways, so that the amount stays in view.
    int sum = 0;
    for (int c = 0; c < kColumns; ++c)
        sum += HFG->columnWidth(c);
    const int room = HFG->width() - 2 * HFG->frameWidth() -
                     HFG->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, HFG);
    const int excess = std::min(widened, sum - room);
    if (excess > 0) {
        for (int c : {3, 4}) {
            const int width = HFG->columnWidth(c);
            HFG->setColumnWidth(c, std::max(width / 2, width - (excess + 1) / 2));
        }
    }
    if (!marked.isEmpty())
        app::gMarkedTotal = qint32(total);
}

// The numbers of the marked rows, in grid order.
QStringList frmIo::MarkedVouchers() const {
    QStringList out;
    for (const bills::MarkedVoucher& v : MarkedWithAmounts())
        out << v.number;
    return out;
}

// The marked vouchers with the amounts the list shows for them, in grid order.
QVector<bills::MarkedVoucher> frmIo::MarkedWithAmounts() const {
    QVector<bills::MarkedVoucher> out;
    const GridModel* model = HFG->grid();
    for (int r = 0; r < model->dataRows(); ++r) {
        if (model->isMarked(r))
            out.push_back(
                {model->text(r, kNumberColumn), shownAmount(model->text(r, kAmountColumn))});
    }
    return out;
}

// A click in the list while 合計開票 is ticked marks or unmarks an expense voucher.
void frmIo::HFG_MouseDown(int row, int col) {
    Q_UNUSED(col);
    if (panelColour() == kSearchPanelColour)  // the hits of a search are never marked
        return;
    if (ckco->isHidden() || !ckco->isChecked() || !ckco->isEnabled() || row <= 0)
        return;
    if (HFG->text(row, kNumberColumn).isEmpty())  // the empty row of an empty list
        return;
    if (HFG->text(row, kDirectionColumn) == QStringLiteral("收入")) {
        app::MsgBox(QStringLiteral("不是支出收支單"), app::Buttons::OK, app::Icon::Exclamation,
                    QStringLiteral("Acc"));
        return;
    }
    HFG->setCurrentIndex(HFG->model()->index(row - 1, kFirstColouredColumn));
    const bool wasMarked = HFG->isMarked(row);
    HFG->setMarked(row, !wasMarked);
    const qint64 amount = shownAmount(HFG->text(row, kAmountColumn));
    app::gMarkedTotal = qint32(app::gMarkedTotal + (wasMarked ? -amount : amount));
}

// 合計開票: ticking starts a new total; unticking clears every mark (not the total).
void frmIo::ckco_Click() {
    if (ckco->isChecked()) {
        if (!rightGranted(3)) {
            const QSignalBlocker quiet(ckco);
            ckco->setChecked(false);
            refusedWithoutRight(3);
            return;
        }
        cmdco->show();
        app::gMarkedTotal = 0;
        return;
    }
    cmdco->hide();
    HFG->grid()->clearMarks();
}

// 確定開票: one expense bill for every marked voucher. The bill form only collects the bill;
// then the bill row, one iofs row per voucher and status 1 on each are written in one
// transaction, or nothing at all when another copy approved, voided or changed one of them
// meanwhile.
void frmIo::cmdco_Click() {
    if (refusedWithoutRight(3))
        return;
    const QVector<bills::MarkedVoucher> marked = MarkedWithAmounts();
    if (marked.isEmpty()) {
        app::MsgBox(QStringLiteral("沒有選取收支單"), app::Buttons::OK, app::Icon::Exclamation,
                    QStringLiteral("Acc"));
        return;
    }
    QStringList numbers;
    for (const bills::MarkedVoucher& v : marked)
        numbers << v.number;
    const ChildFormScope busy(*this);
    const std::optional<bills::BillRow> bill =
        bills::enterCombinedBill(numbers.first(), app::gMarkedTotal);
    if (!bill) {
        app::MsgBox(QStringLiteral("因您取消票據輸入\r\n所以此收支單並未簽核"), app::Buttons::OK,
                    app::Icon::Exclamation, QStringLiteral("ACC"));
        app::gBillCancel = False;
        return;
    }

    // The bill's values live in a form that has closed: when the books are busy, the user may
    // try again at once rather than enter the bill anew.
    bills::CombinedRefusal refused;
    if (!app::guardWrite(
            cmdco->text(), [&] { refused = bills::commitCombinedBill(*app::dbAcc, *bill, marked); },
            true))
        return;  // nothing written; the marks stay for another try
    if (refused.isEmpty()) {
        // Every marked voucher is settled: their rows leave the list. Only they changed, so
        // the other rows stay as read (no second read of a long list).
        GridModel* model = HFG->grid();
        model->removeRowsWhere(kNumberColumn, QSet<QString>(numbers.begin(), numbers.end()));
        if (model->dataRows() == 0)
            FillReviewGrid({}, {});  // an empty list keeps one empty row
        app::gMarkedTotal = 0;
    } else {
        QString text;
        if (!refused.settled.isEmpty())
            text += QStringLiteral("下列收支單已在別處簽核或作廢:\r\n") +
                    refused.settled.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
        if (!refused.changed.isEmpty())
            text += QStringLiteral("下列收支單的金額或收支已在別處修改:\r\n") +
                    refused.changed.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
        app::MsgBox(text + QStringLiteral("所以此合計票據並未存入，收支單均未簽核"),
                    app::Buttons::OK, app::Icon::Exclamation, QStringLiteral("Acc"));
        // The others stay marked, for another try without the ones that are gone or changed
        // (a changed one shows its new amount, to be marked again if it is still meant).
        QStringList keep = numbers;
        for (const QString& no : refused.settled + refused.changed)
            keep.removeAll(no);
        RefreshReviewList(keep);
    }
    RedisplayWhileBrowsing();
}

// Reads the list again; the vouchers of `keepMarked` still listed stay marked.
void frmIo::RefreshReviewList(const QStringList& keepMarked) {
    store::Recordset rs =
        app::dbAcc->openRecordset(kUnapprovedQuery, store::RecordsetType::Snapshot);
    FillReviewGrid(rs.takeRows(), keepMarked);
}

// The voucher on display may be one that was just settled: show it again as stored, unless
// the user is entering or editing one.
void frmIo::RedisplayWhileBrowsing() {
    if (cmdSv->isEnabled() || app::isTrue(approvingVoucher))
        return;
    if (app::isTrue(app::gPicked)) {
        ShowVoucherByNo();
    } else if (browseRs && browseRs->RecordCount() > 0) {
        // Settling and processing add no voucher: the cursor's keys still hold, and moving to
        // the row reads it afresh.
        browseRs->MoveFirst();
        if (browsePos > 0)
            browseRs->Move(browsePos);
        ShowVoucher();
    }
}

}  // namespace orvik::vouchers
