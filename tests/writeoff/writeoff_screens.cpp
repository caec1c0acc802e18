// Renders the write-off form for scripts/screens-writeoff: a sample database folder, an item
// chosen and a row clicked, grabbed to PNG files in the folder given as the argument.

#include <QApplication>
#include <QDir>
#include <QTableWidget>
#include <QTest>
#include <cstdio>

#include "Clock.h"
#include "Forms.h"
#include "Globals.h"
#include "TestDataFolder.h"
#include "WriteOffHandOver.h"
#include "frmMach.h"

using namespace orvik;

namespace {

void addSample(store::Database& db, const QString& prefix) {
    const auto item = [&](const QString& id, const QString& name) {
        db.execute(QStringLiteral("insert into %1 (id, 收名稱) values (?, ?)").arg(prefix),
                   {id, name});
    };
    const auto instalment = [&](const QString& id, int period, qint64 amount, double share) {
        db.execute(QStringLiteral("insert into %1期 values (?, ?, ?, '2024-06-30', ?, "
                                  "'2024-06-01', ?, null, null, 0, null, null, 0)")
                       .arg(prefix),
                   {id, period, amount, share, QStringLiteral("AB%1").arg(12345670 + period)});
    };
    const auto addition = [&](const QString& id, int period, qint64 amount) {
        db.execute(QStringLiteral("insert into %1加 values (?, ?, ?, ?, ?, '2024-07-15', "
                                  "'2024-07-01', ?, null, null, 0, null, null, 0)")
                       .arg(prefix),
                   {id, period, QStringLiteral("Q113-%1").arg(period, 3, 10, QLatin1Char('0')),
                    QStringLiteral("C113-%1").arg(period, 3, 10, QLatin1Char('0')), amount,
                    QStringLiteral("CD%1").arg(88880000 + period)});
    };
    item(QStringLiteral("P113-001"), QStringLiteral("信義區辦公大樓機電工程"));
    item(QStringLiteral("P113-002"), QStringLiteral("桃園廠房空調更新"));
    item(QStringLiteral("P113-003"), QStringLiteral("台中倉儲消防設備"));
    for (int p = 1; p <= 12; ++p)
        instalment(QStringLiteral("P113-001"), p, 1250000 + p * 1000, 0.08);
    addition(QStringLiteral("P113-001"), 2, 86000);
    addition(QStringLiteral("P113-001"), 12, 1234567);
    instalment(QStringLiteral("P113-002"), 1, 300000, 0.5);
    instalment(QStringLiteral("P113-003"), 1, 99000, 1);
}

bool grab(QWidget* form, const QString& path) {
    QApplication::processEvents();
    const bool ok = form->grab().save(path);
    std::printf("screens: %s%s\n", qPrintable(path), ok ? "" : " (failed)");
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: writeoff_screens OUTPUT-FOLDER\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    testing::TestDataFolder folder;
    folder.openAsProgram();
    app::Clock::setFixedNow(QDateTime(QDate(2024, 5, 10), QTime(10, 0)));
    addSample(*app::dbAcc, QStringLiteral("ri"));
    addSample(*app::dbAcc, QStringLiteral("ro"));
    writeoff::setVoucherSource([] {
        return writeoff::VoucherForWriteOff{QStringLiteral("1130510001"), QStringLiteral("1251000"),
                                            QDate(2024, 5, 10), true};
    });

    bool ok = true;
    for (bool income : {true, false}) {
        const QString name = income ? QStringLiteral("receivable") : QStringLiteral("payable");
        app::gMachIncome = app::toBool16(income);
        auto* form = app::Forms::get<writeoff::frmMach>();
        form->show();
        ok = grab(form, out + QStringLiteral("/writeoff-%1-list.png").arg(name)) && ok;
        form->lstRio->setCurrentItem(form->lstRio->topLevelItem(0));
        QTableWidget* grid = income ? form->hfgC : form->hfgR;
        const int row = income ? 3 : 2;
        QTest::mousePress(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                          grid->visualRect(grid->model()->index(row, 1)).center());
        ok = grab(form, out + QStringLiteral("/writeoff-%1-chosen.png").arg(name)) && ok;
        app::Forms::unload<writeoff::frmMach>();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    app::resetGlobals();
    return ok ? 0 : 1;
}
