// Locking a test from the editor's lock button: result tables, validation errors and
// warnings in the log window, the lock flag, and unlocking.
#include "app/main_window.h"
#include "data/database.h"
#include "editor/editor_window.h"
#include "engine/connection.h"
#include "tests/run/run_window_fixture.h"
#include "tests/support/kill_points.h"
#include "ui/dialog_service.h"
#include "ui/log_window.h"
#include "ui/wait_window.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

using namespace kelvo;
using kelvo::testing::KillStep;

namespace {

const QString kLockedMessage = QStringLiteral(
    "Kelvo test is valid!\r\n\r\nValidation of Kelvo test was successfully completed without error.\r\n\r\n"
    "Your test is locked and ready for use.");
const QString kHasErrorsWarning = QStringLiteral(
    "Test can not be locked because it has errors!\r\n\r\nLook carefully at the following list of errors, "
    "correct these errors and then repeat the process of locking test.");

class TestLocking : public kelvo::testing::TestWindowFixture {
protected:
    void SetUp() override
    {
        TestWindowFixture::SetUp();
        CreateTest(QStringLiteral("lock.mdb"));
        Form3->trialAnswerSeed = 7;
        Form3->btnLock->setEnabled(true);
    }

    // Another test, as the editor's New leaves it: the datasets let go of the previous one.
    void NewTest(const QString& name)
    {
        Form3->CloseDataSets();
        CreateTest(name);
    }

    // What opening an unlocked test does: the locked look, then a click that unlocks it.
    void OpenForEditing()
    {
        Form3->ShowLockLook(false);
        EXPECT_FALSE(ClickLock());
        ASSERT_EQ(Form3->btnLock->property("tag").toInt(), 1);
    }

    // Clicks the lock button as a person would and closes the log window when it comes
    // up modally; tells whether it did.
    bool ClickLock()
    {
        bool logShown = false;
        QTimer closer;
        closer.setInterval(5);
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (auto* log = qobject_cast<TForm7*>(QApplication::activeModalWidget())) {
                logShown = true;
                lockEnabledWhileLogShown = Form3->btnLock->isEnabled();
                waitTextWhileLogShown.clear();
                for (QWidget* widget : QApplication::topLevelWidgets())
                    if (auto* wait = qobject_cast<TForm16*>(widget); wait && wait->isVisible())
                        waitTextWhileLogShown = wait->label1->text();
                if (const QString out = qEnvironmentVariable("KELVO_SCREENSHOT_DIR"); !out.isEmpty())
                    log->grab().save(QDir(out).filePath(QStringLiteral("validation_log.png")));
                log->reject();
            }
        });
        closer.start();
        Form3->btnLock->click();
        return logShown;
    }

    // What the person saw behind the log window.
    bool lockEnabledWhileLogShown = true;
    QString waitTextWhileLogShown;

    static QString LockFlag() { return SelectToVariant(QStringLiteral("select v from testd where id = 0;")).text(0, 0); }
    static QString SettingValue(int id)
    {
        return SelectToVariant(QStringLiteral("select v from testd where id = %1;").arg(id)).text(0, 0);
    }

    // The columns of a table by name, lower-cased, with their classes.
    static std::map<QString, engine::FieldClass> Columns(const QString& table)
    {
        std::map<QString, engine::FieldClass> columns;
        for (const engine::FieldInfo& field : Form1->con.tableFields(table))
            columns[field.name.toLower()] = field.type;
        return columns;
    }

    static bool HasTable(const QString& table) { return Form1->con.tableNames().contains(table, Qt::CaseInsensitive); }

    // The flag in the file and the button's look agree, and the button is usable again.
    static void ExpectLockState(bool locked)
    {
        EXPECT_EQ(LockFlag(), locked ? QStringLiteral("true") : QStringLiteral("false"));
        EXPECT_EQ(Form3->btnLock->property("tag").toInt(), locked ? 0 : 1);
        EXPECT_EQ(Form3->btnLock->isChecked(), !locked);
        EXPECT_EQ(Form3->btnLock->text(), locked ? QStringLiteral("&Locked") : QStringLiteral("&Unlocked"));
        EXPECT_EQ(Form3->PageControl->isEnabled(), !locked);
        EXPECT_TRUE(Form3->btnLock->isEnabled());
    }
    static void ExpectLocked() { ExpectLockState(true); }
    static void ExpectUnlocked() { ExpectLockState(false); }

    QStringList LogLines() const { return LogText().split(u'\n'); }
};

TEST_F(TestLocking, LockingAValidTestCreatesItsResultTablesWritesTheFlagAndSaysSo)
{
    AddVariable(1, QStringLiteral("score"), QStringLiteral("true"), 0, QStringLiteral("0"),
                {QStringLiteral("if(item1=1,2,0)")});
    AddDataField(1, 1, QStringLiteral("name"), QStringLiteral("string"));
    AddDataField(2, 2, QStringLiteral("age"), QStringLiteral("integer"));
    AddDataField(3, 3, QStringLiteral("height"), QStringLiteral("float"));
    AddDataField(4, 4, QStringLiteral("smoker"), QStringLiteral("boolean"));
    OpenForEditing();
    ExpectUnlocked();

    DialogScript script;
    EXPECT_FALSE(ClickLock()) << LogText().toStdString();
    EXPECT_EQ(script.texts(), QStringList{kLockedMessage});
    ExpectLocked();

    using FC = engine::FieldClass;
    EXPECT_EQ(Columns(QStringLiteral("datai1")), (std::map<QString, FC>{{"id", FC::Integer}, {"item1", FC::Memo}}));
    EXPECT_EQ(Columns(QStringLiteral("datav1")), (std::map<QString, FC>{{"id", FC::Integer}, {"var1", FC::Float}}));
    EXPECT_EQ(Columns(QStringLiteral("dataf")),
              (std::map<QString, FC>{{"id", FC::Integer},
                                     {"data1", FC::Text},
                                     {"data2", FC::Integer},
                                     {"data3", FC::Float},
                                     {"data4", FC::Boolean}}));
    // The test was opened again: its table list names the new tables, and it stays open.
    EXPECT_TRUE(Form1->con.isOpen());
    for (const char* table : {"datai1", "datav1", "dataf"})
        EXPECT_TRUE(Session::current().tableNames.contains(QLatin1String(table))) << table;
}

// Assistive tools work the lock through the button's toggle action: it locks and
// unlocks as a click does.
TEST_F(TestLocking, TheButtonsAccessibleToggleActsAsAClick)
{
    OpenForEditing();
    QAccessibleInterface* button = QAccessible::queryAccessibleInterface(Form3->btnLock);
    ASSERT_NE(button, nullptr);
    ASSERT_NE(button->actionInterface(), nullptr);
    ASSERT_TRUE(button->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    DialogScript script;
    button->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(script.texts(), QStringList{kLockedMessage});
    ExpectLocked();
    button->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    ExpectUnlocked();
}

TEST_F(TestLocking, ResultTablesAreKeyedByAPositiveRunId)
{
    OpenForEditing();
    DialogScript script;
    ClickLock();
    ExecSQL(QStringLiteral("insert into datai1 (id, item1) values (1, 'a');"));
    for (const char* faulty : {"insert into datai1 (id, item1) values (1, 'b');",
                               "insert into datai1 (id, item1) values (0, 'b');",
                               "insert into datai1 (id, item1) values (null, 'b');"})
        EXPECT_THROW(ExecSQL(QLatin1String(faulty)), engine::EngineError) << faulty;
}

TEST_F(TestLocking, WithoutVariablesOrDataFieldsNoSuchTablesAreMade)
{
    OpenForEditing();
    DialogScript script;
    ClickLock();
    ExpectLocked();
    EXPECT_TRUE(HasTable(QStringLiteral("datai1")));
    EXPECT_FALSE(HasTable(QStringLiteral("datav1")));
    EXPECT_FALSE(HasTable(QStringLiteral("dataf")));
}

// 254 result columns a table: the block of a question or variable is its table.
TEST_F(TestLocking, ColumnsPastTheBlockSizeGoToTheNextTable)
{
    struct Case {
        int lastId;
        QStringList tables;  // datai<k> and datav<k> that exist afterwards
        QString lastTable;   // the one holding item<lastId> and var<lastId>
    };
    const std::vector<Case> cases = {
        {254, {"1"}, "1"},
        {255, {"1", "2"}, "2"},
        {509, {"1", "2", "3"}, "3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lastId);
        NewTest(QStringLiteral("blocks%1.mdb").arg(c.lastId));
        AddQuestion(c.lastId, QStringLiteral("last"), {QStringLiteral("yes"), QStringLiteral("no")});
        AddVariable(1, QStringLiteral("first"), QStringLiteral("true"), 0, QStringLiteral("0"));
        AddVariable(c.lastId, QStringLiteral("last"), QStringLiteral("true"), 0, QStringLiteral("0"));
        OpenForEditing();
        DialogScript script;
        ClickLock();
        ExpectLocked();
        for (const QString& prefix : {QStringLiteral("datai"), QStringLiteral("datav")}) {
            for (int k = 1; k <= 4; ++k)
                EXPECT_EQ(HasTable(prefix + QString::number(k)), c.tables.contains(QString::number(k)))
                    << (prefix + QString::number(k)).toStdString();
            const QString column = (prefix == QLatin1String("datai") ? QStringLiteral("item") : QStringLiteral("var"))
                                   + QString::number(c.lastId);
            EXPECT_EQ(Columns(prefix + c.lastTable).count(column), 1u) << column.toStdString();
            EXPECT_EQ(Columns(prefix + QStringLiteral("1")).count(column.chopped(QString::number(c.lastId).size()) + u'1'), 1u);
        }
    }
}

TEST_F(TestLocking, LockingAgainAddsOnlyTheColumnsOfNewQuestionsVariablesAndDataFields)
{
    AddVariable(1, QStringLiteral("score"), QStringLiteral("true"), 0, QStringLiteral("0"));
    AddDataField(1, 1, QStringLiteral("name"), QStringLiteral("string"));
    OpenForEditing();
    DialogScript script;
    ClickLock();
    ExpectLocked();

    EXPECT_FALSE(ClickLock());  // unlock
    ExpectUnlocked();
    AddQuestion(2, QStringLiteral("second"), {QStringLiteral("a")});
    AddVariable(2, QStringLiteral("other"), QStringLiteral("true"), 0, QStringLiteral("0"));
    AddDataField(5, 2, QStringLiteral("town"), QStringLiteral("string"));
    script.clear();
    ClickLock();
    ExpectLocked();
    // Error 73 would say a column was asked for twice.
    EXPECT_EQ(script.texts(), QStringList{kLockedMessage});
    using FC = engine::FieldClass;
    EXPECT_EQ(Columns(QStringLiteral("datai1")),
              (std::map<QString, FC>{{"id", FC::Integer}, {"item1", FC::Memo}, {"item2", FC::Memo}}));
    EXPECT_EQ(Columns(QStringLiteral("datav1")),
              (std::map<QString, FC>{{"id", FC::Integer}, {"var1", FC::Float}, {"var2", FC::Float}}));
    EXPECT_EQ(Columns(QStringLiteral("dataf")),
              (std::map<QString, FC>{{"id", FC::Integer}, {"data1", FC::Text}, {"data5", FC::Text}}));
}

TEST_F(TestLocking, UnlockingAsksNothingAndNeedsNoValidTest)
{
    OpenForEditing();
    DialogScript script;
    ClickLock();
    ExpectLocked();
    // Now invalid: a question without answers. Unlocking does not look.
    AddQuestion(2, QStringLiteral("no answers"), {});
    script.clear();
    Form7->editor->clear();
    EXPECT_FALSE(ClickLock());
    ExpectUnlocked();
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
    EXPECT_TRUE(LogText().isEmpty());
}

// Each error of validation, made on purpose: it is listed in the log under the
// validation title, the summary warning comes first, and the test stays unlocked.
TEST_F(TestLocking, EveryValidationErrorIsLoggedAndLeavesTheTestUnlocked)
{
    struct Case {
        const char* name;
        std::function<void()> make;
        QStringList expected;  // lines of the log that must be there, in order
    };
    const std::vector<Case> cases = {
        {"no questions",
         [] { ExecSQL(QStringLiteral("delete from items;")); },
         {QStringLiteral("You did not write the questions in the test (number of questions in the test is 0)!")}},
        {"questions without answers",
         [] {
             AddQuestion(3, QStringLiteral("three"), {});
             AddQuestion(2, QStringLiteral("two"), {});
         },
         {QStringLiteral("You did not write the answers to the question: \t2"),
          QStringLiteral("You did not write the answers to the question: \t3")}},
        {"a formula that does not compile",
         [] {
             AddVariable(1, QStringLiteral("v"), QStringLiteral("true"), 0, QStringLiteral("0"),
                         {QStringLiteral("if(item1=1,1,0)"), QStringLiteral("2*(3+")});
         },
         {QStringLiteral("var1--> formula: 2*(3+\tExco exception.\t")}},
        {"a formula that names a missing question",
         [] {
             AddVariable(4, QStringLiteral("v"), QStringLiteral("true"), 0, QStringLiteral("0"),
                         {QStringLiteral("if(item99=1)")});
         },
         {QStringLiteral("var4--> formula: if(item99=1)\tExco exception.\tUNKNOWN SYMBOL\"")}},
        {"a formula that reads another variable and does not compile",
         [] {
             AddVariable(1, QStringLiteral("v"), QStringLiteral("true"), 0, QStringLiteral("0"), {QStringLiteral("1")});
             AddVariable(2, QStringLiteral("w"), QStringLiteral("true"), 0, QStringLiteral("0"),
                         {QStringLiteral("var1*(2+")});
         },
         // The formula as the author wrote it, not as it is rewritten for the compiler.
         {QStringLiteral("var2--> formula: var1*(2+\tExco exception.\tMISSING \")\" BRACKET\"var1*(2+\"")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewTest(QStringLiteral("errors.mdb").prepend(QString::fromLatin1(c.name).remove(u' ')));
        c.make();
        OpenForEditing();
        Form7->editor->clear();
        DialogScript script;
        EXPECT_TRUE(ClickLock());
        EXPECT_EQ(script.texts(), QStringList{kHasErrorsWarning});
        EXPECT_FALSE(lockEnabledWhileLogShown) << "a second click cannot start while one runs";
        EXPECT_EQ(waitTextWhileLogShown, QStringLiteral("Validation (locking) Kelvo test.."));
        ExpectUnlocked();

        const QStringList lines = LogLines();
        ASSERT_EQ(lines.count(QStringLiteral("Validation Kelvo test")), 1) << LogText().toStdString();
        qsizetype at = lines.indexOf(QStringLiteral("Validation Kelvo test"));
        for (const QString& expected : c.expected) {
            const auto found = std::find_if(lines.begin() + at + 1, lines.end(),
                                            [&](const QString& line) { return line.startsWith(expected); });
            ASSERT_NE(found, lines.end()) << expected.toStdString() << "\n" << LogText().toStdString();
            at = found - lines.begin();
        }
    }
}

// A formula that divides by zero for some trial answers only: the seed decides, and the
// same seed always decides the same way.
TEST_F(TestLocking, TrialAnswersFollowTheSeed)
{
    for (int id = 2; id <= 6; ++id)
        AddQuestion(id, QStringLiteral("q"), {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    AddVariable(1, QStringLiteral("v"), QStringLiteral("true"), 0, QStringLiteral("0"),
                {QStringLiteral("1/(if(item2=1,1,0)+if(item3=1,1,0)+if(item4=1,1,0))")});
    std::set<bool> outcomes;
    for (unsigned seed = 1; seed <= 40; ++seed) {
        Form3->trialAnswerSeed = seed;
        QStringList first;
        QStringList second;
        const bool valid = Form3->ValidateTest(first);
        EXPECT_EQ(Form3->ValidateTest(second), valid) << seed;
        EXPECT_EQ(first, second) << seed;
        outcomes.insert(valid);
    }
    EXPECT_EQ(outcomes.size(), 2u) << "some seeds give a zero divisor and some do not";
}

TEST_F(TestLocking, WarningsLockTheTestAndAreShownAfterTheSuccessMessage)
{
    struct Case {
        const char* name;
        std::map<int, QString> settings;  // rows of testd before the test is opened
        std::function<void()> make;
        QStringList warnings;             // the lines after the title, in order
        std::map<int, QString> saved;     // rows of testd afterwards
    };
    const QString keypad = QStringLiteral(
        "You have exceeded the maximum limit the number of responses within the question (30) to use the reply "
        "using the keypad! The function of a keyboard is disabled!");
    const QString radio = QStringLiteral(
        "Radio buttons are not allowed in Kelvo test with several possible answers!");
    const QString replaced = QStringLiteral("They were replaced with a check box answers!");
    const QString forced = QStringLiteral(
        "For radio buttons and the possibility of avoiding responses to questions in the test, it is "
        "automatically enabled to use the keyboard!");
    const QString typed = QStringLiteral(
        "You have chosen parallel (simultaneously) using the editable answers and keyboard. Since the keyboard has "
        "the advantage over the answers (it happens earlier in the program), the following characters can NOT be "
        "used within the editable answers: ");
    const QString rules = QStringLiteral(
        "Rules for the use of numeric characters on the keyboard are: to select individual responses using the "
        "keyboard, always use the RIGHT side of the keyboard (next to the NUM LOCK key), and to enter digits in "
        "editable answers always use the numbers on the LEFT side of the keyboard!");
    const std::vector<Case> cases = {
        {"more answers than keys",
         {{-19, "true"}},
         [] {
             QStringList answers;
             for (int a = 1; a <= 31; ++a)
                 answers << QStringLiteral("answer %1").arg(a);
             AddQuestion(2, QStringLiteral("many"), answers);
         },
         {keypad},
         {{-19, "false"}}},
        {"radio buttons with several answers allowed",
         {{-11, "2"}, {-2, "true"}, {-3, "false"}, {-19, "false"}},
         [] {},
         {radio, QString(), replaced},
         {{-11, "1"}, {-19, "false"}}},
        {"radio buttons with no answer allowed and no keyboard",
         {{-11, "2"}, {-2, "false"}, {-3, "true"}, {-19, "false"}},
         [] {},
         {forced},
         {{-11, "2"}, {-19, "true"}}},
        {"typed answers beside the keyboard",
         {{-20, "true"}, {-19, "true"}},
         [] { AddQuestion(2, QStringLiteral("three"), {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}); },
         {typed, QString(), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QString(), rules},
         {{-20, "true"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewTest(QStringLiteral("warnings.mdb").prepend(QString::fromLatin1(c.name).remove(u' ')));
        for (const auto& [id, value] : c.settings)
            Setting(id, value);
        c.make();
        OpenForEditing();
        Form7->editor->clear();
        DialogScript script;
        EXPECT_TRUE(ClickLock());
        // The success message comes first; the log follows it.
        EXPECT_EQ(script.texts(), QStringList{kLockedMessage});
        ExpectLocked();

        QStringList lines = LogLines();
        const qsizetype title = lines.indexOf(QStringLiteral("Validation Kelvo test"));
        ASSERT_GE(title, 0) << LogText().toStdString();
        lines = lines.mid(title + 1);
        while (!lines.isEmpty() && lines.front().isEmpty())
            lines.removeFirst();
        while (!lines.isEmpty() && lines.back().isEmpty())
            lines.removeLast();
        EXPECT_EQ(lines, c.warnings) << LogText().toStdString();
        for (const auto& [id, value] : c.saved)
            EXPECT_EQ(SettingValue(id), value) << "row " << id;
    }
}

// The editor's Open keeps the name of a file it refused; locking afterwards reopens the
// test that stayed open, not that file, and the program stays connected.
TEST_F(TestLocking, LockingReopensTheCurrentTestNotARefusedFile)
{
    const QString current = Session::current().testFile;
    const QString refused = MakeTestFile(QStringLiteral("refused.mdb"), 7);
    OpenForEditing();
    {
        DialogScript script;
        script.answerFile(refused);
        Form3->btnOpen->click();
        ASSERT_EQ(script.shown().size(), 2u) << script.texts().join(u'|').toStdString();
        ASSERT_EQ(Session::current().testFile, current);
    }
    // Back in the editor, the account's permissions give the button back.
    Form3->btnLock->setEnabled(true);
    DialogScript script;
    ClickLock();
    ExpectLocked();
    EXPECT_EQ(script.texts(), QStringList{kLockedMessage});
    EXPECT_TRUE(Form1->con.isOpen());
    EXPECT_EQ(QDir::cleanPath(Form1->con.filePath()), QDir::cleanPath(current));
    EXPECT_EQ(Session::current().testFile, current);
    EXPECT_TRUE(Session::current().tableNames.contains(QStringLiteral("datai1")));
}

// A result table that cannot be made ends locking with the database's message; the
// wait window goes and the button comes back.
TEST_F(TestLocking, AFailedTableCreationReachesTheUserAndLeavesTheEditorUsable)
{
    AddVariable(1, QStringLiteral("v"), QStringLiteral("true"), 0, QStringLiteral("0"));
    OpenForEditing();
    ExecSQL(QStringLiteral("create index datav1 on items (caption);"));
    DialogScript script;
    ClickLock();
    ASSERT_EQ(script.shown().size(), 1u) << script.texts().join(u'|').toStdString();
    EXPECT_EQ(script.shown()[0].kind, MessageKind::Error);
    EXPECT_TRUE(script.lastText().contains(QStringLiteral("datav1"))) << script.lastText().toStdString();
    EXPECT_EQ(LockFlag(), QStringLiteral("false"));
    EXPECT_TRUE(Form3->btnLock->isEnabled());
    for (QWidget* widget : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<TForm16*>(widget) && widget->isVisible());
}

TEST_F(TestLocking, TheLockButtonLooksRightInBothStates)
{
    const QString out = qEnvironmentVariable("KELVO_SCREENSHOT_DIR");
    Form3->show();
    Form3->ShowLockLook(false);
    if (!out.isEmpty())
        Form3->btnLock->parentWidget()->grab().save(QDir(out).filePath(QStringLiteral("lock_locked.png")));
    const QImage locked = Form3->btnLock->grab().toImage();
    OpenForEditing();
    if (!out.isEmpty())
        Form3->grab().save(QDir(out).filePath(QStringLiteral("editor_unlocked.png")));
    EXPECT_NE(Form3->btnLock->grab().toImage(), locked) << "the two states differ on screen";
}

// The child's side of the test below, run only in a process of its own: locks the test
// its environment names, killed at the step named there.
TEST_F(TestLocking, DISABLED_LocksTheGivenTestUntilKilled)
{
    kelvo::testing::KillStepInChild kill;
    if (kill.file().isEmpty())
        GTEST_SKIP() << "run by the kill test in a process of its own";
    Form3->CloseDataSets();
    ASSERT_TRUE(Form1->OpenTestDatabase(kill.file(), false, false));
    OpenForEditing();
    DialogScript script;
    kill.arm(script);
    ClickLock();
    EXPECT_EQ(script.texts(), QStringList{kLockedMessage});
}

// Killed at any step of locking, the test is left whole with its password: its
// questions, answers, variables and data fields as they were, locked only with all its
// result columns, and locking it again works.
TEST_F(TestLocking, KilledAtAnyStepLeavesTheTestWholeAndLockable)
{
    AddQuestion(2, QStringLiteral("second"), {QStringLiteral("a"), QStringLiteral("b")});
    AddVariable(1, QStringLiteral("score"), QStringLiteral("true"), 0, QStringLiteral("0"),
                {QStringLiteral("if(item1=1,2,0)")});
    AddDataField(1, 1, QStringLiteral("name"), QStringLiteral("string"));
    AddDataField(2, 2, QStringLiteral("age"), QStringLiteral("integer"));
    const QString original = Session::current().testFile;
    Form3->CloseDataSets();
    Form1->con.close();
    const QStringList definition = {QStringLiteral("items"), QStringLiteral("answers"), QStringLiteral("variables"),
                                    QStringLiteral("formula"), QStringLiteral("userf")};
    const QStringList before = kelvo::testing::ContentsOf(original, definition);

    // The columns a whole lock gives.
    const QStringList resultTables = {QStringLiteral("datai1"), QStringLiteral("datav1"), QStringLiteral("dataf")};
    const auto resultColumns = [&] {
        std::map<QString, std::map<QString, engine::FieldClass>> columns;
        for (const QString& table : resultTables)
            if (HasTable(table))
                columns[table] = Columns(table);
        return columns;
    };
    std::map<QString, std::map<QString, engine::FieldClass>> whole;
    {
        const QString reference = dir.filePath(QStringLiteral("reference.mdb"));
        ASSERT_TRUE(QFile::copy(original, reference));
        ASSERT_TRUE(Form1->OpenTestDatabase(reference, false, false));
        DialogScript script;
        OpenForEditing();
        ClickLock();
        ExpectLocked();
        whole = resultColumns();
        ASSERT_EQ(whole.size(), 3u);
        Form3->CloseDataSets();
    }

    const QString test = QStringLiteral("^lock\\.mdb$");
    const QString journal = QStringLiteral("^lock\\.mdb-journal$");
    const KillStep steps[] = {
        {"write", journal, 1},   // the first change begun
        {"write", test, 1},      // the first change being written into the test
        {"delete", journal, 1},  // the first change made
        {"delete", journal, 3},
        {"write", test, 10},
        {"delete", journal, 6},
        {"delete", journal, 9},  // the last change made
        {"box", "Kelvo test is valid!", 1},
    };
    std::set<bool> lockedByTheChild;
    int number = 0;
    for (const KillStep& step : steps) {
        SCOPED_TRACE(step.text().toStdString());
        const QString folder = dir.filePath(QStringLiteral("case%1").arg(++number));
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/lock.mdb");
        ASSERT_TRUE(QFile::copy(original, path));

        EXPECT_TRUE(kelvo::testing::RunKilledAt(QStringLiteral("TestLocking.DISABLED_LocksTheGivenTestUntilKilled"),
                                                path, step, dir.filePath(QStringLiteral("child%1").arg(number))))
            << "the step was never reached";
        kelvo::testing::ExpectOnlyItsPasswordOpens(path);
        EXPECT_EQ(kelvo::testing::ContentsOf(path, definition), before);

        ASSERT_TRUE(Form1->OpenTestDatabase(path, false, false));
        const bool locked = LockFlag() == QStringLiteral("true");
        if (locked) {
            EXPECT_EQ(resultColumns(), whole) << "locked without all its result columns";
        }
        lockedByTheChild.insert(locked);
        OpenForEditing();
        DialogScript script;
        ClickLock();
        EXPECT_EQ(script.texts(), QStringList{kLockedMessage});
        ExpectLocked();
        EXPECT_EQ(resultColumns(), whole);
        Form3->CloseDataSets();
    }
    // Some kills came before the lock flag was written, some after.
    EXPECT_EQ(lockedByTheChild, (std::set<bool>{false, true}));
}

}  // namespace
