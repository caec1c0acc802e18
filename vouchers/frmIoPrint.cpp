// The heading printed on a voucher, and the print record that follows the voucher on display.

#include "Globals.h"
#include "frmIo.h"

namespace orvik::vouchers {

void frmIo::ShowCompany() {
    store::Recordset rs = app::dbPrint->openRecordset(QStringLiteral("select ion from company"),
                                                      store::RecordsetType::Snapshot);
    const bool none = rs.isEOF() || rs.field(0).isNull();
    txtIo->setText(none ? QStringLiteral("收支單") : rs.text(0));
    rs.Close();
}

// Rebuilt after every display and save so that printing prints the voucher on display; the
// print record itself comes with printing.
void frmIo::FillPrintRecord() {}

}  // namespace orvik::vouchers
