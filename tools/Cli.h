#pragma once

#include <QStringList>
#include <QTextStream>

namespace orvik::admin {

// Runs one orvik-admin command line (without the program name). Normal output goes to `out`,
// messages to `err`. Returns the exit code: 0 done, 1 failure, 2 usage mistake. Never throws.
int runCommand(const QStringList& args, QTextStream& out, QTextStream& err);

// The full usage text.
QString usageText();

}  // namespace orvik::admin
