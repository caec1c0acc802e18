// What the voucher form looks like, on a demo database folder: writes voucher-browse.png,
// voucher-new.png, voucher-approval.png, voucher-void.png and adacc.png into OUT_DIR.
//   vouchers_screens DATABASE_FOLDER OUT_DIR        (run by scripts/screens under Xvfb)
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>
#include <cstdio>

#include "Forms.h"
#include "Globals.h"
#include "OrvikApplication.h"
#include "Program.h"
#include "Prompts.h"
#include "Schema.h"
#include "ScreenKit.h"
#include "TestDataFolder.h"
#include "frmAdAcc.h"
#include "frmIo.h"

using namespace orvik;
using vouchers::frmAdAcc;
using vouchers::frmIo;

namespace {

using testing::EchoPrompts;
using testing::save;
using testing::settle;

// Moves the scroll bar to the last voucher whose status `where` selects.
bool showVoucher(frmIo* f, const QString& where) {
    const int position =
        app::dbAcc
            ->scalar(QStringLiteral("select count(*) from iof where 單號 < (select max(單號) from "
                                    "iof where %1)")
                         .arg(where))
            .toInt();
    if (app::dbAcc->scalar(QStringLiteral("select count(*) from iof where %1").arg(where))
            .toInt() == 0)
        return false;
    f->FSB->setValue(position);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    app::OrvikApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: vouchers_screens DATABASE_FOLDER OUT_DIR\n");
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

        auto* f = app::Forms::get<frmIo>();
        f->show();
        showVoucher(f, QStringLiteral("方式 = 0"));
        save(f, out, QStringLiteral("voucher-browse"));
        if (showVoucher(f, QStringLiteral("方式 = -3")))
            save(f, out, QStringLiteral("voucher-void"));
        if (showVoucher(f, QStringLiteral("方式 = 1")))
            save(f, out, QStringLiteral("voucher-bill"));  // with 檢視票據

        f->cmdAdd_Click();
        f->cbUse->setEditText(QStringLiteral("購買文具"));
        f->txtCash->setText(QStringLiteral("1050"));
        f->txtCash_KeyUp();
        if (f->cbAcc->count() > 0) {
            f->cbAcc->setCurrentIndex(f->cbAcc->count() - 1);
            f->cbAcc_Click(f->cbAcc->count() - 1);
        }
        f->Check1->setChecked(true);
        save(f, out, QStringLiteral("voucher-new"));

        f->cbAcc->setEditText(QStringLiteral("6105"));
        auto* dialog = app::Forms::get<frmAdAcc>();
        dialog->show();
        dialog->txtAcc->setText(QStringLiteral("交通費"));
        dialog->Ot1[1]->setChecked(true);
        save(dialog, out, QStringLiteral("adacc"));
        app::Forms::unload<frmAdAcc>();

        f->cmdCencel_Click();
        if (showVoucher(f, QStringLiteral("方式 in (-1, -2)")))
            f->ck->setChecked(true);
        save(f, out, QStringLiteral("voucher-approval"));
        f->cmdCencel_Click();

        // The unapproved vouchers with two expense vouchers marked for one bill.
        f->cmdNck_Click();
        if (f->HFG->isVisible()) {
            f->ckco->setChecked(true);
            int marked = 0;
            for (int row = 1; row < f->HFG->rowCount() && marked < 2; ++row) {
                f->HFG_MouseDown(row, 4);
                marked += f->HFG->isMarked(row) ? 1 : 0;
            }
            settle();
            save(f, out, QStringLiteral("voucher-review"));
            f->ckco->setChecked(false);
            f->cmdNck_Click();
        }

        // The hits of a full-text search.
        echo.inputAnswer = QStringLiteral("工程");
        f->cmdSall_Click();
        settle();
        save(f, out, QStringLiteral("voucher-search"));
        f->cmdSall_Click();
    } catch (const store::EngineError& e) {
        std::fprintf(stderr, "screens: %d %s\n", e.number(), qPrintable(e.description()));
        testing::screensOk() = false;
    }
    app::Forms::unloadAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    app::resetGlobals();
    return testing::screensOk() ? 0 : 1;
}
