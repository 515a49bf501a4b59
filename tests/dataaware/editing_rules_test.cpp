// The window's rules before insert, post and delete, driven through the controls, and
// what reaches the file: refusals keep what was typed, inserts leave the table's
// defaults in force, a delete and the statements of its rule stand or fall together.

#include "dataaware_fixture.h"

#include "dataaware/data_check_box.h"
#include "dataaware/data_line_edit.h"
#include "dataaware/data_memo.h"

namespace kelvo::dataaware::testing {
namespace {

using Rules = DataAwareTest;

TEST_F(Rules, RefusedOrAbortedPostKeepsTheTypedRowAndCancelRestoresIt)
{
    struct Case {
        const char* name;
        Verdict verdict;
        size_t messages;
    };
    const Case cases[] = {
        {"refused", Verdict::refuse("You can not have empty (blank) question!", NoticeKind::Warning), 1},
        {"aborted", Verdict::abort(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        connection.execute("delete from items;");
        addItems({1});
        notices.clear();
        Dataset& data = items();
        data.setBeforePost([&] { return c.verdict; });
        auto& memo = add<DataMemo>(data, "caption");
        auto& navigator = add<Navigator>(data);
        data.open();
        show();

        memo.selectAll();
        type(memo, "two\nlines");
        click(navigator, NavigatorButton::Post);

        ASSERT_EQ(notices.size(), c.messages);
        if (c.messages) {
            EXPECT_EQ(notices.front().text, "You can not have empty (blank) question!");
            EXPECT_EQ(notices.front().kind, NoticeKind::Warning);
        }
        EXPECT_EQ(data.state(), DatasetState::Edit);
        EXPECT_EQ(memo.toPlainText(), "two\nlines");
        EXPECT_EQ(read("select caption from items where id = 1;").toString(), "question 1");

        click(navigator, NavigatorButton::Cancel);
        EXPECT_EQ(data.state(), DatasetState::Browse);
        EXPECT_EQ(memo.toPlainText(), "question 1");
        delete &memo;
        delete &navigator;
        delete &data;
    }
}

TEST_F(Rules, PostRuleMayChangeTheRowBeforeItIsWritten)
{
    addItems({1});
    Dataset& data = items();
    data.setBeforePost([&] {
        data.setValue("caption", data.value("caption").toString().trimmed());
        data.setValue("editcap", QStringLiteral("set by the rule"));
        return Verdict::proceed();
    });
    auto& caption = add<DataLineEdit>(data, "caption");
    auto& navigator = add<Navigator>(data);
    data.open();
    show();

    caption.selectAll();
    type(caption, "  O'Brien  ");
    click(navigator, NavigatorButton::Post);

    EXPECT_EQ(data.state(), DatasetState::Browse);
    EXPECT_EQ(read("select caption from items where id = 1;").toString(), "O'Brien");
    EXPECT_EQ(read("select editcap from items where id = 1;").toString(), "set by the rule");
    EXPECT_EQ(caption.text(), "O'Brien");
}

TEST_F(Rules, InsertLeavesUnsetFieldsToTheTableDefaults)
{
    Dataset& variables = dataset("select * from variables order by id;", "variables");
    bool appended = false;
    variables.setNewRecord([&] {
        appended = variables.isAppending();
        variables.setValue("id", variables.recordCount() + 7);
        return Verdict::proceed();
    });
    auto& caption = add<DataLineEdit>(variables, "caption");
    auto& navigator = add<Navigator>(variables);
    variables.open();
    show();

    click(navigator, NavigatorButton::Insert);
    EXPECT_TRUE(appended) << "a new row in an empty dataset comes after the last";
    type(caption, "Score's sum");
    click(navigator, NavigatorButton::Post);

    ASSERT_TRUE(notices.empty());
    EXPECT_EQ(
        read("select count(*) from variables where id = 7 and cumul = true and start = 0 and decnum is null;").toInt(),
        1);
    EXPECT_EQ(read("select caption from variables where id = 7;").toString(), "Score's sum");
    // The row as the table made it is current, defaults included.
    EXPECT_EQ(variables.value("id").toInt(), 7);
    EXPECT_EQ(variables.value("cumul").toBool(), true);
    EXPECT_EQ(caption.text(), "Score's sum");
}

TEST_F(Rules, RowNumberedByTheTableIsCurrentAfterPost)
{
    addItems({1, 2});
    connection.execute("insert into answers (itemid, caption) values (2, 'Yes');");
    Dataset& answers = dataset("select * from answers where itemid = :itemID order by id;", "answers");
    answers.setParameter("itemID", 2);
    answers.setBeforePost([&] {
        answers.setValue("itemid", answers.parameter("itemID"));
        return Verdict::proceed();
    });
    auto& grid = add<DataGrid>(answers);
    grid.setColumns({GridColumn::editable("caption", "Caption")});
    auto& navigator = add<Navigator>(answers);
    navigator.setVisibleButtons(NavigatorButton::Insert | NavigatorButton::Post | NavigatorButton::Cancel);
    answers.open();
    show();

    click(navigator, NavigatorButton::Insert);
    EXPECT_FALSE(answers.isAppending()) << "Insert puts the new row before the current one";
    EXPECT_EQ(grid.model()->headerData(0, Qt::Vertical).toString(), "*");
    QLineEdit* editor = openCell(grid, 0, 0);
    ASSERT_NE(editor, nullptr);
    type(*editor, "No");
    pressEnter(*editor);

    ASSERT_TRUE(notices.empty());
    EXPECT_EQ(answers.state(), DatasetState::Browse);
    EXPECT_EQ(answers.recordCount(), 2);
    const int stored = read("select id from answers where caption = 'No' and itemid = 2;").toInt();
    EXPECT_GT(stored, 0);
    EXPECT_EQ(answers.value("id").toInt(), stored);
    EXPECT_EQ(answers.recordNumber(), 2);
    EXPECT_EQ(grid.currentIndex().row(), 1);
}

TEST_F(Rules, InsertAndDeleteRulesRefuseWithTheirMessages)
{
    addItems({1, 2});
    Dataset& data = items();
    data.setBeforeInsert([] { return Verdict::refuse("Rows cannot be added here.", NoticeKind::Information); });
    data.setBeforeDelete([] { return Verdict::refuse("This operation is not allowed!"); });
    auto& grid = add<DataGrid>(data);
    auto& navigator = add<Navigator>(data);
    data.open();
    show();

    click(navigator, NavigatorButton::Insert);
    click(navigator, NavigatorButton::Delete);
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0].text, "Rows cannot be added here.");
    EXPECT_EQ(notices[0].kind, NoticeKind::Information);
    EXPECT_EQ(notices[1].text, "This operation is not allowed!");
    EXPECT_EQ(data.state(), DatasetState::Browse);
    EXPECT_EQ(grid.model()->rowCount(), 2);
    EXPECT_EQ(read("select count(*) from items;").toInt(), 2);
}

TEST_F(Rules, StatementsOfTheDeleteRuleStandOrFallWithTheDelete)
{
    struct Case {
        const char* name;
        bool proceed;
        int itemsLeft;
        int answersLeft;
    };
    const Case cases[] = {{"deleted", true, 1, 1}, {"refused", false, 2, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        connection.execute("delete from answers;");
        connection.execute("delete from items;");
        addItems({1, 2});
        connection.execute("insert into answers (itemid, caption) values (1, 'Yes');");
        connection.execute("insert into answers (itemid, caption) values (1, 'No');");
        connection.execute("insert into answers (itemid, caption) values (2, 'Maybe');");
        Dataset& data = items();
        data.setBeforeDelete([&] {
            connection.execute("delete from answers where itemid = :itemID;", {{"itemID", data.value("id")}});
            return c.proceed ? Verdict::proceed() : Verdict::refuse("Delete record?");
        });
        auto& navigator = add<Navigator>(data);
        data.open();
        show();

        click(navigator, NavigatorButton::Delete);
        EXPECT_EQ(read("select count(*) from items;").toInt(), c.itemsLeft);
        EXPECT_EQ(read("select count(*) from answers;").toInt(), c.answersLeft);
        EXPECT_EQ(data.recordCount(), c.itemsLeft);
        EXPECT_EQ(data.recordNumber(), 1);
        delete &navigator;
        delete &data;
    }
}

TEST_F(Rules, NavigatorAsksTheWindowBeforeDeleting)
{
    addItems({1});
    Dataset& data = items();
    auto& navigator = add<Navigator>(data);
    int asked = 0;
    navigator.setDeleteConfirmation([&] { return ++asked > 1; });
    data.open();
    show();

    click(navigator, NavigatorButton::Delete);
    EXPECT_EQ(read("select count(*) from items;").toInt(), 1);
    click(navigator, NavigatorButton::Delete);
    EXPECT_EQ(read("select count(*) from items;").toInt(), 0);
    EXPECT_EQ(asked, 2);
}

TEST_F(Rules, CheckBoxAndCheckCellWriteOneOrZero)
{
    connection.execute("insert into variables (id, caption) values (1, 'Sum');");
    Dataset& variables = dataset("select * from variables order by id;", "variables");
    auto& cumulative = add<DataCheckBox>(variables, "cumul", "Cumulative");
    auto& grid = add<DataGrid>(variables);
    grid.setColumns({GridColumn::editable("caption", "Text"), GridColumn::editable("cumul", "Cumulative")});
    auto& navigator = add<Navigator>(variables);
    variables.open();
    show();
    ASSERT_TRUE(cumulative.isChecked());
    // Indexes do not outlive the reading of the rows after each post.
    const auto cell = [&] { return grid.model()->index(0, 1); };
    EXPECT_EQ(cell().data(Qt::CheckStateRole).toInt(), Qt::Checked);

    // Space ticks or unticks the box, and the cell of the grid; each post writes 1/0.
    for (const int expected : {0, 1, 0, 1}) {
        if (expected == 0) {
            QTest::keyClick(&cumulative, Qt::Key_Space);
            EXPECT_EQ(variables.state(), DatasetState::Edit);
            click(navigator, NavigatorButton::Post);
        } else {
            grid.setCurrentIndex(cell());
            QTest::keyClick(&grid, Qt::Key_Space);
            EXPECT_EQ(variables.state(), DatasetState::Edit);
            QTest::keyClick(&grid, Qt::Key_Return);
        }
        EXPECT_EQ(variables.state(), DatasetState::Browse);
        EXPECT_EQ(
            read("select count(*) from variables where id = 1 and cumul = :value;", {{"value", expected}}).toInt(), 1);
        EXPECT_EQ(cumulative.isChecked(), expected == 1);
        EXPECT_EQ(cell().data(Qt::CheckStateRole).toInt(), expected == 1 ? Qt::Checked : Qt::Unchecked);
    }
}

TEST_F(Rules, RefusedWritesKeepTheRowWithTheirMessage)
{
    // The database refuses a name that is taken; the window words the message.
    Dataset& users = dataset("select * from users where per0 <> true;", "users", {"autoid"});
    users.setWriteFailureText([](const engine::EngineError&) {
        return QStringLiteral("User Name must be unique! You can't have 2 identical user Names in this database!");
    });
    auto& name = add<DataLineEdit>(users, "usr");
    auto& password = add<DataLineEdit>(users, "pas");
    auto& navigator = add<Navigator>(users);
    users.open();
    show();

    click(navigator, NavigatorButton::Insert);
    type(name, "quorv");
    type(password, "secret");
    click(navigator, NavigatorButton::Post);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].kind, NoticeKind::Error);
    EXPECT_EQ(notices[0].text, "User Name must be unique! You can't have 2 identical user Names in this database!");
    EXPECT_EQ(users.state(), DatasetState::Insert);
    EXPECT_EQ(name.text(), "quorv");
    EXPECT_EQ(read("select count(*) from users;").toInt(), 1);

    // A number column given text that is no number: the row waits for a correction.
    connection.execute("insert into variables (id, caption) values (1, 'Sum');");
    Dataset& variables = dataset("select * from variables order by id;", "variables");
    auto& start = add<DataLineEdit>(variables, "start");
    auto& variablesNavigator = add<Navigator>(variables);
    variables.open();
    start.selectAll();
    type(start, "1,5");
    click(variablesNavigator, NavigatorButton::Post);
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[1].text, "'1,5' is not a valid floating point value.");
    EXPECT_EQ(variables.state(), DatasetState::Edit);
    start.selectAll();
    type(start, "1.5");
    click(variablesNavigator, NavigatorButton::Post);
    EXPECT_EQ(read("select start from variables where id = 1;").toDouble(), 1.5);
    EXPECT_EQ(start.text(), "1.5");
}

}  // namespace
}  // namespace kelvo::dataaware::testing
