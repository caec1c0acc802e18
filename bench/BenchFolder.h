#pragma once

// What the benches on a large folder share: their arguments (DIR, --vouchers N, --rounds R,
// --keep) and, without DIR, a folder made by orvik-admin in a temporary directory.

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>

namespace orvik::bench {

struct FolderArgs {
    QString dir;  // empty: make one
    qint64 vouchers = 1000000;
    int rounds = 3;
    bool keep = false;  // the made folder stays
};

// `args` without the program's name.
inline FolderArgs parseFolderArgs(const QStringList& args, int defaultRounds) {
    FolderArgs a;
    a.rounds = defaultRounds;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--vouchers") && i + 1 < args.size())
            a.vouchers = args[++i].toLongLong();
        else if (args[i] == QLatin1String("--rounds") && i + 1 < args.size())
            a.rounds = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--keep"))
            a.keep = true;
        else
            a.dir = args[i];
    }
    return a;
}

inline bool runAdmin(const QString& admin, const QStringList& args, QTextStream& out) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(admin, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        out << "orvik-admin " << args.join(' ') << " failed" << Qt::endl;
        return false;
    }
    return true;
}

// Without a DIR, makes a demo folder with a.vouchers generated vouchers in `temp` and names it
// in a.dir; false when orvik-admin failed.
inline bool ensureFolder(FolderArgs& a, QTemporaryDir& temp, const QString& admin,
                         QTextStream& out) {
    if (!a.dir.isEmpty())
        return true;
    temp.setAutoRemove(!a.keep);
    a.dir = temp.filePath(QStringLiteral("data"));
    out << "making " << a.vouchers << " vouchers in " << a.dir << Qt::endl;
    return runAdmin(admin, {QStringLiteral("init"), a.dir, QStringLiteral("--demo")}, out) &&
           runAdmin(admin,
                    {QStringLiteral("generate"), a.dir, QStringLiteral("--vouchers"),
                     QString::number(a.vouchers)},
                    out);
}

}  // namespace orvik::bench
