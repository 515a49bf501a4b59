// The Data page: data fields typed into the grid, the field-type pick list, the
// rules with their messages, and a deletion that takes the formulas using the field.
#include "tests/editor/pages_fixture.h"

#include <QComboBox>

namespace kelvo::testing {
namespace {


enum Column { Text, FieldType, Position, Name };

class DataPage : public PagesFixture {
protected:
    static void AddField(const QString& text, const QString& type, const QString& position = {})
    {
        AddRow(*Form3->dbg4, Text, text, {{FieldType, type}, {Position, position}});
    }
};

TEST_F(DataPage, AFieldGetsTheFirstFreeIdAndPositionAndItsTypeFromTheList)
{
    ShowPage(Form3->Sheet5);
    DataGrid& grid = *Form3->dbg4;
    EXPECT_EQ(grid.model()->headerData(FieldType, Qt::Horizontal).toString(), "Field type");
    AddField(QStringLiteral("Age"), QStringLiteral(" Integer "));
    AddField(QStringLiteral("Name's \"nick\""), QString());
    EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").toStdString();
    EXPECT_EQ(FileHolds("select id, posit, caption, ftype from userf order by id;"),
              "1|1|Age|integer; 2|2|Name's \"nick\"|string");
    EXPECT_EQ(Shown(grid, 0, Name), "data1");

    // The cell of the type column is a list of the four types.
    auto* list = [&] {
        ClickCell(grid, 0, FieldType);
        QTest::keyClick(&grid, Qt::Key_F2);
        return grid.viewport()->findChild<QComboBox*>();
    }();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), 4);
    EXPECT_EQ(list->itemText(3), "boolean");
    QTest::keyClick(list, Qt::Key_Escape);
}

TEST_F(DataPage, RefusalsShowTheirMessagesAndKeepTheTypedRow)
{
    ShowPage(Form3->Sheet5);
    AddField(QStringLiteral("Born"), QStringLiteral("date"));
    EXPECT_EQ(script.texts(), QStringList {QStringLiteral(
                                  "Column Field type is illegal!\r\n\r\nChoose Field type from combo box in Field type "
                                  "Column!\r\n\r\nThe entry is canceled")});
    EXPECT_EQ(Form3->quserf->state(), DatasetState::Insert);
    EXPECT_EQ(Form3->quserf->value("caption").toString(), "Born");
    Ctrl(Form3->dbg4, Qt::Key_C);

    script.clear();
    AddField(QStringLiteral("   "), QStringLiteral("float"));
    EXPECT_EQ(script.texts(), QStringList {"Column Text must be defined (not empty)!\r\n\r\nThe entry is canceled"});
    Ctrl(Form3->dbg4, Qt::Key_C);
    EXPECT_EQ(FileHolds("select count(*) from userf;"), "0");

    // A position taken by another field is replaced by the first free one, with a warning.
    script.clear();
    AddField(QStringLiteral("One"), QStringLiteral("string"), QStringLiteral("3"));
    AddField(QStringLiteral("Two"), QStringLiteral("string"), QStringLiteral("3"));
    EXPECT_EQ(script.texts(), QStringList {"Column Position must be unique!"});
    EXPECT_EQ(FileHolds("select caption, posit from userf order by id;"), "One|3; Two|1");
}

TEST_F(DataPage, TheTypeOfAFieldWithAResultColumnStaysAndTheTwoHundredFiftyFifthIsRefused)
{
    ExecSQL("insert into userf (id, posit, caption, ftype) values (1, 1, 'Age', 'integer');");
    ExecSQL("create table dataf (id integer primary key, data1 integer);");
    ShowPage(Form3->Sheet5);
    DataGrid& grid = *Form3->dbg4;
    QLineEdit* editor = OpenCell(grid, 0, FieldType);
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    Type(*editor, QStringLiteral("float"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(script.texts(),
              QStringList {"This field already exist in table. You can't change existing field type!\r\n\r\nIf you want "
                           "to change the field type you should first delete this field from table!"});
    Ctrl(&grid, Qt::Key_C);
    script.clear();
    TypeCell(grid, 0, Text, QStringLiteral("Age in years"));
    EXPECT_TRUE(script.texts().isEmpty());
    EXPECT_EQ(FileHolds("select caption, ftype from userf;"), "Age in years|integer");

    {
        engine::Transaction many(Session::current().con);
        for (int id = 2; id <= 254; ++id)
            ExecSQL(QStringLiteral("insert into userf (id, posit, caption, ftype) values (%1, %1, 'f', 'string');").arg(id));
        many.commit();
    }
    ShowPage(Form3->Sheet5);
    AddField(QStringLiteral("One too many"), QStringLiteral("string"));
    EXPECT_EQ(script.texts(), QStringList {"You have reached the maximum number of user-defined fields (254)!"});
    EXPECT_EQ(FileHolds("select count(*) from userf;"), "254");
}

TEST_F(DataPage, DeletingAFieldTakesTheFormulasThatUseIt)
{
    ExecSQL("insert into userf (id, posit, caption, ftype) values (1, 1, 'Age', 'integer');");
    ExecSQL("insert into userf (id, posit, caption, ftype) values (2, 2, 'Weight', 'float');");
    ExecSQL("insert into variables (id, caption) values (1, 'v');");
    ExecSQL("insert into formula (varid, formula) values (1, 'data1*2');");
    ExecSQL("insert into formula (varid, formula) values (1, 'data2+data12');");
    ShowPage(Form3->Sheet5);
    ClickCell(*Form3->dbg4, 0, Text);
    const QString question = QStringLiteral(
        "You have started an action to delete user-defined data field.\r\n\r\nIf this data field is present in any "
        "formula, any such formula will also be deleted!\r\n\r\nDelete the chosen field?");
    Ctrl(Form3->dbg4, Qt::Key_Delete);
    EXPECT_EQ(script.texts(), QStringList {question});
    EXPECT_EQ(FileHolds("select count(*) from userf;"), "2");

    script.answerQuestion(true);
    Ctrl(Form3->dbg4, Qt::Key_Delete);
    EXPECT_EQ(FileHolds("select id from userf;"), "2");
    EXPECT_EQ(FileHolds("select formula from formula;"), "data2+data12");
}

}  // namespace
}  // namespace kelvo::testing
