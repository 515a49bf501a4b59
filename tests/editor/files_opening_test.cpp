// Opening a test with the editor's Open button: login, the account's permissions in every
// window, and files that are not what they claim to be.
#include "data/accounts.h"
#include "tests/editor/editor_fixture.h"

#include <QDir>

using namespace kelvo;
using kelvo::testing::answerModal;
using kelvo::testing::EditorFixture;

namespace {

const QString kInvalidLogin = QStringLiteral("Invalid Username or Password!\r\n\r\nDo you would like to retry?");
const QString kOpeningFailed =
    QStringLiteral("Opening the test failed!\r\n\r\nMake sure you choose the correct Kelvo. mdb file.");
const QString kNotValid = QStringLiteral(
    "This Access file is not valid Kelvo.mdb file or it is not supported by this Kelvo product version!\r\n\r\n"
    "Check product version of Kelvo.mdb test file and Kelvo application!");

// What the account may use, as the buttons of the three windows show it.
struct Enabled {
    bool test = false;
    bool result = false;
    bool administratorPage = false;
    bool lock = false;
    bool exportResults = false;
    bool modifyResults = false;

    bool operator==(const Enabled&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Enabled& e)
{
    return out << "test " << e.test << ", result " << e.result << ", administrator page " << e.administratorPage
               << ", lock " << e.lock << ", export " << e.exportResults << ", modify " << e.modifyResults;
}

class OpenButton : public EditorFixture {
protected:
    // A test with identification on and the accounts the cases log in with.
    QString TestWithAccounts(bool locked, bool withRun)
    {
        const QString path = NewTest();
        ExecSQL("insert into users (usr, pas, act, per0, per1, per2, per3, per4, per5) values "
                "('runner', 'r1', true, false, true, false, false, false, false);");
        ExecSQL("insert into users (usr, pas, act, per0, per1, per2, per3, per4, per5) values "
                "('viewer', 'v1', true, false, false, true, true, false, false);");
        ExecSQL("insert into users (usr, pas, act, per0, per1, per2, per3, per4, per5) values "
                "('editor', 'e1', true, false, false, false, false, true, true);");
        ExecSQL("insert into users (usr, pas, act, per0, per1, per2, per3, per4, per5) values "
                "('sleeper', 's1', false, false, true, true, true, true, true);");
        // Written past the editor, which keeps accounts in lower case.
        ExecSQL("insert into users (usr, pas, act, per0, per1, per2, per3, per4, per5) values "
                "('boss', 'Secret9', true, true, true, true, true, true, true);");
        ExecSQL("update testd set v = 'TRUE' where id = -14;");
        ExecSQL(locked ? "update testd set v = 'true' where id = 0;" : "update testd set v = 'false' where id = 0;");
        if (withRun)
            ExecSQL("insert into datac (id, username, finished) values (1, 'runner', true);");
        return path;
    }

    Enabled Shown() const
    {
        return {Form1->btnTest->isEnabled(),       Form1->btnResult->isEnabled(),
                AdministratorPageShown(),           Form3->btnLock->isEnabled(),
                Form13->toolExport->isEnabled(),    Form13->toolModify->isEnabled()};
    }

    void ExpectLoggedOut() const
    {
        EXPECT_FALSE(Form1->con.isOpen());
        EXPECT_TRUE(Session::current().user.isEmpty());
        EXPECT_TRUE(Session::current().password.isEmpty());
        EXPECT_FALSE(Session::current().permissions.has_value());
        EXPECT_EQ(Shown(), Enabled{});
        EXPECT_FALSE(Form3->PageControl->isEnabled());
    }
};

struct AccountCase {
    const char* user;
    const char* password;
    bool locked;
    bool withRun;
    Enabled expected;
};

TEST_F(OpenButton, EachAccountGetsExactlyWhatItsFlagsAllowInEveryWindow)
{
    const AccountCase cases[] = {
        {"quorv", "quorv", true, true, {true, true, true, true, true, true}},
        {"quorv", "quorv", true, false, {true, true, true, true, true, false}},
        {"quorv", "quorv", false, true, {false, false, true, true, true, true}},
        {"runner", "r1", true, true, {true, false, false, false, false, false}},
        {"runner", "r1", false, true, {false, false, false, false, false, false}},
        {"viewer", "v1", true, true, {false, true, false, false, true, false}},
        {"editor", "e1", true, true, {false, false, false, true, false, true}},
        {"editor", "e1", true, false, {false, false, false, true, false, false}},
    };
    int n = 0;
    for (const AccountCase& c : cases) {
        const QString path = TestWithAccounts(c.locked, c.withRun);
        OpenWithLogin(path, c.user, c.password);
        EXPECT_TRUE(script.shown().empty()) << c.user << ": " << script.texts().join(" | ").toStdString();
        EXPECT_TRUE(Form1->con.isOpen()) << c.user;
        EXPECT_EQ(Session::current().user, c.user);
        EXPECT_EQ(Shown(), c.expected) << "case " << n << ": " << c.user;
        // An unlocked test opens for editing to an account that may change it.
        EXPECT_EQ(Form3->PageControl->isEnabled(), c.expected.lock && !c.locked) << "case " << n;
        // Closing the editor gives the main window the same buttons.
        Form1->RefreshMainButtons();
        EXPECT_EQ(Form1->btnTest->isEnabled(), c.expected.test) << c.user;
        EXPECT_EQ(Form1->btnResult->isEnabled(), c.expected.result) << c.user;
        script.clear();
        ++n;
        // Each case starts on a fresh file of its own.
        Form1->con.close();
        QFile::remove(path);
    }
}

TEST_F(OpenButton, IdentificationOffTakesTheAdministratorWithoutAsking)
{
    const QString path = NewTest(QStringLiteral("a 'quoted' tést; Größe.mdb"));
    ExecSQL("update testd set v = 'true' where id = 0;");
    ClickOpen(path);
    EXPECT_TRUE(script.shown().empty()) << script.texts().join(" | ").toStdString();
    EXPECT_EQ(Session::current().user, "quorv");
    EXPECT_EQ(Session::current().testFile, path);
    EXPECT_EQ(Shown(), (Enabled{true, true, true, true, true, false}));
    EXPECT_FALSE(Form3->PageControl->isEnabled());
    EXPECT_EQ(Form3->btnLock->text(), "&Locked");
}

struct RefusedLogin {
    const char* user;
    const char* password;
};

TEST_F(OpenButton, ARefusedLoginLeavesNothingOfThePreviousAccountOrFile)
{
    const RefusedLogin logins[] = {
        {"runner", "wrong"},
        {"sleeper", "s1"},  // inactive
        {"boss", "secret9"},  // a password counts its letter case
        {"' or ''='", "' or ''='"},
        {"quorv' --", "x"},
        {"", ""},
    };
    for (const RefusedLogin& login : logins) {
        const QString path = TestWithAccounts(true, true);
        // The administrator of this file is logged in: everything is enabled.
        OpenWithLogin(path, "quorv", "quorv");
        ASSERT_EQ(Shown(), (Enabled{true, true, true, true, true, true}));
        const QByteArray before = (Form1->con.close(), Bytes(path));
        Form1->con.open();
        script.clear();

        script.answerQuestion(false);
        OpenWithLogin(path, login.user, login.password);
        ASSERT_EQ(script.shown().size(), 2u) << login.user << ": " << script.texts().join(" | ").toStdString();
        EXPECT_EQ(script.shown()[0].kind, MessageKind::Question);
        EXPECT_EQ(script.shown()[1].kind, MessageKind::Error);
        EXPECT_EQ(script.lastText(), kInvalidLogin);
        ExpectLoggedOut();
        EXPECT_EQ(Bytes(path), before) << login.user;
        script.clear();
        QFile::remove(path);
    }
}

TEST_F(OpenButton, APasswordComparesExactlyWhileANameIgnoresLetterCase)
{
    const QString path = TestWithAccounts(true, false);
    OpenWithLogin(path, "runner", "r1");
    ASSERT_EQ(Session::current().user, "runner");
    EXPECT_FALSE(LoginAccount(false, "quorv", "QUORV"));
    EXPECT_FALSE(LoginAccount(false, "boss", "secret9"));
    EXPECT_TRUE(LoginAccount(false, "boss", "Secret9"));
    EXPECT_TRUE(LoginAccount(false, "QUORV", "quorv"));
    EXPECT_EQ(Session::current().user, "quorv");
    EXPECT_TRUE(ReadUserPermissions("Runner", "r1"));
    EXPECT_EQ(Session::current().permissions, (QStringList{"false", "true", "false", "false", "false", "false"}));
    script.clear();
    EXPECT_FALSE(ReadUserPermissions("runner", "R1"));
    EXPECT_EQ(script.lastText(),
              "Error in reading user permissions!\r\n\r\nKelvo can't open Test without reading users permissions!");
}

TEST_F(OpenButton, ThreeWrongLoginsEndWithTheErrorAndNoFurtherQuestion)
{
    const QString path = TestWithAccounts(true, false);
    script.answerQuestion(true);
    script.answerQuestion(true);
    for (int i = 0; i < 3; ++i) {
        answerModal<LoginWindow>([](LoginWindow* window) {
            QTest::keyClicks(window->userEdit, "quorv");
            QTest::keyClicks(window->passwordEdit, "nope");
            window->accept();
        });
    }
    ClickOpen(path);
    ASSERT_EQ(script.shown().size(), 3u);
    EXPECT_EQ(script.shown()[2].kind, MessageKind::Error);
    ExpectLoggedOut();
}

TEST_F(OpenButton, AnInactiveAdministratorWithIdentificationOffCannotOpenTheTest)
{
    const QString path = NewTest();
    ExecSQL("update users set act = false where usr = 'quorv';");
    ClickOpen(path);
    EXPECT_EQ(script.lastText(),
              "Error in reading user permissions!\r\n\r\nKelvo can't open Test without reading users permissions!");
    ExpectLoggedOut();
}

TEST_F(OpenButton, AFileOfAnotherProgramIsRefusedAndThePreviousTestStaysOpen)
{
    const QString previous = NewTest(QStringLiteral("previous.mdb"));
    const QString foreign = dir.filePath("foreign.mdb");
    engine::createDatabase(foreign, kDatabasePassword);
    {
        engine::Connection connection;
        OpenDirectly(connection, foreign);
        connection.execute("create table items ( id integer primary key, caption longtext );");
    }
    const QByteArray before = Bytes(foreign);

    ClickOpen(foreign);
    EXPECT_EQ(script.texts(), (QStringList{kNotValid, kOpeningFailed}));
    EXPECT_EQ(Bytes(foreign), before);
    EXPECT_TRUE(Form1->con.isOpen());
    EXPECT_EQ(Session::current().testFile, previous);
    EXPECT_FALSE(Form3->btnLock->isEnabled());
    EXPECT_FALSE(Form3->PageControl->isEnabled());

    // A text file is no database at all.
    script.clear();
    const QString text = dir.filePath("notes.mdb");
    {
        QFile file(text);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("just some notes\n");
    }
    ClickOpen(text);
    ASSERT_FALSE(script.shown().empty());
    EXPECT_TRUE(script.texts().front().startsWith("Connecting to the selected Access (*.mdb) file failed!"));
    EXPECT_EQ(script.lastText(), kOpeningFailed);
    EXPECT_EQ(Bytes(text), "just some notes\n");
    EXPECT_EQ(Session::current().testFile, previous);

    // A test whose password was taken out past the program opens no more, and says why.
    script.clear();
    const QString stripped = dir.filePath("stripped.mdb");
    QFile::copy(previous, stripped);
    {
        engine::Connection connection;
        OpenDirectly(connection, stripped);
        connection.execute("drop table kelvo_password;");
    }
    const QByteArray strippedBefore = Bytes(stripped);
    ClickOpen(stripped);
    ASSERT_EQ(script.shown().size(), 2u) << script.texts().join(" | ").toStdString();
    EXPECT_TRUE(script.texts().front().startsWith("Connecting to the selected Access (*.mdb) file failed!"));
    EXPECT_TRUE(script.texts().front().contains("password")) << script.texts().front().toStdString();
    EXPECT_EQ(script.lastText(), kOpeningFailed);
    EXPECT_EQ(Bytes(stripped), strippedBefore);
    EXPECT_TRUE(Form1->con.isOpen());
    EXPECT_EQ(Session::current().testFile, previous);
}

TEST_F(OpenButton, AMissingFileIsOnlyWarnedAbout)
{
    ClickOpen(dir.filePath("nowhere.mdb"));
    EXPECT_EQ(script.lastText(),
              "File not exists!\r\n\r\nFor creating new Kelvo Test you should click on \"New\" button!");
    EXPECT_EQ(script.shown().back().kind, MessageKind::Warning);
    EXPECT_FALSE(Form1->con.isOpen());
}

// A test without its identification row is refused like a file that is no test: the test
// open before stays open, current and logged in.
TEST_F(OpenButton, ATestWithoutItsIdentificationRowIsRefusedAndThePreviousTestStaysOpen)
{
    const QString path = NewTest();
    ExecSQL("delete from testd where id = -14;");
    const QString previous = NewTest(QStringLiteral("previous.mdb"));
    ExecSQL("update testd set v = 'true' where id = 0;");
    ClickOpen(previous);
    ASSERT_TRUE(script.shown().empty()) << script.texts().join(" | ").toStdString();
    const QStringList tables = Session::current().tableNames;
    const Enabled enabled = Shown();
    const QByteArray before = Bytes(path);

    ClickOpen(path);
    ASSERT_EQ(script.shown().size(), 2u) << script.texts().join(" | ").toStdString();
    EXPECT_EQ(script.shown()[0].kind, MessageKind::Error);
    EXPECT_TRUE(script.texts()[0].contains("(-14) is missing"));
    EXPECT_EQ(script.lastText(), kOpeningFailed);
    EXPECT_EQ(Bytes(path), before);
    EXPECT_TRUE(Form1->con.isOpen());
    EXPECT_EQ(Form1->con.filePath(), previous);
    EXPECT_EQ(Session::current().testFile, previous);
    EXPECT_EQ(Session::current().tableNames, tables);
    EXPECT_EQ(Session::current().user, "quorv");
    EXPECT_EQ(SelectToVariant("select count(*) from testd where id = -14;").integer(0, 0), 1);
    Form1->RefreshMainButtons();
    EXPECT_EQ(Form1->btnTest->isEnabled(), enabled.test);

    // With no test open before, nothing stays open.
    Form1->con.close();
    script.clear();
    ClickOpen(path);
    EXPECT_EQ(script.lastText(), kOpeningFailed);
    EXPECT_FALSE(Form1->con.isOpen());
}

}  // namespace
