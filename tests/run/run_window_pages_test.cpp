// The pages of a run and the kinds of answer controls: the data fields, the instructions
// read from a rich-text file, going back to them during the run, check boxes and radio
// buttons beside speed buttons, and runs whose start or variables are not written.

#include "tests/run/run_window_fixture.h"
#include "ui/dialog_service.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
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

// Where the answers stand for each alignment: left at a tenth of the width, centred, or
// stretched to the buttons at the right; the buttons never cover an answer.
TEST_F(Pages, AnswersStandLeftCentredOrStretchedBesideTheButtons)
{
    CreateTest();
    AddQuestion(2, "Do you smoke?", {"Yes", "No"});
    Lock();
    for (int align = 0; align < 3; ++align) {
        SCOPED_TRACE(align);
        Setting(-23, QString::number(align));
        DialogScript script;
        script.answerQuestion(true);
        TakeTest([&](TForm2* window) {
            const int pageWidth = window->width();
            for (int question = 0; question < 2; ++question) {
                const QRect first = Child<QAbstractButton>(window, "answer0")->geometry();
                const QRect second = Child<QAbstractButton>(window, "answer1")->geometry();
                const QRect next = window->next->geometry();
                EXPECT_EQ(first.x(), second.x());
                EXPECT_EQ(first.width(), second.width());
                EXPECT_LT(first.bottom(), second.top());
                EXPECT_GE(next.left(), first.right());
                EXPECT_GT(next.top(), second.bottom());
                EXPECT_LE(next.right(), window->panel3->content()->width());  // reachable by scrolling
                if (align == 0) {
                    EXPECT_EQ(first.x(), pageWidth / 10);
                }
                if (align == 1) {
                    EXPECT_NEAR(first.x() + first.width() / 2, pageWidth / 2, 1);
                }
                if (align == 2) {
                    EXPECT_EQ(first.x(), pageWidth / 10);
                    EXPECT_EQ(next.right() + 1, pageWidth - pageWidth / 10);
                }
                if (question == 0) {
                    EXPECT_EQ(window->statusPanels[0]->text(), "Current/Total: 1/2");
                    EXPECT_EQ(window->statusPanels[1]->text(), "Left: 1");
                    QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton);
                }
            }
            QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton);
        });
        EXPECT_EQ(script.lastText(), kEndMessage);
    }
}

// The data fields stand in rows: each label above its field, or left of it and level
// with it; the respondent's letters take the case the test asks for.
TEST_F(Pages, DataFieldsAreLaidOutAndCasedAsTheTestSays)
{
    CreateTest();
    AddDataField(1, 1, "Name", "string");
    AddDataField(2, 2, "Smoker", "boolean");
    AddDataField(3, 3, "Town of birth", "string");
    Lock();
    int run = 0;
    for (const int layout : {0, 1}) {
        SCOPED_TRACE(layout);
        Setting(-22, QString::number(layout));
        Setting(-24, layout == 0 ? "2" : "1");  // upper case, then lower case
        DialogScript script;
        script.answerQuestion(true);
        TakeTest([&](TForm2* window) {
            auto* name = Child<QLineEdit>(window, "data1");
            auto* town = Child<QLineEdit>(window, "data3");
            auto* smoker = Child<QCheckBox>(window, "data2");
            for (QLineEdit* edit : {name, town}) {
                QLabel* label = nullptr;
                for (QLabel* candidate : window->panel2->findChildren<QLabel*>())
                    if (candidate->buddy() == edit)
                        label = candidate;
                ASSERT_NE(label, nullptr);
                EXPECT_NEAR(label->x(), window->width() / 10, 2);  // laid out before the window was shown
                if (layout == 0) {
                    EXPECT_EQ(edit->x(), label->x());
                    EXPECT_EQ(label->geometry().bottom() + 1, edit->y());
                } else {
                    EXPECT_GT(edit->x(), label->geometry().right());
                    EXPECT_NEAR(label->geometry().center().y(), edit->geometry().center().y(), 1);
                }
            }
            EXPECT_LT(name->geometry().bottom(), smoker->y());
            EXPECT_LT(smoker->geometry().bottom(), town->y());
            EXPECT_GT(window->btnInstruction->y(), town->geometry().bottom());
            if (layout == 1)
                window->grab().save(QDir::temp().filePath("kelvo_test_window_fields_left_right.png"));
            QTest::keyClicks(name, "Smith");
            QTest::keyClicks(town, "New York");
            if (layout == 1)
                QTest::mouseClick(smoker, Qt::LeftButton, {}, QPoint(8, smoker->height() / 2));
            QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
            QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton);
        });
        ++run;
        const RowSet fields = SelectToVariant(QString("select data1, data2, data3 from dataf where id = %1;").arg(run));
        EXPECT_EQ(fields.text(0, 0), layout == 0 ? "SMITH" : "smith");
        EXPECT_EQ(fields.text(0, 1), layout == 0 ? "false" : "true");
        EXPECT_EQ(fields.text(0, 2), layout == 0 ? "NEW YORK" : "new york");
    }
}

// On the data-field page the arrows and Enter move between the fields, Ctrl+Home and
// Ctrl+End go to the first and last; the field with the focus is set off by its colour.
TEST_F(Pages, KeysMoveBetweenTheDataFields)
{
    CreateTest();
    AddDataField(1, 1, "Name", "string");
    AddDataField(2, 2, "Age", "integer");
    AddDataField(3, 3, "Town", "string");
    Lock();
    DialogScript script;
    script.answerQuestion(true);
    TakeTest([&](TForm2* window) {
        auto* name = Child<QLineEdit>(window, "data1");
        auto* age = Child<QLineEdit>(window, "data2");
        auto* town = Child<QLineEdit>(window, "data3");
        ASSERT_TRUE(name->hasFocus());
        const QColor cream = age->palette().color(QPalette::Base);
        EXPECT_NE(name->palette().color(QPalette::Base), cream);
        Press(window, Qt::Key_Down);
        EXPECT_TRUE(age->hasFocus());
        EXPECT_EQ(name->palette().color(QPalette::Base), cream);
        Press(window, Qt::Key_Return);
        EXPECT_TRUE(town->hasFocus());
        Press(window, Qt::Key_Up);
        EXPECT_TRUE(age->hasFocus());
        Press(window, Qt::Key_Home, Qt::ControlModifier);
        EXPECT_TRUE(name->hasFocus());
        Press(window, Qt::Key_End, Qt::ControlModifier);
        EXPECT_TRUE(town->hasFocus());
        QTest::keyClicks(town, "Leeds");
        QTest::mouseClick(window->btnInstruction, Qt::LeftButton);
        QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton);
    });
    const RowSet fields = SelectToVariant("select data1, data2, data3 from dataf;");
    EXPECT_TRUE(fields.at(0, 0).isNull());
    EXPECT_TRUE(fields.at(0, 1).isNull());
    EXPECT_EQ(fields.text(0, 2), "Leeds");
}

// Without data fields the run opens on the instructions; a file that is not rich text is
// shown as the plain text it holds.
TEST_F(Pages, PlainTextInstructionsOpenTheRunWhenThereAreNoDataFields)
{
    CreateTest();
    const QString path = dir.filePath("instructions.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Answer quickly.\nNo {braces} or \\par are markup here: Grüße.\n");
    file.close();
    Setting(-4, path);
    Lock();
    DialogScript script;
    script.answerQuestion(true);
    TakeTest([&](TForm2* window) {
        ASSERT_TRUE(window->panel1->isVisible());
        EXPECT_FALSE(window->panel3->isVisible());
        EXPECT_EQ(window->re->toPlainText(), "Answer quickly.\nNo {braces} or \\par are markup here: Grüße.\n");
        EXPECT_EQ(Count("select count(*) from datac;"), 0);  // the run starts with the questions
        QTest::mouseClick(window->btnStartTest, Qt::LeftButton);
        EXPECT_EQ(Count("select count(*) from datac;"), 1);
        QTest::mouseClick(Child<QAbstractButton>(window, "answer0"), Qt::LeftButton);
    });
    EXPECT_EQ(script.lastText(), kEndMessage);
}

}  // namespace
