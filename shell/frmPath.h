#pragma once

#include <QWidget>
#include <array>

#include "ui_frmPath.h"

namespace orvik::shell {

// The database path dialog: the user names the folder that holds the three database files,
// and OK saves it in accpath.ini. Start-up shows it when the folder is missing or wrong.
class frmPath : public QWidget, public Ui_frmPath {
    Q_OBJECT
  public:
    // Shown in lbDes; the line break is the label's own.
    static const QString kRowHint;
    static const QString kBrowseHint;
    static const QString kFilter;

    explicit frmPath(QWidget* parent = nullptr);

    std::array<QLabel*, 1> lb{};
    std::array<QLineEdit*, 1> txtPth{};
    std::array<QPushButton*, 1> cmdPth{};

    void Form_Load();
    void lb_MouseMove(int Index);
    void cmdPth_MouseMove(int Index);
    void txtPth_GotFocus(int Index);
    void cmdPth_Click(int Index);
    void Command5_Click();
    void cmdCencal_Click();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace orvik::shell
