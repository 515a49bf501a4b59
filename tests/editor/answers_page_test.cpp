// The Answers page: the question tree and its images, answers typed for the question
// chosen, their rules and deletion warnings, the Ctrl keys of the grid, and the
// typed-answer tools of the Properties page.
#include "tests/editor/pages_fixture.h"

#include "editor/captions_editor_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

namespace kelvo::testing {
namespace {

class AnswersPage : public PagesFixture {
protected:
    void SetUp() override
    {
        PagesFixture::SetUp();
        ExecSQL("insert into items (id, caption) values (2, 'Do you smoke?');");
        ExecSQL("insert into items (id, caption) values (3, 'Why?');");
        ShowPage(Form3->Sheet1);
        ShowPage(Form3->Sheet2);
    }

    static int NodeImage(int id)
    {
        const QList<QTreeWidgetItem*> found =
            Form3->tree->findItems(QStringLiteral("item%1").arg(id), Qt::MatchExactly);
        return found.size() == 1 ? found.front()->data(0, Qt::UserRole).toInt() : -1;
    }

    static void AddAnswer(const QString& caption) { AddRow(*Form3->dbg1, 0, caption); }
};

const QString kDuplicate = QStringLiteral(
    "Duplicate Caption error! This caption is already present in this question!\r\n\r\nYou can't have 2 identical "
    "Captions in same question!\r\n\r\nEnter different Caption");

TEST_F(AnswersPage, TheTreeShowsEveryQuestionAndWhetherItHasAnswers)
{
    ASSERT_EQ(Form3->tree->topLevelItemCount(), 3);
    EXPECT_EQ(Form3->tree->topLevelItem(0)->text(0), "item1");
    EXPECT_EQ(NodeImage(1), 1);
    EXPECT_EQ(NodeImage(2), 0);
    EXPECT_EQ(Form3->tree->currentItem()->text(0), "item1") << "the first node is chosen";
    EXPECT_EQ(Form3->dbg1->model()->rowCount(), 2);
    EXPECT_TRUE(Form3->btnClone->isEnabled());
    ClickQuestionNode(3);
    EXPECT_EQ(Form3->dbg1->model()->rowCount(), 0);
    EXPECT_FALSE(Form3->btnClone->isEnabled());
}

TEST_F(AnswersPage, AnswersAreStoredTrimmedAndADuplicateIsRefusedKeepingWhatWasTyped)
{
    ClickQuestionNode(2);
    for (const char* answer : {"Yes", "  No ", "Maybe"})
        AddAnswer(QString::fromUtf8(answer));
    EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").toStdString();
    EXPECT_EQ(FileHolds("select itemid, caption from answers where itemid = 2 order by id;"), "2|Yes; 2|No; 2|Maybe");
    EXPECT_EQ(NodeImage(2), 1);

    // The same caption in another letter case is refused in this question.
    AddAnswer(QStringLiteral("yes"));
    EXPECT_EQ(script.texts(), QStringList {kDuplicate});
    EXPECT_EQ(script.shown().front().kind, MessageKind::Error);
    EXPECT_EQ(Form3->qanswers->state(), DatasetState::Insert);
    EXPECT_EQ(Shown(*Form3->dbg1, 3, 0), "yes");
    Ctrl(Form3->dbg1, Qt::Key_C);
    EXPECT_EQ(Form3->dbg1->model()->rowCount(), 3);

    // Editing an answer without changing its caption is accepted; a blank one is refused.
    script.clear();
    TypeCell(*Form3->dbg1, 1, 0, QStringLiteral("No"));
    EXPECT_TRUE(script.texts().isEmpty());
    TypeCell(*Form3->dbg1, 1, 0, QStringLiteral("  "));
    EXPECT_EQ(script.texts(), QStringList {QStringLiteral(
                                  "You can not have empty (blank) answers in any question!\r\n\r\nThe entry is canceled!")});
    EXPECT_EQ(Form3->qanswers->state(), DatasetState::Edit);
    Ctrl(Form3->dbg1, Qt::Key_C);
    EXPECT_EQ(Shown(*Form3->dbg1, 1, 0), "No");

    // Choosing another question stores the answer being typed, or keeps its question
    // chosen when the answer is refused.
    AddAnswer(QStringLiteral("yes"));
    script.clear();
    ClickQuestionNode(3);
    EXPECT_EQ(script.texts(), QStringList {kDuplicate});
    EXPECT_EQ(Form3->tree->currentItem()->text(0), "item2");
    EXPECT_EQ(Form3->qanswers->value("caption").toString(), "yes");
    Ctrl(Form3->dbg1, Qt::Key_C);

    // In another question the same caption is welcome; 256 characters are not.
    script.clear();
    ClickQuestionNode(3);
    AddAnswer(QStringLiteral("Yes"));
    AddAnswer(QString(256, u'x'));
    EXPECT_EQ(script.texts(), QStringList {QStringLiteral(
                                  "The maximum permitted length of the answer is 255 characters!\r\n\r\nOperation aborted..")});
    Ctrl(Form3->dbg1, Qt::Key_C);
    EXPECT_EQ(FileHolds("select caption from answers where itemid = 3;"), "Yes");
}

TEST_F(AnswersPage, CtrlSPostsOnlyWhileARowIsEditedAndTheOtherKeysMove)
{
    ClickQuestionNode(2);
    for (const char* answer : {"a", "b", "c"})
        AddAnswer(QString::fromUtf8(answer));
    DataGrid& grid = *Form3->dbg1;
    ClickCell(grid, 0, 0);
    Ctrl(&grid, Qt::Key_End);
    EXPECT_EQ(Form3->qanswers->value("caption").toString(), "c");
    Ctrl(&grid, Qt::Key_Home);
    EXPECT_EQ(Form3->qanswers->value("caption").toString(), "a");
    Ctrl(&grid, Qt::Key_PageDown);
    EXPECT_EQ(Form3->qanswers->value("caption").toString(), "b");

    Ctrl(&grid, Qt::Key_S);
    EXPECT_EQ(Form3->qanswers->state(), DatasetState::Browse);
    Ctrl(&grid, Qt::Key_E);
    EXPECT_EQ(Form3->qanswers->state(), DatasetState::Edit);
    QLineEdit* editor = OpenCell(grid, 1, 0);
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_End);
    Type(*editor, QStringLiteral("2"));
    QTest::keyClick(editor, Qt::Key_Backtab);
    Ctrl(&grid, Qt::Key_S);
    EXPECT_EQ(Form3->qanswers->state(), DatasetState::Browse);
    EXPECT_EQ(FileHolds("select caption from answers where itemid = 2 order by id;"), "a; b2; c");
}

TEST_F(AnswersPage, DeletingAnAnswerWarnsWithTheFormulasItsPositionChanges)
{
    ClickQuestionNode(2);
    for (const char* answer : {"a", "b", "c", "d", "e"})
        AddAnswer(QString::fromUtf8(answer));
    DataGrid& grid = *Form3->dbg1;
    const QString update = QStringLiteral(
        "When you delete this answer don't forget to update positions of answers within this question in each "
        "formula!\r\n\r\nFor example you should update formula like this: \r\n\r\nif(item2=");

    ClickCell(grid, 2, 0);
    script.answerQuestion(false);
    Ctrl(&grid, Qt::Key_Delete);
    EXPECT_EQ(script.texts(), QStringList {update + "3) --> if(item2=2)"});
    EXPECT_EQ(FileHolds("select count(*) from answers where itemid = 2;"), "5");

    script.clear();
    ClickCell(grid, 0, 0);
    script.answerQuestion(true);
    Ctrl(&grid, Qt::Key_Delete);
    EXPECT_EQ(script.texts(), QStringList {update + "1)"});
    EXPECT_EQ(FileHolds("select caption from answers where itemid = 2 order by id;"), "b; c; d; e");

    // The last answer of a question asks twice.
    script.clear();
    ClickQuestionNode(3);
    AddAnswer(QStringLiteral("only"));
    ClickCell(grid, 0, 0);
    script.answerQuestion(true);
    script.answerQuestion(true);
    Ctrl(&grid, Qt::Key_Delete);
    EXPECT_EQ(script.texts(),
              (QStringList {QStringLiteral("This is last answer within selected question!\r\n\r\nYou will not be able to "
                                           "lock (use) the test if a question does not have an answer!\r\n\r\nContinue?"),
                            QStringLiteral("When you delete this answer don't forget to update all formula for selected "
                                           "question which are referencing this answer position!\r\n\r\nFor example you "
                                           "should delete (or update) formula like this: \r\n\r\nif(item3=1)")}));
    EXPECT_EQ(script.shown().front().kind, MessageKind::Question);
    EXPECT_EQ(FileHolds("select count(*) from answers where itemid = 3;"), "0");
    EXPECT_EQ(NodeImage(3), 0);
}

TEST_F(AnswersPage, TheAnswersPageIsDisabledWithoutQuestionsAndReadsTheTreeOnceThereAreSome)
{
    ExecSQL("delete from items;");
    ShowPage(Form3->Sheet1);
    ShowPage(Form3->Sheet2);
    EXPECT_FALSE(Form3->Sheet2->isEnabled());

    ShowPage(Form3->Sheet1);
    ClickCell(*Form3->dbg, 0, 1);
    Ctrl(Form3->dbg, Qt::Key_Insert);
    TypeCell(*Form3->dbg, 0, 1, QStringLiteral("New question"));
    ShowPage(Form3->Sheet2);
    EXPECT_TRUE(Form3->Sheet2->isEnabled());
    ASSERT_EQ(Form3->tree->topLevelItemCount(), 1);
    EXPECT_EQ(Form3->tree->topLevelItem(0)->text(0), "item1");
    EXPECT_EQ(NodeImage(1), 0);
}

TEST_F(AnswersPage, SynchronisingChangesOnlyTheLastAnswerOfEachQuestion)
{
    ExecSQL("insert into answers (itemid, caption) values (2, 'first');");
    ExecSQL("insert into answers (itemid, caption) values (2, 'my An SW er 1');");
    ShowPage(Form3->Sheet8);
    EXPECT_FALSE(Form3->btn6->isEnabled());
    ClickBox(Form3->chEditQuestion);
    EXPECT_TRUE(Form3->btn6->isEnabled());
    EXPECT_TRUE(Form3->cbParseEdit->isEnabled());
    Form3->cbParseEdit->setCurrentIndex(2);

    script.answerQuestion(true);
    script.answerQuestion(true);
    QTest::mouseClick(Form3->btn6, Qt::LeftButton);
    ASSERT_EQ(script.texts().size(), 3);
    EXPECT_EQ(script.texts()[1],
              "You start changing 2 answers is test!\r\n\r\nSelected parse option is: LowerCase+Ignore blanks\r\n\r\n"
              "Example : \"my An SW er 1\"  -->  \"myanswer1\"\r\n\r\nUpdate (Change like in this example) ALL LAST "
              "ANSWERS WITHIN EACH QUESTION?");
    EXPECT_EQ(script.texts()[2], "Successfully updated 2. answers!");
    EXPECT_EQ(FileHolds("select caption from answers order by id;"),
              "This is 1. answer on first question your test..; thisis2.answeronfirstquestionyourtest..; first; "
              "myanswer1");

    // Declining the first question changes nothing.
    script.clear();
    QTest::mouseClick(Form3->btn6, Qt::LeftButton);
    EXPECT_EQ(script.texts().size(), 1);
}

TEST_F(AnswersPage, TheCaptionsButtonNeedsQuestions)
{
    WindowInstance<TForm10> form10 {Form10};
    bool shown = false;
    answerModal<TForm10>([&](TForm10* window) {
        shown = true;
        window->reject();
    });
    QTest::mouseClick(Form3->editcap, Qt::LeftButton);
    EXPECT_TRUE(shown);

    ExecSQL("delete from items;");
    QTest::mouseClick(Form3->editcap, Qt::LeftButton);
    EXPECT_EQ(script.texts(), QStringList {"You must enter questions first!"});
}

}  // namespace
}  // namespace kelvo::testing
