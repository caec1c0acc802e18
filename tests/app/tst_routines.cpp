#include <QTest>

#include "Globals.h"
#include "ProgramSandbox.h"
#include "Routines.h"
#include "TestDataFolder.h"

using namespace orvik;
using namespace orvik::app;

class TestRoutines : public QObject {
    Q_OBJECT

  private slots:
    void amountInWords_data();
    void amountInWords();
    void toBinaryRights();
    void groupThousands_data();
    void groupThousands();
    void findBillNo();
};

void TestRoutines::amountInWords_data() {
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("words");
    auto row = [](const char* digits, const char* words) {
        QTest::newRow(digits) << QString::fromUtf8(digits) << QString::fromUtf8(words);
    };
    // Worked examples.
    row("105", "壹佰零伍");
    row("100", "壹佰");
    row("10005", "壹萬零伍");
    row("10050", "壹萬零伍拾");
    row("12345", "壹萬貳仟參佰肆拾伍");
    row("150000", "壹拾伍萬");
    row("100500", "壹拾萬零伍佰");
    row("1000050", "壹佰萬零伍拾");
    row("123456789", "壹億貳仟參佰肆拾伍萬陸仟柒佰捌拾玖");
    // Zeros: one 零 for a run inside a group, nothing at the end, nothing for zero.
    row("10500", "壹萬零伍佰");
    row("1000010", "壹佰萬零壹拾");
    row("100050000", "壹億零伍萬");
    row("1010", "壹仟零壹拾");
    row("10000", "壹萬");
    row("20", "貳拾");
    row("10", "壹拾");
    row("0", "");
    row("0000", "");
    row("", "");
    // An empty ten-thousands group between 億 and the low group takes no 萬.
    row("100000005", "壹億零伍");
    row("100001234", "壹億零壹仟貳佰參拾肆");
    row("100000000", "壹億");
    row("200000000", "貳億");
    row("999999999999", "玖仟玖佰玖拾玖億玖仟玖佰玖拾玖萬玖仟玖佰玖拾玖");
    row("0105", "壹佰零伍");
    // No reading for anything but plain digits, or for more than 12 of them.
    row("-5", "");
    row("1,000", "");
    row("12.5", "");
    row("1000000000000", "");
}

void TestRoutines::amountInWords() {
    QFETCH(QString, digits);
    QFETCH(QString, words);
    QCOMPARE(AmountInWords(digits), words);
}

void TestRoutines::toBinaryRights() {
    QCOMPARE(ToBinaryRights(0), QString(22, u'0'));
    QCOMPARE(ToBinaryRights(1), QStringLiteral("1") + QString(21, u'0'));
    QCOMPARE(ToBinaryRights(6), QStringLiteral("011") + QString(19, u'0'));
    // 4096 is bit 12: position 13, the write-off entry.
    const QString s = ToBinaryRights(4096);
    QCOMPARE(s.size(), 22);
    QCOMPARE(s.indexOf(u'1'), 12);
    QCOMPARE(s.count(u'1'), 1);
    // More than 22 bits: a longer string, positions 1 to 22 still the low bits.
    QCOMPARE(ToBinaryRights((1 << 22) | 1), QStringLiteral("1") + QString(21, u'0') + u'1');
    QCOMPARE(ToBinaryRights(0x7fffffff), QString(31, u'1'));
    QCOMPARE(ToBinaryRights(-1), QString(32, u'1'));
}

void TestRoutines::groupThousands_data() {
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("grouped");
    QTest::newRow("7") << "1234567"
                       << "1,234,567";
    QTest::newRow("6") << "123456"
                       << "123,456";
    QTest::newRow("4") << "1234"
                       << "1,234";
    QTest::newRow("3") << "123"
                       << "123";
    QTest::newRow("2") << "12"
                       << "12";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("minus 7") << "-1234567"
                             << "-1,234,567";
    QTest::newRow("minus 3") << "-123"
                             << "-123";
}

void TestRoutines::groupThousands() {
    QFETCH(QString, digits);
    QFETCH(QString, grouped);
    QCOMPARE(GroupThousands(digits), grouped);
}

void TestRoutines::findBillNo() {
    testing::ProgramSandbox sandbox;
    testing::TestDataFolder folder;
    QVERIFY(folder.isValid());
    folder.openAsProgram();
    auto bill = [](const QVariant& billNo, const QString& voucherKey) {
        dbAcc->execute(QStringLiteral("insert into bill (票據號碼, 收支單號) values (?, ?)"),
                       {billNo, voucherKey});
    };
    auto combined = [](const QVariant& key, const QString& voucherNo) {
        dbAcc->execute(QStringLiteral("insert into iofs (多單號, 單號) values (?, ?)"),
                       {key, voucherNo});
    };
    bill(QStringLiteral("A-001"), QStringLiteral("920712001"));
    bill(QStringLiteral("B-777"), QStringLiteral("920712002S"));
    combined(QStringLiteral("920712002S"), QStringLiteral("920712002"));
    combined(QStringLiteral("920712002S"), QStringLiteral("920712003"));
    // A voucher with its own bill that is also listed in a combined bill.
    combined(QStringLiteral("920712002S"), QStringLiteral("920712001"));
    // Rows with nulls, and a bill whose voucher number is empty, which a null key must not find.
    combined(QVariant(), QStringLiteral("920712009"));
    bill(QStringLiteral("EMPTY"), QString(""));
    bill(QVariant(), QStringLiteral("920712010"));

    QCOMPARE(FindBillNo(QStringLiteral("920712001")), QStringLiteral("A-001"));
    QCOMPARE(FindBillNo(QStringLiteral("920712002")), QStringLiteral("B-777"));
    QCOMPARE(FindBillNo(QStringLiteral("920712003")), QStringLiteral("B-777"));
    QCOMPARE(FindBillNo(QStringLiteral("920712004")), QString());
    QCOMPARE(FindBillNo(QStringLiteral("920712009")), QString());
    QCOMPARE(FindBillNo(QStringLiteral("920712010")), QString());
    // The number is a bound value: an apostrophe is just a character.
    QCOMPARE(FindBillNo(QStringLiteral("92' or '1'='1")), QString());
}

QTEST_GUILESS_MAIN(TestRoutines)
#include "tst_routines.moc"
