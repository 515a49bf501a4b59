#pragma once
// A test made by the program (New, then questions, answers, variables and formulas
// added through the database routines) with the question tools alive, as at start-up.

#include "data/database.h"
#include "dataaware/data_grid.h"
#include "dataaware/dataset.h"
#include "editor/captions_editor_window.h"
#include "editor/clone_window.h"
#include "editor/questions_editor_window.h"
#include "tests/editor/editor_fixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QStringList>

namespace kelvo::testing {

class QuestionToolsFixture : public EditorFixture {
protected:
    void SetUp() override { path = NewTest(QStringLiteral("tools.mdb")); }

    // Questions 1..questions in place of the sample question, each with answersEach
    // answers "a1", "a2", ...
    static void AddQuestions(int questions, int answersEach)
    {
        ExecSQL(QStringLiteral("delete from items;"));
        for (int q = 1; q <= questions; ++q) {
            ExecSQL(QStringLiteral("insert into items (id, caption) values (%1, 'question %1');").arg(q));
            AddAnswers(q, answersEach);
        }
    }

    static void AddAnswers(int question, int count)
    {
        for (int a = 1; a <= count; ++a)
            ExecSQL(QStringLiteral("insert into answers (itemid, caption) values (%1, 'a%2');").arg(question).arg(a));
    }

    static void AddVariable(int id)
    {
        ExecSQL(QStringLiteral("insert into variables (id, caption, cumul, start) values (%1, 'variable %1', true, 0);")
                    .arg(id));
    }

    static void AddFormula(int variable, const QString& text)
    {
        ExecSQL(QStringLiteral("insert into formula (varid, formula) values (%1, '%2');").arg(variable).arg(text));
    }

    // The rows of a one-column select, as text.
    static QStringList Column(const QString& sql)
    {
        QStringList texts;
        const RowSet rows = SelectToVariant(sql);
        for (int r = 0; r < rows.rows(); ++r)
            texts << rows.text(r, 0);
        return texts;
    }

    static int Count(const QString& table) { return SelectToVariant("select count(*) from " + table + ";").integer(0, 0); }

    // Types `text` over the cell of `grid` at (`row`, `column`) and presses Enter.
    static void TypeCell(dataaware::DataGrid& grid, int row, int column, const QString& text)
    {
        // A modal window shown a moment ago may not be active yet on a busy machine, and
        // an inactive window gives no widget the focus.
        ASSERT_TRUE(QTest::qWaitForWindowActive(grid.window()));
        const QModelIndex cell = grid.model()->index(row, column);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.visualRect(cell).center());
        ASSERT_EQ(grid.currentIndex(), cell);
        QTest::keyClick(&grid, Qt::Key_F2);
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(editor, nullptr);
        ASSERT_TRUE(grid.isAncestorOf(editor));
        editor->selectAll();
        editor->insert(text);
        const QPointer<QLineEdit> open(editor);
        QTest::keyClick(editor, Qt::Key_Return);
        EXPECT_TRUE(QTest::qWaitFor([&open] { return open.isNull(); }, 1000));
    }

    QString path;
    WindowInstance<TForm4> form4{Form4};
    WindowInstance<TForm8> form8{Form8};
    WindowInstance<TForm10> form10{Form10};
};

}  // namespace kelvo::testing
