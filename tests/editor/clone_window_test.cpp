// The clone window: a block of numbered questions, the answers of one question copied
// to many, a variable's formulas of one question copied to many; each operation is one
// transaction, so a failure in the middle leaves the test as it was.
#include "tests/editor/question_tools_fixture.h"
#include "tests/support/table_dump.h"

#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableWidget>

using namespace kelvo;
using kelvo::testing::answerModal;
using kelvo::testing::QuestionToolsFixture;

namespace {

class CloneWindow : public QuestionToolsFixture {
protected:
    // Opens the window in `mode` and hands it to `act`, which ends by closing it.
    void WithWindow(CloneMode mode, const std::function<void(TForm4*)>& act)
    {
        bool shown = false;
        answerModal<TForm4>([&](TForm4* window) {
            shown = true;
            act(window);
            window->reject();
        });
        answersChanged = ShowCloneWindow(mode, nullptr, nullptr);
        EXPECT_TRUE(shown);
    }

    static void Type(QLineEdit* edit, const QString& text)
    {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }

    static void Choose(QComboBox* list, const QString& entry)
    {
        list->setCurrentIndex(list->findText(entry));
        ASSERT_EQ(list->currentText(), entry);
    }

    static void ClickCell(TForm4* window, int row, int column)
    {
        QTableWidget& grid = *window->grid;
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(grid.model()->index(row, column)).center());
    }

    static void SelectRange(TForm4* window, int start, int end)
    {
        Type(window->Edit1, QString::number(start));
        Type(window->Edit2, QString::number(end));
        QTest::mouseClick(window->btnRange, Qt::LeftButton);
    }

    // A statement on a connection of the test's own, bypassing the program: what a full
    // disk or a broken constraint would do at that moment.
    void FailWhen(const QString& triggerSql)
    {
        {
            QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
            raw.setDatabaseName(path);
            ASSERT_TRUE(raw.open());
            QSqlQuery query(raw);
            ASSERT_TRUE(query.exec(triggerSql)) << query.lastError().text().toStdString();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    }

    static QStringList Answers(int question)
    {
        return Column(QStringLiteral("select caption from answers where itemid = %1 order by id;").arg(question));
    }

    // Everything the clone operations write, to compare before and after a failure.
    static QStringList Everything()
    {
        return Column("select id & ':' & caption & ':' & editcap from items order by id;")
               + Column("select itemid & ':' & caption from answers order by id;")
               + Column("select id & ':' & caption from variables order by id;")
               + Column("select varid & ':' & formula from formula order by autoid;");
    }

    bool answersChanged = false;
};

TEST_F(CloneWindow, TwentyQuestionsThenTheAnswersAndFormulasOfTheFirst)
{
    int filledTables = 0;
    for (const char* table : {"items", "answers", "variables", "formula"})
        filledTables += Count(QLatin1String(table)) > 0 ? 1 : 0;
    ASSERT_GT(filledTables, 0);

    WithWindow(CloneMode::Questions, [&](TForm4* window) {
        EXPECT_EQ(window->windowTitle(), "Clone Modul");
        EXPECT_TRUE(window->gb1->isEnabled());
        EXPECT_FALSE(window->gb2->isEnabled());
        EXPECT_EQ(window->Edit3->text(), "Question");
        EXPECT_EQ(window->Edit4->text(), "100");
        Type(window->Edit3, QStringLiteral("  Question "));
        Type(window->Edit4, QStringLiteral("2x0"));  // only digits reach it
        EXPECT_EQ(window->Edit4->text(), "20");
        Type(window->Edit5, QStringLiteral("  Other: "));
        for (int i = 0; i <= filledTables; ++i)
            script.answerQuestion(true);
        QTest::mouseClick(window->btnClone, Qt::LeftButton);
        EXPECT_EQ(script.texts().size(), filledTables + 2) << script.texts().join(" | ").toStdString();
        EXPECT_EQ(script.texts()[filledTables], "Clone questions?\r\n\r\nContinue?");
        EXPECT_EQ(script.lastText(), "Successfully cloned 20 new questions to test!");
        EXPECT_TRUE(window->btnClone->isEnabled());
    });
    QStringList captions;
    for (int i = 1; i <= 20; ++i)
        captions << QStringLiteral("%1:Question %1:Other:").arg(i);
    EXPECT_EQ(Column("select id & ':' & caption & ':' & editcap from items order by id;"), captions);
    for (const char* table : {"answers", "variables", "formula"})
        EXPECT_EQ(Count(QLatin1String(table)), 0) << table;

    AddAnswers(1, 3);
    AddVariable(1);
    AddFormula(1, QStringLiteral("if(item1=3,1,0)"));
    AddFormula(1, QStringLiteral("if(item1=1,2,0)"));
    script.clear();

    WithWindow(CloneMode::Answers, [&](TForm4* window) {
        EXPECT_FALSE(window->gb1->isEnabled());
        EXPECT_TRUE(window->gb2->isEnabled());
        EXPECT_FALSE(window->combo2->isEnabled());
        ASSERT_EQ(window->grid->rowCount(), 2);
        ASSERT_EQ(window->grid->columnCount(), 10);
        EXPECT_EQ(window->grid->item(1, 9)->text(), "item20");
        Choose(window->combo, QStringLiteral("item1"));
        SelectRange(window, 2, 20);
        EXPECT_EQ(window->panels[1]->text(), "19");
        script.answerQuestion(true);
        QTest::mouseClick(window->btnClone, Qt::LeftButton);
        EXPECT_EQ(script.texts(),
                  QStringList({"Clone answers?\r\n\r\nContinue?",
                               "Cloning of the answers is successfully completed!\r\n\r\nRecords inserted: "
                               "57\r\n\r\nRecords deleted: 0"}));

        script.clear();
        window->comboMain->setCurrentIndex(static_cast<int>(CloneMode::Formulas));
        EXPECT_TRUE(window->combo2->isEnabled());
        EXPECT_EQ(window->combo2->currentText(), "var1");
        script.answerQuestion(true);
        QTest::mouseClick(window->btnClone, Qt::LeftButton);
        EXPECT_EQ(script.texts(),
                  QStringList({"Clone formula?\r\n\r\nContinue?",
                               "Cloning of the formula is successfully completed!\r\n\r\nRecords inserted: 38"}));
    });
    EXPECT_TRUE(answersChanged);

    QStringList formulas = {"if(item1=3,1,0)", "if(item1=1,2,0)"};
    for (int child = 2; child <= 20; ++child) {
        EXPECT_EQ(Answers(child), QStringList({"a1", "a2", "a3"})) << child;
        // Each child's copies in ascending text.
        formulas << QStringLiteral("if(item%1=1,2,0)").arg(child) << QStringLiteral("if(item%1=3,1,0)").arg(child);
    }
    EXPECT_EQ(Column("select formula from formula where varid = 1 order by autoid;"), formulas);
}

TEST_F(CloneWindow, ClonedAnswersReplaceTheChildrensAnswers)
{
    AddQuestions(3, 0);
    AddAnswers(1, 3);
    AddAnswers(2, 2);
    ExecSQL("update answers set caption = 'old' & id where itemid = 2;");
    const QStringList before = Everything();

    // Refused at the question about the answers that would go: nothing changes.
    WithWindow(CloneMode::Answers, [&](TForm4* window) {
        Choose(window->combo, QStringLiteral("item1"));
        SelectRange(window, 2, 3);
        script.answerQuestion(false);
        QTest::mouseClick(window->btnClone, Qt::LeftButton);
    });
    EXPECT_EQ(script.texts(), QStringList({"Starting to update (delete) 2 answers!\r\n\r\nContinue?",
                                           "Clone operation aborted!"}));
    EXPECT_FALSE(answersChanged);
    EXPECT_EQ(Everything(), before);

    script.clear();
    WithWindow(CloneMode::Answers, [&](TForm4* window) {
        Choose(window->combo, QStringLiteral("item1"));
        // Cells clicked one by one: item3 on, item2 on, item3 off and on again.
        for (const int column : {2, 1, 2, 2})
            ClickCell(window, 0, column);
        EXPECT_EQ(window->panels[1]->text(), "2");
        script.answerQuestion(true);
        script.answerQuestion(true);
        QTest::mouseClick(window->btnClone, Qt::LeftButton);
    });
    EXPECT_EQ(script.lastText(),
              "Cloning of the answers is successfully completed!\r\n\r\nRecords inserted: 6\r\n\r\nRecords deleted: 2");
    EXPECT_TRUE(answersChanged);
    EXPECT_EQ(Answers(2), QStringList({"a1", "a2", "a3"}));
    EXPECT_EQ(Answers(3), QStringList({"a1", "a2", "a3"}));
    EXPECT_EQ(Answers(1), QStringList({"a1", "a2", "a3"}));
}

TEST_F(CloneWindow, TheGridHoldsOneCellPerQuestionAndRangesStayWithinTheLargestId)
{
    ExecSQL(QStringLiteral("delete from items;"));
    for (const int id : {1, 2, 5})
        ExecSQL(QStringLiteral("insert into items (id, caption) values (%1, 'q%1');").arg(id));
    WithWindow(CloneMode::Answers, [&](TForm4* window) {
        ASSERT_EQ(window->grid->rowCount(), 1);
        ASSERT_EQ(window->grid->columnCount(), 3);
        EXPECT_EQ(window->grid->item(0, 2)->text(), "item5");
        SelectRange(window, 1, 5);
        EXPECT_EQ(window->panels[1]->text(), "3");
        EXPECT_EQ(window->grid->item(0, 1)->background().color(), QColor(Qt::red));
        SelectRange(window, 2, 2);
        EXPECT_EQ(window->panels[1]->text(), "1");
        EXPECT_EQ(window->grid->item(0, 0)->background().style(), Qt::NoBrush);
        for (const auto& [start, end] : {std::pair {1, 6}, std::pair {0, 2}, std::pair {3, 2}})
            SelectRange(window, start, end);
        Type(window->Edit1, QString());
        QTest::mouseClick(window->btnRange, Qt::LeftButton);
        Type(window->Edit1, QStringLiteral("1"));
        Type(window->Edit2, QStringLiteral("two"));
        QTest::mouseClick(window->btnRange, Qt::LeftButton);
        // The refused ranges leave the selection as it was.
        EXPECT_EQ(window->panels[1]->text(), "1");
    });
    EXPECT_EQ(script.texts(),
              QStringList({"Range start and Range end must be integer within the interval: 1..5",
                           "Range start and Range end must be integer within the interval: 1..5",
                           "If you want to clone Range end must be greater or equal then Range start!",
                           "Range start (or Range end) is set incorrectly!\r\n\r\nCorrect the mistake!",
                           "Range start (or Range end) is set incorrectly!\r\n\r\nCorrect the mistake!"}));
}

TEST_F(CloneWindow, RefusesWhatCannotBeCloned)
{
    AddQuestions(4, 0);
    AddAnswers(1, 3);
    AddAnswers(2, 2);
    AddVariable(1);
    AddVariable(2);
    AddFormula(1, QStringLiteral("if(item1=3,1,0)"));
    AddFormula(1, QStringLiteral("if(item4=1,1,0)"));
    const QStringList before = Everything();

    struct Case {
        const char* name;
        CloneMode mode;
        const char* parent;
        const char* variable;
        std::pair<int, int> range;
        QString message;
    };
    const Case cases[] = {
        {"no parent", CloneMode::Answers, "", "", {2, 3}, "You must define Parent question!\r\n\r\nClone operation aborted!"},
        {"empty parent", CloneMode::Answers, "item3", "", {1, 2},
         "Selected Parent question have 0 answers! You can't clone empty Question!"},
        {"no child", CloneMode::Answers, "item1", "", {0, 0},
         "If you would like to clone Parent question you have to select children questions on table (click on a cell "
         "in the table or select range)!"},
        {"parent as child", CloneMode::Answers, "item1", "", {1, 2},
         "You have chosen the same question as a parent and child (item1).\r\n\r\nIt is forbidden!"},
        {"variable without formulas", CloneMode::Formulas, "item1", "var2", {2, 3},
         "Selected Parent variable have no defined formula records!\r\n\r\nClone operation aborted!"},
        {"parent without formulas", CloneMode::Formulas, "item2", "var1", {3, 3},
         "Selected Parent question have 0 formula!\r\n\r\nAction is aborted.."},
        {"formula parent as child", CloneMode::Formulas, "item1", "var1", {1, 1},
         "You have chosen the same question as a parent and child (item1).\r\n\r\nIt is forbidden!"},
        // if(item1=3) needs three answers; question 2 has two.
        {"no overlap", CloneMode::Formulas, "item1", "var1", {2, 2},
         "Cloning formulas failed! Probably because there is no overlap of answers of parents and children!"},
    };
    for (const Case& c : cases) {
        script.clear();
        WithWindow(c.mode, [&](TForm4* window) {
            window->combo->setCurrentIndex(window->combo->findText(QLatin1String(c.parent)));
            if (*c.variable)
                Choose(window->combo2, QLatin1String(c.variable));
            if (c.range.first > 0)
                SelectRange(window, c.range.first, c.range.second);
            script.answerQuestion(true);
            QTest::mouseClick(window->btnClone, Qt::LeftButton);
        });
        EXPECT_EQ(script.lastText(), c.message) << c.name;
        EXPECT_EQ(Everything(), before) << c.name;
    }
}

TEST_F(CloneWindow, RefusesQuotesAndNumbersOutOfRangeForNewQuestions)
{
    const QStringList before = Everything();
    const std::pair<std::function<void(TForm4*)>, QString> cases[] = {
        {[](TForm4* w) { Type(w->Edit3, "Q'"); },
         "Forbidden character ' in field! Delete this character from field: \r\n\r\nQ'"},
        {[](TForm4* w) { Type(w->Edit5, "it's"); },
         "Forbidden character ' in field! Delete this character from field: \r\n\r\nit's"},
        {[](TForm4* w) { Type(w->Edit4, ""); }, "Number of questions is set incorrectly!\r\n\r\nCorrect the mistake!"},
        {[](TForm4* w) { Type(w->Edit4, "0"); },
         "Number of questions for cloning must be integer within the interval: 1..32767"},
        {[](TForm4* w) { Type(w->Edit4, "32768"); },
         "Number of questions for cloning must be integer within the interval: 1..32767"},
    };
    for (const auto& [prepare, message] : cases) {
        script.clear();
        WithWindow(CloneMode::Questions, [&](TForm4* window) {
            // The window keeps what was typed between its showings.
            Type(window->Edit3, "Question");
            Type(window->Edit4, "5");
            Type(window->Edit5, "");
            prepare(window);
            QTest::mouseClick(window->btnClone, Qt::LeftButton);
        });
        EXPECT_EQ(script.lastText().toStdString(), message.toStdString());
    }
    // No to the first question ends silently, No to the last one says so.
    script.clear();
    WithWindow(CloneMode::Questions, [&](TForm4* window) {
        Type(window->Edit5, "");
        script.answerQuestion(false);
        QTest::mouseClick(window->btnClone, Qt::LeftButton);
    });
    EXPECT_EQ(script.texts().size(), 1);
    EXPECT_EQ(Everything(), before);
}

TEST_F(CloneWindow, AFailureInTheMiddleLeavesTheTestAsItWas)
{
    AddQuestions(3, 0);
    AddAnswers(1, 3);
    AddAnswers(3, 1);
    AddVariable(1);
    AddFormula(1, QStringLiteral("if(item1=1,1,0)"));
    FailWhen(QStringLiteral("create trigger full_disk before insert on items when new.id = 10 "
                            "begin select raise(abort, 'database or disk is full'); end;"));
    FailWhen(QStringLiteral("create trigger broken before insert on answers when new.itemid = 3 "
                            "begin select raise(abort, 'constraint failed'); end;"));
    const QStringList before = Everything();

    WithWindow(CloneMode::Questions, [&](TForm4* window) {
        Type(window->Edit4, QStringLiteral("20"));
        for (int i = 0; i < 5; ++i)
            script.answerQuestion(true);
        QTest::mouseClick(window->btnClone, Qt::LeftButton);
    });
    ASSERT_GE(script.texts().size(), 2);
    EXPECT_TRUE(script.texts()[script.texts().size() - 2].contains("database or disk is full"));
    EXPECT_EQ(script.lastText(), "Clone operation aborted!");
    EXPECT_EQ(Everything(), before);

    // The answers of question 2 are replaced first; question 3 then fails.
    script.clear();
    WithWindow(CloneMode::Answers, [&](TForm4* window) {
        Choose(window->combo, QStringLiteral("item1"));
        SelectRange(window, 2, 3);
        script.answerQuestion(true);
        script.answerQuestion(true);
        QTest::mouseClick(window->btnClone, Qt::LeftButton);
        EXPECT_TRUE(window->btnClone->isEnabled());
    });
    EXPECT_TRUE(script.texts()[script.texts().size() - 2].contains("constraint failed"));
    EXPECT_EQ(script.lastText(), "Clone operation aborted!");
    EXPECT_FALSE(answersChanged);
    EXPECT_EQ(Everything(), before);
}

TEST_F(CloneWindow, ATestWithoutQuestionsHasNothingToClone)
{
    ExecSQL(QStringLiteral("delete from items;"));
    EXPECT_FALSE(ShowCloneWindow(CloneMode::Answers, nullptr, nullptr));
    EXPECT_EQ(script.texts(),
              QStringList({"You must have written at least one question in the test to be able to achieve the "
                           "desired action!"}));
}

// Awkward texts typed (or pasted: a NUL, very long texts) into the captions of new
// questions: the questions hold exactly what the edits held, or the clone is refused
// with a message and the test stays as it was.
TEST_F(CloneWindow, AwkwardCaptionsOfNewQuestionsAreStoredExactlyOrRefused)
{
    const QString nul = QString("Q") + QChar(0) + "x";
    const QString veryLong(100000, QChar(u'\u20ac'));
    struct Case {
        QString root;
        QString editable;
        bool paste;       // the root is pasted
        QString message;  // empty: cloned
    };
    const Case cases[] = {
        {"Q \"x\" ", "say \"hi\"", false, {}},
        {"Q; delete from items; --", ";", false, {}},
        {"inf", "NaN", false, {}},
        {"1e400", "-0", false, {}},
        {nul, "", true, {}},
        {veryLong, "", true, {}},
        {"Q", QString(255, QChar('e')), false, {}},
        {"Q", QString(256, QChar('e')), false,
         "The maximum permitted length for editable answer Caption is 255 characters!\r\n\r\nOperation aborted.."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.root.left(20) + " / " + c.editable.left(20)).toStdString());
        const kelvo::testing::TableDump before = kelvo::testing::DumpTables();
        DialogScript answers;
        for (int question = 0; question < 5; ++question)
            answers.answerQuestion(true);
        QString root;
        QString editable;
        WithWindow(CloneMode::Questions, [&](TForm4* window) {
            Choose(window->comboMain, "Clone questions");
            Type(window->Edit4, "2");
            window->Edit3->selectAll();
            QTest::keyClick(window->Edit3, Qt::Key_Backspace);
            if (c.paste) {
                QApplication::clipboard()->setText(c.root);
                QTest::keyClick(window->Edit3, Qt::Key_V, Qt::ControlModifier);
            } else {
                QTest::keyClicks(window->Edit3, c.root);
            }
            Type(window->Edit5, c.editable);
            root = window->Edit3->text();
            editable = window->Edit5->text();
            QTest::mouseClick(window->btnClone, Qt::LeftButton);
        });
        const QStringList changes = kelvo::testing::DumpChanges(before, kelvo::testing::DumpTables());
        if (!c.message.isEmpty()) {
            EXPECT_EQ(answers.lastText(), c.message);
            EXPECT_EQ(changes, QStringList());
            continue;
        }
        EXPECT_EQ(answers.lastText(), "Successfully cloned 2 new questions to test!");
        const RowSet items = SelectToVariant("select id, caption, editcap from items order by id;");
        ASSERT_EQ(items.rows(), 2);
        for (int r = 0; r < 2; ++r) {
            EXPECT_EQ(items.text(r, 1), root + QString::number(r + 1));
            EXPECT_EQ(items.text(r, 2), editable.trimmed());
        }
        for (const QString& change : changes)
            EXPECT_TRUE(change.startsWith("items/") || change.startsWith("answers/")) << change.left(100).toStdString();
    }
}

}  // namespace
