#pragma once

#include <QMenu>
#include <QWidget>
#include <functional>

#include "ui_frmAccMain.h"

namespace orvik::store {
class Database;
}

namespace orvik::shell {

// The main bar: a small caption-less bar that stays on top of every window at the top edge of
// the screen, partly pushed above it. Its main button asks for the login and folds or unfolds
// the bar; the buttons below it follow the logged-in employee's rights.
class frmAccMain : public QWidget, public Ui_frmAccMain {
    Q_OBJECT
  public:
    // Geometry in twips, as the bar was designed.
    static constexpr int kTwipsPerPixel = 15;
    static constexpr int kWidth = 660;
    static constexpr int kFoldedHeight = 900;
    // Tall enough for the whole button column (cmdBill ends at 2565 + 330 twips): the designed
    // 1545 left 專 案, 統 計, 應收付, 系 統 and 票 據 below the bar's edge, out of reach.
    static constexpr int kUnfoldedHeight = 2910;
    static constexpr int kRestingTop = -290;
    static constexpr int kTuckedTop = -820;

    static int toPixels(int twips);

    explicit frmAccMain(QWidget* parent = nullptr);

    // The system pop-up menu and its separators.
    QMenu* mSys = nullptr;
    QAction* mL = nullptr;
    QAction* ml1 = nullptr;
    QAction* ml11 = nullptr;
    QAction* ml2 = nullptr;
    QAction* ml3 = nullptr;
    QAction* m14 = nullptr;
    QAction* m15 = nullptr;

    // The bar's place and size in twips.
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return kWidth; }
    int Height() const { return height_; }
    void setLeft(int twips);
    void setTop(int twips);
    void setHeight(int twips);

    void Form_Load();
    void cmdM_Click();
    void cmdM_MouseDown(Qt::MouseButton Button);
    void cmdIo_Click();
    void cmdBill_Click();
    void cmdPj_Click();
    void cmdSer_Click();
    void cmdreIo_Click();
    void cmdSys_Click();
    void cmdExit_Click();
    void mSta_Click();
    void mCsh_Click();
    void mLW_Click();
    void mSec_Click();
    void mPer_Click();
    void mCom_Click();
    void mTrans_Click();
    void mAudit_Click();  // the audit trail: 統 計 or 權限設定 rights
    void mPass_Click();   // one's own password: anyone logged in

    void ApplyRights();
    void EnsureAccSColumn();
    void EnsureLetColumn(const QString& table);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool ioFormIsOpen();
    // The entries that open a window: the voucher-form guard, the rights asked again, then the
    // window, and the bar folds. `allowed` is read when the entry is chosen.
    void openEntry(bool allowed, const std::function<void()>& show);
    void fold();
    void place();

    int left_ = 0;
    int top_ = 0;
    int height_ = kFoldedHeight;
};

}  // namespace orvik::shell
