#pragma once
// A test made by the program (New, then rows added through the database routines) with
// the formula builder and the formula editor alive, as at start-up.

#include "data/database.h"
#include "editor/formula_builder_window.h"
#include "editor/formula_editor_window.h"
#include "tests/editor/editor_fixture.h"

#include <QStringList>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace kelvo::testing {

class FormulaWindowsFixture : public EditorFixture {
protected:
    void SetUp() override { path = NewTest(QStringLiteral("formulas.mdb")); }

    // Questions 1..questions in place of the sample question, question q with
    // answersEach answers "a1", "a2", ...
    static void AddQuestions(int questions, int answersEach)
    {
        ExecSQL(QStringLiteral("delete from items;"));
        for (int q = 1; q <= questions; ++q) {
            ExecSQL(QStringLiteral("insert into items (id, caption) values (%1, 'question %1');").arg(q));
            for (int a = 1; a <= answersEach; ++a)
                ExecSQL(QStringLiteral("insert into answers (itemid, caption) values (%1, 'a%2');").arg(q).arg(a));
        }
    }

    static void AddVariables(int variables)
    {
        for (int v = 1; v <= variables; ++v)
            ExecSQL(QStringLiteral("insert into variables (id, caption, cumul, start) values (%1, 'variable %1', true, "
                                   "0);")
                        .arg(v));
    }

    static int AddFormula(int variable, const QString& text)
    {
        ExecSQL(QStringLiteral("insert into formula (varid, formula) values (%1, '%2');").arg(variable).arg(text));
        return SelectToVariant(QStringLiteral("select max(autoid) from formula;")).integer(0, 0);
    }

    // The stored formulas of `variable`, ascending autoid.
    static QStringList StoredFormulas(int variable)
    {
        QStringList formulas;
        const RowSet rows = SelectToVariant(
            QStringLiteral("select formula from formula where varid = %1 order by autoid;").arg(variable));
        for (int r = 0; r < rows.rows(); ++r)
            formulas << rows.text(r, 0);
        return formulas;
    }

    QString path;
    WindowInstance<TForm5> form5{Form5};
    WindowInstance<TForm6> form6{Form6};
};

}  // namespace kelvo::testing
