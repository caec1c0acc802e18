#pragma once

#include <QString>

#include "Source.h"

namespace orvik::legacy {

enum class FileKind { Missing, Jet3, Jet4, Ace, Sqlite, Other };

// Tells the old engine's files (Jet 3, Jet 4 and the later ACE format) from this program's own
// by their first bytes, without opening them.
FileKind fileKind(const QString& path);

// The old database folder, read with mdbtools' libmdb. No password is needed: the old engine
// kept it only in the file's header, and the library does not check it.
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

  private:
    QString folder_;
    QString jet3Charset_;
};

}  // namespace orvik::legacy
