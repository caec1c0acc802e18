#pragma once

// Showing a form modally. Every modal form of the program goes through showModal, so that a
// test can act on the child form while it is "open" instead of running an event loop.

#include <QWidget>
#include <functional>

namespace orvik::app {

// Shows `form` application-modal and returns when it has been hidden, closed or destroyed.
// A form that was showing modeless is shown again modal; afterwards it is modeless again.
void showModal(QWidget* form);

// Test hook: when set, showModal shows the form, calls `hook` with it instead of waiting, and
// hides the form if it is still visible afterwards. An empty function removes the hook.
void setModalHook(std::function<void(QWidget*)> hook);

// Installs a modal hook for the lifetime of the object, then restores the previous one.
class ScopedModalHook {
  public:
    explicit ScopedModalHook(std::function<void(QWidget*)> hook);
    ~ScopedModalHook();
    ScopedModalHook(const ScopedModalHook&) = delete;
    ScopedModalHook& operator=(const ScopedModalHook&) = delete;

  private:
    std::function<void(QWidget*)> previous_;
};

}  // namespace orvik::app
