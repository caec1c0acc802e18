// Voucher numbers: the day prefix "eemmdd" of today followed by a three-digit running number.

#include "Clock.h"
#include "EraDate.h"
#include "Globals.h"
#include "VoucherRules.h"
#include "frmIo.h"

namespace orvik::vouchers {

QString frmIo::GetLastNo() {
    const QString prefix = app::FormatEra(app::Clock::today(), app::kEraCompact);
    // The prefix is digits only, so the numbers that begin with it are those from the prefix
    // up to (not including) the prefix with its last digit one higher: a range the index on
    // 單號 serves on either engine, where a LIKE would read every voucher on a server.
    QString next = prefix;
    next.back() = QChar(next.back().unicode() + 1);
    const QVariant last = app::dbAcc->scalar(
        QStringLiteral("SELECT Max(單號) AS last FROM iof WHERE 單號 >= ? AND 單號 < ?"),
        {prefix, next});
    return NextVoucherNo(prefix, last);
}

}  // namespace orvik::vouchers
