// The administrator account dialog, reached from the editor's Administrator page.
#include "editor/admin_account_window.h"
#include "tests/editor/editor_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>

using namespace kelvo;
using kelvo::testing::answerModal;
using kelvo::testing::EditorFixture;

namespace {

const QString kError127 = QStringLiteral("Internal error: error code 127.\r\n\r\nError in updating the administrator account");
const QString kUpdated = QStringLiteral(
    "Successfully updated Administrator account! Don't forget administrator username and password!\r\n\r\nWithout "
    "username and password you can't open Kelvo database!");
const QString kRemember = QStringLiteral(
    "Don't forget your Username and Password because you have activated User Identification in Kelvo "
    "file!\r\n\r\nWithout Username and Password no one can't open this Test!");

class AdministratorDialog : public EditorFixture {
protected:
    // Opens the dialog with the editor's button and lets `act` work in it. The button
    // stands on the Administrator page, usable while the test is unlocked for editing.
    void WithDialog(std::function<void(TForm11*)> act)
    {
        if (!Form3->PageControl->isEnabled())
            Form3->ShowLockLook(true);
        ASSERT_TRUE(Form3->speed9->isEnabled());
        answerModal<TForm11>(std::move(act));
        Form3->speed9->click();
    }

    // Types the name and both passwords anew and presses Save.
    static void TypeAndSave(TForm11* window, const QString& name, const QString& password, const QString& again)
    {
        for (QLineEdit* edit : {window->Edit1, window->Edit2, window->Edit3})
            edit->clear();
        QTest::keyClicks(window->Edit1, name);
        QTest::keyClicks(window->Edit2, password);
        QTest::keyClicks(window->Edit3, again);
        QTest::mouseClick(window->btn2, Qt::LeftButton);
    }

    static QStringList Administrators()
    {
        const RowSet rows = SelectToVariant("select usr, pas from users where per0 = true order by autoid;");
        QStringList accounts;
        for (int r = 0; r < rows.rows(); ++r)
            accounts << rows.text(r, 0) + QLatin1Char('/') + rows.text(r, 1);
        return accounts;
    }

    static QString Identification() { return SelectToVariant("select v from testd where id = -14;").text(0, 0); }
};

TEST_F(AdministratorDialog, ANewNameAndPasswordAreStoredAndTheSwitchWrittenOnClosing)
{
    NewTest();
    QString shownName;
    script.answerQuestion(true);
    WithDialog([&](TForm11* window) {
        shownName = window->Edit1->text();
        EXPECT_EQ(window->Edit2->text(), "quorv");
        EXPECT_FALSE(window->chIdentification->isChecked());
        window->chIdentification->setChecked(true);
        TypeAndSave(window, "Boss_1", "secret 2", "secret 2");
    });
    EXPECT_EQ(shownName, "quorv");
    EXPECT_EQ(Administrators(), QStringList{"boss_1/secret 2"});
    EXPECT_EQ(Session::current().user, "boss_1");
    EXPECT_EQ(Session::current().password, "secret 2");
    EXPECT_EQ(Identification(), "true");
    EXPECT_EQ(script.texts(), (QStringList{"Change administrator username and password?", kUpdated, kRemember}));
}

TEST_F(AdministratorDialog, ControlCharactersPastedIntoTheEditsAreLeftOut)
{
    NewTest();
    script.answerQuestion(true);
    WithDialog([&](TForm11* window) {
        const QString nul(QChar(0));
        for (const auto& [edit, text] : {std::pair{window->Edit1, "bo" + nul + "ss\x01"},
                                         std::pair{window->Edit2, "pw" + nul + "\t2"},
                                         std::pair{window->Edit3, "pw" + nul + "\t2"}}) {
            edit->clear();
            QApplication::clipboard()->setText(text);
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        }
        QTest::mouseClick(window->btn2, Qt::LeftButton);
    });
    EXPECT_EQ(script.texts(), (QStringList{"Change administrator username and password?", kUpdated}));
    EXPECT_EQ(Administrators(), QStringList{"boss/pw 2"});
    EXPECT_EQ(Session::current().user, "boss");
}

struct RefusedEntry {
    const char* name;
    const char* password;
    const char* again;
    const char* warning;
};

TEST_F(AdministratorDialog, UnequalPasswordsAndWrongLengthsAreRefusedWithoutChangingAnything)
{
    NewTest();
    const RefusedEntry entries[] = {
        {"boss", "one", "two",
         "You have entered two passwords are not equal!\r\n\r\nType and retype administrator password again!"},
        {"", "pw", "pw", "User name and Password must have length: 1..20"},
        {"boss", "", "", "User name and Password must have length: 1..20"},
    };
    for (const RefusedEntry& entry : entries) {
        WithDialog([&](TForm11* window) {
            TypeAndSave(window, entry.name, entry.password, entry.again);
            window->reject();
        });
        ASSERT_FALSE(script.shown().empty());
        EXPECT_EQ(script.shown().front().text, entry.warning);
        EXPECT_EQ(script.shown().front().kind, MessageKind::Warning);
        EXPECT_EQ(Administrators(), QStringList{"quorv/quorv"});
        script.clear();
    }
}

TEST_F(AdministratorDialog, SavingTheSameAccountWritesOnlyTheSwitch)
{
    NewTest();
    WithDialog([](TForm11* window) {
        window->chIdentification->setChecked(true);
        QTest::mouseClick(window->btn2, Qt::LeftButton);
        window->reject();
    });
    EXPECT_EQ(script.texts(), QStringList{kRemember});
    EXPECT_EQ(Administrators(), QStringList{"quorv/quorv"});
    EXPECT_EQ(Identification(), "true");

    script.clear();
    WithDialog([](TForm11* window) {
        EXPECT_TRUE(window->chIdentification->isChecked());
        window->chIdentification->setChecked(false);
        window->reject();
    });
    EXPECT_TRUE(script.shown().empty());
    EXPECT_EQ(Identification(), "false");
}

TEST_F(AdministratorDialog, ANameThatWouldMakeTwoAccountsAlikeGivesError127AndChangesNothing)
{
    NewTest();
    ExecSQL("insert into users (usr, pas, per0) values ('anna', 'a1', false);");
    script.answerQuestion(true);
    WithDialog([](TForm11* window) {
        TypeAndSave(window, "anna", "x", "x");
        window->reject();
    });
    EXPECT_EQ(script.texts().at(1), kError127);
    EXPECT_EQ(Administrators(), QStringList{"quorv/quorv"});

    // With a second administrator account the one update cannot give both the same name.
    script.clear();
    ExecSQL("insert into users (usr, pas, per0) values ('second', 's2', true);");
    script.answerQuestion(true);
    WithDialog([](TForm11* window) {
        TypeAndSave(window, "boss", "pw", "pw");
        window->reject();
    });
    EXPECT_EQ(script.texts().at(1), kError127);
    EXPECT_EQ(Administrators(), (QStringList{"quorv/quorv", "second/s2"}));
}

}  // namespace
