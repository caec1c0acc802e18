#pragma once

#include <QString>
#include <stdexcept>

namespace orvik::admin {

// A failure the administrator can act on: one line of text and the exit code of the tool
// (1 for a failure, 2 for a usage mistake).
class AdminError : public std::runtime_error {
  public:
    explicit AdminError(const QString& message, int exitCode = 1)
        : std::runtime_error(message.toStdString()), message_(message), exitCode_(exitCode) {}

    const QString& message() const noexcept { return message_; }
    int exitCode() const noexcept { return exitCode_; }

  private:
    QString message_;
    int exitCode_;
};

class UsageError : public AdminError {
  public:
    explicit UsageError(const QString& message) : AdminError(message, 2) {}
};

}  // namespace orvik::admin
