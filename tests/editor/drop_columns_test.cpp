// The drop-columns window: it offers only the result columns whose question, variable
// or data field is gone, and drops one from the table that holds it, keeping every
// other column and stored value.
#include "editor/drop_columns_window.h"
#include "tests/editor/question_tools_fixture.h"

#include <QComboBox>

using namespace kelvo;
using kelvo::testing::answerModal;
using kelvo::testing::QuestionToolsFixture;

namespace {

class DropColumns : public QuestionToolsFixture {
protected:
    void SetUp() override
    {
        QuestionToolsFixture::SetUp();
        AddQuestions(4, 2);
        AddVariable(1);
        AddVariable(2);
        AddFormula(1, QStringLiteral("if(item1=1,1,0)"));
        AddFormula(2, QStringLiteral("if(item2=1,1,0)"));
        Form3->RebindDataSets();
        Form3->trialAnswerSeed = 3;
        Form3->btnLock->click();
        ASSERT_EQ(script.lastText().left(20), QStringLiteral("Kelvo test is valid!"));
        Form3->btnLock->click();
        ASSERT_EQ(SelectToVariant(QStringLiteral("select v from testd where id = 0;")).text(0, 0), "false");
        // One stored run.
        ExecSQL(QStringLiteral("insert into datai1 (id, item1, item2, item3, item4) values (1, 1, 2, 1, 2);"));
        ExecSQL(QStringLiteral("insert into datav1 (id, var1, var2) values (1, 1, 0);"));
        script.clear();
    }

    static QStringList Fields(const QString& table)
    {
        QStringList names;
        for (const engine::FieldInfo& field : Session::current().con.tableFields(table))
            names << field.name.toLower();
        return names;
    }

    // Opens the window through the Administrator page's Drop button and hands it to `act`.
    void WithWindow(const std::function<void(TForm9*)>& act)
    {
        bool shown = false;
        answerModal<TForm9>([&](TForm9* window) {
            shown = true;
            act(window);
            window->reject();
        });
        Form3->speed4->click();
        EXPECT_TRUE(shown);
    }

    static QStringList Offered(const TForm9& window)
    {
        QStringList items;
        for (int i = 0; i < window.combo->count(); ++i)
            items << window.combo->itemText(i);
        return items;
    }
};

TEST_F(DropColumns, OffersNothingWhileEveryColumnHasItsQuestion)
{
    WithWindow([&](TForm9* window) {
        EXPECT_EQ(window->windowTitle(), "Drop columns");
        EXPECT_TRUE(Offered(*window).isEmpty());
        QTest::mouseClick(window->btnDrop, Qt::LeftButton);
    });
    EXPECT_EQ(script.texts(), QStringList({"You must select a field (column) you want to delete!"}));
}

TEST_F(DropColumns, DropsTheColumnOfADeletedQuestionFromItsAnswerTableOnly)
{
    ExecSQL(QStringLiteral("delete from items where id = 3;"));
    ExecSQL(QStringLiteral("delete from variables where id = 2;"));
    QStringList offered;
    WithWindow([&](TForm9* window) {
        offered = Offered(*window);
        window->combo->setCurrentIndex(window->combo->findText(QStringLiteral("item3")));
        script.answerQuestion(true);
        script.answerQuestion(true);
        script.answerQuestion(false);  // no compaction now
        QTest::mouseClick(window->btnDrop, Qt::LeftButton);
        // The list is read again.
        EXPECT_EQ(Offered(*window), QStringList({"var2"}));
    });

    EXPECT_EQ(offered, QStringList({"item3", "var2"}));
    EXPECT_EQ(script.texts(),
              QStringList({"Delete column: item3", "Deleting all data in column: item3\r\n\r\nContinue?",
                           "Column: item3 is successfully deleted!",
                           "After deleting column and before locking test you must perform Compact and Repair "
                           "operation!\r\n\r\nWould you like to do it right now?"}));
    EXPECT_EQ(Fields("datai1"), QStringList({"id", "item1", "item2", "item4"}));
    EXPECT_EQ(Fields("datav1"), QStringList({"id", "var1", "var2"}));
    const RowSet run = SelectToVariant(QStringLiteral("select id, item1, item2, item4 from datai1;"));
    ASSERT_EQ(run.rows(), 1);
    EXPECT_EQ(run.integer(0, 1), 1);
    EXPECT_EQ(run.integer(0, 2), 2);
    EXPECT_EQ(run.integer(0, 3), 2);
    EXPECT_EQ(SelectToVariant(QStringLiteral("select var2 from datav1;")).integer(0, 0), 0);
}

TEST_F(DropColumns, NoToEitherQuestionKeepsTheColumn)
{
    ExecSQL(QStringLiteral("delete from items where id = 3;"));
    for (const bool firstYes : {false, true}) {
        script.clear();
        WithWindow([&](TForm9* window) {
            window->combo->setCurrentIndex(0);
            script.answerQuestion(firstYes);
            script.answerQuestion(false);
            QTest::mouseClick(window->btnDrop, Qt::LeftButton);
        });
        EXPECT_EQ(script.lastText(), "Operation aborted..");
        EXPECT_TRUE(Fields("datai1").contains("item3"));
    }
}

TEST_F(DropColumns, ARestoredQuestionKeepsItsColumn)
{
    ExecSQL(QStringLiteral("delete from items where id = 3;"));
    WithWindow([&](TForm9* window) {
        ASSERT_EQ(Offered(*window), QStringList({"item3"}));
        window->combo->setCurrentIndex(0);
        // The question comes back while the window is open.
        ExecSQL(QStringLiteral("insert into items (id, caption) values (3, 'again');"));
        QTest::mouseClick(window->btnDrop, Qt::LeftButton);
    });
    EXPECT_EQ(script.texts(),
              QStringList({"Before deleting the column you have to delete the question: item3\r\n\r\n1. Go to the "
                           "\"Questions\" tab and manually delete this question!\r\n\r\n2. Then repeat this action!"}));
    EXPECT_TRUE(Fields("datai1").contains("item3"));
}

TEST(ResultTableOfColumn, NamesTheBlockThatHoldsTheColumn)
{
    const std::pair<const char*, const char*> cases[] = {
        {"item3", "datai1"}, {"item254", "datai1"}, {"item255", "datai2"}, {"item300", "datai2"},
        {"var1", "datav1"},  {"var509", "datav3"},  {"data7", "dataf"},    {"id", ""},
        {"itemx", ""},
    };
    for (const auto& [column, table] : cases)
        EXPECT_EQ(ResultTableOfColumn(QString::fromLatin1(column)), QString::fromLatin1(table)) << column;
}

}  // namespace
