#include "Screens.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QEventLoop>
#include <QScreen>
#include <QTextStream>
#include <QTimer>

#include "Forms.h"
#include "Globals.h"
#include "Modal.h"
#include "Prompts.h"
#include "frmAccMain.h"
#include "frmLogin.h"
#include "frmPath.h"

namespace orvik::shell {

using namespace orvik::app;

namespace {

// Lets the windows map and paint.
void settle(int ms = 300) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class EchoPrompts final : public PromptService {
  public:
    Answer message(const MessageRequest& request) override {
        QTextStream(stderr) << "screens: message [" << request.title << "] " << request.text
                            << '\n';
        return request.buttons == Buttons::YesNo ? Answer::No : Answer::OK;
    }
    std::optional<QString> input(const InputRequest&) override { return std::nullopt; }
    QString openFile(const FileRequest&) override { return {}; }
};

class Tour {
  public:
    explicit Tour(const QString& folder) : dir_(folder) { dir_.mkpath(QStringLiteral(".")); }

    bool saveWidget(QWidget* w, const QString& name) { return save(w->grab(), name); }
    bool saveScreen(const QString& name) {
        QScreen* screen = QGuiApplication::primaryScreen();
        // Platforms without a screen to read (offscreen) give a null picture; skip it then.
        const QPixmap shot = screen ? screen->grabWindow(0) : QPixmap();
        return shot.isNull() || save(shot, name);
    }

    bool ok = true;

  private:
    bool save(const QPixmap& pm, const QString& name) {
        const QString file = dir_.filePath(name + QStringLiteral(".png"));
        const bool saved = !pm.isNull() && pm.save(file);
        QTextStream(stderr) << "screens: " << (saved ? "wrote " : "FAILED ") << file << '\n';
        ok = ok && saved;
        return saved;
    }

    QDir dir_;
};

}  // namespace

bool runScreenTour(const QString& folder, const QString& login, const QString& password) {
    Tour tour(folder);
    EchoPrompts echo;
    ScopedPrompts prompts(echo);

    auto* bar = Forms::get<frmAccMain>();
    bar->show();
    settle(600);
    tour.saveWidget(bar, QStringLiteral("bar-folded"));
    tour.saveScreen(QStringLiteral("screen-bar-folded"));

    {
        ScopedModalHook hook([&](QWidget* form) {
            auto* f = qobject_cast<frmLogin*>(form);
            if (!f)
                return;
            settle();
            tour.saveWidget(f, QStringLiteral("login"));
            tour.saveScreen(QStringLiteral("screen-login"));
            f->txtUserName->setText(login);
            f->txtPassword->setText(password);
            f->cmdOK_Click();
        });
        bar->cmdM_Click();
    }
    if (!isTrue(gLoggedIn)) {
        QTextStream(stderr) << "screens: the login as " << login << " did not succeed\n";
        return false;
    }
    settle();
    tour.saveWidget(bar, QStringLiteral("bar-unfolded"));
    tour.saveScreen(QStringLiteral("screen-bar-unfolded"));

    // The system menu pops up at the mouse; put the mouse beside the bar first.
    QCursor::setPos(bar->geometry().bottomLeft() + QPoint(-4, -10));
    bar->cmdSys_Click();
    settle();
    tour.saveWidget(bar->mSys, QStringLiteral("menu-system"));
    tour.saveScreen(QStringLiteral("screen-menu-system"));
    bar->mSys->hide();

    bar->cmdM_MouseDown(Qt::RightButton);
    settle();
    tour.saveScreen(QStringLiteral("screen-bar-tucked"));
    bar->cmdM_MouseDown(Qt::RightButton);

    // Start-up shows the path dialog only for a wrong folder; here it is shown as it would be.
    auto* path = Forms::get<frmPath>();
    path->show();
    path->cmdPth_MouseMove(0);
    settle();
    tour.saveWidget(path, QStringLiteral("path"));
    Forms::unload<frmPath>();
    return tour.ok;
}

}  // namespace orvik::shell
