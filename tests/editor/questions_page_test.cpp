// The Questions page: questions typed into the grid and the three-row view, their
// ids, the rules they are stored and deleted by, and the Ctrl keys of the grid.
#include "tests/editor/pages_fixture.h"

#include "dataaware/data_memo.h"
#include "editor/questions_editor_window.h"

#include <QPushButton>
#include <QSqlQuery>

#include <tuple>

namespace kelvo::testing {
namespace {

using QuestionsPage = PagesFixture;

const QString kEmptyQuestion = QStringLiteral("You can not have empty (blank) question!\r\n\r\nThe entry is canceled");

TEST_F(QuestionsPage, QuestionsTypedWithAQuoteALineBreakAndForeignLettersAreStoredAsTyped)
{
    ShowPage(Form3->Sheet1);
    DataGrid& grid = *Form3->dbg;
    ASSERT_EQ(grid.model()->rowCount(), 1) << "the sample question";
    EXPECT_EQ(Shown(grid, 0, 0), "item1");
    EXPECT_EQ(grid.model()->headerData(1, Qt::Horizontal).toString(), "Caption");

    // Down on the last row adds a question after it, with the next id.
    ClickCell(grid, 0, 1);
    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(Form3->qitems->state(), DatasetState::Insert);
    EXPECT_EQ(Shown(grid, 1, 0), "item2");
    TypeCell(grid, 1, 1, QStringLiteral("Don't you say \"never\"?"));

    // The three-row view's memo takes a line break; Ctrl+S there posts the edit.
    QTest::mouseClick(Form3->btn5, Qt::LeftButton);
    EXPECT_TRUE(Form3->ctrlgrid->isVisible());
    EXPECT_FALSE(grid.isVisible());
    Form3->DBMemo1->setFocus();
    Ctrl(Form3->DBMemo1, Qt::Key_Insert);
    EXPECT_EQ(Form3->qitems->state(), DatasetState::Insert);
    Type(*Form3->DBMemo1, QStringLiteral("First line\nsecond line"));
    Ctrl(Form3->DBMemo1, Qt::Key_S);
    EXPECT_EQ(Form3->qitems->state(), DatasetState::Browse);
    QTest::mouseClick(Form3->btn4, Qt::LeftButton);
    EXPECT_TRUE(grid.isVisible());

    ClickCell(grid, 2, 1);
    QTest::keyClick(&grid, Qt::Key_Down);
    TypeCell(grid, 3, 1, QStringLiteral("Čo robí Łukasz v Ørsted? 日本"));

    EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").toStdString();
    EXPECT_EQ(FileHolds("select id, caption from items where id > 1 order by id;"),
              QStringLiteral("2|Don't you say \"never\"?; 3|First line\nsecond line; 4|Čo robí Łukasz v Ørsted? 日本"));
}

// What a new user did on a fresh test, key by key as the keyboard sends them: click
// the grid, press Insert, type a caption, press Enter. The new row used to keep the
// cursor on the Name column, which takes no typing, so the caption went nowhere and
// Enter posted an empty question, which was refused: the file kept its one sample
// question. A new row now puts the cursor on the caption.
TEST_F(QuestionsPage, ANewUserAddsAQuestionByClickingTheGridPressingInsertTypingAndEnter)
{
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form3));
    ShowPage(Form3->Sheet1);
    DataGrid& grid = *Form3->dbg;
    for (const auto& [key, modifiers, caption] :
         {std::tuple{Qt::Key_Insert, Qt::KeyboardModifiers(), QStringLiteral("How old are you?")},
          std::tuple{Qt::Key_Insert, Qt::KeyboardModifiers(Qt::ControlModifier), QStringLiteral("Where do you live?")}}) {
        SCOPED_TRACE(caption.toStdString());
        ClickCell(grid, 0, 0);
        KeyToFocus(key, modifiers);
        TypeToFocus(caption);
        KeyToFocus(Qt::Key_Return);
        EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").toStdString();
        EXPECT_EQ(Form3->qitems->state(), DatasetState::Browse);
    }
    EXPECT_EQ(FileHolds("select id, caption from items where id > 1 order by id;"),
              "2|How old are you?; 3|Where do you live?");

    // Ctrl let go before Insert starts the row all the same.
    ClickCell(grid, 0, 0);
    QTest::keyPress(&grid, Qt::Key_Control);
    QTest::keyPress(&grid, Qt::Key_Insert, Qt::ControlModifier);
    QTest::keyRelease(&grid, Qt::Key_Control);
    QTest::keyRelease(&grid, Qt::Key_Insert);
    EXPECT_EQ(Form3->qitems->state(), DatasetState::Insert);
    EXPECT_EQ(grid.currentIndex().column(), 1) << "the cursor stands on the caption";
}

TEST_F(QuestionsPage, ABlankQuestionIsRefusedAndKeepsWhatWasTypedUntilCancelled)
{
    ShowPage(Form3->Sheet1);
    DataGrid& grid = *Form3->dbg;
    TypeCell(grid, 0, 1, QStringLiteral("   "));
    EXPECT_EQ(script.texts(), QStringList {kEmptyQuestion});
    EXPECT_EQ(script.shown().front().kind, MessageKind::Warning);
    EXPECT_EQ(Form3->qitems->state(), DatasetState::Edit);
    EXPECT_EQ(Form3->qitems->value("caption").toString(), "   ");
    Ctrl(&grid, Qt::Key_C);
    EXPECT_EQ(Form3->qitems->state(), DatasetState::Browse);
    EXPECT_TRUE(Shown(grid, 0, 1).startsWith("This is first question"));
    EXPECT_TRUE(FileHolds("select caption from items;").startsWith("This is first question"));
}

TEST_F(QuestionsPage, ANewQuestionTakesTheFirstFreeIdWithinTheRowsAndTheNextOneAfterThem)
{
    ExecSQL("insert into items (id, caption) values (2, 'two');");
    ExecSQL("insert into items (id, caption) values (5, 'five');");
    ShowPage(Form3->Sheet1);
    DataGrid& grid = *Form3->dbg;
    ASSERT_EQ(grid.model()->rowCount(), 3);

    ClickCell(grid, 2, 1);
    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(Form3->qitems->value("id").toInt(), 6) << "appended after the last row";
    Ctrl(&grid, Qt::Key_C);

    ClickCell(grid, 1, 1);
    Ctrl(&grid, Qt::Key_Insert);
    EXPECT_EQ(Form3->qitems->value("id").toInt(), 3) << "inserted within the rows";
    TypeCell(grid, 1, 1, QStringLiteral("three"));
    EXPECT_EQ(FileHolds("select id from items order by id;"), "1; 2; 3; 5");
}

TEST_F(QuestionsPage, AQuestionAppendedAfterTheLargestIdThereIsTakesAFreeId)
{
    ExecSQL("insert into items (id, caption) values (2147483647, 'last');");
    ShowPage(Form3->Sheet1);
    DataGrid& grid = *Form3->dbg;
    ASSERT_EQ(grid.model()->rowCount(), 2);
    ClickCell(grid, 1, 1);
    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(Form3->qitems->value("id").toInt(), 2);
    TypeCell(grid, 2, 1, QStringLiteral("appended"));
    EXPECT_EQ(FileHolds("select id from items order by id;"), "1; 2; 2147483647");
}

TEST_F(QuestionsPage, CtrlKeysDriveTheNavigatorButSOnlyBeepsAndEOpensTheQuestionsEditor)
{
    for (int id = 2; id <= 4; ++id)
        ExecSQL(QStringLiteral("insert into items (id, caption) values (%1, 'q%1');").arg(id));
    ShowPage(Form3->Sheet1);
    DataGrid& grid = *Form3->dbg;
    ClickCell(grid, 1, 1);
    const auto current = [] { return Form3->qitems->value("id").toInt(); };
    Ctrl(&grid, Qt::Key_End);
    EXPECT_EQ(current(), 4);
    Ctrl(&grid, Qt::Key_PageUp);
    EXPECT_EQ(current(), 3);
    Ctrl(&grid, Qt::Key_Home);
    EXPECT_EQ(current(), 1);
    Ctrl(&grid, Qt::Key_PageDown);
    EXPECT_EQ(current(), 2);
    EXPECT_EQ(grid.currentIndex().row(), 1) << "the grid follows the dataset";

    // Refresh reads rows written elsewhere and keeps the current row.
    ExecSQL("insert into items (id, caption) values (7, 'q7');");
    Ctrl(&grid, Qt::Key_R);
    EXPECT_EQ(Form3->qitems->rowCount(), 5);
    EXPECT_EQ(current(), 2);

    // Ctrl+S never posts on this grid.
    QLineEdit* editor = OpenCell(grid, 1, 1);
    ASSERT_NE(editor, nullptr);
    Type(*editor, QStringLiteral(" changed"));
    QTest::keyClick(editor, Qt::Key_Backtab);
    ASSERT_EQ(Form3->qitems->state(), DatasetState::Edit);
    Ctrl(&grid, Qt::Key_S);
    EXPECT_EQ(Form3->qitems->state(), DatasetState::Edit);
    EXPECT_EQ(FileHolds("select caption from items where id = 2;"), "q2");
    Ctrl(&grid, Qt::Key_C);

    // Ctrl+E, Enter on the caption column and a double click there open the questions editor.
    int editorShown = 0;
    const auto expectEditor = [&] {
        answerModal<TForm8>([&](TForm8* window) {
            ++editorShown;
            window->reject();
        });
    };
    ClickCell(grid, 1, 1);
    expectEditor();
    Ctrl(&grid, Qt::Key_E);
    EXPECT_EQ(editorShown, 1);
    EXPECT_EQ(Form3->qitems->state(), DatasetState::Browse);
    expectEditor();
    QTest::keyClick(&grid, Qt::Key_Return);
    EXPECT_EQ(editorShown, 2);
    expectEditor();
    const QModelIndex caption = grid.model()->index(1, 1);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(caption).center());
    EXPECT_EQ(editorShown, 3);
    EXPECT_EQ(Form3->qitems->state(), DatasetState::Browse);
}

TEST_F(QuestionsPage, DeletingAQuestionAsksForItsAnswersAndFormulasAndRemovesThemTogether)
{
    ExecSQL("insert into items (id, caption) values (2, 'Smoker?');");
    for (const char* answer : {"Yes", "No"})
        ExecSQL(QStringLiteral("insert into answers (itemid, caption) values (2, '%1');").arg(answer));
    ExecSQL("insert into variables (id, caption) values (1, 'score');");
    ExecSQL("insert into formula (varid, formula) values (1, 'if(item2=1,1,0)');");
    ExecSQL("insert into formula (varid, formula) values (1, 'if(item1=1,1,0)');");
    ExecSQL("insert into formula (varid, formula) values (1, 'if(item20=1,1,0)');");
    ShowPage(Form3->Sheet1);
    DataGrid& grid = *Form3->dbg;
    ClickCell(grid, 1, 1);

    const QString answersQuestion = QStringLiteral(
        "If you delete this question you will delete this answers: \r\n\r\nYes\r\n\r\nNo\r\n\r\nDelete record?");
    const QString formulasQuestion = QStringLiteral(
        "If you delete this question you will delete some related formula definition!\r\n\r\nRecord count: "
        "1\r\n\r\nDelete record?");
    // No to the formulas leaves everything as it was.
    script.answerQuestion(true);
    script.answerQuestion(false);
    Ctrl(&grid, Qt::Key_Delete);
    EXPECT_EQ(script.texts(), (QStringList {answersQuestion, formulasQuestion}));
    EXPECT_EQ(FileHolds("select count(*) from items;"), "2");
    EXPECT_EQ(FileHolds("select count(*) from answers where itemid = 2;"), "2");
    EXPECT_EQ(FileHolds("select count(*) from formula;"), "3");

    script.clear();
    script.answerQuestion(true);
    script.answerQuestion(true);
    Ctrl(&grid, Qt::Key_Delete);
    EXPECT_EQ(script.texts(), (QStringList {answersQuestion, formulasQuestion}));
    EXPECT_EQ(FileHolds("select id from items;"), "1");
    EXPECT_EQ(FileHolds("select count(*) from answers where itemid = 2;"), "0");
    EXPECT_EQ(FileHolds("select formula from formula order by autoid;"), "if(item1=1,1,0); if(item20=1,1,0)");
}

TEST_F(QuestionsPage, AFailingDeletionLeavesTheFormulasItsRuleRemoved)
{
    ExecSQL("insert into items (id, caption) values (2, 'Q2');");
    ExecSQL("insert into variables (id, caption) values (1, 'score');");
    ExecSQL("insert into formula (varid, formula) values (1, 'if(item2=1,1,0)');");
    // Another program's rule that refuses the question's deletion.
    QSqlQuery trigger(Session::current().con.database());
    ASSERT_TRUE(trigger.exec("create trigger keep_items before delete on items begin select raise(abort, 'kept'); end"));
    ShowPage(Form3->Sheet1);
    ClickCell(*Form3->dbg, 1, 1);
    script.answerQuestion(true);
    Ctrl(Form3->dbg, Qt::Key_Delete);
    ASSERT_FALSE(script.texts().isEmpty());
    EXPECT_EQ(script.shown().back().kind, MessageKind::Error);
    EXPECT_EQ(FileHolds("select count(*) from formula;"), "1");
    EXPECT_EQ(FileHolds("select count(*) from items;"), "2");
}

}  // namespace
}  // namespace kelvo::testing
