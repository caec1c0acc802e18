#include "Program.h"

#include <cstdio>
#include <cstdlib>

#include "Database.h"
#include "Globals.h"
#include "Prompts.h"
#include "WaitCursor.h"

namespace orvik::app {

namespace {

bool ended = false;

std::function<void()>& endHook() {
    static std::function<void()> hook;
    return hook;
}

}  // namespace

void EndProgram() {
    store::Database::rollbackAll();
    dbAcc.reset();
    dbGeneral.reset();
    dbPrint.reset();
    ended = true;
    if (auto hook = endHook()) {
        hook();
        return;
    }
    // QCoreApplication::exit would only leave the innermost event loop and let the handlers
    // below it run on; the databases are closed, so end here.
    std::fflush(nullptr);
    std::_Exit(0);
}

bool ProgramEnded() {
    return ended;
}

void setEndProgramHook(std::function<void()> hook) {
    endHook() = std::move(hook);
}

void resetProgramEnded() {
    ended = false;
}

void ReportEngineError(const store::EngineError& error) {
    MsgBox(QString::number(error.number()) + QStringLiteral("\r\n") + error.description());
    EndProgram();
}

bool guard(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const store::EngineError& error) {
        ReportEngineError(error);
        return false;
    }
}

bool isBusyError(const store::EngineError& error) {
    return error.number() == store::err::DatabaseBusy || error.number() == store::err::RecordLocked;
}

bool guardWrite(const QString& action, const std::function<void()>& write, bool offerRetry) {
    // What the user can do about it: press the button again, or just try again later.
    const QString again = action.isEmpty() ? QStringLiteral("請稍後再試一次。")
                                           : QStringLiteral("請稍後再按一次「%1」。").arg(action);
    for (;;) {
        try {
            const WaitCursor busy;
            write();
            return true;
        } catch (const store::EngineError& error) {
            // The write's own transactions have unwound; whatever else was left open goes too,
            // so nothing of it remains.
            store::Database::rollbackAll();
            if (!isBusyError(error)) {
                MsgBox(QStringLiteral("寫入資料庫時發生錯誤，這次沒有寫入任何資料：\r\n%1 %2\r\n"
                                      "您輸入的內容仍在畫面上，")
                               .arg(error.number())
                               .arg(error.description()) +
                           again,
                       Buttons::OK, Icon::Critical, QStringLiteral("ACC"));
                return false;
            }
            const QString busy = QStringLiteral(
                "資料庫正由另一位使用者或程式使用中，等候後仍無法寫入，這次沒有寫入任何資料。\r\n");
            if (!offerRetry) {
                MsgBox(busy + QStringLiteral("您輸入的內容仍在畫面上，") + again, Buttons::OK,
                       Icon::Exclamation, QStringLiteral("ACC"));
                return false;
            }
            if (MsgBox(busy + QStringLiteral("是否再試一次？"), Buttons::YesNo, Icon::Exclamation,
                       QStringLiteral("ACC")) != Answer::Yes)
                return false;
        }
    }
}

}  // namespace orvik::app
