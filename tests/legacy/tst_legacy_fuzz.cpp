#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <cstdio>
#include <functional>
#include <random>

#include "MdbShape.h"
#include "MdbSource.h"
#include "ReaderProcess.h"

using namespace orvik::legacy;
using namespace std::chrono_literals;

// Damaged copies of the two public sample files, made from a fixed seed: cut at many lengths and
// with bytes flipped, at random and where the reader starts (the header, the catalogue's
// definition and data pages, other tables' definitions). Each copy must be read to the end or
// refused with a LegacyError that names it. None can hang: every answer of the reader is bounded
// by its time limit, so a copy costs at most that limit per request. The figures are printed.
// The limit itself, and what happens to a reader that dies or floods its output, is tried with
// readers that misbehave on purpose.

namespace {

const QString kSamples = QStringLiteral(ORVIK_MDB_SAMPLES);
constexpr auto kLimit = 10s;

bool haveSamples() {
    return QFile::exists(QDir(kSamples).filePath(QStringLiteral("nwind.mdb")));
}

struct Variant {
    QString what;
    QByteArray bytes;
};

quint32 u32(const QByteArray& b, qsizetype at) {
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | quint8(b.at(at + i));
    return v;
}

class Variants {
  public:
    Variants(const QByteArray& sound, quint32 seed) : sound_(sound), rng_(seed) {
        pageSize_ = sound.at(0x14) == 0 ? 2048 : 4096;
        pages_ = int(sound.size() / pageSize_);
    }

    QVector<Variant> make(const QList<qsizetype>& extraCuts) {
        QVector<Variant> out;
        // Cut at page boundaries, at the first pages, through the middle and near the end.
        QList<qsizetype> cuts = extraCuts;
        for (int k : {1, 2, 3, 4, 5, 8, pages_ / 4, pages_ / 2, 3 * pages_ / 4, pages_ - 1})
            cuts << qsizetype(k) * pageSize_;
        for (int i = 0; i < 12; ++i)
            cuts << qsizetype(pick(1, pages_ - 1)) * pageSize_;
        // And anywhere else.
        for (qsizetype n :
             {0, 1, 0x14, 0x15, 100, pageSize_ - 1, pageSize_ + 1, 3 * pageSize_ + 17})
            cuts << n;
        for (int i = 0; i < 12; ++i)
            cuts << pick(1, int(sound_.size()) - 1);
        for (qsizetype n : cuts)
            out.push_back({QStringLiteral("cut to %1 bytes").arg(n), sound_.left(n)});

        QList<int> catalogue, definitions;
        for (int p = 1; p < pages_; ++p) {
            const qsizetype at = qsizetype(p) * pageSize_;
            if (sound_.at(at) == 1 && u32(sound_, at + 4) == 2)
                catalogue << p;
            else if (sound_.at(at) == 2)
                definitions << p;
        }
        flips(out, QStringLiteral("header"), {0}, 15, 1, 2);
        out.push_back(flipped(QStringLiteral("version byte"), {0x14}));
        flips(out, QStringLiteral("catalogue definition"), {2}, 15, 1, 3);
        flips(out, QStringLiteral("catalogue rows"), catalogue, 20, 1, 4);
        flips(out, QStringLiteral("table definitions"), definitions, 20, 1, 3);
        QList<int> all;
        for (int p = 0; p < pages_; ++p)
            all << p;
        flips(out, QStringLiteral("anywhere"), all, 35, 1, 16);
        return out;
    }

  private:
    int pick(int from, int to) { return std::uniform_int_distribution<int>(from, to)(rng_); }

    Variant flipped(const QString& where, const QList<qsizetype>& offsets) {
        QByteArray b = sound_;
        QStringList at;
        for (qsizetype o : offsets) {
            b[o] = char(quint8(b.at(o)) ^ quint8(pick(1, 255)));
            at << QString::number(o);
        }
        return {QStringLiteral("%1: bytes %2 changed").arg(where, at.join(QLatin1Char(','))), b};
    }

    void flips(QVector<Variant>& out, const QString& where, const QList<int>& pages, int count,
               int least, int most) {
        if (pages.isEmpty())
            return;
        for (int i = 0; i < count; ++i) {
            const int page = pages.at(pick(0, int(pages.size()) - 1));
            QList<qsizetype> offsets;
            for (int n = pick(least, most); n > 0; --n)
                offsets << qsizetype(page) * pageSize_ + pick(0, pageSize_ - 1);
            out.push_back(flipped(where, offsets));
        }
    }

    QByteArray sound_;
    std::mt19937 rng_;
    int pageSize_ = 2048;
    int pages_ = 0;
};

// Reads every table to the end; the rows read, or the refusal.
qint64 readWhole(const QString& path, std::chrono::milliseconds limit) {
    MdbSource source(QFileInfo(path).path(), QStringLiteral("CP1252"));
    source.setTimeLimit(limit);
    auto file = source.openPath(path);
    qint64 rows = 0;
    QVector<SourceValue> row;
    for (const QString& name : file->tableNames()) {
        if (auto table = file->openTable(name)) {
            while (table->next(row))
                ++rows;
        }
    }
    return rows;
}

QString kindOf(const QString& message) {
    for (const char* k : {"逾時", "異常結束", "意外結束", "過多警告", "不是整數頁", "定義損壞",
                          "對照表損壞", "長文字損壞", "無法讀取", "不是舊版", "版本號碼"}) {
        if (message.contains(QString::fromUtf8(k)))
            return QString::fromUtf8(k);
    }
    return QStringLiteral("其他");
}

// What this process writes to its standard error while `run` runs; the readers it starts
// inherit that too.
QByteArray stderrOf(const std::function<void()>& run) {
    QTemporaryFile file;
    if (!file.open())
        return "cannot capture";
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(file.handle(), STDERR_FILENO);
    auto restore = [&] {
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
    };
    try {
        run();
    } catch (...) {
        restore();
        throw;
    }
    restore();
    file.seek(0);
    return file.readAll();
}

QByteArray le32(quint32 v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(v >> (8 * i));
    return b;
}

// A Jet 3 file of empty pages behind a header, page 3 a data page holding `rows` (the first at
// the end of the page, as the engine stores them), page 2 and 4 definition pages chained to
// `next2` and `next4`.
QString smallFile(const QString& path, const QList<QByteArray>& rows, quint32 next2,
                  quint32 next4) {
    QByteArray b(6 * 2048, '\0');
    b[1] = 1;
    b.replace(4, 15, "Standard Jet DB");
    for (int page : {2, 4}) {
        b[page * 2048] = 2;
        b.replace(page * 2048 + 4, 4, le32(page == 2 ? next2 : next4));
    }
    const int at = 3 * 2048;
    b[at] = 1;
    b[at + 8] = char(rows.size());
    int end = 2048;
    for (int i = 0; i < rows.size(); ++i) {
        end -= int(rows.at(i).size());
        b[at + 10 + 2 * i] = char(end & 0xff);
        b[at + 11 + 2 * i] = char(end >> 8);
        b.replace(at + end, rows.at(i).size(), rows.at(i));
    }
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(b);
    return path;
}

}  // namespace

class TestLegacyFuzz : public QObject {
    Q_OBJECT

  private slots:
    void damagedCopiesEndCleanly_data();
    void damagedCopiesEndCleanly();
    void aReaderThatHangsDiesOrFloodsIsStopped_data();
    void aReaderThatHangsDiesOrFloodsIsStopped();
    void warningsAreCountedByKindNotPrinted();
    void libraryWarningsOfADamagedFileAreKept();
    void longValueChains_data();
    void longValueChains();
    void definitionChainsThatLoopOrLeaveTheFile();
};

void TestLegacyFuzz::damagedCopiesEndCleanly_data() {
    QTest::addColumn<QString>("sample");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<QList<qsizetype>>("cuts");
    // 1,529,252 bytes of nwind.mdb once made the import hang.
    QTest::newRow("Jet 3") << QStringLiteral("nwind.mdb") << 20240611u << QList<qsizetype>{1529252};
    QTest::newRow("Jet 4") << QStringLiteral("DateTestDatabase.mdb") << 7u << QList<qsizetype>{};
}

void TestLegacyFuzz::damagedCopiesEndCleanly() {
    QFETCH(QString, sample);
    if (!haveSamples())
        QSKIP("the legacy sample files are not beside the project");
    QFETCH(quint32, seed);
    QFETCH(QList<qsizetype>, cuts);
    QFile in(QDir(kSamples).filePath(sample));
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray sound = in.readAll();
    const qint64 soundRows = readWhole(in.fileName(), kLimit);
    QVERIFY(soundRows > 0);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("acc.mdb"));
    QMap<QString, int> outcomes;
    qint64 slowest = 0;
    QString slowestWhat;
    const QVector<Variant> variants = Variants(sound, seed).make(cuts);
    for (const Variant& v : variants) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(out.write(v.bytes), v.bytes.size());
        out.close();
        QElapsedTimer timer;
        timer.start();
        try {
            readWhole(path, kLimit);
            ++outcomes[QStringLiteral("read")];
        } catch (const LegacyError& e) {
            QVERIFY2(e.message().startsWith(path),
                     qPrintable(v.what + QLatin1String(": ") + e.message()));
            // A sanitizer's report would mean a fault in our own checks, not in the file.
            QVERIFY2(!e.message().contains(QLatin1String("Sanitizer")) &&
                         !e.message().contains(QLatin1String("runtime error")),
                     qPrintable(v.what + QLatin1String(": ") + e.message()));
            ++outcomes[kindOf(e.message())];
        }
        if (timer.elapsed() > slowest) {
            slowest = timer.elapsed();
            slowestWhat = v.what;
        }
    }
    QStringList summary;
    for (auto it = outcomes.cbegin(); it != outcomes.cend(); ++it)
        summary << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    qInfo("%s: %lld variants; %s; slowest %lld ms (%s)", qPrintable(sample),
          qint64(variants.size()), qPrintable(summary.join(QStringLiteral(", "))), slowest,
          qPrintable(slowestWhat));
}

void TestLegacyFuzz::aReaderThatHangsDiesOrFloodsIsStopped_data() {
    QTest::addColumn<int>("behaviour");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("expected");
    QTest::newRow("hangs") << 0 << 300 << QStringLiteral("讀取逾時（0.3 秒內沒有讀完一批資料）");
    QTest::newRow("is killed") << 1 << 30000 << QStringLiteral("讀取程式異常結束（訊號 9）");
    QTest::newRow("exits") << 2 << 30000 << QStringLiteral("讀取程式意外結束（結束碼 3）");
    QTest::newRow("floods") << 3 << 30000
                            << QStringLiteral("過多警告（超過 100000 則）") +
                                   QStringLiteral(
                                       "，檔案可能已損壞，已停止讀取；讀取程式的訊息："
                                       "「Warning: unsupported data type #」");
}

void TestLegacyFuzz::aReaderThatHangsDiesOrFloodsIsStopped() {
    QFETCH(int, behaviour);
    QFETCH(int, limit);
    QFETCH(QString, expected);
    const QString path = QStringLiteral("/舊帳/acc.mdb");
    ReaderProcess reader(
        path,
        [behaviour](const QByteArray& request) {
            if (request == "fine")
                return QByteArray("answer");
            switch (behaviour) {
                case 0:
                    for (;;)
                        ::pause();
                case 1:
                    ::raise(SIGKILL);
                    break;
                case 2:
                    ::_exit(3);
                default:
                    for (;;)
                        std::fputs("Warning: unsupported data type #\n", stderr);
            }
            return QByteArray();
        },
        std::chrono::milliseconds(limit));
    QCOMPARE(reader.ask("fine"), QByteArray("answer"));
    for (int again = 0; again < 2; ++again) {
        try {
            reader.ask("misbehave");
            QFAIL("the reader's failure was not noticed");
        } catch (const LegacyError& e) {
            // Asked again, the reader that has failed says so at once.
            QVERIFY2(e.message().startsWith(path + QStringLiteral(": ")), qPrintable(e.message()));
            QVERIFY2(e.message().contains(expected), qPrintable(e.message()));
        }
    }
}

void TestLegacyFuzz::warningsAreCountedByKindNotPrinted() {
    WarningLog summary;
    const QByteArray printed = stderrOf([&] {
        ReaderProcess reader(
            QStringLiteral("voro3.mdb"),
            [](const QByteArray&) {
                for (int page = 17; page < 117; ++page)
                    std::fprintf(stderr, "warning: page %d from map doesn't match\n", page);
                std::fputs("Unhandled memo field flags = 03\n", stderr);
                std::printf("Allocating new page\n");
                std::fflush(stdout);
                std::fputs(QByteArray(100000, 'x').append("\n\n").constData(), stderr);
                return QByteArray("answer");
            },
            10s);
        QCOMPARE(reader.ask("read"), QByteArray("answer"));
        QCOMPARE(reader.warnings().total(), 103);
        reader.ask("read");
        summary = reader.warnings();
    });
    QCOMPARE(printed, QByteArray());
    QCOMPARE(summary.total(), 206);
    QCOMPARE(summary.summary(3),
             QStringList({QStringLiteral("「warning: page 17 from map doesn't match」（200 則）"),
                          QStringLiteral("「Unhandled memo field flags = 03」（2 則）"),
                          QStringLiteral("「Allocating new page」（2 則）"),
                          QStringLiteral("其他 2 則")}));
    // An overlong line is kept short.
    QCOMPARE(summary.summary(4).at(3),
             QStringLiteral("「%1」（2 則）").arg(QString(300, QLatin1Char('x'))));
}

void TestLegacyFuzz::libraryWarningsOfADamagedFileAreKept() {
    // One data page of Orders no longer says it is a data page: the library skips it with a
    // warning. Its rows are lost, so the warning must reach the report.
    if (!haveSamples())
        QSKIP("the legacy sample files are not beside the project");
    QFile in(QDir(kSamples).filePath(QStringLiteral("nwind.mdb")));
    QVERIFY(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    constexpr int kOrdersDefinition = 449, kFirstOrdersPage = 399;
    QCOMPARE(u32(bytes, kFirstOrdersPage * 2048 + 4), quint32(kOrdersDefinition));
    bytes[kFirstOrdersPage * 2048] = 4;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("acc.mdb"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();

    ReaderWarnings warnings;
    qint64 orders = 0;
    const QByteArray printed = stderrOf([&] {
        MdbSource source(dir.path(), QStringLiteral("CP1252"));
        auto file = source.openPath(path);
        auto table = file->openTable(QStringLiteral("Orders"));
        QVector<SourceValue> row;
        while (table->next(row))
            ++orders;
        warnings = file->readerWarnings();
    });
    QCOMPARE(printed, QByteArray());
    QVERIFY(orders < 830);
    QCOMPARE(warnings.count, 1);
    QCOMPARE(warnings.kinds.size(), 1);
    QVERIFY2(warnings.kinds.at(0).contains(QStringLiteral("page 399 from map doesn't match")),
             qPrintable(warnings.kinds.at(0)));
}

void TestLegacyFuzz::longValueChains_data() {
    // The field's header: length and kind, then the page and row the value starts at.
    auto field = [](quint32 head, int page, int row) {
        return le32(head) + le32(quint32(page) << 8 | quint32(row)) + QByteArray(4, '\0');
    };
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("why");
    QTest::newRow("in the row") << field(0x80000003, 0, 0) + "hey" << QByteArray("hey")
                                << QString();
    QTest::newRow("one row elsewhere")
        << field(0x40000007, 3, 1) << QByteArray("\0\0\0\0def", 7) << QString();
    QTest::newRow("a chain") << field(6, 3, 0) << QByteArray("abcdef") << QString();
    QTest::newRow("a chain in a circle")
        << field(100, 3, 2) << QByteArray() << QStringLiteral("頁面鏈結成環");
    QTest::newRow("a chain leaving the file")
        << field(100, 3, 4) << QByteArray() << QStringLiteral("指到第 9 頁，檔案只到第 5 頁");
    QTest::newRow("a row that is not there")
        << field(0x40000007, 3, 7) << QByteArray() << QStringLiteral("第 3 頁沒有第 7 列");
}

void TestLegacyFuzz::longValueChains() {
    QFETCH(QByteArray, field);
    QFETCH(QByteArray, value);
    QFETCH(QString, why);
    QTemporaryDir dir;
    const QList<QByteArray> rows{le32(3 << 8 | 1) + "abc", le32(0) + "def", le32(3 << 8 | 3) + "x",
                                 le32(3 << 8 | 2) + "y", le32(9 << 8) + "z"};
    PageFile file(smallFile(dir.filePath(QStringLiteral("a.mdb")), rows, 0, 0));
    QString reason;
    QCOMPARE(readLongValue(file, reinterpret_cast<const unsigned char*>(field.constData()),
                           int(field.size()), &reason),
             value);
    QCOMPARE(reason, why);
}

void TestLegacyFuzz::definitionChainsThatLoopOrLeaveTheFile() {
    QTemporaryDir dir;
    const QList<std::pair<quint32, QString>> cases{
        {2, QStringLiteral("資料表 t 的定義損壞（第 2 頁重複出現，頁面鏈結成環）")},
        {50, QStringLiteral("資料表 t 的定義損壞（指到第 50 頁，檔案只到第 5 頁）")}};
    for (const auto& [next, expected] : cases) {
        const QString path = smallFile(dir.filePath(QStringLiteral("t.mdb")), {}, 4, next);
        PageFile file(path);
        try {
            checkTableDefinition(file, 2, QStringLiteral("t"));
            QFAIL("the chain was followed without end");
        } catch (const LegacyError& e) {
            QCOMPARE(e.message(), path + QStringLiteral(": ") + expected);
        }
    }
}

QTEST_GUILESS_MAIN(TestLegacyFuzz)
#include "tst_legacy_fuzz.moc"
