// Renders the bill form as a user sees it, for looking at the layout: an income and an expense
// bill being entered, and a stored bill in processing (as shown, armed, cashed). Usage:
// bill_screens OUTPUT_FOLDER (scripts/screens-bills runs it).

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <cstdio>

#include "BillHandOver.h"
#include "Clock.h"
#include "Forms.h"
#include "Globals.h"
#include "Modal.h"
#include "Pickers.h"
#include "ProgramSandbox.h"
#include "TestDataFolder.h"
#include "frmBill.h"

using namespace orvik;
using bills::frmBill;

namespace {

bool save(QWidget* form, const QString& file) {
    form->adjustSize();
    QCoreApplication::processEvents();
    const bool ok = form->grab().save(file);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(file));
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bill_screens OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    testing::TestDataFolder folder;
    testing::ProgramSandbox sandbox;
    folder.openAsProgram();
    app::Clock::setFixedNow(QDateTime(QDate(2024, 5, 10), QTime(10, 0)));
    auto& db = *app::dbAcc;
    db.execute(
        "insert into obank (bank, id, user) values ('台灣銀行 營業部', '001-10-123456', "
        "'測試工程有限公司')");
    db.execute(
        "insert into ibank (bank, id, user) values ('國泰世華 信義分行', '900-88-7766', "
        "'大同營造股份有限公司')");
    db.execute(
        "insert into bbank (bank, id, user, ps) values ('第一銀行 城東分行', "
        "'123-45-678901', '測試工程有限公司', 50000)");
    bool ok = true;

    for (const bool income : {true, false}) {
        bills::setVoucherSource([income] {
            return bills::VoucherOnDisplay{income ? "1130510003" : "1130510004",
                                           income ? "1284500" : "37800", income};
        });
        app::ScopedModalHook hook([&](QWidget* w) {
            auto* f = static_cast<frmBill*>(w);
            f->txtBillNo->setText(income ? "AX-2207154" : "CK0012345");
            testing::pickDate(f->DTP1, QDate(2024, 5, 10));
            testing::pickDate(f->DTP2, QDate(2024, 6, 30));
            QComboBox* own = income ? f->cbCbnk : f->cbWbnk;
            own->setCurrentIndex(0);
            emit own->activated(0);
            QComboBox* other = income ? f->cbWbnk : f->cbCbnk;
            other->setCurrentIndex(0);
            emit other->activated(0);
            (income ? f->cbDeDay : f->cbArDay)->setCurrentIndex(2);
            ok &=
                save(f, out.filePath(income ? "bill-entry-income.png" : "bill-entry-expense.png"));
            f->cmdSv->click();
        });
        if (const auto row = bills::enterSingleBill())
            bills::insertBill(db, *row);
    }

    // The expense cheque on its due date: as shown, armed, and after cashing it.
    app::Clock::setFixedNow(QDateTime(QDate(2024, 6, 30), QTime(10, 0)));
    sandbox.prompts().expectMessage(QStringLiteral("確定處理此票據為[兌   現]"), app::Answer::Yes);
    {
        app::ScopedModalHook hook([&](QWidget* w) {
            auto* f = static_cast<frmBill*>(w);
            ok &= save(f, out.filePath("bill-processing.png"));
            f->cmdOp->click();
            ok &= save(f, out.filePath("bill-processing-armed.png"));
            f->Oop[1]->click();
            ok &= save(f, out.filePath("bill-processing-cashed.png"));
        });
        bills::showStoredBill("1130510004");
    }
    return ok ? 0 : 1;
}
