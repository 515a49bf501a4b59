// The question tools as the editor's pages open them: the Clone buttons open the clone
// window in their mode with the page's current question or variable as the parent.
#include "editor/clone_window.h"
#include "tests/editor/pages_fixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

using namespace kelvo;
using kelvo::testing::answerModal;

namespace {

class QuestionToolsPages : public kelvo::testing::PagesFixture {
protected:
    void SetUp() override
    {
        PagesFixture::SetUp();
        ExecSQL("delete from items;");
        for (int q = 1; q <= 3; ++q)
            ExecSQL(QStringLiteral("insert into items (id, caption) values (%1, 'q%1');").arg(q));
        for (const char* answer : {"Yes", "No"})
            ExecSQL(QStringLiteral("insert into answers (itemid, caption) values (2, '%1');").arg(answer));
        ExecSQL("insert into variables (id, caption) values (1, 'score');");
        ExecSQL("insert into variables (id, caption) values (2, 'other');");
    }

    static int NodeImage(int id)
    {
        const QList<QTreeWidgetItem*> found = Form3->tree->findItems(QStringLiteral("item%1").arg(id), Qt::MatchExactly);
        return found.size() == 1 ? found.front()->data(0, Qt::UserRole).toInt() : -1;
    }

    WindowInstance<TForm4> form4 {Form4};
};

TEST_F(QuestionToolsPages, AnswersClonedFromTheAnswersPageShowInItsTree)
{
    ShowPage(Form3->Sheet1);
    ShowPage(Form3->Sheet2);
    ClickQuestionNode(2);
    ASSERT_EQ(NodeImage(3), 0);
    bool shown = false;
    answerModal<TForm4>([&](TForm4* window) {
        shown = true;
        EXPECT_EQ(window->comboMain->currentIndex(), static_cast<int>(CloneMode::Answers));
        EXPECT_EQ(window->combo->currentText(), "item2");
        window->Edit1->setText("3");
        window->Edit2->setText("3");
        QTest::mouseClick(window->btnRange, Qt::LeftButton);
        script.answerQuestion(true);
        QTest::mouseClick(window->btnClone, Qt::LeftButton);
        window->reject();
    });
    QTest::mouseClick(Form3->btnClone, Qt::LeftButton);
    ASSERT_TRUE(shown);
    EXPECT_EQ(script.lastText(),
              "Cloning of the answers is successfully completed!\r\n\r\nRecords inserted: 2\r\n\r\nRecords deleted: 0");
    EXPECT_EQ(NodeImage(3), 1);
    EXPECT_EQ(FileHolds("select caption from answers where itemid = 3 order by id;"), "Yes; No");
}

TEST_F(QuestionToolsPages, TheCloneButtonsChooseTheirMode)
{
    ShowPage(Form3->Sheet3);
    dataaware::DataGrid& variables = *Form3->dbg2;
    ClickCell(variables, 1, 0);
    const std::pair<QWidget*, CloneMode> buttons[] = {{Form3->cloneItems, CloneMode::Questions},
                                                      {Form3->Speed1, CloneMode::Formulas}};
    for (const auto& [button, mode] : buttons) {
        int shownMode = -1;
        QString variable;
        answerModal<TForm4>([&](TForm4* window) {
            shownMode = window->comboMain->currentIndex();
            variable = window->combo2->currentText();
            window->reject();
        });
        static_cast<QPushButton*>(button)->click();
        EXPECT_EQ(shownMode, static_cast<int>(mode));
        // The variable chosen on the Variables page is the parent variable.
        EXPECT_EQ(variable, "var2");
    }
}

}  // namespace
