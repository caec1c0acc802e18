// One copy of the program saving vouchers through the voucher form, for the test of two copies
// at once: COUNT times a new voucher, then its approval in cash from the review panel.
//   vouchers_io_saver DATABASE_FOLDER TAG COUNT
#include <QApplication>
#include <QStandardItemModel>
#include <cstdio>
#include <stdexcept>

#include "Clock.h"
#include "Forms.h"
#include "Globals.h"
#include "Program.h"
#include "Prompts.h"
#include "ScriptedPrompts.h"
#include "TestDataFolder.h"
#include "frmIo.h"

using namespace orvik;

namespace {

// Lets go of the form and the databases before the statics go: a database still open when the
// process exits would be closed after the store's own bookkeeping is gone.
struct Release {
    ~Release() {
        app::Forms::unloadAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        app::resetGlobals();
    }
};

}  // namespace

int main(int argc, char** argv) {
    // The offscreen platform's notes about window hints would only drown the test's output.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg && type != QtInfoMsg && type != QtWarningMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    QApplication application(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: vouchers_io_saver FOLDER TAG COUNT\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString tag = QString::fromLocal8Bit(argv[2]);
    const int count = QString::fromLocal8Bit(argv[3]).toInt();

    testing::ScriptedPrompts prompts;  // nothing is expected: any prompt is a failure
    prompts.setFailTest(false);
    app::ScopedPrompts installed(prompts);
    app::setEndProgramHook([] {
        std::fprintf(stderr, "the program ended on an engine error\n");
        std::_Exit(3);
    });
    app::Clock::setFixedNow(QDateTime(QDate(2003, 7, 12), QTime(10, 0)));
    app::gRights = 4194303;
    Release release;
    try {
        app::gDataPath = folder;
        app::dbAcc = testing::openDatabaseFile(folder, store::schema::acc());
        app::dbGeneral = testing::openDatabaseFile(folder, store::schema::general());
        app::dbPrint = testing::openDatabaseFile(folder, store::schema::print());
        auto* f = app::Forms::get<vouchers::frmIo>();
        f->show();
        const auto* accounts = static_cast<QStandardItemModel*>(f->cbAcc->model());
        for (int i = 0; i < count; ++i) {
            const QString use = QStringLiteral("%1-%2").arg(tag).arg(i);
            f->cmdAdd_Click();
            f->cbUse->setEditText(use);
            f->txtCash->setText(QString::number(10 * (i + 1)));
            const int row = i % accounts->rowCount();  // income and expense by turns
            f->cbAcc->setCurrentIndex(row);
            f->cbAcc_Click(row);
            f->cmdSv_Click();

            // Open it from the review panel and approve it in cash; the save closes the panel.
            const QString no =
                app::dbAcc->scalar(QStringLiteral("select 單號 from iof where 用途說明 = ?"), {use})
                    .toString();
            f->setHeightTwips(vouchers::frmIo::kExpandedHeight);
            f->cmdNck->setText(QStringLiteral("檢視未簽核收支單<<"));
            app::gListMode = 2;
            f->HFG->setRows({QString(), QStringLiteral("收支單號"), QString()},
                            {{QString(), no, QString()}});
            f->HFG_DblClick(1, 1);
            f->ck->setChecked(true);
            f->optA[0]->setChecked(true);
            f->cmdSv_Click();
            if (app::isTrue(app::gPicked))
                throw std::runtime_error("the review panel did not close");
        }
    } catch (const store::EngineError& e) {
        std::fprintf(stderr, "%d %s\n", e.number(), qPrintable(e.description()));
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    for (const QString& error : prompts.errors())
        std::fprintf(stderr, "%s\n", qPrintable(error));
    return prompts.errors().isEmpty() && prompts.shown().isEmpty() ? 0 : 4;
}
