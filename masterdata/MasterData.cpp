#include "MasterData.h"

#include "Forms.h"
#include "WaitCursor.h"
#include "frmCompany.h"
#include "frmContracts.h"
#include "frmEmployees.h"
#include "frmProjects.h"
#include "frmRights.h"
#include "frmWords.h"

namespace orvik::masterdata {

namespace {

// One program-wide instance, loaded (its lists read) under the wait cursor, brought forward.
template <class Form>
void showForm() {
    QWidget* form = nullptr;
    {
        const app::WaitCursor busy;
        form = app::Forms::get<Form>();
    }
    form->show();
    form->raise();
    form->activateWindow();
}

}  // namespace

// The windows join here as they are built.
void showProjects() {
    showForm<frmProjects>();
}

void showContracts() {
    showForm<frmContracts>();
}

void showWords() {
    showForm<frmWords>();
}

void showRights() {
    showForm<frmRights>();
}

void showEmployees() {
    showForm<frmEmployees>();
}

void showCompany() {
    showForm<frmCompany>();
}

}  // namespace orvik::masterdata
