#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace orvik::legacy {

// The old engine's files are a sequence of fixed-size pages whose structures point at each other
// by page number. A file cut short or damaged makes those pointers lead outside the file or round
// in a circle, and the library that reads the format follows them without looking. What is here
// reads the pages itself, independently of that library, and checks every chain the reader will
// follow before it follows it; each walk is bounded by the number of pages in the file.
//
// Every failure is a LegacyError whose message starts with the file's name.

// Where the structures sit in a page; the two versions of the format differ only in these.
struct JetLayout {
    bool jet4 = false;
    int pageSize = 2048;
    int rowCountOffset = 0x08;  // data pages: the row count, then one offset per row
    int numColsOffset = 25;     // table definition: column count (16 bit)
    int numRealIdxOffset = 31;  // table definition: index count (32 bit)
    int usageMapOffset = 35;    // table definition: the usage map's row pointer
    int freeMapOffset = 39;
    int colsStartOffset = 43;
    int realIdxEntrySize = 8;
    int colEntrySize = 18;

    static JetLayout jet3Layout();
    static JetLayout jet4Layout();
};

// An old file read page by page with plain reads; at most one page is held at a time.
class PageFile {
  public:
    // Checks the header and that the file is a whole number of pages.
    explicit PageFile(const QString& path);
    ~PageFile();
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    const QString& path() const { return path_; }
    const JetLayout& layout() const { return layout_; }
    quint32 pageCount() const { return pageCount_; }

    // The page's bytes, valid until the next call; throws for a page outside the file.
    const unsigned char* page(quint32 number);

    // Bytes [start, end) of row `row` of a data page, as the reader finds them; false when the
    // page has no such row or its offsets are impossible.
    bool rowBounds(const unsigned char* page, int row, int* start, int* end) const;

    // A LegacyError naming the file.
    [[noreturn]] void fail(const QString& what) const;

  private:
    QString path_;
    int fd_ = -1;
    JetLayout layout_;
    quint32 pageCount_ = 0;
    quint32 cached_ = 0;
    bool haveCached_ = false;
    QByteArray buffer_;
};

// The table definition starting at `firstPage` and everything the reader follows from it before
// the first row: the chain of definition pages (in the file, each a definition page, no page
// twice), the column entries and names lying within that chain, the usage and free-space map
// rows, and every data page the usage map lists lying within the file.
void checkTableDefinition(PageFile& file, quint32 firstPage, const QString& table);

// The header, the size, and the definition of the catalogue table (on page 2).
void checkShape(const QString& path);

// A long value (memo or OLE field) whose 12-byte header is `field`: its bytes, collected along the
// chain of long-value rows it points to. A chain that leaves the file or comes back to a row it
// has already passed is refused; `why` then says so and the result is empty.
QByteArray readLongValue(PageFile& file, const unsigned char* field, int size, QString* why);

}  // namespace orvik::legacy
