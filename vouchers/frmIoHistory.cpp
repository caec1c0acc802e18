// 歷程: the audit trail of the voucher on display, who entered, changed, approved and paid it
// and when, in the audit window.

#include "Forms.h"
#include "Globals.h"
#include "Prompts.h"
#include "frmAudit.h"
#include "frmIo.h"

namespace orvik::vouchers {

void frmIo::cmdHistory_Click() {
    if (!audit::mayReadTrail()) {
        app::MsgBox(QStringLiteral("您沒有這項作業的權限"), app::Buttons::OK,
                    app::Icon::Exclamation, QStringLiteral("ACC"));
        return;
    }
    if (!voucherOnDisplay() || lbNo->text().isEmpty()) {
        app::MsgBox(QStringLiteral("請先顯示一張已存的收支單"), app::Buttons::OK,
                    app::Icon::Exclamation, QStringLiteral("ACC"));
        return;
    }
    audit::showAuditWindow(lbNo->text());
}

}  // namespace orvik::vouchers
