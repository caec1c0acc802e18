// The list of unapproved vouchers below the fields (檢視未簽核收支單): opening it, its columns
// and colours, marking expense vouchers for one combined bill (合計開票) and settling them with
// it (確定開票). Closing the list and double-clicking a row are shared with the search hits
// (frmIoPanels.cpp).

#include <QFontMetrics>
#include <QSet>
#include <QStyle>
#include <array>

#include "BillHandOver.h"
#include "BillStore.h"
#include "EraDate.h"
#include "Globals.h"
#include "Prompts.h"
#include "VoucherRules.h"
#include "frmIo.h"

namespace orvik::vouchers {

using app::False;
using app::True;

namespace {

// The vouchers waiting for approval (-1, -2): neither approved (0 and up) nor void (-3).
const QString kUnapprovedQuery = QStringLiteral(
    "select 單號, 發生日期, 用途說明, 專案名稱, 工程種類, pay, 科目代號, 科目名稱, 金額 "
    "from iof where 方式 < 0 and 方式 > -3 order by 單號");

constexpr int kColumns = 9;
constexpr int kFixedColumns = 3;
constexpr int kMarkColumn = 0;
constexpr int kNumberColumn = 1;
constexpr int kFirstColouredColumn = 3;
constexpr int kDirectionColumn = 6;
constexpr int kAmountColumn = 8;
constexpr std::array<int, kColumns> kWidthsTwips{200, 900, 880, 2650, 2650, 1000, 500, 2000, 1000};

const QColor kMarked(0, 255, 255);
const QColor kUnmarked(255, 255, 255);
const QString kMark = QStringLiteral("*");

QString cellText(const QTableWidget* grid, int row, int col) {
    const QTableWidgetItem* item = grid->item(row, col);
    return item ? item->text() : QString();
}

// The amount shown in the list ("12,345") as a whole number.
qint64 shownAmount(const QString& text) {
    QString digits = text;
    digits.remove(QLatin1Char(','));
    return RoundHalfEven(digits.toDouble());
}

}  // namespace

void frmIo::OpenReviewList() {
    store::Recordset rs =
        app::dbAcc->openRecordset(kUnapprovedQuery, store::RecordsetType::Snapshot);
    if (rs.isEOF()) {
        app::MsgBox(QStringLiteral("無未簽核收支單"), app::Buttons::OK, app::Icon::Exclamation,
                    QStringLiteral("Acc"));
        return;
    }
    setHeightTwips(kExpandedHeight);
    ckco->show();
    setPanelColour(cmdNck->palette().color(QPalette::Button));
    FillReviewGrid(rs, {});
    rs.Close();
    cmdNck->setText(QStringLiteral("檢視未簽核收支單<<"));
}

// Lists the vouchers of `rs` (the unapproved-voucher query) in the grid, one row each after the
// heading row; an empty list keeps one empty row. The vouchers of `marked` that are listed
// again stay marked, and gMarkedTotal becomes the sum of their amounts as listed now.
void frmIo::FillReviewGrid(store::Recordset& rs, const QStringList& marked) {
    HFG->setUpdatesEnabled(false);
    HFG->setRowCount(0);  // drops the old rows at once
    HFG->setColumnCount(kColumns);
    const int listed = rs.RecordCount();
    HFG->setRowCount(std::max(listed, 1) + 1);
    for (int c = 0; c < kColumns; ++c)
        HFG->setColumnWidth(c, qRound(kWidthsTwips[size_t(c)] / double(kTwipsPerPixel)));
    const QStringList headings{QString(),
                               QStringLiteral("收支單號"),
                               QStringLiteral("發生日期"),
                               QStringLiteral("用途"),
                               QStringLiteral("專案名稱"),
                               QStringLiteral("工程種類"),
                               QStringLiteral("收支"),
                               QStringLiteral("科目"),
                               QStringLiteral("金額")};
    for (int c = 0; c < kColumns; ++c)
        HFG->setItem(0, c, new QTableWidgetItem(headings.at(c)));

    // The widths are those of the list as it has always been, in twips; a column of numbers
    // or dates whose texts would not show whole in this program's font is widened to them.
    const QFontMetrics metrics(HFG->font());
    constexpr int kPadding = 8;
    std::array<int, kColumns> needed{};
    for (int c = 0; c < kColumns; ++c)
        needed[size_t(c)] = metrics.horizontalAdvance(headings.at(c)) + kPadding;

    const QSet<QString> keep(marked.begin(), marked.end());
    qint64 total = 0;
    int r = 1;
    for (; !rs.isEOF(); rs.MoveNext(), ++r) {
        const QString no = rs.text(0);
        const qint64 amount = RoundHalfEven(rs.field(8).toDouble());
        const bool mark = keep.contains(no);
        const QString texts[kColumns] = {
            mark ? kMark : QString(),
            no,
            app::FormatEra(store::storedDate(rs.field(1)), app::kEraShort),
            rs.text(2),
            rs.text(3),
            rs.text(4),
            store::storedBool(rs.field(5)) ? QStringLiteral("支出") : QStringLiteral("收入"),
            QLatin1Char('(') + rs.text(6) + QLatin1Char(')') + rs.text(7),
            app::FormatAmount(amount),
        };
        for (int c = 0; c < kColumns; ++c) {
            auto* item = new QTableWidgetItem(texts[c]);
            if (c >= kFirstColouredColumn)
                item->setBackground(mark ? kMarked : kUnmarked);
            if (c == 7)
                item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            else if (c == kAmountColumn)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            HFG->setItem(r, c, item);
        }
        for (int c : {kNumberColumn, 2, kDirectionColumn, kAmountColumn})
            needed[size_t(c)] =
                std::max(needed[size_t(c)], metrics.horizontalAdvance(texts[c]) + kPadding);
        if (mark)
            total += amount;
    }
    int widened = 0;
    for (int c : {kNumberColumn, 2, kDirectionColumn, kAmountColumn}) {
        const int width = HFG->columnWidth(c);
        if (needed[size_t(c)] > width) {
            widened += needed[size_t(c)] - width;
            HFG->setColumnWidth(c, needed[size_t(c)]);
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
    HFG->setUpdatesEnabled(true);
}

// The numbers of the marked rows, in grid order.
QStringList frmIo::MarkedVouchers() const {
    QStringList out;
    for (int r = 1; r < HFG->rowCount(); ++r) {
        if (cellText(HFG, r, kMarkColumn) == kMark)
            out << cellText(HFG, r, kNumberColumn);
    }
    return out;
}

void frmIo::setRowMarked(int row, bool marked) {
    if (QTableWidgetItem* mark = HFG->item(row, kMarkColumn))
        mark->setText(marked ? kMark : QString());
    for (int c = kFirstColouredColumn; c < HFG->columnCount(); ++c) {
        if (QTableWidgetItem* item = HFG->item(row, c))
            item->setBackground(marked ? kMarked : kUnmarked);
    }
}

// A click in the list while 合計開票 is ticked marks or unmarks an expense voucher.
void frmIo::HFG_MouseDown(int row, int col) {
    Q_UNUSED(col);
    if (panelColour() == kSearchPanelColour)  // the hits of a search are never marked
        return;
    if (ckco->isHidden() || !ckco->isChecked() || row <= 0)
        return;
    if (cellText(HFG, row, kNumberColumn).isEmpty())  // the empty row of an empty list
        return;
    if (cellText(HFG, row, kDirectionColumn) == QStringLiteral("收入")) {
        app::MsgBox(QStringLiteral("不是支出收支單"), app::Buttons::OK, app::Icon::Exclamation,
                    QStringLiteral("Acc"));
        return;
    }
    HFG->setCurrentCell(row, kFirstColouredColumn);
    const QTableWidgetItem* current = HFG->item(row, kFirstColouredColumn);
    const bool wasMarked = current && current->background().color() == kMarked;
    setRowMarked(row, !wasMarked);
    const qint64 amount = shownAmount(cellText(HFG, row, kAmountColumn));
    app::gMarkedTotal = qint32(app::gMarkedTotal + (wasMarked ? -amount : amount));
}

// 合計開票: ticking starts a new total; unticking clears every mark (not the total).
void frmIo::ckco_Click() {
    if (ckco->isChecked()) {
        cmdco->show();
        app::gMarkedTotal = 0;
        return;
    }
    cmdco->hide();
    HFG->setUpdatesEnabled(false);
    for (int r = 1; r < HFG->rowCount(); ++r)
        setRowMarked(r, false);
    HFG->setUpdatesEnabled(true);
}

// 確定開票: one expense bill for every marked voucher. The bill form only collects the bill;
// then the bill row, one iofs row per voucher and status 1 on each are written in one
// transaction, or nothing at all when another copy approved or voided one of them meanwhile.
// Either way the list is read again, so that it shows what still waits for approval.
void frmIo::cmdco_Click() {
    const QStringList numbers = MarkedVouchers();
    if (numbers.isEmpty()) {
        app::MsgBox(QStringLiteral("沒有選取收支單"), app::Buttons::OK, app::Icon::Exclamation,
                    QStringLiteral("Acc"));
        return;
    }
    const ChildFormScope busy(*this);
    const std::optional<bills::BillRow> bill =
        bills::enterCombinedBill(numbers.first(), app::gMarkedTotal);
    if (!bill) {
        app::MsgBox(QStringLiteral("因您取消票據輸入\r\n所以此收支單並未簽核"), app::Buttons::OK,
                    app::Icon::Exclamation, QStringLiteral("ACC"));
        app::gBillCancel = False;
        return;
    }

    const QStringList refused = bills::commitCombinedBill(*app::dbAcc, *bill, numbers);
    if (refused.isEmpty()) {
        // Every marked voucher is settled: their rows leave the list. Only they changed, so
        // the other rows stay as read (no second read of a long list).
        const QSet<QString> settled(numbers.begin(), numbers.end());
        HFG->setUpdatesEnabled(false);
        for (int r = HFG->rowCount() - 1; r >= 1; --r) {
            if (settled.contains(cellText(HFG, r, kNumberColumn)))
                HFG->removeRow(r);
        }
        if (HFG->rowCount() < 2)
            HFG->setRowCount(2);  // an empty list keeps one empty row
        HFG->setUpdatesEnabled(true);
        app::gMarkedTotal = 0;
    } else {
        app::MsgBox(QStringLiteral("下列收支單已在別處簽核或作廢:\r\n") +
                        refused.join(QStringLiteral("\r\n")) +
                        QStringLiteral("\r\n所以此合計票據並未存入，收支單均未簽核"),
                    app::Buttons::OK, app::Icon::Exclamation, QStringLiteral("Acc"));
        // The others stay marked, for another try without the ones that are gone.
        RefreshReviewList(numbers);
    }
    RedisplayWhileBrowsing();
}

// Reads the list again; the vouchers of `keepMarked` still listed stay marked.
void frmIo::RefreshReviewList(const QStringList& keepMarked) {
    store::Recordset rs =
        app::dbAcc->openRecordset(kUnapprovedQuery, store::RecordsetType::Snapshot);
    FillReviewGrid(rs, keepMarked);
    rs.Close();
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
