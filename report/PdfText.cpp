#include "PdfText.h"

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QRawFont>
#include <QSaveFile>

namespace orvik::report {

namespace {

// The blocks whose characters a CJK font draws with an ideograph's glyph and that come before
// the ideographs: CJK Radicals Supplement, Kangxi Radicals, CJK Strokes.
bool isLookAlike(uint u) {
    return (u >= 0x2E80 && u <= 0x2FDF) || (u >= 0x31C0 && u <= 0x31EF);
}

// Which ideograph each look-alike stands for. A Kangxi radical decomposes to its ideograph
// (compatibility decomposition); the other look-alikes have none, and are matched by the glyph
// the report's CJK faces draw for them.
const QHash<uint, uint>& equivalents() {
    static const QHash<uint, uint> table = [] {
        QHash<uint, uint> t;
        QVector<uint> others;  // look-alikes without a decomposition
        for (uint u = 0x2E80; u <= 0x31EF; ++u) {
            if (!isLookAlike(u))
                continue;
            const QString decomposed =
                QString(QChar(char16_t(u))).normalized(QString::NormalizationForm_KC);
            if (decomposed.size() == 1 && decomposed.at(0).unicode() >= 0x3400)
                t.insert(u, decomposed.at(0).unicode());
            else
                others << u;
        }
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            return t;
        // Glyph numbers belong to one face: each face is asked on its own.
        QString ideographs;  // the unified ideographs, then extension A
        for (uint u = 0x4E00; u <= 0x9FFF; ++u)
            ideographs += QChar(char16_t(u));
        for (uint u = 0x3400; u <= 0x4DBF; ++u)
            ideographs += QChar(char16_t(u));
        for (const char* family : {"Noto Sans CJK TC", "Noto Serif CJK TC"}) {
            QFont font(QString::fromLatin1(family));
            font.setPixelSize(32);
            const QRawFont face = QRawFont::fromFont(font);
            if (!face.isValid())
                continue;
            QHash<quint32, uint> byGlyph;  // glyph of a look-alike → the look-alike
            for (const uint u : others) {
                const auto glyphs = face.glyphIndexesForString(QString(QChar(char16_t(u))));
                if (!glyphs.isEmpty() && glyphs.first() != 0 && !t.contains(u))
                    byGlyph.insert(glyphs.first(), u);
            }
            const auto glyphs = face.glyphIndexesForString(ideographs);
            for (qsizetype i = 0; i < glyphs.size(); ++i) {
                const auto hit = byGlyph.constFind(glyphs.at(i));
                if (hit != byGlyph.cend() && !t.contains(hit.value()))
                    t.insert(hit.value(), ideographs.at(i).unicode());
            }
        }
        return t;
    }();
    return table;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Rewrites the four hex digits at `at` when they name a look-alike.
bool mendCode(QByteArray& pdf, qsizetype at) {
    uint u = 0;
    for (int i = 0; i < 4; ++i) {
        const int h = hexValue(pdf.at(at + i));
        if (h < 0)
            return false;
        u = u * 16 + uint(h);
    }
    if (!isLookAlike(u))
        return false;
    const uint ideograph = equivalents().value(u, 0);
    if (ideograph == 0 || ideograph > 0xFFFF)
        return false;
    const QByteArray hex = QByteArray::number(ideograph, 16).toUpper().rightJustified(4, '0');
    for (int i = 0; i < 4; ++i)
        pdf[at + i] = hex.at(i);
    return true;
}

// The tokens <XXXX> of one line of a bfrange or bfchar block; the destinations are the third
// on (bfrange) or the second (bfchar). A range "<a> <b> <dst>" with b > a maps a run of
// characters and is left alone.
bool mendLine(QByteArray& pdf, qsizetype begin, qsizetype end, bool range) {
    QVector<qsizetype> tokens;  // positions just after '<'
    for (qsizetype i = begin; i < end; ++i) {
        if (pdf.at(i) == '<' && i + 5 < end && pdf.at(i + 5) == '>')
            tokens << i + 1;
    }
    bool changed = false;
    const int firstDestination = range ? 2 : 1;
    if (tokens.size() <= firstDestination)
        return false;
    const bool array = pdf.indexOf('[', begin) >= 0 && pdf.indexOf('[', begin) < end;
    if (range && !array && tokens.size() == 3 &&
        pdf.mid(tokens.at(0), 4) != pdf.mid(tokens.at(1), 4))
        return false;
    for (int k = firstDestination; k < tokens.size(); ++k)
        changed = mendCode(pdf, tokens.at(k)) || changed;
    return changed;
}

bool mendBlocks(QByteArray& pdf, const QByteArray& beginWord, const QByteArray& endWord,
                bool range) {
    bool changed = false;
    qsizetype from = 0;
    for (;;) {
        const qsizetype begin = pdf.indexOf(beginWord, from);
        if (begin < 0)
            break;
        const qsizetype end = pdf.indexOf(endWord, begin);
        if (end < 0)
            break;
        qsizetype line = pdf.indexOf('\n', begin) + 1;
        while (line > 0 && line < end) {
            qsizetype next = pdf.indexOf('\n', line);
            if (next < 0 || next > end)
                next = end;
            changed = mendLine(pdf, line, next, range) || changed;
            line = next + 1;
        }
        from = end + endWord.size();
    }
    return changed;
}

}  // namespace

QByteArray fixPdfTextLayer(const QByteArray& input) {
    QByteArray pdf = input;
    // Qt writes the maps uncompressed; the digits are replaced in place, so every offset in
    // the file's cross-reference table stays right.
    mendBlocks(pdf, "beginbfrange", "endbfrange", true);
    mendBlocks(pdf, "beginbfchar", "endbfchar", false);
    return pdf;
}

bool fixPdfText(const QString& path) {
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray before = in.readAll();
    in.close();
    const QByteArray after = fixPdfTextLayer(before);
    if (after == before)
        return true;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(after) != after.size())
        return false;
    return out.commit();
}

}  // namespace orvik::report
