// orvik-admin: the administrator's command-line tool. The commands live in orvik_admin_lib.
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "Cli.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int code = orvik::admin::runCommand(app.arguments().mid(1), out, err);
    out.flush();
    err.flush();
    return code;
}
