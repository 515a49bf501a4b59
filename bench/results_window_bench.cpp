// How long the results window takes to show a large test and to sort it: 10,000 and
// 100,000 runs of 300 questions and 100 variables, every answer and variable stored, and
// how much memory the shown window holds.

#include "app/main_window.h"
#include "app/window_instance.h"
#include "data/database.h"
#include "data/schema.h"
#include "bench_support.h"
#include "bench_test_file.h"
#include "engine/connection.h"
#include "results/results_window.h"
#include "ui/application.h"
#include "ui/log_window.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kQuestions = 300;
constexpr int kVariables = 100;

// Fills many thousand rows in one statement a table: the rows are numbered by a
// recursive query, which the program's own statements do not need and so do not know.
void insertNumberedRows(const QString& columns, const QString& values, const QString& table, int runs)
{
    QSqlQuery query(kelvo::Form1->con.database());
    const QString sql = QStringLiteral("WITH RECURSIVE n(id) AS (SELECT 1 UNION ALL SELECT id + 1 FROM n WHERE id < %1) "
                                       "INSERT INTO %2 (%3) SELECT %4 FROM n")
                            .arg(runs)
                            .arg(table, columns, values);
    if (!query.exec(sql))
        throw std::runtime_error(query.lastError().text().toStdString());
}

// The tables a lock makes for the test, filled as the test window records its runs.
void fillTest(int runs)
{
    using kelvo::ExecSQL;
    for (const QString& statement : kelvo::schemaStatements())
        ExecSQL(statement);
    kelvo::bench::addResultTables(kQuestions, kVariables);

    kelvo::engine::Transaction transaction(kelvo::Form1->con);
    insertNumberedRows(QStringLiteral("id, test_date, test_time, blank_answers, last_answer, go_back, correction_answers, "
                                      "username, finished, modified, aposterior, os"),
                       QStringLiteral("id, printf('2026-%02d-%02d 00:00:00', 1 + id % 12, 1 + id % 28), "
                                      "printf('1899-12-30 10:%02d:00', id % 60), id % 37, %1, 0, 0, "
                                      "char(97 + id % 6) || 'nn', 1, 0, 0, 1")
                           .arg(kQuestions),
                       QStringLiteral("datac"), runs);
    const auto fillColumns = [&](const QString& table, const char* prefix, int first, int last, const QString& value) {
        QStringList columns{QStringLiteral("id")};
        QStringList values{QStringLiteral("id")};
        for (int n = first; n <= last; ++n) {
            columns << QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(n);
            values << value.arg(n);
        }
        insertNumberedRows(columns.join(u','), values.join(u','), table, runs);
    };
    fillColumns(QStringLiteral("datai1"), "item", 1, 254, QStringLiteral("'answer ' || ((id + %1) % 5 + 1)"));
    fillColumns(QStringLiteral("datai2"), "item", 255, kQuestions, QStringLiteral("'answer ' || ((id + %1) % 5 + 1)"));
    fillColumns(QStringLiteral("datav1"), "var", 1, kVariables, QStringLiteral("((id * %1) % 1000) / 8.0"));
    transaction.commit();
}

double elapsedMs(const QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e6; }

double residentMiB()
{
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

bool openTest(const QString& path, int runs)
{
    QElapsedTimer timer;
    timer.start();
    if (!QFile::exists(path)) {
        kelvo::engine::createDatabase(path, kelvo::kDatabasePassword);
        if (!kelvo::Form1->OpenTestDatabase(path, true, false))
            return false;
        fillTest(runs);
    }
    if (!kelvo::Form1->OpenTestDatabase(path, false, false))
        return false;
    std::printf("\ntest file: %d runs, %d questions, %d variables (ready in %.0f ms)\n", runs, kQuestions, kVariables,
                elapsedMs(timer));
    return true;
}

void measureWindow()
{
    kelvo::TForm13& results = *kelvo::Form13;
    results.hide();
    results.ResetView();
    results.toolAsc->click();
    const double before = residentMiB();
    QElapsedTimer timer;
    timer.start();
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
    measure("scroll to the end:", [&] { results.grid->scrollToBottom(); });
    measure("wrap on:", [&] { results.toolWrap->click(); });
    measure("wrap off:", [&] { results.toolWrap->click(); });
    measure("variables off:", [&] { results.toolVariables->click(); });
    std::printf("memory held by the window: %.1f MiB\n", residentMiB() - before);
}

}  // namespace

// With a folder, the test files are made there once and read again by later runs.
int main(int argc, char** argv)
{
    kelvo::bench::preferOffscreen();
    kelvo::KelvoApplication app(argc, argv);
    const kelvo::WindowInstance<kelvo::TForm1> form1(kelvo::Form1);
    const kelvo::WindowInstance<kelvo::TForm7> form7(kelvo::Form7);
    const kelvo::WindowInstance<kelvo::TForm13> form13(kelvo::Form13);
    kelvo::Form13->resize(1200, 800);

    QTemporaryDir temporary;
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path());
    const std::vector<int> sizes = kelvo::bench::smallRun() ? std::vector<int>{300} : std::vector<int>{10000, 100000};
    for (const int runs : sizes) {
        if (!openTest(folder.filePath(QStringLiteral("results_%1.mdb").arg(runs)), runs))
            return 1;
        measureWindow();
    }
    return 0;
}
