#include "ScriptedPrompts.h"

#include <QTest>

namespace orvik::testing {

using app::Answer;
using app::Buttons;

const char* kindName(ScriptedPrompts::Kind kind) {
    switch (kind) {
        case ScriptedPrompts::Kind::Message:
            return "message box";
        case ScriptedPrompts::Kind::Input:
            return "input box";
        case ScriptedPrompts::Kind::File:
            return "file dialog";
    }
    return "prompt";
}

namespace {

// What a user would do to get out of a box that the test did not script: the way out that
// changes the least.
Answer safeAnswer(Buttons buttons) {
    switch (buttons) {
        case Buttons::OK:
            return Answer::OK;
        case Buttons::YesNo:
            return Answer::No;
        case Buttons::OKCancel:
        case Buttons::YesNoCancel:
            break;
    }
    return Answer::Cancel;
}

}  // namespace

ScriptedPrompts::~ScriptedPrompts() {
    if (queue_.empty())
        return;
    QStringList left;
    for (const auto& e : queue_)
        left << QStringLiteral("%1 \"%2\"").arg(QLatin1String(kindName(e.kind)), e.textContains);
    problem(QStringLiteral("expected prompts never shown: ") + left.join(QStringLiteral(", ")));
}

ScriptedPrompts& ScriptedPrompts::expectMessage(const QString& textContains, Answer answer) {
    queue_.push_back({Kind::Message, textContains, answer, std::nullopt});
    return *this;
}

ScriptedPrompts& ScriptedPrompts::expectInput(std::optional<QString> answer) {
    queue_.push_back({Kind::Input, QString(), Answer::OK, std::move(answer)});
    return *this;
}

ScriptedPrompts& ScriptedPrompts::expectFile(const QString& path) {
    queue_.push_back({Kind::File, QString(), Answer::OK, path});
    return *this;
}

QStringList ScriptedPrompts::messageTexts() const {
    QStringList texts;
    for (const auto& p : shown_) {
        if (p.kind == Kind::Message)
            texts << p.text;
    }
    return texts;
}

void ScriptedPrompts::clear() {
    queue_.clear();
    shown_.clear();
    errors_.clear();
}

void ScriptedPrompts::problem(const QString& what) {
    errors_ << what;
    // Only the first problem of a test goes to QtTest; the rest stay in errors().
    if (failTest_ && !QTest::currentTestFailed() && QTest::currentTestFunction())
        QTest::qFail(qPrintable(what), __FILE__, __LINE__);
}

std::optional<ScriptedPrompts::Expectation> ScriptedPrompts::take(Kind kind, const QString& text) {
    if (queue_.empty()) {
        problem(QStringLiteral("unexpected %1: \"%2\"").arg(QLatin1String(kindName(kind)), text));
        return std::nullopt;
    }
    const Expectation next = queue_.front();
    if (next.kind != kind) {
        problem(QStringLiteral("expected a %1 but got a %2: \"%3\"")
                    .arg(QLatin1String(kindName(next.kind)), QLatin1String(kindName(kind)), text));
        return std::nullopt;
    }
    if (kind == Kind::Message && !text.contains(next.textContains)) {
        problem(QStringLiteral("expected a message containing \"%1\" but got \"%2\"")
                    .arg(next.textContains, text));
        return std::nullopt;
    }
    queue_.pop_front();
    return next;
}

Answer ScriptedPrompts::message(const app::MessageRequest& request) {
    shown_.push_back({Kind::Message, request.text, request.title, request.applicationTitle,
                      request.icon, request.buttons, request.defaultButton, QString(), QString(),
                      QString()});
    const auto e = take(Kind::Message, request.text);
    return e ? e->answer : safeAnswer(request.buttons);
}

std::optional<QString> ScriptedPrompts::input(const app::InputRequest& request) {
    Prompt p;
    p.kind = Kind::Input;
    p.text = request.prompt;
    p.title = request.title;
    p.defaultText = request.defaultText;
    shown_.push_back(p);
    const auto e = take(Kind::Input, request.prompt);
    return e ? e->text : std::nullopt;
}

QString ScriptedPrompts::openFile(const app::FileRequest& request) {
    Prompt p;
    p.kind = Kind::File;
    p.text = request.title;
    p.title = request.title;
    p.folder = request.initialFolder;
    p.filter = request.filter;
    shown_.push_back(p);
    const auto e = take(Kind::File, request.title);
    return e ? e->text.value_or(QString()) : QString();
}

QString ScriptedPrompts::saveFile(const app::FileRequest& request) {
    return openFile(request);
}

}  // namespace orvik::testing
