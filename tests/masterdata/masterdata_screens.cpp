// What the master-data windows look like, on a demo database folder: writes company.png,
// employees.png, rights.png, words.png, words-accounts.png, projects.png,
// projects-vouchers.png, contracts.png and, after a few changes, audit.png into OUT_DIR.
//   masterdata_screens DATABASE_FOLDER OUT_DIR        (run by scripts/screens under Xvfb)
// Run with QT_SCALE_FACTOR=1.5 to see them at 150 %.

#include <QDir>
#include <QEventLoop>
#include <QTabWidget>
#include <QTableView>
#include <QTextStream>
#include <QTimer>
#include <cstdio>

#include "AccountPanel.h"
#include "BankListPanel.h"
#include "EngineError.h"
#include "Forms.h"
#include "Globals.h"
#include "OrvikApplication.h"
#include "Passwords.h"
#include "Prompts.h"
#include "ScreenKit.h"
#include "TestDataFolder.h"
#include "WordListPanel.h"
#include "frmAudit.h"
#include "frmCompany.h"
#include "frmContracts.h"
#include "frmEmployees.h"
#include "frmProjects.h"
#include "frmRights.h"
#include "frmWords.h"

using namespace orvik;
using namespace orvik::masterdata;

namespace {

using testing::EchoPrompts;
using testing::save;
using testing::settle;

void chooseFirst(QTableView* view) {
    if (view->model() && view->model()->rowCount() > 0)
        view->selectionModel()->setCurrentIndex(
            view->model()->index(0, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

}  // namespace

int main(int argc, char** argv) {
    app::OrvikApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: masterdata_screens DATABASE_FOLDER OUT_DIR\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir out(QString::fromLocal8Bit(argv[2]));
    out.mkpath(QStringLiteral("."));
    EchoPrompts echo;
    app::ScopedPrompts prompts(echo);
    try {
        testing::openFolderAsProgram(folder);
        app::gRights = 4194303;

        auto* company = app::Forms::get<frmCompany>();
        save(company, out, QStringLiteral("company"));
        company->tabCompany->setCurrentIndex(2);
        chooseFirst(company->cheques->lstBanks);
        save(company, out, QStringLiteral("company-cheques"));

        auto* staff = app::Forms::get<frmEmployees>();
        chooseFirst(staff->lstStaff);
        save(staff, out, QStringLiteral("employees"));

        auto* rights = app::Forms::get<frmRights>();
        chooseFirst(rights->lstStaff);
        save(rights, out, QStringLiteral("rights"));

        auto* words = app::Forms::get<frmWords>();
        chooseFirst(words->uses->lstWords);
        save(words, out, QStringLiteral("words"));
        words->tabWords->setCurrentIndex(words->tabWords->count() - 1);
        chooseFirst(words->accounts->lstAccounts);
        save(words, out, QStringLiteral("words-accounts"));

        auto* projects = app::Forms::get<frmProjects>();
        chooseFirst(projects->lstProjects);
        projects->tabDetail->setCurrentIndex(1);  // 收支統計
        save(projects, out, QStringLiteral("projects"));
        projects->tabDetail->setCurrentIndex(2);  // 收支單
        save(projects, out, QStringLiteral("projects-vouchers"));

        auto* contracts = app::Forms::get<frmContracts>();
        chooseFirst(contracts->lstContracts);
        save(contracts, out, QStringLiteral("contracts"));

        // The audit trail after a failed login and a few changes made through the windows.
        audit::recordLoginFailure(*app::dbGeneral, QStringLiteral("admin"),
                                  QStringLiteral("登入失敗"));
        app::gLoginName = QStringLiteral("admin");
        staff->cmdVendorNew->click();
        staff->txtVendorNo->setText(QStringLiteral("V90"));
        staff->txtVendorName->setText(QStringLiteral("大明水電行"));
        staff->cmdVendorSave->click();
        words->tabWords->setCurrentIndex(0);
        words->uses->cmdNew->click();
        words->uses->txtWord->setText(QStringLiteral("工地臨時水電"));
        words->uses->cmdSave->click();
        chooseFirst(contracts->lstContracts);
        contracts->txtName->setText(contracts->txtName->text() + QStringLiteral("（第二期）"));
        contracts->cmdSave->click();
        audit::showAuditWindow();
        save(app::Forms::get<audit::frmAudit>(), out, QStringLiteral("audit"));
    } catch (const store::EngineError& e) {
        std::fprintf(stderr, "screens: %d %s\n", e.number(), qPrintable(e.description()));
        testing::screensOk() = false;
    }
    app::Forms::unloadAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    app::resetGlobals();
    return testing::screensOk() ? 0 : 1;
}
