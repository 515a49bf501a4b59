// Answering in the test window as a respondent does: typed answers that match a choice,
// shortcut and navigation keys, the time limit, and tests the window cannot run.

#include "tests/run/run_window_fixture.h"
#include "ui/dialog_service.h"

#include <QCloseEvent>
#include <QDir>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

using namespace kelvo;
using kelvo::testing::TestWindowFixture;

namespace {

class Answering : public TestWindowFixture {
protected:
    // A test of our own questions only (the sample question is removed), no data fields.
    void CreateEmptyTest()
    {
        CreateTest();
        ExecSQL("delete from items;");
    }
};

// --- typed answers -------------------------------------------------------------------------

struct TypedCase {
    int parse;           // settings row -21
    const char* typed;   // what the respondent types
    const char* stored;  // what the run's row holds
    int chosen;          // the answer it counts as (1 Never, 2 Often), 0 for a typed text
};

TEST_F(Answering, TypedAnswerCountsAsTheChoiceItMatchesUnderEachParseMode)
{
    CreateEmptyTest();
    AddQuestion(1, "How often?", {"Never", "Often", "Other"}, "Your words:");
    AddVariable(1, "chosen", "true", 0, "null", {"if(item1=1,1,0)+if(item1=2,2,0)+if(item1=3,3,0)"});
    Setting(-20, "true");
    Setting(-29, "false");
    Lock();

    const TypedCase cases[] = {
        {0, "Often", "Often", 2},
        {0, "Never", "Never", 1},
        {0, "often", "often", 0},  // case counts in mode 0
        {0, "  Often ", "Often", 2},
        {0, "  my words ", "my words", 0},
        {1, "OFTEN", "Often", 2},  // the edit takes it in lower case
        {1, "My Words", "my words", 0},
        {1, "of ten", "of ten", 0},
        {2, "Of Ten", "Often", 2},
        {2, " my own words ", "myownwords", 0},
        {3, "Often", "Often", 0},  // an unknown mode matches nothing
    };
    int run = 0;
    for (const TypedCase& c : cases) {
        SCOPED_TRACE(QString("mode %1, typed '%2'").arg(c.parse).arg(c.typed).toStdString());
        Setting(-21, QString::number(c.parse));
        DialogScript script;
        script.answerQuestion(true);
        TakeTest([&](TForm2* window) {
            auto* edit = Child<QLineEdit>(window, "answer_2");
            ASSERT_TRUE(edit->isVisible());
            EXPECT_EQ(VisibleAnswers(window), (QStringList{"Never", "Often"}));
            QTest::keyClicks(edit, c.typed);
            ClickNext(window);
        });
        ++run;
        EXPECT_EQ(script.texts(), (QStringList{kEndQuestion, kEndMessage}));
        EXPECT_EQ(StoredAnswer(run, 1), c.stored);
        EXPECT_EQ(SelectToVariant(QString("select var1 from datav1 where id = %1;").arg(run)).number(0, 0), c.chosen);
    }
}

TEST_F(Answering, TypedAnswerWithQuotesLineBreaksAndForeignLettersIsStoredExactly)
{
    CreateEmptyTest();
    AddQuestion(1, "Anything to add?", {"No", "Yes, namely"}, "Your words:");
    AddDataField(1, 1, "Town", "string");
    Setting(-20, "true");
    Lock();
    const QString typed = "It's \"fine\"; O'Brien\r\nsaid: Grüße aus Köln — 東京 ½";
    const QString town = "Zürich \"am See\" -- ;";
    DialogScript script;
    script.answerQuestion(true);
    QString shown;
    TakeTest([&](TForm2* window) {
        Paste(Child<QLineEdit>(window, "data1"), town);
        QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
        auto* edit = Child<QLineEdit>(window, "answer_1");
        Paste(edit, typed);
        shown = edit->text();
        window->grab().save(QDir::temp().filePath("kelvo_test_window_typed.png"));
        ClickNext(window);
    });
    EXPECT_EQ(script.texts(), (QStringList{kEndQuestion, kEndMessage}));
    // The edit keeps what was pasted (a one-line edit may show breaks differently); the
    // file keeps exactly what the edit held.
    EXPECT_FALSE(shown.isEmpty());
    EXPECT_EQ(StoredAnswer(1, 1), shown.trimmed());
    EXPECT_TRUE(StoredAnswer(1, 1).contains("It's \"fine\"; O'Brien"));
    EXPECT_TRUE(StoredAnswer(1, 1).contains("Grüße aus Köln — 東京 ½"));
    EXPECT_EQ(SelectToVariant("select data1 from dataf where id = 1;").text(0, 0), town);
    EXPECT_TRUE(LogText().contains("Grüße aus Köln — 東京 ½"));
    EXPECT_TRUE(LogText().contains("data1='" + town + "'"));
}

// Control characters mean nothing in a one-line edit, and a NUL cut the statements short:
// the edits leave them out (a line break or tab becomes a blank) and the run is stored whole.
TEST_F(Answering, ControlCharactersPastedIntoTypedAnswersAndDataFieldsAreLeftOut)
{
    CreateEmptyTest();
    AddQuestion(1, "Anything to add?", {"No", "Yes, namely"}, "Your words:");
    AddDataField(1, 1, "Town", "string");
    Setting(-20, "true");
    Lock();
    const QChar nul(0);
    DialogScript script;
    script.answerQuestion(true);
    TakeTest([&](TForm2* window) {
        auto* town = Child<QLineEdit>(window, "data1");
        Paste(town, QString("Zü") + nul + "rich\x01\x1b");
        EXPECT_EQ(town->text(), "Zürich");
        QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
        auto* edit = Child<QLineEdit>(window, "answer_1");
        Paste(edit, QString("one") + nul + "two\r\nthree\tfour\x7f" + QChar(0x85));
        EXPECT_EQ(edit->text(), "onetwo three four");
        ClickNext(window);
    });
    EXPECT_EQ(script.texts(), (QStringList{kEndQuestion, kEndMessage}));
    EXPECT_EQ(StoredAnswer(1, 1), "onetwo three four");
    EXPECT_EQ(SelectToVariant("select data1 from dataf where id = 1;").text(0, 0), "Zürich");
    EXPECT_TRUE(SelectToVariant("select finished from datac where id = 1;").at(0, 0).toBool());
}

TEST_F(Answering, DeletingTheTypedTextLeavesTheQuestionUnanswered)
{
    CreateEmptyTest();
    AddQuestion(1, "Name a colour", {"Red", "Other"}, "Colour:");
    AddQuestion(2, "Done?", {"Yes", "No"});
    Setting(-20, "true");
    Setting(-3, "false");
    Lock();
    DialogScript script;
    script.answerQuestion(true);
    TakeTest([&](TForm2* window) {
        auto* edit = Child<QLineEdit>(window, "answer_1");
        EXPECT_FALSE(window->next->isVisible());
        QTest::keyClicks(edit, "teal");
        EXPECT_TRUE(window->next->isVisible());
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(edit, Qt::Key_Backspace);
        EXPECT_FALSE(window->next->isVisible());
        QTest::keyClicks(edit, "blue");
        ClickNext(window);
        QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton);
    });
    EXPECT_EQ(StoredAnswer(1, 1), "blue");
    EXPECT_EQ(StoredAnswer(1, 2), "Yes");
}

// --- keys ------------------------------------------------------------------------------------

TEST_F(Answering, ShortcutAndNavigationKeysChooseAnswersAndMoveBetweenQuestions)
{
    CreateEmptyTest();
    AddQuestion(1, "Pick a letter", {"A", "B", "C"});
    AddQuestion(2, "Agree?", {"Yes", "No"});
    AddQuestion(3, "Direction", {"Up", "Down"});
    ExecSQL("update keyb set k = 'z' where id = 2;");
    Lock();
    DialogScript script;
    script.answerQuestion(true);
    TakeTest([&](TForm2* window) {
        Press(window, Qt::Key_PageDown);  // no answer needed to move on here
        EXPECT_EQ(QuestionShown(window), "Agree?");
        Press(window, Qt::Key_PageUp);
        EXPECT_EQ(QuestionShown(window), "Pick a letter");
        Press(window, Qt::Key_3, Qt::KeypadModifier);  // a keypad digit counts as the digit
        EXPECT_EQ(QuestionShown(window), "Agree?");
        Press(window, Qt::Key_3);  // the question has two answers only
        EXPECT_EQ(QuestionShown(window), "Agree?");
        Press(window, Qt::Key_Z, Qt::ShiftModifier);  // keys compare without case
        EXPECT_EQ(QuestionShown(window), "Direction");
        Press(window, Qt::Key_Home, Qt::ControlModifier);
        EXPECT_EQ(QuestionShown(window), "Pick a letter");
        EXPECT_TRUE(Child<QAbstractButton>(window, "answer2")->isChecked());
        Press(window, Qt::Key_End, Qt::ControlModifier);
        EXPECT_EQ(QuestionShown(window), "Direction");
        Press(window, Qt::Key_1);
    });
    EXPECT_EQ(script.texts(), (QStringList{kEndQuestion, kEndMessage}));
    EXPECT_EQ(StoredAnswer(1, 1), "C");
    EXPECT_EQ(StoredAnswer(1, 2), "No");
    EXPECT_EQ(StoredAnswer(1, 3), "Up");
    const RowSet run = SelectToVariant("select go_back, correction_answers, blank_answers from datac;");
    EXPECT_EQ(run.integer(0, 0), 1);
    EXPECT_EQ(run.integer(0, 1), 0);
    EXPECT_EQ(run.integer(0, 2), 0);
}

TEST_F(Answering, WithoutAllowingNoAnswerKeysDoNotSkipAnUnansweredQuestion)
{
    CreateEmptyTest();
    AddQuestion(1, "First", {"A", "B"});
    AddQuestion(2, "Second", {"C", "D"});
    Setting(-3, "false");
    Setting(-2, "true");  // several answers: a click does not move on
    Lock();
    DialogScript script;
    script.answerQuestion(true);
    TakeTest([&](TForm2* window) {
        EXPECT_FALSE(window->next->isVisible());
        Press(window, Qt::Key_PageDown);
        Press(window, Qt::Key_End, Qt::ControlModifier);
        EXPECT_EQ(QuestionShown(window), "First");
        Press(window, Qt::Key_1);
        Press(window, Qt::Key_2);
        Press(window, Qt::Key_1);  // taken back: one correction
        EXPECT_EQ(QuestionShown(window), "First");
        EXPECT_TRUE(window->next->isVisible());
        Press(window, Qt::Key_PageDown);
        EXPECT_EQ(QuestionShown(window), "Second");
        Press(window, Qt::Key_2);
        ClickNext(window);
    });
    EXPECT_EQ(StoredAnswer(1, 1), "B");
    EXPECT_EQ(StoredAnswer(1, 2), "D");
    EXPECT_EQ(SelectToVariant("select correction_answers from datac;").integer(0, 0), 1);
}

TEST_F(Answering, KeysInATypedAnswerChooseOtherAnswersButDigitsAreTyped)
{
    CreateEmptyTest();
    AddQuestion(1, "Your postcode", {"None", "Unknown", "Other"}, "Postcode:");
    AddQuestion(2, "Done?", {"Yes", "No"});
    ExecSQL("update keyb set k = 'x' where id = 1;");
    Setting(-20, "true");
    Lock();
    DialogScript script;
    script.answerQuestion(true);
    TakeTest([&](TForm2* window) {
        auto* edit = Child<QLineEdit>(window, "answer_2");
        ASSERT_TRUE(edit->hasFocus());
        Press(window, Qt::Key_1);
        Press(window, Qt::Key_2);
        EXPECT_EQ(edit->text(), "12");
        EXPECT_EQ(QuestionShown(window), "Your postcode");
        Press(window, Qt::Key_X);  // the letter of the first answer
        EXPECT_EQ(QuestionShown(window), "Done?");
        Press(window, Qt::Key_PageUp);
        EXPECT_EQ(edit->text(), "");
        Press(window, Qt::Key_2, Qt::KeypadModifier);  // a keypad digit chooses, too
        EXPECT_EQ(QuestionShown(window), "Done?");
        Press(window, Qt::Key_X);
    });
    EXPECT_EQ(StoredAnswer(1, 1), "Unknown");
    EXPECT_EQ(StoredAnswer(1, 2), "Yes");
}

// The key of a typed answer, pressed while its edit has no focus, chooses that answer by
// its caption, as a click on it would.
TEST_F(Answering, KeyOfATypedAnswerOutsideItsEditChoosesItByCaption)
{
    CreateEmptyTest();
    AddQuestion(1, "Your postcode", {"None", "Other"}, "Postcode:");
    AddQuestion(2, "Done?", {"Yes", "No"});
    Setting(-20, "true");
    Lock();
    DialogScript script;
    script.answerQuestion(true);
    TakeTest([&](TForm2* window) {
        window->panel3->setFocus();
        Press(window, Qt::Key_2);
        EXPECT_EQ(QuestionShown(window), "Done?");
        Press(window, Qt::Key_1);
    });
    EXPECT_EQ(StoredAnswer(1, 1), "Other");
    EXPECT_EQ(StoredAnswer(1, 2), "Yes");
}

// --- the time limit --------------------------------------------------------------------------

class TimeLimit : public Answering {
protected:
    void CreateTimedTest(int seconds)
    {
        CreateEmptyTest();
        AddQuestion(1, "First", {"A", "B"});
        AddQuestion(2, "Second", {"C", "D"});
        Setting(-13, "true");
        Setting(-12, QString::number(seconds));
        Lock();
    }

    // The window's one-second tick, made short so that the test need not wait seconds;
    // the limit still counts ticks.
    static void Hurry(TForm2* window) { window->timer->start(5); }
};

TEST_F(TimeLimit, RunEndsWithTheEndMessageAtTheLastTickOfTheLimit)
{
    CreateTimedTest(10);
    DialogScript script;
    int ticks = 0;
    bool tickedBefore = false;
    TakeTest([&](TForm2* window) {
        window->timer->stop();
        // A slow start may have let a real second pass; the status bar shows it.
        tickedBefore = !window->statusPanels[2]->text().isEmpty();
        QObject::connect(window->timer, &QTimer::timeout, [&ticks] { ++ticks; });
        QTest::mouseClick(Child<QAbstractButton>(window, "answer1"), Qt::LeftButton);
        EXPECT_EQ(QuestionShown(window), "Second");
        Hurry(window);
        EXPECT_TRUE(QTest::qWaitFor([window] { return !window->isVisible(); }, 5000));
    });
    if (tickedBefore)
        EXPECT_LT(ticks, 10);
    else
        EXPECT_EQ(ticks, 10);
    EXPECT_EQ(script.texts(), QStringList{kEndMessage});
    const RowSet run = SelectToVariant("select finished, blank_answers, last_answer from datac;");
    ASSERT_EQ(run.rows(), 1);
    EXPECT_EQ(run.text(0, 0), "true");
    EXPECT_EQ(run.integer(0, 1), 1);
    EXPECT_EQ(run.integer(0, 2), 1);
    EXPECT_EQ(StoredAnswer(1, 1), "B");
    EXPECT_TRUE(SelectToVariant("select item2 from datai1;").at(0, 0).isNull());
}

TEST_F(TimeLimit, LimitOfADayOrMoreCountsDownInHours)
{
    CreateTimedTest(90000);  // 25 hours
    DialogScript script;
    script.answerQuestion(true);
    TakeTest([&](TForm2* window) {
        ASSERT_TRUE(window->status->isVisible());
        Hurry(window);
        EXPECT_TRUE(QTest::qWaitFor([window] { return !window->statusPanels[3]->text().isEmpty(); }, 5000));
        const QString left = window->statusPanels[3]->text();
        EXPECT_TRUE(QRegularExpression("^Time left: (25:00:00|24:5\\d:\\d\\d)$").match(left).hasMatch())
            << left.toStdString();
        EXPECT_TRUE(QRegularExpression("^Time: 0:0\\d:\\d\\d$").match(window->statusPanels[2]->text()).hasMatch());
        EXPECT_TRUE(window->isVisible());
        Press(window, Qt::Key_1);
        Press(window, Qt::Key_1);
    });
    EXPECT_EQ(script.texts(), (QStringList{kEndQuestion, kEndMessage}));
    EXPECT_EQ(SelectToVariant("select finished from datac;").text(0, 0), "true");
}

// A close request while the abort question is open (Esc, then the window's close button)
// waits for that question: answered No, the window stays shown and the run goes on to
// its normal end.
TEST_F(TimeLimit, AClosingRequestDuringTheAbortQuestionWaitsForItsAnswer)
{
    CreateTimedTest(20);
    Setting(-28, "false");
    bool seenDuringBox = false;
    bool endMessageAnswered = false;
    TakeTest([&](TForm2* window) {
        window->timer->stop();
        AnswerBox("Abort test?", QMessageBox::No, [&] {
            QCloseEvent closeButton;  // as the window system delivers the close button
            QApplication::sendEvent(window->windowHandle(), &closeButton);
            QApplication::processEvents();
            seenDuringBox = window->isVisible();
        });
        Press(window, Qt::Key_Escape);
        EXPECT_TRUE(seenDuringBox);
        EXPECT_TRUE(window->isVisible());
        AnswerBox(kEndMessage.left(20), QMessageBox::Ok, [&] { endMessageAnswered = true; });
        AnswerBox("This is last question in test! End test?", QMessageBox::Yes);
        QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton);
        QTest::mouseClick(Child<QAbstractButton>(window, "answer1"), Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return endMessageAnswered; }, 3000));
    });
    EXPECT_TRUE(endMessageAnswered);
    const RowSet run = SelectToVariant("select finished from datac;");
    ASSERT_EQ(run.rows(), 1);
    EXPECT_EQ(run.text(0, 0), "true");
    EXPECT_EQ(Count("select count(*) from datai1;"), 1);
}

// The time limit running out while a question box is open records the run once, when it
// runs out; the answer given to the box afterwards changes nothing.
class TimeRunsOutDuringABox : public TimeLimit, public ::testing::WithParamInterface<const char*> {};

TEST_P(TimeRunsOutDuringABox, RunIsRecordedOnceAndKept)
{
    const QString box = GetParam();
    CreateTimedTest(20);
    Setting(-28, "false");  // an aborted run would be deleted
    bool endMessageAnswered = false;
    TakeTest([&](TForm2* window) {
        window->timer->stop();
        QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton);
        AnswerBox(box, QMessageBox::Yes, [&] {
            AnswerBox(kEndMessage.left(20), QMessageBox::Ok, [&] { endMessageAnswered = true; });
            Hurry(window);
            EXPECT_TRUE(QTest::qWaitFor([&] { return endMessageAnswered; }, 5000));
            // Recorded by now: the box's answer comes after the run's end.
            EXPECT_EQ(Count("select count(*) from datac where finished = true;"), 1);
        });
        if (box.startsWith("Abort"))
            window->close();
        else
            QTest::mouseClick(Child<QAbstractButton>(window, "answer1"), Qt::LeftButton);
    });
    EXPECT_TRUE(endMessageAnswered);
    const RowSet run = SelectToVariant("select id, finished from datac;");
    ASSERT_EQ(run.rows(), 1);
    EXPECT_EQ(run.text(0, 1), "true");
    EXPECT_EQ(Count("select count(*) from datai1;"), 1);
    EXPECT_EQ(StoredAnswer(1, 1), "A");
    EXPECT_EQ(LogText().count("Kelvo backup record"), 1);
}

INSTANTIATE_TEST_SUITE_P(Boxes, TimeRunsOutDuringABox,
                         ::testing::Values("This is last question in test! End test?",
                                           "Abort test? You will loose all test result!"));

// --- tests the window cannot run ---------------------------------------------------------------

// A test the window cannot load is refused with the load message before any run starts:
// no answers at all, no keys, settings that do not convert or are missing.
TEST_F(Answering, TestsTheWindowCannotLoadAreRefusedWithTheLoadMessage)
{
    const struct {
        const char* what;
        QStringList statements;
    } cases[] = {
        {"questions without answers", {"delete from answers;"}},
        {"no shortcut keys", {"delete from keyb;"}},
        {"font size not a number", {"update testd set v = 'Arial;clBlack;big;0;0;0;0;' where id = -5;"}},
        {"unknown font colour", {"update testd set v = 'Arial;clNoSuchColour;12;0;0;0;0;' where id = -6;"}},
        {"time limit not a number",
         {"update testd set v = 'true' where id = -13;", "update testd set v = 'an hour' where id = -12;"}},
        {"no answer control row", {"delete from testd where id = -11;"}},
        {"no data-field case row", {"delete from testd where id = -24;"}},
    };
    CreateTest();
    AddQuestion(2, "Second", {});
    Lock();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Each case breaks the test only until it is over: nothing is written by a
        // window that cannot load.
        engine::Transaction undo(Form1->con);
        for (const QString& statement : c.statements)
            ExecSQL(statement);
        DialogScript script;
        Form1->btnTest->setEnabled(true);
        QTest::mouseClick(Form1->btnTest, Qt::LeftButton);
        EXPECT_EQ(script.texts(),
                  QStringList{"Error code 23. Function LoadTest failed!\r\n\r\nCheck status of database file!"});
        EXPECT_EQ(Count("select count(*) from datac;"), 0);
    }
    // Unbroken, the same test runs.
    DialogScript script;
    script.answerQuestion(true);
    TakeTest([](TForm2* window) {
        QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton);
        ClickNext(window);
    });
    EXPECT_EQ(script.lastText(), kEndMessage);
}

TEST_F(Answering, QuestionWithoutAnswersAmongOthersIsPassedAndStoredEmpty)
{
    CreateEmptyTest();
    AddQuestion(1, "First", {"A", "B"});
    AddQuestion(2, "A note only", {});
    AddQuestion(3, "Third", {"C", "D"});
    Lock();
    DialogScript script;
    script.answerQuestion(true);
    TakeTest([&](TForm2* window) {
        Press(window, Qt::Key_1);
        EXPECT_EQ(QuestionShown(window), "A note only");
        EXPECT_TRUE(VisibleAnswers(window).isEmpty());
        ClickNext(window);
        Press(window, Qt::Key_2);
    });
    EXPECT_EQ(StoredAnswer(1, 1), "A");
    EXPECT_TRUE(SelectToVariant("select item2 from datai1;").at(0, 0).isNull());
    EXPECT_EQ(StoredAnswer(1, 3), "D");
    EXPECT_EQ(SelectToVariant("select blank_answers from datac;").integer(0, 0), 1);
}

}  // namespace
