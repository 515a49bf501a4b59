#pragma once
// A test file with stored runs, made by the program's own routines: the engine creates
// the file, the schema statements make the tables of a test, the result tables are
// made with the statements that locking uses, and runs are inserted as the test window
// records them. The file is then opened on Form1->con as the editor opens a test.

#include "app/main_window.h"
#include "app/window_instance.h"
#include "data/database.h"
#include "data/schema.h"
#include "engine/connection.h"
#include "results/results_window.h"
#include "ui/dialog_service.h"
#include "ui/log_window.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QHeaderView>
#include <QStringList>
#include <QTableView>
#include <QTest>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <functional>

namespace kelvo::testing {

struct StoredRun {
    int id;
    QString username;
    QString testDate;  // as stored: yyyy-MM-dd hh:mm:ss
    int blankAnswers;
};

class ResultsFixture : public ::testing::Test {
protected:
    // The tables of a locked test with `questions` questions, `variables` variables and
    // `dataFields` data fields (ids from 1), as the lock creates them.
    void MakeTest(int questions, int variables, int dataFields)
    {
        path = dir.filePath(QStringLiteral("results.mdb"));
        engine::createDatabase(path, kDatabasePassword);
        ASSERT_TRUE(Form1->OpenTestDatabase(path, true, false));
        for (const QString& statement : schemaStatements())
            ExecSQL(statement);
        const auto createTable = [](const QString& name) {
            ExecSQL(QStringLiteral("create table %1 ( id integer primary key not null, unique (id), check (id > 0) );").arg(name));
        };
        for (int k = 1; k == 1 || (k - 1) * 254 < questions; ++k)
            createTable(QStringLiteral("datai%1").arg(k));
        for (int n = 1; n <= questions; ++n) {
            ExecSQL(QStringLiteral("insert into items (id, caption) values (%1, 'Question %1');").arg(n));
            ExecSQL(QStringLiteral("alter table datai%1 add item%2 longtext;").arg(ColumnBlock(n)).arg(n));
        }
        for (int k = 1; (k - 1) * 254 < variables; ++k)
            createTable(QStringLiteral("datav%1").arg(k));
        for (int n = 1; n <= variables; ++n) {
            ExecSQL(QStringLiteral("insert into variables (id, caption) values (%1, 'Variable %1');").arg(n));
            ExecSQL(QStringLiteral("alter table datav%1 add var%2 float;").arg(ColumnBlock(n)).arg(n));
        }
        if (dataFields > 0)
            createTable(QStringLiteral("dataf"));
        for (int n = 1; n <= dataFields; ++n) {
            ExecSQL(QStringLiteral("insert into userf (id, posit, caption, ftype) values (%1, %1, 'Field %1', 'string');").arg(n));
            ExecSQL(QStringLiteral("alter table dataf add data%1 varchar(100);").arg(n));
        }
        ExecSQL(QStringLiteral("update testd set v = 'true' where id = 0;"));
        Reopen();
    }

    // Opens the file again, so that the session's tableNames list every table it has now.
    void Reopen() { ASSERT_TRUE(Form1->OpenTestDatabase(path, false, false)); }

    void AddRun(const StoredRun& run)
    {
        ExecSQL(QStringLiteral("insert into datac (id, test_date, test_time, blank_answers, last_answer, go_back, "
                               "correction_answers, username, finished, modified, aposterior, os) values "
                               "(%1, '%2', '1899-12-30 10:15:00', %3, 1, 0, 0, %4, true, false, false, 1);")
                    .arg(run.id)
                    .arg(run.testDate)
                    .arg(run.blankAnswers)
                    .arg(SqlQuote(run.username)));
    }
    // One row of a result table: the id, then columns <prefix>1, <prefix>2, ... holding
    // `values` as written into the statement.
    void InsertResultRow(const QString& table, const QString& prefix, int id, const QStringList& values)
    {
        QStringList columns{QStringLiteral("id")};
        for (qsizetype i = 0; i < values.size(); ++i)
            columns << prefix + QString::number(i + 1);
        ExecSQL(QStringLiteral("insert into %1 (%2) values (%3, %4);")
                    .arg(table, columns.join(u','), QString::number(id), values.join(u',')));
    }
    // A null text is stored as Null.
    static QStringList Quoted(const QStringList& texts)
    {
        QStringList quoted;
        for (const QString& text : texts)
            quoted << (text.isNull() ? QStringLiteral("null") : SqlQuote(text));
        return quoted;
    }
    void AddAnswers(int id, const QStringList& answers)
    {
        InsertResultRow(QStringLiteral("datai1"), QStringLiteral("item"), id, Quoted(answers));
    }
    void AddVariables(int id, const QList<double>& values)
    {
        QStringList texts;
        for (const double value : values)
            texts << NumberToText(value);
        InsertResultRow(QStringLiteral("datav1"), QStringLiteral("var"), id, texts);
    }
    void AddDataFields(int id, const QStringList& values)
    {
        InsertResultRow(QStringLiteral("dataf"), QStringLiteral("data"), id, Quoted(values));
    }

    // The window shown as the Result button shows it, without its own event loop.
    void ShowResults()
    {
        Form13->show();
        QApplication::processEvents();
    }

    const QAbstractItemModel& Model() const { return *Form13->grid->model(); }
    QStringList Headers() const
    {
        QStringList names;
        for (int c = 0; c < Model().columnCount(); ++c)
            names << Model().headerData(c, Qt::Horizontal).toString();
        return names;
    }
    int Column(const QString& name) const { return static_cast<int>(Headers().indexOf(name)); }
    // The cells of one column, top to bottom.
    QStringList ColumnTexts(const QString& name) const
    {
        const int column = Column(name);
        QStringList texts;
        for (int r = 0; r < Model().rowCount(); ++r)
            texts << Model().index(r, column).data().toString();
        return texts;
    }
    QStringList Ids() const { return ColumnTexts(QStringLiteral("id")); }

    void DoubleClickHeader(const QString& name)
    {
        QHeaderView* header = Form13->grid->horizontalHeader();
        const int column = Column(name);
        ASSERT_GE(column, 0) << name.toStdString();
        if (column == 0) {  // the id's header is the corner above the ids
            auto* corner = Form13->grid->findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
            ASSERT_NE(corner, nullptr);
            QTest::mouseDClick(corner, Qt::LeftButton);
            return;
        }
        Form13->grid->scrollTo(Model().index(0, column));
        QApplication::processEvents();
        const QPoint point(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, point);
    }

    // Runs `act` on the modal window that `open` brings up, then waits for it to close.
    template <class Window>
    void WithModal(const std::function<void()>& open, const std::function<void(Window&)>& act)
    {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* window = qobject_cast<Window*>(QApplication::activeModalWidget());
            if (!window)
                return;
            seen = true;
            act(*window);
            if (window->isVisible())
                window->reject();
        });
        open();
        EXPECT_TRUE(seen);
    }

    QTemporaryDir dir;
    QString path;
    DialogScript script;
    WindowInstance<TForm1> form1{Form1};
    WindowInstance<TForm7> form7{Form7};
    WindowInstance<TForm13> form13{Form13};
};

}  // namespace kelvo::testing
