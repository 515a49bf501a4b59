#include "data/variable_computation.h"

#include "compiler/exec_arena.h"
#include "data/formula_routine_cache.h"
#include "tests/data/formula_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

namespace kelvo {
namespace {

using testing::FormulaTestFile;

double valueOf(const std::vector<VariableValue>& values, int id)
{
    for (const VariableValue& v : values) {
        if (v.id == id)
            return v.value;
    }
    ADD_FAILURE() << "no variable " << id;
    return 0;
}

// Questions 1 (three answers) and 2 (two answers); the run chose answer 2 of question 1
// and typed an answer to question 2.
class VariableComputation : public ::testing::Test {
protected:
    void SetUp() override
    {
        file.addItem(1, 3);
        file.addItem(2, 2);
    }

    std::vector<VariableValue> compute(const std::vector<double>& data = {})
    {
        SetAnswerMatrix({{0, 2, 0}, {0, -1, 0}});
        log.lines.clear();
        return ComputeVariables(data, false, log);
    }

    FormulaTestFile file;
    LogLineList log;
};

TEST_F(VariableComputation, StartValuesAndAccumulation)
{
    file.addVariable(1, 7);  // no formula: its start value
    file.addVariable(2, 1, "false");
    file.addVariable(3, 1, "true");
    file.addVariable(4, 1, "null");
    for (const int id : {2, 3, 4}) {
        file.addFormula(id, "2");
        file.addFormula(id, "5");
        file.addFormula(id, "3");
    }
    const std::vector<VariableValue> values = compute();
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[0].id, 1);
    EXPECT_DOUBLE_EQ(values[0].value, 7);
    EXPECT_DOUBLE_EQ(valueOf(values, 2), 1 + 3);
    EXPECT_DOUBLE_EQ(valueOf(values, 3), 1 + 10);
    EXPECT_DOUBLE_EQ(valueOf(values, 4), 1 + 10);
    EXPECT_TRUE(log.lines.isEmpty()) << log.lines.join("\n").toStdString();
    EXPECT_EQ(CurrentVariableValues(), (std::vector<double>{7, 4, 11, 11}));
}

TEST_F(VariableComputation, FormulasReadAnswersVariablesAndData)
{
    file.addDataField(1, "string");
    file.addDataField(3, "float");
    file.addVariable(1, 10);
    file.addVariable(2, 100);
    file.addVariable(5);
    file.addFormula(1, "if(item1=2,4,0)+if(item2=-1,1,0)");  // 5
    file.addFormula(2, "var1*2");                            // the finished var1: 15 * 2
    file.addFormula(2, "var2+1");                            // the running result: 30 + 1
    file.addFormula(5, "isum(1,2)*data3");                   // (2 - 1) * 2.5
    file.addFormula(5, "2*isum2");                           // a typed answer gives -1
    const std::vector<VariableValue> values = compute({0, 2.5});
    EXPECT_DOUBLE_EQ(valueOf(values, 1), 15);
    EXPECT_DOUBLE_EQ(valueOf(values, 2), 100 + 61);
    EXPECT_DOUBLE_EQ(valueOf(values, 5), 2.5 - 2);
    EXPECT_TRUE(log.lines.isEmpty()) << log.lines.join("\n").toStdString();
}

TEST_F(VariableComputation, AFailingVariableKeepsItsStartAndTheOthersGoOn)
{
    file.addVariable(2);
    file.addVariable(3, 4);
    file.addVariable(4);
    file.addVariable(6);
    file.addFormula(2, "0");
    file.addFormula(3, "6");
    file.addFormula(3, "if(item99=1)");  // no such question: left in test-level form
    file.addFormula(4, "var3+1");        // reads what the failed formula left: 6
    file.addFormula(6, "1/var2");        // a zero divide while the code runs
    const std::vector<VariableValue> values = compute();
    EXPECT_DOUBLE_EQ(valueOf(values, 3), 4);
    EXPECT_DOUBLE_EQ(valueOf(values, 4), 7);
    EXPECT_DOUBLE_EQ(valueOf(values, 6), 0);
    ASSERT_EQ(log.lines.size(), 2) << log.lines.join("\n").toStdString();
    EXPECT_TRUE(log.lines[0].startsWith(
        QStringLiteral("var3--> formula: if(item99=1)\tExco exception.\tUNKNOWN SYMBOL\"")))
        << log.lines[0].toStdString();
    // A fault of the running code has no compiler code: no name.
    EXPECT_TRUE(log.lines[1].startsWith(QStringLiteral("var6--> formula: 1/var2\tExco exception.\t\"")))
        << log.lines[1].toStdString();
}

// Each fault of a formula is logged with its name; a value beyond the Double range is an
// overflow whether the compiler folds it or the code computes it.
TEST_F(VariableComputation, FaultsOfFormulasAreLoggedWithTheirNames)
{
    struct Case {
        const char* formula;
        const char* name;
    };
    const Case cases[] = {
        {"1/0", "DIVIDE ON ZERO"},
        {"sqrt(-1)", "INVALID OPERATION"},
        {"1e308*10", "OVERFLOW"},
        {"var1*1e300", "OVERFLOW"},  // 1e300 * 1e300 while the code runs
        {"0-var1*1e300", "OVERFLOW"},
    };
    file.addVariable(1);
    file.addFormula(1, "1e300");
    int id = 2;
    for (const Case& c : cases) {
        file.addVariable(id);
        file.addFormula(id, c.formula);
        ++id;
    }
    const std::vector<VariableValue> values = compute();
    EXPECT_DOUBLE_EQ(valueOf(values, 1), 1e300);
    ASSERT_EQ(log.lines.size(), static_cast<qsizetype>(std::size(cases))) << log.lines.join("\n").toStdString();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const QString expected = QStringLiteral("var%1--> formula: %2\tExco exception.\t%3\"")
                                     .arg(i + 2)
                                     .arg(QLatin1String(cases[i].formula), QLatin1String(cases[i].name));
        EXPECT_TRUE(log.lines[static_cast<qsizetype>(i)].startsWith(expected)) << log.lines[static_cast<qsizetype>(i)].toStdString();
        EXPECT_DOUBLE_EQ(valueOf(values, static_cast<int>(i) + 2), 0);  // the start value
    }
}

TEST_F(VariableComputation, ARunKeepsNoCompiledRoutine)
{
    file.addVariable(1);
    file.addVariable(2);
    file.addFormula(1, "if(item1=2,3,0)*2+1");
    file.addFormula(1, "var1*2-21");    // reads the 7 before it: the sum is 0
    file.addFormula(2, "1/var1");       // faults while it runs
    const std::size_t before = exco::ExecArena::instance().liveRoutines();
    for (int run = 0; run < 3; ++run) {
        const std::vector<VariableValue> values = compute();
        EXPECT_DOUBLE_EQ(valueOf(values, 1), 0);
        EXPECT_EQ(log.lines.size(), 1);
        EXPECT_EQ(exco::ExecArena::instance().liveRoutines(), before) << "run " << run;
    }
}

TEST_F(VariableComputation, ACompileErrorGivesOneLogLine)
{
    file.addVariable(3, 4);
    file.addFormula(3, "if(item99=1)");  // no such question: left in test-level form
    file.addFormula(3, "1");
    const std::vector<VariableValue> values = compute();
    ASSERT_EQ(values.size(), 1u);
    EXPECT_DOUBLE_EQ(values[0].value, 4);
    ASSERT_EQ(log.lines.size(), 1);
    // The compiler names the text it could not resolve in double quotes.
    EXPECT_TRUE(log.lines[0].startsWith(
        QStringLiteral("var3--> formula: if(item99=1)\tExco exception.\tUNKNOWN SYMBOL\"")))
        << log.lines[0].toStdString();
    EXPECT_TRUE(log.lines[0].endsWith(u'"'));
}

TEST_F(VariableComputation, ATestWithoutVariables)
{
    EXPECT_TRUE(compute().empty());
    EXPECT_TRUE(log.lines.isEmpty());
}

TEST_F(VariableComputation, TrialRunOnRandomAnswers)
{
    file.addDataField(1, "integer");
    file.addDataField(2, "string");
    file.addVariable(1);
    file.addFormula(1, "data1+var1+200");
    file.addFormula(1, "if(item1=1,1,0)");
    file.addFormula(1, "isum(1,2)");
    InitFormulaEngine(42);
    const FormulaAnswers& trial = CurrentFormulaAnswers();
    ASSERT_EQ(trial.matrix.size(), 2u);
    EXPECT_EQ(trial.questionIds, (std::vector<int>{1, 2}));
    for (const std::vector<int>& row : trial.matrix) {
        ASSERT_EQ(row.size(), 3u);
        for (const int cell : row) {
            EXPECT_GE(cell, 0);
            EXPECT_LE(cell, 2);
        }
    }
    const FormulaAnswers first = trial;
    InitFormulaEngine(42);
    EXPECT_EQ(CurrentFormulaAnswers().matrix, first.matrix);

    LogLineList trialLog;
    const std::vector<VariableValue> values = ComputeVariables({}, true, trialLog);
    EXPECT_TRUE(trialLog.lines.isEmpty()) << trialLog.lines.join("\n").toStdString();
    ASSERT_EQ(values.size(), 1u);
    double expected = 200;  // the data field is 0
    for (const std::vector<int>& row : first.matrix) {
        for (const int cell : row)
            expected += cell;
    }
    const std::vector<int>& question1 = first.matrix[0];
    if (std::find(question1.begin(), question1.end(), 1) != question1.end())
        expected += 1;
    EXPECT_DOUBLE_EQ(values[0].value, expected);
}

TEST_F(VariableComputation, TrialWithoutAnswersOrQuestions)
{
    file.con().execute(QStringLiteral("delete from answers;"));
    file.addVariable(1);
    file.addFormula(1, "if(item1=0,3,0)+isum1");
    InitFormulaEngine(7);
    EXPECT_EQ(CurrentFormulaAnswers().matrix, (AnswerMatrix{{}, {}}));
    LogLineList trialLog;
    const std::vector<VariableValue> values = ComputeVariables({}, true, trialLog);
    EXPECT_TRUE(trialLog.lines.isEmpty()) << trialLog.lines.join("\n").toStdString();
    ASSERT_EQ(values.size(), 1u);
    EXPECT_DOUBLE_EQ(values[0].value, 3);
}

TEST_F(VariableComputation, CompilerErrorTextNamesTheErrorAndClearsIt)
{
    file.addVariable(1);
    file.addFormula(1, "sin(1");
    compute();
    ASSERT_EQ(log.lines.size(), 1);
    EXPECT_TRUE(log.lines[0].contains(QStringLiteral("\tExco exception.\tMISSING \")\" BRACKET\"")))
        << log.lines[0].toStdString();
    // The error state is clear afterwards: no name any more.
    EXPECT_TRUE(CompilerErrorText().startsWith(QStringLiteral("Exco exception.\t\"")));
}

// Many runs of one test, as a re-scoring computes them: the routines kept from run to run
// must give, bit for bit, what compiling every run afresh gives, failures included.
TEST_F(VariableComputation, RoutinesKeptOverRunsComputeWhatFreshCompilesDo)
{
    file.addDataField(1, "float");
    for (const int id : {1, 2, 3, 4})
        file.addVariable(id, id == 3 ? 0.5 : 0);
    const std::map<int, QStringList> formulas{
        {1, {"if(item1=2,4,0)+if(item2=1,1,0)", "isum(1,2)/3+data1"}},
        {2, {"var1*1.1-isum1", "if(if(item1=1)+if(item2=2)>0,1,-1)*sqrt(2)"}},
        {3, {"1/(isum(1,2)-2)", "var2"}},             // a zero divide in some runs
        {4, {"if(item99=1)", "var3*var3/7"}}};        // never compiles
    LoadedTest test;
    test.questionIds = {1, 2};
    test.ids.itemIds = {1, 2};
    test.ids.variableIds = {1, 2, 3, 4};
    test.ids.dataFieldIds = {1};
    test.ids.numericDataFieldIds = {1};
    for (const auto& [id, texts] : formulas) {
        for (const QString& text : texts)
            file.addFormula(id, text);
        test.variables.push_back({id, id == 3 ? 0.5 : 0, true, texts});
    }

    bool sawZeroDivide = false;
    std::mt19937 draw(11);
    std::uniform_int_distribution<int> chosen(0, 1);
    // A cache that holds fewer routines than the runs' texts also frees and compiles again.
    for (const int capacity : {FormulaRoutineCache::kMaxRoutines, 3}) {
        FormulaRoutineCache routines(capacity);
        for (int run = 0; run < 40; ++run) {
            AnswerMatrix answers{{0, 0, 0}, {0, 0, 0}};
            for (std::vector<int>& row : answers)
                for (size_t slot = 0; slot < row.size(); ++slot)
                    row[slot] = chosen(draw) ? static_cast<int>(slot) + 1 : 0;
            const std::vector<double> data{run * 0.25};

            SetAnswerMatrix(answers, test.questionIds);
            LogLineList freshLog;
            const std::vector<VariableValue> fresh = ComputeVariables(data, test, freshLog);
            LogLineList keptLog;
            const std::vector<VariableValue> kept = ComputeVariables(data, test, keptLog, &routines);

            ASSERT_EQ(kept.size(), fresh.size());
            for (size_t v = 0; v < kept.size(); ++v) {
                EXPECT_EQ(kept[v].id, fresh[v].id);
                EXPECT_EQ(std::memcmp(&kept[v].value, &fresh[v].value, sizeof(double)), 0)
                    << "run " << run << " var" << kept[v].id << ": " << kept[v].value << " against "
                    << fresh[v].value;
            }
            EXPECT_EQ(keptLog.lines, freshLog.lines) << "run " << run;
            sawZeroDivide = sawZeroDivide || freshLog.lines.join(QString()).contains(QStringLiteral("var3--> formula: 1/"));
            EXPECT_LE(routines.routineCount(), capacity);
        }
    }
    EXPECT_TRUE(sawZeroDivide) << "no run divided by zero";
}

TEST_F(VariableComputation, AKeptRoutineIsFreedWithItsCache)
{
    file.addVariable(1);
    file.addFormula(1, "if(item1=2,3,0)*2+1");
    LoadedTest test;
    test.questionIds = {1, 2};
    test.ids.itemIds = {1, 2};
    test.ids.variableIds = {1};
    test.variables.push_back({1, 0, true, {"if(item1=2,3,0)*2+1"}});
    const std::size_t before = exco::ExecArena::instance().liveRoutines();
    {
        FormulaRoutineCache routines;
        SetAnswerMatrix({{0, 2, 0}, {0, 0, 0}}, test.questionIds);
        LogLineList kept;
        EXPECT_DOUBLE_EQ(ComputeVariables({}, test, kept, &routines).at(0).value, 7);
        SetAnswerMatrix({{1, 0, 0}, {0, 0, 0}}, test.questionIds);
        EXPECT_DOUBLE_EQ(ComputeVariables({}, test, kept, &routines).at(0).value, 1);
        EXPECT_EQ(routines.routineCount(), 2);
        EXPECT_EQ(exco::ExecArena::instance().liveRoutines(), before + 2);
    }
    EXPECT_EQ(exco::ExecArena::instance().liveRoutines(), before);
}

}  // namespace
}  // namespace kelvo
