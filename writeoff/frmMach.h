#pragma once

// 選取沖帳專案: the write-off form. Settles one open instalment (期) or addition (追加) of a
// receivable (income voucher) or payable (expense voucher) with the voucher on the voucher
// form, which it reads through WriteOffHandOver.h.
//
// The form is split by concern: frmMach.cpp (load, the item list, the grids and the button
// placement), frmMachConfirm.cpp (確定沖帳: the amount question and the row written).

#include <QVariant>
#include <QWidget>
#include <optional>

#include "Globals.h"
#include "ui_frmMach.h"

class QTableWidget;

namespace orvik::writeoff {

class frmMach : public QWidget, public Ui::frmMach {
    Q_OBJECT

  public:
    explicit frmMach(QWidget* parent = nullptr);
    ~frmMach() override;

    // Geometry of the grids, in twips (15 to a pixel).
    static constexpr int kTwipsPerPixel = 15;
    static constexpr int kKeyColumnTwips = 600;
    static constexpr int kInstalmentColumnTwips = 1200;
    static constexpr int kAdditionColumnTwips = 1000;

    // --- Event handlers ---
    void Form_Load();
    void lstRio_Click();
    // `pos` is in the coordinates of the grid's viewport, where its cells are.
    void hfgC_MouseDown(Qt::MouseButton button, const QPoint& pos);
    void hfgR_MouseDown(Qt::MouseButton button, const QPoint& pos);
    void cmd_Click();

    // --- Form-level state ---
    qint16 selRow = 0;                         // grid row last clicked
    app::Bool16 selIsInstalment = app::False;  // True: a row of hfgC; False: of hfgR
    qint64 selAmount = 0;                      // amount due of that row, whole dollars

    // The chosen item's id (the list's value); empty when none is chosen.
    QString ListValue() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void LoadOpenItems();
    void SetGridHeadings();
    void SetUpGrid(QTableWidget* grid);
    void FitColumns(QTableWidget* grid);
    void GridMouseDown(QTableWidget* grid, bool instalment, Qt::MouseButton button,
                       const QPoint& pos);
    void PlaceConfirmButton(QTableWidget* grid, int row);
    void HideConfirmButton();
    void Unload();

    // 確定沖帳 (frmMachConfirm.cpp).
    std::optional<qint64> AskAmount();
    enum class WriteResult { Written, Refused, Failed };  // Failed: the books were not written
    WriteResult WriteOffRow(const QVariant& period, qint64 amount);

    bool income_ = false;  // gMachIncome when the form loaded
};

}  // namespace orvik::writeoff
