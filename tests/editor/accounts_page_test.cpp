// The Administrator page: accounts added, renamed, deactivated and deleted through the
// grid's navigator, edits and check boxes, every refusal of an account, and a login
// with the permissions ticked.
#include "dataaware/data_check_box.h"
#include "dataaware/data_grid.h"
#include "dataaware/data_line_edit.h"
#include "dataaware/dataset.h"
#include "dataaware/navigator.h"
#include "tests/editor/editor_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHeaderView>

using namespace kelvo;
using kelvo::dataaware::NavigatorButton;
using kelvo::testing::EditorFixture;

namespace {

const QString kLengthWarning = "User name and user password must have length between 1 and 20 character!";
const QString kAllowed =
    "\r\n\r\nYou can use only this characters:  ['a'..'z', '0'..'9', ' ', '_'].\r\n\r\nUpper case (\"A\"..\"Z\") are "
    "not allowed!";
const QString kUniqueError = "User Name must be unique! You can't have 2 identical user Names in this database!";

class AccountsPage : public EditorFixture {
protected:
    void SetUp() override
    {
        path = NewTest();
        Form3->show();
        Form3->PageControl->setCurrentWidget(Form3->Sheet9);
    }

    static void Press(NavigatorButton which) { QTest::mouseClick(Form3->nav6->button(which), Qt::LeftButton); }

    static void Type(QLineEdit* edit, const QString& text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }

    static void ClickBox(QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2)); }

    // A new account typed into the edits, with the flag boxes in `click` clicked.
    static void AddAccount(const QString& user, const QString& password, std::initializer_list<QCheckBox*> click = {})
    {
        Press(NavigatorButton::Insert);
        Type(Form3->DBEdit1, user);
        Type(Form3->DBEdit2, password);
        for (QCheckBox* box : click)
            ClickBox(box);
        Press(NavigatorButton::Post);
    }

    // The stored account: name, password and the flags act, per0 ... per5.
    static QStringList Account(const QString& user)
    {
        const RowSet row = SelectToVariant(
            "select usr, pas, act, per0, per1, per2, per3, per4, per5 from users where usr = " + SqlQuote(user) + ";");
        QStringList fields;
        for (int c = 0; !row.isNull() && c < row.cols(); ++c)
            fields << row.text(0, c);
        return fields;
    }

    static int Accounts() { return SelectToVariant("select count(*) from users;").integer(0, 0); }

    QString path;
};

TEST_F(AccountsPage, AnAccountIsAddedRenamedDeactivatedAndDeleted)
{
    TForm3& e = *Form3;
    // Only the accounts beside the administrator's are listed.
    EXPECT_EQ(e.dbg6->model()->rowCount(), 0);
    Press(NavigatorButton::Insert);
    // A new account shows what the table gives it when nothing is ticked.
    EXPECT_TRUE(e.dbCheck->isChecked());
    EXPECT_TRUE(e.dbcheck1->isChecked());
    EXPECT_FALSE(e.dbcheck5->isChecked());
    Press(NavigatorButton::Cancel);

    AddAccount("  ana  ", "pw 1", {e.dbcheck1, e.dbcheck2, e.dbcheck3});
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
    EXPECT_EQ(Account("ana"),
              (QStringList{"ana", "pw 1", "true", "false", "false", "true", "true", "false", "false"}));
    ASSERT_EQ(e.dbg6->model()->rowCount(), 1);
    // The grid shows the flags as boxes and never the password.
    const QAbstractItemModel& grid = *e.dbg6->model();
    EXPECT_EQ(grid.headerData(1, Qt::Horizontal).toString(), "User password");
    EXPECT_EQ(grid.index(0, 0).data().toString(), "ana");
    EXPECT_EQ(grid.index(0, 1).data().toString(), "********");
    EXPECT_EQ(grid.index(0, 4).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(e.DBEdit2->echoMode(), QLineEdit::Password);
    EXPECT_EQ(e.DBEdit2->text(), "pw 1");

    // Renamed in the edit and posted with Ctrl+S on the grid.
    Type(e.DBEdit1, "ana_b");
    e.dbg6->setFocus();
    QTest::keyClick(e.dbg6, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(Account("ana_b").value(1), "pw 1");
    EXPECT_TRUE(Account("ana").isEmpty());

    ClickBox(e.dbCheck);
    Press(NavigatorButton::Post);
    EXPECT_EQ(Account("ana_b").value(2), "false");

    e.dbg6->setFocus();
    QTest::keyClick(e.dbg6, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_TRUE(Account("ana_b").isEmpty());
    EXPECT_EQ(Accounts(), 1);
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
}

// A control character means nothing in a name or a password, and a NUL cut the
// statements short: pasted into the edits, they are left out (a tab becomes a blank), so
// the account is stored rather than refused for an illegal character.
TEST_F(AccountsPage, ControlCharactersPastedIntoTheNameAndPasswordAreLeftOut)
{
    const QString nul(QChar(0));
    Press(NavigatorButton::Insert);
    for (const auto& [edit, text] : {std::pair{Form3->DBEdit1, "an" + nul + "a\x01"},
                                     std::pair{Form3->DBEdit2, "pw\t1" + nul + "\x1b"}}) {
        edit->setFocus();
        QApplication::clipboard()->setText(text);
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    }
    Press(NavigatorButton::Post);
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
    EXPECT_EQ(Account("ana").mid(0, 2), (QStringList{"ana", "pw 1"}));
}

struct Refusal {
    const char* name;
    QString user;
    QString password;
    QString message;
    MessageKind kind;
};

TEST_F(AccountsPage, EveryRefusedAccountIsToldAndKeepsWhatWasTyped)
{
    // An account made elsewhere with a capital in its name still owns it.
    ExecSQL("insert into users (usr, pas) values ('Bob', 'x');");
    AddAccount("ana", "pw");
    ASSERT_TRUE(script.shown().empty()) << script.lastText().toStdString();
    const int before = Accounts();
    const Refusal cases[] = {
        {"empty name", "", "pw", kLengthWarning, MessageKind::Warning},
        {"blanks for a name", "   ", "pw", kLengthWarning, MessageKind::Warning},
        {"empty password", "eve", "", kLengthWarning, MessageKind::Warning},
        {"21-character name", QString(21, u'a'), "pw", kLengthWarning, MessageKind::Warning},
        {"21-character password", "eve", QString(21, u'p'), kLengthWarning, MessageKind::Warning},
        {"a capital", "Eve", "pw", "Illegal character in user name or password: E" + kAllowed, MessageKind::Warning},
        {"a quote in the name", "o'neil", "pw", "Illegal character in user name or password: '" + kAllowed,
         MessageKind::Warning},
        {"a quote in the password", "eve", "pa'ss", "Illegal character in user name or password: '" + kAllowed,
         MessageKind::Warning},
        {"a name taken", "ana", "other", kUniqueError, MessageKind::Error},
        {"a name taken in other letter case", "bob", "pw", kUniqueError, MessageKind::Error},
        {"the administrator's name", kDefaultAdministrator, "pw", kUniqueError, MessageKind::Error},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        script.clear();
        AddAccount(c.user, c.password);
        ASSERT_EQ(script.shown().size(), 1u) << script.texts().join(" | ").toStdString();
        EXPECT_EQ(script.lastText(), c.message);
        EXPECT_EQ(script.shown().front().kind, c.kind);
        // The row stays new with what was typed, until the author cancels it.
        EXPECT_EQ(Form3->qusers->state(), dataaware::DatasetState::Insert);
        EXPECT_EQ(Form3->DBEdit1->text(), c.user.trimmed());
        EXPECT_EQ(Form3->DBEdit2->text(), c.password.trimmed());
        EXPECT_EQ(Accounts(), before);
        Press(NavigatorButton::Cancel);
    }
    // 20 characters is the longest text taken.
    script.clear();
    AddAccount(QString(20, u'z'), QString(20, u'9'));
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
    EXPECT_EQ(Accounts(), before + 1);
}

TEST_F(AccountsPage, AnAccountLogsInWithExactlyThePermissionsTicked)
{
    TForm3& e = *Form3;
    // Run test is ticked for a new account; View results and Modify results are added.
    AddAccount("rita", "s3cret", {e.dbcheck2, e.dbcheck4});
    AddAccount("idle", "pw");
    ClickBox(e.dbCheck);
    Press(NavigatorButton::Post);
    ASSERT_TRUE(script.shown().empty()) << script.lastText().toStdString();
    ExecSQL("update testd set v = 'true' where id = -14;");
    e.trialAnswerSeed = 1;
    e.btnLock->click();
    ASSERT_EQ(SelectToVariant("select v from testd where id = 0;").text(0, 0), "true");
    script.clear();

    OpenWithLogin(path, "rita", "s3cret");
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
    EXPECT_EQ(Session::current().user, "rita");
    ASSERT_TRUE(Session::current().permissions.has_value());
    EXPECT_EQ(*Session::current().permissions, (QStringList{"false", "true", "true", "false", "true", "false"}));
    EXPECT_TRUE(Form1->btnTest->isEnabled());
    EXPECT_TRUE(Form1->btnResult->isEnabled());
    EXPECT_FALSE(Form13->toolExport->isEnabled());
    EXPECT_FALSE(e.btnLock->isEnabled());
    EXPECT_FALSE(AdministratorPageShown());

    // A deactivated account does not log in.
    script.answerQuestion(false);
    OpenWithLogin(path, "idle", "pw");
    EXPECT_TRUE(script.lastText().startsWith("Invalid Username or Password!")) << script.lastText().toStdString();
    EXPECT_TRUE(Session::current().user.isEmpty());
}

}  // namespace
