// Renders both voucher layouts for a sample voucher to PDF, for looking at them:
//   report_sample OUTDIR [LAYOUTDIR]
// LAYOUTDIR defaults to the folder of this program, where the build puts the layouts.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTextStream>

#include "ReportControl.h"
#include "SampleVoucher.h"
#include "Schema.h"

using namespace orvik;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        err << "usage: report_sample OUTDIR [LAYOUTDIR]\n";
        return 2;
    }
    const QDir outDir(args.at(1));
    const QDir layoutDir(args.size() > 2 ? args.at(2) : app.applicationDirPath());
    QDir().mkpath(outDir.absolutePath());

    QTemporaryDir tmp;
    const QString pt = tmp.filePath(QStringLiteral("pt.mdb"));
    try {
        {
            auto db = store::Database::create(pt);
            store::schema::createAll(*db, store::schema::print());
            bench::writeSample(*db, QStringLiteral("宏達營造工程股份有限公司"));
        }
        for (const char* rpt : {"ios", "jios"}) {
            report::ReportControl crtp;
            crtp.setDestination(report::Destination::Pdf,
                                outDir.filePath(QString::fromLatin1(rpt) + ".pdf"));
            crtp.setDataFiles(0, pt);
            crtp.setReportFileName(layoutDir.filePath(QString::fromLatin1(rpt) + ".rpt"));
            crtp.setAction(1);
            out << crtp.lastOutputPath() << '\n';
        }
    } catch (const report::ReportError& e) {
        err << e.message() << '\n';
        return 1;
    } catch (const store::EngineError& e) {
        err << e.number() << ' ' << e.description() << '\n';
        return 1;
    }
    return 0;
}
