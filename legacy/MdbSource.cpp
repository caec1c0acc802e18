#include "MdbSource.h"

#include <mdbtools.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstring>
#include <map>
#include <type_traits>

#include "MdbShape.h"
#include "ReaderProcess.h"

namespace orvik::legacy {

namespace {

constexpr int kOffsetMask = 0x1fff;  // row offsets in a data page carry two flag bits above

SourceType typeOf(int mdbType) {
    switch (mdbType) {
        case MDB_BOOL:
            return SourceType::Boolean;
        case MDB_BYTE:
            return SourceType::Byte;
        case MDB_INT:
            return SourceType::Integer;
        case MDB_LONGINT:
            return SourceType::Long;
        case MDB_MONEY:
            return SourceType::Money;
        case MDB_FLOAT:
            return SourceType::Single;
        case MDB_DOUBLE:
            return SourceType::Double;
        case MDB_DATETIME:
            return SourceType::DateTime;
        case MDB_BINARY:
            return SourceType::Binary;
        case MDB_TEXT:
            return SourceType::Text;
        case MDB_OLE:
            return SourceType::Ole;
        case MDB_MEMO:
            return SourceType::Memo;
        case MDB_REPID:
            return SourceType::ReplicationId;
        case MDB_NUMERIC:
            return SourceType::Numeric;
        default:
            return SourceType::Other;
    }
}

template <typename T>
T readLittle(const unsigned char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);  // the files are little-endian, as is every machine we run on
    return v;
}

QString takeString(char* s) {
    const QString text = QString::fromUtf8(s);
    g_free(s);
    return text;
}

// ---- In the child process: the library reads the file. ----

// A table read row by row. Row values are cracked again from the page buffer, so that nulls are
// told from empty texts; every position the row gives is checked against the page first.
class MdbTable {
  public:
    MdbTable(MdbHandle* mdb, MdbTableDef* def, PageFile& pages)
        : mdb_(mdb), def_(def), pages_(pages), jet3_(mdb->f->jet_version == MDB_VER_JET3) {
        mdb_read_columns(def_);
        mdb_rewind_table(def_);
        for (unsigned i = 0; i < def_->num_cols; ++i) {
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(def_->columns, i));
            columns_.push_back(
                {QString::fromUtf8(col->name), typeOf(col->col_type), col->col_size});
        }
        fields_.resize(std::max(1u, def_->num_cols));
    }
    ~MdbTable() { mdb_free_tabledef(def_); }
    MdbTable(const MdbTable&) = delete;
    MdbTable& operator=(const MdbTable&) = delete;

    QString name() const { return QString::fromUtf8(def_->name); }
    const QVector<SourceColumn>& columns() const { return columns_; }

    bool next(QVector<SourceValue>& row) {
        if (!mdb_fetch_row(def_))
            return false;
        ++rowNumber_;
        // The library visits the data pages in rising order; a page count beyond the file's
        // means it has lost its way.
        const quint64 page = def_->cur_phys_pg;
        if (page != lastPage_) {
            if (page > pages_.pageCount() || ++pagesVisited_ > pages_.pageCount())
                pages_.fail(QStringLiteral("資料表 %1 的資料頁順序不合理（第 %2 頁）")
                                .arg(name())
                                .arg(page));
            lastPage_ = page;
        }
        // The fetch has the row's page in pg_buf; crack the row again to learn which values
        // are null (the library's own binding cannot tell a null from an empty text).
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(mdb_, int(def_->cur_row) - 1, &start, &size) != 0 ||
            mdb_crack_row(def_, start & kOffsetMask, size, fields_.data()) < 0)
            unreadable();
        row.resize(columns_.size());
        for (int i = 0; i < columns_.size(); ++i) {
            const MdbField& f = fields_.at(i);
            if (f.colnum < 0 || f.colnum >= columns_.size())
                unreadable();
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(def_->columns, f.colnum));
            row[f.colnum] = value(col, f);
        }
        return true;
    }

  private:
    [[noreturn]] void unreadable() {
        pages_.fail(QStringLiteral("資料表 %1 第 %2 列無法讀取").arg(name()).arg(rowNumber_));
    }

    SourceValue value(MdbColumn* col, const MdbField& f) {
        // Yes/no values live in the null mask: a set bit is True.
        if (col->col_type == MDB_BOOL)
            return SourceValue::yesNo(!f.is_null);
        if (f.is_null)
            return SourceValue::null();
        const int size = f.siz;
        if (f.start < 0 || size < 0 || f.start + size > pages_.layout().pageSize)
            unreadable();
        const unsigned char* p = mdb_->pg_buf + f.start;
        auto fits = [&](int n) { return size >= n; };
        switch (col->col_type) {
            case MDB_BYTE:
                if (fits(1))
                    return SourceValue::whole(p[0]);
                break;
            case MDB_INT:
                if (fits(2))
                    return SourceValue::whole(readLittle<qint16>(p));
                break;
            case MDB_LONGINT:
                if (fits(4))
                    return SourceValue::whole(readLittle<qint32>(p));
                break;
            case MDB_MONEY:
                if (fits(8))
                    return SourceValue::money(readLittle<qint64>(p));
                break;
            case MDB_FLOAT:
                if (fits(4))
                    return SourceValue::number(double(readLittle<float>(p)));
                break;
            case MDB_DOUBLE:
                if (fits(8))
                    return SourceValue::number(readLittle<double>(p));
                break;
            case MDB_DATETIME:
                // The raw day number: the library's own text for a date outside its window
                // comes out as 1900-01-00.
                if (fits(8))
                    return SourceValue::date(readLittle<double>(p));
                break;
            case MDB_TEXT: {
                if (size == 0)
                    return SourceValue::string(QString());
                SourceValue v = SourceValue::string(
                    takeString(mdb_col_to_string(mdb_, mdb_->pg_buf, f.start, MDB_TEXT, size)));
                // libmdb puts '?' for bytes the code page cannot decode. No Big5 trail byte is
                // a '?', so more of them than the stored bytes hold means a character was lost.
                if (jet3_) {
                    const QByteArray raw(reinterpret_cast<const char*>(p), size);
                    if (v.text.count(QLatin1Char('?')) > raw.count('?')) {
                        v.lossy = true;
                        v.bytes = raw;
                    }
                }
                return v;
            }
            case MDB_MEMO:
                return memo(col, p, size);
            case MDB_NUMERIC:
                if (fits(17))
                    return SourceValue::decimal(takeString(
                        mdb_numeric_to_string(mdb_, f.start, col->col_scale, col->col_prec)));
                break;
            default:
                break;
        }
        return SourceValue::binary(QByteArray(reinterpret_cast<const char*>(p), size));
    }

    // A memo's text may lie on other pages, chained; the chain is followed here, where it is
    // checked, and only the decoding is left to the library.
    SourceValue memo(MdbColumn* col, const unsigned char* field, int size) {
        QString why;
        const QByteArray stored = readLongValue(pages_, field, size, &why);
        if (!why.isEmpty())
            pages_.fail(QStringLiteral("資料表 %1 第 %2 列欄位 %3 的長文字損壞（%4）")
                            .arg(name())
                            .arg(rowNumber_)
                            .arg(QString::fromUtf8(col->name), why));
        if (stored.isEmpty())
            return SourceValue::string(QString());
        // Three bytes of UTF-8 at most for each stored byte, whatever the code page.
        QByteArray text(3 * stored.size() + 16, '\0');
        mdb_unicode2ascii(mdb_, stored.constData(), size_t(stored.size()), text.data(),
                          size_t(text.size()));
        return SourceValue::string(QString::fromUtf8(text.constData()));
    }

    MdbHandle* mdb_;
    MdbTableDef* def_;
    PageFile& pages_;
    bool jet3_;
    QVector<SourceColumn> columns_;
    std::vector<MdbField> fields_;
    qint64 rowNumber_ = 0;
    quint64 lastPage_ = 0;
    quint64 pagesVisited_ = 0;
};

enum Request : quint8 { OpenFile = 1, OpenTable = 2, ReadRows = 3, CloseTable = 4 };
enum Status : quint8 { Done = 0, Failed = 1, NoSuchTable = 2 };

constexpr int kBatchRows = 1000;
constexpr qsizetype kBatchBytes = 4 << 20;

// Requests and answers in this machine's own byte order: both ends are the same program.
// (QDataStream over a QBuffer costs more than reading the rows.)
class Writer {
  public:
    explicit Writer(QByteArray& out) : out_(out) {}
    template <typename T>
    void put(T v) {
        static_assert(std::is_arithmetic_v<T>);
        out_.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
    void put(const QString& s) {
        put(qint32(s.size()));
        out_.append(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
    }
    void put(const QByteArray& b) {
        put(qint32(b.size()));
        out_.append(b);
    }
    void put(const QStringList& l) {
        put(qint32(l.size()));
        for (const QString& s : l)
            put(s);
    }
    void put(const SourceValue& v) {
        put(quint8(v.kind));
        switch (v.kind) {
            case SourceValue::Kind::Null:
                break;
            case SourceValue::Kind::Boolean:
            case SourceValue::Kind::Integer:
            case SourceValue::Kind::Money:
                put(v.integer);
                break;
            case SourceValue::Kind::Real:
            case SourceValue::Kind::Date:
                put(v.real);
                break;
            case SourceValue::Kind::Text:
            case SourceValue::Kind::Decimal:
                put(v.text);
                put(quint8(v.lossy));
                if (v.lossy)
                    put(v.bytes);
                break;
            case SourceValue::Kind::Bytes:
                put(v.bytes);
                break;
        }
    }

  private:
    QByteArray& out_;
};

class Reader {
  public:
    explicit Reader(const QByteArray& in) : p_(in.constData()), end_(p_ + in.size()) {}
    bool ok() const { return ok_; }

    template <typename T>
    T get() {
        T v{};
        if (!take(sizeof v))
            return v;
        std::memcpy(&v, p_ - sizeof v, sizeof v);
        return v;
    }
    QString text() {
        const qint32 n = get<qint32>();
        if (n < 0 || !take(qsizetype(n) * 2))
            return {};
        return QString(reinterpret_cast<const QChar*>(p_ - qsizetype(n) * 2), n);
    }
    QByteArray bytes() {
        const qint32 n = get<qint32>();
        if (n < 0 || !take(n))
            return {};
        return QByteArray(p_ - n, n);
    }
    QStringList texts() {
        QStringList l;
        for (qint32 n = get<qint32>(); n > 0 && ok_; --n)
            l << text();
        return l;
    }
    SourceValue value() {
        SourceValue v;
        v.kind = SourceValue::Kind(get<quint8>());
        switch (v.kind) {
            case SourceValue::Kind::Null:
                break;
            case SourceValue::Kind::Boolean:
            case SourceValue::Kind::Integer:
            case SourceValue::Kind::Money:
                v.integer = get<qint64>();
                break;
            case SourceValue::Kind::Real:
            case SourceValue::Kind::Date:
                v.real = get<double>();
                break;
            case SourceValue::Kind::Text:
            case SourceValue::Kind::Decimal:
                v.text = text();
                v.lossy = get<quint8>() != 0;
                if (v.lossy)
                    v.bytes = bytes();
                break;
            case SourceValue::Kind::Bytes:
                v.bytes = bytes();
                break;
            default:
                ok_ = false;
        }
        return v;
    }

  private:
    bool take(qsizetype n) {
        if (!ok_ || end_ - p_ < n) {
            ok_ = false;
            return false;
        }
        p_ += n;
        return true;
    }

    const char* p_;
    const char* end_;
    bool ok_ = true;
};

template <typename... Args>
QByteArray message(Request op, const Args&... args) {
    QByteArray bytes;
    Writer out(bytes);
    out.put(quint8(op));
    (out.put(args), ...);
    return bytes;
}

// The child's side: opens the file with the library on the first request and answers the rest.
// It is made in the parent but used only in the child.
class Server {
  public:
    Server(QString path, QString jet3Charset)
        : path_(std::move(path)), jet3Charset_(std::move(jet3Charset)) {}

    QByteArray answer(const QByteArray& request) {
        Reader in(request);
        QByteArray answer;
        Writer out(answer);
        try {
            switch (in.get<quint8>()) {
                case OpenFile:
                    open(out);
                    break;
                case OpenTable:
                    openTable(in.text(), out);
                    break;
                case ReadRows:
                    readRows(in.get<qint32>(), answer);
                    break;
                case CloseTable:
                    tables_.erase(in.get<qint32>());
                    out.put(quint8(Done));
                    break;
                default:
                    throw LegacyError(QStringLiteral("%1: 不明的要求").arg(path_));
            }
        } catch (const LegacyError& e) {
            answer.clear();
            out.put(quint8(Failed));
            out.put(e.message());
        }
        return answer;
    }

  private:
    struct Entry {
        QString name;
        MdbCatalogEntry entry{};
    };

    void open(Writer& out) {
        pages_ = std::make_unique<PageFile>(path_);
        // libmdb reads both settings while it opens the file: output always UTF-8, and the
        // code page that Jet 3 text is decoded from.
        qputenv("MDBICONV", "UTF-8");
        qputenv("MDB_JET3_CHARSET", jet3Charset_.toLatin1());
        mdb_ = mdb_open(QFile::encodeName(path_).constData(), MDB_NOFLAGS);
        if (!mdb_)
            pages_->fail(QStringLiteral("無法開啟舊版資料庫檔案"));
        readCatalogue();
        // Each table's definition is checked now, so that a damaged one stops the import
        // before anything is written.
        for (const auto& t : entries_)
            checkTableDefinition(*pages_, quint32(t->entry.table_pg), t->name);
        QStringList names;
        for (const auto& t : entries_)
            names << t->name;
        out.put(quint8(Done));
        out.put(mdb_->f->jet_version == MDB_VER_JET3 ? QStringLiteral("Jet 3")
                                                     : QStringLiteral("Jet 4"));
        out.put(names);
    }

    // The catalogue, read as a table like any other. The library's own catalogue reader also
    // parses every object's property list, which loops forever on some damaged files and is
    // not needed here.
    void readCatalogue() {
        MdbCatalogEntry catalogue{};
        catalogue.mdb = mdb_;
        catalogue.object_type = MDB_TABLE;
        catalogue.table_pg = 2;
        std::strcpy(catalogue.object_name, "MSysObjects");
        MdbTableDef* def = mdb_read_table(&catalogue);
        if (!def)
            pages_->fail(QStringLiteral("無法讀取資料表目錄"));
        MdbTable table(mdb_, def, *pages_);
        auto find = [&](const char* name) {
            const auto& cols = table.columns();
            for (int i = 0; i < cols.size(); ++i) {
                if (cols.at(i).name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                    return i;
            }
            pages_->fail(QStringLiteral("無法讀取資料表目錄（沒有 %1 欄）").arg(name));
        };
        const int id = find("Id"), name = find("Name"), type = find("Type"), flags = find("Flags");
        QVector<SourceValue> row;
        while (table.next(row)) {
            const SourceValue& t = row.at(type);
            if (t.kind != SourceValue::Kind::Integer || t.integer != MDB_TABLE ||
                row.at(id).kind != SourceValue::Kind::Integer)
                continue;
            auto e = std::make_unique<Entry>();
            e->name = row.at(name).text;
            e->entry.mdb = mdb_;
            e->entry.object_type = MDB_TABLE;
            e->entry.table_pg = quint32(row.at(id).integer) & 0x00ffffff;
            e->entry.flags = int(row.at(flags).integer);
            std::snprintf(e->entry.object_name, sizeof e->entry.object_name, "%s",
                          e->name.toUtf8().constData());
            if (mdb_is_user_table(&e->entry))
                entries_.push_back(std::move(e));
        }
    }

    void openTable(const QString& name, Writer& out) {
        for (const auto& t : entries_) {
            if (t->name.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            MdbTableDef* def = mdb_read_table(&t->entry);
            if (!def)
                pages_->fail(QStringLiteral("無法讀取資料表 %1").arg(name));
            const qint32 id = nextId_++;
            auto& table = tables_[id];
            table = std::make_unique<MdbTable>(mdb_, def, *pages_);
            out.put(quint8(Done));
            out.put(id);
            out.put(t->name);
            out.put(qint32(table->columns().size()));
            for (const SourceColumn& c : table->columns()) {
                out.put(c.name);
                out.put(qint32(c.type));
                out.put(qint32(c.size));
            }
            return;
        }
        out.put(quint8(NoSuchTable));
    }

    // Done, whether the table has ended, the number of rows, the rows.
    void readRows(qint32 id, QByteArray& answer) {
        const auto it = tables_.find(id);
        if (it == tables_.end())
            pages_->fail(QStringLiteral("資料表已關閉"));
        answer.reserve(kBatchBytes / 4);
        Writer out(answer);
        out.put(quint8(Done));
        const qsizetype head = answer.size();
        out.put(quint8(0));
        out.put(qint32(0));
        QVector<SourceValue> row;
        qint32 count = 0;
        bool done = false;
        while (count < kBatchRows && answer.size() < kBatchBytes) {
            if (!it->second->next(row)) {
                done = true;
                break;
            }
            for (const SourceValue& v : row)
                out.put(v);
            ++count;
        }
        answer[head] = char(done);
        std::memcpy(answer.data() + head + 1, &count, sizeof count);
    }

    QString path_;
    QString jet3Charset_;
    std::unique_ptr<PageFile> pages_;
    MdbHandle* mdb_ = nullptr;
    std::vector<std::unique_ptr<Entry>> entries_;
    std::map<qint32, std::unique_ptr<MdbTable>> tables_;
    qint32 nextId_ = 1;
};

// ---- In the importing process: the answers of the child. ----

// The answer past its status byte; the child's failure, which names the file, is thrown.
QByteArray ask(ReaderProcess& reader, const QByteArray& request, Status* status = nullptr) {
    const QByteArray answer = reader.ask(request);
    Reader in(answer);
    const auto s = in.get<quint8>();
    if (s == Failed || !in.ok()) {
        const QString why = in.text();
        throw LegacyError(why.isEmpty() ? QStringLiteral("%1: 讀取失敗").arg(reader.path()) : why);
    }
    if (status)
        *status = Status(s);
    return answer.mid(1);
}

class RemoteTable : public SourceTable {
  public:
    RemoteTable(std::shared_ptr<ReaderProcess> reader, qint32 id, QString name,
                QVector<SourceColumn> columns)
        : reader_(std::move(reader)),
          id_(id),
          name_(std::move(name)),
          columns_(std::move(columns)) {}
    ~RemoteTable() override {
        try {
            reader_->discard(message(ReadRows, id_));
            ask(*reader_, message(CloseTable, id_));
        } catch (const LegacyError&) {
            // The reader has already failed, and said so to whoever was reading.
        }
    }

    QString name() const override { return name_; }
    QVector<SourceColumn> columns() const override { return columns_; }

    bool next(QVector<SourceValue>& row) override {
        if (at_ == batch_.size()) {
            if (done_)
                return false;
            fetch();
            if (batch_.isEmpty())
                return false;
        }
        row = std::move(batch_[at_++]);
        return true;
    }

  private:
    void fetch() {
        const QByteArray answer = ask(*reader_, message(ReadRows, id_));
        Reader in(answer);
        done_ = in.get<quint8>() != 0;
        const auto count = in.get<qint32>();
        batch_.clear();
        at_ = 0;
        for (qint32 r = 0; r < count && in.ok(); ++r) {
            QVector<SourceValue> row(columns_.size());
            for (SourceValue& v : row)
                v = in.value();
            batch_.push_back(std::move(row));
        }
        if (!in.ok())
            throw LegacyError(QStringLiteral("%1: 讀取程式傳回的資料不完整").arg(reader_->path()));
        // The child reads the next batch while these rows are used.
        if (!done_)
            reader_->prefetch(message(ReadRows, id_));
    }

    std::shared_ptr<ReaderProcess> reader_;
    qint32 id_;
    QString name_;
    QVector<SourceColumn> columns_;
    QVector<QVector<SourceValue>> batch_;
    qsizetype at_ = 0;
    bool done_ = false;
};

class RemoteFile : public SourceFile {
  public:
    RemoteFile(std::shared_ptr<ReaderProcess> reader, QString format, QStringList names)
        : reader_(std::move(reader)), format_(std::move(format)), names_(std::move(names)) {}

    QString format() const override { return format_; }
    QStringList tableNames() const override { return names_; }

    std::unique_ptr<SourceTable> openTable(const QString& name) override {
        Status status = Done;
        const QByteArray answer = ask(*reader_, message(OpenTable, name), &status);
        if (status == NoSuchTable)
            return nullptr;
        Reader in(answer);
        const auto id = in.get<qint32>();
        const QString found = in.text();
        QVector<SourceColumn> columns;
        for (qint32 n = in.get<qint32>(); n > 0 && in.ok(); --n) {
            SourceColumn c;
            c.name = in.text();
            c.type = SourceType(in.get<qint32>());
            c.size = in.get<qint32>();
            columns.push_back(c);
        }
        if (!in.ok())
            throw LegacyError(QStringLiteral("%1: 讀取程式傳回的資料不完整").arg(reader_->path()));
        reader_->prefetch(message(ReadRows, id));  // rows are what is wanted next
        return std::make_unique<RemoteTable>(reader_, id, found, columns);
    }

    ReaderWarnings readerWarnings() override {
        const WarningLog& log = reader_->warnings();
        return {log.total(), log.summary(5)};
    }

  private:
    std::shared_ptr<ReaderProcess> reader_;
    QString format_;
    QStringList names_;
};

}  // namespace

FileKind fileKind(const QString& path) {
    QFile f(path);
    if (!f.exists())
        return FileKind::Missing;
    if (!f.open(QIODevice::ReadOnly))
        return FileKind::Other;
    const QByteArray head = f.read(0x20);
    if (head.startsWith("SQLite format 3"))
        return FileKind::Sqlite;
    if (head.size() < 0x15 || !head.startsWith(QByteArray("\x00\x01\x00\x00", 4)))
        return FileKind::Other;
    const QByteArray magic = head.mid(4, 15);
    if (magic == "Standard ACE DB")
        return FileKind::Ace;
    if (magic != "Standard Jet DB")
        return FileKind::Other;
    return head.at(0x14) == 0 ? FileKind::Jet3 : FileKind::Jet4;
}

MdbSource::MdbSource(QString folder, QString jet3Charset)
    : folder_(std::move(folder)), jet3Charset_(std::move(jet3Charset)) {
    if (jet3Charset_.isEmpty())
        jet3Charset_ = qEnvironmentVariable("MDB_JET3_CHARSET", QStringLiteral("CP950"));
}

QString MdbSource::locate(const QString& fileName) const {
    const QDir dir(folder_);
    if (QFileInfo::exists(dir.filePath(fileName)))
        return dir.filePath(fileName);
    // Files copied from the old office computers may carry upper-case names.
    for (const QString& entry : dir.entryList(QDir::Files | QDir::Hidden)) {
        if (entry.compare(fileName, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    }
    return {};
}

std::unique_ptr<SourceFile> MdbSource::openFile(const QString& fileName) {
    const QString path = locate(fileName);
    if (path.isEmpty())
        return nullptr;
    return openPath(path);
}

std::unique_ptr<SourceFile> MdbSource::openPath(const QString& path) {
    switch (fileKind(path)) {
        case FileKind::Jet3:
        case FileKind::Jet4:
            break;
        case FileKind::Missing:
            throw LegacyError(QStringLiteral("%1: 找不到檔案").arg(path));
        case FileKind::Ace:
            throw LegacyError(
                QStringLiteral("%1: 是較新的 Access（ACE）格式，只能轉入 Jet 3 與 Jet 4 的檔案")
                    .arg(path));
        case FileKind::Sqlite:
            throw LegacyError(QStringLiteral("%1: 已是 Orvik 的資料庫檔案，不需要轉入").arg(path));
        case FileKind::Other:
            throw LegacyError(QStringLiteral("%1: 不是舊版資料庫檔案").arg(path));
    }
    checkShape(path);
    auto server = std::make_shared<Server>(path, jet3Charset_);
    auto reader = std::make_shared<ReaderProcess>(
        path, [server](const QByteArray& request) { return server->answer(request); }, timeLimit_);
    const QByteArray answer = ask(*reader, message(OpenFile));
    Reader in(answer);
    const QString format = in.text();
    const QStringList names = in.texts();
    if (!in.ok())
        throw LegacyError(QStringLiteral("%1: 讀取程式傳回的資料不完整").arg(path));
    return std::make_unique<RemoteFile>(reader, format, names);
}

}  // namespace orvik::legacy
