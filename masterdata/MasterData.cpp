#include "MasterData.h"

namespace orvik::masterdata {

// The windows join here as they are built.
void showProjects() {}
void showContracts() {}
void showWords() {}
void showRights() {}
void showEmployees() {}
void showCompany() {}

}  // namespace orvik::masterdata
