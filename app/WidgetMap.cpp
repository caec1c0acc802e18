#include "WidgetMap.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSaveFile>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <memory>

namespace orvik::app {

namespace {

QString oneLine(QString text) {
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    text.replace(QLatin1String("\r\n"), QLatin1String("\\n"));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    text.replace(QLatin1Char('\r'), QLatin1String("\\n"));
    return text;
}

QString textOf(const QWidget* w) {
    if (const auto* b = qobject_cast<const QAbstractButton*>(w))
        return b->text();
    if (const auto* e = qobject_cast<const QLineEdit*>(w))
        return e->text();
    if (const auto* c = qobject_cast<const QComboBox*>(w))
        return c->currentText();
    if (const auto* s = qobject_cast<const QAbstractSpinBox*>(w))
        return s->text();
    if (const auto* l = qobject_cast<const QLabel*>(w))
        return l->text();
    return {};
}

void line(QString& out, int window, const QString& name, const char* cls, const QRect& r,
          bool enabled, bool checked, const QString& text) {
    out += QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\t%8\t%9\t")
               .arg(window)
               .arg(name, QLatin1String(cls))
               .arg(r.x())
               .arg(r.y())
               .arg(r.width())
               .arg(r.height())
               .arg(enabled ? 1 : 0)
               .arg(checked ? 1 : 0);
    out += oneLine(text);
    out += QLatin1Char('\n');
}

void describe(QString& out, int window, QWidget* w) {
    for (QWidget* child : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isVisible() || child->isWindow())
            continue;
        const QRect r(child->mapToGlobal(QPoint(0, 0)), child->size());
        const QString text = textOf(child);
        const auto* button = qobject_cast<const QAbstractButton*>(child);
        const bool input = button || qobject_cast<const QLineEdit*>(child) ||
                           qobject_cast<const QComboBox*>(child) ||
                           qobject_cast<const QAbstractSpinBox*>(child);
        if (input || !child->objectName().isEmpty() || !text.isEmpty())
            line(out, window, child->objectName(), child->metaObject()->className(), r,
                 child->isEnabled(), button && button->isChecked(), text);
        if (auto* table = qobject_cast<QTableView*>(child); table && table->model()) {
            // The rows in view only: a list may hold tens of thousands. A view whose rows are
            // counted from a heading row names them as its code counts them.
            QWidget* port = table->viewport();
            const QAbstractItemModel* model = table->model();
            const int offset = table->property("orvikRowOffset").toInt();
            int first = table->rowAt(0);
            int last = table->rowAt(port->height() - 1);
            if (first < 0)
                first = 0;
            if (last < 0)
                last = model->rowCount() - 1;
            for (int row = first; row <= last; ++row) {
                for (int col = 0; col < model->columnCount(); ++col) {
                    const QModelIndex index = model->index(row, col);
                    const QVariant shown = model->data(index, Qt::DisplayRole);
                    const QRect cell = table->visualRect(index);
                    if (!shown.isValid() || !cell.isValid() || !port->rect().intersects(cell))
                        continue;
                    line(out, window,
                         QStringLiteral("%1[%2,%3]")
                             .arg(child->objectName())
                             .arg(row + offset)
                             .arg(col),
                         "cell", QRect(port->mapToGlobal(cell.topLeft()), cell.size()), true, false,
                         shown.toString());
                }
            }
        }
        if (auto* tree = qobject_cast<QTreeWidget*>(child)) {
            QWidget* port = tree->viewport();
            for (int row = 0; row < tree->topLevelItemCount(); ++row) {
                QTreeWidgetItem* item = tree->topLevelItem(row);
                const QRect rect = tree->visualItemRect(item);
                if (!rect.isValid() || !port->rect().intersects(rect))
                    continue;
                line(out, window, QStringLiteral("%1[%2]").arg(child->objectName()).arg(row),
                     "item", QRect(port->mapToGlobal(rect.topLeft()), rect.size()), true,
                     item->isSelected(), item->text(0));
            }
        }
        describe(out, window, child);
    }
}

}  // namespace

QString widgetMapText() {
    QString out;
    QStringList titles;
    // The active window last, so that a reader that takes the last window with a control of
    // some name finds the one the user works in.
    QWidgetList tops = QApplication::topLevelWidgets();
    std::stable_partition(tops.begin(), tops.end(),
                          [](const QWidget* w) { return !w->isActiveWindow(); });
    int index = 0;
    for (QWidget* top : tops) {
        if (!top->isVisible())
            continue;
        titles << oneLine(top->windowTitle());
        line(out, index, top->objectName(), top->metaObject()->className(),
             QRect(top->mapToGlobal(QPoint(0, 0)), top->size()), top->isEnabled(),
             top->isActiveWindow(), top->windowTitle());
        describe(out, index, top);
        ++index;
    }
    const QWidget* focus = QApplication::focusWidget();
    out +=
        QStringLiteral("focus\t") + (focus ? focus->objectName() : QString()) + QLatin1Char('\n');
    out += QStringLiteral("windows\t") + titles.join(QLatin1Char('\t')) + QLatin1Char('\n');
    return out;
}

void startWidgetMap(const QString& file) {
    auto* timer = new QTimer(qApp);
    auto last = std::make_shared<QString>();
    QObject::connect(timer, &QTimer::timeout, qApp, [file, last] {
        const QString text = widgetMapText();
        if (text == *last)
            return;
        QSaveFile out(file);
        if (out.open(QIODevice::WriteOnly)) {
            out.write(text.toUtf8());
            if (out.commit())
                *last = text;
        }
    });
    timer->start(50);
}

}  // namespace orvik::app
