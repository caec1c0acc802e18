#include "MdbSource.h"

#include <mdbtools.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstring>

namespace orvik::legacy {

namespace {

constexpr int kOffsetMask = 0x1fff;  // row offsets in a data page carry two flag bits above
constexpr int kMemoBindSize = 1 << 20;

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

class MdbTable : public SourceTable {
  public:
    MdbTable(MdbHandle* mdb, MdbTableDef* def)
        : mdb_(mdb), def_(def), jet3_(mdb->f->jet_version == MDB_VER_JET3) {
        mdb_read_columns(def_);
        mdb_rewind_table(def_);
        for (unsigned i = 0; i < def_->num_cols; ++i) {
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(def_->columns, i));
            columns_.push_back(
                {QString::fromUtf8(col->name), typeOf(col->col_type), col->col_size});
        }
        fields_.resize(std::max(1u, def_->num_cols));
    }
    ~MdbTable() override { mdb_free_tabledef(def_); }

    QString name() const override { return QString::fromUtf8(def_->name); }
    QVector<SourceColumn> columns() const override { return columns_; }

    bool next(QVector<SourceValue>& row) override {
        if (!mdb_fetch_row(def_))
            return false;
        // The fetch has the row's page in pg_buf; crack the row again to learn which values
        // are null (the library's own binding cannot tell a null from an empty text).
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(mdb_, int(def_->cur_row) - 1, &start, &size) != 0)
            throw LegacyError(QStringLiteral("資料表 %1 的資料列無法讀取").arg(name()));
        if (mdb_crack_row(def_, start & kOffsetMask, size, fields_.data()) < 0)
            throw LegacyError(QStringLiteral("資料表 %1 的資料列無法讀取").arg(name()));
        row.resize(columns_.size());
        for (int i = 0; i < columns_.size(); ++i) {
            const MdbField& f = fields_.at(i);
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(def_->columns, f.colnum));
            row[f.colnum] = value(col, f);
        }
        return true;
    }

  private:
    SourceValue value(MdbColumn* col, const MdbField& f) {
        // Yes/no values live in the null mask: a set bit is True.
        if (col->col_type == MDB_BOOL)
            return SourceValue::yesNo(!f.is_null);
        if (f.is_null)
            return SourceValue::null();
        const unsigned char* p = mdb_->pg_buf + f.start;
        const int size = f.siz;
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
            case MDB_MEMO: {
                // A memo may be far longer than the library's text buffer.
                const size_t saved = mdb_->bind_size;
                mdb_set_bind_size(mdb_, kMemoBindSize);
                QString text =
                    takeString(mdb_col_to_string(mdb_, mdb_->pg_buf, f.start, MDB_MEMO, size));
                mdb_set_bind_size(mdb_, saved);
                return SourceValue::string(text);
            }
            case MDB_NUMERIC:
                return SourceValue::decimal(takeString(
                    mdb_numeric_to_string(mdb_, f.start, col->col_scale, col->col_prec)));
            default:
                return SourceValue::binary(
                    QByteArray(reinterpret_cast<const char*>(p), std::max(0, size)));
        }
        return SourceValue::binary(QByteArray(reinterpret_cast<const char*>(p), std::max(0, size)));
    }

    MdbHandle* mdb_;
    MdbTableDef* def_;
    bool jet3_;
    QVector<SourceColumn> columns_;
    std::vector<MdbField> fields_;
};

class MdbFileImpl : public SourceFile {
  public:
    explicit MdbFileImpl(MdbHandle* mdb) : mdb_(mdb) {}
    ~MdbFileImpl() override { mdb_close(mdb_); }

    QString format() const override {
        switch (mdb_->f->jet_version) {
            case MDB_VER_JET3:
                return QStringLiteral("Jet 3");
            case MDB_VER_JET4:
                return QStringLiteral("Jet 4");
            default:
                return QStringLiteral("ACE");
        }
    }

    QStringList tableNames() const override {
        QStringList names;
        for (unsigned i = 0; i < mdb_->num_catalog; ++i) {
            auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb_->catalog, i));
            if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry))
                names << QString::fromUtf8(entry->object_name);
        }
        return names;
    }

    std::unique_ptr<SourceTable> openTable(const QString& name) override {
        for (unsigned i = 0; i < mdb_->num_catalog; ++i) {
            auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb_->catalog, i));
            if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry))
                continue;
            if (QString::fromUtf8(entry->object_name).compare(name, Qt::CaseInsensitive) != 0)
                continue;
            MdbTableDef* def = mdb_read_table(entry);
            if (!def)
                throw LegacyError(QStringLiteral("無法讀取資料表 %1").arg(name));
            return std::make_unique<MdbTable>(mdb_, def);
        }
        return nullptr;
    }

  private:
    MdbHandle* mdb_;
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
    // libmdb reads both settings while it opens the file: output always UTF-8, and the
    // code page that Jet 3 text is decoded from.
    qputenv("MDBICONV", "UTF-8");
    qputenv("MDB_JET3_CHARSET", jet3Charset_.toLatin1());
    MdbHandle* mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!mdb)
        throw LegacyError(QStringLiteral("%1: 無法開啟舊版資料庫檔案").arg(path));
    auto file = std::make_unique<MdbFileImpl>(mdb);
    if (!mdb_read_catalog(mdb, MDB_TABLE))
        throw LegacyError(QStringLiteral("%1: 無法讀取資料表目錄").arg(path));
    return file;
}

}  // namespace orvik::legacy
