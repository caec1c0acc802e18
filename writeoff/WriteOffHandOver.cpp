#include "WriteOffHandOver.h"

#include "Forms.h"
#include "Modal.h"
#include "frmMach.h"

namespace orvik::writeoff {

namespace {

std::function<VoucherForWriteOff()>& voucherSource() {
    static std::function<VoucherForWriteOff()> source;
    return source;
}

void unloadWriteOffForm() {
    if (app::Forms::isLoaded<frmMach>())
        app::Forms::unload<frmMach>();
}

}  // namespace

void setVoucherSource(std::function<VoucherForWriteOff()> source) {
    voucherSource() = std::move(source);
}

VoucherForWriteOff voucherForWriteOff() {
    return voucherSource() ? voucherSource()() : VoucherForWriteOff{};
}

void ShowWriteOffForm() {
    unloadWriteOffForm();
    app::showModal(app::Forms::get<frmMach>());
    // Left by hiding rather than closing: unload it all the same, so that the next opening
    // lists what is open then, for the voucher on display then.
    unloadWriteOffForm();
}

void resetHandOver() {
    voucherSource() = {};
}

}  // namespace orvik::writeoff
