// How long a respondent waits for a long test: a run of 500 questions (four answers
// each, two answer tables) and 100 variables with formulas, taken in the test window from
// the first question to the stored run, with the answers clicked by this program. The
// end of the run is the last click: the end question answered, the run's rows written,
// its variables computed, the backup record written and the window closed.

#include "bench_support.h"
#include "bench_test_file.h"
#include "app/main_window.h"
#include "app/window_instance.h"
#include "data/database.h"
#include "data/schema.h"
#include "engine/connection.h"
#include "run/run_window.h"
#include "ui/application.h"
#include "ui/dialog_service.h"
#include "ui/log_window.h"

#include <QAbstractButton>
#include <QSqlDriver>
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kQuestions = 500;
constexpr int kAnswers = 4;
constexpr int kVariables = 100;
const int kRuns = kelvo::bench::sized(12, 2);

using kelvo::ExecSQL;

// A locked test as the editor and the lock leave it.
void fillTest(kelvo::engine::Connection& connection)
{
    for (const QString& statement : kelvo::schemaStatements())
        connection.execute(statement);
    kelvo::writeDefaultRows(connection);
    kelvo::engine::Transaction transaction(connection);
    ExecSQL(QStringLiteral("delete from items;"));
    for (int id = 1; id <= kQuestions; ++id) {
        ExecSQL(QStringLiteral("insert into items (id, caption) values (%1, 'Question %1: how often does it happen?');")
                    .arg(id));
        for (const char* answer : {"never", "sometimes", "often", "always"})
            ExecSQL(QStringLiteral("insert into answers (itemid, caption) values (%1, '%2');").arg(id).arg(answer));
    }
    // Each variable sums the conditions of five questions, and every tenth one also an
    // aggregate and an earlier variable.
    for (int id = 1; id <= kVariables; ++id) {
        ExecSQL(QStringLiteral("insert into variables (id, caption, cumul, start, decnum) values (%1, 'v%1', true, 0, 2);")
                    .arg(id));
        for (int k = 0; k < 5; ++k)
            ExecSQL(QStringLiteral("insert into formula (varid, formula) values (%1, 'if(item%2=%3,1,0)');")
                        .arg(id)
                        .arg((id * 5 + k) % kQuestions + 1)
                        .arg(k % kAnswers + 1));
        if (id % 10 == 0)
            ExecSQL(QStringLiteral("insert into formula (varid, formula) values (%1, 'isum%2/10+var%3');")
                        .arg(id)
                        .arg(id)
                        .arg(id - 1));
    }
    kelvo::bench::addResultTables(kQuestions, kVariables);
    ExecSQL(QStringLiteral("update testd set v = 'true' where id = 0;"));
    ExecSQL(QStringLiteral("update testd set v = 'false' where id = -13;"));
    transaction.commit();
}

// The statements the program runs on the test file's connection, as SQLite starts them:
// all of them, and the reads of the questions, answers and settings among them.
struct StatementCount {
    int all = 0;
    int items = 0;
    int answers = 0;
    int settings = 0;
};
StatementCount gStatements;

int countStatement(unsigned, void*, void*, void* text)
{
    const char* sql = static_cast<const char*>(text);
    // The engine's own look-ups of a table's fields are not statements of the program.
    if (std::strncmp(sql, "PRAGMA", 6) == 0 || std::strstr(sql, "pragma_"))
        return 0;
    ++gStatements.all;
    if (std::strncmp(sql, "SELECT", 6) != 0 && std::strncmp(sql, "select", 6) != 0)
        return 0;
    const auto reads = [sql](const char* table) {
        for (const char* at = std::strstr(sql, table); at; at = std::strstr(at + 1, table))
            if ((at[-1] == ' ' || at[-1] == '"') && (at[std::strlen(table)] == ' ' || at[std::strlen(table)] == '"'
                                                     || at[std::strlen(table)] == ';' || at[std::strlen(table)] == 0))
                return true;
        return false;
    };
    gStatements.items += reads("items");
    gStatements.answers += reads("answers");
    gStatements.settings += reads("testd");
    return 0;
}

void countStatementsOf(const kelvo::engine::Connection& connection)
{
    const QVariant handle = connection.database().driver()->handle();
    if (!handle.isValid() || std::strcmp(handle.typeName(), "sqlite3*") != 0)
        return;
    sqlite3_trace_v2(*static_cast<sqlite3* const*>(handle.constData()), SQLITE_TRACE_STMT, countStatement, nullptr);
}

double elapsedMs(const QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e6; }

struct RunTimes {
    double taking = 0;  // first click to the window closed
    double ending = 0;  // the last click alone
    StatementCount statements;
};

// Takes one run through the window's own buttons.
RunTimes takeRun()
{
    RunTimes times;
    kelvo::DialogScript script;
    script.answerQuestion(true);  // "End test?"
    auto* poll = new QTimer(qApp);
    poll->setInterval(1);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, &times] {
        auto* window = qobject_cast<kelvo::TForm2*>(QApplication::activeModalWidget());
        if (!window || !window->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        QElapsedTimer taking;
        taking.start();
        for (int q = 0; q < kQuestions; ++q) {
            auto* answer = window->findChild<QAbstractButton*>(QStringLiteral("answer%1").arg(q % kAnswers));
            if (q == kQuestions - 1) {
                QElapsedTimer ending;
                ending.start();
                answer->click();
                times.ending = elapsedMs(ending);
            } else {
                answer->click();
            }
        }
        times.taking = elapsedMs(taking);
    });
    poll->start();
    kelvo::Form1->btnTest->setEnabled(true);
    gStatements = {};
    kelvo::Form1->btnTest->click();
    times.statements = gStatements;
    return times;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    kelvo::bench::preferOffscreen();
    QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    kelvo::KelvoApplication app(argc, argv);
    const kelvo::WindowInstance<kelvo::TForm1> form1(kelvo::Form1);
    const kelvo::WindowInstance<kelvo::TForm7> form7(kelvo::Form7);
    kelvo::Session::current().user = QStringLiteral("bench");

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.mdb"));
    kelvo::engine::createDatabase(path, kelvo::kDatabasePassword);
    if (!kelvo::Form1->OpenTestDatabase(path, true, false))
        return 1;
    fillTest(kelvo::Form1->con);
    if (!kelvo::Form1->OpenTestDatabase(path, false, false))
        return 1;
    countStatementsOf(kelvo::Form1->con);
    std::printf("test: %d questions of %d answers, %d variables (%d formulas), %d runs each way\n", kQuestions,
                kAnswers, kVariables, kelvo::SelectToVariant(QStringLiteral("select count(*) from formula;")).integer(0, 0),
                kRuns);

    for (const bool dailyFile : {false, true}) {
        ExecSQL(QStringLiteral("update testd set v = '%1' where id = -26;").arg(dailyFile ? "true" : "false"));
        std::vector<double> taking;
        std::vector<double> ending;
        StatementCount statements;
        for (int run = 0; run < kRuns; ++run) {
            kelvo::Form7->editor->clear();  // a long session's log is not what is measured
            const RunTimes times = takeRun();
            taking.push_back(times.taking);
            ending.push_back(times.ending);
            statements = times.statements;
        }
        std::printf("daily backup file %-3s  statements of one run: %d, of them selects of items %d, of answers %d, "
                    "of testd %d\n",
                    dailyFile ? "on" : "off", statements.all, statements.items, statements.answers,
                    statements.settings);
        std::printf("daily backup file %-3s  end of run (rows, variables, backup record): median %6.1f ms, best %6.1f ms\n",
                    dailyFile ? "on" : "off", median(ending), *std::min_element(ending.begin(), ending.end()));
        std::printf("                       first question to stored run:                    median %6.1f ms\n",
                    median(taking));
    }
    const auto count = [](const char* table) {
        return kelvo::SelectToVariant(QStringLiteral("select count(*) from %1 where id in (select id from datac where "
                                                     "finished = true);")
                                          .arg(QLatin1String(table)))
            .integer(0, 0);
    };
    const kelvo::RowSet last = kelvo::SelectToVariant(QStringLiteral("select var10, var100 from datav1 order by id desc;"));
    std::printf("finished runs stored: %d; rows per run: datac updated, datai1 (254 answers), datai2 (%d answers), "
                "datav1 (%d variables), found for %d, %d and %d runs (last run: var10 = %s, var100 = %s)\n",
                count("datac"), kQuestions - 254, kVariables, count("datai1"), count("datai2"), count("datav1"),
                qPrintable(last.text(0, 0)), qPrintable(last.text(0, 1)));
    return 0;
}
