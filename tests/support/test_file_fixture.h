#pragma once
// A test file made by the program itself: the main window and the editor exist, a new
// file is created by the engine with the test-file password, and the tables of a new
// test are created in it with the program's own schema statements.

#include "app/main_window.h"
#include "app/window_instance.h"
#include "data/database.h"
#include "data/schema.h"
#include "editor/editor_window.h"
#include "engine/connection.h"

#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace kelvo::testing {

class TestFileFixture : public ::testing::Test {
protected:
    // A new file in the temporary folder holding the first `tables` of a new test's tables
    // (all nine by default; the first eight are the required ones). Opens it on Form1->con
    // when `keepOpen`.
    QString MakeTestFile(const QString& name, int tables = 9, bool keepOpen = false,
                         const QString& password = kDatabasePassword)
    {
        const QString path = dir.filePath(name);
        engine::createDatabase(path, password);
        engine::Connection connection;
        QString text = ConnectionStringTemplate();
        text.replace(QStringLiteral("C:\\db2.mdb"), path);
        text.replace(kDatabasePassword, password);
        connection.setConnectionString(text);
        connection.open();
        const QStringList& statements = schemaStatements();
        for (int i = 0; i < tables; ++i)
            connection.execute(statements[i]);
        connection.close();
        if (keepOpen) {
            EXPECT_TRUE(Form1->OpenTestDatabase(path, false, false));
        }
        return path;
    }

    QTemporaryDir dir;
    WindowInstance<TForm1> form1{Form1};
    WindowInstance<TForm3> form3{Form3};
};

}  // namespace kelvo::testing
