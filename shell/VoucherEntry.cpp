#include "VoucherEntry.h"

#include <QCloseEvent>
#include <QShowEvent>
#include <QWidget>

#include "Forms.h"
#include "Globals.h"

namespace orvik::shell {

namespace {

// Stands in for the voucher form until it exists: an empty window that keeps gIoOpen as the
// real form will, so the bar's guard can be tried out.
class frmIoPlaceholder : public QWidget {
  public:
    frmIoPlaceholder() {
        setObjectName(QStringLiteral("frmIo"));
        setWindowTitle(QStringLiteral("收支管理"));
        resize(640, 480);
    }

  protected:
    void showEvent(QShowEvent* event) override {
        app::gIoOpen = app::True;
        QWidget::showEvent(event);
    }
    void closeEvent(QCloseEvent* event) override {
        app::gIoOpen = app::False;
        event->accept();
    }
};

}  // namespace

void showVoucherForm() {
    QWidget* form = app::Forms::get<frmIoPlaceholder>();
    form->show();
    form->raise();
    form->activateWindow();
}

}  // namespace orvik::shell
