#pragma once

namespace orvik::shell {

// Opens the voucher form without waiting, or brings it to the front when it is open already.
void showVoucherForm();

// Closes the voucher form when it is open, as its close box does: a voucher in the middle of
// an entry is only given up when the user agrees. Gives false when the user chose to go on
// with it (the form stays open).
bool closeVoucherForm();

}  // namespace orvik::shell
