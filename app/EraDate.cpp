#include "EraDate.h"

#include <QRegularExpression>

#include "Routines.h"

namespace orvik::app {

namespace {

constexpr int kEraOffset = 1911;

QString twoDigits(int n) {
    return QString::number(n).rightJustified(2, QLatin1Char('0'));
}

QDate fromEra(int eraYear, int month, int day) {
    if (eraYear < 1)
        return {};
    return QDate(eraYear + kEraOffset, month, day);  // invalid when month or day is out of range
}

}  // namespace

int EraYear(const QDate& date) {
    return date.year() - kEraOffset;
}

QString FormatEra(const QDate& date, const QString& pattern) {
    if (!date.isValid() || EraYear(date) < 1)
        return {};
    QString out;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QStringView pair = QStringView(pattern).mid(i, 2);
        if (pair == u"gg") {
            out += QStringLiteral("中華民國");
        } else if (pair == u"ee") {
            out += twoDigits(EraYear(date));
        } else if (pair == u"mm") {
            out += twoDigits(date.month());
        } else if (pair == u"dd") {
            out += twoDigits(date.day());
        } else {
            out += pattern.at(i);
            continue;
        }
        ++i;
    }
    return out;
}

QDate ParseEraShort(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^([0-9]{1,3})/([0-9]{1,2})/([0-9]{1,2})$"));
    const auto m = re.match(text.trimmed());
    if (!m.hasMatch())
        return {};
    return fromEra(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
}

QDate ParseEraCompact(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^([0-9]{2,3})([0-9]{2})([0-9]{2})$"));
    const auto m = re.match(text.trimmed());
    if (!m.hasMatch())
        return {};
    // Seven digits only from the era year 100 on; "0920712" is no date of this program.
    if (m.captured(1).size() == 3 && m.captured(1).startsWith(QLatin1Char('0')))
        return {};
    return fromEra(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
}

QString FormatAmount(qint64 amount) {
    return GroupThousands(QString::number(amount));
}

}  // namespace orvik::app
