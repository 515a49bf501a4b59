// The Variables and Keyboard pages: variables typed into the grid with their rules, a
// deletion that takes the variable's formulas and those that use it, the formula
// buttons, and keys set on the Keyboard page with the switch that turns them on.
#include "tests/editor/pages_fixture.h"

#include "editor/formula_builder_window.h"
#include "editor/formula_editor_window.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSqlQuery>

namespace kelvo::testing {
namespace {

enum VariableColumn { Text, Cumulative, Start, Decimal, Name };

class VariablesPage : public PagesFixture {
protected:
    static void AddVariable(const QString& text, const QString& start = {}, const QString& decimals = {})
    {
        AddRow(*Form3->dbg2, Text, text, {{Start, start}, {Decimal, decimals}});
    }
};

TEST_F(VariablesPage, VariablesAreStoredWithTheTablesDefaultsAndTheFormulaButtonsFollow)
{
    ShowPage(Form3->Sheet3);
    EXPECT_FALSE(Form3->btnFormula->isEnabled());
    EXPECT_FALSE(Form3->btnEditor->isEnabled());
    AddVariable(QStringLiteral("Score"));
    AddVariable(QStringLiteral("Anxiety \"A\""), QStringLiteral("5"), QStringLiteral("2"));
    EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").toStdString();
    EXPECT_EQ(FileHolds("select id, caption, cumul, start, decnum from variables order by id;"),
              "1|Score|true|0|; 2|Anxiety \"A\"|true|5|2");
    EXPECT_EQ(Shown(*Form3->dbg2, 1, Name), "var2");
    EXPECT_TRUE(Form3->btnFormula->isEnabled());
    EXPECT_TRUE(Form3->btnEditor->isEnabled());

    // The cumulative box writes 0.
    const QModelIndex box = Form3->dbg2->model()->index(0, Cumulative);
    Form3->dbg2->model()->setData(box, Qt::Unchecked, Qt::CheckStateRole);
    Ctrl(Form3->dbg2, Qt::Key_S);
    EXPECT_EQ(FileHolds("select cumul from variables where id = 1;"), "false");
}

TEST_F(VariablesPage, RefusalsShowTheirMessagesAndKeepTheTypedRow)
{
    ShowPage(Form3->Sheet3);
    struct Case {
        const char* text;
        const char* start;
        const char* decimals;
        QString message;
    };
    const Case cases[] = {
        {"Half", "1.5", "", "Columns: Start value, Decimal, Level must be integer numbers!"},
        {"Many", "", "11", "Column Decimal must be integer in interval 0..10\r\n\r\nEnter integer value between 0..10"},
        {"Below", "", "-1", "Column Decimal must be integer in interval 0..10\r\n\r\nEnter integer value between 0..10"},
        {"  ", "", "", "Column caption (textual description) can't be empty!\r\n\r\nEnter text for variable description."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        script.clear();
        AddVariable(QString::fromUtf8(c.text), QString::fromUtf8(c.start), QString::fromUtf8(c.decimals));
        EXPECT_EQ(script.texts(), QStringList {c.message});
        EXPECT_EQ(script.shown().front().kind, MessageKind::Warning);
        EXPECT_EQ(Form3->qvariables->state(), DatasetState::Insert);
        EXPECT_EQ(Form3->qvariables->value("start").toString(), QString::fromUtf8(c.start));
        Ctrl(Form3->dbg2, Qt::Key_C);
        EXPECT_EQ(Form3->qvariables->state(), DatasetState::Browse);
    }
    EXPECT_EQ(FileHolds("select count(*) from variables;"), "0");
}

TEST_F(VariablesPage, DeletingAVariableTakesItsFormulasAndThoseThatUseItTogether)
{
    ExecSQL("insert into variables (id, caption) values (1, 'first');");
    ExecSQL("insert into variables (id, caption) values (2, 'second');");
    ExecSQL("insert into formula (varid, formula) values (1, '1+1');");
    ExecSQL("insert into formula (varid, formula) values (2, 'var1*2');");
    ExecSQL("insert into formula (varid, formula) values (2, 'var11+3');");
    ShowPage(Form3->Sheet3);
    ClickCell(*Form3->dbg2, 0, Text);
    const QString question = QStringLiteral(
        "You have started an action to delete variables.\r\n\r\nIf this variable is present in any formula, any such "
        "formula will also be deleted!\r\n\r\nDelete variable?");
    Ctrl(Form3->dbg2, Qt::Key_Delete);
    EXPECT_EQ(script.texts(), QStringList {question});
    EXPECT_EQ(FileHolds("select count(*) from formula;"), "3");

    // A failing delete leaves the formulas its rule removed.
    QSqlQuery trigger(Session::current().con.database());
    ASSERT_TRUE(trigger.exec("create trigger keep before delete on variables begin select raise(abort, 'kept'); end"));
    script.answerQuestion(true);
    Ctrl(Form3->dbg2, Qt::Key_Delete);
    EXPECT_EQ(FileHolds("select count(*) from formula;"), "3");
    ASSERT_TRUE(trigger.exec("drop trigger keep"));

    script.clear();
    script.answerQuestion(true);
    Ctrl(Form3->dbg2, Qt::Key_Delete);
    EXPECT_EQ(FileHolds("select id from variables;"), "2");
    EXPECT_EQ(FileHolds("select varid, formula from formula;"), "2|var11+3");
}

TEST_F(VariablesPage, TheFormulaButtonsWarnUntilTheTestHasWhatFormulasNeed)
{
    WindowInstance<TForm6> form6 {Form6};
    ExecSQL("insert into variables (id, caption) values (1, 'v');");
    ExecSQL("delete from answers;");
    ShowPage(Form3->Sheet3);
    QTest::mouseClick(Form3->btnEditor, Qt::LeftButton);
    ExecSQL("delete from items;");
    QTest::mouseClick(Form3->btnFormula, Qt::LeftButton);
    ShowPage(Form3->Sheet1);
    ShowPage(Form3->Sheet3);
    QTest::mouseClick(Form3->btnFormula, Qt::LeftButton);
    EXPECT_EQ(script.texts(),
              (QStringList {"Before creating formula you have to create answers! You have 0 answers in test!",
                            "Before creating formula you have to create answers! You have 0 answers in test!",
                            "Before creating formula you have to create questions (items)! You have 0 questions in "
                            "test!"}));

    script.clear();
    ExecSQL("insert into items (id, caption) values (1, 'Q');");
    ExecSQL("insert into answers (itemid, caption) values (1, 'A');");
    ShowPage(Form3->Sheet1);
    ShowPage(Form3->Sheet3);
    Ctrl(Form3->dbg2, Qt::Key_Insert);
    QTest::mouseClick(Form3->btnEditor, Qt::LeftButton);
    EXPECT_EQ(script.texts(), QStringList {"Before entering the formula you need to save a record!"});
    Ctrl(Form3->dbg2, Qt::Key_C);
    bool shown = false;
    gFormulaEditorMode = kFormulaEditorInsert;
    answerModal<TForm6>([&](TForm6* window) {
        shown = true;
        EXPECT_EQ(gFormulaVariableId, 1);
        EXPECT_EQ(gFormulaEditorMode, kFormulaEditorBrowse);
        window->reject();
    });
    QTest::mouseClick(Form3->btnEditor, Qt::LeftButton);
    EXPECT_TRUE(shown);

    WindowInstance<TForm5> form5 {Form5};
    shown = false;
    gBuilderVariableId = 0;
    answerModal<TForm5>([&](TForm5* window) {
        shown = true;
        EXPECT_EQ(gBuilderVariableId, 1);
        window->reject();
    });
    QTest::mouseClick(Form3->btnFormula, Qt::LeftButton);
    EXPECT_TRUE(shown);
}

using KeyboardPage = PagesFixture;

TEST_F(KeyboardPage, KeysAreLoweredCheckedAndStoredAndTheSwitchWritesItsRowAtOnce)
{
    ShowPage(Form3->Sheet8);
    if (!Form3->chKeyBoard->isChecked())
        ClickBox(Form3->chKeyBoard);
    EXPECT_EQ(FileHolds("select v from testd where id = -19;"), "true");
    ShowPage(Form3->Sheet6);
    ASSERT_TRUE(Form3->Sheet6->isEnabled());
    DataGrid& grid = *Form3->dbg7;
    EXPECT_EQ(grid.model()->headerData(0, Qt::Horizontal).toString(), "Answer number");
    EXPECT_FALSE(grid.model()->flags(grid.model()->index(0, 0)) & Qt::ItemIsEditable);

    TypeCell(grid, 0, 1, QStringLiteral("Z"));
    EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").toStdString();
    EXPECT_EQ(FileHolds("select k from keyb where id = 1;"), "z");

    struct Case {
        const char* typed;
        QString message;
    };
    const Case refused[] = {
        {"a", "This key keyboard already exists within the table!\r\n\r\nSelect another key keyboard!"},
        {"B", "This key keyboard already exists within the table!\r\n\r\nSelect another key keyboard!"},
        {" ", "Column \"Keyboard key\" have length of 1 character (not null)!"},
        {"xy", "Column \"Keyboard key\" have length of 1 character (not null)!"},
        {"'", "A keyboard key must be a letter from a to z or a digit from 0 to 9!\r\n\r\nSelect another key keyboard!"},
        {"é", "A keyboard key must be a letter from a to z or a digit from 0 to 9!\r\n\r\nSelect another key keyboard!"},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.typed);
        script.clear();
        TypeCell(grid, 1, 1, QString::fromUtf8(c.typed));
        EXPECT_EQ(script.texts(), QStringList {c.message});
        EXPECT_EQ(script.shown().front().kind, MessageKind::Error);
        EXPECT_EQ(Form3->qkeyb->state(), DatasetState::Edit);
        // The refused key gives way to the stored one at once.
        EXPECT_EQ(Shown(grid, 1, 1), "2");
        QTest::keyClick(&grid, Qt::Key_Escape);
        EXPECT_EQ(Form3->qkeyb->state(), DatasetState::Browse);
    }
    EXPECT_EQ(FileHolds("select k from keyb where id = 2;"), "2");

    // The table has one row per answer number: none is added or removed.
    const int rows = grid.model()->rowCount();
    ClickCell(grid, rows - 1, 1);
    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(grid.model()->rowCount(), rows);

    ShowPage(Form3->Sheet8);
    ClickBox(Form3->chKeyBoard);
    EXPECT_FALSE(Form3->Sheet6->isEnabled());
    EXPECT_EQ(FileHolds("select v from testd where id = -19;"), "false");
    ClickBox(Form3->chKeyBoard);
    EXPECT_TRUE(Form3->Sheet6->isEnabled());
    EXPECT_EQ(FileHolds("select v from testd where id = -19;"), "true");
}

}  // namespace
}  // namespace kelvo::testing
