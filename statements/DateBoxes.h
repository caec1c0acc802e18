#pragma once

// Reading the date boxes of a window: an empty box leaves its side of a range open, a box that
// holds no date is told by its caption.

#include <QLabel>

#include "Common.h"
#include "RocDateEdit.h"

namespace orvik::statements {

// False, with the message told, when a box holds text that is not a date.
bool readRange(app::RocDateEdit* from, const QLabel* fromCaption, app::RocDateEdit* to,
               const QLabel* toCaption, DateRange* out);

}  // namespace orvik::statements
