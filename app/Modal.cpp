#include "Modal.h"

#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <utility>

namespace orvik::app {

namespace {

std::function<void(QWidget*)>& modalHook() {
    static std::function<void(QWidget*)> hook;
    return hook;
}

// Wakes the waiting loop whenever the form may have gone away; the loop itself checks.
class HideWatcher final : public QObject {
  public:
    HideWatcher(QWidget* form, QEventLoop* loop) : form_(form), loop_(loop) {
        form->installEventFilter(this);
        connect(form, &QObject::destroyed, loop, &QEventLoop::quit);
    }
    ~HideWatcher() override {
        if (form_)
            form_->removeEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == form_ && (event->type() == QEvent::Hide || event->type() == QEvent::Close))
            loop_->quit();
        return false;
    }

  private:
    QPointer<QWidget> form_;
    QEventLoop* loop_;
};

}  // namespace

void showModal(QWidget* form) {
    if (!form)
        return;
    QPointer<QWidget> alive(form);
    if (form->isVisible())
        form->hide();  // modality applies only when a window is shown
    form->setWindowModality(Qt::ApplicationModal);
    // Esc leaves a form shown this way as its close box does (a dialog's Esc), so a keyboard
    // user is never stuck in one. The shortcuts are made once per form.
    if (!form->findChild<QShortcut*>(QStringLiteral("escapeCloses"), Qt::FindDirectChildrenOnly)) {
        auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), form);
        escape->setObjectName(QStringLiteral("escapeCloses"));
        QObject::connect(escape, &QShortcut::activated, form, [form] { form->close(); });
        // Enter presses the form's default button (確定, 儲存), as in a dialog, while it is
        // there to be pressed.
        for (QPushButton* button : form->findChildren<QPushButton*>()) {
            if (!button->isDefault())
                continue;
            for (const int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
                auto* enter = new QShortcut(QKeySequence(key), form);
                QObject::connect(enter, &QShortcut::activated, button, [button] {
                    if (button->isVisible() && button->isEnabled())
                        button->click();
                });
            }
            break;
        }
    }
    form->show();

    if (auto hook = modalHook()) {  // a copy: the hook may replace itself
        hook(form);
    } else {
        QEventLoop loop;
        HideWatcher watcher(form, &loop);
        // A minimised window also gets a hide event, hence the loop around exec.
        while (alive && alive->isVisible())
            loop.exec(QEventLoop::DialogExec);
    }

    if (alive) {
        if (alive->isVisible())
            alive->hide();
        alive->setWindowModality(Qt::NonModal);
    }
}

void setModalHook(std::function<void(QWidget*)> hook) {
    modalHook() = std::move(hook);
}

ScopedModalHook::ScopedModalHook(std::function<void(QWidget*)> hook)
    : previous_(std::exchange(modalHook(), std::move(hook))) {}

ScopedModalHook::~ScopedModalHook() {
    modalHook() = std::move(previous_);
}

}  // namespace orvik::app
