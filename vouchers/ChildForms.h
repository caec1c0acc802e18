#pragma once

// The bill form and the write-off form read the voucher form's controls, so they live in
// libraries above this one. They hand the voucher form a way to open them instead; the program
// sets these once at start-up, and tests set their own.

#include <functional>

namespace orvik::vouchers {

// Shows the bill form modally for the voucher being approved (gBillFromSave is set) and
// returns when it has closed; the form reports a cancelled entry through gBillCancel. While
// no bill form is set, settling by bill counts as a cancelled entry.
void setBillEntry(std::function<void()> showBillForm);
void showBillEntry();

// Shows the write-off form modally (gMachIncome is set). Does nothing while none is set.
void setWriteOffEntry(std::function<void()> showWriteOffForm);
void showWriteOffEntry();

}  // namespace orvik::vouchers
