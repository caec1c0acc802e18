#pragma once

// A prompts service for tests: it records every prompt, answers from a queue of expectations,
// and fails the running test on a prompt it did not expect or one that does not match.
//
//     ScriptedPrompts prompts;
//     ScopedPrompts installed(prompts);
//     prompts.expectMessage("資料庫路徑錯誤").expectInput("abc");
//     ... run the code ...
//     QCOMPARE(prompts.shown().at(0).title, "Orvik");
//
// Expectations still unused when the object is destroyed also fail the test.

#include <QString>
#include <QStringList>
#include <QVector>
#include <deque>
#include <optional>

#include "Prompts.h"

namespace orvik::testing {

class ScriptedPrompts final : public app::PromptService {
  public:
    enum class Kind { Message, Input, File };

    // One prompt as the program asked it.
    struct Prompt {
        Kind kind = Kind::Message;
        QString text;                   // message text, input prompt, or file dialog title
        QString title;                  // as requested: empty for an empty title
        bool applicationTitle = false;  // a message without a title of its own
        app::Icon icon = app::Icon::None;
        app::Buttons buttons = app::Buttons::OK;
        app::DefaultButton defaultButton = app::DefaultButton::First;
        QString defaultText;  // input box
        QString folder;       // file dialog
        QString filter;       // file dialog
    };

    ScriptedPrompts() = default;
    ~ScriptedPrompts() override;
    ScriptedPrompts(const ScriptedPrompts&) = delete;
    ScriptedPrompts& operator=(const ScriptedPrompts&) = delete;

    // The next prompt is a message box whose text contains `textContains`; it is answered
    // with `answer`.
    ScriptedPrompts& expectMessage(const QString& textContains,
                                   app::Answer answer = app::Answer::OK);
    // The next prompt is an input box, answered with `answer` (nullopt: cancelled).
    ScriptedPrompts& expectInput(std::optional<QString> answer);
    ScriptedPrompts& expectInputCancel() { return expectInput(std::nullopt); }
    // The next prompt is an open-file or save-file dialog, answered with `path` (empty:
    // cancelled).
    ScriptedPrompts& expectFile(const QString& path);

    const QVector<Prompt>& shown() const { return shown_; }
    QStringList messageTexts() const;
    // Unexpected or mismatching prompts, in words.
    const QStringList& errors() const { return errors_; }
    int pending() const { return int(queue_.size()); }
    // Drops the remaining expectations, the record and the errors.
    void clear();

    // When false, problems are only recorded in errors(), not reported to QtTest. For tests of
    // this class itself.
    void setFailTest(bool fail) { failTest_ = fail; }

    app::Answer message(const app::MessageRequest& request) override;
    std::optional<QString> input(const app::InputRequest& request) override;
    QString openFile(const app::FileRequest& request) override;
    QString saveFile(const app::FileRequest& request) override;

  private:
    struct Expectation {
        Kind kind;
        QString textContains;
        app::Answer answer = app::Answer::OK;
        std::optional<QString> text;
    };

    // The next expectation if it is of `kind` (and, for messages, matches); otherwise records
    // the problem and gives nothing.
    std::optional<Expectation> take(Kind kind, const QString& text);
    void problem(const QString& what);

    std::deque<Expectation> queue_;
    QVector<Prompt> shown_;
    QStringList errors_;
    bool failTest_ = true;
};

const char* kindName(ScriptedPrompts::Kind kind);

}  // namespace orvik::testing
