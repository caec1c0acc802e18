#pragma once

// The text layer of the PDF files the reports write: the same characters as printed.
//
// Qt's PDF writer tells a reader which character each glyph stands for through the font's
// ToUnicode map, and it makes that map by asking the font, for every character from U+0000
// up, which glyph it draws, keeping the first character found for a glyph. The CJK fonts draw
// a Kangxi radical (U+2F00–U+2FD5) and the CJK ideograph it looks like with the same glyph, and
// the radicals come first: 支 (U+652F) is told as ⽀ (U+2F40), so copying 支出 out of the PDF
// gives ⽀出 and searching for 支出 finds nothing. The fix puts back, in every ToUnicode map of
// the file, the ideograph each such look-alike stands for (its compatibility decomposition),
// keeping the file's layout byte for byte.

#include <QByteArray>
#include <QString>

namespace orvik::report {

// The PDF with its ToUnicode maps mended; a PDF without look-alikes comes back unchanged.
QByteArray fixPdfTextLayer(const QByteArray& pdf);

// The same for a file, rewritten in place when anything changed. False when it could not be
// read or written.
bool fixPdfText(const QString& path);

}  // namespace orvik::report
