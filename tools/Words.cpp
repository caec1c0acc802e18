#include "Words.h"

#include "EraDate.h"

namespace orvik::admin {

QString dayPrefix(const QDate& d) {
    return app::FormatEra(d, app::kEraCompact);
}

QString voucherNo(const QDate& d, int sequence) {
    return dayPrefix(d) + QStringLiteral("%1").arg(sequence, 3, 10, QLatin1Char('0'));
}

}  // namespace orvik::admin
