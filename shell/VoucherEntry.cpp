#include "VoucherEntry.h"

#include "Forms.h"
#include "frmIo.h"

namespace orvik::shell {

void showVoucherForm() {
    QWidget* form = app::Forms::get<vouchers::frmIo>();
    form->show();
    form->raise();
    form->activateWindow();
}

bool closeVoucherForm() {
    return app::Forms::unload<vouchers::frmIo>();
}

}  // namespace orvik::shell
