// orvik-admin: the administrator's command-line tool. The commands live in orvik_admin_lib.
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "Cli.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    // Not app.arguments(): it turns bytes that are not UTF-8 into U+FFFD without a word.
    QString problem;
    const auto args = orvik::admin::decodeArguments(argc, argv, &problem);
    const int code = args ? orvik::admin::runCommand(*args, out, err) : 2;
    if (!args)
        err << QStringLiteral("orvik-admin: ") << problem << Qt::endl;
    out.flush();
    err.flush();
    return code;
}
