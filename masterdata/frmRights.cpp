#include "frmRights.h"

#include <QCheckBox>
#include <QItemSelectionModel>

#include "Audit.h"
#include "Globals.h"
#include "Program.h"
#include "Recordset.h"
#include "Routines.h"

namespace orvik::masterdata {

namespace {

constexpr int kNo = 0;
constexpr int kName = 1;
constexpr int kLogin = 2;
constexpr int kRights = 3;
const QStringList kColumns{QStringLiteral("員工編號"), QStringLiteral("中文姓名"),
                           QStringLiteral("英文姓名"), QStringLiteral("AccS")};
constexpr qint32 kRightsBit = 1 << 16;  // position 17, 權限設定

enum class Outcome { Saved, Changed, LastRightsHolder };

}  // namespace

frmRights::frmRights(QWidget* parent) : QWidget(parent), staff_(new app::RowsModel(this)) {
    setupUi(this);
    QCheckBox* const boxes[] = {ck_1,  ck_2,  ck_3,  ck_4,  ck_5,  ck_6,  ck_7,  ck_8,
                                ck_9,  ck_10, ck_11, ck_12, ck_13, ck_14, ck_15, ck_16,
                                ck_17, ck_18, ck_19, ck_20, ck_21, ck_22};
    for (int k = 1; k <= 22; ++k) {
        ck[size_t(k)] = boxes[k - 1];
        ck[size_t(k)]->setObjectName(QStringLiteral("ck(%1)").arg(k));
    }
    using Col = app::RowsModel;
    auto rights = Col::text(QStringLiteral("權限數字"), kRights);
    rights.alignment = Qt::AlignRight | Qt::AlignVCenter;
    staff_->setColumns({Col::text(QStringLiteral("員工編號"), kNo),
                        Col::text(QStringLiteral("中文姓名"), kName),
                        Col::text(QStringLiteral("登入名稱"), kLogin), rights});
    setUpList(lstStaff, staff_);
    // Narrow enough that the rights number stays in view beside the names.
    lstStaff->setColumnWidth(0, 60);
    lstStaff->setColumnWidth(1, 72);
    lstStaff->setColumnWidth(2, 64);

    using app::connectHandler;
    connectHandler(lstStaff->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                   &frmRights::lstStaff_Click);
    for (int k = 1; k <= 22; ++k)
        connectHandler(ck[size_t(k)], &QCheckBox::toggled, this, &frmRights::ck_Click);
    connectHandler(cmdAll, &QPushButton::clicked, this, &frmRights::cmdAll_Click);
    connectHandler(cmdNone, &QPushButton::clicked, this, &frmRights::cmdNone_Click);
    connectHandler(cmdSave, &QPushButton::clicked, this, &frmRights::cmdSave_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    closeOnEscape(this);
    app::guard([this] { Form_Load(); });
}

void frmRights::Form_Load() {
    const std::optional<Row> keep = original_;
    staff_->setRows(readRows(*app::dbGeneral,
                             QStringLiteral("select 員工編號, 中文姓名, 英文姓名, AccS from 員工 "
                                            "order by 員工編號")));
    const int row = chooseRow(lstStaff, staff_, {kNo}, {keep ? keep->value(kNo) : QVariant()});
    if (row >= 0) {
        showStaff(row);
    } else {
        original_.reset();
        lbWhoValue->clear();
        setTicks(0);
        lbNumberValue->clear();
    }
    const bool chosen = original_.has_value();
    for (int k = 1; k <= 22; ++k)
        ck[size_t(k)]->setEnabled(chosen);
    cmdAll->setEnabled(chosen);
    cmdNone->setEnabled(chosen);
    cmdSave->setEnabled(chosen);
}

void frmRights::lstStaff_Click() {
    const int row = chosenRow(lstStaff);
    if (row < 0)
        return;
    showStaff(row);
    for (int k = 1; k <= 22; ++k)
        ck[size_t(k)]->setEnabled(true);
    cmdAll->setEnabled(true);
    cmdNone->setEnabled(true);
    cmdSave->setEnabled(true);
}

void frmRights::showStaff(int row) {
    original_ = staff_->row(row);
    lbWhoValue->setText(QStringLiteral("%1 %2（%3）")
                            .arg(original_->value(kNo).toString(),
                                 original_->value(kName).toString(),
                                 original_->value(kLogin).toString()));
    // A stored number outside the 22 known bits grants nothing, and shows so.
    setTicks(app::EffectiveRights(qint32(original_->value(kRights).toLongLong())));
}

void frmRights::setTicks(qint32 rights) {
    for (int k = 1; k <= 22; ++k) {
        const QSignalBlocker quiet(ck[size_t(k)]);
        ck[size_t(k)]->setChecked((rights >> (k - 1)) & 1);
    }
    ck_Click();
}

qint32 frmRights::tickedRights() const {
    qint32 rights = 0;
    for (int k = 1; k <= 22; ++k) {
        if (ck[size_t(k)]->isChecked())
            rights |= qint32(1) << (k - 1);
    }
    return rights;
}

void frmRights::ck_Click() {
    const qint32 rights = tickedRights();
    lbNumberValue->setText(QStringLiteral("%1（%2）").arg(rights).arg(app::ToBinaryRights(rights)));
}

void frmRights::cmdAll_Click() {
    setTicks(app::kAllRights);
}

void frmRights::cmdNone_Click() {
    setTicks(0);
}

void frmRights::cmdSave_Click() {
    if (!original_)
        return;
    const QString no = original_->value(kNo).toString();
    const qint32 rights = tickedRights();
    store::Database& db = *app::dbGeneral;
    Outcome outcome = Outcome::Saved;
    const bool written = app::guardWrite(cmdSave->text(), [&] {
        outcome = Outcome::Saved;
        store::Transaction tx(db);
        if (!unchanged(db, QStringLiteral("員工"), {QStringLiteral("員工編號")}, {no}, kColumns,
                       *original_)) {
            outcome = Outcome::Changed;
            return;
        }
        // Without anybody keeping 權限設定, nobody could ever grant a right again.
        const qint32 had = app::EffectiveRights(qint32(original_->value(kRights).toLongLong()));
        if ((had & kRightsBit) && !(rights & kRightsBit) &&
            db.scalar(QStringLiteral("select count(*) from 員工 where 員工編號 <> ? and AccS >= 0 "
                                     "and AccS <= ? and (AccS & ?) <> 0"),
                      {no, app::kAllRights, kRightsBit})
                    .toLongLong() == 0) {
            outcome = Outcome::LastRightsHolder;
            return;
        }
        audit::recordRowChange(
            db, audit::Kind::Rights, QStringLiteral("員工"), QStringLiteral("員工編號"), no, no,
            [&] {
                db.execute(QStringLiteral("update 員工 set AccS = ? where 員工編號 = ?"),
                           {rights, no});
            });
        tx.commit();
    });
    if (!written)
        return;
    if (outcome == Outcome::Changed) {
        tellChangedMeanwhile();
        Form_Load();
        return;
    }
    if (outcome == Outcome::LastRightsHolder) {
        tellRefused(
            QStringLiteral("至少要有一位員工保有「權限設定」（第 17 位）權限；"
                           "這次沒有存入"));
        ck[17]->setChecked(true);
        return;
    }
    Form_Load();
}

}  // namespace orvik::masterdata
