// How long the results window takes to show a large test and to sort it: 10,000 runs
// of 300 questions and 100 variables, every answer and variable stored.

#include "app/main_window.h"
#include "app/window_instance.h"
#include "data/database.h"
#include "data/schema.h"
#include "engine/connection.h"
#include "results/results_window.h"
#include "ui/application.h"
#include "ui/log_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>

#include <cstdio>

namespace {

constexpr int kRuns = 10000;
constexpr int kQuestions = 300;
constexpr int kVariables = 100;

void createResultTable(const QString& name)
{
    kelvo::ExecSQL(QStringLiteral("create table %1 ( id integer primary key not null, unique (id), check (id > 0) );").arg(name));
}

// The tables a lock makes for the test, filled as the test window records its runs.
void fillTest()
{
    using kelvo::ExecSQL;
    for (const QString& statement : kelvo::schemaStatements())
        ExecSQL(statement);
    createResultTable(QStringLiteral("datai1"));
    createResultTable(QStringLiteral("datai2"));
    createResultTable(QStringLiteral("datav1"));
    for (int n = 1; n <= kQuestions; ++n)
        ExecSQL(QStringLiteral("alter table datai%1 add item%2 longtext;").arg(kelvo::ColumnBlock(n)).arg(n));
    for (int n = 1; n <= kVariables; ++n)
        ExecSQL(QStringLiteral("alter table datav1 add var%1 float;").arg(n));

    const auto columnList = [](const char* prefix, int first, int last) {
        QStringList names{QStringLiteral("id")};
        for (int n = first; n <= last; ++n)
            names << QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(n);
        return names.join(u',');
    };
    const QString itemColumns1 = columnList("item", 1, 254);
    const QString itemColumns2 = columnList("item", 255, kQuestions);
    const QString varColumns = columnList("var", 1, kVariables);
    const QStringList users{"ann", "Bob", "carl", "dora", "Emil", "fran"};

    kelvo::engine::Transaction transaction(kelvo::Form1->con);
    for (int id = 1; id <= kRuns; ++id) {
        ExecSQL(QStringLiteral("insert into datac (id, test_date, test_time, blank_answers, last_answer, go_back, "
                               "correction_answers, username, finished, modified, aposterior, os) values "
                               "(%1, '2026-%2-%3 00:00:00', '1899-12-30 10:%4:00', %5, %6, 0, 0, '%7', true, false, false, 1);")
                    .arg(id)
                    .arg(1 + id % 12, 2, 10, QLatin1Char('0'))
                    .arg(1 + id % 28, 2, 10, QLatin1Char('0'))
                    .arg(id % 60, 2, 10, QLatin1Char('0'))
                    .arg(id % 37)
                    .arg(kQuestions)
                    .arg(users[id % users.size()]));
        QStringList answers1{QString::number(id)};
        QStringList answers2{QString::number(id)};
        for (int n = 1; n <= kQuestions; ++n)
            (n <= 254 ? answers1 : answers2) << QStringLiteral("'answer %1'").arg((id + n) % 5 + 1);
        ExecSQL(QStringLiteral("insert into datai1 (%1) values (%2);").arg(itemColumns1, answers1.join(u',')));
        ExecSQL(QStringLiteral("insert into datai2 (%1) values (%2);").arg(itemColumns2, answers2.join(u',')));
        QStringList values{QString::number(id)};
        for (int n = 1; n <= kVariables; ++n)
            values << kelvo::NumberToText((id * n) % 1000 / 8.0);
        ExecSQL(QStringLiteral("insert into datav1 (%1) values (%2);").arg(varColumns, values.join(u',')));
    }
    transaction.commit();
}

double elapsedMs(const QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e6; }

}  // namespace

// With a path, the test file is made there once and read again by later runs.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    kelvo::KelvoApplication app(argc, argv);
    const kelvo::WindowInstance<kelvo::TForm1> form1(kelvo::Form1);
    const kelvo::WindowInstance<kelvo::TForm7> form7(kelvo::Form7);
    const kelvo::WindowInstance<kelvo::TForm13> form13(kelvo::Form13);

    QTemporaryDir dir;
    const bool reuse = argc > 1 && QFile::exists(QString::fromLocal8Bit(argv[1]));
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath(QStringLiteral("bench.mdb"));
    QElapsedTimer timer;
    timer.start();
    if (!reuse) {
        kelvo::engine::createDatabase(path, kelvo::kDatabasePassword);
        if (!kelvo::Form1->OpenTestDatabase(path, true, false))
            return 1;
        fillTest();
    }
    if (!kelvo::Form1->OpenTestDatabase(path, false, false))
        return 1;
    std::printf("test file: %d runs, %d questions, %d variables (made in %.0f ms)\n", kRuns, kQuestions, kVariables,
                elapsedMs(timer));

    kelvo::TForm13& results = *kelvo::Form13;
    results.resize(1200, 800);
    timer.restart();
    results.show();
    QApplication::processEvents();
    std::printf("show:                  %8.1f ms  (%d rows x %d columns)\n", elapsedMs(timer),
                results.grid->model()->rowCount(), results.grid->model()->columnCount());

    const auto measure = [&](const char* what, auto&& action) {
        timer.restart();
        action();
        QApplication::processEvents();
        std::printf("%-22s %8.1f ms\n", what, elapsedMs(timer));
    };
    measure("sort by username:", [&] { results.SortByColumn(QStringLiteral("username")); });
    measure("descending:", [&] { results.toolDesc->click(); });
    measure("sort by item300:", [&] { results.SortByColumn(QStringLiteral("item300")); });
    measure("sort by var50:", [&] { results.SortByColumn(QStringLiteral("var50")); });
    measure("ascending:", [&] { results.toolAsc->click(); });
    measure("wrap on:", [&] { results.toolWrap->click(); });
    measure("variables off:", [&] { results.toolVariables->click(); });
    return 0;
}
