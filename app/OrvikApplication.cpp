#include "OrvikApplication.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <exception>

#include "EngineError.h"
#include "Program.h"
#include "Prompts.h"

namespace orvik::app {

OrvikApplication::OrvikApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(kApplicationTitle);
    setApplicationVersion(QStringLiteral("2.5"));
    // The calendars of the date pickers name months and weekdays as the office reads them,
    // whatever language the computer was set up in.
    QLocale::setDefault(
        QLocale(QLocale::Chinese, QLocale::TraditionalChineseScript, QLocale::Taiwan));
    installTranslations();
}

bool OrvikApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const store::EngineError& error) {
        ReportEngineError(error);
    } catch (const std::exception& error) {
        ReportEngineError(
            store::EngineError(store::err::ReservedError, QString::fromLocal8Bit(error.what())));
    } catch (...) {
        ReportEngineError(
            store::EngineError(store::err::ReservedError, QStringLiteral("發生未預期的錯誤。")));
    }
    return false;
}

bool installTranslations() {
    if (!QCoreApplication::instance())
        return false;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_zh_TW"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace orvik::app
