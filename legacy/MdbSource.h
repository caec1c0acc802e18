#pragma once

#include <QString>
#include <chrono>

#include "Source.h"

namespace orvik::legacy {

enum class FileKind { Missing, Jet3, Jet4, Ace, Sqlite, Other };

// Tells the old engine's files (Jet 3, Jet 4 and the later ACE format) from this program's own
// by their first bytes, without opening them.
FileKind fileKind(const QString& path);

// The old database folder, read with mdbtools' libmdb. No password is needed: the old engine
// kept it only in the file's header, and the library does not check it.
//
// The library trusts the file: on a damaged one it can read forever, crash, or write warnings
// without end. So a file's shape is checked first (MdbShape.h), and the library then runs in a
// child process per file (ReaderProcess.h) that is stopped when an answer takes longer than the
// time limit; its warnings go into the import's report. Every such failure is a LegacyError that
// names the file.
class MdbSource : public Source {
  public:
    // Text of Jet 3 files is decoded from `jet3Charset` (an iconv name); empty takes the
    // MDB_JET3_CHARSET environment variable, or else CP950 (Traditional Chinese).
    explicit MdbSource(QString folder, QString jet3Charset = {});

    // The file in the folder, letter case aside; empty when there is none.
    QString locate(const QString& fileName) const;
    std::unique_ptr<SourceFile> openFile(const QString& fileName) override;
    // Opens one file by its full name.
    std::unique_ptr<SourceFile> openPath(const QString& path);

    QString jet3Charset() const { return jet3Charset_; }

    // How long the reader may take over one answer (opening the file, or one batch of rows)
    // before it is stopped and the file refused as damaged. A sound file takes milliseconds.
    static constexpr std::chrono::milliseconds kDefaultTimeLimit{60000};
    void setTimeLimit(std::chrono::milliseconds limit) { timeLimit_ = limit; }

  private:
    QString folder_;
    QString jet3Charset_;
    std::chrono::milliseconds timeLimit_ = kDefaultTimeLimit;
};

}  // namespace orvik::legacy
