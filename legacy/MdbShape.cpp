#include "MdbShape.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSet>
#include <cerrno>
#include <cstring>

#include "Source.h"

namespace orvik::legacy {

namespace {

constexpr int kOffsetMask = 0x1fff;  // row offsets carry two flag bits above the offset
constexpr int kMaxRow = 1000;        // the reader gives up on row numbers above this
constexpr int kMaxColumns = 256;     // the old engine allows 255 columns to a table
constexpr int kLongHeader = 12;      // a memo or OLE field's header in the row
constexpr unsigned char kDataPage = 0x01;
constexpr unsigned char kDefinitionPage = 0x02;

quint32 u32(const unsigned char* p) {
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

int u16(const unsigned char* p) {
    return p[0] | p[1] << 8;
}

// Pages are numbered from 0.
QString outside(quint32 page, quint32 count) {
    return QStringLiteral("指到第 %1 頁，檔案只到第 %2 頁").arg(page).arg(count - 1);
}

// The bytes of one row, addressed as the format does: page number above, row number in the
// lowest byte. Empty and `why` set when the row is not there.
QByteArray rowAt(PageFile& file, quint32 pageRow, QString* why) {
    const quint32 number = pageRow >> 8;
    const int row = int(pageRow & 0xff);
    if (number == 0 || number >= file.pageCount()) {
        *why = outside(number, file.pageCount());
        return {};
    }
    const unsigned char* page = file.page(number);
    int start = 0, end = 0;
    if (page[0] != kDataPage || !file.rowBounds(page, row, &start, &end)) {
        *why = QStringLiteral("第 %1 頁沒有第 %2 列").arg(number).arg(row);
        return {};
    }
    return QByteArray(reinterpret_cast<const char*>(page) + start, end - start);
}

// A usage map lists the pages that hold a table's rows, either inline (type 0: a first page and
// a bitmap) or through bitmap pages (type 1). The reader visits the pages it lists in rising
// order, so it ends; what can go wrong is a listed page outside the file, which is where the
// rows of a file cut short went missing.
void checkUsageMap(PageFile& file, const QByteArray& map, const QString& table) {
    auto bad = [&](const QString& why) {
        file.fail(
            QStringLiteral("資料表 %1 的資料頁對照表損壞（%2），檔案可能不完整").arg(table, why));
    };
    const auto* m = reinterpret_cast<const unsigned char*>(map.constData());
    const quint32 count = file.pageCount();
    if (map.isEmpty())
        bad(QStringLiteral("對照表是空的"));
    if (m[0] == 0) {
        if (map.size() < 5)
            return;  // the reader takes it as a table without pages
        const quint64 first = u32(m + 1);
        for (int i = 0; i < (map.size() - 5) * 8; ++i) {
            if ((m[5 + i / 8] >> (i % 8) & 1) && first + quint64(i) >= count)
                bad(outside(quint32(first + quint64(i)), count));
        }
    } else if (m[0] == 1) {
        const quint64 bitsPerPage = quint64(file.layout().pageSize - 4) * 8;
        const int mapPages = (map.size() - 1) / 4;
        for (int k = 0; k < mapPages; ++k) {
            const quint32 mapPage = u32(m + 1 + 4 * k);
            if (mapPage == 0)
                continue;
            if (mapPage >= count)
                bad(outside(mapPage, count));
            const unsigned char* bits = file.page(mapPage) + 4;
            for (quint64 i = 0; i < bitsPerPage; ++i) {
                if ((bits[i / 8] >> (i % 8) & 1) && quint64(k) * bitsPerPage + i >= count)
                    bad(outside(quint32(quint64(k) * bitsPerPage + i), count));
            }
        }
    }
    // Any other type makes the reader scan the file's pages in order up to its end.
}

}  // namespace

JetLayout JetLayout::jet3Layout() {
    return {};
}

JetLayout JetLayout::jet4Layout() {
    JetLayout l;
    l.jet4 = true;
    l.pageSize = 4096;
    l.rowCountOffset = 0x0c;
    l.numColsOffset = 45;
    l.numRealIdxOffset = 51;
    l.usageMapOffset = 55;
    l.freeMapOffset = 59;
    l.colsStartOffset = 63;
    l.realIdxEntrySize = 12;
    l.colEntrySize = 25;
    return l;
}

PageFile::PageFile(const QString& path) : path_(path) {
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0)
        fail(QStringLiteral("無法開啟（%1）").arg(QString::fromLocal8Bit(std::strerror(errno))));
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
        fail(QStringLiteral("不是一般的檔案"));
    unsigned char head[0x20] = {};
    if (::pread(fd_, head, sizeof head, 0) != ssize_t(sizeof head) || head[0] != 0 ||
        std::memcmp(head + 4, "Standard Jet DB", 15) != 0)
        fail(QStringLiteral("不是舊版資料庫檔案"));
    // The version byte decides the page size: 0 is Jet 3 (2048 bytes), 1 is Jet 4 (4096).
    switch (head[0x14]) {
        case 0:
            layout_ = JetLayout::jet3Layout();
            break;
        case 1:
            layout_ = JetLayout::jet4Layout();
            break;
        default:
            fail(QStringLiteral("檔頭的版本號碼 %1 無法辨識").arg(head[0x14]));
    }
    const qint64 size = st.st_size;
    if (size % layout_.pageSize != 0)
        fail(QStringLiteral("檔案大小 %1 位元組不是整數頁（%2 每頁 %3 位元組），檔案不完整，"
                            "可能在複製時被截斷")
                 .arg(size)
                 .arg(layout_.jet4 ? QStringLiteral("Jet 4") : QStringLiteral("Jet 3"))
                 .arg(layout_.pageSize));
    // Page 2 holds the catalogue's definition, so a file needs at least three pages.
    if (size / layout_.pageSize < 3 || size / layout_.pageSize > 0xffffff)
        fail(QStringLiteral("檔案大小 %1 位元組不合理，檔案不完整").arg(size));
    pageCount_ = quint32(size / layout_.pageSize);
    buffer_.resize(layout_.pageSize);
}

PageFile::~PageFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

void PageFile::fail(const QString& what) const {
    throw LegacyError(QStringLiteral("%1: %2").arg(path_, what));
}

const unsigned char* PageFile::page(quint32 number) {
    if (number >= pageCount_)
        fail(QStringLiteral("讀取第 %1 頁失敗，檔案只到第 %2 頁").arg(number).arg(pageCount_ - 1));
    auto* data = reinterpret_cast<unsigned char*>(buffer_.data());
    if (haveCached_ && cached_ == number)
        return data;
    const off_t at = off_t(number) * layout_.pageSize;
    ssize_t done = 0;
    while (done < layout_.pageSize) {
        const ssize_t n = ::pread(fd_, data + done, size_t(layout_.pageSize - done), at + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            haveCached_ = false;
            fail(QStringLiteral("讀取第 %1 頁失敗").arg(number));
        }
        done += n;
    }
    cached_ = number;
    haveCached_ = true;
    return data;
}

bool PageFile::rowBounds(const unsigned char* page, int row, int* start, int* end) const {
    const int rco = layout_.rowCountOffset;
    const int rows = u16(page + rco);
    if (row < 0 || row > kMaxRow || row >= rows || rco + 2 + 2 * row + 2 > layout_.pageSize)
        return false;
    *start = u16(page + rco + 2 + 2 * row) & kOffsetMask;
    *end = row == 0 ? layout_.pageSize : u16(page + rco + 2 * row) & kOffsetMask;
    return *start >= rco + 2 && *start <= *end && *end <= layout_.pageSize;
}

void checkTableDefinition(PageFile& file, quint32 firstPage, const QString& table) {
    const JetLayout& l = file.layout();
    const quint32 count = file.pageCount();
    auto bad = [&](const QString& why) {
        file.fail(QStringLiteral("資料表 %1 的定義損壞（%2）").arg(table, why));
    };
    // The definition as one run of bytes: the first page whole, then each continuation page
    // after its 8-byte header, which is how the reader reads across them.
    QByteArray def;
    QSet<quint32> seen;
    for (quint32 p = firstPage;;) {
        if (p == 0 || p >= count)
            bad(outside(p, count));
        if (seen.contains(p))
            bad(QStringLiteral("第 %1 頁重複出現，頁面鏈結成環").arg(p));
        seen.insert(p);
        const unsigned char* page = file.page(p);
        if (page[0] != kDefinitionPage)
            bad(QStringLiteral("第 %1 頁不是資料表定義頁").arg(p));
        const char* bytes = reinterpret_cast<const char*>(page);
        def +=
            def.isEmpty() ? QByteArray(bytes, l.pageSize) : QByteArray(bytes + 8, l.pageSize - 8);
        p = u32(page + 4);
        if (p == 0)
            break;
    }
    const auto* d = reinterpret_cast<const unsigned char*>(def.constData());
    const int columns = u16(d + l.numColsOffset);
    const quint32 realIndexes = u32(d + l.numRealIdxOffset);
    if (columns > kMaxColumns)
        bad(QStringLiteral("欄位數 %1 不合理").arg(columns));
    if (realIndexes > quint32(def.size()))
        bad(QStringLiteral("索引數 %1 不合理").arg(realIndexes));
    // The column entries, then the names, must lie within the chain; past its end the reader
    // would go on reading whatever page 0 holds.
    qint64 at = l.colsStartOffset + qint64(realIndexes) * l.realIdxEntrySize +
                qint64(columns) * l.colEntrySize;
    for (int i = 0; i < columns && at < def.size(); ++i) {
        const int lengthSize = l.jet4 ? 2 : 1;
        if (at + lengthSize > def.size())
            break;
        const int length = l.jet4 ? u16(d + at) : d[at];
        at += lengthSize + length;
    }
    if (at > def.size())
        bad(QStringLiteral("欄位定義超出定義頁"));

    QString why;
    const QByteArray map = rowAt(file, u32(d + l.usageMapOffset), &why);
    if (!why.isEmpty())
        bad(QStringLiteral("資料頁對照表%1").arg(why));
    rowAt(file, u32(d + l.freeMapOffset), &why);
    if (!why.isEmpty())
        bad(QStringLiteral("空間對照表%1").arg(why));
    checkUsageMap(file, map, table);
}

void checkShape(const QString& path) {
    PageFile file(path);
    checkTableDefinition(file, 2, QStringLiteral("MSysObjects"));
}

QByteArray readLongValue(PageFile& file, const unsigned char* field, int size, QString* why) {
    why->clear();
    if (size < kLongHeader)
        return {};
    const quint32 header = u32(field);
    const quint32 length = header & 0x00ffffff;
    if (header & 0x80000000)  // stored in the row itself
        return QByteArray(reinterpret_cast<const char*>(field) + kLongHeader, size - kLongHeader);
    if (header & 0x40000000)  // one row elsewhere
        return rowAt(file, u32(field + 4), why);
    if (header & 0xff000000) {
        *why = QStringLiteral("無法辨識的長資料格式 %1").arg(header >> 24, 2, 16, QLatin1Char('0'));
        return {};
    }
    // A chain of rows, each starting with the address of the next.
    QByteArray value;
    QSet<quint32> seen;
    for (quint32 at = u32(field + 4); at != 0;) {
        if (seen.contains(at)) {
            *why = QStringLiteral("頁面鏈結成環");
            return {};
        }
        seen.insert(at);
        const QByteArray row = rowAt(file, at, why);
        if (!why->isEmpty())
            return {};
        if (row.size() < 4 || quint64(value.size()) + quint64(row.size() - 4) > length)
            break;
        value += row.mid(4);
        at = u32(reinterpret_cast<const unsigned char*>(row.constData()));
    }
    return value;
}

}  // namespace orvik::legacy
