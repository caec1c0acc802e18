#pragma once

// The configuration file accpath.ini: its first line names the database folder.

#include <QByteArray>
#include <QString>

namespace orvik::app {

inline const QString kAccPathFileName = QStringLiteral("accpath.ini");

// The first line of the file's bytes, up to the first CR or LF (so CR LF, LF and CR files all
// read alike), without a UTF-8 byte-order mark. UTF-8 text is read as such; bytes that are
// not valid UTF-8 are read as Big5, as written by older installations.
QString decodeFirstLine(const QByteArray& bytes);

// The first line of the file; empty when the file is missing, unreadable or has no line.
QString readFirstLine(const QString& fileName);

// A path short enough for a message box: a longer one keeps its start and its end (where the
// file name is) around "…". Every message that shows a path shows it through this.
inline constexpr int kShownPathChars = 80;
QString elidePath(const QString& path, int maxChars = kShownPathChars);

// Replaces the file's content with `line` followed by CR LF, in UTF-8. False when the file
// could not be written; the old content is then left as it was.
bool writeSingleLine(const QString& fileName, const QString& line);

}  // namespace orvik::app
