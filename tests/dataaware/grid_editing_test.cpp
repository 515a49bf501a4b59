// Editing through the grid: cells typed into, Enter and Esc, the formatted and
// pick-list columns, and the current row the grid shares with the other controls.

#include "dataaware_fixture.h"

#include "dataaware/data_line_edit.h"

#include <QBrush>
#include <QComboBox>

#include <functional>
#include <utility>

namespace kelvo::dataaware::testing {
namespace {

using Grid = DataAwareTest;

std::vector<GridColumn> questionColumns()
{
    return {GridColumn::numberedName("id", "Name", "item"), GridColumn::editable("caption", "Caption")};
}

TEST_F(Grid, TypedCaptionIsStoredAsTypedWhenEnterPosts)
{
    addItems({1, 2, 3});
    Dataset& data = items();
    auto& grid = add<DataGrid>(data);
    grid.setColumns(questionColumns());
    data.open();
    show();

    // The name column is grey, shows the number after its prefix and cannot be typed into.
    EXPECT_EQ(shown(grid, 2, 0), "item3");
    EXPECT_EQ(grid.model()->index(2, 0).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(Qt::lightGray));
    EXPECT_FALSE(grid.model()->flags(grid.model()->index(2, 0)) & Qt::ItemIsEditable);

    const QString typed = QStringLiteral("Don't say \"never\"; ça va, Ørsted?");
    QLineEdit* editor = openCell(grid, 1, 1);
    ASSERT_NE(editor, nullptr);
    retype(*editor, typed);
    EXPECT_EQ(data.state(), DatasetState::Browse) << "typing alone does not reach the row yet";
    pressEnter(*editor);

    EXPECT_EQ(data.state(), DatasetState::Browse);
    EXPECT_EQ(read("select caption from items where id = 2;").toString(), typed);
    EXPECT_EQ(read("select count(*) from items;").toInt(), 3);
    EXPECT_EQ(data.value("id").toInt(), 2);
    EXPECT_EQ(shown(grid, 1, 1), typed);
    EXPECT_TRUE(notices.empty());
}

TEST_F(Grid, EnterOnARefusedCellTellsTheRefusalOnceAndKeepsTheTypedText)
{
    addItems({1});
    Dataset& data = items();
    data.setBeforePost([] { return Verdict::refuse("You can not have empty (blank) question!"); });
    auto& grid = add<DataGrid>(data);
    grid.setColumns(questionColumns());
    data.open();
    show();

    for (const bool newRow : {false, true}) {
        SCOPED_TRACE(newRow ? "new row" : "stored row");
        notices.clear();
        if (newRow)
            data.append();
        QLineEdit* editor = openCell(grid, data.currentIndex(), 1);
        ASSERT_NE(editor, nullptr);
        retype(*editor, "refused");
    pressEnter(*editor);
    // The delegate's own commit of the editor arrives after the grid posted.
    QCoreApplication::processEvents();
        EXPECT_EQ(notices.size(), 1u);
        EXPECT_EQ(data.state(), newRow ? DatasetState::Insert : DatasetState::Edit);
        EXPECT_EQ(data.value("caption").toString(), "refused");
        EXPECT_EQ(read("select caption from items where id = 1;").toString(), "question 1");
        data.cancel();
    }
}

TEST_F(Grid, EscCancelsTheRowAndEnterPostsAPendingEdit)
{
    addItems({1, 2});
    Dataset& data = items();
    auto& grid = add<DataGrid>(data);
    grid.setColumns(questionColumns());
    data.open();
    show();

    QLineEdit* editor = openCell(grid, 0, 1);
    ASSERT_NE(editor, nullptr);
    retype(*editor, "thrown away");
    // Back-tab to the name column hands the text to the row, which stays in edit.
    QTest::keyClick(editor, Qt::Key_Backtab);
    EXPECT_EQ(data.state(), DatasetState::Edit);
    EXPECT_EQ(shown(grid, 0, 1), "thrown away");
    EXPECT_EQ(grid.model()->headerData(0, Qt::Vertical).toString(), "I") << "the row header marks the edit";
    EXPECT_EQ(grid.model()->headerData(1, Qt::Vertical).toString(), "");
    QTest::keyClick(&grid, Qt::Key_Escape);
    EXPECT_EQ(data.state(), DatasetState::Browse);
    EXPECT_EQ(shown(grid, 0, 1), "question 1");
    EXPECT_EQ(grid.model()->headerData(0, Qt::Vertical).toString(), QString(QChar(0x25B6)));

    editor = openCell(grid, 1, 1);
    ASSERT_NE(editor, nullptr);
    retype(*editor, "kept");
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(data.state(), DatasetState::Browse);
    EXPECT_EQ(read("select caption from items where id = 2;").toString(), "question 2");

    editor = openCell(grid, 1, 1);
    ASSERT_NE(editor, nullptr);
    retype(*editor, "kept");
    QTest::keyClick(editor, Qt::Key_Backtab);
    QTest::keyClick(&grid, Qt::Key_Enter);
    EXPECT_EQ(data.state(), DatasetState::Browse);
    EXPECT_EQ(read("select caption from items where id = 2;").toString(), "kept");
}

TEST_F(Grid, PickListEntryChosenByKeyIsWritten)
{
    connection.execute("insert into userf (id, posit, caption, ftype) values (1, 1, 'Age', 'string');");
    Dataset& fields = dataset("select * from userf order by id;", "userf");
    auto& grid = add<DataGrid>(fields);
    grid.setColumns({GridColumn::editable("caption", "Text"),
                     GridColumn::picked("ftype", "Field type", {"string", "integer", "float", "boolean"}),
                     GridColumn::numberedName("id", "Name", "data")});
    fields.open();
    show();
    EXPECT_EQ(shown(grid, 0, 2), "data1");

    auto* combo = openCell<QComboBox>(grid, 0, 1);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->accessibleName(), "Field type");
    EXPECT_EQ(combo->currentText(), "string");
    QTest::keyClick(combo, Qt::Key_Down);
    pressEnter(*combo);

    EXPECT_EQ(fields.state(), DatasetState::Browse);
    EXPECT_EQ(read("select ftype from userf where id = 1;").toString(), "integer");
    EXPECT_EQ(shown(grid, 0, 1), "integer");
}

TEST_F(Grid, ControlsShareTheCurrentRowAndLeavingTheRowPostsIt)
{
    addItems({1, 2, 3});
    Dataset& data = items();
    auto& grid = add<DataGrid>(data);
    grid.setColumns(questionColumns());
    auto& caption = add<DataLineEdit>(data, "caption");
    data.open();
    show();
    EXPECT_EQ(caption.text(), "question 1");

    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(grid.model()->index(2, 1)).center());
    EXPECT_EQ(data.currentIndex(), 2);
    EXPECT_EQ(caption.text(), "question 3");

    caption.selectAll();
    type(caption, "typed below");
    EXPECT_EQ(data.state(), DatasetState::Edit);
    EXPECT_EQ(shown(grid, 2, 1), "typed below");
    EXPECT_EQ(read("select caption from items where id = 3;").toString(), "question 3");

    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(grid.model()->index(0, 1)).center());
    EXPECT_EQ(data.state(), DatasetState::Browse);
    EXPECT_EQ(data.currentIndex(), 0);
    EXPECT_EQ(grid.currentIndex().row(), 0);
    EXPECT_EQ(caption.text(), "question 1");
    EXPECT_EQ(read("select caption from items where id = 3;").toString(), "typed below");
}

TEST_F(Grid, RefreshKeepsTheCurrentRowWhenOtherRowsMoveIt)
{
    addItems({2, 4, 6});
    Dataset& data = items();
    auto& grid = add<DataGrid>(data);
    grid.setColumns(questionColumns());
    auto& navigator = add<Navigator>(data);
    data.open();
    show();
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(grid.model()->index(1, 1)).center());
    ASSERT_EQ(data.value("id").toInt(), 4);

    addItems({1, 3});
    click(navigator, NavigatorButton::Refresh);
    EXPECT_EQ(data.rowCount(), 5);
    EXPECT_EQ(data.value("id").toInt(), 4);
    EXPECT_EQ(grid.currentIndex().row(), 3);

    // The current row deleted elsewhere: the row now at its place becomes current.
    connection.execute("delete from items where id = 4;");
    click(navigator, NavigatorButton::Refresh);
    EXPECT_EQ(data.rowCount(), 4);
    EXPECT_EQ(data.value("id").toInt(), 6);
    EXPECT_EQ(grid.currentIndex().row(), 3);
}

TEST_F(Grid, InsertStartsARowBeforeTheCurrentOneWithTheCursorOnAColumnThatTakesTyping)
{
    addItems({1, 2});
    Dataset& data = items();
    auto& grid = add<DataGrid>(data);
    grid.setColumns(questionColumns());
    data.open();
    show();
    // On the read-only name of the second row, as a click there leaves it.
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(grid.model()->index(1, 0)).center());
    ASSERT_EQ(grid.currentIndex(), grid.model()->index(1, 0));

    QTest::keyClick(&grid, Qt::Key_Insert);
    ASSERT_EQ(data.state(), DatasetState::Insert);
    EXPECT_FALSE(data.isAppending());
    EXPECT_EQ(grid.currentIndex(), grid.model()->index(1, 1));
    data.setValue("id", 7);
    QTest::keyClicks(&grid, "n");
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, &grid) << "typing opened the caption's cell";
    QTest::keyClicks(editor, "ew");
    pressEnter(*editor);
    EXPECT_EQ(read("select caption from items where id = 7;").toString(), "new");

    // Shift+Insert is left to the edits (it pastes); a dataset that cannot be written,
    // or whose rule refuses the row, takes none.
    QTest::keyClick(&grid, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(data.state(), DatasetState::Browse);
    data.setBeforeInsert([] { return Verdict::abort(); });
    QTest::keyClick(&grid, Qt::Key_Insert);
    EXPECT_EQ(data.state(), DatasetState::Browse);
    data.setBeforeInsert({});
    data.setReadOnly(true);
    QTest::keyClick(&grid, Qt::Key_Insert);
    EXPECT_EQ(data.state(), DatasetState::Browse);
    EXPECT_EQ(read("select count(*) from items;").toInt(), 3);
    EXPECT_TRUE(notices.empty());
}

// A cell editor and the data-aware edit hold their text selected when they open or are
// clicked into, so the typed text takes the place of the value.
TEST_F(Grid, CellEditorsAndTheDataAwareEditTakeTypedTextInPlaceOfTheirValue)
{
    addItems({1});
    Dataset& data = items();
    auto& grid = add<DataGrid>(data);
    grid.setColumns(questionColumns());
    auto& edit = add<DataLineEdit>(data, QStringLiteral("caption"));
    data.open();
    show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const QPoint cell = grid.visualRect(grid.model()->index(0, 1)).center();
    const std::pair<const char*, std::function<void()>> openings[] = {
        {"double click", [&] {
             QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell);
             QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, cell);
         }},
        {"F2", [&] {
             QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell);
             QTest::keyClick(&grid, Qt::Key_F2);
         }},
        {"click into the edit", [&] { QTest::mouseClick(&edit, Qt::LeftButton, {}, QPoint(3, edit.height() / 2)); }},
    };
    int round = 0;
    for (const auto& [name, open] : openings) {
        SCOPED_TRACE(name);
        grid.setFocus();
        open();
        QWidget* typedInto = QApplication::focusWidget();
        ASSERT_TRUE(qobject_cast<QLineEdit*>(typedInto));
        const QString caption = QStringLiteral("caption %1").arg(++round);
        QTest::keyClicks(typedInto, caption);
        QTest::keyClick(typedInto, Qt::Key_Return);
        QCoreApplication::processEvents();
        if (data.isEditing())
            data.post();
        EXPECT_EQ(read("select caption from items where id = 1;").toString(), caption);
    }
}

}  // namespace
}  // namespace kelvo::dataaware::testing
