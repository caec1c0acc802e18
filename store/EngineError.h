#pragma once

#include <QString>
#include <stdexcept>

namespace orvik::store {

// Error numbers follow the file engine the forms were first written against, so the handlers
// that test a number (start-up, schema check) keep working unchanged.
namespace err {
inline constexpr int ReservedError = 3000;
inline constexpr int NoCurrentRecord = 3021;
inline constexpr int DuplicateKey = 3022;
inline constexpr int FileNotFound = 3024;
inline constexpr int InvalidPassword = 3031;
inline constexpr int InvalidPath = 3044;
inline constexpr int FileInUse = 3045;
inline constexpr int UnknownName = 3061;
inline constexpr int SyntaxError = 3075;
inline constexpr int TableNotFound = 3078;
inline constexpr int UpdateWithoutEdit = 3020;
inline constexpr int RecordDeleted = 3167;
inline constexpr int RecordLocked = 3218;
inline constexpr int ReadOnly = 3027;
inline constexpr int DatabaseBusy = 3260;
inline constexpr int ItemNotFound = 3265;
inline constexpr int NotADatabase = 3343;
inline constexpr int DiskFull = 3035;
inline constexpr int TypeMismatch = 3464;
inline constexpr int ConnectionLost = 3151;
}  // namespace err

class EngineError : public std::runtime_error {
  public:
    EngineError(int number, const QString& description);

    int number() const noexcept { return number_; }
    const QString& description() const noexcept { return description_; }

  private:
    int number_;
    QString description_;
};

}  // namespace orvik::store
