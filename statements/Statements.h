#pragma once

// The windows that show the books, opened from the bar and its system menu: the voucher query
// with the cash and bank books (統 計), the bill register (票 據), the income statement
// (期間損益表), the cash-flow projection (預估資金流量表) and transfers (轉帳處理). Each is one
// program-wide instance, shown modeless. The bar checks the rights before it opens one.

namespace orvik::statements {

void showVoucherQuery();
void showBillRegister();
void showIncomeStatement();
void showCashFlow();
void showTransfer();

// Right after a login: a user who may handle bills is told how many issued bills reached their
// reminder date and how many received bills are due, and may open the register at them.
void remindAtLogin();

}  // namespace orvik::statements
