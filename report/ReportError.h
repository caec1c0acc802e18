#pragma once

#include <QString>
#include <stdexcept>

namespace orvik::report {

// A report that could not be produced: a missing or unreadable layout, an unreadable data file,
// an output file that could not be written. The message is in Traditional Chinese and meant
// for the user as it stands; the caller shows it. When the cause was a database error, its
// engine number is kept as well.
class ReportError : public std::runtime_error {
  public:
    explicit ReportError(const QString& message, int engineNumber = 0)
        : std::runtime_error(message.toStdString()),
          message_(message),
          engineNumber_(engineNumber) {}

    const QString& message() const noexcept { return message_; }
    int engineNumber() const noexcept { return engineNumber_; }

  private:
    QString message_;
    int engineNumber_;
};

}  // namespace orvik::report
