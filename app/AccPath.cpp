#include "AccPath.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace orvik::app {

QString decodeFirstLine(const QByteArray& bytes) {
    QByteArrayView line(bytes);
    if (line.startsWith("\xEF\xBB\xBF"))
        line = line.sliced(3);
    // Neither UTF-8 nor Big5 uses CR or LF inside a character, so the bytes can be cut first.
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '\r' || line[i] == '\n') {
            line = line.first(i);
            break;
        }
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(line);
    if (!utf8.hasError())
        return text;
    QStringDecoder big5("Big5", QStringConverter::Flag::Stateless);
    if (big5.isValid()) {
        QString legacy = big5.decode(line);
        if (!big5.hasError())
            return legacy;
    }
    return text;  // best effort; the folder will then not be found and the user can fix it
}

QString readFirstLine(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Only the first line matters; a bounded read keeps a wrong file from being slurped whole.
    return decodeFirstLine(file.read(64 * 1024));
}

QString elidePath(const QString& path, int maxChars) {
    if (path.size() <= maxChars || maxChars < 3)
        return path;
    // Two fifths for the start, the rest for the end, never splitting a surrogate pair.
    qsizetype head = (maxChars - 1) * 2 / 5;
    qsizetype tail = maxChars - 1 - head;
    if (head > 0 && path.at(head - 1).isHighSurrogate())
        --head;
    if (path.at(path.size() - tail).isLowSurrogate())
        --tail;
    return path.left(head) + QChar(0x2026) + path.right(tail);
}

bool writeSingleLine(const QString& fileName, const QString& line) {
    QSaveFile file(fileName);
    // A program folder that allows writing the file but not creating a temporary beside it
    // still gets its file written.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = line.toUtf8() + "\r\n";
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace orvik::app
