#include "Prompts.h"

namespace orvik::app {

PromptService& qtPrompts();  // PromptsQt.cpp

namespace {
PromptService* installed = nullptr;
}

PromptService& prompts() {
    return installed ? *installed : qtPrompts();
}

PromptService* installPrompts(PromptService* service) {
    PromptService* previous = installed;
    installed = service;
    return previous;
}

Answer MsgBox(const QString& text, Buttons buttons, Icon icon) {
    return prompts().message(
        MessageRequest{text, buttons, icon, QString(), DefaultButton::First, true});
}

Answer MsgBox(const QString& text, Buttons buttons, Icon icon, const QString& title,
              DefaultButton defaultButton) {
    return prompts().message(MessageRequest{text, buttons, icon, title, defaultButton, false});
}

std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                const QString& defaultText) {
    return prompts().input(InputRequest{prompt, title, defaultText});
}

QString OpenFileDialog(const QString& title, const QString& initialFolder, const QString& filter) {
    return prompts().openFile(FileRequest{title, initialFolder, filter});
}

QString SaveFileDialog(const QString& title, const QString& suggested, const QString& filter) {
    return prompts().saveFile(FileRequest{title, suggested, filter});
}

QStringList qtNameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            QString caseless;
            for (const QChar c : pattern.trimmed()) {
                if (c.isLetter() && c.toLower() != c.toUpper())
                    caseless += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
                else
                    caseless += c;
            }
            if (!caseless.isEmpty())
                patterns << caseless;
        }
        if (patterns.isEmpty())
            patterns << QStringLiteral("*");
        out << parts.at(i) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                   QLatin1Char(')');
    }
    return out;
}

}  // namespace orvik::app
