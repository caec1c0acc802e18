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

ArrowCursor::ArrowCursor() {
    if (!WaitCursor::active() || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    set_ = true;
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
}

ArrowCursor::~ArrowCursor() {
    if (set_)
        QGuiApplication::restoreOverrideCursor();
}

}  // namespace orvik::app
