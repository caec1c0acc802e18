#include "Statements.h"

namespace orvik::statements {

// The windows join here as they are built.
void showVoucherQuery() {}
void showBillRegister() {}
void showIncomeStatement() {}
void showCashFlow() {}
void showTransfer() {}
void remindAtLogin() {}

}  // namespace orvik::statements
