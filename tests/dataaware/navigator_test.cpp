// The navigator's buttons follow the dataset, and Ctrl + key on a grid or memo presses
// them.

#include "dataaware_fixture.h"

#include "dataaware/data_memo.h"
#include "dataaware/navigator_shortcuts.h"

#include <QKeySequence>

namespace kelvo::dataaware::testing {
namespace {

using Navigation = DataAwareTest;

QStringList enabledButtons(const Navigator& navigator)
{
    QStringList names;
    for (const auto* button : navigator.findChildren<QToolButton*>())
        if (button->isEnabled() && button->isVisible())
            names << button->accessibleName();
    return names;
}

TEST_F(Navigation, ButtonsAreNamedAndFollowTheState)
{
    addItems({1, 2, 3});
    Dataset& data = items();
    auto& navigator = add<Navigator>(data);
    show();
    EXPECT_EQ(enabledButtons(navigator), QStringList {}) << "nothing to do before the dataset opens";

    data.open();
    EXPECT_EQ(enabledButtons(navigator), QStringList({"Next", "Last", "Insert", "Delete", "Edit", "Refresh"}));
    click(navigator, NavigatorButton::Last);
    EXPECT_EQ(enabledButtons(navigator), QStringList({"First", "Prior", "Insert", "Delete", "Edit", "Refresh"}));
    click(navigator, NavigatorButton::Edit);
    EXPECT_EQ(enabledButtons(navigator),
              QStringList({"First", "Prior", "Insert", "Delete", "Post", "Cancel", "Refresh"}));
    click(navigator, NavigatorButton::Cancel);

    // A read-only dataset (a result table) only moves and refreshes.
    data.setReadOnly(true);
    EXPECT_EQ(enabledButtons(navigator), QStringList({"First", "Prior", "Refresh"}));
    data.setReadOnly(false);
    navigator.setVisibleButtons(NavigatorButton::First | NavigatorButton::Prior | NavigatorButton::Next
                                | NavigatorButton::Last | NavigatorButton::Delete | NavigatorButton::Refresh);
    EXPECT_EQ(enabledButtons(navigator), QStringList({"First", "Prior", "Delete", "Refresh"}));
    EXPECT_EQ(navigator.button(NavigatorButton::Post)->toolTip(), "Post edit");
}

TEST_F(Navigation, CtrlKeysOnTheGridAndTheMemoPressTheButtons)
{
    addItems({1, 2, 3, 4, 5});
    Dataset& data = items();
    auto& grid = add<DataGrid>(data);
    grid.setColumns({GridColumn::numberedName("id", "Name", "item"), GridColumn::editable("caption", "Caption")});
    auto& memo = add<DataMemo>(data, "caption");
    auto& navigator = add<Navigator>(data);
    NavigatorShortcuts gridKeys(grid, navigator);
    NavigatorShortcuts memoKeys(memo, navigator);
    data.open();
    show();

    struct Step {
        QWidget* target;
        Qt::Key key;
        int row;  // current row afterwards
        DatasetState state;  // state afterwards
        int rows;  // rows in the file afterwards
    };
    const Step steps[] = {
        {&grid, Qt::Key_End, 4, DatasetState::Browse, 5},
        {&grid, Qt::Key_PageUp, 3, DatasetState::Browse, 5},
        {&grid, Qt::Key_Home, 0, DatasetState::Browse, 5},
        {&grid, Qt::Key_PageDown, 1, DatasetState::Browse, 5},
        {&grid, Qt::Key_S, 1, DatasetState::Browse, 5},  // nothing to post: a beep
        {&grid, Qt::Key_E, 1, DatasetState::Edit, 5},
        {&grid, Qt::Key_C, 1, DatasetState::Browse, 5},
        {&grid, Qt::Key_Insert, 1, DatasetState::Insert, 5},
        {&memo, Qt::Key_C, 1, DatasetState::Browse, 5},
        {&memo, Qt::Key_End, 4, DatasetState::Browse, 5},
        {&memo, Qt::Key_Delete, 3, DatasetState::Browse, 4},  // the last row gone
        {&memo, Qt::Key_R, 3, DatasetState::Browse, 4},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(QKeySequence(step.key).toString().toStdString());
        QTest::keyClick(step.target, step.key, Qt::ControlModifier);
        EXPECT_EQ(data.currentIndex(), step.row);
        EXPECT_EQ(grid.currentIndex().row(), step.row);
        EXPECT_EQ(data.state(), step.state);
        EXPECT_EQ(read("select count(*) from items;").toInt(), step.rows);
        // A Ctrl key never opens a cell as a typed letter does.
        for (const QLineEdit* cell : grid.viewport()->findChildren<QLineEdit*>())
            EXPECT_FALSE(cell->isVisible());
    }

    // Typed in the memo, posted by Ctrl+S.
    QTest::keyClick(&grid, Qt::Key_Home, Qt::ControlModifier);
    memo.moveCursor(QTextCursor::End);
    type(memo, " and more");
    EXPECT_EQ(data.state(), DatasetState::Edit);
    QTest::keyClick(&memo, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(data.state(), DatasetState::Browse);
    EXPECT_EQ(read("select caption from items where id = 1;").toString(), "question 1 and more");
}

TEST_F(Navigation, WindowMayTakeAKeyAndHiddenButtonsAreNotPressed)
{
    addItems({1, 2});
    Dataset& data = items();
    auto& grid = add<DataGrid>(data);
    auto& navigator = add<Navigator>(data);
    // The captions window: no Insert or Delete.
    navigator.setVisibleButtons(NavigatorButton::First | NavigatorButton::Prior | NavigatorButton::Next
                                | NavigatorButton::Last | NavigatorButton::Edit | NavigatorButton::Post
                                | NavigatorButton::Cancel | NavigatorButton::Refresh);
    NavigatorShortcuts keys(grid, navigator);
    int editorOpened = 0;
    keys.setKeyAction(Qt::Key_E, [&] { ++editorOpened; });
    data.open();
    show();

    QTest::keyClick(&grid, Qt::Key_Insert, Qt::ControlModifier);
    QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(data.state(), DatasetState::Browse);
    EXPECT_EQ(read("select count(*) from items;").toInt(), 2);
    QTest::keyClick(&grid, Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(editorOpened, 1);
    EXPECT_EQ(data.state(), DatasetState::Browse);
}

}  // namespace
}  // namespace kelvo::dataaware::testing
