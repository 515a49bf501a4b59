#include "app/main_window.h"

#include "app/program_windows.h"
#include "results/results_window.h"
#include "run/run_window.h"
#include "tests/editor/editor_fixture.h"
#include "tests/support/test_file_fixture.h"
#include "ui/dialog_service.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sqlite3.h>

using namespace kelvo;
using kelvo::testing::TestFileFixture;

namespace {

const QString kNotValid =
    "This Access file is not valid Kelvo.mdb file or it is not supported by this Kelvo product "
    "version!\r\n\r\nCheck product version of Kelvo.mdb test file and Kelvo application!";
const QString kConnectFailed = "Connecting to the selected Access (*.mdb) file failed!\r\n\r\nCause: ";

// Closes every modal window as soon as it is shown and remembers its class.
class ModalCloser {
public:
    ModalCloser()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                seen_ << QString::fromLatin1(modal->metaObject()->className());
                modal->close();
            }
        });
        timer_.start(5);
    }
    QStringList seen() const { return seen_; }

private:
    QTimer timer_;
    QStringList seen_;
};

QString DataSourceOf(const QString& connectionString)
{
    const qsizetype start = connectionString.indexOf("Data Source=") + 12;
    return connectionString.mid(start, connectionString.indexOf(";Provider=") - start);
}

// Leaves `path` in the journal mode another SQLite program may have chosen, which lives in
// the file's header.
void SetWriteAheadLog(const QString& path)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

QByteArray Bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Gives the open file what the test window needs to open on its data-field page: a
// question with an answer, a data field and the settings the window reads.
void MakeRunnable()
{
    ExecSQL("insert into items (id, caption) values (1, 'Q');");
    ExecSQL("insert into answers (itemid, caption) values (1, 'A');");
    ExecSQL("insert into userf (id, posit, caption, ftype) values (1, 1, 'Name', 'string');");
    for (const char* id : {"-11", "-22", "-23", "-24"})
        ExecSQL(QString("insert into testd (id, v) values (%1, '0');").arg(id));
    ExecSQL("insert into testd (id, v) values (-25, 'false');");
    if (SelectToVariant("select count(*) from keyb;").integer(0, 0) == 0)
        ExecSQL("insert into keyb (id, k) values (1, '1');");
}

}  // namespace

TEST(StartUp, MainWindowShowsWithTestAndResultDisabledAndQuitsCleanly)
{
    {
        const ProgramWindows windows;
        ASSERT_NE(Form1, nullptr);
        ASSERT_NE(Form3, nullptr);
        ASSERT_NE(Form7, nullptr);
        ASSERT_NE(Form10, nullptr);
        Form1->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1));
        EXPECT_EQ(Form1->windowTitle(), "Kelvo");
        EXPECT_EQ(Form1->size(), QSize(600, 400));
        EXPECT_EQ(Form1->minimumSize(), QSize(600, 400));
        EXPECT_EQ(Form1->btnCreate->text(), "&Create");
        EXPECT_EQ(Form1->btnTest->text(), "&Test");
        EXPECT_EQ(Form1->btnResult->text(), "&Result");
        EXPECT_TRUE(Form1->btnCreate->isEnabled());
        EXPECT_FALSE(Form1->btnTest->isEnabled());
        EXPECT_FALSE(Form1->btnResult->isEnabled());
        EXPECT_FALSE(Form1->con.isOpen());
        EXPECT_FALSE(Session::current().permissions.has_value());
        EXPECT_EQ(Form1->con.connectionString(),
                  "Data Source=C:\\db2.mdb;Provider=Microsoft.Jet.OLEDB.4.0;Jet OLEDB:Engine Type=5;"
                  "Jet OLEDB:Database Password=Qv7Lm2Xp_9Rt4Hw8Kd3N;");
        // The buttons: a sixth of the width, centred, spread with equal gaps.
        EXPECT_EQ(Form1->btnCreate->geometry(), QRect(250, 81, 100, 25));
        EXPECT_EQ(Form1->btnTest->geometry(), QRect(250, 187, 100, 25));
        EXPECT_EQ(Form1->btnResult->geometry(), QRect(250, 293, 100, 25));
        Form1->grab().save(QDir::temp().filePath("kelvo_main_window.png"));

        QTimer::singleShot(0, Form1, &QWidget::close);
        EXPECT_EQ(QApplication::exec(), 0);
    }
    EXPECT_EQ(Form1, nullptr);
    EXPECT_EQ(Form13, nullptr);
}

class OpeningATest : public TestFileFixture {};

TEST_F(OpeningATest, FileWithoutOneRequiredTableIsRefusedAndThePreviousTestStaysOpen)
{
    const QString good = MakeTestFile("good.mdb", 9, true);
    const QStringList tablesOfGood = Session::current().tableNames;
    const QString seven = MakeTestFile("seven.mdb", 7);
    const QString none = MakeTestFile("none.mdb", 0);
    // A refused file is left as it was, even one whose journal mode the program would change.
    SetWriteAheadLog(seven);
    const QByteArray sevenBefore = Bytes(seven);

    DialogScript script;
    EXPECT_FALSE(Form1->OpenTestDatabase(seven, false, false));
    EXPECT_FALSE(Form1->OpenTestDatabase(none, false, false));
    EXPECT_EQ(script.texts(), (QStringList{kNotValid, kNotValid}));
    EXPECT_EQ(Bytes(seven), sevenBefore);
    EXPECT_EQ(script.shown().front().kind, MessageKind::Error);
    EXPECT_TRUE(Form1->con.isOpen());
    EXPECT_EQ(DataSourceOf(Form1->con.connectionString()), good);
    EXPECT_EQ(Session::current().testFile, good);
    EXPECT_EQ(Session::current().tableNames, tablesOfGood);
    EXPECT_EQ(SelectToVariant("select count(*) from users;").integer(0, 0), 0);

    // Without the check any database opens and becomes current.
    EXPECT_TRUE(Form1->OpenTestDatabase(seven, true, false));
    EXPECT_EQ(Session::current().testFile, seven);
}

TEST_F(OpeningATest, TableCheckListsEveryTableInTheConnectionsOrder)
{
    const QString path = MakeTestFile("a.mdb", 9, true);
    ExecSQL("create table datai1 (id integer primary key);");
    EXPECT_TRUE(Form1->CheckTestTables());
    EXPECT_EQ(Session::current().tableNames.size(), 10);
    EXPECT_EQ(Session::current().tableNames, Form1->con.tableNames());
    for (const QString& required : RequiredTableNames)
        EXPECT_TRUE(Session::current().tableNames.contains(required));
}

TEST_F(OpeningATest, ExclusiveOpeningAddsTheModeAndTheNextSharedOneDropsIt)
{
    const QString path = MakeTestFile("a.mdb");
    ASSERT_TRUE(Form1->OpenTestDatabase(path, false, true));
    EXPECT_TRUE(Form1->con.connectionString().endsWith("Mode=Share Deny Read|Share Deny Write;"));
    ASSERT_TRUE(Form1->OpenTestDatabase(path, false, true));
    EXPECT_EQ(Form1->con.connectionString().count("Mode="), 1);
    ASSERT_TRUE(Form1->OpenTestDatabase(path, false, false));
    EXPECT_FALSE(Form1->con.connectionString().contains("Mode="));
    EXPECT_TRUE(Form1->con.connectionString().endsWith("Database Password=Qv7Lm2Xp_9Rt4Hw8Kd3N;"));
}

TEST_F(OpeningATest, OnlyTheFileNameInTheConnectionStringIsReplaced)
{
    const QString first = MakeTestFile("x.mdb");
    ASSERT_TRUE(Form1->OpenTestDatabase(first, false, false));
    // The new path holds the old one: only the old name where it stands is replaced.
    ASSERT_TRUE(QDir(dir.path()).mkpath(first + ".d"));
    const QString second = MakeTestFile("x.mdb.d/x.mdb");
    ASSERT_EQ(second, first + ".d/x.mdb");
    ASSERT_TRUE(Form1->OpenTestDatabase(second, false, false));
    QString expected = ConnectionStringTemplate();
    expected.replace("C:\\db2.mdb", second);
    EXPECT_EQ(Form1->con.connectionString(), expected);
    EXPECT_EQ(Form1->con.filePath(), second);
    ASSERT_TRUE(Form1->OpenTestDatabase(first, false, false));
    EXPECT_EQ(DataSourceOf(Form1->con.connectionString()), first);
}

TEST_F(OpeningATest, FailedConnectionShowsTheCauseAndKeepsThePreviousTest)
{
    const QString good = MakeTestFile("good.mdb", 9, true);
    const QString text = dir.filePath("notes.mdb");
    {
        QFile file(text);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("This is no database, only a few words of text that happen to be here.\n");
    }
    DialogScript script;
    EXPECT_FALSE(Form1->OpenTestDatabase(text, false, false));
    EXPECT_FALSE(Form1->OpenTestDatabase(dir.filePath("missing.mdb"), false, false));
    ASSERT_EQ(script.shown().size(), 2u);
    for (const ShownMessage& shown : script.shown()) {
        EXPECT_EQ(shown.kind, MessageKind::Error);
        EXPECT_TRUE(shown.text.startsWith(kConnectFailed)) << shown.text.toStdString();
        EXPECT_GT(shown.text.size(), kConnectFailed.size());  // the engine's cause follows
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("missing.mdb")));
    EXPECT_TRUE(Form1->con.isOpen());
    EXPECT_EQ(Session::current().testFile, good);
    EXPECT_EQ(Form1->con.filePath(), good);
}

TEST_F(OpeningATest, FileOfThePreviousVersionIsExplained)
{
    const QString old = MakeTestFile("old.mdb", 9, false, "2047_Kavor_Plim_1963");
    DialogScript script;
    EXPECT_FALSE(Form1->OpenTestDatabase(old, false, false));
    ASSERT_EQ(script.shown().size(), 2u);
    EXPECT_TRUE(script.texts()[0].startsWith(kConnectFailed));
    EXPECT_EQ(script.shown()[1].kind, MessageKind::Warning);
    EXPECT_EQ(script.texts()[1], "Trying to open the old version of mdb file (v2.0) which is not "
                                 "compatible with this version of the program (v3.0)!");
    EXPECT_FALSE(Form1->con.isOpen());
}

class MainButtons : public TestFileFixture {
protected:
    void OpenWithShortcuts(bool on)
    {
        MakeTestFile("a.mdb", 9, true);
        ExecSQL("insert into keyb (id, k) values (1, '1');");
        ExecSQL("insert into keyb (id, k) values (2, '2');");
        ExecSQL("insert into keyb (id, k) values (3, '3');");
        ExecSQL("insert into keyb (id, k) values (4, 'a');");
        ExecSQL(QString("insert into testd (id, v) values (-19, '%1');").arg(on ? "True" : "false"));
        ExecSQL("insert into testd (id, v) values (0, 'true');");
        MakeRunnable();
        Session::current().permissions = QStringList{"true", "true", "true", "true", "true", "true"};
        Form1->LoadMainShortcuts();
        // The account's permissions are applied elsewhere; here both buttons are on.
        Form1->btnTest->setEnabled(true);
        Form1->btnResult->setEnabled(true);
        Form1->show();
        for (QPushButton* button : {Form1->btnCreate, Form1->btnTest, Form1->btnResult})
            QObject::connect(button, &QPushButton::clicked, [this, button] { clicked << button->objectName(); });
    }

    WindowInstance<TForm13> form13{Form13};
    QStringList clicked;
};

TEST_F(MainButtons, KeysOneToThreePressCreateTestAndResult)
{
    OpenWithShortcuts(true);
    EXPECT_TRUE(gMainShortcutsOn);
    EXPECT_EQ(gMainShortcutKeys[0], QChar('1'));
    ModalCloser closer;
    // Create last: closing the editor refreshes the buttons from the permissions.
    QTest::keyClick(Form1, Qt::Key_2);
    QTest::keyClick(Form1, Qt::Key_3);
    QTest::keyClick(Form1, Qt::Key_4);
    QTest::keyClick(Form1, Qt::Key_1);
    EXPECT_EQ(clicked, (QStringList{"btnTest", "btnResult", "btnCreate"}));
    EXPECT_EQ(closer.seen(), (QStringList{"kelvo::TForm2", "kelvo::TForm13", "kelvo::TForm3"}));
}

TEST_F(MainButtons, KeypadDigitsWithNumLockPressTheSameButtons)
{
    OpenWithShortcuts(true);
    ModalCloser closer;
    QTest::keyClick(Form1, Qt::Key_3, Qt::KeypadModifier);
    QTest::keyClick(Form1->btnTest, Qt::Key_2, Qt::KeypadModifier);  // from a focused button too
    QTest::keyClick(Form1, Qt::Key_1, Qt::KeypadModifier);
    EXPECT_EQ(clicked, (QStringList{"btnResult", "btnTest", "btnCreate"}));
}

TEST_F(MainButtons, ShortcutsStayOffUnlessTheTestSwitchesThemOn)
{
    OpenWithShortcuts(false);
    EXPECT_FALSE(gMainShortcutsOn);
    QTest::keyClick(Form1, Qt::Key_1);
    QTest::keyClick(Form1, Qt::Key_3, Qt::KeypadModifier);
    EXPECT_TRUE(clicked.isEmpty());

    // Without permissions read, nothing is loaded at all.
    ExecSQL("update testd set v = 'true' where id = -19;");
    Session::current().permissions.reset();
    Form1->LoadMainShortcuts();
    EXPECT_FALSE(gMainShortcutsOn);
}

TEST_F(MainButtons, DisabledButtonIgnoresItsKey)
{
    OpenWithShortcuts(true);
    Form1->btnTest->setEnabled(false);
    QTest::keyClick(Form1, Qt::Key_2);
    EXPECT_TRUE(clicked.isEmpty());
}

TEST_F(MainButtons, TestButtonNeedsAnOpenAndLockedTest)
{
    DialogScript script;
    Form1->btnTestClick();
    EXPECT_EQ(script.lastText(), "You can not perform the test because you are not connected with "
                                 "Kelvo.mdb file!\r\n\r\nOpen Kelvo.mdb file (test).");
    EXPECT_EQ(script.shown().back().kind, MessageKind::Information);

    MakeTestFile("a.mdb", 9, true);
    MakeRunnable();
    ExecSQL("insert into testd (id, v) values (0, 'false');");
    script.clear();
    Form1->btnTestClick();
    EXPECT_EQ(script.texts(), QStringList{"You can not perform the test because test is "
                                          "Unlocked!\r\n\r\nLock Kelvo Test!"});

    ModalCloser closer;
    ExecSQL("update testd set v = 'TRUE' where id = 0;");
    Form1->btnTestClick();
    ExecSQL("delete from testd where id = 0;");  // no lock row: the test runs as well
    Form1->btnTestClick();
    EXPECT_EQ(closer.seen(), (QStringList{"kelvo::TForm2", "kelvo::TForm2"}));
    EXPECT_EQ(script.shown().size(), 1u);
}

namespace {

// The caption names the test the program has open: after Create made one, after
// another was opened, and no more once a given-up login closed it.
using MainCaption = kelvo::testing::EditorFixture;

TEST_F(MainCaption, TheMainWindowNamesTheOpenTestByItsFileName)
{
    Form1->show();
    EXPECT_EQ(Form1->windowTitle(), "Kelvo");
    const QString first = dir.filePath(QStringLiteral("Road test.mdb"));
    const QString second = dir.filePath(QStringLiteral("second.mdb"));
    kelvo::testing::answerModal<TForm3>([&](TForm3* editor) {
        ClickNew(second);
        ClickNew(first);
        EXPECT_EQ(Form1->windowTitle(), "Kelvo - Road test.mdb");
        editor->reject();
    });
    QTest::mouseClick(Form1->btnCreate, Qt::LeftButton);
    EXPECT_EQ(Form1->windowTitle(), "Kelvo - Road test.mdb");

    kelvo::testing::answerModal<TForm3>([&](TForm3* editor) {
        ClickOpen(second);
        editor->reject();
    });
    QTest::mouseClick(Form1->btnCreate, Qt::LeftButton);
    EXPECT_EQ(Form1->windowTitle(), "Kelvo - second.mdb");

    // With user identification on, a login given up closes the test.
    ExecSQL(QStringLiteral("update testd set v = 'true' where id = -14;"));
    kelvo::testing::answerModal<TForm3>([&](TForm3* editor) {
        kelvo::testing::answerModal<LoginWindow>([](LoginWindow* login) { login->reject(); });
        ClickOpen(second);
        editor->reject();
    });
    QTest::mouseClick(Form1->btnCreate, Qt::LeftButton);
    EXPECT_FALSE(Session::current().con.isOpen());
    EXPECT_EQ(Form1->windowTitle(), "Kelvo");
}

}  // namespace
