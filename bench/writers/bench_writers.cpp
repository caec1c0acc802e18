// bench_writers: several copies of the program saving at once through the voucher form, on a
// folder or a server; how long each save waited and whether anything was lost.
//
//   QT_QPA_PLATFORM=offscreen bench_writers [DIR|URI] [--writers N] [--saves S]
//
// Without DIR a demo folder is made in a temporary directory (orvik-admin init --demo). Each of
// the N writers (8 by default) is this program started again with --writer; it saves S (25)
// new vouchers, each followed by its approval in cash, and prints the wall time of every save.
// Afterwards the books are checked: every voucher there, its number unique, the cash ledger's
// ids gap-free and each balance the one before it plus the movement.

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "Forms.h"
#include "Globals.h"
#include "Program.h"
#include "Prompts.h"
#include "Schema.h"
#include "frmIo.h"

using namespace orvik;

namespace {

QTextStream out(stdout);

// Answers every prompt with its safest button and counts them; a writer expects none.
class QuietPrompts final : public app::PromptService {
  public:
    int shown = 0;
    app::Answer message(const app::MessageRequest& r) override {
        ++shown;
        std::fprintf(stderr, "prompt: %s\n", qPrintable(r.text));
        return r.buttons == app::Buttons::YesNo ? app::Answer::No : app::Answer::OK;
    }
    std::optional<QString> input(const app::InputRequest&) override { return std::nullopt; }
    QString openFile(const app::FileRequest&) override { return {}; }
};

void openBooks(const QString& location) {
    app::gDataPath = location;
    app::dbAcc = store::Database::open(store::databasePath(location, store::schema::acc().fileName),
                                       store::schema::acc().connect());
    app::dbGeneral =
        store::Database::open(store::databasePath(location, store::schema::general().fileName),
                              store::schema::general().connect());
    app::dbPrint =
        store::Database::open(store::databasePath(location, store::schema::print().fileName),
                              store::schema::print().connect());
}

double timed(const std::function<void()>& work) {
    QElapsedTimer t;
    t.start();
    work();
    return double(t.nsecsElapsed()) / 1e6;
}

// One copy of the program: prints "save MS" and "approve MS" per voucher, then "prompts N".
int writer(const QString& location, const QString& tag, int saves) {
    QuietPrompts prompts;
    app::ScopedPrompts installed(prompts);
    app::setEndProgramHook([] {
        std::fprintf(stderr, "the program ended on an engine error\n");
        std::_Exit(3);
    });
    app::gRights = 4194303;
    int status = 0;
    try {
        openBooks(location);
        auto* f = app::Forms::get<vouchers::frmIo>();
        f->show();
        for (int i = 0; i < saves; ++i) {
            const QString use = QStringLiteral("%1-%2").arg(tag).arg(i);
            f->cmdAdd_Click();
            f->cbUse->setEditText(use);
            f->txtCash->setText(QString::number(10 * (i + 1)));
            const int row = i % std::max(1, f->cbAcc->count());
            f->cbAcc->setCurrentIndex(row);
            f->cbAcc_Click(row);
            out << "save " << timed([&] { f->cmdSv_Click(); }) << Qt::endl;
            const QString no =
                app::dbAcc->scalar(QStringLiteral("select 單號 from iof where 用途說明 = ?"), {use})
                    .toString();
            f->showVoucherNo(no);
            f->ck->setChecked(true);
            f->optA[0]->setChecked(true);
            out << "approve " << timed([&] { f->cmdSv_Click(); }) << Qt::endl;
        }
    } catch (const store::EngineError& e) {
        std::fprintf(stderr, "%d %s\n", e.number(), qPrintable(e.description()));
        status = 1;
    }
    out << "prompts " << prompts.shown << Qt::endl;
    app::Forms::unloadAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    app::resetGlobals();
    return status ? status : (prompts.shown ? 4 : 0);
}

double percentile(std::vector<double> v, int p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, v.size() * size_t(p) / 100)];
}

qint64 count(const QString& sql, const QVariantList& params = {}) {
    return app::dbAcc->scalar(sql, params).toLongLong();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.value(0) == QLatin1String("--writer"))
        return writer(args.value(1), args.value(2), args.value(3).toInt());

    QString location;
    int writers = 8, saves = 25;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--writers") && i + 1 < args.size())
            writers = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--saves") && i + 1 < args.size())
            saves = std::max(1, args[++i].toInt());
        else
            location = args[i];
    }
    QTemporaryDir temp;
    if (location.isEmpty()) {
        location = temp.filePath(QStringLiteral("data"));
        if (QProcess::execute(QStringLiteral(ORVIK_ADMIN),
                              {QStringLiteral("init"), location, QStringLiteral("--demo")}) != 0)
            return 1;
    }
    openBooks(location);
    const qint64 vouchersBefore = count(QStringLiteral("select count(*) from iof"));
    const qint64 cashBefore = count(QStringLiteral("select coalesce(max(id), 0) from cash"));

    QElapsedTimer wall;
    wall.start();
    std::vector<QProcess*> copies;
    for (int w = 0; w < writers; ++w) {
        auto* p = new QProcess(&application);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--writer"), location, QStringLiteral("bench-w%1").arg(w),
                  QString::number(saves)});
        copies.push_back(p);
    }
    std::vector<double> saveMs, approveMs, worst;
    int failed = 0;
    for (QProcess* p : copies) {
        p->waitForFinished(-1);
        failed += p->exitCode() != 0;
        double mine = 0;
        for (const QByteArray& line : p->readAllStandardOutput().split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            const double v = parts.value(1).toDouble();
            if (parts.value(0) == "save")
                saveMs.push_back(v);
            else if (parts.value(0) == "approve")
                approveMs.push_back(v);
            if (parts.value(0) == "save" || parts.value(0) == "approve")
                mine = std::max(mine, v);
        }
        worst.push_back(mine);
    }
    const double seconds = double(wall.elapsed()) / 1000;

    // Nothing lost: every voucher, unique numbers, every cash movement in an unbroken chain.
    const qint64 expected = qint64(writers) * saves;
    const qint64 added = count(QStringLiteral("select count(*) from iof")) - vouchersBefore;
    const qint64 distinct =
        count(QStringLiteral("select count(distinct 單號) from iof where "
                             "用途說明 like 'bench-w%'"));
    const qint64 approved =
        count(QStringLiteral("select count(*) from iof where 用途說明 like "
                             "'bench-w%' and 方式 = 0"));
    const qint64 cashAdded =
        count(QStringLiteral("select count(*) from cash where id > ?"), {cashBefore});
    const qint64 cashMax = count(QStringLiteral("select coalesce(max(id), 0) from cash"));
    const qint64 broken = count(
        QStringLiteral("select count(*) from cash c join cash p on p.id = c.id - 1 where c.id > ? "
                       "and c.bala <> p.bala + case when c.收入 <> 0 then c.異動金額 else "
                       "-c.異動金額 end"),
        {cashBefore});

    out << (store::isServerLocation(location) ? "server " : "folder ")
        << store::shownLocation(location) << Qt::endl;
    out << writers << " writers x " << saves
        << " vouchers, each saved and approved in cash: " << QString::number(seconds, 'f', 1)
        << " s" << Qt::endl;
    out << "save     median " << percentile(saveMs, 50) << " ms, p99 " << percentile(saveMs, 99)
        << " ms, max " << percentile(saveMs, 100) << " ms" << Qt::endl;
    out << "approve  median " << percentile(approveMs, 50) << " ms, p99 "
        << percentile(approveMs, 99) << " ms, max " << percentile(approveMs, 100) << " ms"
        << Qt::endl;
    const double longest = percentile(worst, 100);
    out << "longest wait of any writer " << longest
        << " ms (target < 2000 ms): " << (longest < 2000 ? "ok" : "OVER") << Qt::endl;
    const bool whole = added == expected && distinct == expected && approved == expected &&
                       cashAdded == expected && cashMax == cashBefore + expected && broken == 0 &&
                       failed == 0;
    out << "vouchers added " << added << "/" << expected << ", distinct numbers " << distinct
        << ", approved " << approved << ", cash rows " << cashAdded << " (ids to " << cashMax
        << "), broken balances " << broken << ", failed writers " << failed << ": "
        << (whole ? "nothing lost" : "LOST OR BROKEN") << Qt::endl;
    app::resetGlobals();
    return whole ? 0 : 1;
}
