// How long the variables of one run take: every formula is rewritten for the run's
// answers, compiled and evaluated afresh each time, as at the end of a real run.
// Prints the time per run and per formula for a few test sizes, and the share of it
// spent compiling.

#include "bench_support.h"
#include "bench_test_file.h"
#include "app/main_window.h"
#include "app/window_instance.h"
#include "data/schema.h"
#include "data/variable_computation.h"
#include "engine/connection.h"
#include "ui/application.h"

#include "compiler/exco.h"
#include "compiler/exco_lib.h"
#include "compiler/exec_arena.h"

#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <unistd.h>

namespace {

using namespace kelvo;

void fillTest(engine::Connection& con, int questions, int answers, int variables, int formulasEach)
{
    engine::Transaction transaction(con);
    for (int q = 1; q <= questions; ++q) {
        con.execute(QStringLiteral("insert into items (id, caption) values (%1, 'q');").arg(q));
        for (int a = 1; a <= answers; ++a)
            con.execute(QStringLiteral("insert into answers (itemid, caption) values (%1, 'a%2');")
                            .arg(q)
                            .arg(a));
    }
    for (int v = 1; v <= variables; ++v) {
        con.execute(QStringLiteral("insert into variables (id, caption) values (%1, 'v');").arg(v));
        for (int f = 0; f < formulasEach; ++f) {
            const int q = (v * formulasEach + f) % questions + 1;
            const QString formula =
                f % 3 == 0   ? QStringLiteral("if(item%1=%2,2,0)").arg(q).arg(f % answers + 1)
                : f % 3 == 1 ? QStringLiteral("isum(1,%1)/2+var%2").arg(q).arg(v)
                             : QStringLiteral("if(if(item%1=1)+if(item%1=2)>0,1,-1)*sqrt(%2)").arg(q).arg(f);
            con.execute(QStringLiteral("insert into formula (varid, formula) values (%1, '%2');")
                            .arg(v)
                            .arg(formula));
        }
    }
    transaction.commit();
}

AnswerMatrix randomAnswers(int questions, int answers, std::mt19937& generator)
{
    std::uniform_int_distribution<int> pick(0, answers - 1);
    AnswerMatrix matrix(static_cast<size_t>(questions), std::vector<int>(static_cast<size_t>(answers)));
    for (std::vector<int>& row : matrix) {
        const int chosen = pick(generator);
        row[static_cast<size_t>(chosen)] = chosen + 1;
    }
    return matrix;
}

// The compiling alone: the run's prepared texts compiled once more (and freed), timed
// apart from the run.
double compileTimeOfOneRun(int variables)
{
    std::vector<std::string> texts;
    for (int v = 1; v <= variables; ++v)
        for (const VariableFormula& formula : LoadVariableFormulas(v))
            texts.push_back(formula.prepared.toStdString());
    TExco exco;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& text : texts) {
        void* handle = nullptr;
        exco.Compile(text, nullptr, handle);
        if (handle != nullptr)
            ExcoSetOption(exco_option::Clear, reinterpret_cast<intptr_t>(handle));
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Resident memory of the process in KiB.
long residentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void openTest(const QString& path, int questions, int answers, int variables, int formulasEach)
{
    bench::openEmptyTest(path);
    fillTest(Form1->con, questions, answers, variables, formulasEach);
}

void measure(int questions, int answers, int variables, int formulasEach, int runs)
{
    QTemporaryDir dir;
    openTest(dir.filePath(QStringLiteral("bench.mdb")), questions, answers, variables, formulasEach);
    std::mt19937 generator(1);
    LogLineList log;
    double compileSeconds = 0;
    double seconds = 0;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        SetAnswerMatrix(randomAnswers(questions, answers, generator));
        ComputeVariables({}, false, log);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        compileSeconds += compileTimeOfOneRun(variables);
    }
    const double perRun = seconds / runs;
    std::printf("%4d questions, %3d variables x %2d formulas: %8.3f ms per run, %7.2f us per "
                "formula, %4.1f %% of it compiling, %lld failed lines\n",
                questions, variables, formulasEach, perRun * 1e3,
                perRun * 1e6 / (variables * formulasEach), 100.0 * compileSeconds / seconds,
                static_cast<long long>(log.lines.size()));
    Form1->con.close();
}

}  // namespace

// Executable and resident memory over many runs of one test: a run keeps no compiled
// routine once its variables are computed, so both stay flat.
void memoryOverRuns(int questions, int answers, int variables, int formulasEach, int runs)
{
    QTemporaryDir dir;
    openTest(dir.filePath(QStringLiteral("memory.mdb")), questions, answers, variables, formulasEach);
    std::mt19937 generator(2);
    LogLineList log;
    std::printf("%d runs of %d formulas:\n", runs, variables * formulasEach);
    for (int run = 1; run <= runs; ++run) {
        SetAnswerMatrix(randomAnswers(questions, answers, generator));
        ComputeVariables({}, false, log);
        if (run == 1 || run == 10 || run == 100 || run == 1000 || run % 5000 == 0)
            std::printf("  after %5d runs: %5zu live routines, %7zu KiB executable, %7ld KiB resident\n", run,
                        exco::ExecArena::instance().liveRoutines(), exco::ExecArena::instance().mappedBytes() / 1024,
                        residentKiB());
    }
    Form1->con.close();
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    KelvoApplication app(argc, argv);
    WindowInstance<TForm1> form1(Form1);
    if (bench::smallRun()) {
        measure(20, 4, 5, 4, 2);
        return 0;
    }
    measure(20, 4, 5, 4, 50);
    measure(100, 5, 20, 10, 20);
    measure(500, 5, 100, 3, 20);
    memoryOverRuns(50, 5, 10, 5, 10000);
    return 0;
}
