// Orvik: starts the database folder, the databases and the main bar, then lives in the
// event handlers of its forms until one of them ends the program.
//
//   orvik                         the program
//   orvik --screens DIR           also walks through the windows and saves PNGs in DIR, then ends
//                                 (ORVIK_SCREENS_LOGIN / ORVIK_SCREENS_PASSWORD, default admin)
//   ORVIK_WIDGET_MAP=FILE orvik   keeps a map of the controls on screen in FILE, for driving the
//                                 program from outside (the end-to-end test)
//   orvik --exit-when-shown       prints the milliseconds from main() until the bar has been
//                                 painted, then ends (start-up benchmark)

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "Forms.h"
#include "OrvikApplication.h"
#include "Program.h"
#include "Screens.h"
#include "Shell.h"
#include "Startup.h"
#include "WidgetMap.h"
#include "frmAccMain.h"

namespace {

// Ends the program once the bar has painted itself for the first time.
class ShownProbe final : public QObject {
  public:
    explicit ShownProbe(const QElapsedTimer& clock) : clock_(clock) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !done_) {
            done_ = true;
            // After this paint has been delivered, not before.
            QTimer::singleShot(0, [this] {
                std::printf("bar shown after %.1f ms\n", clock_.nsecsElapsed() / 1e6);
                orvik::app::EndProgram();
            });
        }
        return false;
    }

  private:
    const QElapsedTimer& clock_;
    bool done_ = false;
};

QString envOr(const char* name, const char* fallback) {
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? QString::fromLatin1(fallback) : value;
}

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer sinceStart;
    sinceStart.start();

    // Loads Qt's Traditional Chinese translations as it is built.
    orvik::app::OrvikApplication app(argc, argv);
    // The program ends only by an explicit end (the bar's exit button, the login), never
    // because a dialog was the last window to close.
    QApplication::setQuitOnLastWindowClosed(false);
    orvik::shell::installStartupForms();
    if (const QString map = qEnvironmentVariable("ORVIK_WIDGET_MAP"); !map.isEmpty())
        orvik::app::startWidgetMap(map);

    const QStringList args = QCoreApplication::arguments();
    const qsizetype screensAt = args.indexOf(QStringLiteral("--screens"));
    const bool exitWhenShown = args.contains(QStringLiteral("--exit-when-shown"));

    orvik::app::Main();
    if (orvik::app::ProgramEnded())
        return 0;

    ShownProbe probe(sinceStart);
    if (exitWhenShown && orvik::app::Forms::isLoaded<orvik::shell::frmAccMain>())
        orvik::app::Forms::get<orvik::shell::frmAccMain>()->installEventFilter(&probe);

    if (screensAt >= 0 && screensAt + 1 < args.size()) {
        const QString folder = args.at(screensAt + 1);
        QTimer::singleShot(0, [folder] {
            const bool ok =
                orvik::shell::runScreenTour(folder, envOr("ORVIK_SCREENS_LOGIN", "admin"),
                                            envOr("ORVIK_SCREENS_PASSWORD", "admin"));
            std::fflush(nullptr);
            if (!ok)
                std::_Exit(1);
            orvik::app::EndProgram();
        });
    }
    return app.exec();
}
