#pragma once

// The voucher form: entering, browsing, editing, voiding and approving income/expense vouchers
// (收支單). One program-wide instance, kept in the form registry and shown modeless.
//
// The class is split by concern over several files:
//   frmIo.cpp           loading, unloading, wiring of the handlers, event filters
//   frmIoModes.cpp      the four modes: 新增, 修改, 取消, 已簽核, and the boxes that follow them
//   frmIoNumbering.cpp  the next voucher number
//   frmIoDisplay.cpp    showing a stored voucher, the scroll bar, the date picker
//   frmIoLists.cpp      the lookup lists and their add-on-leave prompts
//   frmIoSave.cpp       儲存: insert and rewrite, and the return to browsing
//   frmIoApproval.cpp   settling a voucher in cash or by bill; opening its stored bill
//   frmIoPanels.cpp     the grid panel below the fields: picking a voucher, closing the panel
//   frmIoSearch.cpp     the full-text search (全文檢索) that lists its hits in that panel
//   frmIoPrint.cpp      the heading, the print record and printing (cmdPt, crtp)
//
// The controls are public, as the bill and write-off forms read them (lbNo, lbAcIo, txtCash,
// lbHday, optA).

#include <QColor>
#include <QDate>
#include <QWidget>
#include <array>
#include <optional>

#include "Globals.h"
#include "Recordset.h"
#include "ReportControl.h"
#include "ui_frmIo.h"

class QRadioButton;

namespace orvik::bills {
struct BillRow;
struct MarkedVoucher;
}  // namespace orvik::bills

namespace orvik::vouchers {

class frmIo : public QWidget, public Ui::frmIo {
    Q_OBJECT

  public:
    explicit frmIo(QWidget* parent = nullptr);
    ~frmIo() override;

    // Geometry the behaviour depends on, in twips (15 to a pixel).
    static constexpr int kTwipsPerPixel = 15;
    static constexpr int kTop = 1500;
    static constexpr int kHeight = 5445;          // the fields only
    static constexpr int kExpandedHeight = 8340;  // with the grid panel below them
    // The browsing order: numbers of nine characters (up to 民國 99) before those of ten.
    static constexpr const char* kNumberOrder = "length(單號), 單號";
    int HeightTwips() const;
    void setHeightTwips(int twips);

    // Control arrays, indexed as the option buttons have always been numbered.
    std::array<QRadioButton*, 3> optA{};  // 現金, 票據, 已兌現票據
    std::array<QRadioButton*, 2> Op1{};   // suggested: 現金, 票據
    std::array<QRadioButton*, 2> O1{};    // document kind: 費用, 進銷項

    // The next voucher number of today (the program clock's working date).
    QString GetLastNo();

    // Shows voucher `no` while browsing, at its place in number order, as another window's
    // list asks (a project's vouchers, a query). An entry in progress is given up only when
    // the user agrees; an open grid panel closes first. Gives false when nothing changed
    // (the user kept the entry, or the number is not stored).
    bool showVoucherNo(const QString& no);

    // --- Event handlers ---
    void cmdAdd_Click();
    void cmdEdit_Click();
    void cmdCencel_Click();
    void cmdSv_Click();
    void cmdMach_Click();
    void cmdBillView_Click();  // the stored bill of the voucher on display
    void cmdHistory_Click();   // the audit trail of the voucher on display
    void ck_Click();
    void Check1_Click();
    void cbAcc_Click(int row);
    void cbAcc_Validate();
    void cbPj_Click(int row);
    void cbUse_Validate();
    void cbPs1_Validate();
    void cbPs2_Validate();
    void optP_Click();
    void optS_Click();
    void txtCash_KeyUp();
    // Whatever reaches the amount boxes without a key (paste, drop, input method) passes the
    // same filter as a typed key.
    void txtCash_Edited();
    void txtTax_Edited();
    void FSB_Change(int value);
    void DTP1_CloseUp();
    void HFG_DblClick(int row, int col);
    // The grid panels' toggles: opening fills the list, closing returns to browsing.
    void cmdNck_Click();
    void cmdSall_Click();
    // The unapproved-voucher list (frmIoReview.cpp): marking rows for one combined bill.
    void HFG_MouseDown(int row, int col);
    void ckco_Click();
    void cmdco_Click();

    // The grid panel's colour tells the unapproved vouchers from the hits of a search: it is
    // the background colour of the button that opened the panel.
    static inline const QColor kReviewPanelColour{192, 192, 255};  // cmdNck, light blue
    static inline const QColor kSearchPanelColour{192, 255, 192};  // cmdSall, light green
    QColor panelColour() const;
    void setPanelColour(const QColor& colour);
    void cmdPt_Click();                            // left button: ios.rpt
    void cmdPt_MouseDown(Qt::MouseButton button);  // right button: jios.rpt

    // The report control that prints the voucher on display from pt.mdb.
    report::ReportControl crtp{this};

    // --- Form-level state (16-bit Booleans, True = -1) ---
    // Empty while closed.
    std::optional<store::Recordset> browseRs;  // every voucher, in number order
    // The browsing cursor set aside while a new voucher is entered, to take in the new one
    // when it is saved rather than reading every key again.
    std::optional<store::Recordset> parkedRs_;
    std::optional<store::Recordset> pickedRs;  // the one voucher opened by number from a grid
    int browsePos = 0;                         // position of the shown voucher in browseRs
    app::Bool16 addingVoucher = app::False;
    app::Bool16 approvingVoucher = app::False;
    app::Bool16 showingVoucher = app::False;

    // The dates behind the two date labels, which show them as era text.
    QDate inDayDate() const { return inDay_; }
    QDate hDayDate() const { return hDay_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void connectHandlers();
    void Form_Load();
    void Form_Unload();

    // Modes
    void SetEditable(app::Bool16 editable);
    void CloseGridPanel();
    bool rightGranted(int digit) const;   // digit k (from 1) of the rights string is not "0"
    bool refusedWithoutRight(int digit);  // tells the user and gives true when not granted
    bool txtCash_KeyPress(QChar key);     // false: the key is discarded
    // A voucher is being entered, edited or approved: 儲存 would write what the user typed.
    bool entryInProgress() const;
    // Before the voucher on display is replaced or the form closes: outside an entry at once;
    // during one only when the user agrees to give it up, which leaves the mode as 取消 does
    // (`closing`: the form closes afterwards, so nothing is shown again).
    bool mayLeaveEntry(bool closing = false);
    bool amountsValid();  // the amount and the tax are whole numbers; tells the user otherwise

    // Display and navigation
    void OpenVouchers();
    void CountVouchers();
    void ShowVoucher();
    void ShowVoucherByNo();
    void ClearVoucher();
    void showRow(const store::Recordset& rs);
    void showNothing();
    void ReturnToBrowsing();
    void setUpGrid();

    // Unapproved-voucher review
    void OpenReviewList();
    void FillReviewGrid(QVector<QVector<QVariant>> rows, const QStringList& marked);
    QStringList MarkedVouchers() const;
    QVector<bills::MarkedVoucher> MarkedWithAmounts() const;
    void RefreshReviewList(const QStringList& keepMarked);
    void RedisplayWhileBrowsing();
    void setInDay(const QDate& date);
    void setHday(const QDate& date);
    void setAccountColour(bool income);
    bool voucherOnDisplay() const;
    void syncScrollRange();

    // Lookup lists
    void prepareLists();
    void LoadAccounts();
    void LoadProjects();
    void LoadWorkTypes();
    void LoadPeople();
    void LoadUses();
    void LoadNotes1();
    void LoadNotes2();
    void CheckAccount();
    void AddUse();
    void AddNote1();
    void AddNote2();
    void selectProject(const QString& code, const QString& name);
    QString projectCode() const;

    // Save and approval
    void insertVoucher();
    bool rewriteVoucher(store::Recordset& target, bool cash);
    void writeColumns(store::Recordset& rs, bool rewrite);
    qint16 suggestedStatus() const;
    bool approveByBill(store::Recordset& target);
    bool settleByBill(store::Recordset& target, const bills::BillRow& bill);
    void billEntryCancelled();
    void appendCashMovement(const QString& voucherNo);
    void closingSteps();
    void refusedAsApproved();
    QVariant storedStatus(const QString& voucherNo) const;  // 方式 as stored now (invalid: gone)

    // Printing
    void ShowCompany();
    void FillPrintRecord();
    void writePrintRecord();
    void PrintVoucher(const QString& layoutFile);

    // Full-text search: the opening half of cmdSall_Click
    void OpenSearch();

    // Hand-over to the bill and write-off forms (frmIoApproval.cpp): what they read of the
    // voucher on display, and the bill form's report that it changed, which is shown once no
    // handler of this form has a child form open.
    class ChildFormScope {
      public:
        explicit ChildFormScope(frmIo& form);
        ~ChildFormScope();
        ChildFormScope(const ChildFormScope&) = delete;
        ChildFormScope& operator=(const ChildFormScope&) = delete;

      private:
        frmIo& form_;
    };
    void installHandOvers();
    void removeHandOvers();
    bool mayHandleBills() const;  // rights digits 5 to 8, the bar's 票據 group
    void requestRedisplay();
    void scheduleRedisplay();
    int childFormDepth_ = 0;
    bool redisplayRequested_ = false;

    QDate inDay_;
    QDate hDay_;
    // 方式 of the voucher on display, as stored when it was shown; none when nothing stored is
    // shown (a new voucher, a picked number that is gone).
    std::optional<int> shownStatus_;
    QWidget* dtpPopup_ = nullptr;  // the date picker's calendar window, whose closing is watched
};

// Brings the voucher form to the front, opening it if need be, with voucher `no` on display:
// a double-click in a list of vouchers or in the audit trail. False as for showVoucherNo.
bool showVoucherInForm(const QString& no);

}  // namespace orvik::vouchers
