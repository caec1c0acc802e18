#pragma once

namespace orvik::shell {

// Opens the voucher form without waiting, or brings it to the front when it is open already.
void showVoucherForm();

}  // namespace orvik::shell
