#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "OrvikApplication.h"
#include "Prompts.h"
#include "ScriptedPrompts.h"

using namespace orvik::app;
using orvik::testing::ScriptedPrompts;

namespace {

// Runs `act` on the first top-level widget of type T that shows up while a dialog is open.
template <class T>
void whenShown(std::function<void(T*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(t);
                return;
            }
        }
    });
    timer->start();
}

}  // namespace

class TestPrompts : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { QVERIFY(installTranslations()); }
    void scriptedPromptsCatchUnexpectedPrompts();
    void qtMessageBoxes();
    void qtInputBoxAndFilters();
};

void TestPrompts::scriptedPromptsCatchUnexpectedPrompts() {
    ScriptedPrompts prompts;
    prompts.setFailTest(false);
    ScopedPrompts installed(prompts);

    // Unscripted: recorded, and answered with the way out that changes the least.
    QCOMPARE(MsgBox(QStringLiteral("刪除?"), Buttons::YesNo), Answer::No);
    QCOMPARE(MsgBox(QStringLiteral("儲存?"), Buttons::YesNoCancel), Answer::Cancel);
    QVERIFY(!InputBox(QStringLiteral("搜尋")).has_value());
    QCOMPARE(prompts.errors().size(), 3);

    prompts.clear();
    prompts.expectMessage(QStringLiteral("確定要"), Answer::Yes)
        .expectInput(QStringLiteral("ABC"))
        .expectInputCancel()
        .expectFile(QStringLiteral("/x/acc.mdb"));
    QCOMPARE(MsgBox(QStringLiteral("確定要刪除嗎?"), Buttons::YesNo, Icon::Question,
                    QStringLiteral("Acc"), DefaultButton::Second),
             Answer::Yes);
    QCOMPARE(InputBox(QStringLiteral("搜尋"), {}, QStringLiteral("舊")).value(),
             QStringLiteral("ABC"));
    QVERIFY(!InputBox(QStringLiteral("搜尋")).has_value());
    QCOMPARE(OpenFileDialog({}, QStringLiteral("/x"), QStringLiteral("a|acc.mdb")),
             QStringLiteral("/x/acc.mdb"));
    QVERIFY(prompts.errors().isEmpty());
    QCOMPARE(prompts.pending(), 0);
    const auto& p = prompts.shown().at(0);
    QCOMPARE(p.icon, Icon::Question);
    QCOMPARE(p.title, QStringLiteral("Acc"));
    QVERIFY(!p.applicationTitle);
    QCOMPARE(p.defaultButton, DefaultButton::Second);
    QCOMPARE(prompts.shown().at(1).defaultText, QStringLiteral("舊"));
    QCOMPARE(prompts.shown().at(3).folder, QStringLiteral("/x"));

    // An empty title is recorded as asked, apart from a box without a title of its own.
    prompts.expectMessage(QStringLiteral("科目")).expectMessage(QStringLiteral("3024"));
    MsgBox(QStringLiteral("請填入科目名稱"), Buttons::OK, Icon::Exclamation, QString());
    MsgBox(QStringLiteral("3024\r\n找不到檔案"));
    QCOMPARE(prompts.shown().at(4).title, QString());
    QVERIFY(!prompts.shown().at(4).applicationTitle);
    QCOMPARE(prompts.shown().at(5).title, QString());
    QVERIFY(prompts.shown().at(5).applicationTitle);

    // Wrong kind, and a text that does not match.
    prompts.expectInput(QStringLiteral("x")).expectMessage(QStringLiteral("甲"));
    MsgBox(QStringLiteral("乙"));
    QCOMPARE(prompts.errors().size(), 1);
    prompts.clear();
}

void TestPrompts::qtMessageBoxes() {
    QString title, yes, no, focused;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        icon = box->icon();
        yes = box->button(QMessageBox::Yes)->text();
        no = box->button(QMessageBox::No)->text();
        focused = box->defaultButton()->text();
        box->defaultButton()->click();
    });
    const Answer answer = MsgBox(QStringLiteral("確定要刪除嗎?"), Buttons::YesNo, Icon::Question,
                                 QStringLiteral("Acc"), DefaultButton::Second);
    QCOMPARE(answer, Answer::No);
    QCOMPARE(title, QStringLiteral("Acc"));
    QCOMPARE(icon, QMessageBox::Question);
    QCOMPARE(focused, no);
    // Qt's Traditional Chinese translations are loaded by the application.
    QVERIFY2(yes.contains(QStringLiteral("是")), qPrintable(yes));
    QVERIFY2(no.contains(QStringLiteral("否")), qPrintable(no));

    QString text, ok;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        ok = box->button(QMessageBox::Ok)->text();
        box->button(QMessageBox::Ok)->click();
    });
    QCOMPARE(MsgBox(QStringLiteral("3024\r\n找不到檔案")), Answer::OK);
    QCOMPARE(title, kApplicationTitle);
    QCOMPARE(text, QStringLiteral("3024\n找不到檔案"));
    QVERIFY2(ok.contains(QStringLiteral("確定")), qPrintable(ok));

    // An empty title stays empty; X11 would show the application's name for "", so the box
    // carries a blank.
    title = QStringLiteral("unset");
    whenShown<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        box->button(QMessageBox::Ok)->click();
    });
    MsgBox(QStringLiteral("請填入科目名稱"), Buttons::OK, Icon::Exclamation, QString());
    QVERIFY2(!title.isEmpty() && title.trimmed().isEmpty(), qPrintable(title));
}

void TestPrompts::qtInputBoxAndFilters() {
    QString label;
    whenShown<QInputDialog>([&](QInputDialog* dialog) {
        label = dialog->labelText();
        dialog->setTextValue(dialog->textValue() + QStringLiteral("費"));
        dialog->accept();
    });
    QCOMPARE(InputBox(QStringLiteral("請輸入搜尋字串"), {}, QStringLiteral("交際")).value(),
             QStringLiteral("交際費"));
    QCOMPARE(label, QStringLiteral("請輸入搜尋字串"));
    whenShown<QInputDialog>([](QInputDialog* dialog) { dialog->reject(); });
    QVERIFY(!InputBox(QStringLiteral("請輸入搜尋字串")).has_value());

    // The path dialog's filter admits acc.mdb whatever its letter case, and nothing else.
    const QStringList filters = qtNameFilters(QStringLiteral("資料庫 檔案(acc.mdb)|acc.mdb"));
    QCOMPARE(filters.size(), 1);
    QVERIFY(filters.at(0).startsWith(QStringLiteral("資料庫 檔案(acc.mdb) (")));
    const QString pattern = filters.at(0).section(QLatin1Char('('), -1).chopped(1);
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern));
    QVERIFY(re.match(QStringLiteral("acc.mdb")).hasMatch());
    QVERIFY(re.match(QStringLiteral("ACC.MDB")).hasMatch());
    QVERIFY(!re.match(QStringLiteral("acc.mdbx")).hasMatch());
    QVERIFY(!re.match(QStringLiteral("pt.mdb")).hasMatch());
    QCOMPARE(qtNameFilters(QStringLiteral("文字|*.txt;*.ini|全部|*")).size(), 2);

    QTemporaryDir dir;
    const QString chosen = dir.filePath(QStringLiteral("ACC.MDB"));
    QFile(chosen).open(QIODevice::WriteOnly);
    QString folder;
    whenShown<QFileDialog>([&](QFileDialog* dialog) {
        folder = dialog->directory().path();
        dialog->selectFile(chosen);
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides its override
    });
    QCOMPARE(OpenFileDialog({}, dir.path(), QStringLiteral("資料庫 檔案(acc.mdb)|acc.mdb")),
             chosen);
    QCOMPARE(folder, dir.path());
    whenShown<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    QCOMPARE(OpenFileDialog({}, dir.path(), QStringLiteral("資料庫 檔案(acc.mdb)|acc.mdb")),
             QString());
}

QTEST_MAIN(TestPrompts)
#include "tst_prompts.moc"
