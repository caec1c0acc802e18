#pragma once

// What the programs that picture windows share: a wait for a window to settle, prompts that
// only tell what they were asked, and a window grabbed into a PNG file with a line that says so.

#include <QDir>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>
#include <QWidget>
#include <optional>

#include "Prompts.h"

namespace orvik::testing {

inline void settle(int ms = 300) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Says every message on stderr and answers No to a question, OK to anything else.
class EchoPrompts final : public app::PromptService {
  public:
    app::Answer message(const app::MessageRequest& request) override {
        QTextStream(stderr) << "screens: message [" << request.title << "] " << request.text
                            << '\n';
        return request.buttons == app::Buttons::YesNo ? app::Answer::No : app::Answer::OK;
    }
    std::optional<QString> inputAnswer;  // what is typed into an input box; none: cancelled
    std::optional<QString> input(const app::InputRequest&) override { return inputAnswer; }
    QString openFile(const app::FileRequest&) override { return {}; }
};

// Whether every picture so far was written (the program's exit status).
inline bool& screensOk() {
    static bool ok = true;
    return ok;
}

inline void save(QWidget* w, const QDir& dir, const QString& name) {
    w->show();
    settle();
    const QString file = dir.filePath(name + QStringLiteral(".png"));
    const bool saved = w->grab().save(file);
    QTextStream(stderr) << "screens: " << (saved ? "wrote " : "FAILED ") << file << '\n';
    screensOk() = screensOk() && saved;
}

}  // namespace orvik::testing
