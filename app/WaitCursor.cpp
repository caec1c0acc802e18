#include "WaitCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace orvik::app {

namespace {
int depth = 0;
}

WaitCursor::WaitCursor() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    set_ = true;
    if (depth++ == 0)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor() {
    if (set_ && --depth == 0)
        QGuiApplication::restoreOverrideCursor();
}

bool WaitCursor::active() {
    return depth > 0;
}

}  // namespace orvik::app
