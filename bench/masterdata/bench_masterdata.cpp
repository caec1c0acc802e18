// bench_masterdata: how long each master-data window takes to open on a large folder, and the
// totals of its largest project beside bare SQLite running the same statement.
//
//   QT_QPA_PLATFORM=offscreen bench_masterdata DIR [--rounds R]
//
// DIR is a folder made by bench_vouchers (--keep) or `orvik-admin generate`, at the current
// schema version (`orvik-admin upgrade DIR` first if it is older).

#include <sqlite3.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTextStream>
#include <algorithm>
#include <functional>
#include <vector>

#include "Forms.h"
#include "Globals.h"
#include "ProjectTotals.h"
#include "Prompts.h"
#include "Schema.h"
#include "frmCompany.h"
#include "frmContracts.h"
#include "frmEmployees.h"
#include "frmProjects.h"
#include "frmRights.h"
#include "frmWords.h"

using namespace orvik;
using namespace orvik::masterdata;

namespace {

QTextStream out(stdout);

double elapsedMs(const std::function<void()>& work) {
    QElapsedTimer t;
    t.start();
    work();
    return double(t.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Nothing is asked on a bench; a message would be a fault of the folder.
class QuietPrompts final : public app::PromptService {
  public:
    app::Answer message(const app::MessageRequest& request) override {
        out << "message: " << request.text << '\n';
        return app::Answer::No;
    }
    std::optional<QString> input(const app::InputRequest&) override { return std::nullopt; }
    QString openFile(const app::FileRequest&) override { return {}; }
};

template <class Form>
double openOnce() {
    const double ms = elapsedMs([] {
        QWidget* w = app::Forms::get<Form>();
        w->show();
        QApplication::processEvents();
    });
    app::Forms::unload<Form>();
    QApplication::processEvents();
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.size() < 2) {
        out << "usage: bench_masterdata DIR [--rounds R]\n";
        return 2;
    }
    const QString dir = args.at(1);
    const int at = args.indexOf(QStringLiteral("--rounds"));
    const int rounds = at > 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : 5;
    QuietPrompts quiet;
    app::ScopedPrompts prompts(quiet);

    app::gDataPath = dir;
    const auto open = [&dir](const store::schema::File& file) {
        return store::Database::open(QDir(dir).filePath(file.fileName), file.connect());
    };
    app::dbAcc = open(store::schema::acc());
    app::dbGeneral = open(store::schema::general());
    app::dbPrint = open(store::schema::print());
    app::gRights = 4194303;
    out << "vouchers: "
        << app::dbAcc->scalar(QStringLiteral("select count(*) from iof")).toLongLong()
        << ", rounds " << rounds << '\n';

    struct Window {
        const char* name;
        double (*open)();
    };
    const Window windows[] = {{"公司資料 frmCompany", &openOnce<frmCompany>},
                              {"員工資料 frmEmployees", &openOnce<frmEmployees>},
                              {"權限設定 frmRights", &openOnce<frmRights>},
                              {"詞庫 frmWords", &openOnce<frmWords>},
                              {"專案 frmProjects", &openOnce<frmProjects>},
                              {"應收付 frmContracts", &openOnce<frmContracts>}};
    for (const Window& w : windows) {
        std::vector<double> ms;
        w.open();  // warm the page cache
        for (int r = 0; r < rounds; ++r)
            ms.push_back(w.open());
        out << "open " << w.name << ": median " << QString::number(median(ms), 'f', 1)
            << " ms (target 300)\n";
    }

    // The largest project, found once (not timed).
    const QString project =
        app::dbAcc
            ->scalar(QStringLiteral("select 專案號碼 from iof where coalesce(專案號碼, '') <> '' "
                                    "group by 專案號碼 order by count(*) desc limit 1"))
            .toString();
    const qint64 count =
        app::dbAcc->scalar(QStringLiteral("select count(*) from iof where 專案號碼 = ?"), {project})
            .toLongLong();
    std::vector<double> ours, bare;
    sqlite3* db = nullptr;
    sqlite3_open_v2(QDir(dir).filePath(QStringLiteral("acc.mdb")).toUtf8().constData(), &db,
                    SQLITE_OPEN_READONLY, nullptr);
    const QByteArray sql = projectTotalsSql().toUtf8();
    const QByteArray code = project.toUtf8();
    const auto bareRun = [&] {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr);
        sqlite3_bind_text(st, 1, code.constData(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(st) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(st); ++c)
                sqlite3_column_int64(st, c);
        sqlite3_finalize(st);
    };
    bareRun();
    (void)projectTotals(*app::dbAcc, project);
    for (int r = 0; r < rounds; ++r) {
        bare.push_back(elapsedMs(bareRun));
        ours.push_back(elapsedMs([&] { (void)projectTotals(*app::dbAcc, project); }));
    }
    sqlite3_close(db);

    // What the user waits for: the largest project chosen in 專案, its totals and its vouchers
    // listed.
    std::vector<double> choose;
    auto* form = app::Forms::get<frmProjects>();
    form->show();
    const QAbstractItemModel* m = form->lstProjects->model();
    int row = -1;
    for (int r = 0; r < m->rowCount() && row < 0; ++r)
        if (m->index(r, 0).data().toString() == project)
            row = r;
    for (int r = 0; r < rounds && row >= 0; ++r) {
        form->lstProjects->selectionModel()->clear();
        choose.push_back(elapsedMs([&] {
            form->lstProjects->selectionModel()->setCurrentIndex(
                m->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            QApplication::processEvents();
        }));
    }
    out << "project " << project << " (" << count << " vouchers) totals: median "
        << QString::number(median(ours), 'f', 1) << " ms, bare SQLite "
        << QString::number(median(bare), 'f', 1) << " ms (target 500, within 2x)\n";
    out << "choose it in 專案 (totals and voucher list): median "
        << QString::number(median(choose), 'f', 1) << " ms\n";

    app::Forms::unloadAll();
    app::resetGlobals();
    return 0;
}
