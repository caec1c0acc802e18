#pragma once

#include <QStringList>
#include <QTextStream>
#include <optional>

namespace orvik::legacy {
class Source;
struct ImportOptions;
}  // namespace orvik::legacy

namespace orvik::admin {

// Runs one orvik-admin command line (without the program name). Normal output goes to `out`,
// messages to `err`. Returns the exit code: 0 done, 1 failure, 2 usage mistake. Never throws.
int runCommand(const QStringList& args, QTextStream& out, QTextStream& err);

// The command line's arguments after the program name, decoded as UTF-8. An argument that is
// not valid UTF-8 would reach the books as U+FFFD in place of what was typed (a name, a
// password): then nothing, and `error` says which argument it is.
std::optional<QStringList> decodeArguments(int argc, const char* const* argv, QString* error);

// import-mdb from `source` into options.destDir, a new folder or a server location (imported
// into a temporary folder, then migrated). The reports go to `out`, what the new books lack
// and any mismatch to `err`; gives the exit status. Throws AdminError when nothing was made.
int importMdb(legacy::Source& source, const legacy::ImportOptions& options, QTextStream& out,
              QTextStream& err);

// The full usage text.
QString usageText();

}  // namespace orvik::admin
