#pragma once

// The one way the program asks the user something: message boxes, the input box and the
// open-file dialog. Forms call the free functions MsgBox, InputBox and OpenFileDialog; they
// reach whichever PromptService is installed. The default service shows Qt dialogs; tests
// install a scripted one that answers from a queue.

#include <QString>
#include <QStringList>
#include <optional>

namespace orvik::app {

// Title of message boxes that have no title of their own.
inline const QString kApplicationTitle = QStringLiteral("Orvik");
// What the Qt dialogs put in the title bar for an empty title: the windowing system would
// show the application's name for a truly empty one.
inline const QString kBlankTitle = QStringLiteral(" ");

enum class Buttons { OK, OKCancel, YesNo, YesNoCancel };
enum class Icon { None, Information, Exclamation, Critical, Question };
// Which button has the focus, counted from the left as the buttons are listed in `Buttons`.
enum class DefaultButton { First, Second, Third };
enum class Answer { OK, Cancel, Yes, No };

struct MessageRequest {
    QString text;  // may hold CR LF line breaks
    Buttons buttons = Buttons::OK;
    Icon icon = Icon::None;
    QString title;  // shown as it is, an empty title included
    DefaultButton defaultButton = DefaultButton::First;
    // No title of its own: the application's (kApplicationTitle); `title` is then empty.
    bool applicationTitle = false;
};

struct InputRequest {
    QString prompt;
    QString title;  // empty: kApplicationTitle
    QString defaultText;
};

struct FileRequest {
    QString title;          // empty: the dialog's own title
    QString initialFolder;  // empty: the current folder
    // Filter in "description|pattern|description|pattern" form; patterns in one entry are
    // separated by ";", e.g. "資料庫 檔案(acc.mdb)|acc.mdb". Patterns ignore letter case.
    QString filter;
};

class PromptService {
  public:
    virtual ~PromptService() = default;
    virtual Answer message(const MessageRequest& request) = 0;
    // The text typed, or nullopt when the user cancelled.
    virtual std::optional<QString> input(const InputRequest& request) = 0;
    // The chosen file's full path, or empty when the user cancelled.
    virtual QString openFile(const FileRequest& request) = 0;
    // A file to write (exports): `initialFolder` may name the suggested file. The chosen full
    // path, or empty when the user cancelled. A service that cannot ask gives empty.
    virtual QString saveFile(const FileRequest& request) {
        (void)request;
        return {};
    }
};

// The installed service; the Qt dialogs when none is installed.
PromptService& prompts();
// Installs `service` (not owned) and gives the one it replaces; nullptr restores the Qt dialogs.
PromptService* installPrompts(PromptService* service);

// Installs a service for the lifetime of the object, then restores the previous one.
class ScopedPrompts {
  public:
    explicit ScopedPrompts(PromptService& service) : previous_(installPrompts(&service)) {}
    ~ScopedPrompts() { installPrompts(previous_); }
    ScopedPrompts(const ScopedPrompts&) = delete;
    ScopedPrompts& operator=(const ScopedPrompts&) = delete;

  private:
    PromptService* previous_;
};

// --- What the forms call ---

// A message box without a title of its own: it shows the application's title.
Answer MsgBox(const QString& text, Buttons buttons = Buttons::OK, Icon icon = Icon::None);
// A message box titled `title`; an empty title stays empty.
Answer MsgBox(const QString& text, Buttons buttons, Icon icon, const QString& title,
              DefaultButton defaultButton = DefaultButton::First);
std::optional<QString> InputBox(const QString& prompt, const QString& title = {},
                                const QString& defaultText = {});
QString OpenFileDialog(const QString& title, const QString& initialFolder, const QString& filter);
// The save dialog: `suggested` is the file offered (a folder and a name); the filter's first
// pattern's extension is added to a name typed without one.
QString SaveFileDialog(const QString& title, const QString& suggested, const QString& filter);

// The Qt name filters for a filter in "description|pattern" form; each pattern letter becomes
// a [xX] class so that a name matches whatever its letter case.
QStringList qtNameFilters(const QString& filter);

}  // namespace orvik::app
