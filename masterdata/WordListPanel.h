#pragma once

#include <functional>

// One word list of 詞庫, in the order the voucher form offers it: the purposes (use), the two
// remark lists (ps1, ps2), ranked by id (1 first), or the work types of a project (w4pj), in
// the order they were stored. Add, rename, remove, move up and down. Stored vouchers keep the
// words they were saved with.

#include <QWidget>
#include <optional>

#include "Editing.h"
#include "ui_WordListPanel.h"

namespace orvik::masterdata {

class WordListPanel : public QWidget, public Ui::WordListPanel {
    Q_OBJECT

  public:
    enum class Kind { Uses, Notes1, Notes2, WorkTypes };

    explicit WordListPanel(Kind kind, QWidget* parent = nullptr);

    // Reads the list (and for work types the projects) again.
    void Load();

    void cbProject_Click();
    void lstWords_Click();
    void cmdNew_Click();
    void cmdSave_Click();
    void cmdDelete_Click();
    void cmdUp_Click();
    void cmdDown_Click();

    // The words in their order, as the list shows them.
    QStringList words() const;

  private:
    QString table() const;
    QString wordColumn() const;
    QString project() const;
    QStringList storedWords(store::Database& db) const;
    void rewriteOrder(store::Database& db, const QStringList& order);
    // Records `write` as a change of the word's row (work types: the project's row of it).
    void recordWord(store::Database& db, const QString& before, const QString& after,
                    const std::function<void()>& write);
    void LoadWords(const QString& choose);
    void move(int by);

    Kind kind_;
    app::RowsModel* model_;
    std::optional<QString> original_;  // the word being edited; none for a new one
};

}  // namespace orvik::masterdata
