// A new row in every grid of the editor, started the three ways an author has: the
// Insert key, Ctrl+Insert and the navigator's Insert button. The keys go where a
// keyboard sends them (to the widget that has the focus), and what the file holds is
// read back afterwards. Grids over fixed rows take no new row by any of them, and Enter
// on a grid stays the grid's key.
#include "tests/editor/pages_fixture.h"

#include "dataaware/data_line_edit.h"
#include "editor/captions_editor_window.h"
#include "editor/page_controls.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTimer>

namespace kelvo::testing {
namespace {


enum class InsertWay { InsertKey, CtrlInsert, NavigatorButton };

const char* NameOf(InsertWay way)
{
    switch (way) {
    case InsertWay::InsertKey: return "Insert";
    case InsertWay::CtrlInsert: return "Ctrl+Insert";
    case InsertWay::NavigatorButton: return "navigator";
    }
    return "";
}

// Types the new row's text into the cell the grid offers and posts it with Enter.
void TypeIntoGrid(const QString& text)
{
    TypeToFocus(text);
    KeyToFocus(Qt::Key_Return);
}

// An account is typed into the edits under the grid and posted with the navigator.
void TypeAccount(const QString& name)
{
    QTest::mouseClick(Form3->DBEdit1, Qt::LeftButton);
    TypeToFocus(name);
    QTest::mouseClick(Form3->DBEdit2, Qt::LeftButton);
    TypeToFocus(QStringLiteral("pw"));
    QTest::mouseClick(Form3->nav6->button(NavigatorButton::Post), Qt::LeftButton);
}

struct GridCase {
    const char* name;
    QWidget* TForm3::*sheet;
    DataGrid* TForm3::*grid;
    // Null for a grid without a navigator.
    dataaware::Navigator* TForm3::*navigator;
    // The rows of the grid's table, and what the new rows are found by: their text and
    // what the table's rules gave them beside it.
    const char* countSql;
    const char* textSql;
    const char* given;
    // How the new row gets its text; null where the grid's rows are fixed.
    void (*fill)(const QString& text);
};

const GridCase kGrids[] = {
    {"questions", &TForm3::Sheet1, &TForm3::dbg, &TForm3::nav, "select count(*) from items;",
     "select caption from items where id > 1 order by caption;", "", TypeIntoGrid},
    {"answers", &TForm3::Sheet2, &TForm3::dbg1, &TForm3::nav1, "select count(*) from answers;",
     "select caption from answers where caption like 'by %' order by caption;", "", TypeIntoGrid},
    {"data fields", &TForm3::Sheet5, &TForm3::dbg4, &TForm3::nav4, "select count(*) from userf;",
     "select caption, ftype from userf order by caption;", "|string", TypeIntoGrid},
    {"variables", &TForm3::Sheet3, &TForm3::dbg2, &TForm3::nav2, "select count(*) from variables;",
     "select caption, cumul from variables order by caption;", "|true", TypeIntoGrid},
    {"accounts", &TForm3::Sheet9, &TForm3::dbg6, &TForm3::nav6, "select count(*) from users;",
     "select usr, per1 from users where per0 = 0 order by usr;", "|true", TypeAccount},
    {"keyboard", &TForm3::Sheet6, &TForm3::dbg7, nullptr, "select count(*) from keyb;", nullptr, nullptr, nullptr},
    {"language", &TForm3::Sheet7, &TForm3::dbg5, nullptr, "select count(*) from testd;", nullptr, nullptr, nullptr},
};

class GridInsertKeys : public PagesFixture {
protected:
    void SetUp() override
    {
        PagesFixture::SetUp();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form3));
        // The keyboard page is open only while the keyboard is on.
        ShowPage(Form3->Sheet8);
        if (!Form3->chKeyBoard->isChecked())
            ClickBox(Form3->chKeyBoard);
        ASSERT_TRUE(Form3->Sheet6->isEnabled());
    }

    // Shows the grid's page and gives the grid the focus as the author does, with a
    // click on the first row's first cell (or into the empty grid).
    void FocusGrid(const GridCase& c)
    {
        ShowPage(Form3->*c.sheet);
        // The Answers page reads its tree under the wait window, which takes the focus.
        Form3->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form3));
        DataGrid& grid = *(Form3->*c.grid);
        if (grid.model()->rowCount() > 0)
            ClickCell(grid, 0, 0);
        else
            QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, QPoint(10, 10));
        ASSERT_EQ(QApplication::focusWidget(), &grid);
    }

    WindowInstance<TForm10> form10{Form10};
};

TEST_F(GridInsertKeys, EveryEditableGridTakesANewRowByEachInsertKeyAndItsNavigator)
{
    for (const GridCase& c : kGrids) {
        SCOPED_TRACE(c.name);
        DataGrid& grid = *(Form3->*c.grid);
        const int before = CountOf(QString::fromLatin1(c.countSql), {});
        QStringList typed;
        for (const InsertWay way : {InsertWay::InsertKey, InsertWay::CtrlInsert, InsertWay::NavigatorButton}) {
            SCOPED_TRACE(NameOf(way));
            if (way == InsertWay::NavigatorButton && !c.navigator)
                continue;
            FocusGrid(c);
            switch (way) {
            case InsertWay::InsertKey: KeyToFocus(Qt::Key_Insert); break;
            case InsertWay::CtrlInsert: KeyToFocus(Qt::Key_Insert, Qt::ControlModifier); break;
            case InsertWay::NavigatorButton:
                QTest::mouseClick((Form3->*c.navigator)->button(NavigatorButton::Insert), Qt::LeftButton);
                break;
            }
            if (!c.fill) {
                EXPECT_EQ(grid.dataset().state(), DatasetState::Browse) << "fixed rows take no new one";
                continue;
            }
            ASSERT_EQ(grid.dataset().state(), DatasetState::Insert);
            const QString text = QStringLiteral("by %1").arg(way == InsertWay::InsertKey    ? "insert key"
                                                              : way == InsertWay::CtrlInsert ? "ctrl insert"
                                                                                             : "navigator");
            c.fill(text);
            EXPECT_EQ(grid.dataset().state(), DatasetState::Browse);
            typed << text;
        }
        EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").toStdString();
        script.clear();
        EXPECT_EQ(CountOf(QString::fromLatin1(c.countSql), {}), before + typed.size());
        if (c.textSql) {
            typed.sort();
            QStringList expected;
            for (const QString& text : typed)
                expected << text + QLatin1String(c.given);
            EXPECT_EQ(FileHolds(QString::fromLatin1(c.textSql)), expected.join(QStringLiteral("; ")));
        }
    }
}

TEST_F(GridInsertKeys, TheEditableCaptionsWindowTakesNoRowByTheInsertKeys)
{
    ShowPage(Form3->Sheet8);
    bool shown = false;
    answerModal<TForm10>([&](TForm10* window) {
        shown = true;
        QTest::mouseClick(window->dbg->viewport(), Qt::LeftButton, {},
                          window->dbg->visualRect(window->dbg->model()->index(0, 1)).center());
        KeyToFocus(Qt::Key_Insert);
        EXPECT_EQ(window->qitems->state(), DatasetState::Browse);
        KeyToFocus(Qt::Key_Insert, Qt::ControlModifier);
        EXPECT_EQ(window->qitems->state(), DatasetState::Browse);
        EXPECT_EQ(window->dbg->model()->rowCount(), 1);
        window->close();
    });
    QTest::mouseClick(Form3->editcap, Qt::LeftButton);
    EXPECT_TRUE(shown);
    EXPECT_EQ(FileHolds("select count(*) from items;"), "1");
}

// Enter on a grid that is not being edited is the grid's own key: it never presses a
// button of the editor window (a dialog, whose default button Enter would press).
TEST_F(GridInsertKeys, EnterOnAGridPressesNoButtonOfTheWindow)
{
    QStringList pressed;
    for (QPushButton* button : Form3->findChildren<QPushButton*>())
        QObject::connect(button, &QPushButton::clicked, [&pressed, button] { pressed << button->objectName(); });
    // A window a pressed button opens is closed again and named.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&pressed] {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != Form3) {
            pressed << QString::fromLatin1(modal->metaObject()->className());
            modal->close();
        }
    });
    closer.start(5);
    for (const GridCase& c : kGrids) {
        SCOPED_TRACE(c.name);
        FocusGrid(c);
        DataGrid& grid = *(Form3->*c.grid);
        KeyToFocus(Qt::Key_Return);
        EXPECT_TRUE(pressed.isEmpty()) << pressed.join(", ").toStdString();
        EXPECT_TRUE(grid.isVisible());
        EXPECT_TRUE(script.texts().isEmpty()) << script.texts().join(" | ").toStdString();
        pressed.clear();
        script.clear();
    }
}

}  // namespace
}  // namespace kelvo::testing
