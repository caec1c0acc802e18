#include "ProgramSandbox.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>

#include "Clock.h"
#include "Forms.h"
#include "Globals.h"
#include "Modal.h"
#include "Program.h"
#include "Startup.h"

namespace orvik::testing {

ProgramSandbox::ProgramSandbox() {
    reset();
    app::setEndProgramHook([] {});
    app::setProgramFolder(programDir_.path());
    previousPrompts_ = app::installPrompts(&prompts_);
}

ProgramSandbox::~ProgramSandbox() {
    app::installPrompts(previousPrompts_);
    reset();
    app::setEndProgramHook({});
    app::setProgramFolder({});
    app::setPathDialog({});
    app::setMainBar({});
}

void ProgramSandbox::reset() {
    app::Forms::unloadAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    app::setModalHook({});
    app::resetGlobals();
    app::resetProgramEnded();
    app::Clock::reset();
}

bool ProgramSandbox::writeAccPath(const QByteArray& bytes) const {
    QFile file(programDir_.path() + QStringLiteral("/accpath.ini"));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray ProgramSandbox::readAccPath() const {
    QFile file(programDir_.path() + QStringLiteral("/accpath.ini"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace orvik::testing
