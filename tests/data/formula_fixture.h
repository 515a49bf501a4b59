#pragma once
// A test file made the way the program makes one (a new database with the test schema),
// open on the main window's connection, with helpers that fill its tables.

#include "app/main_window.h"
#include "app/window_instance.h"
#include "data/schema.h"
#include "engine/connection.h"

#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace kelvo::testing {

class FormulaTestFile {
public:
    FormulaTestFile()
    {
        EXPECT_TRUE(dir_.isValid());
        path_ = dir_.filePath(QStringLiteral("formulas.mdb"));
        engine::createDatabase(path_, QString());
        con().setConnectionString(QStringLiteral("Data Source=") + path_ + QStringLiteral(";"));
        con().open();
        for (const QString& statement : schemaStatements())
            con().execute(statement);
    }

    engine::Connection& con() { return Form1->con; }

    // A question with `answers` answers.
    void addItem(int id, int answers)
    {
        con().execute(QStringLiteral("insert into items (id, caption) values (%1, 'q%1');").arg(id));
        for (int a = 1; a <= answers; ++a)
            con().execute(QStringLiteral("insert into answers (itemid, caption) values (%1, 'a%2');")
                              .arg(id)
                              .arg(a));
    }

    // `cumul` is "true", "false" or "null".
    void addVariable(int id, double start = 0, const QString& cumul = QStringLiteral("true"))
    {
        con().execute(QStringLiteral("insert into variables (id, caption, cumul, start) values "
                                     "(%1, 'v%1', %2, %3);")
                          .arg(id)
                          .arg(cumul)
                          .arg(start));
    }

    void addDataField(int id, const QString& type)
    {
        con().execute(QStringLiteral("insert into userf (id, posit, caption, ftype) values "
                                     "(%1, %1, 'd%1', '%2');")
                          .arg(id)
                          .arg(type));
    }

    // The new formula's autoid.
    int addFormula(int varid, QString formula)
    {
        formula.replace(u'\'', QStringLiteral("''"));
        con().execute(QStringLiteral("insert into formula (varid, formula) values (%1, '%2');")
                          .arg(varid)
                          .arg(formula));
        return con().select(QStringLiteral("select max(autoid) from formula;")).rows[0][0].toInt();
    }

    // (varid, formula) of every formula with an autoid above `after`, ascending autoid.
    std::vector<std::pair<int, QString>> formulasAfter(int after)
    {
        std::vector<std::pair<int, QString>> rows;
        const engine::ResultSet result = con().select(
            QStringLiteral("select varid, formula from formula where autoid > %1 order by autoid;")
                .arg(after));
        for (const auto& row : result.rows)
            rows.emplace_back(row[0].toInt(), row[1].toString());
        return rows;
    }

    QStringList formulaTexts()
    {
        QStringList texts;
        for (const auto& row :
             con().select(QStringLiteral("select formula from formula order by autoid;")).rows)
            texts.append(row[0].toString());
        return texts;
    }

private:
    WindowInstance<TForm1> form1_{Form1};
    QTemporaryDir dir_;
    QString path_;
};

}  // namespace kelvo::testing
