#include "Export.h"

#include <xlsxwriter.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

#include "Database.h"
#include "EraDate.h"
#include "RowsModel.h"

namespace orvik::statements {

namespace {

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// Spreadsheet columns are measured in characters of the default font; a Chinese character
// takes about two.
double displayWidth(const QString& text) {
    double w = 0;
    for (const QChar c : text)
        w += c.unicode() >= 0x2E80 ? 2.0 : 1.0;
    return w;
}

struct Layout {
    // Per table column: its first spreadsheet column; a Date column takes two.
    QVector<int> first;
    int count = 0;
};

Layout spreadsheetColumns(const ExportTable& t) {
    Layout l;
    for (const auto& c : t.columns) {
        l.first << l.count;
        l.count += c.kind == CellKind::Date ? 2 : 1;
    }
    return l;
}

qint64 wholeNumber(const QVariant& v) {
    if (v.typeId() == QMetaType::Double)
        return std::llround(v.toDouble());
    return v.toLongLong();
}

// The column widths from the heading and the first rows: enough to read, never absurd.
QVector<double> widths(const ExportTable& t) {
    QVector<double> w;
    const int sample = std::min(t.rowCount, 500);
    for (int c = 0; c < t.columns.size(); ++c) {
        const auto& col = t.columns.at(c);
        double best = displayWidth(col.heading);
        for (int r = 0; r < sample; ++r) {
            const QVariant v = t.cell(r, c);
            if (col.kind == CellKind::Text)
                best = std::max(best, displayWidth(v.toString()));
            else if (col.kind == CellKind::Amount)
                best = std::max(best, displayWidth(app::FormatAmount(wholeNumber(v))));
        }
        if (col.kind == CellKind::Date)
            best = std::max(best, 10.0);
        w << std::clamp(best + 2, 6.0, 60.0);
        if (col.kind == CellKind::Date)
            w << std::clamp(displayWidth(rocHeading(col.heading)) + 2, 10.0, 30.0);
    }
    return w;
}

void replaceFile(const QString& written, const QString& path) {
    QFile::remove(path);
    if (!QFile::rename(written, path)) {
        QFile::remove(written);
        throw ExportError(QStringLiteral("無法寫入檔案「%1」。").arg(shown(path)));
    }
}

}  // namespace

QString rocHeading(const QString& dateHeading) {
    return dateHeading + QStringLiteral("（民國）");
}

void writeXlsx(const ExportTable& t, const QString& path) {
    const QString part = path + QStringLiteral(".part");
    const QByteArray partName = QFile::encodeName(part);
    lxw_workbook_options options{};
    // Rows are written in order: each row goes to the file at once, so 100,000 rows take
    // little memory.
    options.constant_memory = LXW_TRUE;
    lxw_workbook* book = workbook_new_opt(partName.constData(), &options);
    if (!book)
        throw ExportError(QStringLiteral("無法建立檔案「%1」。").arg(shown(path)));
    QString sheet = t.sheetName.left(31);
    for (const QChar bad : {u'[', u']', u':', u'*', u'?', u'/', u'\\'})
        sheet.replace(bad, u'_');
    const QByteArray sheetName = (sheet.isEmpty() ? QStringLiteral("工作表1") : sheet).toUtf8();
    lxw_worksheet* ws = workbook_add_worksheet(book, sheetName.constData());
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);
    lxw_format* heading = workbook_add_format(book);
    format_set_bold(heading);
    format_set_bottom(heading, LXW_BORDER_THIN);
    format_set_bg_color(heading, 0xEFEFEF);
    lxw_format* money = workbook_add_format(book);
    format_set_num_format(money, "#,##0");
    lxw_format* date = workbook_add_format(book);
    format_set_num_format(date, "yyyy-mm-dd");

    const Layout l = spreadsheetColumns(t);
    const QVector<double> w = widths(t);
    for (int c = 0; c < w.size(); ++c)
        worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), w.at(c), nullptr);

    lxw_row_t row = 0;
    for (const QString& line : t.titleLines)
        worksheet_write_string(ws, row++, 0, line.toUtf8().constData(), bold);
    const lxw_row_t headingRow = row;
    for (int c = 0; c < t.columns.size(); ++c) {
        const auto& col = t.columns.at(c);
        const lxw_col_t at = lxw_col_t(l.first.at(c));
        worksheet_write_string(ws, headingRow, at, col.heading.toUtf8().constData(), heading);
        if (col.kind == CellKind::Date)
            worksheet_write_string(ws, headingRow, at + 1,
                                   rocHeading(col.heading).toUtf8().constData(), heading);
    }
    worksheet_freeze_panes(ws, headingRow + 1, 0);
    ++row;
    for (int r = 0; r < t.rowCount; ++r, ++row) {
        for (int c = 0; c < t.columns.size(); ++c) {
            const QVariant v = t.cell(r, c);
            const lxw_col_t at = lxw_col_t(l.first.at(c));
            switch (t.columns.at(c).kind) {
                case CellKind::Text: {
                    const QString s = v.toString();
                    if (!s.isEmpty())
                        worksheet_write_string(ws, row, at, s.toUtf8().constData(), nullptr);
                    break;
                }
                case CellKind::Amount:
                    if (!v.isNull() && v.isValid())
                        worksheet_write_number(ws, row, at, double(wholeNumber(v)), money);
                    break;
                case CellKind::Date: {
                    const QDate d = v.toDate();
                    if (!d.isValid())
                        break;
                    lxw_datetime dt{d.year(), d.month(), d.day(), 0, 0, 0};
                    worksheet_write_datetime(ws, row, at, &dt, date);
                    worksheet_write_string(ws, row, at + 1,
                                           app::FormatEra(d, app::kEraShort).toUtf8().constData(),
                                           nullptr);
                    break;
                }
            }
        }
    }
    const lxw_error rc = workbook_close(book);
    if (rc != LXW_NO_ERROR) {
        QFile::remove(part);
        throw ExportError(QStringLiteral("無法寫入檔案「%1」：%2")
                              .arg(shown(path), QString::fromUtf8(lxw_strerror(rc))));
    }
    replaceFile(part, path);
}

namespace {

QString csvField(const QString& s) {
    if (!s.contains(QLatin1Char(',')) && !s.contains(QLatin1Char('"')) &&
        !s.contains(QLatin1Char('\n')) && !s.contains(QLatin1Char('\r')))
        return s;
    return QLatin1Char('"') + QString(s).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

}  // namespace

void writeCsv(const ExportTable& t, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw ExportError(
            QStringLiteral("無法寫入檔案「%1」：%2").arg(shown(path), file.errorString()));
    QString out;
    out.reserve(1 << 16);
    auto flush = [&] {
        file.write(out.toUtf8());
        out.clear();
    };
    out += QChar(0xFEFF);  // the byte-order mark: spreadsheet programs read UTF-8 by it
    for (const QString& line : t.titleLines)
        out += csvField(line) + QStringLiteral("\r\n");
    QStringList heads;
    for (const auto& col : t.columns) {
        heads << csvField(col.heading);
        if (col.kind == CellKind::Date)
            heads << csvField(rocHeading(col.heading));
    }
    out += heads.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    for (int r = 0; r < t.rowCount; ++r) {
        for (int c = 0; c < t.columns.size(); ++c) {
            if (c > 0)
                out += QLatin1Char(',');
            const QVariant v = t.cell(r, c);
            switch (t.columns.at(c).kind) {
                case CellKind::Text:
                    out += csvField(v.toString());
                    break;
                case CellKind::Amount:
                    if (!v.isNull() && v.isValid())
                        out += QString::number(wholeNumber(v));
                    break;
                case CellKind::Date: {
                    const QDate d = v.toDate();
                    if (d.isValid())
                        out += d.toString(Qt::ISODate) + QLatin1Char(',') +
                               app::FormatEra(d, app::kEraShort);
                    else
                        out += QLatin1Char(',');
                    break;
                }
            }
        }
        out += QStringLiteral("\r\n");
        if (out.size() > (1 << 16))
            flush();
    }
    flush();
    if (!file.commit())
        throw ExportError(
            QStringLiteral("無法寫入檔案「%1」：%2").arg(shown(path), file.errorString()));
}

void writeExport(const ExportTable& table, const QString& path) {
    if (QFileInfo(path).suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0)
        writeCsv(table, path);
    else
        writeXlsx(table, path);
}

ExportTable tableFromModel(const app::RowsModel& model, const QVector<CellKind>& kinds,
                           const QString& sheetName, const QStringList& titleLines) {
    ExportTable t;
    t.sheetName = sheetName;
    t.titleLines = titleLines;
    for (int c = 0; c < model.columnCount(); ++c)
        t.columns << ExportColumn{model.column(c).heading, kinds.value(c, CellKind::Text)};
    t.rowCount = model.rowCount();
    const QVector<ExportColumn> columns = t.columns;
    t.cell = [&model, columns](int r, int c) -> QVariant {
        const auto& col = model.column(c);
        switch (columns.at(c).kind) {
            case CellKind::Amount:
                return col.field >= 0 ? model.row(r).value(col.field) : QVariant();
            case CellKind::Date:
                return col.field >= 0 ? QVariant(store::storedDate(model.row(r).value(col.field)))
                                      : QVariant();
            case CellKind::Text:
                break;
        }
        return model.text(r, c);
    };
    return t;
}

}  // namespace orvik::statements
