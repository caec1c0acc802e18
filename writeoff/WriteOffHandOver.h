#pragma once

// How the voucher form and the write-off form meet. The write-off form never includes the
// voucher form: the voucher form (or whatever wires the program together) installs a source
// that describes the voucher on display, and opens the write-off form through
// ShowWriteOffForm() after setting gMachIncome from its direction label:
//
//     writeoff::setVoucherSource([] {
//         const auto* io = app::Forms::get<vouchers::frmIo>();
//         return writeoff::VoucherForWriteOff{io->lbNo->text(), io->txtCash->text(),
//                                             io->hDayDate(), io->optA[0]->isChecked()};
//     });
//     app::gMachIncome = ...;
//     writeoff::ShowWriteOffForm();
//
// Nothing comes back: the effect of a write-off is the stamped instalment or addition row.

#include <QDate>
#include <QString>
#include <functional>

namespace orvik::writeoff {

// The voucher on display in the voucher form, as the write-off form reads it.
struct VoucherForWriteOff {
    QString number;      // lbNo
    QString amountText;  // txtCash, as shown
    QDate date;          // the voucher's date, the one lbHday shows (發生日期)
    bool cash = false;   // optA(0) 現金 is selected
};

// Installed once; an empty function removes it. Without a source the form sees an empty
// voucher (amount 0, no number).
void setVoucherSource(std::function<VoucherForWriteOff()> source);
VoucherForWriteOff voucherForWriteOff();

// Shows frmMach modally, loaded afresh so that it reads gMachIncome and the voucher as they
// are now, and unloads it when it returns.
void ShowWriteOffForm();

// Drops the installed source. For tests.
void resetHandOver();

}  // namespace orvik::writeoff
