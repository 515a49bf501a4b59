// The formula builder and its defaults dialog driven through their trees, buttons and
// edits on a test made by the program; the formulas are read back from the file.
#include "data/variable_computation.h"
#include "dataaware/data_grid.h"
#include "dataaware/data_memo.h"
#include "dataaware/dataset.h"
#include "editor/formula_defaults_window.h"
#include "tests/editor/formula_windows_fixture.h"
#include "tests/support/table_dump.h"
#include "tests/support/modal_answer.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>

#include <cmath>
#include <memory>

using namespace kelvo;

namespace {

class FormulaBuilder : public kelvo::testing::FormulaWindowsFixture {
protected:
    void SetUp() override
    {
        FormulaWindowsFixture::SetUp();
        AddQuestions(7, 3);
        // Question 8 has no answers.
        ExecSQL(QStringLiteral("insert into items (id, caption) values (8, 'no answers');"));
        AddVariables(2);
    }

    void Open(int variable = 1)
    {
        gBuilderVariableId = variable;
        Form5->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form5));
    }

    void Reopen()
    {
        Form5->hide();
        Form5->show();
    }

    static QTreeWidgetItem* Question(int id)
    {
        const QList<QTreeWidgetItem*> found = Form5->tree1->findItems(QStringLiteral("item%1").arg(id), Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.front();
    }

    // Answer `position` (from 1) of question `id`.
    static QTreeWidgetItem* Answer(int id, int position) { return Question(id)->child(position - 1); }

    static QTreeWidgetItem* FormulaNode(int k) { return Form5->tree2->topLevelItem(k); }

    // Clicks a node as the author does before dragging it.
    static void ClickNode(QTreeWidget* tree, QTreeWidgetItem* node)
    {
        if (node->parent())
            node->parent()->setExpanded(true);
        tree->scrollToItem(node);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(node).center());
    }

    // Where the mouse is over `target` in the formula tree, or over no node.
    static QPoint DropPoint(QTreeWidgetItem* target)
    {
        QTreeWidget* tree = Form5->tree2;
        return target ? tree->visualItemRect(target).center() : QPoint(5, tree->viewport()->height() - 3);
    }

    // Drags what `data` carries over the formula tree and drops it there when the tree
    // accepts it; tells whether it did.
    static bool DropData(std::unique_ptr<QMimeData> data, QTreeWidgetItem* target)
    {
        QWidget* viewport = Form5->tree2->viewport();
        const QPoint at = DropPoint(target);
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &move);
        if (!move.isAccepted())
            return false;
        QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &drop);
        // Nothing may be moved by the trees themselves.
        EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
        return true;
    }

    // Clicks `node` in `from` and drags it onto `target` of the formula tree.
    static bool Drag(BuilderTree* from, QTreeWidgetItem* node, QTreeWidgetItem* target = nullptr)
    {
        ClickNode(from, node);
        return DropData(std::unique_ptr<QMimeData>(from->dragData()), target);
    }

    static void SetValues(const QString& whenTrue, const QString& whenFalse)
    {
        Form5->editTrue->setText(whenTrue);
        Form5->editFalse->setText(whenFalse);
    }

    static QStringList TreeFormulas()
    {
        QStringList texts;
        for (int k = 0; k < Form5->tree2->topLevelItemCount(); ++k)
            texts << FormulaNode(k)->text(0);
        return texts;
    }

    static QString BuilderMessage() { return Form5->statusPanels[4]->text(); }
};

TEST_F(FormulaBuilder, DroppingAnAnswerStoresItsCondition)
{
    Open(2);
    EXPECT_EQ(Form5->windowTitle(), QStringLiteral("Variables formula definition"));
    EXPECT_EQ(Form5->statusPanels[1]->text(), QStringLiteral("var2"));
    const struct {
        const char* whenTrue;
        const char* whenFalse;
        const char* op;
        const char* formula;
    } cases[] = {
        {"1", "0", "=", "if(item5=2)"},   {"", "", "=", "if(item5=2)"},
        {"3", "0", "=", "if(item5=2,3)"}, {"1", "2", "=", "if(item5=2,1,2)"},
        {"3", "2", "=", "if(item5=2,3,2)"}, {" 3 ", "", "<>", "if(item5<>2,3)"},
        {"1", "0", ">=", "if(item5>=2)"},
    };
    QStringList expected;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.formula);
        SetValues(QString::fromLatin1(c.whenTrue), QString::fromLatin1(c.whenFalse));
        Form5->cOperator->setCurrentText(QString::fromLatin1(c.op));
        EXPECT_TRUE(Drag(Form5->tree1, Answer(5, 2)));
        expected << QString::fromLatin1(c.formula);
        EXPECT_EQ(StoredFormulas(2), expected);
        EXPECT_EQ(TreeFormulas(), expected);
        EXPECT_EQ(BuilderMessage(), QStringLiteral("Successfully creating new formula."));
    }
    EXPECT_EQ(Form5->statusPanels[3]->text(), QString::number(expected.size()));
    EXPECT_EQ(StoredFormulas(1), QStringList());
    // The question tree keeps every node.
    EXPECT_EQ(Form5->tree1->topLevelItemCount(), 8);
    EXPECT_EQ(Question(5)->childCount(), 3);
    EXPECT_EQ(script.texts(), QStringList());
}

TEST_F(FormulaBuilder, OrAndAppendConditionsToTheFormulaDroppedOn)
{
    AddFormula(1, QStringLiteral("sqrt(4)"));
    Open();
    SetValues(QStringLiteral("3"), QStringLiteral("0"));
    ASSERT_TRUE(Drag(Form5->tree1, Answer(5, 2)));
    ASSERT_EQ(StoredFormulas(1).value(1), QStringLiteral("if(item5=2,3)"));

    QTest::mouseClick(Form5->t_or, Qt::LeftButton);
    // The value edits do not apply to an appended condition.
    SetValues(QStringLiteral("7"), QStringLiteral("8"));
    EXPECT_TRUE(Drag(Form5->tree1, Answer(7, 1), FormulaNode(1)));
    EXPECT_EQ(StoredFormulas(1).value(1), QStringLiteral("if(if(item5=2)+if(item7=1)>0,3)"));
    EXPECT_EQ(FormulaNode(1)->text(0), QStringLiteral("if(if(item5=2)+if(item7=1)>0,3)"));
    EXPECT_EQ(BuilderMessage(), QStringLiteral("Operator successfully appended to existing formula"));

    // AND: the whole chain takes the newest operator.
    QTest::mouseClick(Form5->t_and, Qt::LeftButton);
    EXPECT_FALSE(Form5->t_or->isChecked());
    EXPECT_TRUE(Drag(Form5->tree1, Answer(4, 2), FormulaNode(1)));
    EXPECT_EQ(StoredFormulas(1).value(1), QStringLiteral("if(if(item5=2)*if(item7=1)*if(item4=2)>0,3)"));

    // A formula without a condition takes none.
    EXPECT_TRUE(Drag(Form5->tree1, Answer(1, 1), FormulaNode(0)));
    EXPECT_EQ(BuilderMessage(), QStringLiteral("Error in appending operand."));
    EXPECT_EQ(StoredFormulas(1).value(0), QStringLiteral("sqrt(4)"));

    // Dropped beside every formula, the answer makes a formula of its own.
    EXPECT_TRUE(Drag(Form5->tree1, Answer(3, 3)));
    EXPECT_EQ(StoredFormulas(1).value(2), QStringLiteral("if(item3=3,7,8)"));
    EXPECT_EQ(StoredFormulas(1).size(), 3);
}

TEST_F(FormulaBuilder, DroppingAFormulaOnAnotherExchangesTheirTexts)
{
    const int first = AddFormula(1, QStringLiteral("if(item1=1)"));
    const int second = AddFormula(1, QStringLiteral("if(item2=2)"));
    const int third = AddFormula(1, QStringLiteral("if(item3=3)"));
    Open();
    EXPECT_TRUE(Drag(Form5->tree2, FormulaNode(2), FormulaNode(0)));
    const RowSet rows = SelectToVariant(QStringLiteral("select autoid, formula from formula order by autoid;"));
    ASSERT_EQ(rows.rows(), 3);
    EXPECT_EQ(rows.integer(0, 0), first);
    EXPECT_EQ(rows.text(0, 1), QStringLiteral("if(item3=3)"));
    EXPECT_EQ(rows.integer(1, 0), second);
    EXPECT_EQ(rows.text(1, 1), QStringLiteral("if(item2=2)"));
    EXPECT_EQ(rows.integer(2, 0), third);
    EXPECT_EQ(rows.text(2, 1), QStringLiteral("if(item1=1)"));
    EXPECT_EQ(TreeFormulas(), StoredFormulas(1));
    EXPECT_EQ(script.texts(), QStringList());

    // A formula dropped on itself, or beside every formula, changes nothing.
    EXPECT_TRUE(Drag(Form5->tree2, FormulaNode(1), FormulaNode(1)));
    EXPECT_TRUE(Drag(Form5->tree2, FormulaNode(1)));
    EXPECT_EQ(StoredFormulas(1),
              QStringList({QStringLiteral("if(item3=3)"), QStringLiteral("if(item2=2)"), QStringLiteral("if(item1=1)")}));

    // The node stands for the row it was read from: the selection opens that row.
    ClickNode(Form5->tree2, FormulaNode(0));
    EXPECT_EQ(Form5->selectedFormulaAutoid(), first);
}

TEST_F(FormulaBuilder, BlankAnyAndEachBuildTheirConditionsForTheWholeQuestion)
{
    Form3->chMultipleAnswer->setChecked(true);
    Form3->chAllowNoAnswer->setChecked(true);
    Open();
    ASSERT_TRUE(Form5->tool6->isEnabled());
    ASSERT_TRUE(Form5->tool8->isEnabled());
    const struct {
        QToolButton* button;
        QTreeWidgetItem* node;
        const char* whenTrue;
        const char* formula;
    } cases[] = {
        {Form5->tool8, Question(5), "1", "if(if(item5=1)*if(item5=2)*if(item5=3)>0)"},
        {Form5->tool8, Answer(2, 3), "4", "if(if(item2=1)*if(item2=2)*if(item2=3)>0,4)"},
        {Form5->tool6, Question(6), "3", "if(item6=0,3)"},
        {Form5->tool7, Answer(1, 1), "1", "if(item1<>0)"},
    };
    QStringList expected;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.formula);
        if (!c.button->isChecked())
            QTest::mouseClick(c.button, Qt::LeftButton);
        SetValues(QString::fromLatin1(c.whenTrue), QStringLiteral("0"));
        EXPECT_TRUE(Drag(Form5->tree1, c.node));
        expected << QString::fromLatin1(c.formula);
        EXPECT_EQ(StoredFormulas(1), expected);
    }

    // A question without answers makes nothing.
    EXPECT_TRUE(Drag(Form5->tree1, Question(8)));
    EXPECT_EQ(BuilderMessage(), QStringLiteral("Error! Selected item (question) has no answers"));
    EXPECT_EQ(StoredFormulas(1), expected);
}

TEST_F(FormulaBuilder, BlankAndEachFollowWhatTheTestAllows)
{
    const struct {
        bool several;
        bool none;
    } cases[] = {{false, true}, {true, false}, {false, false}};
    Open();
    for (const auto& c : cases) {
        Form3->chMultipleAnswer->setChecked(c.several);
        Form3->chAllowNoAnswer->setChecked(c.none);
        Reopen();
        EXPECT_EQ(Form5->tool8->isEnabled(), c.several);
        EXPECT_EQ(Form5->tool6->isEnabled(), c.none);
    }
}

TEST_F(FormulaBuilder, TheFormulaTreeTakesOnlyWhatTheRulesAllow)
{
    Open();
    // Without BLANK, ANY or EACH only an answer is taken from the question tree.
    EXPECT_FALSE(Drag(Form5->tree1, Question(4)));
    EXPECT_TRUE(Drag(Form5->tree1, Answer(4, 1)));
    QTest::mouseClick(Form5->tool7, Qt::LeftButton);
    EXPECT_TRUE(Drag(Form5->tree1, Question(4)));
    EXPECT_EQ(StoredFormulas(1), QStringList({QStringLiteral("if(item4=1)"), QStringLiteral("if(item4<>0)")}));

    // Anything that does not come from one of the trees is refused.
    auto text = std::make_unique<QMimeData>();
    text->setText(QStringLiteral("if(item1=1)"));
    EXPECT_FALSE(DropData(std::move(text), nullptr));
    EXPECT_EQ(StoredFormulas(1).size(), 2);
}

TEST_F(FormulaBuilder, AFailedInsertIsReportedAsInternalError176)
{
    // The variable was deleted since the builder opened: its formula cannot be stored.
    Open(2);
    ExecSQL(QStringLiteral("delete from variables where id = 2;"));
    EXPECT_TRUE(Drag(Form5->tree1, Answer(3, 1)));
    EXPECT_EQ(script.lastText(),
              QStringLiteral("Internal error! Error code: 176.\r\n\r\nUnexpected error in inserting records (formula) into "
                             "database table!\r\n\r\nIf you get this error often use formula editor instead of creating "
                             "a formula with the mouse"));
    EXPECT_EQ(SelectToVariant(QStringLiteral("select count(*) from formula;")).integer(0, 0), 0);
    EXPECT_NE(BuilderMessage(), QStringLiteral("Successfully creating new formula."));
}

TEST_F(FormulaBuilder, AscAndDescValueTheAnswersByTheirPosition)
{
    ExecSQL(QStringLiteral("update testd set v = '1' where id = -17;"));
    ExecSQL(QStringLiteral("update testd set v = '0.5' where id = -18;"));
    Open();
    const struct {
        QToolButton* button;
        QStringList values;
    } cases[] = {
        {Form5->toolAsc, {QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")}},
        {Form5->toolDesc, {QStringLiteral("2"), QStringLiteral("1.5"), QStringLiteral("1")}},
    };
    for (const auto& c : cases) {
        QTest::mouseClick(c.button, Qt::LeftButton);
        QStringList values;
        for (int position = 1; position <= 3; ++position) {
            ClickNode(Form5->tree1, Answer(6, position));
            values << Form5->editTrue->text();
        }
        EXPECT_EQ(values, c.values);
    }
    // The value goes into the formula made by the drop.
    EXPECT_TRUE(Drag(Form5->tree1, Answer(6, 3)));
    EXPECT_EQ(StoredFormulas(1), QStringList({QStringLiteral("if(item6=3)")}));
    EXPECT_TRUE(Drag(Form5->tree1, Answer(6, 1)));
    EXPECT_EQ(StoredFormulas(1).value(1), QStringLiteral("if(item6=1,2)"));
}

TEST_F(FormulaBuilder, TheValueEditsTakeOnlyNumberKeys)
{
    Open();
    Form5->editTrue->clear();
    QTest::keyClicks(Form5->editTrue, QStringLiteral("a-1,5x.2"));
    EXPECT_EQ(Form5->editTrue->text(), QStringLiteral("-15.2"));
    QTest::keyClick(Form5->editTrue, Qt::Key_Backspace);
    EXPECT_EQ(Form5->editTrue->text(), QStringLiteral("-15."));

    // Ctrl+F and Ctrl+T go to the edits with their text selected.
    QTest::keyClick(Form5->tree2, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(Form5->focusWidget(), Form5->editFalse);
    EXPECT_EQ(Form5->editFalse->selectedText(), QStringLiteral("0"));
    QTest::keyClick(Form5->editFalse, Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(Form5->focusWidget(), Form5->editTrue);
    EXPECT_EQ(Form5->editTrue->selectedText(), QStringLiteral("-15."));
}

// Awkward values typed or pasted into the value edits: an answer dropped then stores
// its condition with exactly the value the edit holds, or is refused with a message in
// the status bar; nothing else in the file changes.
TEST_F(FormulaBuilder, AwkwardValuesAreStoredExactlyOrRefused)
{
    Open(2);
    struct Case {
        QString typed;
        bool paste;
        QString held;     // what the edit holds afterwards
        QString formula;  // empty: refused
    };
    const Case cases[] = {
        {"3'", false, "3", "if(item5=2,3)"},
        {"3'", true, "", "if(item5=2)"},  // a paste with anything but a number is not taken
        {"\"4\";", false, "4", "if(item5=2,4)"},
        {QString("5") + QChar(0), true, "", "if(item5=2)"},
        {"inf", true, "", "if(item5=2)"},
        {"NaN", false, "", "if(item5=2)"},
        {"1e400", false, "1400", "if(item5=2,1400)"},
        {"-0", false, "-0", "if(item5=2,-0)"},
        {"0.25", true, "0.25", "if(item5=2,0.25)"},
        {"1.2.3", false, "1.2.3", {}},
        {"--1", false, "--1", {}},
        {"1" + QString(400, QChar('0')), true, "1" + QString(400, QChar('0')), {}},
        {QString(100000, QChar('7')), true, QString(32767, QChar('7')), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.left(20).toStdString());
        SetValues(QString(), QString());
        Form5->editTrue->setFocus();
        if (c.paste) {
            QApplication::clipboard()->setText(c.typed);
            QTest::keyClick(Form5->editTrue, Qt::Key_Insert, Qt::ShiftModifier);
        } else {
            QTest::keyClicks(Form5->editTrue, c.typed);
        }
        EXPECT_EQ(Form5->editTrue->text(), c.held);
        const kelvo::testing::TableDump before = kelvo::testing::DumpTables();
        const QStringList formulasBefore = StoredFormulas(2);
        EXPECT_TRUE(Drag(Form5->tree1, Answer(5, 2)));
        if (c.formula.isEmpty()) {
            EXPECT_EQ(BuilderMessage(), "Error! Value if true and value if false must be numbers");
            EXPECT_EQ(kelvo::testing::DumpChanges(before, kelvo::testing::DumpTables()), QStringList());
            continue;
        }
        EXPECT_EQ(BuilderMessage(), QStringLiteral("Successfully creating new formula."));
        EXPECT_EQ(StoredFormulas(2), formulasBefore + QStringList{c.formula});
        QStringList changes = kelvo::testing::DumpChanges(before, kelvo::testing::DumpTables());
        changes.removeIf([](const QString& change) { return change.startsWith("formula/"); });
        EXPECT_EQ(changes, QStringList());
    }
    EXPECT_EQ(script.texts(), QStringList());
}

TEST_F(FormulaBuilder, CtrlKeysOnTheFormulaTreeOpenTheEditorAndDelete)
{
    AddFormula(1, QStringLiteral("if(item1=1)"));
    AddFormula(1, QStringLiteral("if(item2=1)"));
    Open();
    Form6->trialAnswerSeed = 3;

    // Ctrl+E opens the selected formula in edit state.
    ClickNode(Form5->tree2, FormulaNode(0));
    QString shownText;
    bool editing = false;
    kelvo::testing::answerModal<TForm6>([&](TForm6* editor) {
        shownText = editor->memo->toPlainText();
        editing = editor->Query->state() == dataaware::DatasetState::Edit;
        QTest::keyClick(editor->memo, Qt::Key_End);
        QTest::keyClicks(editor->memo, QStringLiteral("*2"));
        QTest::keyClick(editor->memo, Qt::Key_S, Qt::ControlModifier);
        editor->reject();
    });
    QTest::keyClick(Form5->tree2, Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(shownText, QStringLiteral("if(item1=1)"));
    EXPECT_TRUE(editing);
    EXPECT_EQ(TreeFormulas(), QStringList({QStringLiteral("if(item1=1)*2"), QStringLiteral("if(item2=1)")}));

    // Ctrl+Insert opens it on a new formula, also with nothing selected.
    Form5->tree2->clearSelection();
    kelvo::testing::answerModal<TForm6>([&](TForm6* editor) {
        editing = editor->Query->state() == dataaware::DatasetState::Insert;
        QTest::keyClicks(editor->memo, QStringLiteral("var1+1"));
        QTest::keyClick(editor->memo, Qt::Key_S, Qt::ControlModifier);
        editor->reject();
    });
    QTest::keyClick(Form5->tree2, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_TRUE(editing);
    EXPECT_EQ(StoredFormulas(1), QStringList({QStringLiteral("if(item1=1)*2"), QStringLiteral("if(item2=1)"),
                                              QStringLiteral("var1+1")}));
    EXPECT_EQ(TreeFormulas(), StoredFormulas(1));

    // Ctrl+Delete asks first; only Yes deletes.
    ClickNode(Form5->tree2, FormulaNode(1));
    script.answerQuestion(false);
    QTest::keyClick(Form5->tree2, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(script.lastText(), QStringLiteral("Delete formula: \r\n\r\nif(item2=1)"));
    EXPECT_EQ(StoredFormulas(1).size(), 3);
    script.answerQuestion(true);
    QTest::keyClick(Form5->tree2, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(StoredFormulas(1), QStringList({QStringLiteral("if(item1=1)*2"), QStringLiteral("var1+1")}));
    EXPECT_EQ(TreeFormulas(), StoredFormulas(1));
}

// The Variables page opens both windows for the variable of its current row.
TEST_F(FormulaBuilder, TheVariablesPageOpensBothWindowsForItsCurrentVariable)
{
    Form3->resize(1000, 700);
    Form3->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form3));
    Form3->PageControl->setCurrentWidget(Form3->Sheet8);
    Form3->PageControl->setCurrentWidget(Form3->Sheet3);
    const QModelIndex second = Form3->dbg2->model()->index(1, 0);
    QTest::mouseClick(Form3->dbg2->viewport(), Qt::LeftButton, {}, Form3->dbg2->visualRect(second).center());

    QString builderVariable;
    kelvo::testing::answerModal<TForm5>([&](TForm5* builder) {
        builderVariable = builder->statusPanels[1]->text();
        ClickNode(builder->tree1, Answer(4, 3));
        DropData(std::unique_ptr<QMimeData>(builder->tree1->dragData()), nullptr);
        builder->reject();
    });
    QTest::mouseClick(Form3->btnFormula, Qt::LeftButton);
    EXPECT_EQ(builderVariable, QStringLiteral("var2"));

    // The editor opens to browse, whatever mode the builder opened it in before.
    gFormulaEditorMode = kFormulaEditorInsert;
    Form6->show();
    Form6->reject();
    QString editorVariable;
    QString shownFormula;
    bool browsing = false;
    Form6->trialAnswerSeed = 2;
    kelvo::testing::answerModal<TForm6>([&](TForm6* editor) {
        editorVariable = editor->statusPanels[1]->text();
        shownFormula = editor->memo->toPlainText();
        browsing = editor->Query->state() == dataaware::DatasetState::Browse;
        editor->reject();
    });
    QTest::mouseClick(Form3->btnEditor, Qt::LeftButton);
    EXPECT_EQ(editorVariable, QStringLiteral("var2"));
    EXPECT_TRUE(browsing);
    EXPECT_EQ(shownFormula, QStringLiteral("if(item4=3)"));
    EXPECT_EQ(StoredFormulas(2), QStringList({QStringLiteral("if(item4=3)")}));
    EXPECT_EQ(script.texts(), QStringList());
}

// The defaults dialog opened from the builder's Values button and answered by `act`.
class FormulaDefaults : public FormulaBuilder {
protected:
    void ClickValues(std::function<void(TForm12*)> act)
    {
        bool shown = false;
        kelvo::testing::answerModal<TForm12>([&](TForm12* dialog) {
            shown = true;
            act(dialog);
        });
        QTest::mouseClick(Form5->toolValues, Qt::LeftButton);
        EXPECT_TRUE(shown);
    }

    static void Retype(QLineEdit* edit, const QString& text)
    {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

    static QStringList StoredDefaults()
    {
        QStringList values;
        for (int id = -15; id >= -18; --id)
            values << SelectToVariant(QStringLiteral("select v from testd where id = %1;").arg(id)).text(0, 0);
        return values;
    }
};

TEST_F(FormulaDefaults, SavedDefaultsAreStoredAndLoadedWhenTheBuilderOpens)
{
    EXPECT_EQ(StoredDefaults(), QStringList({QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("1"),
                                             QStringLiteral("1")}));
    Open();
    QStringList shownFirst;
    ClickValues([&](TForm12* dialog) {
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Set default values"));
        for (QLineEdit* edit : {dialog->editTrue, dialog->editFalse, dialog->editFirstAnswer, dialog->editStep})
            shownFirst << edit->text();
        Retype(dialog->editTrue, QStringLiteral("5"));
        Retype(dialog->editFalse, QStringLiteral("-1"));
        Retype(dialog->editFirstAnswer, QStringLiteral("2"));
        Retype(dialog->editStep, QStringLiteral("0.5"));
        QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
    });
    EXPECT_EQ(shownFirst, QStringList({QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("1"),
                                       QStringLiteral("1")}));
    EXPECT_EQ(StoredDefaults(), QStringList({QStringLiteral("5"), QStringLiteral("-1"), QStringLiteral("2"),
                                             QStringLiteral("0.5")}));
    EXPECT_EQ(Form5->editTrue->text(), QStringLiteral("5"));
    EXPECT_EQ(Form5->editFalse->text(), QStringLiteral("-1"));

    // The next opening reads them again, ASC takes the first value and the step.
    SetValues(QStringLiteral("1"), QStringLiteral("0"));
    Reopen();
    EXPECT_EQ(Form5->editTrue->text(), QStringLiteral("5"));
    EXPECT_EQ(Form5->editFalse->text(), QStringLiteral("-1"));
    QTest::mouseClick(Form5->toolAsc, Qt::LeftButton);
    ClickNode(Form5->tree1, Answer(2, 3));
    EXPECT_EQ(Form5->editTrue->text(), QStringLiteral("3"));
    EXPECT_TRUE(Drag(Form5->tree1, Answer(2, 3)));
    EXPECT_EQ(StoredFormulas(1), QStringList({QStringLiteral("if(item2=3,3,-1)")}));

    // And so does the dialog.
    QStringList shownAgain;
    ClickValues([&](TForm12* dialog) {
        for (QLineEdit* edit : {dialog->editTrue, dialog->editFalse, dialog->editFirstAnswer, dialog->editStep})
            shownAgain << edit->text();
        QTest::mouseClick(dialog->btnCancel, Qt::LeftButton);
    });
    EXPECT_EQ(shownAgain, StoredDefaults());
}

TEST_F(FormulaDefaults, InvalidOrCancelledDefaultsAreNeverStored)
{
    Open();
    // A value that is no number: No keeps the dialog open, Yes closes it without saving.
    bool stillOpen = false;
    ClickValues([&](TForm12* dialog) {
        Retype(dialog->editTrue, QStringLiteral("9"));
        Retype(dialog->editStep, QStringLiteral("1-"));
        script.answerQuestion(false);
        QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
        stillOpen = dialog->isVisible();
        script.answerQuestion(true);
        QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(script.lastText(), QStringLiteral("Settings are not correct!\r\n\r\nThey can't be saved to database!"
                                                "\r\n\r\nClose without save?"));
    const QStringList unchanged = {QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("1")};
    EXPECT_EQ(StoredDefaults(), unchanged);

    // Valid values, cancelled by the button or by Esc.
    for (const bool byEsc : {false, true}) {
        ClickValues([&](TForm12* dialog) {
            Retype(dialog->editTrue, QStringLiteral("9"));
            if (byEsc)
                QTest::keyClick(dialog, Qt::Key_Escape);
            else
                QTest::mouseClick(dialog->btnCancel, Qt::LeftButton);
        });
        EXPECT_EQ(StoredDefaults(), unchanged);
    }
    // Typing cannot put a quote into a statement.
    ClickValues([&](TForm12* dialog) {
        Retype(dialog->editFalse, QStringLiteral("2'; x"));
        EXPECT_EQ(dialog->editFalse->text(), QStringLiteral("2"));
        QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
    });
    EXPECT_EQ(StoredDefaults().value(1), QStringLiteral("2"));
}

// Every formula of this test is made with the builder and the editor; the test then
// locks cleanly and a run's answers give the values worked out by hand.
// Awkward values typed or pasted into the defaults: stored exactly as the edit holds
// them, or refused by the question that closes without saving.
TEST_F(FormulaDefaults, AwkwardDefaultsAreStoredExactlyOrRefused)
{
    Open();
    struct Case {
        QString typed;
        bool paste;
        QString stored;  // empty: refused
    };
    const Case cases[] = {
        {"-0", false, "-0"},
        {"1e400", false, "1400"},          // the letter is not taken
        {"0.5", true, "0.5"},
        {"2'; delete from testd; --", true, {}},  // a paste with anything else is not taken
        {"inf", true, {}},
        {QString("3") + QChar(0), true, {}},
        {"1" + QString(400, QChar('0')), true, {}},  // beyond the Double range
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.left(20).toStdString());
        const QStringList before = StoredDefaults();
        const kelvo::testing::TableDump dump = kelvo::testing::DumpTables();
        DialogScript answers;
        answers.answerQuestion(true);  // "Close without save?"
        ClickValues([&](TForm12* dialog) {
            dialog->editStep->selectAll();
            QTest::keyClick(dialog->editStep, Qt::Key_Delete);
            if (c.paste) {
                QApplication::clipboard()->setText(c.typed);
                QTest::keyClick(dialog->editStep, Qt::Key_Insert, Qt::ShiftModifier);
            } else {
                QTest::keyClicks(dialog->editStep, c.typed);
            }
            QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
        });
        if (c.stored.isEmpty()) {
            EXPECT_EQ(answers.lastText(), QStringLiteral("Settings are not correct!\r\n\r\nThey can't be saved to "
                                                         "database!\r\n\r\nClose without save?"));
            EXPECT_EQ(kelvo::testing::DumpChanges(dump, kelvo::testing::DumpTables()), QStringList());
            continue;
        }
        EXPECT_TRUE(answers.texts().isEmpty()) << answers.texts().join(" | ").toStdString();
        QStringList expected = before;
        expected[3] = c.stored;
        EXPECT_EQ(StoredDefaults(), expected);
    }
}

TEST_F(FormulaBuilder, FormulasMadeByTheWindowsLockAndComputeInARun)
{
    // Validation refuses a question without answers.
    ExecSQL(QStringLiteral("delete from items where id = 8;"));
    Form3->chMultipleAnswer->setChecked(true);
    Open(1);
    SetValues(QStringLiteral("3"), QStringLiteral("0"));
    ASSERT_TRUE(Drag(Form5->tree1, Answer(5, 2)));  // if(item5=2,3)
    QTest::mouseClick(Form5->t_or, Qt::LeftButton);
    ASSERT_TRUE(Drag(Form5->tree1, Answer(7, 1), FormulaNode(0)));  // if(if(item5=2)+if(item7=1)>0,3)
    QTest::mouseClick(Form5->t_or, Qt::LeftButton);
    QTest::mouseClick(Form5->tool8, Qt::LeftButton);
    SetValues(QStringLiteral("10"), QStringLiteral("1"));
    ASSERT_TRUE(Drag(Form5->tree1, Question(2)));  // if(if(item2=1)*if(item2=2)*if(item2=3)>0,10,1)
    Form5->hide();

    gFormulaVariableId = 2;
    gFormulaEditorMode = kFormulaEditorBrowse;
    Form6->trialAnswerSeed = 5;
    Form6->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form6));
    QTest::keyClick(Form6->memo, Qt::Key_Insert, Qt::ControlModifier);
    QTest::keyClicks(Form6->memo, QStringLiteral("Var1 * 2 + isum(1,3)"));
    QTest::keyClick(Form6->memo, Qt::Key_S, Qt::ControlModifier);
    Form6->reject();
    ASSERT_EQ(StoredFormulas(1),
              QStringList({QStringLiteral("if(if(item5=2)+if(item7=1)>0,3)"),
                           QStringLiteral("if(if(item2=1)*if(item2=2)*if(item2=3)>0,10,1)")}));
    ASSERT_EQ(StoredFormulas(2), QStringList({QStringLiteral("var1*2+isum(1,3)")}));
    EXPECT_EQ(script.texts(), QStringList());

    Form3->trialAnswerSeed = 11;
    EXPECT_TRUE(Form3->ValidateAndLock());
    EXPECT_EQ(SelectToVariant(QStringLiteral("select v from testd where id = 0;")).text(0, 0), QStringLiteral("true"));

    // Question 1: answer 2; question 2: all three; question 3: answer 3; question 5:
    // answer 1; question 7: answer 1; the others unanswered.
    const AnswerMatrix answers = {{0, 2, 0}, {1, 2, 3}, {0, 0, 3}, {0, 0, 0}, {1, 0, 0}, {0, 0, 0}, {1, 0, 0}};
    SetAnswerMatrix(answers);
    LogLineList log;
    const std::vector<VariableValue> values = ComputeVariables({}, false, log);
    EXPECT_EQ(log.lines, QStringList());
    ASSERT_EQ(values.size(), 2u);
    // var1 (cumulative, start 0): 3 (question 7, answer 1) + 10 (every answer of question 2).
    EXPECT_EQ(values[0].id, 1);
    EXPECT_DOUBLE_EQ(values[0].value, 13.0);
    // var2: 13 * 2 + (2 + (1 + 2 + 3) + 3).
    EXPECT_EQ(values[1].id, 2);
    EXPECT_DOUBLE_EQ(values[1].value, 37.0);
}

}  // namespace
