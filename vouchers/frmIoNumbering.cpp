// Voucher numbers: the day prefix "eemmdd" of today followed by a three-digit running number.

#include "Clock.h"
#include "EraDate.h"
#include "Globals.h"
#include "VoucherRules.h"
#include "frmIo.h"

namespace orvik::vouchers {

QString frmIo::GetLastNo() {
    const QString prefix = app::FormatEra(app::Clock::today(), app::kEraCompact);
    // The prefix is digits only; the index on 單號 serves the prefix match.
    const QVariant last =
        app::dbAcc->scalar(QStringLiteral("SELECT Max(單號) AS last FROM iof WHERE 單號 LIKE ?"),
                           {prefix + QLatin1Char('%')});
    return NextVoucherNo(prefix, last);
}

}  // namespace orvik::vouchers
