#pragma once

// 詞庫: the word lists the voucher form offers (purposes, the two remark lists, each project's
// work types) and the chart of accounts.

#include <QWidget>

#include "ui_frmWords.h"

namespace orvik::masterdata {

class WordListPanel;
class AccountPanel;

class frmWords : public QWidget, public Ui::frmWords {
    Q_OBJECT

  public:
    explicit frmWords(QWidget* parent = nullptr);

    WordListPanel* uses = nullptr;
    WordListPanel* notes1 = nullptr;
    WordListPanel* notes2 = nullptr;
    WordListPanel* workTypes = nullptr;
    AccountPanel* accounts = nullptr;

    void Form_Load();
};

}  // namespace orvik::masterdata
