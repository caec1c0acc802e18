#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "AdminError.h"
#include "Cli.h"
#include "Database.h"
#include "Import.h"
#include "Passwords.h"
#include "Recordset.h"
#include "Schema.h"
#include "TestLocation.h"

using namespace orvik::legacy;
namespace schema = orvik::store::schema;
using orvik::store::Database;
using SV = SourceValue;

Q_DECLARE_METATYPE(orvik::legacy::SourceValue)

namespace {

double days(const QDate& d) {
    return double(QDate(1899, 12, 30).daysTo(d));
}

SourceType legacyType(schema::ColType t) {
    switch (t) {
        case schema::ColType::Text:
            return SourceType::Text;
        case schema::ColType::Int16:
            return SourceType::Integer;
        case schema::ColType::Int32:
        case schema::ColType::Number:
            return SourceType::Long;
        case schema::ColType::Amount:
            return SourceType::Money;
        case schema::ColType::Double:
            return SourceType::Double;
        case schema::ColType::Boolean:
            return SourceType::Boolean;
        case schema::ColType::Date:
            return SourceType::DateTime;
    }
    return SourceType::Other;
}

// An old folder as the old program left it: every table of the three files, with the columns
// of the new schema under the same names and the old engine's types.
MemorySource oldBooks() {
    MemorySource src;
    for (const auto* f : schema::files()) {
        auto& file = src.file(f->fileName);
        for (const auto& t : f->tables) {
            MemorySource::Table table{t.name, {}, {}, {}, 0};
            for (const auto& c : t.columns)
                table.columns.push_back({c.name, legacyType(c.type), 0});
            file.tables.push_back(table);
        }
    }
    return src;
}

MemorySource::Table& table(MemorySource& src, const QString& file, const QString& name) {
    return *src.file(file).table(name);
}

QVector<SV> voucher(const QString& no, const QDate& entered, int status, qint64 money,
                    bool pay = true) {
    return {SV::date(days(entered)),
            SV::string(no),
            SV::string(QStringLiteral("工程款")),
            SV::whole(status),
            SV::money(money),
            SV::string(QStringLiteral("5101")),
            SV::yesNo(pay),
            SV::string(QStringLiteral("工程材料費")),
            SV::string(QString()),
            SV::null(),
            SV::string(QStringLiteral("P92001")),
            SV::string(QStringLiteral("新竹廠房")),
            SV::string(QStringLiteral("水電")),
            SV::date(days(entered)),
            SV::string(QStringLiteral("陳美玲")),
            SV::string(QStringLiteral("林志明")),
            SV::yesNo(true),
            SV::string(QStringLiteral("AB12345678")),
            SV::money(0),
            SV::yesNo(false),
            SV::whole(-1)};
}

QVector<SV> cashRow(int id, bool in, const QDate& d, qint64 amount, qint64 balance) {
    return {SV::whole(id),
            SV::yesNo(in),
            SV::date(days(d)),
            SV::money(amount * 10000),
            SV::string(QStringLiteral("零用金")),
            SV::string(QStringLiteral("920101001")),
            SV::money(balance * 10000)};
}

QVector<SV> bankRow(int id, const QString& account, const QString& bank, bool in, const QDate& d,
                    qint64 amount, qint64 balance) {
    return {SV::whole(id),
            SV::string(account),
            SV::string(bank),
            SV::yesNo(in),
            SV::date(days(d)),
            SV::money(amount * 10000),
            SV::string(QStringLiteral("兌現")),
            SV::string(QStringLiteral("AA0001")),
            SV::money(balance * 10000)};
}

// A minimal old folder that imports: the core tables with a row each.
MemorySource smallBooks() {
    MemorySource src = oldBooks();
    table(src, QStringLiteral("acc.mdb"), QStringLiteral("iof"))
        .rows.push_back(voucher(QStringLiteral("920712001"), QDate(2003, 7, 12), 0, 1000000));
    table(src, QStringLiteral("voro3.mdb"), QStringLiteral("員工"))
        .rows.push_back({SV::string(QStringLiteral("A001")),
                         SV::string(QStringLiteral("系統管理員")),
                         SV::string(QStringLiteral("admin")), SV::string(QStringLiteral("admin")),
                         SV::whole(4194303)});
    return src;
}

struct Run {
    QTemporaryDir dir;
    QString dest() const { return dir.filePath(QStringLiteral("新帳")); }
    ImportReport import(Source& src) {
        ImportOptions o;
        o.sourceDir = QStringLiteral("/舊帳");
        o.destDir = dest();
        return importLegacy(src, o);
    }
    std::shared_ptr<Database> open(const schema::File& f) {
        return Database::open(QDir(dest()).filePath(f.fileName), f.connect());
    }
    QVector<QVector<QVariant>> rows(const schema::File& f, const QString& t) {
        auto db = open(f);
        auto rs = db->openRecordset(QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(t),
                                    orvik::store::RecordsetType::Snapshot);
        QVector<QVector<QVariant>> out;
        while (!rs.isEOF()) {
            QVector<QVariant> row;
            for (int i = 0; i < rs.fieldCount(); ++i)
                row << rs.field(i);
            out << row;
            rs.MoveNext();
        }
        return out;
    }
};

bool hasProblem(const ImportReport& r, const QString& table, const QString& key,
                const QString& column, const QString& value) {
    for (const auto& p : r.problems) {
        if (p.table == table && p.key == key && p.column == column && p.value == value)
            return true;
    }
    return false;
}

// An old folder whose general-affairs file the reading library warned about.
class WarnedSource : public Source {
  public:
    explicit WarnedSource(MemorySource& inner) : inner_(inner) {}
    std::unique_ptr<SourceFile> openFile(const QString& name) override {
        auto file = inner_.openFile(name);
        if (name != QLatin1String("voro3.mdb"))
            return file;
        return std::make_unique<Warned>(std::move(file));
    }

  private:
    struct Warned : SourceFile {
        explicit Warned(std::unique_ptr<SourceFile> f) : inner(std::move(f)) {}
        QString format() const override { return inner->format(); }
        QStringList tableNames() const override { return inner->tableNames(); }
        std::unique_ptr<SourceTable> openTable(const QString& n) override {
            return inner->openTable(n);
        }
        ReaderWarnings readerWarnings() override {
            return {3, {QStringLiteral("「page 17 from map doesn't match」（3 則）")}};
        }
        std::unique_ptr<SourceFile> inner;
    };
    MemorySource& inner_;
};

}  // namespace

class TestLegacyImport : public QObject {
    Q_OBJECT

  private slots:
    void everyTableIsFilledByPositionAndType();
    void columnsByPositionOrByName();
    void valuesCrossExactly();
    void unconvertibleValuesAreReportedWithTheirPlace();
    void countMismatchMakesTheExitStatusNonZero();
    void yearlyFiguresOfVouchersCashAndBank();
    void nothingIsLeftHalfWritten();
    void readerWarningsAreReportedAndMakeTheStatusNonZero();
    void importsIntoTheBooksLocationOfEitherEngine();
    void conversions_data();
    void conversions();
};

void TestLegacyImport::everyTableIsFilledByPositionAndType() {
    MemorySource src = oldBooks();
    // Two rows in every table, each value made from its table, row and column.
    auto expected = [](const schema::Table& t, int n, int i) -> QVariant {
        switch (t.columns.at(i).type) {
            case schema::ColType::Text:
                return QStringLiteral("%1第%2列第%3欄").arg(t.name).arg(n).arg(i);
            case schema::ColType::Int16:
            case schema::ColType::Int32:
            case schema::ColType::Number:
                return qint64(n * 100 + i);
            case schema::ColType::Amount:
                return qint64(n * 1000000 + i);
            case schema::ColType::Double:
                return 0.25 * n;
            case schema::ColType::Boolean:
                return n % 2 ? -1 : 0;
            case schema::ColType::Date:
                return QDate(2003, 7, 12).addDays(n * 40 + i).toString(Qt::ISODate);
        }
        return {};
    };
    for (const auto* f : schema::files()) {
        for (const auto& t : f->tables) {
            auto& old = table(src, f->fileName, t.name);
            for (int n = 1; n <= 2; ++n) {
                QVector<SV> row;
                for (int i = 0; i < t.columns.size(); ++i) {
                    const QVariant v = expected(t, n, i);
                    switch (t.columns.at(i).type) {
                        case schema::ColType::Text:
                            row << SV::string(v.toString());
                            break;
                        case schema::ColType::Amount:
                            row << SV::money(v.toLongLong() * 10000);
                            break;
                        case schema::ColType::Double:
                            row << SV::number(v.toDouble());
                            break;
                        case schema::ColType::Boolean:
                            row << SV::yesNo(v.toInt() != 0);
                            break;
                        case schema::ColType::Date:
                            row << SV::date(days(QDate::fromString(v.toString(), Qt::ISODate)));
                            break;
                        default:
                            row << SV::whole(v.toLongLong());
                    }
                }
                old.rows << row;
            }
        }
    }
    Run run;
    const ImportReport r = run.import(src);
    QVERIFY2(r.clean(), qPrintable(r.text()));
    QCOMPARE(exitStatus(r), 0);
    QCOMPARE(r.tables.size(), 25);
    for (const auto* f : schema::files()) {
        auto db = run.open(*f);  // with the new files' own passwords
        QVERIFY(schema::compare(*db, *f).isEmpty());
        for (const auto& t : f->tables) {
            if (t.since > 1)
                continue;  // this system's own tables (the audit trail): none in old files
            const auto rows = run.rows(*f, t.name);
            QCOMPARE(rows.size(), 2);
            for (int n = 1; n <= 2; ++n) {
                for (int i = 0; i < t.columns.size(); ++i) {
                    const QVariant want = expected(t, n, i);
                    const QVariant got = rows.at(n - 1).at(i);
                    if (t.name == QStringLiteral("員工") && t.columns.at(i).name == "pass")
                        // Brought in as its hash, never as typed.
                        QVERIFY(orvik::audit::passwordMatches(got.toString(), want.toString()) &&
                                orvik::audit::isHashed(got.toString()));
                    else if (t.columns.at(i).type == schema::ColType::Double)
                        QCOMPARE(got.toDouble(), want.toDouble());
                    else
                        QCOMPARE(got.toString(), want.toString());
                }
            }
        }
    }
    QVERIFY_THROWS_EXCEPTION(orvik::store::EngineError,
                             Database::open(QDir(run.dest()).filePath(QStringLiteral("acc.mdb"))));
    // The new books are the office group's only, folder and files alike.
    const auto everyone = QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    QCOMPARE(QFileInfo(run.dest()).permissions() & everyone, QFileDevice::Permissions());
    QCOMPARE(
        QFileInfo(QDir(run.dest()).filePath(QStringLiteral("voro3.mdb"))).permissions() & everyone,
        QFileDevice::Permissions());
    QFile report(r.reportPath);
    QCOMPARE(QFileInfo(r.reportPath).dir().absolutePath(), run.dir.path());
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(report.readAll());
    QVERIFY(text.contains(QStringLiteral("acc.mdb iof：2 / 2\r\n")));
    QVERIFY(text.contains(QStringLiteral("結果：筆數與金額全部相符。")));
}

void TestLegacyImport::columnsByPositionOrByName() {
    MemorySource src = smallBooks();
    // The vouchers' columns under other names: they are taken by position.
    auto& iof = table(src, QStringLiteral("acc.mdb"), QStringLiteral("iof"));
    for (int i = 0; i < iof.columns.size(); ++i)
        iof.columns[i].name = QStringLiteral("Field%1").arg(i);
    // Employees in another order, with a column of their own and without AccS: by name.
    auto& staff = table(src, QStringLiteral("voro3.mdb"), QStringLiteral("員工"));
    staff.columns = {{QStringLiteral("pass"), SourceType::Text, 20},
                     {QStringLiteral("英文姓名"), SourceType::Text, 20},
                     {QStringLiteral("員工編號"), SourceType::Text, 10},
                     {QStringLiteral("分機"), SourceType::Text, 10},
                     {QStringLiteral("中文姓名"), SourceType::Text, 10}};
    staff.rows = {{SV::string(QString()), SV::string(QStringLiteral("chen")),
                   SV::string(QStringLiteral("B002")), SV::string(QStringLiteral("21")),
                   SV::string(QStringLiteral("陳美玲"))}};
    // Receivables from before the Let column.
    auto& ri = table(src, QStringLiteral("acc.mdb"), QStringLiteral("ri"));
    ri.columns.removeLast();
    ri.rows = {{SV::string(QStringLiteral("R1")), SV::string(QStringLiteral("台電"))}};
    // A table the old program kept for itself, and one the old file never had.
    src.file(QStringLiteral("acc.mdb"))
        .tables.push_back({QStringLiteral("暫存"),
                           {{QStringLiteral("x"), SourceType::Long, 4}},
                           {{SV::whole(1)}, {SV::whole(2)}, {SV::whole(3)}},
                           {},
                           0});
    auto& accTables = src.file(QStringLiteral("acc.mdb")).tables;
    accTables.removeIf(
        [](const MemorySource::Table& t) { return t.name == QStringLiteral("ro加"); });

    Run run;
    const ImportReport r = run.import(src);
    QVERIFY2(r.clean(), qPrintable(r.text()));
    const auto vouchers = run.rows(schema::acc(), QStringLiteral("iof"));
    QCOMPARE(vouchers.at(0).at(1).toString(), QStringLiteral("920712001"));
    QCOMPARE(vouchers.at(0).at(4).toLongLong(), 100);
    const auto staffRows = run.rows(schema::general(), QStringLiteral("員工"));
    QCOMPARE(staffRows.size(), 1);
    QCOMPARE(staffRows.at(0).at(0).toString(), QStringLiteral("B002"));
    QCOMPARE(staffRows.at(0).at(1).toString(), QStringLiteral("陳美玲"));
    QCOMPARE(staffRows.at(0).at(2).toString(), QStringLiteral("chen"));
    QCOMPARE(staffRows.at(0).at(3).toString(), QString());
    QCOMPARE(staffRows.at(0).at(4).toLongLong(), 1);  // AccS, as the program's check gives it
    QCOMPARE(run.rows(schema::acc(), QStringLiteral("ri")).at(0).at(2).toString(),
             QStringLiteral("0"));
    QCOMPARE(run.rows(schema::acc(), QStringLiteral("ro加")).size(), 0);
    const QString notes = r.notes.join(QLatin1Char('\n'));
    QVERIFY(notes.contains(QStringLiteral("iof 依欄位位置對應：Field0 → 輸入日期")));
    QVERIFY(notes.contains(QStringLiteral("舊欄位 分機（文字）未轉入")));
    QVERIFY(notes.contains(QStringLiteral("略過舊資料表 暫存（3 列）")));
    QVERIFY(notes.contains(QStringLiteral("舊檔沒有資料表 ro加")));
    QVERIFY(notes.contains(QStringLiteral("舊表沒有第 4 欄 AccS，填入 1")));
}

void TestLegacyImport::valuesCrossExactly() {
    MemorySource src = smallBooks();
    auto& iof = table(src, QStringLiteral("acc.mdb"), QStringLiteral("iof"));
    QVector<SV> v = voucher(QStringLiteral("870101001"), QDate(1898, 1, 1), -2, 98765432100000LL);
    v[0] = SV::date(-1.25);                             // 1899-12-29 06:00
    v[13] = SV::date(days(QDate(2003, 7, 12)) + 0.75);  // the evening of the day
    v[8] = SV::string(QString());                       // empty text
    v[9] = SV::null();                                  // null
    v[4] = SV::money(98765432100000LL);                 // 9,876,543,210 dollars
    v[6] = SV::whole(1);                                // a yes/no kept as a number
    v[19] = SV::yesNo(true);
    v[18] = SV::null();
    iof.rows = {v};
    Run run;
    const ImportReport r = run.import(src);
    QVERIFY2(r.clean(), qPrintable(r.text()));
    const auto row = run.rows(schema::acc(), QStringLiteral("iof")).at(0);
    QCOMPARE(row.at(0).toString(), QStringLiteral("1899-12-29"));
    QCOMPARE(row.at(13).toString(), QStringLiteral("2003-07-12"));
    QCOMPARE(row.at(2).toString(), QStringLiteral("工程款"));
    QVERIFY(!row.at(8).isNull());
    QCOMPARE(row.at(8).toString(), QString());
    QVERIFY(row.at(9).isNull());
    QCOMPARE(row.at(4).toLongLong(), 9876543210LL);
    QCOMPARE(row.at(3).toInt(), -2);
    QCOMPARE(row.at(6).toInt(), -1);
    QCOMPARE(row.at(16).toInt(), -1);
    QCOMPARE(row.at(19).toInt(), -1);
    QVERIFY(row.at(18).isNull());
    QCOMPARE(r.legacyFigures.value({0, QStringLiteral("1899"), QStringLiteral("-2")}).total,
             98765432100000LL);
}

void TestLegacyImport::unconvertibleValuesAreReportedWithTheirPlace() {
    MemorySource src = smallBooks();
    auto& iof = table(src, QStringLiteral("acc.mdb"), QStringLiteral("iof"));
    QVector<SV> v = voucher(QStringLiteral("920712002"), QDate(2003, 7, 12), 0, 125000);  // 12.5
    v[13] = SV::string(QStringLiteral("下週"));
    v[20] = SV::whole(40000);
    v[14] = SV::string(QStringLiteral("陳?玲"));  // as the reader gives a text it could not decode
    v[14].lossy = true;
    v[14].bytes = QByteArray("\xb3\xaf\xff\x3f\xaa\xe2");
    iof.rows << v;
    Run run;
    const ImportReport r = run.import(src);
    QCOMPARE(r.problems.size(), 4);
    const QString key = QStringLiteral("單號 920712002");
    QVERIFY(
        hasProblem(r, QStringLiteral("iof"), key, QStringLiteral("金額"), QStringLiteral("12.5")));
    QVERIFY(hasProblem(r, QStringLiteral("iof"), key, QStringLiteral("發生日期"),
                       QStringLiteral("\"下週\"")));
    QVERIFY(hasProblem(r, QStringLiteral("iof"), key, QStringLiteral("建議現金"),
                       QStringLiteral("40000")));
    QVERIFY(hasProblem(r, QStringLiteral("iof"), key, QStringLiteral("申請人"),
                       QStringLiteral("\"陳?玲\"")));
    QCOMPARE(r.problems.at(0).row, 2);
    QCOMPARE(r.problems.at(0).file, QStringLiteral("acc.mdb"));
    // The row is there, with the unconvertible values left empty, never rounded.
    const auto rows = run.rows(schema::acc(), QStringLiteral("iof"));
    QCOMPARE(rows.size(), 2);
    QVERIFY(rows.at(1).at(4).isNull());
    QVERIFY(rows.at(1).at(13).isNull());
    QCOMPARE(rows.at(1).at(2).toString(), QStringLiteral("工程款"));
    QCOMPARE(rows.at(1).at(14).toString(), QStringLiteral("陳?玲"));  // kept, and reported
    // The year's total no longer agrees, and the report says where to look.
    QVERIFY(!r.balanced());
    QCOMPARE(exitStatus(r), 1);
    const QString text = r.text();
    QVERIFY2(text.contains(QStringLiteral(
                 "acc.mdb 的 iof 第 2 列（單號 920712002） 欄位 金額 的值 12.5：有小數")),
             qPrintable(text));
    QVERIFY(
        text.contains(QStringLiteral("收支單 2003 年（民國 92 年） 方式 0：舊檔 2 張，金額 "
                                     "112.5；新資料夾 2 張，金額 100  ← 不一致")));
}

void TestLegacyImport::countMismatchMakesTheExitStatusNonZero() {
    MemorySource src = smallBooks();
    auto& iof = table(src, QStringLiteral("acc.mdb"), QStringLiteral("iof"));
    iof.rows << voucher(QStringLiteral("920712002"), QDate(2003, 7, 12), 0, 5000000)
             << voucher(QStringLiteral("920712001"), QDate(2003, 7, 12), 0, 7000000);
    Run run;
    const ImportReport r = run.import(src);
    QCOMPARE(exitStatus(r), 1);
    QCOMPARE(r.tables.at(0).read, 3);
    QCOMPARE(r.tables.at(0).written, 2);
    QVERIFY(r.mismatches.contains(QStringLiteral("acc.mdb 的 iof：讀入 3 列，寫入 2 列")));
    QVERIFY(r.mismatches.join(QLatin1Char('\n')).contains(QStringLiteral("3 張，金額 1,300")));
    QCOMPARE(r.problems.size(), 1);
    QCOMPARE(r.problems.at(0).key, QStringLiteral("單號 920712001"));
    QCOMPARE(r.problems.at(0).row, 3);
    QVERIFY(r.text().contains(QStringLiteral("acc.mdb iof：3 / 2  ← 不一致")));
}

void TestLegacyImport::yearlyFiguresOfVouchersCashAndBank() {
    MemorySource src = smallBooks();
    auto& iof = table(src, QStringLiteral("acc.mdb"), QStringLiteral("iof"));
    iof.rows = {voucher(QStringLiteral("920712001"), QDate(2003, 7, 12), 0, 1000000),
                voucher(QStringLiteral("920712002"), QDate(2003, 7, 12), 0, 2500000),
                voucher(QStringLiteral("920801001"), QDate(2003, 8, 1), -1, 700000),
                voucher(QStringLiteral("930105001"), QDate(2004, 1, 5), 1, 5000000)};
    // Ids out of order: the year's last balance is that of the highest id.
    table(src, QStringLiteral("acc.mdb"), QStringLiteral("cash")).rows = {
        cashRow(2, false, QDate(2003, 7, 12), 100, 400),
        cashRow(1, true, QDate(2003, 1, 2), 500, 500),
        cashRow(3, false, QDate(2004, 1, 5), 250, 150)};
    table(src, QStringLiteral("acc.mdb"), QStringLiteral("bank")).rows = {
        bankRow(1, QStringLiteral("123-456"), QStringLiteral("台灣銀行"), true, QDate(2003, 3, 1),
                10000, 10000),
        bankRow(2, QStringLiteral("123-456"), QStringLiteral("台灣銀行"), false, QDate(2003, 4, 1),
                2500, 7500),
        bankRow(1, QStringLiteral("789"), QStringLiteral("土地銀行"), true, QDate(2003, 5, 1), 800,
                800)};
    Run run;
    const ImportReport r = run.import(src);
    QVERIFY2(r.clean(), qPrintable(r.text()));
    QCOMPARE(r.legacyFigures, r.newFigures);
    const Figure paid = r.newFigures.value({0, QStringLiteral("2003"), QStringLiteral("0")});
    QCOMPARE(paid.count, 2);
    QCOMPARE(paid.total, 3500000);
    QCOMPARE(r.newFigures.value({0, QStringLiteral("2003"), QStringLiteral("-1")}).count, 1);
    QCOMPARE(r.newFigures.value({0, QStringLiteral("2004"), QStringLiteral("1")}).total, 5000000);
    const Figure cash2003 = r.newFigures.value({1, QStringLiteral("2003"), QString()});
    QCOMPARE(cash2003.count, 2);
    QCOMPARE(cash2003.total, 5000000);
    QCOMPARE(cash2003.totalOut, 1000000);
    QCOMPARE(cash2003.lastBalance, 4000000);
    QCOMPARE(r.newFigures.value({1, QStringLiteral("2004"), QString()}).lastBalance, 1500000);
    const Figure taiwan =
        r.newFigures.value({2, QStringLiteral("2003"), QStringLiteral("台灣銀行 123-456")});
    QCOMPARE(taiwan.count, 2);
    QCOMPARE(taiwan.lastBalance, 75000000);
    QCOMPARE(
        r.newFigures.value({2, QStringLiteral("2003"), QStringLiteral("土地銀行 789")}).lastBalance,
        8000000);
    const QString text = r.text();
    QVERIFY2(text.contains(QStringLiteral("收支單 2003 年（民國 92 年） 方式 0：2 張，金額 350")),
             qPrintable(text));
    QVERIFY(text.contains(
        QStringLiteral("現金帳 2003 年（民國 92 年）：2 筆，收入 500，支出 100，年底餘額 400")));
    QVERIFY(
        text.contains(QStringLiteral("銀行帳 2003 年（民國 92 年） 台灣銀行 123-456：2 筆，存入 "
                                     "10,000，提出 2,500，年底餘額 7,500")));
}

// import-mdb into a server goes through a folder of its own and migrate; the sqlite run of the
// tests takes the same path into a new folder.
void TestLegacyImport::importsIntoTheBooksLocationOfEitherEngine() {
    orvik::testing::TestLocation where;
    QVERIFY(where.isValid());
    const QString dest = orvik::testing::onServer()
                             ? where.location()
                             : QDir(where.root()).filePath(QStringLiteral("新帳"));
    MemorySource src = smallBooks();
    table(src, QStringLiteral("acc.mdb"), QStringLiteral("iof"))
        .rows.push_back(voucher(QStringLiteral("1050229002"), QDate(2016, 2, 29), 1, 2500000));
    ImportOptions o;
    o.sourceDir = QStringLiteral("/舊帳");
    o.destDir = dest;
    o.reportPath = QDir(where.root()).filePath(QStringLiteral("報告.txt"));
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    QCOMPARE(orvik::admin::importMdb(src, o, out, err), 0);
    QVERIFY2(outText.contains(QStringLiteral("結果：筆數與金額全部相符")), qPrintable(outText));
    if (orvik::testing::onServer())
        QVERIFY2(outText.contains(QStringLiteral("全部一致")), qPrintable(outText));
    const auto read = [&] {
        auto acc = Database::open(orvik::store::databasePath(dest, QStringLiteral("acc.mdb")),
                                  schema::acc().connect());
        QStringList rows;
        auto rs =
            acc->openRecordset(QStringLiteral("SELECT 單號, 金額, 輸入日期 FROM iof ORDER BY 單號"),
                               orvik::store::RecordsetType::Snapshot);
        for (; !rs.isEOF(); rs.MoveNext())
            rows << QStringLiteral("%1 %2 %3").arg(rs.text(0), rs.field(1).toString(), rs.text(2));
        return rows;
    };
    const QStringList imported = read();
    QCOMPARE(imported, (QStringList{QStringLiteral("1050229002 250 2016-02-29"),
                                    QStringLiteral("920712001 100 2003-07-12")}));

    // A second import into the same books is refused and leaves them as they are.
    QVERIFY_THROWS_EXCEPTION(orvik::admin::AdminError, orvik::admin::importMdb(src, o, out, err));
    QCOMPARE(read(), imported);
}

void TestLegacyImport::nothingIsLeftHalfWritten() {
    // A folder that already holds database files is refused and left alone.
    {
        MemorySource src = smallBooks();
        Run run;
        QVERIFY(QDir().mkpath(run.dest()));
        QFile existing(QDir(run.dest()).filePath(QStringLiteral("acc.mdb")));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("books of another office");
        existing.close();
        QVERIFY_THROWS_EXCEPTION(LegacyError, run.import(src));
        QVERIFY(existing.open(QIODevice::ReadOnly));
        QCOMPARE(existing.readAll(), QByteArray("books of another office"));
        QCOMPARE(QDir(run.dest()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
    // A missing general-affairs file, or an acc.mdb without vouchers: nothing is made.
    {
        MemorySource src = smallBooks();
        src.removeFile(QStringLiteral("voro3.mdb"));
        Run run;
        QVERIFY_THROWS_EXCEPTION(LegacyError, run.import(src));
        QVERIFY(!QFileInfo::exists(run.dest()));
        MemorySource other = smallBooks();
        other.file(QStringLiteral("acc.mdb")).tables.removeFirst();
        QVERIFY_THROWS_EXCEPTION(LegacyError, run.import(other));
        QVERIFY(!QFileInfo::exists(run.dest()));
    }
    // A file that fails half-way through: no database file, no temporary file, no new folder;
    // an empty folder that was there stays, empty.
    for (bool folderExists : {false, true}) {
        MemorySource src = smallBooks();
        auto& cash = table(src, QStringLiteral("acc.mdb"), QStringLiteral("cash"));
        cash.generatedRows = 10;
        cash.generate = [](qint64 i, QVector<SV>& row) {
            if (i == 5)
                throw LegacyError(QStringLiteral("資料表 cash 的資料列無法讀取"));
            row = cashRow(int(i) + 1, true, QDate(2003, 1, 2), 1, 1);
        };
        Run run;
        if (folderExists)
            QVERIFY(QDir().mkpath(run.dest()));
        QVERIFY_THROWS_EXCEPTION(LegacyError, run.import(src));
        QCOMPARE(QFileInfo::exists(run.dest()), folderExists);
        if (folderExists)
            QVERIFY(QDir(run.dest()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
    // Without pt.mdb (scratch rows only) the import goes on with an empty one.
    {
        MemorySource src = smallBooks();
        src.removeFile(QStringLiteral("pt.mdb"));
        Run run;
        const ImportReport r = run.import(src);
        QVERIFY(r.clean());
        QVERIFY(QFileInfo::exists(QDir(run.dest()).filePath(QStringLiteral("pt.mdb"))));
    }
}

void TestLegacyImport::readerWarningsAreReportedAndMakeTheStatusNonZero() {
    // Rows the library skipped with a warning are missing from both counts, so only the
    // warning itself can tell.
    MemorySource books = smallBooks();
    WarnedSource src(books);
    Run run;
    const ImportReport r = run.import(src);
    QVERIFY(r.balanced());
    QVERIFY(r.problems.isEmpty());
    QCOMPARE(r.readerWarnings, 3);
    QCOMPARE(exitStatus(r), 1);
    const QString text = r.text();
    QVERIFY2(text.contains(QStringLiteral("  voro3.mdb: 讀取時發出 3 則警告，舊檔可能有損壞")),
             qPrintable(text));
    QVERIFY(text.contains(
        QStringLiteral("  voro3.mdb: 警告「page 17 from map doesn't match」（3 則）")));
    QVERIFY(text.contains(QStringLiteral("，讀取舊檔時有 3 則警告；請逐項核對。")));
    QVERIFY(!text.contains(QStringLiteral("acc.mdb: 讀取時發出")));
}

void TestLegacyImport::conversions_data() {
    QTest::addColumn<SourceValue>("value");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("stored");  // invalid: not convertible
    using T = schema::ColType;
    QTest::newRow("money whole") << SV::money(-12340000) << int(T::Amount)
                                 << QVariant(qint64(-1234));
    QTest::newRow("money cents") << SV::money(12345) << int(T::Amount) << QVariant();
    QTest::newRow("money to share") << SV::money(2500) << int(T::Double) << QVariant(0.25);
    QTest::newRow("decimal text") << SV::decimal(QStringLiteral("12.0000")) << int(T::Number)
                                  << QVariant(qint64(12));
    QTest::newRow("real with fraction") << SV::number(3.5) << int(T::Int32) << QVariant();
    QTest::newRow("int16 range") << SV::whole(-32769) << int(T::Int16) << QVariant();
    QTest::newRow("date before 100") << SV::date(-700000) << int(T::Date) << QVariant();
    QTest::newRow("text date") << SV::string(QStringLiteral("2003/7/12")) << int(T::Date)
                               << QVariant(QStringLiteral("2003-07-12"));
    QTest::newRow("number to text")
        << SV::money(50000) << int(T::Text) << QVariant(QStringLiteral("5"));
    QTest::newRow("bytes") << SV::binary("\x01\x02") << int(T::Text) << QVariant();
    QTest::newRow("yes/no text") << SV::string(QStringLiteral("True")) << int(T::Boolean)
                                 << QVariant(-1);
}

void TestLegacyImport::conversions() {
    QFETCH(SourceValue, value);
    QFETCH(int, type);
    QFETCH(QVariant, stored);
    QString why;
    const QVariant got = convertValue(value, schema::ColType(type), &why);
    if (!stored.isValid()) {
        QVERIFY(got.isNull());
        QVERIFY(!why.isEmpty());
        return;
    }
    QVERIFY2(why.isEmpty(), qPrintable(why));
    QCOMPARE(got.toString(), stored.toString());
    QCOMPARE(groupedMoney(-12345678900000LL), QStringLiteral("-1,234,567,890"));
    QCOMPARE(groupedMoney(12345), QStringLiteral("1.2345"));
}

QTEST_GUILESS_MAIN(TestLegacyImport)
#include "tst_legacy_import.moc"
