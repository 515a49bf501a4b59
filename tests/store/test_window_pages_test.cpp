// The pages of a run and the kinds of answer controls: the data fields, the instructions
// read from a rich-text file, going back to them during the run, check boxes and radio
// buttons beside speed buttons, and runs whose start or variables are not written.

#include "store/dialog_service.h"
#include "test_window_fixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

using namespace kelvo;
using kelvo::testing::TestWindowFixture;

namespace {

const QString kSecondAnswer = "This is 2. answer on first question your test..";

class Pages : public TestWindowFixture {
protected:
    // The sample question, a yes/no question and the age asked first.
    void BuildTest(const QString& instructionPath)
    {
        CreateTest();
        AddQuestion(2, "Do you smoke?", {"Yes", "No"});
        AddDataField(1, 1, "Age", "integer");
        Setting(-4, instructionPath);
        Lock();
    }

    QString WriteInstructions()
    {
        const QString path = dir.filePath("instructions.rtf");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\pard Read {\\b carefully}: answer every "
                   "question.\\par Gr\\'fc\\'dfe.\\par}");
        return path;
    }

    // Clicks an answer where a person does: on the box of a check box or radio button
    // (the rest of a wide one is empty), anywhere on a speed button.
    static void ClickAnswer(QAbstractButton* answer)
    {
        QTest::mouseClick(answer, Qt::LeftButton, {}, QPoint(8, answer->height() / 2));
    }

    static QString EndMessageTitle(const DialogScript& script)
    {
        for (const ShownMessage& message : script.shown())
            if (message.text == kEndMessage)
                return message.title;
        return {};
    }
};

TEST_F(Pages, InstructionsComeAfterTheDataFieldsAndTheRespondentMayReturnToThem)
{
    BuildTest(WriteInstructions());
    DialogScript script;
    TakeTest([&](TForm2* window) {
        QTest::keyClicks(Child<QLineEdit>(window, "data1"), "30");
        QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
        ASSERT_TRUE(window->panel1->isVisible());
        EXPECT_FALSE(window->panel2->isVisible());
        EXPECT_EQ(window->re->toPlainText(), "Read carefully: answer every question.\nGrüße.");
        EXPECT_EQ(window->btnStartTest->text(), "Start");
        window->grab().save(QDir::temp().filePath("kelvo_test_window_instructions.png"));
        QTest::mouseClick(window->btnStartTest, Qt::LeftButton);
        ASSERT_TRUE(window->panel3->isVisible());
        QTest::mouseClick(Child<QAbstractButton>(window, "answer1"), Qt::LeftButton);
        EXPECT_EQ(QuestionShown(window), "Do you smoke?");

        Press(window, Qt::Key_Home, Qt::ControlModifier | Qt::AltModifier);
        EXPECT_TRUE(window->panel1->isVisible());
        EXPECT_FALSE(window->panel3->isVisible());
        QTest::mouseClick(window->btnStartTest, Qt::LeftButton);
        EXPECT_EQ(QuestionShown(window), "Do you smoke?");  // the run goes on where it was
        Press(window, Qt::Key_PageUp);
        EXPECT_TRUE(Child<QAbstractButton>(window, "answer1")->isChecked());
        Press(window, Qt::Key_PageDown);
        script.answerQuestion(true);
        QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton);
    });
    EXPECT_EQ(EndMessageTitle(script), "Kelvo. Record ID=1");
    const RowSet run = SelectToVariant("select finished, go_back from datac;");
    EXPECT_EQ(run.text(0, 0), "true");
    EXPECT_EQ(run.integer(0, 1), 1);
    EXPECT_EQ(StoredAnswer(1, 1), kSecondAnswer);
    EXPECT_EQ(StoredAnswer(1, 2), "Yes");
    EXPECT_EQ(SelectToVariant("select data1 from dataf;").integer(0, 0), 30);
}

TEST_F(Pages, MissingInstructionFileLeadsFromTheDataFieldsToTheQuestionsAndBack)
{
    BuildTest(dir.filePath("gone.rtf"));
    DialogScript script;
    TakeTest([&](TForm2* window) {
        auto* age = Child<QLineEdit>(window, "data1");
        QTest::keyClicks(age, "30");
        QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
        ASSERT_TRUE(window->panel3->isVisible());
        QTest::mouseClick(Child<QAbstractButton>(window, "answer1"), Qt::LeftButton);

        Press(window, Qt::Key_Home, Qt::ControlModifier | Qt::AltModifier);
        ASSERT_TRUE(window->panel2->isVisible());
        EXPECT_EQ(age->text(), "30");  // the page keeps what was typed
        age->clear();
        QTest::keyClicks(age, "31");
        QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
        EXPECT_EQ(QuestionShown(window), "Do you smoke?");
        script.answerQuestion(true);
        QTest::mouseClick(Child<QAbstractButton>(window, "answer1"), Qt::LeftButton);
    });
    EXPECT_TRUE(script.texts().contains(kEndMessage));
    EXPECT_EQ(SelectToVariant("select data1 from dataf;").integer(0, 0), 31);
    EXPECT_EQ(StoredAnswer(1, 2), "No");
}

TEST_F(Pages, EveryKindOfAnswerControlRecordsTheChosenCaptions)
{
    CreateTest();
    ExecSQL("delete from items;");
    AddQuestion(1, "Which fruit do you like?", {"Apples", "Pears", "Plums"});
    AddQuestion(2, "Do you cook?", {"Yes", "No"});
    Setting(-2, "true");  // several answers per question
    Lock();
    const char* const kinds[] = {"QToolButton", "QCheckBox", "QRadioButton"};
    for (int type = 0; type < 3; ++type) {
        SCOPED_TRACE(kinds[type]);
        Setting(-11, QString::number(type));
        DialogScript script;
        script.answerQuestion(true);
        TakeTest([&](TForm2* window) {
            auto* apples = Child<QAbstractButton>(window, "answer0");
            auto* pears = Child<QAbstractButton>(window, "answer1");
            EXPECT_STREQ(apples->metaObject()->className(), kinds[type]);
            ClickAnswer(apples);
            ClickAnswer(pears);
            EXPECT_TRUE(apples->isChecked());
            EXPECT_TRUE(pears->isChecked());
            if (type == 2)
                window->grab().save(QDir::temp().filePath("kelvo_test_window_radio.png"));
            ClickNext(window);
            auto* yes = Child<QAbstractButton>(window, "answer0");
            auto* no = Child<QAbstractButton>(window, "answer1");
            EXPECT_EQ(QuestionShown(window), "Do you cook?");
            EXPECT_FALSE(yes->isChecked());
            ClickAnswer(no);
            ClickAnswer(no);  // taken back
            EXPECT_FALSE(no->isChecked());
            ClickAnswer(yes);
            Press(window, Qt::Key_PageUp);
            EXPECT_TRUE(apples->isChecked());
            EXPECT_TRUE(pears->isChecked());
            EXPECT_FALSE(Child<QAbstractButton>(window, "answer2")->isChecked());
            Press(window, Qt::Key_PageDown);
            EXPECT_TRUE(yes->isChecked());
            ClickNext(window);
        });
        const int run = type + 1;
        EXPECT_EQ(StoredAnswer(run, 1), "Apples\r\nPears");
        EXPECT_EQ(StoredAnswer(run, 2), "Yes");
        const RowSet counts =
            SelectToVariant(QString("select correction_answers, go_back from datac where id = %1;").arg(run));
        EXPECT_EQ(counts.integer(0, 0), 1);
        EXPECT_EQ(counts.integer(0, 1), 1);
    }
}

// With no run id left the run's row cannot be written: the respondent is told, may still
// answer, and at the end learns that the data did not reach the file.
TEST_F(Pages, RunWhoseRowCannotBeWrittenStillRunsAndEndsWithTheSummaryMessage)
{
    CreateTest();
    Lock();
    ExecSQL("insert into datac (id, test_date, username, finished) values (2147483647, '2026-01-01', 'x', true);");
    DialogScript script;
    script.answerQuestion(true);
    TakeTest([&](TForm2* window) {
        EXPECT_TRUE(window->panel3->isVisible());
        QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton);
    });
    ASSERT_GE(script.texts().size(), 3);
    EXPECT_EQ(script.texts().front(), "Error code: 273.\r\n\r\nProgram can not set (write) a new test in the "
                                      "database.\r\n\r\nCheck status of database file!");
    EXPECT_TRUE(script.texts().contains(kEndMessage));
    EXPECT_EQ(script.lastText(), "There was an unexpected problem (exception) during sending test data to target "
                                 "database tables!\r\n\r\nSome of data are lost or invalid (probably variables)!");
    EXPECT_EQ(Count("select count(*) from datac;"), 1);
    EXPECT_EQ(Count("select count(*) from datai1;"), 0);
    EXPECT_TRUE(LogText().contains("Kelvo backup record"));  // the log still holds the answers
}

TEST_F(Pages, VariablesLeftForLaterAnalysisAreNotStored)
{
    CreateTest();
    AddVariable(1, "score", "true", 0, "2", {"if(item1=1,1,0)"});
    Setting(-25, "true");
    Lock();
    DialogScript script;
    script.answerQuestion(true);
    TakeTest([&](TForm2* window) { QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton); });
    EXPECT_EQ(Count("select count(*) from datai1;"), 1);
    EXPECT_EQ(Count("select count(*) from datav1;"), 0);
    EXPECT_EQ(script.lastText(), kEndMessage);
}

}  // namespace
