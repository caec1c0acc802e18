#include "Layout.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>
#include <QTextDocument>
#include <QUrl>

#include "PdfText.h"
#include "ReportError.h"
#include "Schema.h"

namespace orvik::report {

namespace {

// A layout is a page of HTML; anything this large is not one, and reading it whole would
// only cost memory.
constexpr qint64 kMaxLayoutBytes = 4 * 1024 * 1024;

const QRegularExpression& placeholderPattern() {
    // Everything between the braces is the name, so a mistyped one ("{{金 額}}") is caught
    // by check() instead of being printed as it stands.
    static const QRegularExpression re(QStringLiteral(R"(\{\{([^{}\n]*)\}\})"));
    return re;
}

// Comments are the layout author's notes: no settings, no placeholders, not printed.
QString withoutComments(const QString& html) {
    static const QRegularExpression comment(QStringLiteral("<!--.*?-->"),
                                            QRegularExpression::DotMatchesEverythingOption);
    return QString(html).remove(comment);
}

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

QString escaped(const QString& value) {
    // Apostrophes too, so a value is safe inside an attribute quoted either way.
    return value.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;"));
}

QString decodeLayout(const QByteArray& bytes, const QString& path) {
    // A byte-order mark decides; otherwise UTF-8, then Big5, which older editors on
    // Traditional Chinese systems write by default.
    const auto bom = QStringConverter::encodingForData(bytes);
    if (bom && *bom != QStringConverter::Utf8) {
        QStringDecoder dec(*bom);
        const QString text = dec(bytes);
        if (!dec.hasError())
            return text;
    } else {
        QStringDecoder utf8(QStringConverter::Utf8);
        const QString text = utf8(bytes);
        if (!utf8.hasError())
            return text;
        QStringDecoder big5("Big5");
        if (big5.isValid()) {
            const QString legacy = big5(bytes);
            if (!big5.hasError())
                return legacy;
        }
    }
    throw ReportError(
        QStringLiteral("報表檔「%1」的文字編碼無法辨識，請以 UTF-8 存檔。").arg(shown(path)));
}

QFont defaultFont() {
    // Latin letters and digits from a plain Latin face: in the CJK faces they are partly
    // drawn with alternate glyphs that the PDF writer gives no text for, so a number like
    // "AB123" would copy out of the PDF as "AB". Chinese from the Traditional Chinese faces of
    // fonts-noto-cjk; font matching takes any face with the glyphs when none is installed.
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK TC"),
                      QStringLiteral("Noto Serif CJK TC"), QStringLiteral("AR PL UMing TW"),
                      QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC")});
    font.setPointSizeF(11);
    return font;
}

std::unique_ptr<QTextDocument> makeDocument(const Layout& layout, const Values& values,
                                            const RowSets& rows, QPaintDevice* device,
                                            const QSizeF& pageSize) {
    auto doc = std::make_unique<QTextDocument>();
    doc->setDefaultFont(defaultFont());
    // The page margins come from the page layout; the document adds none of its own.
    doc->setDocumentMargin(0);
    if (!layout.folder().isEmpty())
        doc->setBaseUrl(QUrl::fromLocalFile(layout.folder() + QLatin1Char('/')));
    if (device)
        doc->documentLayout()->setPaintDevice(device);
    doc->setHtml(layout.fill(values, rows));
    doc->setPageSize(pageSize);
    return doc;
}

struct MetaTag {
    QString name;
    QString content;
};

QList<MetaTag> metaTags(const QString& html) {
    static const QRegularExpression tag(QStringLiteral(R"(<meta\b([^>]*)>)"),
                                        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression attr(
        QStringLiteral(R"re(([\w-]+)\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s"'>/]+)))re"));
    const QString live = withoutComments(html);
    QList<MetaTag> tags;
    for (auto it = tag.globalMatch(live); it.hasNext();) {
        MetaTag m;
        for (auto a = attr.globalMatch(it.next().captured(1)); a.hasNext();) {
            const auto am = a.next();
            const QString key = am.captured(1).toLower();
            const QString value = am.captured(2) + am.captured(3) + am.captured(4);
            if (key == QLatin1String("name"))
                m.name = value.trimmed().toLower();
            else if (key == QLatin1String("content"))
                m.content = value.trimmed();
        }
        if (!m.name.isEmpty())
            tags << m;
    }
    return tags;
}

}  // namespace

Layout Layout::load(const QString& path) {
    if (path.trimmed().isEmpty())
        throw ReportError(QStringLiteral("未指定報表檔。"));
    const QFileInfo info(path);
    if (!info.exists())
        throw ReportError(QStringLiteral("找不到報表檔「%1」。").arg(shown(path)));
    if (info.isDir())
        throw ReportError(QStringLiteral("「%1」是資料夾，不是報表檔。").arg(shown(path)));
    if (info.size() > kMaxLayoutBytes)
        throw ReportError(QStringLiteral("報表檔「%1」超過 4 MB，不是版面檔。").arg(shown(path)));
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.read(kMaxLayoutBytes + 1);
    if (!file.isOpen() || file.error() != QFileDevice::NoError)
        throw ReportError(
            QStringLiteral("無法讀取報表檔「%1」：%2").arg(shown(path), file.errorString()));
    // A NUL byte outside UTF-16 means a binary file, such as a report of another engine.
    const auto bom = QStringConverter::encodingForData(bytes);
    const bool wide =
        bom && (*bom == QStringConverter::Utf16LE || *bom == QStringConverter::Utf16BE ||
                *bom == QStringConverter::Utf32LE || *bom == QStringConverter::Utf32BE);
    if (!wide && bytes.contains('\0'))
        throw ReportError(
            QStringLiteral("報表檔「%1」不是文字版面檔，無法使用。").arg(shown(path)));

    Layout layout = fromText(decodeLayout(bytes, path), path);
    layout.folder_ = info.absolutePath();
    return layout;
}

Layout Layout::fromText(const QString& text, const QString& name) {
    Layout layout;
    layout.text_ = text;
    layout.name_ = name;
    return layout;
}

QPageLayout Layout::pageLayout() const {
    QPageSize::PageSizeId size = QPageSize::A4;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QMarginsF margins(15, 15, 15, 15);
    for (const MetaTag& m : metaTags(text_)) {
        if (m.name == QLatin1String("page")) {
            const QStringList words = m.content.toLower().split(
                QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts);
            for (const QString& w : words) {
                if (w == QLatin1String("a4"))
                    size = QPageSize::A4;
                else if (w == QLatin1String("a5"))
                    size = QPageSize::A5;
                else if (w == QLatin1String("a6"))
                    size = QPageSize::A6;
                else if (w == QLatin1String("b5"))
                    size = QPageSize::B5;
                else if (w == QLatin1String("letter"))
                    size = QPageSize::Letter;
                else if (w == QLatin1String("landscape"))
                    orientation = QPageLayout::Landscape;
                else if (w == QLatin1String("portrait"))
                    orientation = QPageLayout::Portrait;
            }
        } else if (m.name == QLatin1String("margins")) {
            QList<qreal> mm;
            const QStringList parts =
                QString(m.content)
                    .remove(QStringLiteral("mm"))
                    .split(QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts);
            for (const QString& p : parts) {
                bool ok = false;
                const qreal v = p.toDouble(&ok);
                if (ok && v >= 0 && v <= 60)
                    mm << v;
            }
            if (mm.size() == 1)
                margins = QMarginsF(mm[0], mm[0], mm[0], mm[0]);
            else if (mm.size() == 2)
                margins = QMarginsF(mm[1], mm[0], mm[1], mm[0]);
            else if (mm.size() == 4)  // top right bottom left, as in CSS
                margins = QMarginsF(mm[3], mm[0], mm[1], mm[2]);
        }
    }
    return QPageLayout(QPageSize(size), orientation, margins, QPageLayout::Millimeter);
}

QString Layout::fill(const Values& values) const {
    return fill(values, {});
}

namespace {

QHash<QString, QString> folded(const Values& values) {
    QHash<QString, QString> byName;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        byName.insert(it.key().toCaseFolded(), it.value());
    return byName;
}

// `text` with each placeholder replaced by its value from `row`, else `outer`, HTML-escaped
// when `html`.
QString substitute(const QString& text, const QHash<QString, QString>& row,
                   const QHash<QString, QString>& outer, bool html = true) {
    QString out;
    out.reserve(text.size() + 256);
    qsizetype from = 0;
    for (auto it = placeholderPattern().globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        out += QStringView(text).mid(from, m.capturedStart() - from);
        const QString name = m.captured(1).trimmed().toCaseFolded();
        const QString value = row.contains(name) ? row.value(name) : outer.value(name);
        out += html ? escaped(value) : value;
        from = m.capturedEnd();
    }
    out += QStringView(text).mid(from);
    return out;
}

const QRegularExpression& sectionPattern() {
    static const QRegularExpression re(
        QStringLiteral(R"(\{\{#\s*([^{}\n]*?)\s*\}\}(.*?)\{\{/\s*\1\s*\}\})"),
        QRegularExpression::DotMatchesEverythingOption);
    return re;
}

}  // namespace

QString Layout::fill(const Values& values, const RowSets& rows) const {
    const QHash<QString, QString> outer = folded(values);
    QHash<QString, const QVector<Values>*> sets;
    for (auto it = rows.cbegin(); it != rows.cend(); ++it)
        sets.insert(it.key().toCaseFolded(), &it.value());

    const QString text = withoutComments(text_);
    QString out;
    out.reserve(text.size() + 1024);
    qsizetype from = 0;
    const QHash<QString, QString> none;
    for (auto it = sectionPattern().globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        out += substitute(text.mid(from, m.capturedStart() - from), none, outer);
        const QString body = m.captured(2);
        if (const auto* set = sets.value(m.captured(1).toCaseFolded())) {
            for (const Values& row : *set)
                out += substitute(body, folded(row), outer);
        }
        from = m.capturedEnd();
    }
    out += substitute(text.mid(from), none, outer);
    return out;
}

QString Layout::footer() const {
    for (const MetaTag& m : metaTags(text_)) {
        if (m.name == QLatin1String("footer"))
            return m.content;
    }
    return {};
}

QStringList Layout::unknownPlaceholders(const QStringList& known) const {
    QSet<QString> knownFolded;
    for (const QString& k : known)
        knownFolded.insert(k.toCaseFolded());
    QStringList unknown;
    QSet<QString> seen;
    for (auto it = placeholderPattern().globalMatch(withoutComments(text_)); it.hasNext();) {
        const QString name = it.next().captured(1).trimmed();
        if (name.startsWith(QLatin1Char('#')) || name.startsWith(QLatin1Char('/')))
            continue;  // a section's markers
        const QString folded = name.toCaseFolded();
        if (!knownFolded.contains(folded) && !seen.contains(folded)) {
            seen.insert(folded);
            unknown << name;
        }
    }
    return unknown;
}

QStringList knownNames() {
    QStringList names{QStringLiteral("ion")};
    if (const auto* ptios = store::schema::print().table(QStringLiteral("ptios")))
        names += ptios->columnNames();
    return names;
}

QStringList check(const QString& layoutText) {
    return Layout::fromText(layoutText).unknownPlaceholders(knownNames());
}

QString fill(const QString& layoutText, const Values& values) {
    return Layout::fromText(layoutText).fill(values);
}

std::unique_ptr<QTextDocument> render(const QString& layoutText, const Values& values) {
    const Layout layout = Layout::fromText(layoutText);
    const QRect body = layout.pageLayout().paintRectPixels(96);
    return makeDocument(layout, values, {}, nullptr, QSizeF(body.size()));
}

void paint(const Layout& layout, const Values& values, QPagedPaintDevice& device) {
    paint(layout, values, {}, device);
}

void paint(const Layout& layout, const Values& values, const RowSets& rows,
           QPagedPaintDevice& device) {
    QPainter painter;
    if (!painter.begin(&device))
        throw ReportError(QStringLiteral("無法輸出報表「%1」：印表機或檔案無法開始列印。")
                              .arg(shown(layout.name())));
    const QSizeF page(device.width(), device.height());
    // The footer line takes its height from the bottom of every page.
    const QString footer = layout.footer();
    QFont footerFont = defaultFont();
    footerFont.setPointSizeF(9);
    const qreal footerHeight =
        footer.isEmpty() ? 0 : QFontMetricsF(footerFont, &device).height() * 2;
    const QSizeF body(page.width(), page.height() - footerHeight);
    auto doc = makeDocument(layout, values, rows, &device, body);
    const int pages = doc->pageCount();
    const QHash<QString, QString> outer = folded(values);
    for (int i = 0; i < pages; ++i) {
        if (i > 0 && !device.newPage())
            throw ReportError(QStringLiteral("無法輸出報表「%1」的第 %2 頁。")
                                  .arg(shown(layout.name()))
                                  .arg(i + 1));
        painter.save();
        painter.translate(0, -body.height() * i);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = QRectF(QPointF(0, body.height() * i), body);
        doc->documentLayout()->draw(&painter, context);
        painter.restore();
        if (!footer.isEmpty()) {
            const QHash<QString, QString> numbers{
                {QStringLiteral("page"), QString::number(i + 1)},
                {QStringLiteral("pages"), QString::number(pages)}};
            painter.save();
            painter.setFont(footerFont);
            painter.drawText(QRectF(0, body.height(), page.width(), footerHeight),
                             Qt::AlignHCenter | Qt::AlignBottom,
                             substitute(footer, numbers, outer, false));
            painter.restore();
        }
    }
    if (!painter.end())
        throw ReportError(QStringLiteral("無法完成報表「%1」的輸出。").arg(shown(layout.name())));
}

void renderToPdf(const Layout& layout, const Values& values, const QString& pdfPath,
                 const QString& title) {
    renderToPdf(layout, values, {}, pdfPath, title);
}

void renderToPdf(const Layout& layout, const Values& values, const RowSets& rows,
                 const QString& pdfPath, const QString& title) {
    QSaveFile file(pdfPath);
    if (!file.open(QIODevice::WriteOnly))
        throw ReportError(
            QStringLiteral("無法寫入 PDF 檔「%1」：%2").arg(shown(pdfPath), file.errorString()));
    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setCreator(QStringLiteral("Orvik"));
        writer.setTitle(title);
        if (!writer.setPageLayout(layout.pageLayout()))
            throw ReportError(
                QStringLiteral("報表「%1」的紙張設定無效。").arg(shown(layout.name())));
        paint(layout, values, rows, writer);
    }
    // The text layer as printed: see PdfText.h.
    pdf = fixPdfTextLayer(pdf);
    if (file.write(pdf) != pdf.size() || !file.commit())
        throw ReportError(
            QStringLiteral("無法寫入 PDF 檔「%1」：%2").arg(shown(pdfPath), file.errorString()));
}

void renderToPdf(const QString& layoutText, const Values& values, const QString& pdfPath) {
    renderToPdf(Layout::fromText(layoutText), values, pdfPath);
}

}  // namespace orvik::report
