#include "Globals.h"

namespace orvik::app {

void resetGlobals() {
    dbAcc.reset();
    dbGeneral.reset();
    dbPrint.reset();
    gDataPath.clear();
    gRights = 0;
    gLoggedIn = False;
    gLoginName.clear();
    gIoOpen = False;
    gBillCancel = False;
    gBillFromSave = False;
    gBillFromIssue = False;
    gBillVoucherNo.clear();
    gPicked = False;
    gPickedNo.clear();
    gMarkedTotal = 0;
    gMachIncome = False;
    gListMode = 0;
    gLastSearch.clear();
    gBillViewNo.clear();
}

}  // namespace orvik::app
