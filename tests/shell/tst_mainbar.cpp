#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QtTest>

#include "Audit.h"
#include "Clock.h"
#include "Forms.h"
#include "Globals.h"
#include "Modal.h"
#include "Program.h"
#include "ProgramSandbox.h"
#include "Recordset.h"
#include "Routines.h"
#include "Shell.h"
#include "TableDef.h"
#include "TestDataFolder.h"
#include "VoucherEntry.h"
#include "frmAccMain.h"
#include "frmAudit.h"
#include "frmIo.h"
#include "frmLogin.h"

using namespace orvik;
using namespace orvik::shell;
using orvik::testing::onServer;
using orvik::testing::ProgramSandbox;
using orvik::testing::TestDataFolder;

namespace {

const QString kGuard = QStringLiteral("請先關閉收支單作業");

struct Fixture {
    TestDataFolder folder;
    ProgramSandbox sandbox;
    Fixture() { folder.openAsProgram(); }
    frmAccMain* bar() { return app::Forms::get<frmAccMain>(); }
};

QStringList enabledButtons(frmAccMain* bar) {
    QStringList names;
    for (QPushButton* b : {bar->cmdIo, bar->cmdBill, bar->cmdPj, bar->cmdSer, bar->cmdreIo}) {
        if (b->isEnabled())
            names << b->objectName();
    }
    return names;
}

QStringList enabledMenuItems(frmAccMain* bar) {
    QStringList names;
    for (QAction* a : bar->mSys->actions()) {
        if (!a->isSeparator() && a->isEnabled())
            names << a->objectName();
    }
    return names;
}

QStringList column(store::Database& db, const QString& sql) {
    QStringList values;
    auto rs = db.openRecordset(sql, store::RecordsetType::Snapshot);
    for (; !rs.isEOF(); rs.MoveNext())
        values << rs.text(0);
    return values;
}

}  // namespace

class TestMainBar : public QObject {
    Q_OBJECT

  private slots:
    void loadsFoldedAndRestingAtTheTopRight();
    void foldsUnfoldsRestsAndTucks();
    void everyButtonIsReachableAndTheTuckedBarComesBack();
    void rightsEnableExactlyTheirButtonsAndItems_data();
    void rightsEnableExactlyTheirButtonsAndItems();
    void openVoucherFormGuardsEveryEntryButItsOwn();
    void loginIsAskedUntilItSucceeds();
    void exitAsksAboutAnEntryInProgress();
    void trailFromTheBarShowsAVoucherOnDoubleClick();
    void schemaCheckAddsMissingColumns();
    void schemaCheckLeavesPresentColumnsAlone();
    void schemaCheckReportsAFailedRecoveryAndGoesOn();
};

void TestMainBar::loadsFoldedAndRestingAtTheTopRight() {
    Fixture f;
    app::Clock::setFixedNow(QDateTime(QDate(2003, 7, 12), QTime(8, 0)));
    frmAccMain* bar = f.bar();
    const int screenWidth = QGuiApplication::primaryScreen()->geometry().width();
    QCOMPARE(bar->Height(), 900);
    QCOMPARE(bar->Top(), -290);
    QCOMPARE(bar->Left(), screenWidth * 15 - 660 - 5265 - 900);
    QCOMPARE(bar->geometry(), QRect(bar->Left() / 15, -19, 44, 60));
    QCOMPARE(bar->cmdM->toolTip(), QStringLiteral("Ver:2.5 Build:920712 今天是中華民國 92/07/12"));
    QVERIFY(bar->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(bar->windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(!bar->cmdM->accessibleName().isEmpty());
    QVERIFY(!bar->cmdM->icon().isNull());
    // Nothing may be enabled before a login.
    QCOMPARE(enabledButtons(bar), QStringList());
}

void TestMainBar::foldsUnfoldsRestsAndTucks() {
    Fixture f;
    app::gLoggedIn = app::True;
    app::gRights = 4194303;
    frmAccMain* bar = f.bar();
    bar->ApplyRights();

    bar->cmdM->click();
    QCOMPARE(bar->Height(), frmAccMain::kUnfoldedHeight);
    QCOMPARE(bar->height(), frmAccMain::kUnfoldedHeight / 15);
    bar->cmdM->click();
    QCOMPARE(bar->Height(), 900);
    QCOMPARE(bar->height(), 60);

    QTest::mousePress(bar->cmdM, Qt::RightButton);
    QCOMPARE(bar->Top(), -820);
    QCOMPARE(bar->y(), -55);
    QCOMPARE(bar->Height(), 900);
    QTest::mousePress(bar->cmdM, Qt::RightButton);
    QCOMPARE(bar->Top(), -290);
    QTest::mousePress(bar->cmdM, Qt::LeftButton);
    QCOMPARE(bar->Top(), -290);

    // Every entry folds the bar.
    for (QPushButton* b : {bar->cmdBill, bar->cmdPj, bar->cmdSer, bar->cmdreIo}) {
        bar->setHeight(frmAccMain::kUnfoldedHeight);
        b->click();
        QCOMPARE(bar->Height(), 900);
    }
    for (QAction* a : {bar->mSta, bar->mTrans}) {
        bar->setHeight(frmAccMain::kUnfoldedHeight);
        a->trigger();
        QCOMPARE(bar->Height(), 900);
    }
}

void TestMainBar::everyButtonIsReachableAndTheTuckedBarComesBack() {
    Fixture f;
    app::gLoggedIn = app::True;
    app::gRights = 4194303;
    frmAccMain* bar = f.bar();
    bar->ApplyRights();
    const QList<QPushButton*> buttons = {bar->cmdM,   bar->cmdIo,   bar->cmdExit, bar->cmdPj,
                                         bar->cmdSer, bar->cmdreIo, bar->cmdSys,  bar->cmdBill};
    bar->cmdM->click();
    QCOMPARE(bar->Height(), frmAccMain::kUnfoldedHeight);
    for (QPushButton* b : buttons)
        QVERIFY2(b->geometry().bottom() < bar->height(), qPrintable(b->objectName()));

    // Tucked away, a right click on any button that still shows below the screen's top edge
    // brings the bar back; at least one does.
    bar->cmdM->click();
    int reachable = 0;
    for (QPushButton* b : buttons) {
        QTest::mousePress(bar->cmdM, Qt::RightButton);
        QCOMPARE(bar->Top(), frmAccMain::kTuckedTop);
        if (bar->y() + b->geometry().bottom() < 0) {
            QTest::mousePress(bar->cmdM, Qt::RightButton);
            continue;
        }
        ++reachable;
        QTest::mousePress(b, Qt::RightButton);
        QVERIFY2(bar->Top() == frmAccMain::kRestingTop, qPrintable(b->objectName()));
    }
    QVERIFY(reachable > 0);
}

void TestMainBar::rightsEnableExactlyTheirButtonsAndItems_data() {
    QTest::addColumn<int>("rights");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QStringList>("items");
    const QStringList none;
    QTest::newRow("0") << 0 << none << none;
    QTest::newRow("1") << 1 << QStringList{"cmdIo"} << none;
    QTest::newRow("8") << 8 << QStringList{"cmdIo"} << none;
    QTest::newRow("16") << 16 << QStringList{"cmdBill"} << none;
    QTest::newRow("256") << 256 << QStringList{"cmdPj"} << none;
    QTest::newRow("2048") << 2048 << QStringList{"cmdSer"} << none;
    QTest::newRow("4096") << 4096 << QStringList{"cmdreIo"} << none;
    const char* items[] = {"mSta", "mCsh", "mLW", "mSec", "mPer", "mCom", "mTrans"};
    for (int bit = 13; bit <= 19; ++bit)
        QTest::addRow("%d", 1 << bit) << (1 << bit) << none << QStringList{items[bit - 13]};
    QTest::newRow("bits 20 and 21") << (3 << 20) << none << none;
    // A number outside the 22 known bits grants nothing, not what its bit pattern shows.
    QTest::newRow("-1") << -1 << none << none;
    QTest::newRow("bit 22 with all others") << ((1 << 22) | 4194303) << none << none;
    QTest::newRow("all") << 4194303 << QStringList{"cmdIo", "cmdBill", "cmdPj", "cmdSer", "cmdreIo"}
                         << QStringList{"mSta", "mCsh", "mLW", "mSec", "mPer", "mCom", "mTrans"};
}

void TestMainBar::rightsEnableExactlyTheirButtonsAndItems() {
    QFETCH(int, rights);
    QFETCH(QStringList, buttons);
    QFETCH(QStringList, items);
    // Beyond the rights positions: the trail for 統 計 or 權限設定, one's own password always.
    if (app::EffectiveRights(rights) & ((3 << 10) | (1 << 16)))
        items << QStringLiteral("mAudit");
    items << QStringLiteral("mPass");
    Fixture f;
    app::gRights = rights;
    frmAccMain* bar = f.bar();
    bar->ApplyRights();
    QCOMPARE(enabledButtons(bar), buttons);
    QVERIFY(bar->cmdSys->isEnabled());
    QVERIFY(bar->cmdExit->isEnabled());
    bar->cmdSys->click();
    QVERIFY(bar->mSys->isVisible());
    QCOMPARE(enabledMenuItems(bar), items);
    bar->mSys->hide();
}

void TestMainBar::openVoucherFormGuardsEveryEntryButItsOwn() {
    Fixture f;
    app::gLoggedIn = app::True;
    app::gRights = 4194303;
    frmAccMain* bar = f.bar();
    bar->ApplyRights();

    bar->setHeight(frmAccMain::kUnfoldedHeight);
    bar->cmdIo->click();
    QVERIFY(app::isTrue(app::gIoOpen));
    QCOMPARE(bar->Height(), 900);

    for (QPushButton* b : {bar->cmdBill, bar->cmdPj, bar->cmdreIo, bar->cmdSer, bar->cmdSys}) {
        bar->setHeight(frmAccMain::kUnfoldedHeight);
        f.sandbox.prompts().expectMessage(kGuard);
        b->click();
        QCOMPARE(f.sandbox.prompts().pending(), 0);
        const auto& shown = f.sandbox.prompts().shown().last();
        QCOMPARE(shown.title, QStringLiteral("Acc"));
        QCOMPARE(shown.icon, app::Icon::Information);
        QCOMPARE(bar->Height(), frmAccMain::kUnfoldedHeight);
    }
    QVERIFY(!bar->mSys->isVisible());

    // The voucher form's own button just brings it forward, without a message.
    const auto before = f.sandbox.prompts().shown().size();
    bar->cmdIo->click();
    QCOMPARE(f.sandbox.prompts().shown().size(), before);

    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("frmIo"))
            w->close();
    }
    QCOMPARE(app::gIoOpen, app::False);
    bar->cmdBill->click();  // no message now
}

void TestMainBar::exitAsksAboutAnEntryInProgress() {
    Fixture f;
    app::gRights = 4194303;
    frmAccMain* bar = f.bar();
    bar->ApplyRights();
    bar->cmdIo->click();
    QWidget* io = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("frmIo"))
            io = w;
    }
    QVERIFY(io);
    io->findChild<QPushButton*>(QStringLiteral("cmdAdd"))->click();
    auto* use = io->findChild<QComboBox*>(QStringLiteral("cbUse"));
    use->setEditText(QStringLiteral("打到一半"));

    f.sandbox.prompts().expectMessage(QStringLiteral("此收支單尚未儲存"), app::Answer::No);
    bar->cmdExit->click();
    QVERIFY(!app::ProgramEnded());
    QCOMPARE(app::gIoOpen, app::True);
    QCOMPARE(use->currentText(), QStringLiteral("打到一半"));

    f.sandbox.prompts().expectMessage(QStringLiteral("此收支單尚未儲存"), app::Answer::Yes);
    bar->cmdExit->click();
    QVERIFY(app::ProgramEnded());
}

void TestMainBar::loginIsAskedUntilItSucceeds() {
    Fixture f;
    app::dbGeneral->execute(
        "INSERT INTO 員工 (員工編號, 中文姓名, 英文姓名, pass, AccS) VALUES ('1', '陳', 'Chen', "
        "'pw', 16)");
    frmAccMain* bar = f.bar();
    int asked = 0;
    bool succeed = false;
    app::ScopedModalHook hook([&](QWidget* w) {
        auto* login = qobject_cast<frmLogin*>(w);
        QVERIFY(login);
        ++asked;
        if (!succeed) {
            login->close();  // the close box
            return;
        }
        login->txtUserName->setText("Chen");
        login->txtPassword->setText("pw");
        login->cmdOK->click();
    });

    bar->cmdM->click();
    QCOMPARE(asked, 1);
    QCOMPARE(bar->Height(), frmAccMain::kUnfoldedHeight);  // unfolds all the same
    QCOMPARE(enabledButtons(bar), QStringList());

    succeed = true;
    bar->cmdM->click();
    QCOMPARE(asked, 2);
    QCOMPARE(bar->Height(), 900);
    QCOMPARE(enabledButtons(bar), QStringList{"cmdBill"});

    bar->cmdM->click();
    QCOMPARE(asked, 2);  // never again in this run
    QCOMPARE(bar->Height(), frmAccMain::kUnfoldedHeight);
}

// Opened from the bar, the audit window's double-click on an event shows that event's voucher
// in the voucher form, which opens for it.
void TestMainBar::trailFromTheBarShowsAVoucherOnDoubleClick() {
    Fixture f;
    installStartupForms();
    app::Clock::setFixedNow(QDateTime(QDate(2026, 3, 9), QTime(10, 0)));
    store::Database& acc = *app::dbAcc;
    {
        store::Transaction tx(acc);
        for (const auto& [no, amount] : {std::pair{"1150302001", 1200}, {"1150305002", 870}}) {
            acc.execute("insert into iof (單號, 金額, 方式, 發生日期) values (?, ?, -1, ?)",
                        {no, amount, QDate(2026, 3, 2)});
            audit::record(
                acc, {audit::Kind::Insert, "iof", no, {}, audit::rowOf(acc, "iof", "單號", no)});
        }
        tx.commit();
    }
    app::gLoggedIn = app::True;
    app::gRights = (1 << 11) | 1;  // 統 計 and entry
    frmAccMain* bar = f.bar();
    bar->ApplyRights();
    bar->mAudit->trigger();
    QVERIFY(app::Forms::isLoaded<audit::frmAudit>());
    auto* trail = app::Forms::get<audit::frmAudit>();
    QVERIFY(trail->isVisible());
    QCOMPARE(trail->model()->rowCount(), 2);
    const QModelIndex second = trail->model()->index(1, 0);
    QCOMPARE(trail->model()->index(1, 5).data().toString(), QStringLiteral("1150305002"));
    trail->tvEvents_DblClick(second);
    QVERIFY(app::Forms::isLoaded<vouchers::frmIo>());
    auto* io = app::Forms::get<vouchers::frmIo>();
    QVERIFY(io->isVisible());
    QCOMPARE(io->lbNo->text(), QStringLiteral("1150305002"));
    QVERIFY(closeVoucherForm());
    trail->close();
    app::Clock::setFixedNow({});
}

void TestMainBar::schemaCheckAddsMissingColumns() {
    Fixture f;
    store::Database& general = *app::dbGeneral;
    store::Database& acc = *app::dbAcc;
    general.execute("ALTER TABLE 員工 DROP COLUMN AccS");
    general.execute("INSERT INTO 員工 (員工編號, 英文姓名) VALUES ('1', 'a'), ('2', 'b')");
    for (const char* t : {"ri", "ro"}) {
        acc.execute(QStringLiteral("ALTER TABLE %1 DROP COLUMN Let").arg(t));
        acc.execute(QStringLiteral("INSERT INTO %1 (id) VALUES ('x'), ('y')").arg(t));
    }

    f.bar();
    QCOMPARE(f.sandbox.prompts().shown().size(), 0);
    QCOMPARE(column(general, "SELECT AccS FROM 員工"), (QStringList{"1", "1"}));
    general.execute("INSERT INTO 員工 (員工編號, 英文姓名) VALUES ('3', 'c')");
    QCOMPARE(column(general, "SELECT AccS FROM 員工 WHERE 員工編號 = '3'"), QStringList{"1"});
    for (const char* t : {"ri", "ro"}) {
        QCOMPARE(acc.tableDef(t).fieldNames().last(), QStringLiteral("Let"));
        // The added column is text, with '0' in the rows there were.
        const QString type = onServer() ? "citext" : "text";
        QCOMPARE(column(acc, QString(onServer() ? "SELECT pg_typeof(Let)::text || Let FROM %1"
                                                : "SELECT typeof(Let) || Let FROM %1")
                                 .arg(t)),
                 (QStringList{type + "0", type + "0"}));
        acc.execute(QStringLiteral("INSERT INTO %1 (id, Let) VALUES ('z', '')").arg(t));
        QCOMPARE(column(acc, QStringLiteral("SELECT Let FROM %1 WHERE id = 'z'").arg(t)),
                 QStringList{""});
    }
}

void TestMainBar::schemaCheckLeavesPresentColumnsAlone() {
    Fixture f;
    app::dbGeneral->execute(
        "INSERT INTO 員工 (員工編號, 英文姓名, AccS) VALUES ('1', 'a', 7), ('2', 'b', NULL)");
    app::dbAcc->execute("INSERT INTO ri (id, Let) VALUES ('x', 'keep'), ('y', NULL)");
    const QStringList general = app::dbGeneral->tableDef("員工").fieldNames();

    f.bar();
    QCOMPARE(f.sandbox.prompts().shown().size(), 0);
    QCOMPARE(app::dbGeneral->tableDef("員工").fieldNames(), general);
    QCOMPARE(column(*app::dbGeneral, "SELECT ifnull(AccS || '', 'null') FROM 員工"),
             (QStringList{"7", "null"}));
    QCOMPARE(column(*app::dbAcc, "SELECT ifnull(Let, 'null') FROM ri"),
             (QStringList{"keep", "null"}));
}

void TestMainBar::schemaCheckReportsAFailedRecoveryAndGoesOn() {
    Fixture f;
    app::dbGeneral->execute("DROP TABLE 員工");
    app::dbAcc->execute("ALTER TABLE ri DROP COLUMN Let");
    f.sandbox.prompts().expectMessage(QStringLiteral("員工"));
    f.bar();
    QCOMPARE(f.sandbox.prompts().shown().at(0).title, QString());
    QVERIFY(!app::ProgramEnded());
    QVERIFY(app::dbAcc->tableDef("ri").hasField("Let"));
}

QTEST_MAIN(TestMainBar)
#include "tst_mainbar.moc"
