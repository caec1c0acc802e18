#include <QTest>

#include "Clock.h"
#include "EraDate.h"

using namespace orvik::app;

class TestDates : public QObject {
    Q_OBJECT

  private slots:
    void cleanup() { Clock::reset(); }
    void formats();
    void parsing_data();
    void parsing();
    void roundTrip();
    void formatAmount();
    void workingDateKeepsTimeRunning();
};

void TestDates::formats() {
    const QDate d(2003, 7, 12);
    QCOMPARE(FormatEra(d, kEraLong), QStringLiteral("中華民國 92 年 07 月 12 日"));
    QCOMPARE(FormatEra(d, kEraSlash), QStringLiteral("中華民國 92/07/12"));
    QCOMPARE(FormatEra(d, kEraShort), QStringLiteral("92/07/12"));
    QCOMPARE(FormatEra(d, kEraCompact), QStringLiteral("920712"));
    // From the era year 100 on, three digits.
    QCOMPARE(FormatEra(QDate(2026, 12, 7), kEraCompact), QStringLiteral("1151207"));
    QCOMPARE(FormatEra(QDate(2011, 1, 1), kEraShort), QStringLiteral("100/01/01"));
    QCOMPARE(FormatEra(QDate(1912, 1, 1), kEraShort), QStringLiteral("01/01/01"));
    QCOMPARE(EraYear(QDate(2003, 7, 12)), 92);
    // Before the era, or no date at all: nothing.
    QCOMPARE(FormatEra(QDate(1911, 12, 31), kEraShort), QString());
    QCOMPARE(FormatEra(QDate(), kEraLong), QString());
}

void TestDates::parsing_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("date");
    QTest::newRow("short") << "92/07/12" << QDate(2003, 7, 12);
    QTest::newRow("short 3-digit year") << "115/12/07" << QDate(2026, 12, 7);
    QTest::newRow("short single digits") << "92/7/5" << QDate(2003, 7, 5);
    QTest::newRow("compact") << "920712" << QDate(2003, 7, 12);
    QTest::newRow("compact 7") << "1151207" << QDate(2026, 12, 7);
    QTest::newRow("leap day") << "113/02/29" << QDate(2024, 2, 29);
    QTest::newRow("no leap day") << "112/02/29" << QDate();
    QTest::newRow("month 13") << "92/13/01" << QDate();
    QTest::newRow("year 0") << "0/01/01" << QDate();
    QTest::newRow("dashes") << "92-07-12" << QDate();
    QTest::newRow("full-width digits") << "９２/07/12" << QDate();
    QTest::newRow("compact padded") << "0920712" << QDate();
    QTest::newRow("compact short") << "92071" << QDate();
    QTest::newRow("empty") << "" << QDate();
}

void TestDates::parsing() {
    QFETCH(QString, text);
    QFETCH(QDate, date);
    const QDate parsed =
        text.contains(u'/') || text.contains(u'-') ? ParseEraShort(text) : ParseEraCompact(text);
    QCOMPARE(parsed, date);
}

void TestDates::roundTrip() {
    for (QDate d(2009, 12, 1); d <= QDate(2012, 2, 1); d = d.addDays(1)) {
        QCOMPARE(ParseEraShort(FormatEra(d, kEraShort)), d);
        QCOMPARE(ParseEraCompact(FormatEra(d, kEraCompact)), d);
    }
}

void TestDates::formatAmount() {
    QCOMPARE(FormatAmount(0), QStringLiteral("0"));
    QCOMPARE(FormatAmount(999), QStringLiteral("999"));
    QCOMPARE(FormatAmount(1000), QStringLiteral("1,000"));
    QCOMPARE(FormatAmount(1234567), QStringLiteral("1,234,567"));
    QCOMPARE(FormatAmount(-150000), QStringLiteral("-150,000"));
    QCOMPARE(FormatAmount(std::numeric_limits<qint64>::min()),
             QStringLiteral("-9,223,372,036,854,775,808"));
}

void TestDates::workingDateKeepsTimeRunning() {
    Clock::setFixedNow(QDateTime(QDate(2024, 3, 10), QTime(23, 59, 30)));
    QCOMPARE(Clock::today(), QDate(2024, 3, 10));
    Clock::setWorkingDate(QDate(2003, 7, 12));
    QCOMPARE(Clock::today(), QDate(2003, 7, 12));
    QCOMPARE(Clock::now().time(), QTime(23, 59, 30));
    // Past midnight the working date moves on as the computer's date would.
    Clock::setFixedNow(QDateTime(QDate(2024, 3, 11), QTime(0, 0, 10)));
    QCOMPARE(Clock::today(), QDate(2003, 7, 13));
    QCOMPARE(Clock::now(), QDateTime(QDate(2003, 7, 13), QTime(0, 0, 10)));
    Clock::setWorkingDate(QDate());
    QCOMPARE(Clock::today(), QDate(2024, 3, 11));
}

QTEST_GUILESS_MAIN(TestDates)
#include "tst_dates.moc"
