// What the statement windows look like, on a demo database folder: writes query.png,
// cashbook.png, bankbook.png, billregister.png, income.png, cashflow.png and transfer.png into
// OUT_DIR.
//   statements_screens DATABASE_FOLDER OUT_DIR        (run by scripts/screens under Xvfb)
// Run with QT_SCALE_FACTOR=1.5 to see them at 150 %. The transfer window needs transfers to
// list, so the program works on a copy of the folder and books two there (and reverses one);
// the folder given is left as it was.

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "Books.h"
#include "Clock.h"
#include "EngineError.h"
#include "EraDate.h"
#include "Forms.h"
#include "Globals.h"
#include "OrvikApplication.h"
#include "Prompts.h"
#include "ScreenKit.h"
#include "TestDataFolder.h"
#include "Transfer.h"
#include "frmBillRegister.h"
#include "frmCashFlow.h"
#include "frmIncomeStatement.h"
#include "frmQuery.h"
#include "frmTransfer.h"

using namespace orvik;
using namespace orvik::statements;

namespace {

using testing::EchoPrompts;
using testing::save;
using testing::settle;

bool copyFolder(const QString& from, const QString& to) {
    const QDir source(from);
    for (const QString& name : source.entryList(QDir::Files))
        if (!QFile::copy(source.filePath(name), QDir(to).filePath(name)))
            return false;
    return true;
}

// A deposit of cash and a transfer between the two richest accounts, reversed, so that the
// list shows each state a transfer can have.
void bookTransfers() {
    store::Database& db = *app::dbAcc;
    if (!transfers(db).isEmpty())
        return;
    QVector<BankAccount> accounts = bankAccounts(db);
    std::stable_sort(accounts.begin(), accounts.end(),
                     [&](const BankAccount& a, const BankAccount& b) {
                         return bankBalance(db, a) > bankBalance(db, b);
                     });
    if (accounts.size() < 2)
        return;
    const QDate today = app::Clock::today();
    const auto tell = [](const TransferResult& r) {
        QTextStream(stderr) << "screens: transfer "
                            << (r.outcome == TransferResult::Outcome::Done
                                    ? r.key
                                    : QStringLiteral("refused"))
                            << '\n';
    };
    TransferRequest deposit{Side{true, {}}, Side{false, accounts.at(0)}, 20000, today.addDays(-3),
                            QStringLiteral("週轉金存入")};
    tell(transfer(db, deposit));
    TransferRequest between{Side{false, accounts.at(0)}, Side{false, accounts.at(1)}, 150000,
                            today.addDays(-1), QStringLiteral("調度工程款")};
    const TransferResult moved = transfer(db, between);
    tell(moved);
    if (moved.outcome == TransferResult::Outcome::Done)
        tell(reverseTransfer(db, moved.key, today));
}

}  // namespace

int main(int argc, char** argv) {
    app::OrvikApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: statements_screens DATABASE_FOLDER OUT_DIR\n");
        return 2;
    }
    QTemporaryDir copy;
    if (!copy.isValid() || !copyFolder(QString::fromLocal8Bit(argv[1]), copy.path())) {
        std::fprintf(stderr, "screens: cannot copy %s\n", argv[1]);
        return 1;
    }
    QDir out(QString::fromLocal8Bit(argv[2]));
    out.mkpath(QStringLiteral("."));
    EchoPrompts echo;
    app::ScopedPrompts prompts(echo);
    try {
        testing::openFolderAsProgram(copy.path());
        app::gRights = 4194303;
        // The demo's vouchers, bills and ledgers reach about two months back from today.
        const QDate today = app::Clock::today();
        const QDate from = today.addDays(-60);

        auto* query = app::Forms::get<frmQuery>();
        query->dtOccurredFrom->setDate(from);
        query->dtOccurredTo->setDate(today);
        query->cmdQuery_Click();
        query->tabBooks->setCurrentWidget(query->tabVouchers);
        save(query, out, QStringLiteral("query"));
        query->dtCashFrom->setDate(from);
        query->dtCashTo->setDate(today);
        query->cmdCash_Click();
        query->tabBooks->setCurrentWidget(query->tabCash);
        save(query, out, QStringLiteral("cashbook"));
        query->dtBankFrom->setDate(from);
        query->dtBankTo->setDate(today);
        query->cbBankAccount->setCurrentIndex(0);  // an account with ledger rows comes first
        query->cmdBank_Click();
        query->tabBooks->setCurrentWidget(query->tabBank);
        save(query, out, QStringLiteral("bankbook"));

        auto* bills = app::Forms::get<frmBillRegister>();  // 未處理, queried on opening
        save(bills, out, QStringLiteral("billregister"));

        auto* income = app::Forms::get<frmIncomeStatement>();
        const QDate lastMonth = today.addMonths(-1);
        income->cbKind->setCurrentIndex(0);  // 月
        income->spnYear->setValue(app::EraYear(lastMonth));
        income->spnPart->setValue(lastMonth.month());
        income->cmdQuery_Click();
        save(income, out, QStringLiteral("income"));

        auto* flow = app::Forms::get<frmCashFlow>();  // 每月, three months, on opening
        save(flow, out, QStringLiteral("cashflow"));

        bookTransfers();
        auto* transfers = app::Forms::get<frmTransfer>();
        transfers->cbKind->setCurrentIndex(2);  // 銀行轉帳
        transfers->txtAmount->setText(QStringLiteral("50,000"));
        transfers->txtMemo->setText(QStringLiteral("支付工地材料款"));
        save(transfers, out, QStringLiteral("transfer"));
    } catch (const store::EngineError& e) {
        std::fprintf(stderr, "screens: %d %s\n", e.number(), qPrintable(e.description()));
        testing::screensOk() = false;
    }
    app::Forms::unloadAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    app::resetGlobals();
    return testing::screensOk() ? 0 : 1;
}
