#pragma once

// Everything a test of the program's behaviour needs around it, undone afterwards: fresh
// program-wide variables, the system clock, a scripted prompts service, EndProgram recorded
// instead of ending the process, a program folder of its own for accpath.ini, no modal hook
// and no loaded forms.
//
//     ProgramSandbox sandbox;
//     sandbox.prompts().expectMessage("資料庫路徑錯誤");
//     app::Main();
//     QVERIFY(app::ProgramEnded());

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include "ScriptedPrompts.h"

namespace orvik::testing {

class ProgramSandbox {
  public:
    ProgramSandbox();
    ~ProgramSandbox();
    ProgramSandbox(const ProgramSandbox&) = delete;
    ProgramSandbox& operator=(const ProgramSandbox&) = delete;

    ScriptedPrompts& prompts() { return prompts_; }
    QString programFolder() const { return programDir_.path(); }

    // Writes accpath.ini into the program folder byte for byte.
    bool writeAccPath(const QByteArray& bytes) const;
    QByteArray readAccPath() const;

  private:
    void reset();

    QTemporaryDir programDir_;
    ScriptedPrompts prompts_;
    app::PromptService* previousPrompts_ = nullptr;
};

}  // namespace orvik::testing
