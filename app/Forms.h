#pragma once

// The form registry: each form class has one program-wide instance, created on first use and
// kept until it is unloaded. A form is unloaded by Forms::unload<T>() or by closing it (its
// close box, or close()), as the original forms were; the next get<T>() makes a fresh one.
//
// Requirements on a form class T: a QWidget with a default constructor, not final, and, if it
// overrides closeEvent, that override must be protected or public. Its closeEvent is where
// unload work belongs (gIoOpen = False...); ignoring the event keeps the form loaded.

#include <QCloseEvent>
#include <QWidget>
#include <typeindex>

namespace orvik::app {

namespace detail {

QWidget* findForm(std::type_index type);
void addForm(std::type_index type, QWidget* form);
// The form accepted its close: forget it, hide it and delete it once control is back in the
// event loop (it may be inside one of its own handlers).
void formClosed(QWidget* form);
bool closeForm(QWidget* form);

template <class T>
class LoadedForm final : public T {
  public:
    using T::T;

  protected:
    void closeEvent(QCloseEvent* event) override {
        T::closeEvent(event);
        if (event->isAccepted())
            formClosed(this);
    }
};

}  // namespace detail

class Forms {
  public:
    // The loaded instance of T, created (not shown) on first use.
    template <class T>
    static T* get() {
        if (QWidget* form = detail::findForm(typeid(T)))
            return static_cast<T*>(form);
        T* form = new detail::LoadedForm<T>();
        detail::addForm(typeid(T), form);
        return form;
    }

    template <class T>
    static bool isLoaded() {
        return detail::findForm(typeid(T)) != nullptr;
    }

    // Closes the instance of T, running its closeEvent. Gives false when the form refused
    // (ignored the close event) and stays loaded; true otherwise, also when none was loaded.
    template <class T>
    static bool unload() {
        QWidget* form = detail::findForm(typeid(T));
        return form ? detail::closeForm(form) : true;
    }

    // Forgets, hides and deletes (once back in the event loop) every loaded form without
    // running the forms' close handling. For the end of the program and for tests.
    static void unloadAll();
};

}  // namespace orvik::app
