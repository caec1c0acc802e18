#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include "AccPath.h"
#include "Globals.h"
#include "Program.h"
#include "ProgramSandbox.h"
#include "Schema.h"
#include "Startup.h"
#include "TestDataFolder.h"

using namespace orvik;
using namespace orvik::app;
using testing::DataFolderOptions;
using testing::onServer;
using testing::ProgramSandbox;
using testing::TestDataFolder;

namespace {

// Stands in for the path dialog: counts its showings and, like its OK button, saves `folder`
// (or, with an empty folder, leaves everything as it was, like its cancel button).
struct PathDialogDouble {
    int shown = 0;
    QString folder;
    bool saved = true;

    void install() {
        setPathDialog([this] {
            ++shown;
            if (folder.isEmpty())
                return;
            saved = WriteDataPath(folder);
            gDataPath = folder;
        });
    }
};

struct MainBarDouble {
    int shown = 0;
    void install() {
        setMainBar([this] { ++shown; });
    }
};

QByteArray crlf(const QString& line) {
    return line.toUtf8() + "\r\n";
}

bool allOpen() {
    return dbAcc && dbGeneral && dbPrint;
}
bool noneOpen() {
    return !dbAcc && !dbGeneral && !dbPrint;
}

}  // namespace

class TestStartup : public QObject {
    Q_OBJECT

  private slots:
    void opensTheFolderOfTheFirstLine();
    void emptyFirstLineEndsAfterThePathDialog_data();
    void emptyFirstLineEndsAfterThePathDialog();
    void blankFirstLineIsTakenAsAFolder();
    void missingAccMdbIsReportedAndTheNewFolderUsed();
    void failureAfterThePathDialogEnds();
    void passwordOnPtMdbIsReported();
    void lineEnds_data();
    void lineEnds();
    void big5FileFromAnOldInstallation();
    void olderFolderIsRefusedUnchanged();
    void newerFolderIsRefused();
    void legacyFilesNameTheImportCommand();
    void messagesNameTheFileAndCutLongPaths_data();
    void messagesNameTheFileAndCutLongPaths();
    void writeDataPath();
};

void TestStartup::opensTheFolderOfTheFirstLine() {
    ProgramSandbox sandbox;
    TestDataFolder folder;
    QVERIFY(folder.isValid());
    MainBarDouble bar;
    bar.install();
    QVERIFY(sandbox.writeAccPath(crlf(folder.path())));

    Main();

    QVERIFY(!ProgramEnded());
    QCOMPARE(gDataPath, folder.path());
    QVERIFY(allOpen());
    QCOMPARE(dbAcc->path(), folder.filePath(QStringLiteral("acc.mdb")));
    QCOMPARE(dbGeneral->path(), folder.filePath(QStringLiteral("voro3.mdb")));
    QCOMPARE(dbPrint->path(), folder.filePath(QStringLiteral("pt.mdb")));
    QCOMPARE(bar.shown, 1);
    QVERIFY(sandbox.prompts().shown().isEmpty());
}

void TestStartup::emptyFirstLineEndsAfterThePathDialog_data() {
    QTest::addColumn<bool>("writeFile");
    QTest::addColumn<QByteArray>("content");
    // The folder on the second line is valid, and ignored.
    QTest::newRow("empty first line") << true << QByteArray("\r\n@FOLDER@\r\n");
    QTest::newRow("no line at all") << true << QByteArray();
    QTest::newRow("no file") << false << QByteArray();
}

void TestStartup::emptyFirstLineEndsAfterThePathDialog() {
    QFETCH(bool, writeFile);
    QFETCH(QByteArray, content);
    ProgramSandbox sandbox;
    TestDataFolder folder;
    PathDialogDouble dialog;
    dialog.folder = folder.path();
    dialog.install();
    MainBarDouble bar;
    bar.install();
    if (writeFile)
        QVERIFY(sandbox.writeAccPath(content.replace("@FOLDER@", folder.path().toUtf8())));
    sandbox.prompts().expectMessage(QStringLiteral("資料庫路徑錯誤"));

    Main();

    const auto& shown = sandbox.prompts().shown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.at(0).text, QStringLiteral("資料庫路徑錯誤"));
    QCOMPARE(shown.at(0).title, QStringLiteral("Orvik"));
    QCOMPARE(shown.at(0).buttons, Buttons::OK);
    QCOMPARE(dialog.shown, 1);
    QVERIFY(ProgramEnded());
    QVERIFY(noneOpen());
    QCOMPARE(bar.shown, 0);
    // What the dialog saved is there for the next start.
    QCOMPARE(sandbox.readAccPath(), crlf(folder.path()));
}

void TestStartup::blankFirstLineIsTakenAsAFolder() {
    ProgramSandbox sandbox;
    TestDataFolder folder;
    PathDialogDouble dialog;
    dialog.folder = folder.path();
    dialog.install();
    MainBarDouble bar;
    bar.install();
    QVERIFY(sandbox.writeAccPath("   \r\n"));
    sandbox.prompts().expectMessage(QStringLiteral("3044\r\n"));

    Main();

    QVERIFY(sandbox.prompts().shown().at(0).text.startsWith(QStringLiteral("3044\r\n")));
    QCOMPARE(sandbox.prompts().shown().at(0).title, QString());
    QCOMPARE(dialog.shown, 1);
    QVERIFY(!ProgramEnded());
    QVERIFY(allOpen());
    QCOMPARE(bar.shown, 1);
}

void TestStartup::missingAccMdbIsReportedAndTheNewFolderUsed() {
    ProgramSandbox sandbox;
    DataFolderOptions noAcc;
    noAcc.acc = false;
    TestDataFolder wrong(noAcc);
    TestDataFolder right;
    PathDialogDouble dialog;
    dialog.folder = right.path();
    dialog.install();
    QVERIFY(sandbox.writeAccPath(crlf(wrong.path())));
    sandbox.prompts().expectMessage(QStringLiteral("3024\r\n"));

    Main();

    const QString text = sandbox.prompts().shown().at(0).text;
    QVERIFY2(text.startsWith(QStringLiteral("3024\r\n")), qPrintable(text));
    QVERIFY(text.size() > 6);  // the engine's description follows
    QCOMPARE(dialog.shown, 1);
    QVERIFY(!ProgramEnded());
    // All three from the new folder, which holds for the rest of the run and the next start.
    QCOMPARE(gDataPath, right.path());
    QVERIFY(allOpen());
    QCOMPARE(dbAcc->path(), right.filePath(QStringLiteral("acc.mdb")));
    QCOMPARE(dbGeneral->path(), right.filePath(QStringLiteral("voro3.mdb")));
    QCOMPARE(dbPrint->path(), right.filePath(QStringLiteral("pt.mdb")));
    QVERIFY(dialog.saved);
    QCOMPARE(sandbox.readAccPath(), crlf(right.path()));
}

void TestStartup::failureAfterThePathDialogEnds() {
    ProgramSandbox sandbox;
    DataFolderOptions noPt;
    noPt.print = false;
    TestDataFolder wrong(noPt);
    PathDialogDouble dialog;  // cancelled: the same folder is tried again
    dialog.install();
    MainBarDouble bar;
    bar.install();
    QVERIFY(sandbox.writeAccPath(crlf(wrong.path())));
    sandbox.prompts()
        .expectMessage(QStringLiteral("3024\r\n"))
        .expectMessage(QStringLiteral("3024\r\n"));

    Main();

    QCOMPARE(dialog.shown, 1);
    QCOMPARE(sandbox.prompts().shown().size(), 2);
    QVERIFY(sandbox.prompts().shown().at(1).text.contains(QStringLiteral("pt.mdb")));
    QVERIFY(ProgramEnded());
    // acc.mdb and voro3.mdb opened fine, but the program never runs on with one missing.
    QVERIFY(noneOpen());
    QCOMPARE(bar.shown, 0);
}

void TestStartup::passwordOnPtMdbIsReported() {
    ProgramSandbox sandbox;
    DataFolderOptions locked;
    locked.printPassword = QStringLiteral("secret");
    TestDataFolder wrong(locked);
    TestDataFolder right;
    PathDialogDouble dialog;
    dialog.folder = right.path();
    dialog.install();
    QVERIFY(sandbox.writeAccPath(crlf(wrong.path())));
    sandbox.prompts().expectMessage(QStringLiteral("3031\r\n"));

    QVERIFY(ReadDataPath());
    QVERIFY(OpenDatabases());

    QCOMPARE(dialog.shown, 1);
    QVERIFY(allOpen());
    QCOMPARE(dbPrint->path(), right.filePath(QStringLiteral("pt.mdb")));
}

void TestStartup::lineEnds_data() {
    QTest::addColumn<QByteArray>("tail");
    QTest::newRow("CR LF") << QByteArray("\r\nsomething else\r\n");
    QTest::newRow("LF only") << QByteArray("\nsomething else\n");
    QTest::newRow("CR only") << QByteArray("\rsomething else\r");
    QTest::newRow("no line end") << QByteArray();
}

void TestStartup::lineEnds() {
    QFETCH(QByteArray, tail);
    ProgramSandbox sandbox;
    TestDataFolder folder({}, QStringLiteral("帳務 資料"));  // not plain ASCII, with a blank
    QVERIFY(sandbox.writeAccPath(folder.path().toUtf8() + tail));

    QVERIFY(ReadDataPath());
    QCOMPARE(gDataPath, folder.path());
    QVERIFY(OpenDatabases());
    QVERIFY(allOpen());

    // A byte-order mark, as some editors write, is not part of the folder.
    QVERIFY(sandbox.writeAccPath("\xEF\xBB\xBF" + folder.path().toUtf8() + tail));
    QVERIFY(ReadDataPath());
    QCOMPARE(gDataPath, folder.path());
}

void TestStartup::big5FileFromAnOldInstallation() {
    QStringEncoder big5("Big5");
    if (!big5.isValid())
        QSKIP("this Qt build has no Big5 codec");
    ProgramSandbox sandbox;
    if (onServer())
        QSKIP("folders only: the Chinese characters are in a folder's name");
    TestDataFolder folder({}, QStringLiteral("帳務資料"));
    const QByteArray bytes = big5.encode(folder.path());
    QVERIFY(!big5.hasError());
    QVERIFY(bytes != folder.path().toUtf8());
    QVERIFY(sandbox.writeAccPath(bytes + "\r\n"));

    QVERIFY(ReadDataPath());
    QCOMPARE(gDataPath, folder.path());
    QVERIFY(OpenDatabases());
}

void TestStartup::olderFolderIsRefusedUnchanged() {
    ProgramSandbox sandbox;
    DataFolderOptions old;
    old.version = store::schema::kVersion - 1;
    TestDataFolder folder(old, QStringLiteral("old books"));
    PathDialogDouble dialog;
    dialog.install();
    MainBarDouble bar;
    bar.install();
    QVERIFY(sandbox.writeAccPath(crlf(folder.path())));
    sandbox.prompts().expectMessage(QStringLiteral("orvik-admin upgrade"));

    Main();

    const auto& message = sandbox.prompts().shown().at(0);
    // A folder with a space is quoted for the shell; a server's URI has none.
    const QString shown = onServer() ? folder.path() : QStringLiteral("\"%1\"").arg(folder.path());
    QVERIFY2(message.text.contains(QStringLiteral("orvik-admin upgrade ") + shown),
             qPrintable(message.text));
    QCOMPARE(message.title, QStringLiteral("Orvik"));
    QVERIFY(ProgramEnded());
    QVERIFY(noneOpen());
    QCOMPARE(bar.shown, 0);
    QCOMPARE(dialog.shown, 0);
    for (const auto* file : store::schema::files()) {
        auto db = testing::openDatabaseFile(folder.path(), *file);
        QCOMPARE(store::schema::versionOf(*db), old.version);
    }
}

void TestStartup::newerFolderIsRefused() {
    ProgramSandbox sandbox;
    DataFolderOptions newer;
    newer.version = store::schema::kVersion + 1;
    TestDataFolder folder(newer);
    QVERIFY(sandbox.writeAccPath(crlf(folder.path())));
    sandbox.prompts().expectMessage(QStringLiteral("新"));

    QVERIFY(ReadDataPath());
    QVERIFY(!OpenDatabases());

    QVERIFY(!sandbox.prompts().shown().at(0).text.contains(QStringLiteral("upgrade")));
    QVERIFY(ProgramEnded());
    QVERIFY(noneOpen());
    auto db = testing::openDatabaseFile(folder.path(), store::schema::acc());
    QCOMPARE(store::schema::versionOf(*db), newer.version);
}

void TestStartup::legacyFilesNameTheImportCommand() {
    ProgramSandbox sandbox;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // The old engine's files: a Jet 4 acc.mdb and voro3.mdb, a Jet 3 pt.mdb.
    for (const auto& [name, version] : {std::pair{"acc.mdb", 1}, {"voro3.mdb", 1}, {"pt.mdb", 0}}) {
        QByteArray page(4096, '\0');
        page.replace(0, 19, QByteArray("\x00\x01\x00\x00Standard Jet DB", 19));
        page[0x14] = char(version);
        QFile f(dir.filePath(QString::fromLatin1(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(page);
    }
    PathDialogDouble dialog;  // cancelled: the same folder again
    dialog.install();
    MainBarDouble bar;
    bar.install();
    QVERIFY(sandbox.writeAccPath(crlf(dir.path())));
    const QString command = QStringLiteral("orvik-admin import-mdb 舊資料夾 新資料夾");
    sandbox.prompts().expectMessage(command).expectMessage(command);

    Main();

    const auto& shown = sandbox.prompts().shown();
    QCOMPARE(shown.size(), 2);
    for (const auto& message : shown) {
        QVERIFY2(message.text.contains(dir.path()), qPrintable(message.text));
        QVERIFY(message.text.contains(QStringLiteral("acc.mdb、voro3.mdb、pt.mdb")));
        QVERIFY(!message.text.startsWith(QStringLiteral("3343")));
        QCOMPARE(message.title, QStringLiteral("Orvik"));
    }
    QCOMPARE(dialog.shown, 1);
    QVERIFY(ProgramEnded());
    QVERIFY(noneOpen());
    QCOMPARE(bar.shown, 0);
}

void TestStartup::messagesNameTheFileAndCutLongPaths_data() {
    QTest::addColumn<QString>("broken");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QStringList>("contains");
    QTest::newRow("empty acc.mdb") << "acc.mdb empty"
                                   << "3031" << QStringList{"acc.mdb", "空檔案"};
    QTest::newRow("text as voro3.mdb") << "voro3.mdb text"
                                       << "3343" << QStringList{"voro3.mdb", "不是資料庫檔案"};
    QTest::newRow("password on pt.mdb") << "pt.mdb password"
                                        << "3031" << QStringList{"pt.mdb"};
    QTest::newRow("3 MB one-line accpath.ini") << "long path"
                                               << "" << QStringList{"/srv/", "…"};
}

void TestStartup::messagesNameTheFileAndCutLongPaths() {
    QFETCH(QString, broken);
    QFETCH(QString, number);
    QFETCH(QStringList, contains);  // the number is the engine's, any for a path too long
    if (onServer() && broken.contains(QLatin1String(".mdb ")) && !broken.contains("password"))
        QSKIP("folders only: a damaged file has no counterpart on a server");
    ProgramSandbox sandbox;
    DataFolderOptions options;
    if (broken == QLatin1String("pt.mdb password"))
        options.printPassword = QStringLiteral("secret");
    TestDataFolder folder(options);
    if (broken == QLatin1String("acc.mdb empty"))
        QVERIFY(QFile(folder.filePath(QStringLiteral("acc.mdb"))).resize(0));
    if (broken == QLatin1String("voro3.mdb text")) {
        QFile f(folder.filePath(QStringLiteral("voro3.mdb")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(8192, 'v'));
    }
    const QByteArray line = broken == QLatin1String("long path")
                                ? "/srv/" + QByteArray(3'000'000, 'x') + "/books"
                                : folder.path().toUtf8();
    QVERIFY(sandbox.writeAccPath(line + "\r\n"));
    PathDialogDouble dialog;  // cancelled: the same folder again
    dialog.install();
    sandbox.prompts()
        .expectMessage(number + QStringLiteral("\r\n"))
        .expectMessage(number + QStringLiteral("\r\n"));

    Main();

    QVERIFY(ProgramEnded());
    const auto& shown = sandbox.prompts().shown();
    QCOMPARE(shown.size(), 2);
    for (const auto& message : shown) {
        for (const QString& part : contains)
            QVERIFY2(message.text.contains(part), qPrintable(message.text.left(500)));
        // A few lines a message box can show, however long the path.
        QVERIFY2(message.text.size() < 300, qPrintable(message.text.left(500)));
    }
}

void TestStartup::writeDataPath() {
    ProgramSandbox sandbox;
    QVERIFY(sandbox.writeAccPath("/old/one\r\n/old/two\r\n"));
    const QString folder = QStringLiteral("/srv/帳務資料");
    QVERIFY(WriteDataPath(folder));
    QCOMPARE(sandbox.readAccPath(), crlf(folder));
    QCOMPARE(readFirstLine(AccPathFile()), folder);
    // An empty box writes an empty line.
    QVERIFY(WriteDataPath(QString()));
    QCOMPARE(sandbox.readAccPath(), QByteArray("\r\n"));

    // A program folder that cannot be written: failure, not success.
    setProgramFolder(QDir(sandbox.programFolder()).filePath(QStringLiteral("missing/folder")));
    QVERIFY(!WriteDataPath(folder));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
