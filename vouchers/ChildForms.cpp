#include "ChildForms.h"

#include "Globals.h"

namespace orvik::vouchers {

namespace {

std::function<void()>& billEntry() {
    static std::function<void()> entry;
    return entry;
}

std::function<void()>& writeOffEntry() {
    static std::function<void()> entry;
    return entry;
}

}  // namespace

void setBillEntry(std::function<void()> showBillForm) {
    billEntry() = std::move(showBillForm);
}

void showBillEntry() {
    if (auto entry = billEntry()) {  // a copy: the form may replace it while open
        entry();
        return;
    }
    // Without a bill form no bill can be written, so the voucher must stay unapproved.
    app::gBillCancel = app::True;
}

void setWriteOffEntry(std::function<void()> showWriteOffForm) {
    writeOffEntry() = std::move(showWriteOffForm);
}

void showWriteOffEntry() {
    if (auto entry = writeOffEntry())
        entry();
}

}  // namespace orvik::vouchers
