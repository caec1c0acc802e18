#include "frmAudit.h"

#include <QDateTime>
#include <QHeaderView>
#include <algorithm>

#include "Audit.h"
#include "Clock.h"
#include "EraDate.h"
#include "Forms.h"
#include "Globals.h"
#include "Program.h"
#include "Prompts.h"
#include "Recordset.h"
#include "Routines.h"
#include "WaitCursor.h"

namespace orvik::audit {

using app::RowsModel;

namespace {

const QString kTitle = QStringLiteral("稽核紀錄");

std::function<void(const QString&)>& voucherOpener() {
    static std::function<void(const QString&)> opener;
    return opener;
}

// Fields of a listed row.
enum Field {
    FWorkDate,
    FTime,
    FLogin,
    FKind,
    FTable,
    FKey,
    FChange,
    FNote,
    FFile,
    FVoucher,
    FSort
};

QString shownTime(const QString& iso) {
    const QDateTime t = QDateTime::fromString(iso, Qt::ISODateWithMs);
    if (!t.isValid())
        return iso;
    return app::FormatEra(t.date(), app::kEraShort) + QLatin1Char(' ') +
           t.time().toString(QStringLiteral("HH:mm:ss"));
}

QString kindShown(const QString& name) {
    const auto kind = kindFromName(name);
    return kind ? kindCaption(*kind) : name;
}

// The events of both files that pass the filter, oldest first by the computer's clock, at
// most kLimit of the newest. Gives whether some were left out.
bool readBoth(const Filter& filter, QVector<RowsModel::Row>& rows) {
    struct Source {
        store::Database* db;
        QString file;
    };
    QVector<Source> sources;
    if (app::dbAcc)
        sources.push_back({app::dbAcc.get(), QStringLiteral("acc.mdb")});
    if (app::dbGeneral)
        sources.push_back({app::dbGeneral.get(), QStringLiteral("voro3.mdb")});
    Filter limited = filter;
    limited.limit = frmAudit::kLimit + 1;
    bool more = false;
    for (const Source& s : sources) {
        if (!s.db->hasTable(QStringLiteral("audit")))
            continue;
        const QVector<StoredEvent> events = readEvents(*s.db, limited);
        more = more || events.size() > frmAudit::kLimit;
        for (const StoredEvent& e : events) {
            rows.push_back(
                {e.workDate.isValid() ? QVariant(e.workDate.toString(Qt::ISODate)) : QVariant(),
                 shownTime(e.realTime), e.login, kindShown(e.kind), e.table, e.key,
                 describeChange(e.before, e.after), e.note, s.file, e.voucher,
                 e.realTime + QLatin1Char(' ') + s.file +
                     QString::number(e.id).rightJustified(12, QLatin1Char('0'))});
        }
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const RowsModel::Row& a, const RowsModel::Row& b) {
                         return a.at(FSort).toString() < b.at(FSort).toString();
                     });
    if (rows.size() > frmAudit::kLimit) {
        rows.remove(0, rows.size() - frmAudit::kLimit);
        more = true;
    }
    return more;
}

}  // namespace

bool mayReadTrail() {
    return app::HasRight(11) || app::HasRight(12) || app::HasRight(17);
}

void setVoucherOpener(std::function<void(const QString&)> opener) {
    voucherOpener() = std::move(opener);
}

void showAuditWindow(const QString& voucherNo) {
    if (!mayReadTrail()) {
        app::MsgBox(QStringLiteral("您沒有這項作業的權限"), app::Buttons::OK,
                    app::Icon::Exclamation, QStringLiteral("ACC"));
        return;
    }
    const bool loaded = app::Forms::isLoaded<frmAudit>();
    auto* f = app::Forms::get<frmAudit>();
    f->show();
    f->raise();
    f->activateWindow();
    if (!voucherNo.isEmpty())
        f->showVoucher(voucherNo);
    else if (!loaded)
        f->cmdQuery_Click();
}

frmAudit::frmAudit(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    setWindowFlags(Qt::Window);
    model_ = new RowsModel(this);
    model_->setColumns({RowsModel::rocDate(QStringLiteral("工作日期"), FWorkDate),
                        RowsModel::text(QStringLiteral("時間"), FTime),
                        RowsModel::text(QStringLiteral("使用者"), FLogin),
                        RowsModel::text(QStringLiteral("事件"), FKind),
                        RowsModel::text(QStringLiteral("資料表"), FTable),
                        RowsModel::text(QStringLiteral("鍵值"), FKey),
                        RowsModel::text(QStringLiteral("變更"), FChange),
                        RowsModel::text(QStringLiteral("說明"), FNote),
                        RowsModel::text(QStringLiteral("檔案"), FFile)});
    tvEvents->setModel(model_);
    tvEvents->setSortingEnabled(true);
    // Events come oldest first, sorted by no column until the user asks.
    tvEvents->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    tvEvents->setAlternatingRowColors(true);
    // An empty box means no bound, not the format hint that date boxes show elsewhere.
    txtTo->setPlaceholderText(QStringLiteral("（不限）"));
    txtFrom->setPlaceholderText(QStringLiteral("（不限）"));
    tvEvents->horizontalHeader()->setStretchLastSection(false);
    tvEvents->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    tvEvents->verticalHeader()->hide();

    app::connectHandler(cmdQuery, &QPushButton::clicked, this, &frmAudit::cmdQuery_Click);
    app::connectHandler(cmdCheck, &QPushButton::clicked, this, &frmAudit::cmdCheck_Click);
    app::connectHandler(cmdClose, &QPushButton::clicked, this, &frmAudit::cmdClose_Click);
    app::connectHandler(txtVoucher, &QLineEdit::returnPressed, this, &frmAudit::cmdQuery_Click);
    app::connectHandler(tvEvents, &QTableView::doubleClicked, this, &frmAudit::tvEvents_DblClick);
    Form_Load();
}

void frmAudit::Form_Load() {
    cbKind->addItem(QStringLiteral("(全部)"), QString());
    for (Kind k : allKinds())
        cbKind->addItem(kindCaption(k), kindName(k));
    cbUser->addItem(QString());
    if (app::dbGeneral) {
        store::Recordset rs = app::dbGeneral->openRecordset(
            QStringLiteral("select 英文姓名 from 員工 order by 員工編號"),
            store::RecordsetType::Snapshot);
        for (; !rs.isEOF(); rs.MoveNext()) {
            if (!rs.text(0).isEmpty())
                cbUser->addItem(rs.text(0));
        }
        rs.Close();
    }
    // The last month, unless the user asks for more.
    txtFrom->setDate(app::Clock::today().addMonths(-1));
    txtTo->setDate({});
}

void frmAudit::cmdQuery_Click() {
    for (const auto& [box, caption] :
         {std::pair{txtFrom, QStringLiteral("起日")}, std::pair{txtTo, QStringLiteral("迄日")}}) {
        if (!box->isEmptyOrValid()) {
            app::MsgBox(app::badDateMessage(caption), app::Buttons::OK, app::Icon::Exclamation,
                        kTitle);
            box->setFocus();
            return;
        }
    }
    Filter filter;
    filter.from = txtFrom->date();
    filter.to = txtTo->date();
    filter.login = cbUser->currentText().trimmed();
    const QString kind = cbKind->currentData().toString();
    if (!kind.isEmpty())
        filter.kind = kindFromName(kind);
    filter.voucher = txtVoucher->text().trimmed();

    const app::WaitCursor busy;
    QVector<RowsModel::Row> rows;
    const bool more = readBoth(filter, rows);
    const int count = int(rows.size());
    model_->setRows(std::move(rows));
    tvEvents->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    tvEvents->resizeColumnsToContents();
    if (tvEvents->columnWidth(Change) > 420)
        tvEvents->setColumnWidth(Change, 420);
    if (count > 0)
        tvEvents->scrollToBottom();
    lblCount->setText(
        more ? QStringLiteral("列出最近的 %1 筆（還有更早的，請縮小日期範圍）")
                   .arg(app::GroupThousands(QString::number(count)))
             : QStringLiteral("共 %1 筆").arg(app::GroupThousands(QString::number(count))));
}

void frmAudit::showVoucher(const QString& no) {
    txtFrom->setDate({});
    txtTo->setDate({});
    cbUser->setCurrentIndex(0);
    cbUser->setEditText(QString());
    cbKind->setCurrentIndex(0);
    txtVoucher->setText(no);
    setWindowTitle(QStringLiteral("稽核紀錄 - 收支單 %1").arg(no));
    cmdQuery_Click();
}

void frmAudit::cmdCheck_Click() {
    const app::WaitCursor busy;
    QStringList lines;
    bool allWhole = true;
    for (const auto& [db, file] : {std::pair{app::dbAcc.get(), QStringLiteral("acc.mdb")},
                                   std::pair{app::dbGeneral.get(), QStringLiteral("voro3.mdb")}}) {
        if (!db || !db->hasTable(QStringLiteral("audit")))
            continue;
        const ChainReport r = verifyChain(*db);
        if (r.ok()) {
            // The head of the chain, to note down elsewhere: only a copy kept apart shows that
            // the newest events were cut off or the whole chain written anew.
            lines << QStringLiteral("%1：%2 筆事件，完整無缺").arg(file).arg(r.events);
            if (r.events > 0)
                lines
                    << QStringLiteral("　最後一筆第 %1 筆，雜湊 %2").arg(r.lastId).arg(r.lastHash);
        } else {
            allWhole = false;
            lines << QStringLiteral("%1：%2").arg(file, r.problem);
        }
    }
    app::MsgBox(lines.join(QStringLiteral("\r\n")), app::Buttons::OK,
                allWhole ? app::Icon::Information : app::Icon::Critical, kTitle);
}

void frmAudit::cmdClose_Click() {
    close();
}

void frmAudit::tvEvents_DblClick(const QModelIndex& index) {
    if (!index.isValid() || !voucherOpener())
        return;
    const QString voucher = model_->row(index.row()).value(FVoucher).toString();
    // A combined bill's key names no single voucher.
    if (voucher.isEmpty() || voucher.endsWith(QLatin1Char('S')))
        return;
    voucherOpener()(voucher);
}

}  // namespace orvik::audit
