#include "ReportControl.h"

#include <QDir>
#include <QFileInfo>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QWidget>

#include "Database.h"
#include "PdfText.h"
#include "ReportData.h"

#include <QGuiApplication>
#include <QPrintPreviewWidget>
#include <QScreen>

namespace orvik::report {

namespace {

ReportControl::PreviewRunner& previewRunner() {
    static ReportControl::PreviewRunner runner;
    return runner;
}

QString pdfFolderFromEnvironment() {
    return qEnvironmentVariable(kPdfFolderVariable).trimmed();
}

// The voucher number goes into a file name: keep letters, digits, '-' and '_' only, so no
// value can lead the file elsewhere.
QString fileNamePart(const QString& text) {
    QString part;
    for (const QChar c : text) {
        if (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_'))
            part += c;
    }
    return part.left(64);
}

// The preview below the bar (which stays on top at the top edge of the screen) and as large as
// the rest of the screen, the page as wide as the window: readable at once.
void placePreview(QPrintPreviewDialog& dialog) {
    constexpr int kBelowBar = 96;  // the unfolded bar reaches 84 pixels down
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect free = screen->availableGeometry();
        QRect place = free.adjusted(0, kBelowBar, 0, 0);
        place.setWidth(std::min(place.width(), 1100));
        place.moveLeft(free.left() + std::max(0, (free.width() - place.width()) / 2));
        dialog.setGeometry(place);
    }
    if (auto* widget = dialog.findChild<QPrintPreviewWidget*>())
        widget->fitToWidth();
}

}  // namespace

ReportControl::ReportControl(QObject* parent) : QObject(parent) {}

void ReportControl::setDataFiles(int index, const QString& path) {
    if (index < 0 || index > 63)
        throw ReportError(QStringLiteral("資料檔的索引 %1 無效。").arg(index));
    while (dataFiles_.size() <= index)
        dataFiles_ << QString();
    dataFiles_[index] = path;
}

QString ReportControl::dataFiles(int index) const {
    return dataFiles_.value(index);
}

void ReportControl::setReportFileName(const QString& path) {
    reportFileName_ = path;
}

void ReportControl::setDestination(Destination destination, const QString& pdfPath) {
    destinationSet_ = true;
    destination_ = destination;
    pdfPath_ = pdfPath;
}

Destination ReportControl::destination() const {
    if (destinationSet_)
        return destination_;
    return pdfFolderFromEnvironment().isEmpty() ? Destination::Preview : Destination::Pdf;
}

void ReportControl::setPreviewRunner(PreviewRunner runner) {
    previewRunner() = std::move(runner);
}

void ReportControl::setAction(int action) {
    if (action != 1)
        return;
    const Layout layout = Layout::load(reportFileName_);
    const QString path = dataFiles(0);
    if (path.trimmed().isEmpty())
        throw ReportError(QStringLiteral("未指定報表的資料檔。"));
    Values values;
    try {
        // Closed again before printing, so a preview left open holds no file.
        auto db = store::Database::open(path);
        db->execute(QStringLiteral("PRAGMA query_only = ON"));
        values = readValues(*db);
    } catch (const store::EngineError& e) {
        throw ReportError(QStringLiteral("無法讀取報表的資料檔「%1」。\n%2 %3")
                              .arg(QDir::toNativeSeparators(path))
                              .arg(e.number())
                              .arg(e.description()),
                          e.number());
    }
    print(layout, values);
}

void ReportControl::runWithin(store::Database& db, const std::function<void()>& fill) {
    print(prepareWithin(db, fill));
}

ReportControl::Prepared ReportControl::prepareWithin(store::Database& db,
                                                     const std::function<void()>& fill) {
    Prepared prepared{Layout::load(reportFileName_), {}};
    store::Transaction tx(db);
    if (fill)
        fill();
    prepared.values = readValues(db);
    // Committed before printing: the values are in hand, and a preview left open must not
    // keep other copies of the program from writing their own rows.
    tx.commit();
    return prepared;
}

void ReportControl::print(const Prepared& prepared) {
    print(prepared.layout, prepared.values);
}

QString ReportControl::pdfPathFor(const Layout& layout, const Values& values) const {
    if (destinationSet_ && !pdfPath_.isEmpty())
        return pdfPath_;
    const QString folder = pdfFolderFromEnvironment();
    if (folder.isEmpty())
        throw ReportError(QStringLiteral("未設定 PDF 檔的位置：請指定檔名，或以環境變數 %1 "
                                         "指定資料夾。")
                              .arg(QLatin1String(kPdfFolderVariable)));
    if (!QDir().mkpath(folder))
        throw ReportError(
            QStringLiteral("無法建立 PDF 資料夾「%1」。").arg(QDir::toNativeSeparators(folder)));
    QString base = QFileInfo(layout.name()).completeBaseName();
    if (base.isEmpty())
        base = QStringLiteral("report");
    const QString number = fileNamePart(values.value(QStringLiteral("單號")));
    if (!number.isEmpty())
        base += QLatin1Char('-') + number;
    return QDir(folder).filePath(base + QStringLiteral(".pdf"));
}

void ReportControl::runStatement(store::Database* printDb, Values values, const RowSets& rows,
                                 const QString& title) {
    const Layout layout = Layout::load(reportFileName_);
    if (printDb && !values.contains(QStringLiteral("ion"))) {
        try {
            values.insert(
                QStringLiteral("ion"),
                printDb->scalar(QStringLiteral("SELECT ion FROM company LIMIT 1")).toString());
        } catch (const store::EngineError& e) {
            throw ReportError(
                QStringLiteral("無法讀取公司抬頭。\n%1 %2").arg(e.number()).arg(e.description()),
                e.number());
        }
    }
    print(layout, values, rows, title);
}

void ReportControl::print(const Layout& layout, const Values& values, const RowSets& rows,
                          const QString& givenTitle) {
    const QString title =
        givenTitle.isEmpty()
            ? QStringLiteral("收支單 %1").arg(values.value(QStringLiteral("單號"))).trimmed()
            : givenTitle;
    lastOutputPath_.clear();
    if (destination() == Destination::Pdf) {
        const QString pdf = pdfPathFor(layout, values);
        renderToPdf(layout, values, rows, pdf, title);
        lastOutputPath_ = pdf;
        return;
    }

    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(layout.pageLayout());
    printer.setDocName(title);
    auto* owner = qobject_cast<QWidget*>(parent());
    QPrintPreviewDialog dialog(&printer, owner ? owner->window() : nullptr);
    dialog.setWindowTitle(QStringLiteral("預覽列印 - %1").arg(QFileInfo(layout.name()).fileName()));
    // Errors cannot leave through Qt's signal; they are kept and thrown once the dialog closes.
    QString failure;
    connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter* target) {
        try {
            paint(layout, values, rows, *target);
        } catch (const ReportError& e) {
            failure = e.message();
        }
    });
    placePreview(dialog);
    if (previewRunner())
        previewRunner()(dialog);
    else
        dialog.exec();
    if (!failure.isEmpty())
        throw ReportError(failure);
    // Printed from the preview into a PDF file: its text as printed too.
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        fixPdfText(printer.outputFileName());
}

}  // namespace orvik::report
