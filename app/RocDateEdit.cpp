#include "RocDateEdit.h"

#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QMenu>
#include <QToolButton>
#include <QWidgetAction>

#include "Clock.h"
#include "EraDate.h"

namespace orvik::app {

RocDateEdit::RocDateEdit(QWidget* parent)
    : QLineEdit(parent), calendarButton_(new QToolButton(this)) {
    setPlaceholderText(QStringLiteral("115/01/01"));
    setMaxLength(10);
    calendarButton_->setText(QStringLiteral("▾"));
    calendarButton_->setCursor(Qt::ArrowCursor);
    calendarButton_->setFocusPolicy(Qt::NoFocus);
    calendarButton_->setAccessibleName(QStringLiteral("日曆"));
    setTextMargins(0, 0, calendarButton_->sizeHint().width(), 0);
    connect(calendarButton_, &QToolButton::clicked, this, &RocDateEdit::pickFromCalendar);
    connect(this, &QLineEdit::textChanged, this, [this] {
        const QDate d = date();
        if (d.isValid() || text().trimmed().isEmpty())
            emit dateChanged(d);
    });
}

QDate RocDateEdit::date() const {
    const QString t = text().trimmed();
    if (t.isEmpty())
        return {};
    const QDate slashed = ParseEraShort(t);
    return slashed.isValid() ? slashed : ParseEraCompact(t);
}

void RocDateEdit::setDate(const QDate& date) {
    setText(date.isValid() ? FormatEra(date, kEraShort) : QString());
}

bool RocDateEdit::isEmptyOrValid() const {
    return text().trimmed().isEmpty() || date().isValid();
}

void RocDateEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    const int w = calendarButton_->sizeHint().width();
    calendarButton_->setGeometry(width() - w - 1, 1, w, height() - 2);
}

void RocDateEdit::pickFromCalendar() {
    QMenu popup(this);
    auto* calendar = new QCalendarWidget(&popup);
    calendar->setSelectedDate(date().isValid() ? date() : Clock::today());
    auto* action = new QWidgetAction(&popup);
    action->setDefaultWidget(calendar);
    popup.addAction(action);
    connect(calendar, &QCalendarWidget::clicked, &popup, [&](const QDate& picked) {
        setDate(picked);
        popup.close();
    });
    popup.exec(mapToGlobal(QPoint(0, height())));
}

QString badDateMessage(const QString& caption) {
    return QStringLiteral("%1 不是日期。請以民國年/月/日輸入，例如 115/01/01").arg(caption);
}

}  // namespace orvik::app
