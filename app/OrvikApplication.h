#pragma once

#include <QApplication>

namespace orvik::app {

// The program's application object. It loads Qt's Traditional Chinese translations and makes
// Taiwan's the default locale, so that standard buttons read 確定, 取消, 是, 否 and calendars
// name the months in Chinese, and it catches whatever escapes an event handler:
// an engine error is reported with its number and description and the program ends, instead
// of the process aborting with a transaction half done.
class OrvikApplication : public QApplication {
    Q_OBJECT
  public:
    OrvikApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Installs Qt's zh_TW translations into the running application; false when not found.
bool installTranslations();

}  // namespace orvik::app
