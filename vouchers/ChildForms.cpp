#include "ChildForms.h"

#include "WriteOffHandOver.h"

namespace orvik::vouchers {

void showWriteOffEntry() {
    writeoff::ShowWriteOffForm();
}

}  // namespace orvik::vouchers
