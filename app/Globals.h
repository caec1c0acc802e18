#pragma once

// The program-wide variables through which the forms hand state to each other. They live for
// the whole run, start empty, zero or False, and are never saved.

#include <QString>
#include <QtGlobal>

#include "Database.h"

namespace orvik::app {

// Booleans of the program-wide variables and of the yes/no columns are 16-bit: True is -1.
using Bool16 = qint16;
inline constexpr Bool16 True = -1;
inline constexpr Bool16 False = 0;

inline constexpr Bool16 toBool16(bool b) {
    return b ? True : False;
}
// Any non-zero value counts as True, as the stored columns may hold 1 from older data.
inline constexpr bool isTrue(Bool16 b) {
    return b != False;
}

// --- Open databases (set together by OpenDatabases; released only when the program ends) ---
inline store::DatabasePtr dbAcc;      // acc.mdb: vouchers, bills, accounts, receivables/payables
inline store::DatabasePtr dbGeneral;  // voro3.mdb: employees, super, vendors, word lists
inline store::DatabasePtr dbPrint;    // pt.mdb: scratch rows the reports print from

// --- Start-up and login ---
inline QString gDataPath;         // the database folder, from accpath.ini or the path dialog
inline qint32 gRights = 0;        // rights number of the logged-in employee (column AccS)
inline Bool16 gLoggedIn = False;  // a login has succeeded in this run
inline QString gLoginName;        // login name (英文姓名) of the logged-in employee; the audit
                                  // trail's "who"

// --- Hand-over between the voucher, bill and write-off forms ---
inline Bool16 gIoOpen = False;         // the voucher form is loaded
inline Bool16 gBillCancel = False;     // bill entry was abandoned (read and cleared by frmIo)
inline Bool16 gBillFromSave = False;   // frmBill was opened from the voucher save
inline Bool16 gBillFromIssue = False;  // frmBill was opened to issue a bill for marked vouchers
inline QString gBillVoucherNo;         // voucher number handed to frmBill by the issue path
inline Bool16 gPicked = False;         // the voucher on show was opened from the voucher list
inline QString gPickedNo;              // voucher number picked in the list
inline qint32 gMarkedTotal = 0;        // total amount of the list rows marked "*"
inline Bool16 gMachIncome = False;     // write-off works on receivables (True) or payables
inline qint16 gListMode = 0;           // which list frmIo shows: 2 review, 1 full-text search
inline QString gLastSearch;            // last full-text search text, offered again
inline QString gBillViewNo;            // voucher number whose stored bill frmBill shows

// Puts every variable back to its starting value and drops the database handles. For tests.
void resetGlobals();

}  // namespace orvik::app
