#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "Layout.h"
#include "ReportError.h"

class QPrintPreviewDialog;

namespace orvik::store {
class Database;
}

namespace orvik::report {

enum class Destination {
    Preview,  // print preview; the user picks the printer there
    Pdf,      // a PDF file, without asking
};

// Environment variable naming a folder: when set, reports go to PDF files there instead of the
// preview (unattended runs, tests). An explicit setDestination wins over it.
inline constexpr char kPdfFolderVariable[] = "ORVIK_REPORT_PDF_DIR";

// The report control of the voucher form (`crtp`): data file 0, report file name, action 1.
// A run reads `company` and `ptios` from the data file, fills the layout and sends it to the
// destination. Failures throw ReportError; the caller shows the message. Printing the voucher
// on display while other copies of the program share pt.mdb:
//
//     crtp.setReportFileName(programFolder + "/ios.rpt");
//     crtp.runWithin(*dbPrint, [&] { /* write company.ion; rebuild the ptios row */ });
class ReportControl : public QObject {
    Q_OBJECT

  public:
    explicit ReportControl(QObject* parent = nullptr);

    // Index 0 is the database the report reads (the print database, pt.mdb); no layout
    // uses another index, but the paths are kept as given.
    void setDataFiles(int index, const QString& path);
    QString dataFiles(int index) const;

    void setReportFileName(const QString& path);
    const QString& reportFileName() const { return reportFileName_; }

    // For Pdf, `pdfPath` is the file to write; empty means a file in the folder named by
    // kPdfFolderVariable, called after the layout and the voucher number (ios-1130315002.pdf).
    void setDestination(Destination destination, const QString& pdfPath = {});
    Destination destination() const;

    // Action 1 runs the report: opens data file 0 read-only, reads the heading and the
    // voucher row, closes the file, and prints. Other actions do nothing.
    void setAction(int action);

    // Runs the report on a database the caller has open: begins a transaction on `db`, calls
    // `fill` (which rebuilds the rows to print), reads them back through the same
    // connection and commits; then prints what was read. So the page shows what `fill`
    // wrote even when other copies of the program write their own rows into the same file.
    // The layout is read first: a missing layout throws before anything is written. When
    // `fill` or the reading throws, the transaction is rolled back and the error passes on.
    void runWithin(store::Database& db, const std::function<void()>& fill);

    // runWithin in its two steps, for a caller that tells a failure to write the rows apart
    // from the printing (which may wait for the user in the preview).
    struct Prepared {
        Layout layout;
        Values values;
    };
    Prepared prepareWithin(store::Database& db, const std::function<void()>& fill);
    void print(const Prepared& prepared);

    // A statement: the layout of setReportFileName filled with `values` and the repeated rows
    // of `rows`, to the same destination as a voucher. The company heading `ion` is read from
    // `printDb` (pt.mdb) when `values` has none and `printDb` is given.
    void runStatement(store::Database* printDb, Values values, const RowSets& rows,
                      const QString& title);

    // The PDF file the last run wrote; empty when it went to the preview.
    const QString& lastOutputPath() const { return lastOutputPath_; }

    // Shows the preview dialog (modal by default). Tests install their own to inspect the
    // dialog while it is up; an empty function restores the default.
    using PreviewRunner = std::function<void(QPrintPreviewDialog&)>;
    static void setPreviewRunner(PreviewRunner runner);

  private:
    void print(const Layout& layout, const Values& values, const RowSets& rows = {},
               const QString& title = {});
    QString pdfPathFor(const Layout& layout, const Values& values) const;

    QStringList dataFiles_;
    QString reportFileName_;
    bool destinationSet_ = false;
    Destination destination_ = Destination::Preview;
    QString pdfPath_;
    QString lastOutputPath_;
};

}  // namespace orvik::report
