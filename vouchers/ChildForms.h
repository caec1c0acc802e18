#pragma once

// The write-off form opened from 應收付沖帳. The write-off library sits beside this one and
// reads the voucher on display through the source that frmIo installs when it loads
// (WriteOffHandOver.h); the bill form is reached through BillHandOver.h in the same way.

namespace orvik::vouchers {

// Shows the write-off form modally (gMachIncome is set by the caller) and returns when it has
// closed.
void showWriteOffEntry();

}  // namespace orvik::vouchers
