#include "Cli.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <algorithm>
#include <exception>

#include "Admin.h"
#include "AdminError.h"
#include "Audit.h"
#include "EraDate.h"
#include "Generator.h"
#include "Globals.h"
#include "Import.h"
#include "MasterCsv.h"
#include "MdbSource.h"
#include "Migrate.h"
#include "Upgrade.h"

namespace orvik::admin {

namespace {

const char* const kUsage[] = {
    "用法: orvik-admin <命令> [參數]",
    "  DIR 是資料庫資料夾，或 PostgreSQL 伺服器上的資料庫：postgresql://主機[:埠]/資料庫名稱",
    "  [?sslmode=require] 或 service=名稱（密碼放在 ~/.pgpass 或服務檔裡，不寫在位置中）；",
    "  generate 只用於資料夾",
    "  init DIR [--demo] [--date YYYY-MM-DD] [--admin NAME --password P] [--company 名稱] "
    "[--force]",
    "        建立三個資料庫檔案（acc.mdb、voro3.mdb、pt.mdb）；--demo 加上示範公司的資料，",
    "        日期以 --date（預設今天）為準；--force 先刪除資料夾裡既有的三個檔案",
    "  employee add DIR --no 編號 --name 中文姓名 --login 登入名稱 --password P [--rights R]",
    "  employee password DIR LOGIN P",
    "  employee rights DIR LOGIN R          R 是 0 到 4194303 的權限值（22 個位元）",
    "  employee list DIR",
    "  check DIR                            檢查完整性與資料表結構",
    "  set-path PROGRAM_FOLDER DIR          寫入 PROGRAM_FOLDER/accpath.ini",
    "  upgrade DIR                          把舊版資料夾升級到目前的結構版本",
    "  backup DIR DEST [--force]            在別人使用中也能做一致的備份；DEST 是資料夾，",
    "                                       伺服器的帳冊備份成新資料夾裡的三個檔案（不可 --force）",
    "  migrate SOURCE DEST [--quiet]        把帳冊整個搬到另一處：資料夾 → 伺服器、伺服器 → "
    "資料夾；",
    "                                       DEST 須沒有帳冊；搬移時來源須無人使用；列出兩邊的",
    "                                       列數與各年金額核對，不一致時不留下任何東西、結束碼為 1",
    "  generate DIR --vouchers N [--seed S] [--date YYYY-MM-DD] [--years Y]",
    "                                       產生測試用的大量收支單",
    "  export DIR TABLE FILE.csv            把一份基本資料（銀行、員工、廠商、專案、科目、詞語、",
    "                                       應收付…）寫成 CSV（UTF-8），員工的密碼不寫出",
    "  import DIR TABLE FILE.csv            從 CSV 加入基本資料；有任何一行不合就全部不寫入，",
    "                                       並列出每一行的原因；company 則取代公司抬頭",
    "  audit DIR [--from 115/01/01] [--to 115/12/31] [--voucher 單號] [--user 登入名稱] "
    "[--kind 事件]",
    "                                       列出稽核紀錄（日期是工作日期，民國年）；事件用",
    "                                       insert、approve-cash、bill-voided… 或中文名稱",
    "  import-mdb LEGACY_DIR DEST [--jet3-charset CP950] [--report FILE] [--quiet]",
    "                                       從舊版 .mdb 檔（acc.mdb、voro3.mdb、pt.mdb）轉入，",
    "                                       建立新的資料夾（或伺服器上的帳冊）並列出核對報告；",
    "                                       不一致時結束碼為 1",
    "  help                                 顯示這段說明",
};

struct Args {
    QStringList positional;
    QHash<QString, QString> values;
    QSet<QString> flags;
};

// Options that take a value and options that are plain flags; anything else is a mistake.
Args parse(const QStringList& in, const QStringList& valueOptions, const QStringList& flagOptions,
           const QString& command) {
    Args a;
    for (int i = 0; i < in.size(); ++i) {
        const QString& s = in.at(i);
        if (s.startsWith(QLatin1String("--")) && s.size() > 2) {
            QString name = s.mid(2);
            QString value;
            bool hasValue = false;
            const int eq = int(name.indexOf(QLatin1Char('=')));
            if (eq >= 0) {
                value = name.mid(eq + 1);
                name = name.left(eq);
                hasValue = true;
            }
            if (valueOptions.contains(name)) {
                if (!hasValue) {
                    if (i + 1 >= in.size())
                        throw UsageError(
                            QStringLiteral("%1: 選項 --%2 需要一個值").arg(command, name));
                    value = in.at(++i);
                }
                a.values.insert(name, value);
            } else if (flagOptions.contains(name) && !hasValue) {
                a.flags.insert(name);
            } else {
                throw UsageError(QStringLiteral("%1: 不認得的選項 %2").arg(command, s));
            }
        } else {
            a.positional << s;
        }
    }
    return a;
}

void expectPositional(const Args& a, int n, const QString& command, const QString& shape) {
    if (a.positional.size() != n)
        throw UsageError(QStringLiteral("用法: orvik-admin %1 %2").arg(command, shape));
}

QDate parseDate(const QString& text) {
    const QDate d = QDate::fromString(text, Qt::ISODate);
    if (!d.isValid() || d.year() < 1912)
        throw UsageError(QStringLiteral("日期 '%1' 須寫成 YYYY-MM-DD（民國元年以後）").arg(text));
    return d;
}

int cmdInit(const QStringList& rest, QTextStream& out, QTextStream& err) {
    const Args a = parse(rest,
                         {QStringLiteral("admin"), QStringLiteral("password"),
                          QStringLiteral("date"), QStringLiteral("company")},
                         {QStringLiteral("demo"), QStringLiteral("force")}, QStringLiteral("init"));
    expectPositional(
        a, 1, QStringLiteral("init"),
        QStringLiteral("DIR [--demo] [--date YYYY-MM-DD] [--admin NAME --password P] [--force]"));
    if (a.values.contains(QStringLiteral("admin")) != a.values.contains(QStringLiteral("password")))
        throw UsageError(QStringLiteral("init: --admin 與 --password 要一起給"));
    InitOptions o;
    o.dir = a.positional.at(0);
    o.demo = a.flags.contains(QStringLiteral("demo"));
    o.force = a.flags.contains(QStringLiteral("force"));
    if (a.values.contains(QStringLiteral("admin"))) {
        o.adminLogin = a.values.value(QStringLiteral("admin"));
        o.adminPassword = a.values.value(QStringLiteral("password"));
    }
    if (a.values.contains(QStringLiteral("date")))
        o.reference = parseDate(a.values.value(QStringLiteral("date")));
    o.company = a.values.value(QStringLiteral("company"));
    const InitResult r = initFolder(o);
    out << QStringLiteral("已建立 %1（acc.mdb、voro3.mdb、pt.mdb），管理員 %2")
               .arg(r.dir, o.adminLogin)
        << Qt::endl;
    if (o.demo)
        out << QStringLiteral("示範資料：%1 位員工，%2 張收支單").arg(r.employees).arg(r.vouchers)
            << Qt::endl;
    Q_UNUSED(err);
    return 0;
}

int cmdEmployee(const QStringList& rest, QTextStream& out, QTextStream&) {
    if (rest.isEmpty())
        throw UsageError(
            QStringLiteral("用法: orvik-admin employee add|password|rights|list DIR ..."));
    const QString sub = rest.at(0);
    const QStringList tail = rest.mid(1);
    if (sub == QLatin1String("add")) {
        const Args a = parse(tail,
                             {QStringLiteral("no"), QStringLiteral("name"), QStringLiteral("login"),
                              QStringLiteral("password"), QStringLiteral("rights")},
                             {}, QStringLiteral("employee add"));
        expectPositional(
            a, 1, QStringLiteral("employee add"),
            QStringLiteral(
                "DIR --no 編號 --name 中文姓名 --login 登入名稱 --password P [--rights R]"));
        for (const char* required : {"no", "name", "login", "password"}) {
            if (!a.values.contains(QLatin1String(required)))
                throw UsageError(
                    QStringLiteral("employee add: 缺少 --%1").arg(QLatin1String(required)));
        }
        const qint64 rights = a.values.contains(QStringLiteral("rights"))
                                  ? parseRights(a.values.value(QStringLiteral("rights")))
                                  : 1;
        addEmployee(a.positional.at(0), a.values.value(QStringLiteral("no")),
                    a.values.value(QStringLiteral("name")), a.values.value(QStringLiteral("login")),
                    a.values.value(QStringLiteral("password")), rights);
        out << QStringLiteral("已新增員工 %1（%2），權限 %3")
                   .arg(a.values.value(QStringLiteral("login")),
                        a.values.value(QStringLiteral("name")))
                   .arg(rights)
            << Qt::endl;
        return 0;
    }
    if (sub == QLatin1String("password")) {
        const Args a = parse(tail, {}, {}, QStringLiteral("employee password"));
        expectPositional(a, 3, QStringLiteral("employee password"), QStringLiteral("DIR LOGIN P"));
        setEmployeePassword(a.positional.at(0), a.positional.at(1), a.positional.at(2));
        out << QStringLiteral("已變更 %1 的密碼").arg(a.positional.at(1)) << Qt::endl;
        return 0;
    }
    if (sub == QLatin1String("rights")) {
        const Args a = parse(tail, {}, {}, QStringLiteral("employee rights"));
        expectPositional(a, 3, QStringLiteral("employee rights"), QStringLiteral("DIR LOGIN R"));
        const qint64 rights = parseRights(a.positional.at(2));
        setEmployeeRights(a.positional.at(0), a.positional.at(1), rights);
        out << QStringLiteral("已把 %1 的權限設為 %2（%3）")
                   .arg(a.positional.at(1))
                   .arg(rights)
                   .arg(rightsString(rights))
            << Qt::endl;
        return 0;
    }
    if (sub == QLatin1String("list")) {
        const Args a = parse(tail, {}, {}, QStringLiteral("employee list"));
        expectPositional(a, 1, QStringLiteral("employee list"), QStringLiteral("DIR"));
        out << QStringLiteral("員工編號\t中文姓名\t登入名稱\t權限\t權限位元（低位在前）\t密碼")
            << Qt::endl;
        for (const auto& e : listEmployees(a.positional.at(0))) {
            out << e.no << '\t' << e.name << '\t' << e.login << '\t' << e.rights << '\t'
                << rightsString(e.rights) << '\t'
                << (e.hasPassword ? QStringLiteral("有") : QStringLiteral("空白")) << Qt::endl;
        }
        return 0;
    }
    throw UsageError(
        QStringLiteral("employee: 不認得的子命令 %1（add、password、rights、list）").arg(sub));
}

int cmdCheck(const QStringList& rest, QTextStream& out, QTextStream& err) {
    const Args a = parse(rest, {}, {}, QStringLiteral("check"));
    expectPositional(a, 1, QStringLiteral("check"), QStringLiteral("DIR"));
    const CheckResult r = checkFolder(a.positional.at(0));
    for (const auto& p : r.problems)
        out << p << Qt::endl;
    if (r.ok()) {
        out << QStringLiteral("OK: %1").arg(r.notes.join(QStringLiteral("；"))) << Qt::endl;
        return 0;
    }
    QString line = QStringLiteral("check: 發現 %1 個問題").arg(r.problems.size());
    if (r.hints.contains(QStringLiteral("upgrade")))
        line += QStringLiteral("；舊版的資料夾可用 orvik-admin upgrade %1 升級")
                    .arg(a.positional.at(0));
    err << line << Qt::endl;
    return 1;
}

int cmdSetPath(const QStringList& rest, QTextStream& out, QTextStream& err) {
    const Args a = parse(rest, {}, {}, QStringLiteral("set-path"));
    expectPositional(a, 2, QStringLiteral("set-path"), QStringLiteral("PROGRAM_FOLDER DIR"));
    const QString warning = writePathFile(a.positional.at(0), a.positional.at(1));
    if (!warning.isEmpty())
        err << warning << Qt::endl;
    out << QStringLiteral("已寫入 %1/accpath.ini").arg(a.positional.at(0)) << Qt::endl;
    return 0;
}

int cmdUpgrade(const QStringList& rest, QTextStream& out, QTextStream&) {
    const Args a = parse(rest, {}, {}, QStringLiteral("upgrade"));
    expectPositional(a, 1, QStringLiteral("upgrade"), QStringLiteral("DIR"));
    const auto results = upgradeFolder(a.positional.at(0));
    bool any = false;
    for (const auto& r : results) {
        if (r.from == r.to) {
            out << QStringLiteral("%1: 已是第 %2 版，不需升級").arg(r.fileName).arg(r.to)
                << Qt::endl;
            continue;
        }
        any = true;
        out << QStringLiteral("%1: 第 %2 版 → 第 %3 版").arg(r.fileName).arg(r.from).arg(r.to)
            << Qt::endl;
        for (const auto& line : r.actions)
            out << QStringLiteral("  ") << line << Qt::endl;
    }
    out << (any ? QStringLiteral("升級完成") : QStringLiteral("資料夾已是最新版本")) << Qt::endl;
    return 0;
}

int cmdBackup(const QStringList& rest, QTextStream& out, QTextStream&) {
    const Args a = parse(rest, {}, {QStringLiteral("force")}, QStringLiteral("backup"));
    expectPositional(a, 2, QStringLiteral("backup"), QStringLiteral("DIR DEST [--force]"));
    const BackupReport r = backupFolder(a.positional.at(0), a.positional.at(1),
                                        a.flags.contains(QStringLiteral("force")));
    for (const QString& line : r.lines())
        out << line << Qt::endl;
    out << QStringLiteral("已備份到 %1（%2 秒）").arg(a.positional.at(1)).arg(r.seconds, 0, 'f', 1)
        << Qt::endl;
    return 0;
}

int cmdGenerate(const QStringList& rest, QTextStream& out, QTextStream& err) {
    const Args a = parse(rest,
                         {QStringLiteral("vouchers"), QStringLiteral("seed"),
                          QStringLiteral("date"), QStringLiteral("years")},
                         {QStringLiteral("quiet")}, QStringLiteral("generate"));
    expectPositional(a, 1, QStringLiteral("generate"),
                     QStringLiteral("DIR --vouchers N [--seed S] [--date YYYY-MM-DD] [--years Y]"));
    if (!a.values.contains(QStringLiteral("vouchers")))
        throw UsageError(QStringLiteral("generate: 缺少 --vouchers N"));
    if (store::isServerLocation(a.positional.at(0)))
        throw UsageError(
            QStringLiteral("generate 只寫資料夾裡的檔案；要在伺服器上試大量資料，請先產生在資料夾，"
                           "再用 orvik-admin migrate 搬上去"));
    GenerateOptions o;
    o.dir = a.positional.at(0);
    bool ok = false;
    o.vouchers = a.values.value(QStringLiteral("vouchers")).toLongLong(&ok);
    if (!ok || o.vouchers <= 0)
        throw UsageError(QStringLiteral("generate: --vouchers 須是正整數"));
    if (a.values.contains(QStringLiteral("seed"))) {
        o.seed = a.values.value(QStringLiteral("seed")).toULongLong(&ok);
        if (!ok)
            throw UsageError(QStringLiteral("generate: --seed 須是非負整數"));
    }
    if (a.values.contains(QStringLiteral("years"))) {
        o.years = a.values.value(QStringLiteral("years")).toInt(&ok);
        if (!ok)
            throw UsageError(QStringLiteral("generate: --years 須是整數"));
    }
    if (a.values.contains(QStringLiteral("date")))
        o.reference = parseDate(a.values.value(QStringLiteral("date")));
    const bool quiet = a.flags.contains(QStringLiteral("quiet"));
    const GenerateResult r = generate(o, [&](const QString& line) {
        if (!quiet)
            err << line << Qt::endl;
    });
    out << QStringLiteral(
               "已產生 %1 張收支單（%2 到 %3）、%4 張票據、%5 筆合併開票連結、%6 筆現金帳、%7 "
               "筆銀行帳")
               .arg(r.vouchers)
               .arg(r.first.toString(Qt::ISODate), r.last.toString(Qt::ISODate))
               .arg(r.bills)
               .arg(r.combinedLinks)
               .arg(r.cashRows)
               .arg(r.bankRows)
        << Qt::endl;
    out << QStringLiteral("時間：寫入 %1 秒，確認索引 %2 秒，合計 %3 秒（CPU %4 秒）")
               .arg(r.insertSeconds, 0, 'f', 2)
               .arg(r.indexSeconds, 0, 'f', 2)
               .arg(r.totalSeconds, 0, 'f', 2)
               .arg(r.cpuSeconds, 0, 'f', 2)
        << Qt::endl;
    return 0;
}

QDate parseRocDate(const QString& option, const QString& text) {
    const QDate d = app::ParseEraShort(text);
    if (!d.isValid())
        throw UsageError(
            QStringLiteral("audit: --%1 的日期 '%2' 須寫成民國年/月/日，例如 115/01/01")
                .arg(option, text));
    return d;
}

// One line per event, oldest first by the computer's clock, of both files.
int cmdAudit(const QStringList& rest, QTextStream& out, QTextStream&) {
    const Args a = parse(rest,
                         {QStringLiteral("from"), QStringLiteral("to"), QStringLiteral("voucher"),
                          QStringLiteral("user"), QStringLiteral("kind")},
                         {}, QStringLiteral("audit"));
    expectPositional(a, 1, QStringLiteral("audit"),
                     QStringLiteral("DIR [--from 115/01/01] [--to 115/12/31] [--voucher 單號] "
                                    "[--user 登入名稱] [--kind 事件]"));
    audit::Filter filter;
    if (a.values.contains(QStringLiteral("from")))
        filter.from = parseRocDate(QStringLiteral("from"), a.values.value(QStringLiteral("from")));
    if (a.values.contains(QStringLiteral("to")))
        filter.to = parseRocDate(QStringLiteral("to"), a.values.value(QStringLiteral("to")));
    filter.voucher = a.values.value(QStringLiteral("voucher"));
    filter.login = a.values.value(QStringLiteral("user"));
    if (a.values.contains(QStringLiteral("kind"))) {
        const QString kind = a.values.value(QStringLiteral("kind"));
        filter.kind = audit::kindFromName(kind);
        for (audit::Kind k : audit::allKinds()) {
            if (audit::kindCaption(k) == kind)
                filter.kind = k;
        }
        if (!filter.kind) {
            QStringList names;
            for (audit::Kind k : audit::allKinds())
                names << audit::kindName(k);
            throw UsageError(QStringLiteral("audit: 不認得的事件 %1（%2）")
                                 .arg(kind, names.join(QStringLiteral("、"))));
        }
    }
    const QString dir = a.positional.at(0);
    if (!store::isServerLocation(dir) && !QFileInfo(dir).isDir())
        throw AdminError(QStringLiteral("%1 不是資料夾").arg(dir));
    struct Line {
        QString sortKey;
        QString text;
    };
    QVector<Line> lines;
    for (const auto* f : {&store::schema::acc(), &store::schema::general()}) {
        const store::DatabasePtr db = openFile(dir, *f);
        if (!db->hasTable(QStringLiteral("audit")))
            throw AdminError(QStringLiteral("%1 沒有稽核紀錄；請先執行 orvik-admin upgrade %2")
                                 .arg(f->fileName, dir));
        for (const audit::StoredEvent& e : audit::readEvents(*db, filter)) {
            const auto kind = audit::kindFromName(e.kind);
            lines.push_back(
                {e.realTime + f->fileName + QString::number(e.id).rightJustified(12, u'0'),
                 QStringList{f->fileName, QString::number(e.id),
                             app::FormatEra(e.workDate, app::kEraShort), e.realTime, e.login,
                             kind ? audit::kindCaption(*kind) : e.kind, e.table, e.key, e.voucher,
                             e.before, e.after, e.note}
                     .join(QLatin1Char('\t'))});
        }
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const Line& x, const Line& y) { return x.sortKey < y.sortKey; });
    out << QStringLiteral(
               "檔案\t編號\t工作日期\t時間\t使用者\t事件\t資料表\t鍵值\t收支單\t"
               "變更前\t變更後\t說明")
        << Qt::endl;
    for (const Line& l : lines)
        out << l.text << Qt::endl;
    return 0;
}

int cmdImportMdb(const QStringList& rest, QTextStream& out, QTextStream& err) {
    const Args a = parse(rest, {QStringLiteral("jet3-charset"), QStringLiteral("report")},
                         {QStringLiteral("quiet")}, QStringLiteral("import-mdb"));
    expectPositional(
        a, 2, QStringLiteral("import-mdb"),
        QStringLiteral("LEGACY_DIR DEST [--jet3-charset CP950] [--report FILE] [--quiet]"));
    const QString from = a.positional.at(0);
    if (!QFileInfo(from).isDir())
        throw AdminError(QStringLiteral("%1 不是資料夾").arg(from));
    legacy::MdbSource source(from, a.values.value(QStringLiteral("jet3-charset")));
    legacy::ImportOptions o;
    o.sourceDir = QFileInfo(from).absoluteFilePath();
    o.destDir = a.positional.at(1);
    o.reportPath = a.values.value(QStringLiteral("report"));
    const bool quiet = a.flags.contains(QStringLiteral("quiet"));
    o.progress = [&](const QString& line) {
        if (!quiet)
            err << line << Qt::endl;
    };
    return importMdb(source, o, out, err);
}

int cmdMigrate(const QStringList& rest, QTextStream& out, QTextStream& err) {
    const Args a = parse(rest, {}, {QStringLiteral("quiet")}, QStringLiteral("migrate"));
    expectPositional(a, 2, QStringLiteral("migrate"), QStringLiteral("SOURCE DEST [--quiet]"));
    MigrateOptions o;
    o.source = a.positional.at(0);
    o.dest = a.positional.at(1);
    if (!a.flags.contains(QStringLiteral("quiet")))
        o.progress = [&](const QString& line) { err << line << Qt::endl; };
    const MigrateReport r = migrate(o);
    out << r.text();
    if (r.kept)
        return 0;
    err << QStringLiteral("migrate: 兩邊有 %1 處列數或金額不一致，%2 沒有留下任何東西")
               .arg(r.mismatches.size())
               .arg(r.dest)
        << Qt::endl;
    return 1;
}

int cmdExport(const QStringList& rest, QTextStream& out, QTextStream&) {
    const Args a = parse(rest, {}, {}, QStringLiteral("export"));
    expectPositional(a, 3, QStringLiteral("export"), QStringLiteral("DIR TABLE FILE.csv"));
    const int rows = exportTable(a.positional.at(0), a.positional.at(1), a.positional.at(2));
    out << QStringLiteral("已把 %1 的 %2 列寫到 %3")
               .arg(a.positional.at(1))
               .arg(rows)
               .arg(a.positional.at(2))
        << Qt::endl;
    return 0;
}

int cmdImport(const QStringList& rest, QTextStream& out, QTextStream& err) {
    const Args a = parse(rest, {}, {}, QStringLiteral("import"));
    expectPositional(a, 3, QStringLiteral("import"), QStringLiteral("DIR TABLE FILE.csv"));
    const QString file = a.positional.at(2);
    const ImportResult r = importTable(a.positional.at(0), a.positional.at(1), file);
    if (!r.ok()) {
        for (const CsvRefusal& refusal : r.refusals) {
            if (refusal.line > 0)
                err << QStringLiteral("%1 第 %2 行：%3")
                           .arg(file)
                           .arg(refusal.line)
                           .arg(refusal.reason)
                    << Qt::endl;
            else
                err << QStringLiteral("%1：%2").arg(file, refusal.reason) << Qt::endl;
        }
        err << QStringLiteral("orvik-admin: import: %1 處不合，%2 沒有寫入任何資料")
                   .arg(r.refusals.size())
                   .arg(a.positional.at(1))
            << Qt::endl;
        return 1;
    }
    out << QStringLiteral("已把 %1 列加入 %2").arg(r.rows).arg(a.positional.at(1)) << Qt::endl;
    for (const QString& note : r.notes)
        err << QStringLiteral("orvik-admin: import: ") << note << Qt::endl;
    return 0;
}

}  // namespace

int importMdb(legacy::Source& source, const legacy::ImportOptions& options, QTextStream& out,
              QTextStream& err) {
    // A server's books are imported into a folder of their own first, then moved up whole.
    const QString dest = options.destDir;
    const bool server = store::isServerLocation(dest);
    QTemporaryDir staging;
    if (server) {
        for (const auto* f : store::schema::files()) {
            try {
                store::Database::open(filePath(dest, *f), f->connect());
            } catch (const store::EngineError& e) {
                if (e.number() == store::err::FileNotFound)
                    continue;
                throw AdminError(
                    QStringLiteral("import-mdb: %1 (%2)").arg(e.description()).arg(e.number()));
            }
            throw AdminError(QStringLiteral("import-mdb: %1 已有 %2；只能轉入沒有帳冊的資料庫")
                                 .arg(store::shownLocation(dest), f->fileName));
        }
        if (!staging.isValid())
            throw AdminError(QStringLiteral("import-mdb: 無法建立暫存資料夾"));
    }
    legacy::ImportOptions o = options;
    if (server) {
        o.destDir = QDir(staging.path()).filePath(QStringLiteral("books"));
        if (o.reportPath.isEmpty())
            o.reportPath = QDir::current().filePath(QStringLiteral("轉入報告.txt"));
    }
    legacy::ImportReport r;
    try {
        r = legacy::importLegacy(source, o);
    } catch (const legacy::LegacyError& e) {
        throw AdminError(QStringLiteral("import-mdb: %1").arg(e.message()));
    }
    out << r.text();
    out << QStringLiteral("報告已寫入 %1").arg(r.reportPath) << Qt::endl;
    const int status = legacy::exitStatus(r);
    if (server) {
        MigrateOptions m;
        m.source = r.destDir;
        m.dest = dest;
        m.progress = o.progress;
        const MigrateReport moved = migrate(m);
        out << moved.text();
        if (!moved.kept) {
            err << QStringLiteral("import-mdb: 搬到 %1 時有 %2 處不一致，伺服器上沒有留下帳冊")
                       .arg(moved.dest)
                       .arg(moved.mismatches.size())
                << Qt::endl;
            return 1;
        }
        r.destDir = dest;
    }
    // What the program itself will need (the login's super row, one company row) comes from
    // the old files; say at once when they lack it.
    const CheckResult check = checkFolder(r.destDir);
    for (const auto& p : check.problems)
        err << QStringLiteral("import-mdb: 新資料夾待補：%1").arg(p) << Qt::endl;
    if (status == 0)
        return 0;
    err << QStringLiteral(
               "import-mdb: 新資料夾 %1 已建立，但有 %2 處筆數或金額不一致、%3 "
               "個值無法轉換或寫入%4；請看報告 %5")
               .arg(store::shownLocation(r.destDir))
               .arg(r.mismatches.size())
               .arg(r.problems.size())
               .arg(r.readerWarnings == 0
                        ? QString()
                        : QStringLiteral("，讀取舊檔時有 %1 則警告").arg(r.readerWarnings))
               .arg(r.reportPath)
        << Qt::endl;
    return status;
}

std::optional<QStringList> decodeArguments(int argc, const char* const* argv, QString* error) {
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        const QString arg = utf8.decode(QByteArrayView(argv[i]));
        if (utf8.hasError()) {
            if (error)
                *error = QStringLiteral(
                             "第 %1 個參數不是有效的 UTF-8 文字（%2）；名稱、密碼與"
                             "資料夾都須以 UTF-8 輸入，請檢查終端機的編碼")
                             .arg(i)
                             .arg(arg);
            return std::nullopt;
        }
        args << arg;
    }
    return args;
}

QString usageText() {
    QStringList lines;
    for (const char* l : kUsage)
        lines << QString::fromUtf8(l);
    return lines.join(QLatin1Char('\n'));
}

int runCommand(const QStringList& args, QTextStream& out, QTextStream& err) {
    // What the tool writes is recorded in the audit trail under its own name and the
    // computer's user who ran it.
    if (app::gLoginName.isEmpty())
        app::gLoginName = QStringLiteral("orvik-admin(%1)")
                              .arg(qEnvironmentVariable("USER", QStringLiteral("?")));
    try {
        if (args.isEmpty())
            throw UsageError(QStringLiteral("缺少命令；orvik-admin help 列出所有命令"));
        const QString command = args.at(0);
        const QStringList rest = args.mid(1);
        if (command == QLatin1String("help") || command == QLatin1String("--help") ||
            command == QLatin1String("-h")) {
            out << usageText() << Qt::endl;
            return 0;
        }
        if (command == QLatin1String("init"))
            return cmdInit(rest, out, err);
        if (command == QLatin1String("employee"))
            return cmdEmployee(rest, out, err);
        if (command == QLatin1String("check"))
            return cmdCheck(rest, out, err);
        if (command == QLatin1String("set-path"))
            return cmdSetPath(rest, out, err);
        if (command == QLatin1String("upgrade"))
            return cmdUpgrade(rest, out, err);
        if (command == QLatin1String("backup"))
            return cmdBackup(rest, out, err);
        if (command == QLatin1String("generate"))
            return cmdGenerate(rest, out, err);
        if (command == QLatin1String("export"))
            return cmdExport(rest, out, err);
        if (command == QLatin1String("import"))
            return cmdImport(rest, out, err);
        if (command == QLatin1String("import-mdb"))
            return cmdImportMdb(rest, out, err);
        if (command == QLatin1String("audit"))
            return cmdAudit(rest, out, err);
        if (command == QLatin1String("migrate"))
            return cmdMigrate(rest, out, err);
        throw UsageError(
            QStringLiteral("不認得的命令 %1；orvik-admin help 列出所有命令").arg(command));
    } catch (const AdminError& e) {
        err << QStringLiteral("orvik-admin: ") << e.message() << Qt::endl;
        return e.exitCode();
    } catch (const store::EngineError& e) {
        err << QStringLiteral("orvik-admin: %1 (%2)").arg(e.description()).arg(e.number())
            << Qt::endl;
        return 1;
    } catch (const std::exception& e) {
        err << QStringLiteral("orvik-admin: %1").arg(QString::fromLocal8Bit(e.what())) << Qt::endl;
        return 1;
    } catch (...) {
        err << QStringLiteral("orvik-admin: 不明的錯誤") << Qt::endl;
        return 1;
    }
}

}  // namespace orvik::admin
