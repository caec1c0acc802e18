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

// The reminder at login joins once the end-to-end walk answers it.
void remindAtLogin() {}

}  // namespace orvik::statements
