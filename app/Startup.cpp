#include "Startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <optional>

#include "AccPath.h"
#include "Database.h"
#include "Globals.h"
#include "Program.h"
#include "Prompts.h"
#include "Schema.h"

namespace orvik::app {

namespace store = orvik::store;
namespace schema = orvik::store::schema;

namespace {

QString programFolderOverride;
std::function<void()> pathDialog;
std::function<void()> mainBar;

void showPathDialog() {
    if (pathDialog)
        pathDialog();
}

struct OpenSet {
    store::DatabasePtr acc, general, print;
};

QByteArray fileHead(const QString& path, int bytes) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(bytes) : QByteArray();
}

// Files of the old desktop engine (Jet, and the later ACE) begin with 00 01 00 00 and their
// format's name.
bool isLegacyFile(const QString& path) {
    const QByteArray head = fileHead(path, 19);
    return head.startsWith(QByteArray("\x00\x01\x00\x00", 4)) &&
           (head.mid(4) == "Standard Jet DB" || head.mid(4) == "Standard ACE DB");
}

// The engine's description of a failed open, with the file named and, for a file that is
// empty or no database at all, said so: "不是有效的密碼" alone sends the user looking for a
// password when the file itself is wrong.
QString describeFailure(const QString& path, const store::EngineError& error) {
    const QString text = error.description();
    // A server's connection failures name the server already (without a password written into
    // its URI); a refusal by one of the books, such as a wrong password, names neither.
    if (store::isServerLocation(path)) {
        const QString server = store::shownLocation(path);
        const QString fileName = path.mid(path.lastIndexOf(QLatin1Char('#')) + 1);
        if (text.contains(server))
            return text;
        return text + QStringLiteral("\r\n") +
               QStringLiteral("伺服器 %1 上的 %2").arg(elidePath(server), fileName);
    }
    const QFileInfo info(path);
    if (info.isFile() && info.size() == 0)
        return text + QStringLiteral("\r\n") +
               QStringLiteral("%1 是空檔案（0 位元組），不是資料庫檔案。").arg(path);
    if (info.isFile() && !fileHead(path, 16).startsWith(QByteArray("SQLite format 3\0", 16)) &&
        !isLegacyFile(path))
        return text + QStringLiteral("\r\n") + QStringLiteral("%1 不是資料庫檔案。").arg(path);
    if (!text.contains(path))
        return text + QStringLiteral("\r\n") + QStringLiteral("檔案：%1").arg(path);
    return text;
}

store::DatabasePtr openFile(const schema::File& file, const QString& connect) {
    const QString path = DataFile(file.fileName);
    try {
        return store::Database::open(path, connect);
    } catch (const store::EngineError& error) {
        throw store::EngineError(error.number(), describeFailure(path, error));
    }
}

OpenSet openAll() {
    OpenSet set;
    set.acc = openFile(schema::acc(), schema::acc().connect());
    set.general = openFile(schema::general(), schema::general().connect());
    // pt.mdb carries no password: a password on it is an error like any other.
    set.print = openFile(schema::print(), QString());
    return set;
}

// The paths in a message, each cut to a length a message box can show.
QString shownPaths(QString text) {
    for (const auto* file : schema::files()) {
        const QString path = DataFile(file->fileName);
        text.replace(path, elidePath(path));
    }
    if (!gDataPath.isEmpty())
        text.replace(gDataPath, elidePath(store::shownLocation(gDataPath)));
    return text;
}

QString errorText(const store::EngineError& error) {
    return QString::number(error.number()) + QStringLiteral("\r\n") +
           shownPaths(error.description());
}

// A folder still holding the old engine's files cannot be opened as such: rather than the
// engine's bare "not a database", say what the files are and how to bring them across. Shows
// that and gives true; otherwise shows nothing.
bool showLegacyFolder() {
    if (store::isServerLocation(gDataPath))
        return false;
    QStringList legacy;
    for (const auto* file : schema::files()) {
        if (isLegacyFile(DataFile(file->fileName)))
            legacy << file->fileName;
    }
    if (legacy.isEmpty())
        return false;
    MsgBox(QStringLiteral(
               "資料庫資料夾 %1 裡的 %2 是舊版程式的資料庫檔案，本程式無法直接開啟。\r\n"
               "請系統管理員先用 orvik-admin import-mdb 舊資料夾 新資料夾 把舊資料轉入新的資料夾，"
               "再把資料庫路徑改到新的資料夾。")
               .arg(elidePath(gDataPath), legacy.join(QStringLiteral("、"))),
           Buttons::OK, Icon::Critical, QStringLiteral("Orvik"));
    return true;
}

// The legacy-folder message, or else the engine's number and description.
void showOpenFailure(const store::EngineError& error) {
    if (!showLegacyFolder())
        MsgBox(errorText(error));
}

QString quotedIfSpaced(const QString& folder) {
    return folder.contains(QLatin1Char(' ')) ? QLatin1Char('"') + folder + QLatin1Char('"')
                                             : folder;
}

// The refusal text for a set whose files do not carry this program's schema version, or an
// empty string when all three do. Newer files come first: upgrading would not help then.
QString versionProblem(const OpenSet& set) {
    const std::pair<store::Database*, const schema::File*> files[] = {
        {set.acc.get(), &schema::acc()},
        {set.general.get(), &schema::general()},
        {set.print.get(), &schema::print()}};
    for (const auto& [db, file] : files) {
        const int version = schema::versionOf(*db);
        if (version > schema::kVersion)
            return QStringLiteral(
                       "資料庫 %1 的版本為 %2，比本程式所用的版本 %3 新。\r\n"
                       "請改用新版的 Orvik 程式。")
                .arg(file->fileName)
                .arg(version)
                .arg(schema::kVersion);
    }
    for (const auto& [db, file] : files) {
        const int version = schema::versionOf(*db);
        if (version < schema::kVersion)
            return QStringLiteral(
                       "資料庫 %1 的版本為 %2，本程式需要版本 %3。\r\n"
                       "請系統管理員先執行 orvik-admin upgrade %4 更新資料庫。")
                .arg(file->fileName)
                .arg(version)
                .arg(schema::kVersion)
                .arg(quotedIfSpaced(elidePath(store::shownLocation(gDataPath))));
    }
    return {};
}

}  // namespace

QString ProgramFolder() {
    return programFolderOverride.isEmpty() ? QCoreApplication::applicationDirPath()
                                           : programFolderOverride;
}

void setProgramFolder(const QString& folder) {
    programFolderOverride = folder;
}

QString AccPathFile() {
    return QDir(ProgramFolder()).filePath(kAccPathFileName);
}

QString DataFile(const QString& fileName) {
    return store::databasePath(gDataPath, fileName);
}

void setPathDialog(std::function<void()> showPathDialog) {
    pathDialog = std::move(showPathDialog);
}

void setMainBar(std::function<void()> showMainBar) {
    mainBar = std::move(showMainBar);
}

void Main() {
    if (!ReadDataPath())
        return;
    if (!OpenDatabases())
        return;
    if (mainBar)
        mainBar();
}

bool ReadDataPath() {
    gDataPath = readFirstLine(AccPathFile());
    if (!gDataPath.isEmpty())
        return true;
    MsgBox(QStringLiteral("資料庫路徑錯誤"), Buttons::OK, Icon::None, QStringLiteral("Orvik"));
    // A folder saved in the dialog takes effect at the next start.
    showPathDialog();
    EndProgram();
    return false;
}

bool WriteDataPath(const QString& path) {
    return writeSingleLine(AccPathFile(), path);
}

bool OpenDatabases() {
    std::optional<OpenSet> set;
    try {
        set = openAll();
    } catch (const store::EngineError& error) {
        // Not only a wrong folder or a missing file: a wrong password, a locked or damaged
        // file also leaves the program without its databases, so every failure is shown and
        // may be corrected in the path dialog.
        showOpenFailure(error);
        dbAcc.reset();
        dbGeneral.reset();
        dbPrint.reset();
        showPathDialog();
        try {
            set = openAll();
        } catch (const store::EngineError& again) {
            if (showLegacyFolder())
                EndProgram();
            else
                ReportEngineError(
                    store::EngineError(again.number(), shownPaths(again.description())));
            return false;
        }
    }

    try {
        const QString problem = versionProblem(*set);
        if (!problem.isEmpty()) {
            set.reset();
            MsgBox(problem, Buttons::OK, Icon::Critical, QStringLiteral("Orvik"));
            EndProgram();
            return false;
        }
    } catch (const store::EngineError& error) {
        set.reset();
        ReportEngineError(error);
        return false;
    }

    dbAcc = set->acc;
    dbGeneral = set->general;
    dbPrint = set->print;
    return true;
}

}  // namespace orvik::app
