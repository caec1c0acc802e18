#include "frmCompany.h"

#include <QVBoxLayout>

#include "BankListPanel.h"
#include "Editing.h"
#include "Globals.h"
#include "Program.h"

namespace orvik::masterdata {

frmCompany::frmCompany(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    deposits = new BankListPanel(BankListPanel::Kind::Deposit, tabDeposit);
    cheques = new BankListPanel(BankListPanel::Kind::Cheque, tabCheque);
    counterparts = new BankListPanel(BankListPanel::Kind::Counterparty, tabCounter);
    tabDeposit->layout()->addWidget(deposits);
    tabCheque->layout()->addWidget(cheques);
    tabCounter->layout()->addWidget(counterparts);

    using app::connectHandler;
    connectHandler(cmdSaveHeading, &QPushButton::clicked, this, &frmCompany::cmdSaveHeading_Click);
    connect(txtHeading, &QLineEdit::returnPressed, cmdSaveHeading, &QPushButton::click);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    closeOnEscape(this);
    app::guard([this] { Form_Load(); });
}

void frmCompany::Form_Load() {
    storedHeading_ = app::dbPrint->scalar(
        QStringLiteral("select ion from company where rowid = (select min(rowid) from company)"));
    txtHeading->setText(storedHeading_.toString());
    for (BankListPanel* panel : {deposits, cheques, counterparts})
        panel->Load();
}

void frmCompany::cmdSaveHeading_Click() {
    const QString heading = txtHeading->text().trimmed();
    if (heading.isEmpty())
        return tellMissing(QStringLiteral("公司名稱"), txtHeading);
    bool changedMeanwhile = false;
    store::Database& db = *app::dbPrint;
    if (!app::guardWrite(cmdSaveHeading->text(), [&] {
            store::Transaction tx(db);
            const QVariant now = db.scalar(QStringLiteral(
                "select ion from company where rowid = (select min(rowid) from company)"));
            changedMeanwhile = !sameValue(now, storedHeading_);
            if (changedMeanwhile)
                return;
            if (!now.isValid())
                db.execute(QStringLiteral("insert into company (ion) values (?)"), {heading});
            else
                db.execute(QStringLiteral("update company set ion = ? "
                                          "where rowid = (select min(rowid) from company)"),
                           {heading});
            tx.commit();
        }))
        return;
    if (changedMeanwhile) {
        tellChangedMeanwhile();
        Form_Load();
        return;
    }
    storedHeading_ = heading;
    txtHeading->setText(heading);
}

}  // namespace orvik::masterdata
