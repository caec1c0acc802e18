#include <QAccessible>
#include <QCalendarWidget>
#include <QtTest>

#include "Audit.h"
#include "Clock.h"
#include "Forms.h"
#include "Globals.h"
#include "Modal.h"
#include "Passwords.h"
#include "Program.h"
#include "ProgramSandbox.h"
#include "TestDataFolder.h"
#include "frmLogin.h"
#include "frmPassword.h"

using namespace orvik;
using namespace orvik::shell;
using orvik::testing::onServer;
using orvik::testing::ProgramSandbox;
using orvik::testing::TestDataFolder;

namespace {

const QString kWrong = QStringLiteral("使用者名稱或密碼錯誤，請重新輸入!");

void addEmployee(const QString& no, const QString& login, const QVariant& pass,
                 const QVariant& rights) {
    app::dbGeneral->execute(
        QStringLiteral("INSERT INTO 員工 (員工編號, 中文姓名, 英文姓名, pass, AccS) "
                       "VALUES (?, ?, ?, ?, ?)"),
        {no, QStringLiteral("員工") + no, login, pass, rights});
}

// A fresh start with a database folder and these employees.
struct Fixture {
    TestDataFolder folder;
    ProgramSandbox sandbox;
    Fixture() {
        folder.openAsProgram();
        addEmployee("01", "Chen", "pw1", 5);
        addEmployee("02", "nopass", QVariant(), 3);
        addEmployee("03", "nullrights", "x", QVariant());
        // Text in the rights column comes from old files; a server's typed column holds none.
        addEmployee("04", "textrights", "y", onServer() ? QVariant() : QVariant("abc"));
        addEmployee("05", "O'Brien", "ob", 9);
        addEmployee("06", "Lee", "a", 1);
        addEmployee("07", "lee", "b", 2);
    }
    frmLogin* login() { return app::Forms::get<frmLogin>(); }
    void attempt(const QString& name, const QString& password) {
        login()->txtUserName->setText(name);
        login()->txtPassword->setText(password);
        login()->cmdOK_Click();
    }
};

}  // namespace

class TestLogin : public QObject {
    Q_OBJECT

  private slots:
    void logsInOnlyWithTheExactNameAndPassword_data();
    void logsInOnlyWithTheExactNameAndPassword();
    void rightsNumberOfStoredValues_data();
    void rightsNumberOfStoredValues();
    void threeFailuresEndTheProgram_data();
    void threeFailuresEndTheProgram();
    void closeBoxKeepsRightsAndRestartsTheCount();
    void enterMovesFromNameToPasswordAndSubmits();
    void choosingADateSetsTheWorkingDate();
    void missingVoroRowEndsWithAMessage();
    void passwordsAreKeptOnlyAsHashes();
};

void TestLogin::logsInOnlyWithTheExactNameAndPassword_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("rights");  // -1: the login fails
    QTest::newRow("exact") << "Chen"
                           << "pw1" << 5;
    QTest::newRow("name in other case") << "chen"
                                        << "pw1" << -1;
    QTest::newRow("password in other case") << "Chen"
                                            << "PW1" << -1;
    QTest::newRow("unknown name") << "Lin"
                                  << "pw1" << -1;
    QTest::newRow("null password, empty box") << "nopass"
                                              << "" << 3;
    QTest::newRow("null rights") << "nullrights"
                                 << "x" << 0;
    QTest::newRow("text rights") << "textrights"
                                 << "y" << 0;
    QTest::newRow("two names differing in case") << "lee"
                                                 << "b" << 2;
    QTest::newRow("apostrophe in a stored name") << "O'Brien"
                                                 << "ob" << 9;
    QTest::newRow("apostrophe breaking out") << "x' or '1'='1"
                                             << "" << -1;
}

void TestLogin::logsInOnlyWithTheExactNameAndPassword() {
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(int, rights);
    Fixture f;
    app::gRights = 77;  // a failure must leave it alone
    if (rights < 0)
        f.sandbox.prompts().expectMessage(kWrong);
    f.attempt(name, password);

    QVERIFY(!app::ProgramEnded());
    if (rights >= 0) {
        QCOMPARE(app::gLoggedIn, app::True);
        QCOMPARE(app::gRights, rights);
        QVERIFY(!app::Forms::isLoaded<frmLogin>());  // unloaded on success
    } else {
        const auto& shown = f.sandbox.prompts().shown();
        QCOMPARE(shown.at(0).title, QStringLiteral("登入"));
        QCOMPARE(shown.at(0).icon, app::Icon::Critical);
        QCOMPARE(app::gLoggedIn, app::False);
        QCOMPARE(app::gRights, 77);
        QCOMPARE(f.login()->focusWidget(), f.login()->txtUserName);
        QCOMPARE(f.login()->txtUserName->selectedText(), name);
    }
}

void TestLogin::rightsNumberOfStoredValues_data() {
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("rights");
    QTest::newRow("null") << QVariant() << 0;
    QTest::newRow("number") << QVariant(4194303) << 4194303;
    QTest::newRow("text number") << QVariant("4096") << 4096;
    QTest::newRow("leading number") << QVariant(" 12 abc") << 12;
    QTest::newRow("not a number") << QVariant("abc") << 0;
    QTest::newRow("empty") << QVariant("") << 0;
    QTest::newRow("half to even down") << QVariant(2.5) << 2;
    QTest::newRow("half to even up") << QVariant(3.5) << 4;
    QTest::newRow("beyond 32 bits") << QVariant(qint64(1) << 40) << 0;
}

void TestLogin::rightsNumberOfStoredValues() {
    QFETCH(QVariant, stored);
    QFETCH(int, rights);
    QCOMPARE(RightsNumber(stored), rights);
}

// Three failures end the program, counted together whether typed at the login or as the old
// password of 變更密碼 there ("PP": two wrong old passwords in one opening of that window,
// which closes itself at the last one allowed).
void TestLogin::threeFailuresEndTheProgram_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("three logins") << QStringList{"L", "L", "L"};
    QTest::newRow("a login, then two old passwords") << QStringList{"L", "PP"};
    QTest::newRow("an old password, then two logins") << QStringList{"P", "L", "L"};
    QTest::newRow("three old passwords at once") << QStringList{"PPP"};
}

void TestLogin::threeFailuresEndTheProgram() {
    QFETCH(QStringList, steps);
    Fixture f;
    auto& prompts = f.sandbox.prompts();
    for (int i = 0; i < steps.size(); ++i) {
        const bool last = i == steps.size() - 1;
        QVERIFY(!app::ProgramEnded());
        for (int k = 0; k < steps.at(i).size(); ++k)
            prompts.expectMessage(kWrong);
        if (last)
            prompts.expectMessage(QStringLiteral("錯誤三次,結束系統"));
        if (steps.at(i) == "L") {
            f.attempt("Chen", "no");
            continue;
        }
        f.login()->txtUserName->setText("Chen");
        bool closedItself = false;
        app::ScopedModalHook hook([&](QWidget* w) {
            auto* change = qobject_cast<frmPassword*>(w);
            QVERIFY(change);
            for (int k = 0; k < steps.at(i).size(); ++k) {
                change->txtOld->setText("no");
                change->txtNew->setText("new-pw");
                change->txtConfirm->setText("new-pw");
                change->cmdOK_Click();
            }
            closedItself = !change->isVisible();
            if (!closedItself)
                change->cmdCancel_Click();
        });
        f.login()->cmdChangePassword_Click();
        QCOMPARE(closedItself, last);
    }
    QVERIFY(app::ProgramEnded());
    QCOMPARE(prompts.shown().last().title, QStringLiteral("Voro III"));
    QCOMPARE(prompts.pending(), 0);
    QCOMPARE(app::gLoggedIn, app::False);
}

void TestLogin::closeBoxKeepsRightsAndRestartsTheCount() {
    Fixture f;
    f.sandbox.prompts().expectMessage(kWrong).expectMessage(kWrong);
    f.attempt("Chen", "no");
    f.attempt("Chen", "no");
    f.login()->close();  // the title-bar close box
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!app::Forms::isLoaded<frmLogin>());
    QCOMPARE(app::gRights, 0);
    QCOMPARE(app::gLoggedIn, app::False);
    QVERIFY(!app::ProgramEnded());

    // A fresh load counts from 0 again: two more failures do not end the program.
    f.sandbox.prompts().expectMessage(kWrong).expectMessage(kWrong);
    f.attempt("Chen", "no");
    f.attempt("Chen", "no");
    QVERIFY(!app::ProgramEnded());
}

void TestLogin::enterMovesFromNameToPasswordAndSubmits() {
    Fixture f;
    frmLogin* w = f.login();
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    // Screen readers and test robots find the boxes by the captions beside them.
    const auto name = [](QWidget* box) {
        return QAccessible::queryAccessibleInterface(box)->text(QAccessible::Name);
    };
    QCOMPARE(name(w->txtUserName), QStringLiteral("使用者名稱(U):"));
    QCOMPARE(name(w->txtPassword), QStringLiteral("密碼(P):"));
    QCOMPARE(name(w->DTP), QStringLiteral("今天日期是:"));
    w->txtPassword->setText("old");
    QTest::keyClicks(w->txtUserName, "Chen");
    QTest::keyClick(w->txtUserName, Qt::Key_Return);
    QCOMPARE(w->focusWidget(), w->txtPassword);
    QCOMPARE(w->txtPassword->selectedText(), QStringLiteral("old"));
    QVERIFY(!app::isTrue(app::gLoggedIn));  // Enter in the name box does not submit

    QTest::keyClicks(w->txtPassword, "pw1");  // replaces the selection
    QTest::keyClick(w->txtPassword, Qt::Key_Enter);
    QCOMPARE(app::gLoggedIn, app::True);
    QCOMPARE(app::gRights, 5);
}

void TestLogin::choosingADateSetsTheWorkingDate() {
    Fixture f;
    app::Clock::setFixedNow(QDateTime(QDate(2024, 3, 10), QTime(9, 30)));
    frmLogin* w = f.login();
    QCOMPARE(w->DTP->date(), QDate(2024, 3, 10));
    QCOMPARE(w->lbToday->text(), QStringLiteral("中華民國 113 年 03 月 10 日"));

    // Typed into the box: neither the label nor the working date follow.
    w->DTP->setDate(QDate(2024, 4, 1));
    QCOMPARE(w->lbToday->text(), QStringLiteral("中華民國 113 年 03 月 10 日"));
    QCOMPARE(app::Clock::today(), QDate(2024, 3, 10));

    // Chosen in the drop-down calendar.
    w->show();
    QCalendarWidget* calendar = w->DTP->calendarWidget();
    calendar->window()->show();
    emit calendar->clicked(QDate(2003, 7, 12));
    QVERIFY(!calendar->window()->isVisible());
    QCOMPARE(w->lbToday->text(), QStringLiteral("中華民國 92 年 07 月 12 日"));
    QCOMPARE(app::Clock::today(), QDate(2003, 7, 12));
    QCOMPARE(w->focusWidget(), w->txtUserName);
}

void TestLogin::missingVoroRowEndsWithAMessage() {
    Fixture f;
    app::dbGeneral->execute("DELETE FROM super");
    f.sandbox.prompts().expectMessage(QStringLiteral("voro"));
    f.attempt("Chen", "pw1");
    QVERIFY(app::ProgramEnded());
    QCOMPARE(app::gLoggedIn, app::False);
}

// A plain password left by an older folder logs in once and is then a hash; a hashed one logs
// in with itself only; a change of one's own password takes the old one; none of them stays in
// the file as typed.
void TestLogin::passwordsAreKeptOnlyAsHashes() {
    Fixture f;
    const QString plain = QStringLiteral("舊密碼-plain-4711");
    const QString chosen = QStringLiteral("新的密碼-chosen-0815");
    addEmployee("08", "Wu", plain, 5);
    addEmployee("09", "Hsu", audit::hashPassword(QStringLiteral("hashed-秘密")), 9);
    const auto stored = [](const QString& login) {
        return app::dbGeneral
            ->scalar(QStringLiteral("SELECT pass FROM 員工 WHERE 英文姓名 = ?"), {login})
            .toString();
    };
    // The bytes of the file, free pages included; a server's storage is its own, so there the
    // table is asked.
    const auto fileHolds = [&](const QString& text) {
        if (onServer())
            return app::dbGeneral
                       ->scalar(QStringLiteral("SELECT count(*) FROM 員工 WHERE pass = ?"), {text})
                       .toInt() > 0;
        QFile file(QDir(f.folder.path()).filePath(QStringLiteral("voro3.mdb")));
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(text.toUtf8());
    };
    QVERIFY(fileHolds(plain));  // the older folder's state

    f.attempt(QStringLiteral("Wu"), plain);
    QCOMPARE(app::gLoggedIn, app::True);
    QVERIFY(audit::isHashed(stored(QStringLiteral("Wu"))));
    QVERIFY(audit::passwordMatches(stored(QStringLiteral("Wu")), plain));
    QVERIFY(!fileHolds(plain));

    // A wrong password fails and is recorded; the right one logs in.
    app::gLoggedIn = app::False;
    f.sandbox.prompts().expectMessage(kWrong);
    f.attempt(QStringLiteral("Hsu"), QStringLiteral("hashed-秘密x"));
    QCOMPARE(app::gLoggedIn, app::False);
    const auto failures =
        audit::readEvents(*app::dbGeneral, audit::Filter{.kind = audit::Kind::LoginFailure});
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures.first().key, QStringLiteral("Hsu"));
    f.attempt(QStringLiteral("Hsu"), QStringLiteral("hashed-秘密"));
    QCOMPARE(app::gLoggedIn, app::True);
    QCOMPARE(app::gRights, 9);

    // One's own password: the old one must be given.
    QCOMPARE(audit::changeOwnPassword(*app::dbGeneral, QStringLiteral("Wu"), chosen, plain),
             audit::ChangeResult::WrongPassword);
    QCOMPARE(audit::changeOwnPassword(*app::dbGeneral, QStringLiteral("Wu"), plain, chosen),
             audit::ChangeResult::Changed);
    QVERIFY(audit::passwordMatches(stored(QStringLiteral("Wu")), chosen));
    QVERIFY(!audit::passwordMatches(stored(QStringLiteral("Wu")), plain));
    QVERIFY(!fileHolds(chosen) && !fileHolds(plain));
    app::gLoggedIn = app::False;
    f.sandbox.prompts().expectMessage(kWrong);
    f.attempt(QStringLiteral("Wu"), plain);
    QCOMPARE(app::gLoggedIn, app::False);
    f.attempt(QStringLiteral("Wu"), chosen);
    QCOMPARE(app::gLoggedIn, app::True);
    QCOMPARE(app::gRights, 5);
    const auto changes =
        audit::readEvents(*app::dbGeneral, audit::Filter{.kind = audit::Kind::PasswordChange});
    QVERIFY(!changes.isEmpty());
    for (const auto& e : changes)
        QVERIFY(!e.before.contains(plain) && !e.after.contains(chosen) &&
                !e.after.contains(QStringLiteral("$argon2")));
    QVERIFY(audit::verifyChain(*app::dbGeneral).ok());
}

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
