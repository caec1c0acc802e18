#include "Shell.h"

#include "Forms.h"
#include "Modal.h"
#include "Startup.h"
#include "frmAccMain.h"
#include "frmAudit.h"
#include "frmIo.h"
#include "frmPath.h"

namespace orvik::shell {

void installStartupForms() {
    app::setPathDialog(&showPathDialog);
    app::setMainBar(&showMainBar);
    // A double-click on an event of the audit trail shows its voucher.
    audit::setVoucherOpener([](const QString& no) { vouchers::showVoucherInForm(no); });
}

void showPathDialog() {
    app::showModal(app::Forms::get<frmPath>());
    // However the dialog went away, the next showing starts from gDataPath again.
    app::Forms::unload<frmPath>();
}

void showMainBar() {
    app::Forms::get<frmAccMain>()->show();
}

}  // namespace orvik::shell
