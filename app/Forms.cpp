#include "Forms.h"

#include <QCoreApplication>
#include <QPointer>
#include <unordered_map>

namespace orvik::app {

namespace {

std::unordered_map<std::type_index, QPointer<QWidget>>& registry() {
    static std::unordered_map<std::type_index, QPointer<QWidget>> forms;
    return forms;
}

}  // namespace

namespace detail {

QWidget* findForm(std::type_index type) {
    auto& forms = registry();
    const auto it = forms.find(type);
    if (it == forms.end())
        return nullptr;
    if (!it->second) {  // deleted behind the registry's back
        forms.erase(it);
        return nullptr;
    }
    return it->second.data();
}

void addForm(std::type_index type, QWidget* form) {
    registry()[type] = form;
}

void formClosed(QWidget* form) {
    auto& forms = registry();
    for (auto it = forms.begin(); it != forms.end(); ++it) {
        if (it->second == form) {
            forms.erase(it);
            break;
        }
    }
    form->hide();
    form->deleteLater();
}

bool closeForm(QWidget* form) {
    // Sent directly rather than through close(), so that a form that was never shown, or is
    // hidden, still runs its close handling.
    QCloseEvent event;
    QCoreApplication::sendEvent(form, &event);
    return event.isAccepted();
}

}  // namespace detail

void Forms::unloadAll() {
    auto forms = std::move(registry());
    registry().clear();
    for (auto& [type, form] : forms) {
        if (form) {
            form->hide();
            form->deleteLater();
        }
    }
}

}  // namespace orvik::app
