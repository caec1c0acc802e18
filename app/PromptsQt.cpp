// The prompts service that shows real Qt dialogs. This is the only file that calls
// QMessageBox, QInputDialog and QFileDialog.

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include "Prompts.h"
#include "WaitCursor.h"

namespace orvik::app {

namespace {

QString titleOrDefault(const QString& title) {
    return title.isEmpty() ? kApplicationTitle : title;
}

// Qt's X11 platform puts the application's name in the title bar of a window whose title is
// empty (checked with xprop: _NET_WM_NAME "Orvik"); a blank keeps the bar empty.
QString messageTitle(const MessageRequest& request) {
    if (request.applicationTitle)
        return kApplicationTitle;
    return request.title.isEmpty() ? kBlankTitle : request.title;
}

// Qt lays out labels with '\n'; the forms write CR LF.
QString plainLines(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QMessageBox::Icon qtIcon(Icon icon) {
    switch (icon) {
        case Icon::Information:
            return QMessageBox::Information;
        case Icon::Exclamation:
            return QMessageBox::Warning;
        case Icon::Critical:
            return QMessageBox::Critical;
        case Icon::Question:
            return QMessageBox::Question;
        case Icon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonSet {
    QList<QMessageBox::StandardButton> order;  // left to right, as DefaultButton counts
    QMessageBox::StandardButton escape;
};

ButtonSet buttonSet(Buttons buttons) {
    switch (buttons) {
        case Buttons::OKCancel:
            return {{QMessageBox::Ok, QMessageBox::Cancel}, QMessageBox::Cancel};
        case Buttons::YesNo:
            return {{QMessageBox::Yes, QMessageBox::No}, QMessageBox::NoButton};
        case Buttons::YesNoCancel:
            return {{QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}, QMessageBox::Cancel};
        case Buttons::OK:
            break;
    }
    return {{QMessageBox::Ok}, QMessageBox::Ok};
}

Answer toAnswer(int clicked, Buttons buttons) {
    switch (clicked) {
        case QMessageBox::Ok:
            return Answer::OK;
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::Cancel:
            return Answer::Cancel;
        default:
            // Closed some other way: the box's own way out.
            return buttons == Buttons::OK      ? Answer::OK
                   : buttons == Buttons::YesNo ? Answer::No
                                               : Answer::Cancel;
    }
}

class QtPrompts final : public PromptService {
  public:
    Answer message(const MessageRequest& request) override {
        const ArrowCursor asking;
        QMessageBox box(QApplication::activeWindow());
        box.setWindowTitle(messageTitle(request));
        box.setText(plainLines(request.text));
        box.setIcon(qtIcon(request.icon));
        const ButtonSet set = buttonSet(request.buttons);
        for (const auto b : set.order)
            box.addButton(b);
        const int index = static_cast<int>(request.defaultButton);
        box.setDefaultButton(set.order.value(index, set.order.first()));
        if (set.escape != QMessageBox::NoButton)
            box.setEscapeButton(set.escape);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
        return toAnswer(box.standardButton(box.clickedButton()), request.buttons);
    }

    std::optional<QString> input(const InputRequest& request) override {
        const ArrowCursor asking;
        QInputDialog dialog(QApplication::activeWindow());
        dialog.setWindowTitle(titleOrDefault(request.title));
        dialog.setLabelText(plainLines(request.prompt));
        dialog.setTextValue(request.defaultText);
        dialog.setWindowModality(Qt::ApplicationModal);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.textValue();
    }

    QString openFile(const FileRequest& request) override {
        const ArrowCursor asking;
        QFileDialog dialog(QApplication::activeWindow(), request.title, request.initialFolder);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        // Qt's own dialog, so that the caseless patterns behave the same on every desktop.
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setOption(QFileDialog::HideNameFilterDetails, true);
        const QStringList filters = qtNameFilters(request.filter);
        if (!filters.isEmpty())
            dialog.setNameFilters(filters);
        dialog.setWindowModality(Qt::ApplicationModal);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().constFirst();
    }

    QString saveFile(const FileRequest& request) override {
        const ArrowCursor asking;
        QFileDialog dialog(QApplication::activeWindow(), request.title);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setOption(QFileDialog::HideNameFilterDetails, true);
        const QStringList filters = qtNameFilters(request.filter);
        if (!filters.isEmpty())
            dialog.setNameFilters(filters);
        // The suffix of the first pattern ("*.xlsx") for a name typed without one.
        const QString first =
            request.filter.section(QLatin1Char('|'), 1, 1).section(QLatin1Char(';'), 0, 0);
        if (first.startsWith(QLatin1String("*.")))
            dialog.setDefaultSuffix(first.mid(2));
        if (!request.initialFolder.isEmpty())
            dialog.selectFile(request.initialFolder);
        dialog.setWindowModality(Qt::ApplicationModal);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().constFirst();
    }
};

}  // namespace

PromptService& qtPrompts() {
    static QtPrompts service;
    return service;
}

}  // namespace orvik::app
