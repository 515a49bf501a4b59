#include "data/variable_computation.h"

#include "compiler/exco.h"
#include "compiler/exco_codes.h"
#include "compiler/exco_lib.h"
#include "compiler/host_array.h"
#include "data/database.h"
#include "data/formula_compiler.h"
#include "data/formula_routine_cache.h"

#include <cmath>
#include <exception>
#include <map>
#include <random>

namespace kelvo {

namespace {

// The log text of a failed variable: the compiler's own error, or, when it reports none,
// the overflow of a value beyond the Double range, named as the compiler names its
// faults. Clears the compiler's error state.
QString failureText(bool beyondDouble, const QString& written);
QString errorText(int code, const std::optional<QString>& written);

// The arrays the compiled formulas read. They stay where they are for the whole
// program: the compiler holds the address of their array references.
THostDoubleArray& vars()
{
    static THostDoubleArray array;
    return array;
}

THostDoubleArray& data()
{
    static THostDoubleArray array;
    return array;
}

void bindArray(const char* name, THostDoubleArray& array)
{
    ExcoDefineVariable(name, array.reference(), THostDoubleArray::kTypeCode);
}

int rowCount(const QString& sql) { return SelectToVariant(sql).rows(); }

// The formula as the compiler reads it, before the answers are put in: it depends on the
// test alone, not on the run.
QString translateFormula(const QString& stored, int id, const FormulaReferenceIds& ids)
{
    QString text = stored;
    NormalizeFormula(text);
    TranslateFormulaForCompile(text, id, ids);
    return text;
}

VariableFormula prepareFormula(const QString& stored, int id, const FormulaReferenceIds& ids)
{
    VariableFormula formula;
    formula.stored = stored;
    formula.prepared = translateFormula(stored, id, ids);
    PrepareItemTerms(formula.prepared);
    return formula;
}

// What a variable's computation reads from the test: its stored formulas in ascending
// autoid and whether their results are summed.
struct VariableSource {
    QStringList formulas;
    bool cumulative = true;
};

bool cumulativeFlag(const QVariant& cumul) { return cumul.isNull() || cumul.toBool(); }

VariableSource readVariableSource(int id)
{
    VariableSource source;
    const RowSet rows = SelectToVariant(QStringLiteral("select formula from formula where varid= ")
                                        + QString::number(id) + QStringLiteral(" order by autoid;"));
    for (int r = 0; r < rows.rows(); ++r)
        source.formulas << rows.text(r, 0);
    if (source.formulas.isEmpty())
        return source;
    const RowSet cumul = SelectToVariant(QStringLiteral("select cumul from variables where id= ")
                                         + QString::number(id) + QStringLiteral(";"));
    source.cumulative = cumul.isNull() || cumulativeFlag(cumul.at(0, 0));
    return source;
}

// Every variable's source in two statements instead of two per variable: a run of a
// large test reads them hundreds of times otherwise. Nothing when reading fails, so
// that each variable then reads (and fails) on its own.
std::optional<std::map<int, VariableSource>> readAllVariableSources()
{
    try {
        std::map<int, VariableSource> sources;
        const RowSet variables = SelectToVariant(QStringLiteral("select id, cumul from variables;"));
        for (int r = 0; r < variables.rows(); ++r)
            sources[variables.integer(r, 0)].cumulative = cumulativeFlag(variables.at(r, 1));
        const RowSet formulas =
            SelectToVariant(QStringLiteral("select varid, formula from formula order by varid, autoid;"));
        for (int r = 0; r < formulas.rows(); ++r)
            sources[formulas.integer(r, 0)].formulas << formulas.text(r, 1);
        return sources;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::vector<VariableFormula> loadVariableFormulas(int id, const QStringList& stored, const FormulaReferenceIds& ids)
{
    std::vector<VariableFormula> formulas;
    formulas.reserve(static_cast<size_t>(stored.size()));
    for (const QString& text : stored)
        formulas.push_back(prepareFormula(text, id, ids));
    return formulas;
}

// Frees a compiled routine when it goes out of scope.
struct CompiledRoutine {
    void* handle;
    explicit CompiledRoutine(void* compiled) : handle(compiled) {}
    CompiledRoutine(const CompiledRoutine&) = delete;
    CompiledRoutine& operator=(const CompiledRoutine&) = delete;
    ~CompiledRoutine() { ExcoSetOption(exco_option::Clear, reinterpret_cast<intptr_t>(handle)); }
};

// Compiles and runs one prepared formula: false when it does not compile. Without a
// cache the routine runs once and is freed right after, also when it faults, so that
// runs keep no code (a lab session runs thousands).
bool runPrepared(const QString& prepared, FormulaRoutineCache* cache, double& result)
{
    TExco& exco = FormulaCompiler();
    if (cache) {
        void* const handle = cache->routineFor(prepared);
        if (handle == nullptr)
            return false;
        result = static_cast<double>(exco.Calc(handle));
        return true;
    }
    void* handle = nullptr;
    exco.Compile(prepared.toStdString(), nullptr, handle);
    if (handle == nullptr)
        return false;
    const CompiledRoutine routine{handle};
    result = static_cast<double>(exco.Calc(handle));
    return true;
}

// `known` is the variable's source when it was read already. `beyondDouble` tells a
// failure whose value lies outside the Double range, which the compiler does not see.
bool computeVariable(int id, int index, const FormulaReferenceIds& ids, const VariableSource* known,
                     FormulaRoutineCache* cache, double& accumulated, QString& formulaText, bool& beyondDouble)
{
    double acc = 0.0;
    accumulated = 0.0;
    beyondDouble = false;
    try {
        const VariableSource source = known ? *known : readVariableSource(id);
        if (source.formulas.isEmpty())
            return true;
        for (qsizetype k = 0; k < source.formulas.size(); ++k) {
            const QString& stored = source.formulas[k];
            formulaText = stored;
            QString prepared = cache ? cache->translated(static_cast<size_t>(index), static_cast<size_t>(k), stored,
                                                         [&](const QString& text) { return translateFormula(text, id, ids); })
                                     : translateFormula(stored, id, ids);
            PrepareItemTerms(prepared);
            double result = 0;
            if (!runPrepared(prepared, cache, result))
                return false;
            acc = source.cumulative ? result + acc : result;
            // An Extended result beyond the Double range (10^400) cannot be stored: it is
            // this variable's failure, not one of the run's rows.
            if (!std::isfinite(acc)) {
                beyondDouble = true;
                return false;
            }
            vars()[static_cast<size_t>(index)] = acc;
        }
    } catch (const std::exception&) {
        return false;
    }
    accumulated = acc;
    return true;
}

}  // namespace

void SetAnswerMatrix(const AnswerMatrix& matrix)
{
    std::vector<int> questionIds;
    const RowSet rows = SelectToVariant(QStringLiteral("select id from items order by id"));
    for (int r = 0; r < rows.rows(); ++r)
        questionIds.push_back(rows.integer(r, 0));
    SetAnswerMatrix(matrix, std::move(questionIds));
}

void SetAnswerMatrix(const AnswerMatrix& matrix, std::vector<int> questionIds)
{
    FormulaAnswers answers;
    answers.matrix = matrix;
    answers.questionIds = std::move(questionIds);
    SetCurrentFormulaAnswers(std::move(answers));
}

void InitFormulaEngine(std::optional<unsigned> seed)
{
    const int questions = FirstInteger(QStringLiteral("select count(*) from items;"));
    // A test whose questions have no answers has no slot: the largest count is then 0.
    const int largestAnswerCount = FirstInteger(
        QStringLiteral("select count(id) from answers group by itemid order by 1 desc;"));

    std::mt19937 generator(seed ? *seed : std::random_device{}());
    AnswerMatrix trial(static_cast<size_t>(std::max(questions, 0)));
    if (largestAnswerCount > 0) {
        std::uniform_int_distribution<int> draw(0, largestAnswerCount - 1);
        for (std::vector<int>& row : trial) {
            row.resize(static_cast<size_t>(largestAnswerCount));
            for (int& cell : row)
                cell = draw(generator);
        }
    }

    ExcoSetOption(exco_option::Zero, exco_option::Errors);
    ExcoSetOption(exco_option::Clear, exco_option::Variables);
    if (const int variables = rowCount(QStringLiteral("select id from variables;")); variables > 0) {
        vars().resize(static_cast<size_t>(variables));
        bindArray("vars", vars());
    }
    if (const int fields = rowCount(QStringLiteral("select id from userf;")); fields > 0) {
        data().resize(0);
        data().resize(static_cast<size_t>(fields));
        bindArray("data", data());
    }
    ExcoSetOption(exco_option::Zero, exco_option::Variables);
    SetAnswerMatrix(trial);
}

namespace {

struct VariableStart {
    int id = 0;
    double start = 0;
};

// Computes the variables in `starts` (ascending id), each from its source when there are
// sources (a variable without one has no formulas), or read on its own otherwise.
std::vector<VariableValue> computeAll(const std::vector<VariableStart>& starts, const std::vector<double>& dataValues,
                                      bool keepData, const FormulaReferenceIds& ids,
                                      std::optional<std::map<int, VariableSource>> sources, LogLineSink& log,
                                      FormulaRoutineCache* cache = nullptr)
{
    ExcoSetOption(exco_option::Zero, exco_option::Errors);
    ExcoSetOption(exco_option::Clear, exco_option::Variables);
    vars().resize(starts.size());
    bindArray("vars", vars());
    const bool dataBound = !dataValues.empty() || keepData;
    if (dataBound) {
        if (!dataValues.empty())
            data().assign(dataValues.begin(), dataValues.end());
        bindArray("data", data());
    }
    ExcoSetOption(exco_option::Zero, exco_option::Variables);
    if (cache)
        cache->useBindings({vars().size(), dataBound, dataBound ? data().size() : 0});

    std::vector<VariableValue> values;
    values.reserve(starts.size());
    for (int i = 0; i < static_cast<int>(starts.size()); ++i) {
        const int id = starts[static_cast<size_t>(i)].id;
        const double start = starts[static_cast<size_t>(i)].start;
        VariableValue value{id, start};
        double accumulated = 0;
        QString formulaText;
        // A variable added since the sources were read has no formulas yet.
        const VariableSource* source = sources ? &(*sources)[id] : nullptr;
        bool beyondDouble = false;
        const bool computed = computeVariable(id, i, ids, source, cache, accumulated, formulaText, beyondDouble);
        if (computed && std::isfinite(start + accumulated)) {
            value.value = start + accumulated;
            vars()[static_cast<size_t>(i)] = value.value;
        } else {
            log.AddLine(QStringLiteral("var") + QString::number(id) + QStringLiteral("--> formula: ")
                        + formulaText + QStringLiteral("\t")
                        + failureText(beyondDouble || computed, formulaText));
        }
        values.push_back(value);
    }
    return values;
}

}  // namespace

std::vector<VariableValue> ComputeVariables(const std::vector<double>& dataValues, bool keepData,
                                            LogLineSink& log)
{
    const RowSet rows = SelectToVariant(QStringLiteral("select id, start from variables order by id;"));
    if (rows.isNull())
        return {};
    std::vector<VariableStart> starts;
    for (int i = 0; i < rows.rows(); ++i)
        starts.push_back({rows.integer(i, 0), rows.number(i, 1)});
    const FormulaReferenceIds ids = ReadFormulaReferenceIds();
    return computeAll(starts, dataValues, keepData, ids, readAllVariableSources(), log);
}

std::vector<VariableValue> ComputeVariables(const std::vector<double>& dataValues, const LoadedTest& test,
                                            LogLineSink& log, FormulaRoutineCache* cache)
{
    if (test.variables.empty())
        return {};
    std::vector<VariableStart> starts;
    std::map<int, VariableSource> sources;
    for (const LoadedVariable& variable : test.variables) {
        starts.push_back({variable.id, variable.start});
        sources[variable.id] = {variable.formulas, variable.cumulative};
    }
    return computeAll(starts, dataValues, false, test.ids, std::move(sources), log, cache);
}

bool ComputeVariable(int id, int index, double& accumulated, QString& formulaText)
{
    if (index < 0 || static_cast<size_t>(index) >= vars().size())
        return false;
    bool beyondDouble = false;
    return computeVariable(id, index, ReadFormulaReferenceIds(), nullptr, nullptr, accumulated, formulaText,
                           beyondDouble);
}

std::vector<VariableFormula> LoadVariableFormulas(int id)
{
    return loadVariableFormulas(id, readVariableSource(id).formulas, ReadFormulaReferenceIds());
}

QString CompilerErrorText() { return CompilerErrorText(std::nullopt); }

QString CompilerErrorText(const std::optional<QString>& written)
{
    int code = 0;
    FormulaCompiler().GetError(code);
    return errorText(code, written);
}

namespace {

QString errorText(int code, const std::optional<QString>& written)
{
    TExco& exco = FormulaCompiler();
    std::string compiled;
    exco.GetErrorText(compiled);
    QString item = QString::fromStdString(compiled);
    // The compiler names what it read, the formula rewritten for it (vars[0] for var1):
    // the author is shown the formula as written unless the name stands in it as is.
    if (written && (item.isEmpty() || !written->contains(item)))
        item = *written;
    const QString text = QStringLiteral("Exco exception.\t") + QString::fromStdString(ExcoErrorName(code))
                         + QStringLiteral("\"") + item
                         + QStringLiteral("\"");
    ExcoSetOption(exco_option::Zero, exco_option::Errors);
    return text;
}

QString failureText(bool beyondDouble, const QString& written)
{
    int code = 0;
    FormulaCompiler().GetError(code);
    return errorText(code == 0 && beyondDouble ? exco_error::Overflow : code, written);
}

}  // namespace

std::vector<double> CurrentVariableValues()
{
    return std::vector<double>(vars().begin(), vars().end());
}

}  // namespace kelvo
