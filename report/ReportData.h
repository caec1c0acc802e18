#pragma once

#include "Layout.h"

namespace orvik::store {
class Database;
}

namespace orvik::report {

// Reads what a voucher report prints through `db`: `ion` from the first row of `company`
// (empty when there is no row or no value; the caller decides any default) and every column
// of the first `ptios` row by name. Null reads as empty text. Throws ReportError when
// `ptios` holds no row; database errors reach the caller as EngineError.
Values readValues(store::Database& db);

}  // namespace orvik::report
