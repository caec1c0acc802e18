// Loading the write-off form, the list of open items, the two grids and placing 確定沖帳
// beside the row the user clicks.

#include "frmMach.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include "EraDate.h"
#include "Forms.h"
#include "Program.h"
#include "Prompts.h"
#include "Recordset.h"
#include "WriteOffHandOver.h"
#include "WriteOffRules.h"

namespace orvik::writeoff {

using namespace orvik::app;

namespace {

const QString kTitle = QStringLiteral("Acc");
constexpr int kVisibleRows = 5;  // data rows a grid shows without scrolling

QTableWidgetItem* cell(QTableWidget* grid, int row, int col) {
    QTableWidgetItem* item = grid->item(row, col);
    if (!item) {
        item = new QTableWidgetItem;
        grid->setItem(row, col, item);
    }
    return item;
}

QString cellText(const QTableWidget* grid, int row, int col) {
    const QTableWidgetItem* item = grid->item(row, col);
    return item ? item->text() : QString();
}

QString eraShort(const QVariant& stored) {
    return FormatEra(store::storedDate(stored), kEraShort);
}

}  // namespace

frmMach::frmMach(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    SetUpGrid(hfgC);
    SetUpGrid(hfgR);
    connectHandler(lstRio, &QTreeWidget::itemSelectionChanged, this, &frmMach::lstRio_Click);
    connectHandler(cmd, &QPushButton::clicked, this, &frmMach::cmd_Click);
    Form_Load();
}

frmMach::~frmMach() = default;

void frmMach::SetUpGrid(QTableWidget* grid) {
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(
        std::max(fontMetrics().height() + 8, cmd->sizeHint().height() - 4));
    grid->horizontalHeader()->setMinimumSectionSize(1);
    grid->setMinimumHeight((kVisibleRows + 1) * grid->verticalHeader()->defaultSectionSize() +
                           2 * grid->frameWidth());
    grid->viewport()->installEventFilter(this);
    grid->installEventFilter(this);
}

void frmMach::FitColumns(QTableWidget* grid) {
    // The set widths are the least a column gets. Ordinary values fit from the start, so that
    // the window keeps its size from item to item; longer ones widen their column rather than
    // being cut off.
    static const QStringList instalmentSamples{
        QStringLiteral("888期"), QStringLiteral("88,888,888"), QStringLiteral("888/88/88"),
        QStringLiteral("0.125"), QStringLiteral("888/88/88"),  QStringLiteral("AB12345678")};
    static const QStringList additionSamples{
        QStringLiteral("追加88"),     QStringLiteral("Q113-0001"), QStringLiteral("C113-0001"),
        QStringLiteral("88,888,888"), QStringLiteral("888/88/88"), QStringLiteral("888/88/88"),
        QStringLiteral("AB12345678")};
    const QStringList& samples = grid == hfgC ? instalmentSamples : additionSamples;
    const QFontMetrics metrics = grid->fontMetrics();
    int cells = 0;
    for (int c = 0; c < grid->columnCount(); ++c) {
        int width =
            std::max(grid->columnWidth(c),
                     c < samples.size() ? metrics.horizontalAdvance(samples.at(c)) + 12 : 0);
        for (int r = 0; r < grid->rowCount(); ++r) {
            if (const QTableWidgetItem* item = grid->item(r, c))
                width = std::max(width, metrics.horizontalAdvance(item->text()) + 12);
        }
        grid->setColumnWidth(c, width);
        cells += width;
    }
    // Room right of the last column for 確定沖帳, and for a vertical scroll bar.
    grid->setMinimumWidth(
        std::max(grid->minimumWidth(), cells + 2 + cmd->sizeHint().width() + 8 +
                                           grid->verticalScrollBar()->sizeHint().width() +
                                           2 * grid->frameWidth()));
}

void frmMach::Form_Load() {
    income_ = isTrue(gMachIncome);
    lbMachCash->setText(FormatAmount(WholeAmount(voucherForWriteOff().amountText)));
    LoadOpenItems();
    const QColor tint = income_ ? QColor(192, 192, 255) : QColor(255, 192, 192);
    for (QTableWidget* grid : {hfgC, hfgR}) {
        QPalette palette = grid->palette();
        palette.setColor(QPalette::Base, tint);
        grid->setPalette(palette);
        grid->setRowCount(2);
    }
    SetGridHeadings();
    FitColumns(hfgC);
    FitColumns(hfgR);
}

void frmMach::LoadOpenItems() {
    lstRio->clear();
    store::Recordset rs =
        dbAcc->openRecordset(OpenItemsSql(income_), store::RecordsetType::Snapshot);
    if (rs.isEOF()) {
        rs.Close();
        MsgBox(QStringLiteral("無應收付可沖帳"), Buttons::OK, Icon::Exclamation, kTitle);
        return;
    }
    for (; !rs.isEOF(); rs.MoveNext()) {
        auto* item = new QTreeWidgetItem(lstRio, {rs.text(0), rs.text(1)});
        item->setData(0, Qt::UserRole, rs.text(0));
    }
    rs.Close();
    lstRio->resizeColumnToContents(0);
}

void frmMach::SetGridHeadings() {
    const auto set = [this](QTableWidget* grid, int columnTwips, const QStringList& headings) {
        grid->setColumnCount(int(headings.size()));
        if (grid->rowCount() < 1)
            grid->setRowCount(1);
        const QBrush fixed = palette().button();
        for (int c = 0; c < grid->columnCount(); ++c) {
            grid->setColumnWidth(c, (c == 0 ? kKeyColumnTwips : columnTwips) / kTwipsPerPixel);
            QTableWidgetItem* heading = cell(grid, 0, c);
            heading->setText(headings.at(c));
            heading->setTextAlignment(Qt::AlignCenter);
            heading->setBackground(fixed);
            heading->setFlags(Qt::ItemIsEnabled);
        }
        // Column 0, the row keys, is fixed like the heading row.
        for (int r = 1; r < grid->rowCount(); ++r)
            cell(grid, r, 0)->setBackground(fixed);
    };
    set(hfgC, kInstalmentColumnTwips,
        {QString(), QStringLiteral("應付金額"), QStringLiteral("預付日期"),
         QStringLiteral("佔總價比例"), QStringLiteral("送帳單日"), QStringLiteral("發票號碼")});
    set(hfgR, kAdditionColumnTwips,
        {QString(), QStringLiteral("報價單號"), QStringLiteral("合約單號"),
         QStringLiteral("應付金額"), QStringLiteral("預付日期"), QStringLiteral("送帳單日"),
         QStringLiteral("發票號碼")});
}

QString frmMach::ListValue() const {
    const auto chosen = lstRio->selectedItems();
    return chosen.isEmpty() ? QString() : chosen.first()->data(0, Qt::UserRole).toString();
}

void frmMach::lstRio_Click() {
    // The button belongs to a row of the previous item: it must not confirm one of this one.
    HideConfirmButton();
    for (QTableWidget* grid : {hfgC, hfgR}) {
        grid->clearContents();
        grid->setRowCount(2);
    }
    SetGridHeadings();
    const QString id = ListValue();
    // 應付金額 is kept with its cell as stored, for the amount of a clicked row.
    const auto amountCell = [](QTableWidget* grid, int row, int col, const QVariant& value) {
        QTableWidgetItem* item = cell(grid, row, col);
        item->setText(AmountText(value));
        item->setData(Qt::UserRole, value);
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    };

    store::Recordset rs =
        dbAcc->openRecordset(OpenInstalmentsSql(income_), {id}, store::RecordsetType::Snapshot);
    if (rs.RecordCount() > 0) {
        hfgC->setRowCount(rs.RecordCount() + 1);
        for (int r = 1; !rs.isEOF(); ++r, rs.MoveNext()) {
            cell(hfgC, r, 0)->setText(NumberText(rs.field(1)) + QStringLiteral("期"));
            amountCell(hfgC, r, 1, rs.field(2));
            cell(hfgC, r, 2)->setText(eraShort(rs.field(3)));
            cell(hfgC, r, 3)->setText(NumberText(rs.field(4)));
            cell(hfgC, r, 4)->setText(eraShort(rs.field(5)));
            cell(hfgC, r, 5)->setText(rs.text(6));
        }
    }
    rs.Close();

    rs = dbAcc->openRecordset(OpenAdditionsSql(income_), {id}, store::RecordsetType::Snapshot);
    if (rs.RecordCount() > 0) {
        hfgR->setRowCount(rs.RecordCount() + 1);
        for (int r = 1; !rs.isEOF(); ++r, rs.MoveNext()) {
            cell(hfgR, r, 0)->setText(QStringLiteral("追加") + NumberText(rs.field(1)));
            cell(hfgR, r, 1)->setText(rs.text(2));
            cell(hfgR, r, 2)->setText(rs.text(3));
            amountCell(hfgR, r, 3, rs.field(4));
            cell(hfgR, r, 4)->setText(eraShort(rs.field(5)));
            cell(hfgR, r, 5)->setText(eraShort(rs.field(6)));
            cell(hfgR, r, 6)->setText(rs.text(7));
        }
    }
    rs.Close();
    SetGridHeadings();  // tints the key column of the rows just added
    FitColumns(hfgC);
    FitColumns(hfgR);
}

void frmMach::hfgC_MouseDown(Qt::MouseButton button, const QPoint& pos) {
    GridMouseDown(hfgC, true, button, pos);
}

void frmMach::hfgR_MouseDown(Qt::MouseButton button, const QPoint& pos) {
    GridMouseDown(hfgR, false, button, pos);
}

void frmMach::GridMouseDown(QTableWidget* grid, bool instalment, Qt::MouseButton button,
                            const QPoint& pos) {
    const int row = grid->rowAt(pos.y());
    if (row <= 0)
        return;  // the headings, or below the last row
    if (cellText(grid, row, 0).isEmpty()) {
        HideConfirmButton();
        MsgBox(instalment ? QStringLiteral("應收付號碼/名稱") : QStringLiteral("無應收付號碼/名稱"),
               Buttons::OK, Icon::Exclamation, kTitle);
        return;
    }
    // Only the left button chooses a row: another button must not move the choice away from
    // the row that 確定沖帳 stands beside.
    if (button != Qt::LeftButton)
        return;
    selRow = qint16(row);
    selIsInstalment = toBool16(instalment);
    const QTableWidgetItem* amount = grid->item(row, instalment ? 1 : 3);
    selAmount = amount ? RoundHalfEven(amount->data(Qt::UserRole).toDouble()) : 0;
    PlaceConfirmButton(grid, row);
}

void frmMach::PlaceConfirmButton(QTableWidget* grid, int row) {
    // In the grid's viewport the button scrolls with its row and is hidden with it.
    if (cmd->parentWidget() != grid->viewport())
        cmd->setParent(grid->viewport());
    const int last = grid->columnCount() - 1;
    const int left = grid->columnViewportPosition(last) + grid->columnWidth(last) + 2;
    cmd->setGeometry(left, grid->rowViewportPosition(row), cmd->sizeHint().width(),
                     grid->rowHeight(row));
    grid->selectRow(row);
    cmd->show();
    cmd->raise();
}

void frmMach::HideConfirmButton() {
    cmd->hide();
}

bool frmMach::eventFilter(QObject* watched, QEvent* event) {
    // Only these two kinds are looked at, so nothing here touches a grid being destroyed.
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    for (QTableWidget* grid : {hfgC, hfgR}) {
        const auto mouseDown = [this, grid](Qt::MouseButton button, const QPoint& pos) {
            guard([&] {
                if (grid == hfgC)
                    hfgC_MouseDown(button, pos);
                else
                    hfgR_MouseDown(button, pos);
            });
        };
        if (watched == grid->viewport() && event->type() == QEvent::MouseButtonPress) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            mouseDown(mouse->button(), mouse->position().toPoint());
            // Swallowed so that the grid's own selection does not leave the chosen row.
            return mouse->button() != Qt::LeftButton;
        }
        // From the keyboard, Enter or Space on a row does what a left click on it does.
        if (watched == grid && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
                grid->currentRow() > 0) {
                mouseDown(Qt::LeftButton,
                          grid->visualRect(grid->model()->index(grid->currentRow(), 0)).center());
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmMach::Unload() {
    if (Forms::isLoaded<frmMach>() && Forms::get<frmMach>() == this)
        Forms::unload<frmMach>();
    else
        close();
}

}  // namespace orvik::writeoff
