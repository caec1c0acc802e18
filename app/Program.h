#pragma once

// Ending the program, and the last line of defence against engine errors: an engine error
// that no handler traps is shown with its number and description, and the program ends with
// every open transaction rolled back, so nothing is left half-written.

#include <QObject>
#include <concepts>
#include <functional>
#include <type_traits>

#include "EngineError.h"

namespace orvik::app {

// Rolls back every open transaction, releases dbAcc, dbGeneral and dbPrint and ends the
// process at once, from however deep in nested event loops. Callers write
// `EndProgram(); return;` so that the code also behaves under the test hook below.
void EndProgram();

// True once EndProgram has run in this process (under the test hook it returns).
bool ProgramEnded();

// Test hook: when set, EndProgram does its rollback and release, records the end and then
// calls `hook` instead of ending the process. An empty function removes the hook.
void setEndProgramHook(std::function<void()> hook);
// Clears the record kept by ProgramEnded. For tests.
void resetProgramEnded();

// Shows the error's number in decimal, CR LF, and its description (OK only, the application
// title), then ends the program.
void ReportEngineError(const store::EngineError& error);

// Runs an event handler; an engine error escaping it goes to ReportEngineError. Gives false
// when that happened.
bool guard(const std::function<void()>& handler);

// Runs a write the user asked for: a save, an approval, a bill, a write-off, a print. An
// engine error inside it has rolled back all that the write began (its transactions unwind) and
// is told for what it is, another copy holding the books past the wait or the engine's own
// failure, without ending the program: the form keeps its mode and every typed value, so the
// user can press `action` (the button's caption) again. With `offerRetry` the user is asked
// whether to try again at once instead, for a write whose input lives in a form that has
// closed (a bill). The wait cursor shows while the write runs. Gives false when nothing was
// written.
bool guardWrite(const QString& action, const std::function<void()>& write, bool offerRetry = false);

// Whether an engine error means another copy of the program (or another program) held the
// books past the wait: the write may succeed when tried again.
bool isBusyError(const store::EngineError& error);

// QObject::connect for event handlers: the handler runs under guard(). `handler` is either a
// member function of `receiver` (connectHandler(cmdOK, &QPushButton::clicked, this,
// &frmLogin::cmdOK_Click)) or any callable; it may take fewer arguments than the signal.
template <class Sender, class Signal, class Receiver, class Handler>
QMetaObject::Connection connectHandler(const Sender* sender, Signal signal, Receiver* receiver,
                                       Handler handler) {
    if constexpr (std::is_member_function_pointer_v<Handler>) {
        return QObject::connect(
            sender, signal, receiver, [
                receiver, handler
            ](auto&&... args) requires std::invocable<Handler, Receiver*, decltype(args)...> {
                guard([&] { std::invoke(handler, receiver, args...); });
            });
    } else {
        return QObject::connect(
            sender, signal, receiver,
            [handler](auto&&... args) requires std::invocable<const Handler&, decltype(args)...> {
                guard([&] { std::invoke(handler, args...); });
            });
    }
}

}  // namespace orvik::app
