#include "frmPath.h"

#include <QDir>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <optional>

#include "AccPath.h"
#include "Database.h"
#include "Globals.h"
#include "Program.h"
#include "Prompts.h"
#include "Startup.h"

namespace orvik::shell {

using namespace orvik::app;

const QString frmPath::kRowHint =
    QStringLiteral("設定 Orvik 資料庫路徑\n內包含 客戶,廠商,員工,詞庫資料 等.. ");
const QString frmPath::kBrowseHint =
    QStringLiteral("設定 Orvik 總務資料路徑\n內包含 客戶,廠商,員工,詞庫資料 等.. ");
const QString frmPath::kFilter = QStringLiteral("資料庫 檔案(acc.mdb)|acc.mdb");

namespace {

const QString kDataFile = QStringLiteral("acc.mdb");

// The folder of a chosen acc.mdb (any letter case), nothing for any other choice. The whole
// file name must be acc.mdb: "myacc.mdb" would otherwise leave "my" glued to the folder.
std::optional<QString> folderOfAccMdb(const QString& fileName) {
    const qsizetype cut = fileName.size() - kDataFile.size() - 1;
    if (cut < 0 || !fileName.endsWith(kDataFile, Qt::CaseInsensitive))
        return {};
    const QChar separator = fileName.at(cut);
    if (separator != QLatin1Char('/') && separator != QLatin1Char('\\'))
        return {};
    // acc.mdb at the root: the folder is the root itself, not an empty line.
    if (cut == 0 && separator == QLatin1Char('/'))
        return QStringLiteral("/");
    return fileName.left(cut);
}

}  // namespace

frmPath::frmPath(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    lb = {lb_0};
    txtPth = {txtPth_0};
    cmdPth = {cmdPth_0};

    for (QWidget* w : {static_cast<QWidget*>(lb_0), static_cast<QWidget*>(cmdPth_0)}) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
    txtPth_0->installEventFilter(this);
    connectHandler(cmdPth_0, &QPushButton::clicked, this, [this] { cmdPth_Click(0); });
    connectHandler(Command5, &QPushButton::clicked, this, &frmPath::Command5_Click);
    connectHandler(cmdCencal, &QPushButton::clicked, this, &frmPath::cmdCencal_Click);

    Form_Load();
}

bool frmPath::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (type == QEvent::MouseMove || type == QEvent::Enter) {
        for (int i = 0; i < int(lb.size()); ++i) {
            if (watched == lb[i])
                guard([&] { lb_MouseMove(i); });
            if (watched == cmdPth[i])
                guard([&] { cmdPth_MouseMove(i); });
        }
    } else if (type == QEvent::FocusIn) {
        for (int i = 0; i < int(txtPth.size()); ++i) {
            if (watched == txtPth[i])
                guard([&] { txtPth_GotFocus(i); });
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmPath::Form_Load() {
    txtPth[0]->setText(gDataPath);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        adjustSize();
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void frmPath::lb_MouseMove(int Index) {
    if (Index == 0)
        lbDes->setText(kRowHint);
}

void frmPath::cmdPth_MouseMove(int Index) {
    if (Index == 0)
        lbDes->setText(kRowHint);
}

void frmPath::txtPth_GotFocus(int Index) {
    if (Index != 0)
        return;
    lbDes->setText(kRowHint);
    // After the click that gave the focus has placed the cursor, not before.
    QMetaObject::invokeMethod(txtPth[0], &QLineEdit::selectAll, Qt::QueuedConnection);
}

void frmPath::cmdPth_Click(int Index) {
    if (Index != 0)
        return;
    lbDes->setText(kBrowseHint);
    const QString chosen = OpenFileDialog(QString(), gDataPath, kFilter);
    const auto folder = folderOfAccMdb(chosen);
    if (!folder) {
        MsgBox(QStringLiteral("路徑錯誤"), Buttons::OK, Icon::Critical, QStringLiteral("Orvik"));
        return;
    }
    txtPth[0]->setText(*folder);
}

void frmPath::Command5_Click() {
    const QString path = txtPth[0]->text();
    // accpath.ini is readable by anyone who runs the program: a server's password belongs in
    // the user's ~/.pgpass or a service file, where libpq finds it.
    if (store::holdsPassword(path)) {
        MsgBox(QStringLiteral("資料庫路徑裡不可寫密碼。\r\n"
                              "請把密碼放在使用者的 ~/.pgpass 或服務檔（service=）裡。"),
               Buttons::OK, Icon::Critical, QStringLiteral("Orvik"));
        txtPth[0]->setFocus();
        return;
    }
    if (!WriteDataPath(path)) {
        MsgBox(QStringLiteral("無法寫入設定檔 %1，資料庫路徑沒有變更。")
                   .arg(elidePath(QDir::toNativeSeparators(AccPathFile()))),
               Buttons::OK, Icon::Critical, QStringLiteral("Orvik"));
        return;
    }
    gDataPath = path;
    close();
}

void frmPath::cmdCencal_Click() {
    close();
}

}  // namespace orvik::shell
