#pragma once

#include <QHash>
#include <QMarginsF>
#include <QPageLayout>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>

class QPagedPaintDevice;
class QTextDocument;

namespace orvik::report {

// Values by placeholder name: `ion` from `company` and one entry per `ptios` column.
using Values = QHash<QString, QString>;
// Repeated rows by section name: a statement's lines.
using RowSets = QHash<QString, QVector<Values>>;

// A report layout: an HTML text (the rich-text subset Qt lays out) with {{name}} placeholders.
// Comments are left out before anything else. The page is set in the head:
//   <meta name="page" content="A4 portrait">      A4, A5, A6, B5, Letter; portrait|landscape
//   <meta name="margins" content="15">            millimetres: all, or top right bottom left
//   <meta name="footer" content="第 {{page}} 頁，共 {{pages}} 頁">   a line at the foot of every
//                                                 page ({{page}}, {{pages}} and the values)
// A section {{#name}} ... {{/name}} is written once per row of the row set `name`, its
// placeholders taken from the row first and then from the values; for the lines of a
// statement put the markers around a table row: {{#lines}}<tr><td>{{科目}}</td></tr>{{/lines}}.
// A section without rows is left out.
class Layout {
  public:
    // Reads a layout file (UTF-8; Big5 as written by older editors is accepted too).
    // Throws ReportError with a message naming the file when it is missing or unreadable.
    static Layout load(const QString& path);
    static Layout fromText(const QString& text, const QString& name = {});

    const QString& text() const { return text_; }
    const QString& name() const { return name_; }  // the file, for messages
    const QString& folder() const { return folder_; }

    // Page size, orientation and margins from the head; A4 portrait, 15 mm when not given.
    QPageLayout pageLayout() const;

    // The HTML with every placeholder replaced by its value, HTML-escaped; unknown names
    // give empty text. Values are put in once: a value holding "{{x}}" stays as typed.
    QString fill(const Values& values) const;
    QString fill(const Values& values, const RowSets& rows) const;

    // The footer line of the head, its placeholders not yet filled; empty without one.
    QString footer() const;

    // Placeholder names in the layout that `known` does not hold, each once, in order.
    QStringList unknownPlaceholders(const QStringList& known) const;

  private:
    QString text_;
    QString name_;
    QString folder_;
};

// Names the report data offers: `ion` and the `ptios` columns.
QStringList knownNames();

// Placeholder names in a layout text that no data supplies; for a layout editor.
QStringList check(const QString& layoutText);

// HTML with the values put in (see Layout::fill).
QString fill(const QString& layoutText, const Values& values);

// The filled layout as a document paginated for its page at 96 dpi (for inspection and tests).
std::unique_ptr<QTextDocument> render(const QString& layoutText, const Values& values);

// Lays the filled layout out for `device` and paints every page. The device's page layout
// must already be set (see Layout::pageLayout). Throws ReportError when it cannot be painted.
void paint(const Layout& layout, const Values& values, QPagedPaintDevice& device);
void paint(const Layout& layout, const Values& values, const RowSets& rows,
           QPagedPaintDevice& device);

// Writes the filled layout to a PDF file; the file is replaced only when all went well.
void renderToPdf(const Layout& layout, const Values& values, const QString& pdfPath,
                 const QString& title = {});
void renderToPdf(const QString& layoutText, const Values& values, const QString& pdfPath);
void renderToPdf(const Layout& layout, const Values& values, const RowSets& rows,
                 const QString& pdfPath, const QString& title);

}  // namespace orvik::report
