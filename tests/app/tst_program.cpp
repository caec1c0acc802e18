#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "Forms.h"
#include "Globals.h"
#include "Modal.h"
#include "OrvikApplication.h"
#include "Program.h"
#include "ProgramSandbox.h"
#include "Prompts.h"
#include "TestDataFolder.h"

using namespace orvik;
using namespace orvik::app;
using testing::ProgramSandbox;

namespace {

class frmSample : public QWidget {
  public:
    frmSample() { ++created; }
    static inline int created = 0;
    bool refuseClose = false;
    int closeEvents = 0;

  protected:
    void closeEvent(QCloseEvent* event) override {
        ++closeEvents;
        if (refuseClose)
            event->ignore();
        else
            event->accept();
    }
};

class frmOther : public QWidget {};

class Receiver : public QObject {
  public:
    int clicks = 0;
    QString lastText;
    void cmdOK_Click() { ++clicks; }
    void txt_Change(const QString& text) { lastText = text; }
    void cmdBad_Click() {
        throw store::EngineError(store::err::RecordLocked, QStringLiteral("鎖定"));
    }
};

class Thrower : public QObject {
  public:
    bool engine = true;

  protected:
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        if (engine)
            throw store::EngineError(store::err::DuplicateKey, QStringLiteral("重複的值"));
        throw std::runtime_error("boom");
    }
};

}  // namespace

class TestProgram : public QObject {
    Q_OBJECT

  private slots:
    void endProgramRollsBackAndReleases();
    void reportEngineErrorShowsNumberAndDescription();
    void handlersSendEngineErrorsToTheReport();
    void applicationCatchesWhatEscapes();
    void formRegistry();
    void modalHookActsOnTheChildForm();
    void modalWithoutHookWaitsForTheForm();
};

void TestProgram::endProgramRollsBackAndReleases() {
    ProgramSandbox sandbox;
    testing::TestDataFolder folder;
    folder.openAsProgram();
    auto keep = dbAcc;
    dbAcc->beginTrans();
    dbAcc->execute(QStringLiteral("insert into iof (單號, 金額) values (?, ?)"),
                   {QStringLiteral("920712001"), 500});

    EndProgram();

    QVERIFY(ProgramEnded());
    QVERIFY(!dbAcc && !dbGeneral && !dbPrint);
    QCOMPARE(keep->transactionDepth(), 0);
    QCOMPARE(keep->scalar(QStringLiteral("select count(*) from iof")).toInt(), 0);
}

void TestProgram::reportEngineErrorShowsNumberAndDescription() {
    ProgramSandbox sandbox;
    sandbox.prompts().expectMessage(QStringLiteral("3022"));
    ReportEngineError(store::EngineError(store::err::DuplicateKey, QStringLiteral("重複的值")));
    const auto& p = sandbox.prompts().shown().at(0);
    QCOMPARE(p.text, QStringLiteral("3022\r\n重複的值"));
    QCOMPARE(p.title, QString());
    QCOMPARE(p.buttons, Buttons::OK);
    QVERIFY(ProgramEnded());
}

void TestProgram::handlersSendEngineErrorsToTheReport() {
    ProgramSandbox sandbox;
    Receiver receiver;
    QPushButton ok, bad, lambda;
    QLineEdit txt;
    // clicked(bool) into handlers that take nothing; textChanged(QString) into one that reads it.
    connectHandler(&ok, &QPushButton::clicked, &receiver, &Receiver::cmdOK_Click);
    connectHandler(&bad, &QPushButton::clicked, &receiver, &Receiver::cmdBad_Click);
    connectHandler(&txt, &QLineEdit::textChanged, &receiver, &Receiver::txt_Change);
    int lambdaRuns = 0;
    connectHandler(&lambda, &QPushButton::clicked, &receiver, [&](bool) { ++lambdaRuns; });

    ok.click();
    txt.setText(QStringLiteral("交際費"));
    lambda.click();
    QCOMPARE(receiver.clicks, 1);
    QCOMPARE(receiver.lastText, QStringLiteral("交際費"));
    QCOMPARE(lambdaRuns, 1);
    QVERIFY(!ProgramEnded());

    sandbox.prompts().expectMessage(QStringLiteral("3218\r\n鎖定"));
    bad.click();
    QVERIFY(ProgramEnded());

    QVERIFY(guard([] {}));
    sandbox.prompts().expectMessage(QStringLiteral("3260"));
    QVERIFY(
        !guard([] { throw store::EngineError(store::err::DatabaseBusy, QStringLiteral("忙")); }));
}

void TestProgram::applicationCatchesWhatEscapes() {
    QVERIFY(qobject_cast<OrvikApplication*>(QCoreApplication::instance()));
    ProgramSandbox sandbox;
    Thrower thrower;
    QEvent event(QEvent::User);
    sandbox.prompts().expectMessage(QStringLiteral("3022\r\n重複的值"));
    QVERIFY(!QCoreApplication::sendEvent(&thrower, &event));
    QVERIFY(ProgramEnded());

    resetProgramEnded();
    thrower.engine = false;
    sandbox.prompts().expectMessage(QStringLiteral("3000\r\nboom"));
    QCoreApplication::sendEvent(&thrower, &event);
    QVERIFY(ProgramEnded());
}

void TestProgram::formRegistry() {
    ProgramSandbox sandbox;
    frmSample::created = 0;
    QVERIFY(!Forms::isLoaded<frmSample>());
    frmSample* first = Forms::get<frmSample>();
    QCOMPARE(Forms::get<frmSample>(), first);
    QCOMPARE(frmSample::created, 1);
    QVERIFY(Forms::isLoaded<frmSample>());
    QVERIFY(Forms::get<frmOther>() != static_cast<QWidget*>(first));

    // A form that refuses to close stays loaded.
    first->refuseClose = true;
    QVERIFY(!Forms::unload<frmSample>());
    QVERIFY(Forms::isLoaded<frmSample>());
    first->refuseClose = false;

    QPointer<QWidget> gone(first);
    QVERIFY(Forms::unload<frmSample>());
    QCOMPARE(first->closeEvents, 2);
    QVERIFY(!Forms::isLoaded<frmSample>());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(gone.isNull());
    Forms::get<frmSample>();
    QCOMPARE(frmSample::created, 2);

    // Closing the window (its close box) unloads it too.
    frmSample* shown = Forms::get<frmSample>();
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    shown->close();
    QVERIFY(!Forms::isLoaded<frmSample>());
    QCOMPARE(frmSample::created, 2);
    Forms::get<frmSample>();
    QCOMPARE(frmSample::created, 3);

    Forms::unloadAll();
    QVERIFY(!Forms::isLoaded<frmSample>());
    QVERIFY(!Forms::isLoaded<frmOther>());
    QVERIFY(Forms::unload<frmOther>());  // nothing loaded: nothing to refuse
}

void TestProgram::modalHookActsOnTheChildForm() {
    ProgramSandbox sandbox;
    QWidget parentForm, child;
    auto* cmdSv = new QPushButton(&child);
    QObject::connect(cmdSv, &QPushButton::clicked, &child, &QWidget::hide);
    bool seenModal = false, nestedSeen = false;
    int calls = 0;
    ScopedModalHook hook([&](QWidget* form) {
        ++calls;
        if (form == &parentForm) {
            showModal(&child);  // a modal form opening another
            return;
        }
        seenModal = form->isVisible() && form->windowModality() == Qt::ApplicationModal;
        nestedSeen = parentForm.isVisible();
        cmdSv->click();
    });
    showModal(&parentForm);
    QCOMPARE(calls, 2);
    QVERIFY(seenModal);
    QVERIFY(nestedSeen);
    QVERIFY(!child.isVisible());
    // Left open by the hook: hidden on return, and modeless again.
    QVERIFY(!parentForm.isVisible());
    QCOMPARE(parentForm.windowModality(), Qt::NonModal);
}

void TestProgram::modalWithoutHookWaitsForTheForm() {
    ProgramSandbox sandbox;
    QWidget form;
    bool shownModal = false;
    QTimer::singleShot(0, &form, [&] {
        shownModal = form.isVisible() && QApplication::activeModalWidget() == &form;
        form.hide();
    });
    showModal(&form);
    QVERIFY(shownModal);
    QVERIFY(!form.isVisible());

    // Closed, and deleted while shown.
    QTimer::singleShot(0, &form, [&] { form.close(); });
    showModal(&form);
    QVERIFY(!form.isVisible());
    auto* doomed = new QWidget;
    QTimer::singleShot(0, doomed, [doomed] { doomed->deleteLater(); });
    QPointer<QWidget> watch(doomed);
    showModal(doomed);
    QVERIFY(watch.isNull());

    // Esc leaves it as the close box does.
    bool closedByEscape = false;
    QTimer::singleShot(0, &form, [&] {
        form.activateWindow();
        if (QTest::qWaitForWindowActive(&form))
            QTest::keyClick(form.windowHandle(), Qt::Key_Escape);
        closedByEscape = !form.isVisible();
        form.hide();  // so that a failure does not hang the test
    });
    showModal(&form);
    QVERIFY(closedByEscape);

    // Enter presses the default button while it can be pressed.
    QWidget dialog;
    auto* ok = new QPushButton(QStringLiteral("確定"), &dialog);
    ok->setDefault(true);
    int pressed = 0;
    QObject::connect(ok, &QPushButton::clicked, &dialog, [&] { ++pressed; });
    QTimer::singleShot(0, &dialog, [&] {
        dialog.activateWindow();
        if (QTest::qWaitForWindowActive(&dialog)) {
            QTest::keyClick(dialog.windowHandle(), Qt::Key_Return);
            ok->setEnabled(false);
            QTest::keyClick(dialog.windowHandle(), Qt::Key_Enter);
        }
        dialog.hide();
    });
    showModal(&dialog);
    QCOMPARE(pressed, 1);
}

int main(int argc, char** argv) {
    OrvikApplication app(argc, argv);
    TestProgram test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_program.moc"
