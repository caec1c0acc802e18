#include "Statements.h"

#include "BillRegister.h"
#include "Clock.h"
#include "Forms.h"
#include "Globals.h"
#include "Prompts.h"
#include "Routines.h"
#include "WaitCursor.h"
#include "frmBillRegister.h"
#include "frmCashFlow.h"
#include "frmIncomeStatement.h"
#include "frmQuery.h"
#include "frmTransfer.h"

namespace orvik::statements {

using namespace orvik::app;

namespace {

// One instance each; a second opening brings it to the front.
template <class Form>
Form* bringUp() {
    Form* form = nullptr;
    {
        const WaitCursor wait;
        form = Forms::get<Form>();
    }
    form->show();
    form->raise();
    form->activateWindow();
    return form;
}

}  // namespace

void showVoucherQuery() {
    bringUp<frmQuery>();
}

void showBillRegister() {
    bringUp<frmBillRegister>();
}

void showIncomeStatement() {
    bringUp<frmIncomeStatement>();
}

void showCashFlow() {
    bringUp<frmCashFlow>();
}

void showTransfer() {
    bringUp<frmTransfer>();
}

void remindAtLogin() {
    if (!HasAnyRight(5, 8) || !dbAcc)
        return;
    const Reminder r = reminderCounts(*dbAcc, Clock::today());
    if (!r.any())
        return;
    const QString text =
        QStringLiteral(
            "開出票據已到提醒日 %1 張，收到票據已到期 %2 張。\r\n是否開啟票據登記簿查看？")
            .arg(r.issuedReminded)
            .arg(r.receivedDue);
    if (MsgBox(text, Buttons::YesNo, Icon::Information, QStringLiteral("票據提醒")) != Answer::Yes)
        return;
    bringUp<frmBillRegister>()->showReminded();
}

}  // namespace orvik::statements
