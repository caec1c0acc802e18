#pragma once

// Start-up: read the database folder from accpath.ini, open the three databases, show the
// main bar. The forms that start-up shows (the path dialog, the main bar) live in a higher
// layer and are reached through hooks that the program installs before calling Main().

#include <QString>
#include <functional>

namespace orvik::app {

// The folder of the executable, where accpath.ini and the report layouts lie.
QString ProgramFolder();
// Test hook: makes `folder` the program folder; empty goes back to the executable's folder.
void setProgramFolder(const QString& folder);

// The full name of accpath.ini in the program folder.
QString AccPathFile();
// The full name of a database file in the database folder gDataPath.
QString DataFile(const QString& fileName);

// The path dialog frmPath, shown modally; its OK button calls WriteDataPath and sets
// gDataPath. Start-up shows it when the folder is missing or a database cannot be opened.
// The program installs it before Main(), typically
//     setPathDialog([] { showModal(Forms::get<frmPath>()); });
// tests install a stand-in. Without one, start-up goes on as if the dialog was cancelled.
void setPathDialog(std::function<void()> showPathDialog);
// Shows the main bar frmAccMain without waiting; called by Main once the databases are open.
void setMainBar(std::function<void()> showMainBar);

// The start-up procedure: ReadDataPath, OpenDatabases, then the main bar. Returns at once;
// the program then lives in the event handlers of its forms.
void Main();

// Fills gDataPath from the first line of accpath.ini. An empty line (also a missing file or
// one without any line) gives the message "資料庫路徑錯誤", the path dialog, and the end of
// the program; false then (the program has ended).
bool ReadDataPath();

// Rewrites accpath.ini with exactly one line, `path` followed by CR LF. False when the file
// could not be written (for instance a read-only program folder); nothing is changed then.
bool WriteDataPath(const QString& path);

// Opens acc.mdb, voro3.mdb and pt.mdb from gDataPath into dbAcc, dbGeneral and dbPrint, all
// three or none. When an open fails, the error's number and description are shown, the path
// dialog follows and one more attempt is made with the then current gDataPath; a failure of
// that attempt is reported and ends the program. Files of the old desktop engine are named as
// such, with the command that brings them across, instead of the engine's error. Files stamped with
// another schema version than this program's are refused with a message and the program ends; they
// are not changed. Gives false when the program has ended.
bool OpenDatabases();

}  // namespace orvik::app
