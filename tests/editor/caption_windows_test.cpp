// The questions editor and the editable-captions window: what is typed is stored in the
// test, the keys move as the editor's grids do, and the captions window neither adds nor
// deletes questions.
#include "dataaware/data_memo.h"
#include "dataaware/navigator.h"
#include "editor/editor_window.h"
#include "tests/editor/question_tools_fixture.h"

#include <QLabel>
#include <QTabWidget>
#include <QToolButton>

using namespace kelvo;
using kelvo::testing::answerModal;
using kelvo::testing::QuestionToolsFixture;

namespace {

class CaptionWindows : public QuestionToolsFixture {
protected:
    void SetUp() override
    {
        QuestionToolsFixture::SetUp();
        AddQuestions(3, 2);
    }

    static QString Caption(int id)
    {
        return SelectToVariant(QStringLiteral("select caption from items where id = %1;").arg(id)).text(0, 0);
    }
    static QString EditCaption(int id)
    {
        return SelectToVariant(QStringLiteral("select editcap from items where id = %1;").arg(id)).text(0, 0);
    }
};

TEST_F(CaptionWindows, QuestionsEditorStoresTheCaptionTypedAndCountsAsItMoves)
{
    Form3->resize(1000, 700);
    Form3->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form3));
    Form3->PageControl->setCurrentWidget(Form3->Sheet8);
    Form3->PageControl->setCurrentWidget(Form3->Sheet1);
    dataaware::DataGrid& grid = *Form3->dbg;
    const QModelIndex third = grid.model()->index(2, 1);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(third).center());

    QStringList counts;
    bool shown = false;
    answerModal<TForm8>([&](TForm8* window) {
        shown = true;
        EXPECT_EQ(window->windowTitle(), "Questions editor");
        const auto panels = [window] { return window->panels[0]->text() + " / " + window->panels[1]->text(); };
        counts << panels();
        EXPECT_EQ(window->memo->toPlainText(), "question 3");
        QTest::keyClick(window->memo, Qt::Key_PageUp, Qt::ControlModifier);
        counts << panels();
        EXPECT_EQ(window->memo->toPlainText(), "question 2");
        // Ctrl+S without an edit posts nothing.
        QTest::keyClick(window->memo, Qt::Key_S, Qt::ControlModifier);
        EXPECT_EQ(Form3->qitems->state(), dataaware::DatasetState::Browse);
        QTest::keyClick(window->memo, Qt::Key_E, Qt::ControlModifier);
        window->memo->selectAll();
        QTest::keyClicks(window->memo, "Which colour's best?");
        QTest::keyClick(window->memo, Qt::Key_S, Qt::ControlModifier);
        EXPECT_EQ(Form3->qitems->state(), dataaware::DatasetState::Browse);
        QTest::mouseClick(window->nav->button(dataaware::NavigatorButton::First), Qt::LeftButton);
        counts << panels();
        QTest::keyClick(window->memo, Qt::Key_End, Qt::ControlModifier);
        counts << panels();
        QTest::keyClick(window->memo, Qt::Key_Escape);
        EXPECT_TRUE(QTest::qWaitFor([window] { return !window->isVisible(); }, 1000));
    });
    QTest::keyClick(&grid, Qt::Key_E, Qt::ControlModifier);

    ASSERT_TRUE(shown);
    EXPECT_EQ(counts, QStringList({"Record count: 3 / Total record count: 3", "Record count: 2 / Total record count: 3",
                                   "Record count: 1 / Total record count: 3",
                                   "Record count: 3 / Total record count: 3"}));
    EXPECT_EQ(Caption(2), "Which colour's best?");
    EXPECT_EQ(Caption(1), "question 1");
    // The Questions page shows what was typed.
    EXPECT_EQ(grid.model()->index(1, 1).data().toString(), "Which colour's best?");
    EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
}

TEST_F(CaptionWindows, CaptionsWindowEditsTypedAnswerCaptionsOnly)
{
    bool shown = false;
    answerModal<TForm10>([&](TForm10* window) {
        shown = true;
        EXPECT_EQ(window->windowTitle(), "Editable captions");
        dataaware::DataGrid& grid = *window->dbg;
        ASSERT_EQ(grid.model()->rowCount(), 3);
        EXPECT_EQ(grid.model()->index(2, 0).data().toString(), "item3");
        EXPECT_FALSE(grid.model()->flags(grid.model()->index(2, 0)) & Qt::ItemIsEditable);

        TypeCell(grid, 1, 1, QStringLiteral("Other: '%' \"x\""));
        EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();

        // Too long a caption is refused and stays on the screen to be corrected.
        TypeCell(grid, 2, 1, QString(256, u'x'));
        EXPECT_EQ(script.lastText(),
                  "The maximum permitted length for editable answer Caption is 255 characters!\r\n\r\nOperation "
                  "aborted..");
        EXPECT_EQ(window->qitems->state(), dataaware::DatasetState::Edit);
        QTest::keyClick(&grid, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(window->qitems->state(), dataaware::DatasetState::Browse);
        TypeCell(grid, 2, 1, QString(255, u'y'));

        // No key and no button adds or deletes a question.
        script.clear();
        for (const auto button : {dataaware::NavigatorButton::Insert, dataaware::NavigatorButton::Delete})
            EXPECT_FALSE(window->nav->button(button)->isVisibleTo(window->nav));
        QTest::keyClick(&grid, Qt::Key_Insert, Qt::ControlModifier);
        QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
        EXPECT_EQ(window->qitems->state(), dataaware::DatasetState::Browse);
        EXPECT_TRUE(script.shown().empty()) << script.lastText().toStdString();
        EXPECT_FALSE(window->qitems->insert());
        EXPECT_FALSE(window->qitems->remove());
        EXPECT_EQ(script.texts(), QStringList({"This operation is not allowed!"}));
        window->reject();
    });
    ShowCaptionsEditor();

    ASSERT_TRUE(shown);
    EXPECT_EQ(Column("select id from items order by id;"), QStringList({"1", "2", "3"}));
    EXPECT_EQ(EditCaption(1), "");
    EXPECT_EQ(EditCaption(2), "Other: '%' \"x\"");
    EXPECT_EQ(EditCaption(3), QString(255, u'y'));
    EXPECT_EQ(Count("answers"), 6);
}

TEST_F(CaptionWindows, CaptionsWindowFollowsTheTestOpenedAfterIt)
{
    answerModal<TForm10>([](TForm10* window) { window->reject(); });
    ShowCaptionsEditor();
    ASSERT_EQ(Form10->qitems->recordCount(), 3);

    NewTest(QStringLiteral("second.mdb"));
    // The editor rebinds the window with its own datasets: the new test's one sample question.
    EXPECT_EQ(Form10->qitems->recordCount(), 1);
}

}  // namespace
