#include "frmAdAcc.h"

#include "Audit.h"
#include "DirectionColour.h"
#include "Forms.h"
#include "Globals.h"
#include "Program.h"
#include "Prompts.h"
#include "Recordset.h"
#include "frmIo.h"

namespace orvik::vouchers {

frmAdAcc::frmAdAcc(QWidget* parent) : QWidget(parent, Qt::Dialog) {
    setupUi(this);
    lb[0] = lb_0;
    lb[4] = lb_4;
    lb[5] = lb_5;
    Ot1 = {Ot1_0, Ot1_1};
    for (size_t i : {0u, 4u, 5u})
        lb[i]->setObjectName(QStringLiteral("lb(%1)").arg(i));
    for (size_t i = 0; i < Ot1.size(); ++i)
        Ot1[i]->setObjectName(QStringLiteral("Ot1(%1)").arg(i));

    using app::connectHandler;
    connectHandler(Command1, &QPushButton::clicked, this, &frmAdAcc::Command1_Click);
    connectHandler(Command2, &QPushButton::clicked, this, &frmAdAcc::Command2_Click);
    for (int i = 0; i < int(Ot1.size()); ++i) {
        connectHandler(Ot1[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on)
                Ot1_Click(i);
        });
    }
    app::guard([this] { Form_Load(); });
}

void frmAdAcc::Form_Load() {
    const frmIo* io = app::Forms::get<frmIo>();
    lbAccNo->setText(io->cbAcc->currentText());
    // The side follows the colour the voucher form shows; nothing is chosen otherwise.
    if (io->lbAcIo->palette().color(QPalette::WindowText) == kExpenseColour)
        Ot1[1]->setChecked(true);
    else
        Ot1[1]->setChecked(false);
}

void frmAdAcc::Ot1_Click(int) {
    // The voucher form's labels change at once, whether or not the account is then added.
    const QColor colour = Ot1[0]->isChecked() ? kIncomeColour : kExpenseColour;
    frmIo* io = app::Forms::get<frmIo>();
    setTextColour(txtAcc, colour);
    setTextColour(io->lbAcIo, colour);
    setTextColour(io->lbAcTxt, colour);
}

void frmAdAcc::Command1_Click() {
    if (txtAcc->text().isEmpty()) {
        app::MsgBox(QStringLiteral("請填入科目名稱"), app::Buttons::OK, app::Icon::Exclamation);
        return;
    }
    // Another copy may have added the same code while this dialog was open: looked up again
    // inside the transaction, the account is added once, and the stored one is used.
    QString name = txtAcc->text();
    bool income = Ot1[0]->isChecked();
    bool existed = false;
    if (!app::guardWrite(Command1->text(), [&] {
            store::Transaction tx(*app::dbAcc);
            store::Recordset stored =
                app::dbAcc->openRecordset(QStringLiteral("select incom, acc from acc where id = ?"),
                                          store::RecordsetType::Snapshot, {lbAccNo->text()});
            existed = !stored.isEOF();
            if (existed) {
                income = store::storedBool(stored.field(0));
                name = stored.text(1);
                return;
            }
            store::Recordset rs =
                app::dbAcc->openRecordset(QStringLiteral("select * from acc where 0"));
            rs.AddNew();
            rs.setField(0, lbAccNo->text());
            rs.setField(1, income);
            rs.setField(2, name);
            rs.Update();
            rs.Close();
            audit::record(*app::dbAcc, {audit::Kind::MasterData,
                                        QStringLiteral("acc"),
                                        lbAccNo->text(),
                                        {},
                                        audit::rowOf(*app::dbAcc, QStringLiteral("acc"),
                                                     QStringLiteral("id"), lbAccNo->text()),
                                        QStringLiteral("由收支單加入")});
            tx.commit();
        }))
        return;  // nothing written; the dialog stays open with what was typed
    if (existed)
        app::MsgBox(QStringLiteral("此科目代號已由別人加入，收支單將使用已存的科目名稱"),
                    app::Buttons::OK, app::Icon::Information);
    frmIo* io = app::Forms::get<frmIo>();
    io->lbAcTxt->setText(name);
    // The voucher is saved with the side these words name, so they follow the new account,
    // not only its colour: an income account must not leave "(支出)" standing in blue.
    io->lbAcIo->setText(income ? QStringLiteral("(收入)") : QStringLiteral("(支出)"));
    setTextColour(io->lbAcIo, income ? kIncomeColour : kExpenseColour);
    setTextColour(io->lbAcTxt, income ? kIncomeColour : kExpenseColour);
    close();
}

void frmAdAcc::Command2_Click() {
    close();
}

}  // namespace orvik::vouchers
