// The time to export 10,000 runs of a test with 300 questions and 100 variables, from
// the rows as the engine hands them (the conversion to the writers' table included), to
// delimited text, .xlsx, Excel 97-2003 (one sheet per table, as above 254 columns) and
// dBase 5. Goal: under 2 seconds each.

#include "bench_support.h"
#include "engine/export/dbase_writer.h"
#include "engine/export/excel_workbook_writer.h"
#include "engine/export/text_writer.h"
#include "engine/export/xlsx_writer.h"
#include "engine/export_run.h"

#include <QDateTime>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

const int kRuns = kelvo::bench::sized(10000, 100);
constexpr int kQuestions = 300;
constexpr int kVariables = 100;
constexpr int kQuestionsPerTable = 150;

using kelvo::engine::FieldClass;
using kelvo::engine::FieldInfo;
using kelvo::engine::ResultSet;

using Clock = std::chrono::steady_clock;

// The general data of each run, as in datac.
ResultSet generalTable()
{
    ResultSet result;
    result.columns = {{"id", FieldClass::Integer},          {"test_date", FieldClass::Date},
                      {"test_time", FieldClass::Date},      {"blank_answers", FieldClass::Integer},
                      {"last_answer", FieldClass::Integer}, {"go_back", FieldClass::Integer},
                      {"username", FieldClass::Text},       {"finished", FieldClass::Boolean}};
    const QDateTime start(QDate(2024, 1, 1), QTime(9, 0));
    for (int run = 1; run <= kRuns; ++run)
        result.rows.push_back({run, start.addSecs(run * 600LL), QDateTime(QDate(1899, 12, 30), QTime(0, 12, run % 60)),
                               run % 7, kQuestions, run % 3, QStringLiteral("respondent %1").arg(run % 500), run % 2 == 0});
    return result;
}

// One answer table: the captions chosen, two of them joined by a line break now and then.
ResultSet answerTable(int first, int count)
{
    ResultSet result;
    result.columns.push_back({"id", FieldClass::Integer});
    for (int q = first; q < first + count; ++q)
        result.columns.push_back({QStringLiteral("i%1").arg(q), FieldClass::Memo});
    const QStringList captions{"Never", "Sometimes", "Often", "Always", "Sometimes\r\nOften"};
    for (int run = 1; run <= kRuns; ++run) {
        std::vector<QVariant> row{run};
        for (int q = first; q < first + count; ++q)
            row.push_back((run + q) % 17 == 0 ? QVariant() : QVariant(captions[(run * 7 + q) % captions.size()]));
        result.rows.push_back(std::move(row));
    }
    return result;
}

ResultSet variableTable()
{
    ResultSet result;
    result.columns.push_back({"id", FieldClass::Integer});
    for (int v = 1; v <= kVariables; ++v)
        result.columns.push_back({QStringLiteral("v%1").arg(v), FieldClass::Float});
    for (int run = 1; run <= kRuns; ++run) {
        std::vector<QVariant> row{run};
        for (int v = 1; v <= kVariables; ++v)
            row.push_back(static_cast<double>((run * 31 + v * 17) % 1000) / 8.0);
        result.rows.push_back(std::move(row));
    }
    return result;
}

// The tables side by side on id, as one export holds them.
ResultSet joined(const std::vector<ResultSet>& tables)
{
    ResultSet result = tables.front();
    for (std::size_t t = 1; t < tables.size(); ++t) {
        result.columns.insert(result.columns.end(), tables[t].columns.begin() + 1, tables[t].columns.end());
        for (std::size_t r = 0; r < result.rows.size(); ++r)
            result.rows[r].insert(result.rows[r].end(), tables[t].rows[r].begin() + 1, tables[t].rows[r].end());
    }
    return result;
}

void report(const char* name, const std::function<void()>& run)
{
    const Clock::time_point start = Clock::now();
    run();
    std::printf("%-42s %6.3f s   goal 2 s\n", name, std::chrono::duration<double>(Clock::now() - start).count());
    std::fflush(stdout);
}

}  // namespace

int main()
{
    namespace ex = kelvo::exporting;
    std::vector<std::pair<std::string, ResultSet>> tables{{"general", generalTable()}};
    for (int first = 1, k = 1; first <= kQuestions; first += kQuestionsPerTable, ++k)
        tables.emplace_back("item" + std::to_string(k), answerTable(first, kQuestionsPerTable));
    tables.emplace_back("var1", variableTable());
    std::vector<ResultSet> parts;
    for (const auto& [name, table] : tables)
        parts.push_back(table);
    const ResultSet all = joined(parts);
    QTemporaryDir folder;
    const auto target = [&](const char* name) { return (folder.path() + "/" + name).toStdString(); };

    std::printf("%d runs, %d questions, %d variables: %d columns\n", kRuns, kQuestions, kVariables,
                all.columnCount());
    report("text (.txt)", [&] { ex::writeDelimitedText(kelvo::engine::exportTableOf(all), target("r.txt"), {}); });
    report("Excel 2007/2010 (.xlsx), one sheet", [&] {
        ex::writeXlsxWorkbook({{"Data", kelvo::engine::exportTableOf(all)}}, target("r.xlsx"));
    });
    report("Excel 97-2003 (.xls), one sheet per table", [&] {
        std::vector<ex::Sheet> sheets;
        for (const auto& [name, table] : tables)
            sheets.push_back({name, kelvo::engine::exportTableOf(table)});
        ex::writeExcelWorkbook(sheets, target("r.xls"));
    });
    // dBase names fields with at most 10 characters: the export's SELECT renames the
    // longer general columns (blank_answers as blank, ...).
    ResultSet shortNames = all;
    for (FieldInfo& column : shortNames.columns)
        column.name.truncate(10);
    report("dBase 5 (.dbf)", [&] {
        ex::writeDbaseTable(kelvo::engine::exportTableOf(shortNames), ex::DbaseVersion::V, target("r.dbf"));
    });
    return 0;
}
