#include "Startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
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

OpenSet openAll() {
    OpenSet set;
    set.acc = store::Database::open(DataFile(schema::acc().fileName), schema::acc().connect());
    set.general =
        store::Database::open(DataFile(schema::general().fileName), schema::general().connect());
    // pt.mdb carries no password: a password on it is an error like any other.
    set.print = store::Database::open(DataFile(schema::print().fileName));
    return set;
}

QString errorText(const store::EngineError& error) {
    return QString::number(error.number()) + QStringLiteral("\r\n") + error.description();
}

// Files of the old desktop engine (Jet, and the later ACE) begin with 00 01 00 00 and their
// format's name.
bool isLegacyFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(19);
    return head.startsWith(QByteArray("\x00\x01\x00\x00", 4)) &&
           (head.mid(4) == "Standard Jet DB" || head.mid(4) == "Standard ACE DB");
}

// A folder still holding the old engine's files cannot be opened as such: rather than the
// engine's bare "not a database", say what the files are and how to bring them across. Shows
// that and gives true; otherwise shows nothing.
bool showLegacyFolder() {
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
               .arg(gDataPath, legacy.join(QStringLiteral("、"))),
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
                .arg(quotedIfSpaced(gDataPath));
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
    return gDataPath + QLatin1Char('/') + fileName;
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
                ReportEngineError(again);
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
