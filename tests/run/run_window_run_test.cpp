// Taking a test from the main window's Test button to the stored run, as a respondent
// does it: typing, clicking and pressing keys, answering the boxes the window shows.

#include "model/run_recording.h"
#include "tests/run/run_window_fixture.h"
#include "tests/support/modal_answer.h"
#include "ui/dialog_service.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>

using namespace kelvo;
using kelvo::testing::answerModal;
using kelvo::testing::TestWindowFixture;

namespace {

class TakingATest : public TestWindowFixture {
protected:
    // The test of a respondent's first day: the sample question, a yes/no question, the
    // age asked first, three variables.
    void BuildTest()
    {
        CreateTest();
        AddQuestion(2, "Do you smoke?", {"Yes", "No"});
        AddDataField(1, 1, "Age", "integer");
        AddVariable(1, "score", "true", 0, "2", {"if(item1=2,5,0)+data1"});
        AddVariable(2, "double", "true", 0, "null", {"var1*2"});
        AddVariable(3, "plain", "true", 0, "null");
        Lock();
    }
};

TEST_F(TakingATest, RespondentTakesTheTestAndTheRunIsStoredWithItsBackupRecord)
{
    BuildTest();
    DialogScript script;
    script.answerQuestion(true);  // "End test?"
    TakeTest([&](TForm2* window) {
        EXPECT_TRUE(window->panel2->isVisible());
        auto* age = Child<QLineEdit>(window, "data1");
        QTest::keyClicks(age, "x");
        QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
        EXPECT_EQ(script.lastText(), "This field must be integer: Age\r\n\r\n");
        EXPECT_TRUE(window->panel2->isVisible());

        age->clear();
        QTest::keyClicks(age, "42");
        script.clear();
        window->grab().save(QDir::temp().filePath("kelvo_test_window_fields.png"));
        QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
        EXPECT_TRUE(script.texts().isEmpty()) << script.lastText().toStdString();
        ASSERT_TRUE(window->panel3->isVisible());
        EXPECT_EQ(VisibleAnswers(window), (QStringList{"This is 1. answer on first question your test..",
                                                        "This is 2. answer on first question your test.."}));
        window->grab().save(QDir::temp().filePath("kelvo_test_window_question.png"));

        QTest::mouseClick(Child<QAbstractButton>(window, "answer1"), Qt::LeftButton);
        EXPECT_EQ(QuestionShown(window), "Do you smoke?");
        EXPECT_EQ(VisibleAnswers(window), (QStringList{"Yes", "No"}));
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, Qt::Key_1);
    });
    EXPECT_FALSE(script.texts().isEmpty());
    EXPECT_TRUE(script.texts().contains("This is last question in test! End test?"));
    EXPECT_TRUE(script.texts().contains(kEndMessage));

    // The run: finished, its answers as captions, its data field.
    ASSERT_EQ(Count("select count(*) from datac;"), 1);
    const RowSet run = SelectToVariant("select id, finished, blank_answers, last_answer, go_back, correction_answers, "
                                       "username, test_date, test_time from datac;");
    EXPECT_EQ(run.integer(0, 0), 1);
    EXPECT_EQ(run.text(0, 1), "true");
    EXPECT_EQ(run.integer(0, 2), 0);
    EXPECT_EQ(run.integer(0, 3), 2);
    EXPECT_EQ(run.integer(0, 4), 0);
    EXPECT_EQ(run.integer(0, 5), 0);
    EXPECT_EQ(run.text(0, 6), "quorv");
    EXPECT_EQ(run.text(0, 7), QDate::currentDate().toString("yyyy-MM-dd") + " 00:00:00");
    EXPECT_TRUE(QRegularExpression("^1899-12-30 00:0\\d:\\d\\d$").match(run.text(0, 8)).hasMatch())
        << run.text(0, 8).toStdString();  // the run's duration on the zero day
    const RowSet answers = SelectToVariant("select id, item1, item2 from datai1;");
    ASSERT_FALSE(answers.isNull());
    EXPECT_EQ(answers.integer(0, 0), 1);
    EXPECT_EQ(answers.text(0, 1), "This is 2. answer on first question your test..");
    EXPECT_EQ(answers.text(0, 2), "Yes");
    EXPECT_EQ(SelectToVariant("select data1 from dataf where id = 1;").integer(0, 0), 42);
    ASSERT_EQ(Count("select count(*) from datav1 where id = 1;"), 1);
    EXPECT_TRUE(SelectToVariant("select var3 from datav1;").at(0, 0).isNull());

    // The backup record, in the log window and in today's file.
    const QStringList record = {"1\tKelvo backup record\t_ _ _ _ _", "blank_answers = 0", "username = quorv",
                                "data1=42", "item1", "This is 2. answer on first question your test..", "item2", "Yes"};
    for (const QString& line : record)
        EXPECT_TRUE(LogText().contains(line)) << line.toStdString();
    QFile daily(BackupFolder() + "/" + DailyBackupFileName(QDate::currentDate()));
    ASSERT_TRUE(daily.open(QIODevice::ReadOnly)) << daily.fileName().toStdString();
    EXPECT_TRUE(daily.fileName().startsWith(dataHome.path()));
    const QString saved = QString::fromUtf8(daily.readAll());
    for (const QString& line : record)
        EXPECT_TRUE(saved.contains(line)) << line.toStdString();

    // var1 = 5 + 42 and var2 = twice that.
    const RowSet variables = SelectToVariant("select var1, var2 from datav1;");
    EXPECT_EQ(variables.number(0, 0), 47.0);
    EXPECT_EQ(variables.number(0, 1), 94.0);
}

TEST_F(TakingATest, SecondRunAbortedMidwayIsDiscardedWhenUnfinishedRunsAreNotKept)
{
    BuildTest();
    Setting(-28, "false");
    DialogScript script;
    script.answerQuestion(true);  // "End test?" of the first run
    TakeTest([&](TForm2* window) {
        QTest::keyClicks(Child<QLineEdit>(window, "data1"), "42");
        QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
        QTest::mouseClick(Child<QAbstractButton>(window, "answer1"), Qt::LeftButton);
        QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton);
    });
    ASSERT_EQ(Count("select count(*) from datac where finished = true;"), 1);
    const QString firstRecord = LogText();

    script.clear();
    script.answerQuestion(true);  // "Abort test?"
    TakeTest([&](TForm2* window) {
        QTest::keyClicks(Child<QLineEdit>(window, "data1"), "30");
        QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
        QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton);
        EXPECT_EQ(Count("select count(*) from datac where id = 2;"), 1);
        window->close();
    });
    EXPECT_EQ(script.lastText(), "Abort test? You will loose all test result! Are you sure?");
    for (const char* table : {"datac", "datai1", "dataf", "datav1"}) {
        EXPECT_EQ(Count(QString("select count(*) from %1 where id = 2;").arg(table)), 0) << table;
        EXPECT_EQ(Count(QString("select count(*) from %1 where id = 1;").arg(table)), 1) << table;
    }
    EXPECT_EQ(SelectToVariant("select var1 from datav1 where id = 1;").number(0, 0), 47.0);
    EXPECT_EQ(LogText(), firstRecord);  // no backup record of the aborted run
}

TEST_F(TakingATest, AbortedRunIsKeptAsUnfinishedWhenTheTestSaysSo)
{
    BuildTest();
    Setting(-28, "true");
    DialogScript script;
    script.answerQuestion(false);  // the first close is taken back
    script.answerQuestion(true);
    TakeTest([&](TForm2* window) {
        QTest::keyClicks(Child<QLineEdit>(window, "data1"), "30");
        QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
        QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton);
        window->close();
        EXPECT_TRUE(window->isVisible());
        window->close();
    });
    EXPECT_FALSE(script.texts().contains(kEndMessage));
    const RowSet run = SelectToVariant("select finished, blank_answers, last_answer from datac;");
    ASSERT_EQ(run.rows(), 1);
    EXPECT_EQ(run.text(0, 0), "false");
    EXPECT_EQ(run.integer(0, 1), 1);
    EXPECT_EQ(run.integer(0, 2), 1);
    EXPECT_EQ(SelectToVariant("select item1 from datai1;").text(0, 0),
              "This is 1. answer on first question your test..");
    EXPECT_EQ(Count("select count(*) from dataf;"), 1);
    EXPECT_TRUE(LogText().contains("Kelvo backup record"));
}

}  // namespace
