#include "frmWords.h"

#include <QLayout>

#include "AccountPanel.h"
#include "Editing.h"
#include "Program.h"
#include "WordListPanel.h"

namespace orvik::masterdata {

frmWords::frmWords(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    uses = new WordListPanel(WordListPanel::Kind::Uses, tabUse);
    notes1 = new WordListPanel(WordListPanel::Kind::Notes1, tabNote1);
    notes2 = new WordListPanel(WordListPanel::Kind::Notes2, tabNote2);
    workTypes = new WordListPanel(WordListPanel::Kind::WorkTypes, tabWork);
    accounts = new AccountPanel(tabAccounts);
    tabUse->layout()->addWidget(uses);
    tabNote1->layout()->addWidget(notes1);
    tabNote2->layout()->addWidget(notes2);
    tabWork->layout()->addWidget(workTypes);
    tabAccounts->layout()->addWidget(accounts);
    // The projects may have changed in 專 案 while this window was open.
    connect(tabWords, &QTabWidget::currentChanged, this, [this](int index) {
        if (tabWords->widget(index) == tabWork)
            app::guard([this] { workTypes->Load(); });
    });
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    closeOnEscape(this);
    app::guard([this] { Form_Load(); });
}

void frmWords::Form_Load() {
    for (WordListPanel* panel : {uses, notes1, notes2, workTypes})
        panel->Load();
    accounts->Load();
}

}  // namespace orvik::masterdata
