#pragma once

// A box for a date typed and shown in the calendar of the Republic of China: "115/01/01" (or
// "1150101"); the calendar button beside it picks one. An empty box holds no date.

#include <QDate>
#include <QLineEdit>

class QToolButton;

namespace orvik::app {

class RocDateEdit : public QLineEdit {
    Q_OBJECT

  public:
    explicit RocDateEdit(QWidget* parent = nullptr);

    // The date typed, or an invalid date when the box is empty or holds no date.
    QDate date() const;
    void setDate(const QDate& date);
    // Empty, or a date as typed: what a form may accept.
    bool isEmptyOrValid() const;

  signals:
    void dateChanged(const QDate& date);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void pickFromCalendar();
    QToolButton* calendarButton_;
};

// The message for a date box whose text is not a date, naming its caption.
QString badDateMessage(const QString& caption);

}  // namespace orvik::app
