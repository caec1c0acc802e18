#include "WriteOffHandOver.h"

#include "Forms.h"
#include "Modal.h"
#include "WaitCursor.h"
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
    frmMach* form = nullptr;
    {
        // The form lists the open receivables or payables as it loads.
        const app::WaitCursor busy;
        form = app::Forms::get<frmMach>();
    }
    app::showModal(form);
    // Left by hiding rather than closing: unload it all the same, so that the next opening
    // lists what is open then, for the voucher on display then.
    unloadWriteOffForm();
}

void resetHandOver() {
    voucherSource() = {};
}

}  // namespace orvik::writeoff
