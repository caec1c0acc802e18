// Time to print one voucher to PDF, the way the voucher form prints it.
//   ninja -C BUILD bench_report && QT_QPA_PLATFORM=offscreen BUILD/bin/bench_report [RUNS]
#include <sqlite3.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <functional>
#include <vector>

#include "ReportControl.h"
#include "ReportData.h"
#include "SampleVoucher.h"
#include "Schema.h"

using namespace orvik;

namespace {

struct Figures {
    double median = 0;
    double min = 0;
    double max = 0;
};

Figures measure(int runs, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front(), ms.back()};
}

// The same reads with nothing but SQLite: open read-only, the heading, the voucher row, close.
void bareRead(const QByteArray& path) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    for (const char* sql : {"SELECT ion FROM company LIMIT 1", "SELECT * FROM ptios LIMIT 1"}) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(st); ++c)
                sqlite3_column_text(st, c);
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTextStream out(stdout);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 20;
    const QDir layouts(app.applicationDirPath());

    QTemporaryDir tmp;
    const QString pt = tmp.filePath(QStringLiteral("pt.mdb"));
    auto db = store::Database::create(pt);
    store::schema::createAll(*db, store::schema::print());
    bench::writeSample(*db, QStringLiteral("宏達營造工程股份有限公司"));

    auto runReport = [&](const QString& rpt) {
        report::ReportControl crtp;
        crtp.setDestination(report::Destination::Pdf, tmp.filePath(rpt + QStringLiteral(".pdf")));
        crtp.setDataFiles(0, pt);
        crtp.setReportFileName(layouts.filePath(rpt + QStringLiteral(".rpt")));
        crtp.setAction(1);
    };

    try {
        out << "Printing one voucher to PDF (" << runs << " runs each; milliseconds)\n";
        QElapsedTimer cold;
        cold.start();
        runReport(QStringLiteral("ios"));
        out << QStringLiteral("  first print in the process (fonts load)   %1\n")
                   .arg(double(cold.nsecsElapsed()) / 1e6, 8, 'f', 1);

        auto line = [&](const QString& what, const Figures& f) {
            out << QStringLiteral("  %1 median %2  min %3  max %4\n")
                       .arg(what, -40)
                       .arg(f.median, 8, 'f', 2)
                       .arg(f.min, 8, 'f', 2)
                       .arg(f.max, 8, 'f', 2);
        };
        line(QStringLiteral("ios.rpt, action 1 (open, read, PDF)"),
             measure(runs, [&] { runReport(QStringLiteral("ios")); }));
        line(QStringLiteral("jios.rpt, action 1 (open, read, PDF)"),
             measure(runs, [&] { runReport(QStringLiteral("jios")); }));

        report::ReportControl crtp;
        crtp.setDestination(report::Destination::Pdf, tmp.filePath(QStringLiteral("within.pdf")));
        crtp.setReportFileName(layouts.filePath(QStringLiteral("ios.rpt")));
        line(QStringLiteral("ios.rpt, rebuild row + print in one tx"), measure(runs, [&] {
                 crtp.runWithin(*db, [&] {
                     db->execute(QStringLiteral("UPDATE ptios SET 單號 = ?"),
                                 {QStringLiteral("1130315003")});
                 });
             }));

        const auto layout = report::Layout::load(layouts.filePath(QStringLiteral("ios.rpt")));
        const auto values = report::readValues(*db);
        line(QStringLiteral("ios.rpt, layout to PDF only"), measure(runs, [&] {
                 report::renderToPdf(layout, values, tmp.filePath(QStringLiteral("only.pdf")));
             }));
        line(QStringLiteral("bare SQLite: open, two selects, close"),
             measure(runs, [&] { bareRead(QFile::encodeName(pt)); }));
        out << QStringLiteral("  PDF size of ios.rpt: %1 KB\n")
                   .arg(QFileInfo(tmp.filePath(QStringLiteral("ios.pdf"))).size() / 1024);
        out << "Target: under 300 ms for one voucher.\n";
    } catch (const report::ReportError& e) {
        out << "failed: " << e.message() << '\n';
        return 1;
    }
    return 0;
}
