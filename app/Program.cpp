#include "Program.h"

#include <cstdio>
#include <cstdlib>

#include "Database.h"
#include "Globals.h"
#include "Prompts.h"

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

}  // namespace orvik::app
