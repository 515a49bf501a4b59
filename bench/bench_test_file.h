#pragma once
// The test files the benchmarks measure on: an empty test open on the main window's
// connection, and the result tables a lock makes for its questions and variables.

#include "app/main_window.h"
#include "data/database.h"
#include "data/schema.h"
#include "engine/connection.h"
#include "model/values.h"

#include <QString>

namespace kelvo::bench {

inline void createResultTable(const QString& name)
{
    ExecSQL(QStringLiteral("create table %1 ( id integer primary key not null, unique (id), check (id > 0) );").arg(name));
}

// datai1, datai2, ... with a column item<n> per question, and datav1 with var<n> per
// variable.
inline void addResultTables(int questions, int variables)
{
    for (int block = 1; block <= ColumnBlock(questions); ++block)
        createResultTable(QStringLiteral("datai%1").arg(block));
    createResultTable(QStringLiteral("datav1"));
    for (int n = 1; n <= questions; ++n)
        ExecSQL(QStringLiteral("alter table datai%1 add item%2 longtext;").arg(ColumnBlock(n)).arg(n));
    for (int n = 1; n <= variables; ++n)
        ExecSQL(QStringLiteral("alter table datav1 add var%1 float;").arg(n));
}

// A new test file without a password at `path`, its tables created, open on Form1->con.
inline void openEmptyTest(const QString& path)
{
    engine::createDatabase(path, QString());
    Form1->con.close();
    Form1->con.setConnectionString(QStringLiteral("Data Source=") + path + QStringLiteral(";"));
    Form1->con.open();
    for (const QString& statement : schemaStatements())
        Form1->con.execute(statement);
}

}  // namespace kelvo::bench
